#include "label/vslanguagebutton.h"

#include "label/vslabelvocabulary.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QSettings>
#include <QSignalBlocker>

#include <iterator>

namespace {
// In the order of vsLabelVocabulary::labelLanguages().
const char *const languageNames[] = {
    QT_TRANSLATE_NOOP("vsLanguageButton", "Russian"),   QT_TRANSLATE_NOOP("vsLanguageButton", "English"),
    QT_TRANSLATE_NOOP("vsLanguageButton", "Ukrainian"), QT_TRANSLATE_NOOP("vsLanguageButton", "Belarusian"),
    QT_TRANSLATE_NOOP("vsLanguageButton", "Kazakh"),    QT_TRANSLATE_NOOP("vsLanguageButton", "German"),
    QT_TRANSLATE_NOOP("vsLanguageButton", "French"),    QT_TRANSLATE_NOOP("vsLanguageButton", "Polish"),
    QT_TRANSLATE_NOOP("vsLanguageButton", "Italian"),   QT_TRANSLATE_NOOP("vsLanguageButton", "Spanish"),
};

// More codes than this on the button are counted, not named.
constexpr int namedOnButton = 3;
} // namespace

vsLanguageButton::vsLanguageButton(QWidget *parent) : QPushButton(parent), menu(new QMenu(this))
{
    setObjectName(QStringLiteral("labelLanguagesButton"));
    menu->setObjectName(QStringLiteral("labelLanguagesMenu"));
    const QStringList codes = vsLabelVocabulary::labelLanguages();
    const QStringList chosen = fromStored(QSettings().value(settingsKey()));
    for (int i = 0; i < codes.size() && i < int(std::size(languageNames)); ++i) {
        QAction *entry = menu->addAction(tr(languageNames[i]));
        entry->setObjectName(QStringLiteral("labelLanguage_") + codes.at(i));
        entry->setData(codes.at(i));
        entry->setCheckable(true);
        entry->setChecked(chosen.contains(codes.at(i)));
        connect(entry, &QAction::toggled, this, [this, entry] { onToggled(entry); });
        entries << entry;
    }
    menu->installEventFilter(this);
    setMenu(menu);
    showChosen();
}

QString vsLanguageButton::settingsKey()
{
    return QStringLiteral("label-languages");
}

QStringList vsLanguageButton::fromStored(const QVariant &value)
{
    // Written as "ru,en"; a hand-edited "ru, en" reads as a list of texts.
    QStringList named;
    for (const QString &piece : value.toStringList())
        for (const QString &code : piece.split(QLatin1Char(',')))
            named << code.trimmed().toLower();
    QStringList chosen;
    for (const QString &known : vsLabelVocabulary::labelLanguages())
        if (named.contains(known))
            chosen << known;
    return chosen.isEmpty() ? vsLabelVocabulary::defaultLanguages() : chosen;
}

QStringList vsLanguageButton::languages() const
{
    QStringList chosen;
    for (const QAction *entry : entries)
        if (entry->isChecked())
            chosen << entry->data().toString();
    return chosen;
}

void vsLanguageButton::onToggled(QAction *entry)
{
    // A disabled entry still toggles when triggered by the program.
    if (languages().isEmpty()) {
        const QSignalBlocker quiet(entry);
        entry->setChecked(true);
        return;
    }
    showChosen();
    QSettings().setValue(settingsKey(), languages().join(QLatin1Char(',')));
    emit languagesChanged(languages());
}

void vsLanguageButton::showChosen()
{
    const QStringList chosen = languages();
    QStringList names;
    for (QAction *entry : qAsConst(entries)) {
        // The last one chosen cannot be taken off: labels are read in some language.
        entry->setEnabled(!(entry->isChecked() && chosen.size() == 1));
        if (entry->isChecked())
            names << entry->text();
    }
    QString shown = QStringList(chosen.mid(0, namedOnButton)).join(QStringLiteral(", "));
    if (chosen.size() > namedOnButton)
        shown += QStringLiteral(" +%1").arg(chosen.size() - namedOnButton);
    setText(tr("Languages: %1").arg(shown));
    const QString all = tr("Languages of the labels: %1").arg(names.join(QStringLiteral(", ")));
    setAccessibleName(all);
    setToolTip(all);
}

bool vsLanguageButton::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == menu) {
        bool ticks = event->type() == QEvent::MouseButtonRelease;
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            ticks = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
        }
        // The entry under the finger or the keyboard's; none off the entries.
        QAction *entry = ticks ? menu->activeAction() : nullptr;
        if (entry && entries.contains(entry)) {
            if (entry->isEnabled())
                entry->toggle();
            return true;
        }
    }
    return QPushButton::eventFilter(watched, event);
}
