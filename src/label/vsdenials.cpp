#include "label/vsdenials.h"

#include <algorithm>

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

// A line break followed by an empty line.
bool blankLineAt(const QString &text, int i)
{
    if (text.at(i) != QLatin1Char('\n'))
        return false;
    int j = i + 1;
    while (j < text.size() && text.at(j) != QLatin1Char('\n') && text.at(j).isSpace())
        ++j;
    return j < text.size() && text.at(j) == QLatin1Char('\n');
}

// Where a denial that starts at from ends.
int forwardEnd(const QString &text, int from, bool onlyFirstItem, const QVector<int> &headings)
{
    int depth = 0;
    bool wordSeen = false;
    for (int i = from; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isLetterOrNumber()) {
            if ((i == 0 || !text.at(i - 1).isLetterOrNumber()) && wordSeen && headings.contains(i))
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
        } else if (blankLineAt(text, i)) {
            // A list wrapped onto the next line goes on.
            return i;
        }
    }
    return int(text.size());
}

// Where the item that ends at to starts: the last comma, bracket, colon,
// line break or sentence end before it; with wholeSentence, the last
// sentence end, colon or blank line.
int backwardStart(const QString &text, int to, bool wholeSentence)
{
    for (int i = to - 1; i >= 0; --i) {
        const QChar c = text.at(i);
        const bool sentence = c == QLatin1Char(';') || c == QLatin1Char(':') || c == QLatin1Char('!') ||
                              c == QLatin1Char('?') || (c == QLatin1Char('.') && endsSentence(text, i)) ||
                              blankLineAt(text, i);
        const bool item = c == QLatin1Char(',') || c == QLatin1Char('\n') || isOpen(c) || isClose(c);
        if (sentence || (item && !wholeSentence))
            return i + 1;
    }
    return 0;
}
} // namespace

namespace vsDenials {

QVector<Range> find(const QString &text, const QVector<Opening> &openings, const QVector<Range> &deniedBefore,
                    const QVector<Range> &sentenceEnds, const QVector<int> &headings)
{
    QVector<Range> ranges;
    for (const Opening &opening : openings)
        ranges.append(
            Range{opening.words.start, forwardEnd(text, opening.words.end, opening.firstItemOnly, headings)});
    for (const Range &words : deniedBefore)
        ranges.append(Range{backwardStart(text, words.start, false), words.end});
    for (const Range &words : sentenceEnds)
        ranges.append(Range{backwardStart(text, words.start, true), words.end});
    std::sort(ranges.begin(), ranges.end(), [](const Range &a, const Range &b) { return a.start < b.start; });
    return ranges;
}

QVector<Range> notList(const QString &text, const QVector<int> &starts, const QVector<int> &headings)
{
    QVector<Range> ranges;
    for (const int start : starts) {
        int end = start;
        while (end < text.size() && !blankLineAt(text, end) &&
               !(end > start && headings.contains(end) && !text.at(end - 1).isLetterOrNumber()))
            ++end;
        ranges.append(Range{start, end});
    }
    return ranges;
}

} // namespace vsDenials
