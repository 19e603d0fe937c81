#ifndef VESTRION_LABEL_VSLANGUAGEBUTTON_H
#define VESTRION_LABEL_VSLANGUAGEBUTTON_H

#include <QPushButton>
#include <QStringList>

class QAction;
class QMenu;
class QVariant;

// The languages labels are read in ("Языки: ru, en"), chosen from its menu,
// which stays open while entries are ticked, and remembered in the settings.
// At least one stays chosen.
class vsLanguageButton : public QPushButton
{
    Q_OBJECT

public:
    explicit vsLanguageButton(QWidget *parent = nullptr);

    // ISO 639-1 codes, in the order of vsLabelVocabulary::labelLanguages().
    QStringList languages() const;

    // The languages a stored value names; the default when it names none:
    // unknown codes, an empty text or a value of another type.
    static QStringList fromStored(const QVariant &value);
    static QString settingsKey();

signals:
    void languagesChanged(const QStringList &languages);

protected:
    // Ticking an entry leaves the menu open for the next one.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onToggled(QAction *entry);
    void showChosen();

    QMenu *menu = nullptr;
    QList<QAction *> entries;
};

#endif
