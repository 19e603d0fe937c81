#ifndef VESTRION_DETAIL_VSDATADISPLAY_H
#define VESTRION_DETAIL_VSDATADISPLAY_H

#include <QModelIndex>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QScrollArea>

class QLabel;
class QPushButton;
class vsRestrictions;

// The detail window: a heading (code, group, first name) and seven titled,
// iconned sections of one catalogue entry, coloured by its safety level.
class vsDataDisplay : public QScrollArea
{
    Q_OBJECT

public:
    explicit vsDataDisplay(QWidget *parent = nullptr);
    ~vsDataDisplay() override;

    // Builds the widget tree once; false when an allocation fails.
    bool createWidgets();

    // After createWidgets: the user's restrictions (not owned). The page then
    // says why an entry conflicts with them, above its sections, and ends
    // with a button that adds the entry to them or takes it off.
    void setRestrictions(vsRestrictions *restrictions);

public slots:
    void showData(QModelIndex pModelIndex);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showConflict();
    void onAvoidClicked();

    QLabel *codeLabel = nullptr;
    QLabel *nameLabel = nullptr;
    QLabel *statusIconLabel = nullptr;
    QLabel *statusTitleLabel = nullptr;
    QLabel *statusTextLabel = nullptr;
    QLabel *safetyIconLabel = nullptr;
    QLabel *safetyTitleLabel = nullptr;
    QLabel *safetyTextLabel = nullptr;
    QLabel *namesIconLabel = nullptr;
    QLabel *namesTitleLabel = nullptr;
    QLabel *namesTextLabel = nullptr;
    QLabel *sourcesIconLabel = nullptr;
    QLabel *sourcesTitleLabel = nullptr;
    QLabel *sourcesTextLabel = nullptr;
    QLabel *productionIconLabel = nullptr;
    QLabel *productionTitleLabel = nullptr;
    QLabel *productionTextLabel = nullptr;
    QLabel *functionsIconLabel = nullptr;
    QLabel *functionsTitleLabel = nullptr;
    QLabel *functionsTextLabel = nullptr;
    QLabel *productsIconLabel = nullptr;
    QLabel *productsTitleLabel = nullptr;
    QLabel *productsTextLabel = nullptr;
    QWidget *contentWidget = nullptr;

    QPointer<vsRestrictions> restrictions;
    QLabel *conflictNote = nullptr;
    QPushButton *avoidButton = nullptr;
    QPersistentModelIndex shownEntry;
};

#endif
