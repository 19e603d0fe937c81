#include "label/vsdenials.h"

#include <QRegularExpression>

namespace {
bool isClose(QChar c)
{
    return c == QLatin1Char(')') || c == QLatin1Char(']');
}

bool isOpen(QChar c)
{
    return c == QLatin1Char('(') || c == QLatin1Char('[');
}

// A full stop ends a sentence before a capital, a digit, a line break or the
// end; not inside "в т.ч. бензоат" or "3.5".
bool endsSentence(const QString &text, int dot)
{
    int next = dot + 1;
    if (next >= text.size() || text.at(next) == QLatin1Char('\n'))
        return true;
    if (!text.at(next).isSpace())
        return false;
    while (next < text.size() && text.at(next).isSpace()) {
        if (text.at(next) == QLatin1Char('\n'))
            return true;
        ++next;
    }
    return next >= text.size() || text.at(next).isUpper() || text.at(next).isDigit();
}

QString wordAt(const QString &text, int at, int *end)
{
    int i = at;
    while (i < text.size() && !text.at(i).isLetterOrNumber() && text.at(i) != QLatin1Char('\n') &&
           !isClose(text.at(i)))
        ++i;
    int j = i;
    while (j < text.size() && text.at(j).isLetterOrNumber())
        ++j;
    *end = j;
    return text.mid(i, j - i).toCaseFolded();
}

// Where a denial that starts at from ends.
int forwardEnd(const QString &text, int from, bool onlyFirstItem)
{
    static const QRegularExpression heading(QStringLiteral("^(?:состав|ingredients)\\b"),
                                            QRegularExpression::CaseInsensitiveOption |
                                                QRegularExpression::UseUnicodePropertiesOption);
    int depth = 0;
    bool wordSeen = false;
    for (int i = from; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isLetterOrNumber()) {
            if ((i == 0 || !text.at(i - 1).isLetterOrNumber()) && wordSeen &&
                heading.match(QStringView(text).mid(i, 16).toString()).hasMatch())
                return i;
            wordSeen = true;
            continue;
        }
        if (isOpen(c)) {
            ++depth;
        } else if (isClose(c)) {
            if (depth == 0)
                return i;
            --depth;
        } else if (c == QLatin1Char('!') || c == QLatin1Char('?') || c == QLatin1Char(';')) {
            return i;
        } else if (c == QLatin1Char('.') && endsSentence(text, i)) {
            return i;
        } else if (c == QLatin1Char(':') && wordSeen) {
            return i;
        } else if (c == QLatin1Char(',') && onlyFirstItem && depth == 0) {
            return i;
        } else if (c == QLatin1Char('\n')) {
            // A blank line ends it; a list wrapped onto the next line does not.
            int j = i + 1;
            while (j < text.size() && text.at(j) != QLatin1Char('\n') && text.at(j).isSpace())
                ++j;
            if (j < text.size() && text.at(j) == QLatin1Char('\n'))
                return i;
        }
    }
    return text.size();
}

int backwardStart(const QString &text, int to)
{
    for (int i = to - 1; i >= 0; --i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char(',') || c == QLatin1Char(';') || c == QLatin1Char(':') ||
            c == QLatin1Char('\n') || isOpen(c) || isClose(c) ||
            (c == QLatin1Char('.') && endsSentence(text, i)))
            return i + 1;
    }
    return 0;
}
} // namespace

namespace vsDenials {

QVector<Range> find(const QString &text, const std::function<bool(const QString &)> &namesAdditive)
{
    // Words that open a denial, and the short ones among them that also stand
    // in ordinary food names ("без косточек", "without skin", "no. 5").
    static const QRegularExpression opening(
        QStringLiteral("(?<![\\p{L}\\p{N}])(?:"
                       "(?<long>не\\s+(?:содерж|добавл|использ|примен)\\w*|свободн\\w*\\s+от|"
                       "без\\s+(?:добавлени|использовани|применени)\\w*|"
                       "contains?\\s+no|does\\s+not\\s+contain|do\\s+not\\s+contain|free\\s+(?:from|of)|"
                       "no\\s+added|without\\s+added)"
                       "|(?<short>без|without|no(?!\\s*\\.?\\s*\\d)(?!\\.)))"
                       "(?![\\p{L}\\p{N}])"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression freeAfter(
        QStringLiteral("(?<=[\\p{L}\\p{N}])(?:-|\\s+)free(?![\\p{L}\\p{N}])(?!\\s+(?:from|of)\\b)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);

    QVector<Range> ranges;
    QRegularExpressionMatchIterator it = opening.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const int from = int(match.capturedEnd());
        bool onlyFirstItem = false;
        if (match.capturedLength(QStringLiteral("short")) > 0) {
            int end = 0;
            onlyFirstItem = !namesAdditive(wordAt(text, from, &end));
        }
        ranges.append(Range{int(match.capturedStart()), forwardEnd(text, from, onlyFirstItem)});
    }
    it = freeAfter.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        ranges.append(Range{backwardStart(text, int(match.capturedStart())), int(match.capturedEnd())});
    }
    std::sort(ranges.begin(), ranges.end(), [](const Range &a, const Range &b) { return a.start < b.start; });
    return ranges;
}

} // namespace vsDenials
