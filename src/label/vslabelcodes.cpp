#include "label/vslabelcodes.h"

#include "catalogue/vsentrynames.h"
#include "label/vsocrtolerance.h"

#include <QRegularExpression>

namespace {
const QString romanNumber = QStringLiteral("(?:viii|vii|vi|iv|ix|v|iii|ii|i|x|\\x{0448})");

// Three or four digits, or the letters OCR reads for them where a digit must
// stand; a letter, Latin or Cyrillic, or after a space a Latin one; a Roman
// number (Russian OCR reads "iii" as "Ш") in brackets, or after the rest or a
// space; never inside a word or a longer number.
QString codeBody()
{
    const QString zero = vsOcrTolerance::zeroLookAlikes();
    const QString three = vsOcrTolerance::threeLookAlikes();
    return QStringLiteral("([0-9%1][0-9%1%2]{2,3})(?:([a-g\\x{0430}\\x{0441}\\x{0435}])|[ "
                          "\\t]([a-g])(?![\\p{L}\\p{N}]))?"
                          "(?:[ \\t]*\\(\\s*(%3)\\s*\\)|[ \\t]?(%3)(?![\\p{L}\\p{N}]))?(?![\\p{L}\\p{N}])")
        .arg(three, zero, romanNumber);
}

// The digits a read code stands for.
QString digitsOf(const QString &read)
{
    QString digits = read;
    for (QChar &c : digits) {
        if (vsOcrTolerance::zeroLookAlikes().contains(c))
            c = QLatin1Char('0');
        else if (vsOcrTolerance::threeLookAlikes().contains(c))
            c = QLatin1Char('3');
    }
    return digits;
}

// Letters OCR and Russian keyboards put in place of the Latin suffix letters.
QChar latinSuffix(QChar c)
{
    switch (c.unicode()) {
    case 0x0430: // а
        return QLatin1Char('a');
    case 0x0441: // с
        return QLatin1Char('c');
    case 0x0435: // е
        return QLatin1Char('e');
    default:
        return c;
    }
}
} // namespace

void vsLabelCodes::prepare(const QVector<vsEntryNames> &entries)
{
    for (int row = 0; row < entries.size(); ++row) {
        const QString code = vsEntryNames::fold(entries.at(row).code);
        if (!entries.at(row).header && !code.isEmpty() && !codes.contains(code))
            codes.insert(code, row);
    }
    // Families the catalogue keeps only as their members: E960 for E960a…d,
    // E160b for E160b(i) and E160b(ii), but not E160a's own members for E160.
    static const QRegularExpression codeParts(QStringLiteral("^(e[0-9]{3,4})([a-z])?(\\([ivx]+\\))?$"));
    for (int row = 0; row < entries.size(); ++row) {
        const QRegularExpressionMatch parts = codeParts.match(vsEntryNames::fold(entries.at(row).code));
        if (entries.at(row).header || !parts.hasMatch() ||
            (parts.captured(2).isEmpty() && parts.captured(3).isEmpty()))
            continue;
        const QString number = parts.captured(1);
        const QString lettered = number + parts.captured(2);
        if (!parts.captured(3).isEmpty() && !parts.captured(2).isEmpty() && !codes.contains(lettered))
            families[lettered].append(row);
        if (!codes.contains(number) &&
            (parts.captured(3).isEmpty() || parts.captured(2).isEmpty() || !codes.contains(lettered)))
            families[number].append(row);
    }
}

QVector<int> vsLabelCodes::rowsOf(const QString &code) const
{
    const auto row = codes.constFind(code);
    if (row != codes.constEnd())
        return {row.value()};
    return families.value(code);
}

void vsLabelCodes::add(const QString &number, const QString &letter, const QString &roman, int position,
                       QVector<Hit> *hits) const
{
    // OCR reads a Roman i after four digits as 1: "E4511" is E451(i) where
    // the catalogue has no E4511 but that member.
    if (number.size() == 4 && number.endsWith(QLatin1Char('1')) && letter.isEmpty() && roman.isEmpty() &&
        !codes.contains(QLatin1Char('e') + number) &&
        codes.contains(QLatin1Char('e') + number.left(3) + QLatin1String("(i)")))
        return add(number.left(3), letter, QStringLiteral("i"), position, hits);
    // The most precise code the catalogue knows: E160a(v) is read as E160a.
    const QString lettered = QLatin1Char('e') + number + letter;
    const QString readRoman = roman == QChar(0x0448) ? QStringLiteral("iii") : roman;
    const QString candidates[] = {
        lettered + (readRoman.isEmpty() ? QString() : QLatin1Char('(') + readRoman + QLatin1Char(')')),
        lettered, QLatin1Char('e') + number};
    for (const QString &candidate : candidates) {
        const auto row = codes.constFind(candidate);
        if (row != codes.constEnd()) {
            hits->append(Hit{position, row.value()});
            return;
        }
    }
    for (const QString &candidate : {candidates[1], candidates[2]}) {
        const auto members = families.constFind(candidate);
        if (members != families.constEnd()) {
            for (int row : members.value())
                hits->append(Hit{position, row});
            return;
        }
    }
}

void vsLabelCodes::find(const QString &folded, QVector<Hit> *hits) const
{
    // E or Е (or a blurred E read as "£" or "€", but not in a price with its
    // decimals) or the Codex's INS, as Latin American packs print it too ("INS
    // N° 950", "INS.218", "INS #202"), a space or hyphen, then the code.
    static const QRegularExpression code(
        QStringLiteral("(?<![\\p{L}\\p{N}])(?:[e\\x{0435}]|[%1](?![0-9]+[.,][0-9])|ins(?:[ \\t]*[.#]|[ "
                       "\\t]*n(?:[°º.]|o\\.?)?(?=[ \\t]*[0-9]))?)[ "
                       "\\t]*[-\\x{2010}\\x{2011}\\x{2013}]?\\s?[ \\t]*")
                .arg(vsOcrTolerance::eLookAlikes()) +
            codeBody(),
        QRegularExpression::UseUnicodePropertiesOption);
    QRegularExpressionMatchIterator it = code.globalMatch(folded);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QString letter =
            match.captured(2).isEmpty() ? match.captured(3) : QString(latinSuffix(match.captured(2).at(0)));
        const QString roman = match.captured(4).isEmpty() ? match.captured(5) : match.captured(4);
        add(digitsOf(match.captured(1)), letter, roman, int(match.capturedStart()), hits);
    }
}

void vsLabelCodes::findNumbers(const QString &folded, const QVector<int> &classWordEnds,
                               QVector<Hit> *hits) const
{
    // "Acidity regulator (330, 331)", "Emulsifiers (soy lecithin, 471)",
    // "Preservative: 202": a bare number is a code only where a class word
    // or its bracket brings it in; "100 g" or "2025" alone never are. There
    // a letter OCR put in the E's place ("агент F553") is the E.
    static const QRegularExpression opening(QStringLiteral("\\G[ \\t]*[:\\-\\x{2013}]?[ \\t\\n]*([(\\[])?"));
    static const QRegularExpression number(
        QStringLiteral("\\G[ \\t\\n]*(?:ins[ \\t]*|[f%1][ \\t]?-?)?").arg(vsOcrTolerance::eLookAlikes()) +
            codeBody() + QStringLiteral("(?![.,][0-9])(?![ \\t]*(?:%|‰|[gгkк]\\b|m[gl]\\b|м[гл]\\b))"),
        QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression nextInList(QStringLiteral("\\G[ \\t\\n]*(?:[,/&]|and|и)[ \\t\\n]*"));
    for (const int end : classWordEnds) {
        const QRegularExpressionMatch open = opening.match(folded, end);
        int at = int(open.capturedEnd());
        const bool bracketed = open.capturedLength(1) > 0;
        for (;;) {
            const QRegularExpressionMatch item = number.match(folded, at);
            if (item.hasMatch()) {
                const QString letter = item.captured(2).isEmpty()
                                           ? item.captured(3)
                                           : QString(latinSuffix(item.captured(2).at(0)));
                const QString roman = item.captured(4).isEmpty() ? item.captured(5) : item.captured(4);
                add(digitsOf(item.captured(1)), letter, roman, int(item.capturedStart(1)), hits);
                at = int(item.capturedEnd());
            } else if (!bracketed) {
                break;
            }
            if (bracketed) {
                // Within the bracket every item that starts with a number counts.
                while (at < folded.size() && !QStringLiteral(",;)]\n").contains(folded.at(at)))
                    ++at;
                if (at >= folded.size() || folded.at(at) != QLatin1Char(','))
                    break;
                ++at;
                continue;
            }
            const QRegularExpressionMatch next = nextInList.match(folded, at);
            if (!next.hasMatch())
                break;
            at = int(next.capturedEnd());
        }
    }
}
