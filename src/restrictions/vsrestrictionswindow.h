#ifndef VESTRION_RESTRICTIONS_VSRESTRICTIONSWINDOW_H
#define VESTRION_RESTRICTIONS_VSRESTRICTIONSWINDOW_H

#include <QWidget>

class QAbstractItemModel;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QVBoxLayout;
class vsRestrictions;

// "My restrictions": the diet, the groups to avoid and the single additives
// added from the detail window. A change counts at once; a window of the
// stack, black like the others, Escape closes it.
class vsRestrictionsWindow : public QWidget
{
    Q_OBJECT

public:
    // The restrictions and the catalogue (which names the single additives)
    // must outlive the window.
    vsRestrictionsWindow(vsRestrictions *restrictions, const QAbstractItemModel *catalogue,
                         QWidget *parent = nullptr);

public slots:
    // Shows the window with the restrictions as they are; single additives
    // taken off since the last time are no longer listed.
    void onOpen();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showRestrictions();
    QString entryName(const QString &code) const;

    vsRestrictions *restrictions = nullptr;
    const QAbstractItemModel *catalogue = nullptr;
    QButtonGroup *dietButtons = nullptr;
    QList<QCheckBox *> groupBoxes;
    QVBoxLayout *additiveList = nullptr;
    QList<QCheckBox *> additiveBoxes;
    QLabel *noAdditives = nullptr;
};

#endif
