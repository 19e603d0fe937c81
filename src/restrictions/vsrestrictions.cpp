#include "restrictions/vsrestrictions.h"

#include "catalogue/vsdietfacts.h"

#include <QRegularExpression>
#include <QSettings>

namespace {
struct GroupDefinition
{
    const char *id;
    const char *name;
    const char *numbers; // code numbers: single ones and ranges, separated by blanks
};

const GroupDefinition definitions[] = {
    {"sulphites", QT_TRANSLATE_NOOP("vsRestrictions", "sulphites"), "220-228"},
    {"benzoates", QT_TRANSLATE_NOOP("vsRestrictions", "benzoates"), "210-213"},
    {"nitrites", QT_TRANSLATE_NOOP("vsRestrictions", "nitrites and nitrates"), "249-252"},
    {"flavour-enhancers", QT_TRANSLATE_NOOP("vsRestrictions", "glutamates and flavour enhancers"), "620-635"},
    // The polyols among them too: Annex I of Regulation 1333/2008 counts them as sweeteners.
    {"sweeteners", QT_TRANSLATE_NOOP("vsRestrictions", "sweeteners"), "420-421 950-969"},
    {"phosphates", QT_TRANSLATE_NOOP("vsRestrictions", "phosphates"), "338-343 450-452 541"},
    // The colours whose label must warn of an effect on children's activity.
    {"warning-colours", QT_TRANSLATE_NOOP("vsRestrictions", "colours with a warning"),
     "102 104 110 122 124 129"},
};
constexpr int groupTotal = int(sizeof(definitions) / sizeof(definitions[0]));

// More single additives than a catalogue holds; a store with more is foreign.
constexpr int maxAdditives = 1000;

const QString dietKey = QStringLiteral("restrictions/diet");
const QString groupsKey = QStringLiteral("restrictions/groups");
const QString additivesKey = QStringLiteral("restrictions/additives");

struct Range
{
    int first;
    int last;
};

// A row is checked on every paint: the numbers are read once.
const QVector<Range> &ranges(int group)
{
    static const QVector<QVector<Range>> all = [] {
        QVector<QVector<Range>> groups;
        for (const GroupDefinition &definition : definitions) {
            QVector<Range> numbers;
            for (const QString &part : QString::fromLatin1(definition.numbers).split(QLatin1Char(' ')))
                numbers.append({part.section(QLatin1Char('-'), 0, 0).toInt(),
                                part.section(QLatin1Char('-'), -1).toInt()});
            groups.append(numbers);
        }
        return groups;
    }();
    return all.at(group);
}

// The number of a code ("E160a(ii)" is 160), or -1 when it has none.
int codeNumber(const QString &code)
{
    int digits = 1;
    while (digits < code.size() && code.at(digits).isDigit())
        ++digits;
    if (!code.startsWith(QLatin1Char('E')) || digits == 1 || digits > 6)
        return -1;
    return code.mid(1, digits - 1).toInt();
}

// A value the store gives as one text or a list of them; anything else is nothing.
QStringList textList(const QVariant &value)
{
    if (value.userType() == QMetaType::QString)
        return {value.toString()};
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList();
    return {};
}

QString withReason(const QString &title, const QString &reason)
{
    return reason.isEmpty() ? title : title + QLatin1String(": ") + reason;
}
} // namespace

vsRestrictions::vsRestrictions(QObject *parent) : QObject(parent) {}

int vsRestrictions::groupCount()
{
    return groupTotal;
}

QString vsRestrictions::groupId(int group)
{
    return group >= 0 && group < groupTotal ? QString::fromLatin1(definitions[group].id) : QString();
}

QString vsRestrictions::groupName(int group)
{
    return group >= 0 && group < groupTotal ? tr(definitions[group].name) : QString();
}

QString vsRestrictions::groupCodes(int group)
{
    if (group < 0 || group >= groupTotal)
        return QString();
    QStringList parts;
    for (const Range &range : ranges(group)) {
        const QString first = QLatin1Char('E') + QString::number(range.first);
        if (range.first == range.last)
            parts << first;
        else if (range.last == range.first + 1)
            parts << first << QLatin1Char('E') + QString::number(range.last);
        else
            parts << first + QChar(0x2013) + QLatin1Char('E') + QString::number(range.last);
    }
    return parts.join(QLatin1String(", "));
}

int vsRestrictions::groupIndex(const QString &id)
{
    for (int group = 0; group < groupTotal; ++group) {
        if (id == QLatin1String(definitions[group].id))
            return group;
    }
    return -1;
}

QString vsRestrictions::normalisedCode(const QString &text)
{
    // A number of up to four digits, a letter, a bracketed Roman numeral: E160a(ii).
    static const QRegularExpression form(QStringLiteral("^E\\d{1,4}[a-z]?(\\([ivx]{1,5}\\))?$"));
    QString code = text.trimmed().toLower();
    if (code.startsWith(QChar(0x0435))) // Cyrillic е
        code[0] = QLatin1Char('e');
    if (!code.isEmpty())
        code[0] = code.at(0).toUpper();
    return form.match(code).hasMatch() ? code : QString();
}

bool vsRestrictions::covers(const QString &avoided, const QString &code)
{
    return !avoided.isEmpty() && code.startsWith(avoided) &&
           (code.size() == avoided.size() || !code.at(avoided.size()).isDigit());
}

bool vsRestrictions::avoidsGroup(int group) const
{
    return group >= 0 && group < groupTotal && (avoidedGroups & (1u << group));
}

bool vsRestrictions::isEmpty() const
{
    return currentDiet == NoDiet && avoidedGroups == 0 && avoided.isEmpty();
}

void vsRestrictions::setDiet(Diet diet)
{
    if (diet == currentDiet)
        return;
    currentDiet = diet;
    emit changed();
}

void vsRestrictions::setGroupAvoided(int group, bool avoid)
{
    if (group < 0 || group >= groupTotal || avoidsGroup(group) == avoid)
        return;
    avoidedGroups ^= 1u << group;
    emit changed();
}

void vsRestrictions::setAdditiveAvoided(const QString &code, bool avoid)
{
    if (code.isEmpty() || avoided.contains(code) == avoid)
        return;
    if (avoid)
        avoided.append(code);
    else
        avoided.removeAll(code);
    emit changed();
}

vsConflict vsRestrictions::check(const QString &code, const vsDietFacts &facts) const
{
    vsConflict conflict;
    const auto add = [&conflict](vsConflict::Level level, const QString &word, const QString &reason) {
        conflict.level = qMax(conflict.level, level);
        conflict.words << word;
        conflict.reasons << reason;
    };
    if (currentDiet != NoDiet) {
        const bool vegan = currentDiet == Vegan;
        const vsDietFacts::Fact &fact = vegan ? facts.vegan : facts.vegetarian;
        switch (fact.answer) {
        case vsDietFacts::No:
            add(vsConflict::Conflict, vegan ? tr("not vegan") : tr("not vegetarian"),
                withReason(vegan ? tr("Not vegan") : tr("Not vegetarian"), fact.reason));
            break;
        case vsDietFacts::Maybe:
            add(vsConflict::Doubt, vegan ? tr("maybe not vegan") : tr("maybe not vegetarian"),
                withReason(vegan ? tr("Maybe not vegan") : tr("Maybe not vegetarian"), fact.reason));
            break;
        case vsDietFacts::Unknown:
            add(vsConflict::Doubt, tr("not known"),
                vegan ? tr("Not known whether vegans may eat it")
                      : tr("Not known whether vegetarians may eat it"));
            break;
        case vsDietFacts::Yes:
            break;
        }
    }
    const int number = codeNumber(code);
    for (int group = 0; group < groupTotal && number >= 0; ++group) {
        if (!avoidsGroup(group))
            continue;
        for (const Range &range : ranges(group)) {
            if (number >= range.first && number <= range.last) {
                add(vsConflict::Conflict, groupName(group), withReason(tr("On your list"), groupName(group)));
                break;
            }
        }
    }
    for (const QString &single : avoided) {
        if (covers(single, code)) {
            add(vsConflict::Conflict, tr("on your list"), tr("On your list"));
            break;
        }
    }
    return conflict;
}

QString vsRestrictions::summary(const QStringList &codes, const QVector<vsConflict> &conflicts) const
{
    if (isEmpty() || codes.isEmpty())
        return QString();
    QStringList unsuitable;
    QStringList doubtful;
    for (int i = 0; i < codes.size() && i < conflicts.size(); ++i) {
        const vsConflict &conflict = conflicts.at(i);
        if (conflict.level == vsConflict::None)
            continue;
        QString words = conflict.words.value(0);
        for (int word = 1; word < conflict.words.size(); ++word)
            words = tr("%1 and %2").arg(words, conflict.words.at(word));
        (conflict.level == vsConflict::Conflict ? unsuitable : doubtful)
            << codes.at(i) + QStringLiteral(" \u2014 ") + words;
    }
    if (unsuitable.isEmpty() && doubtful.isEmpty())
        return tr("All suitable");
    const QString total = QString::number(codes.size());
    QStringList parts;
    if (!unsuitable.isEmpty())
        parts << tr("%n of %1 unsuitable: %2", nullptr, int(unsuitable.size()))
                     .arg(total, unsuitable.join(QLatin1String(", ")));
    if (!doubtful.isEmpty() && unsuitable.isEmpty())
        parts << tr("%n of %1 in doubt: %2", nullptr, int(doubtful.size()))
                     .arg(total, doubtful.join(QLatin1String(", ")));
    else if (!doubtful.isEmpty())
        parts << tr("In doubt: %1").arg(doubtful.join(QLatin1String(", ")));
    return parts.join(QLatin1String(". "));
}

void vsRestrictions::read(const QSettings &settings)
{
    const QVariant diet = settings.value(dietKey);
    currentDiet = NoDiet;
    if (diet.userType() == QMetaType::QString && diet.toString() == QLatin1String("vegetarian"))
        currentDiet = Vegetarian;
    else if (diet.userType() == QMetaType::QString && diet.toString() == QLatin1String("vegan"))
        currentDiet = Vegan;

    avoidedGroups = 0;
    for (const QString &id : textList(settings.value(groupsKey))) {
        const int group = groupIndex(id);
        if (group >= 0)
            avoidedGroups |= 1u << group;
    }

    avoided.clear();
    const QStringList codes = textList(settings.value(additivesKey));
    for (const QString &text : codes) {
        const QString code = normalisedCode(text);
        if (!code.isEmpty() && !avoided.contains(code) && avoided.size() < maxAdditives)
            avoided << code;
    }
    emit changed();
}

void vsRestrictions::write(QSettings &settings) const
{
    static const char *const diets[] = {"none", "vegetarian", "vegan"};
    settings.setValue(dietKey, QString::fromLatin1(diets[currentDiet]));
    QStringList groups;
    for (int group = 0; group < groupTotal; ++group) {
        if (avoidsGroup(group))
            groups << groupId(group);
    }
    for (const auto &list : {std::make_pair(groupsKey, groups), std::make_pair(additivesKey, avoided)}) {
        if (list.second.isEmpty())
            settings.remove(list.first);
        else
            settings.setValue(list.first, list.second);
    }
}
