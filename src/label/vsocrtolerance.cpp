#include "label/vsocrtolerance.h"

#include <QSet>

#include <algorithm>
#include <cmath>

namespace vsOcrTolerance {

namespace {
const QString latinLetters = QStringLiteral("abcehkmoptuxy");
const QString cyrillicLetters = QStringLiteral("авсенкмортиху");

// A confusion costs this much of an edit; a look-alike of the other script
// next to nothing.
constexpr double confusionCost = 0.4;
constexpr double lookAlikeCost = 0.1;

// Pairs of folded letters OCR takes for one another in small or blurred
// print, Latin and Cyrillic, and the letters of Ukrainian, Belarusian and
// Kazakh that a model of a neighbouring language reads as its own.
const char16_t *const confusions[] = {u"ao", u"ae", u"ec", u"oc", u"il", u"i1", u"l1", u"it", u"lt", u"ij",
                                      u"ft", u"l|", u"i|", u"nh", u"nu", u"nr", u"uv", u"hb", u"mn", u"vy",
                                      u"gq", u"g9", u"q9", u"b6", u"b8", u"s5", u"z2", u"o0", u"rt",
                                      // Cyrillic
                                      u"ий", u"ин", u"нп", u"пл", u"шщ", u"ьъ", u"ьы", u"бв", u"б6", u"з3",
                                      u"зэ", u"ес", u"ео", u"ос", u"оа", u"ца", u"цщ", u"аи", u"тг", u"кн",
                                      // Their neighbours' letters
                                      u"қк", u"ғг", u"ңн", u"өо", u"ұу", u"үу", u"әэ", u"әа", u"һх", u"іi",
                                      u"іl", u"ії", u"їi", u"єе", u"ґг", u"ўу", u"іи"};

QHash<quint32, double> costTable()
{
    QHash<quint32, double> table;
    const auto pair = [](QChar a, QChar b) { return (quint32(a.unicode()) << 16) | b.unicode(); };
    for (const char16_t *letters : confusions) {
        const QChar a(letters[0]), b(letters[1]);
        table.insert(pair(a, b), confusionCost);
        table.insert(pair(b, a), confusionCost);
    }
    for (int i = 0; i < latinLetters.size(); ++i) {
        table.insert(pair(latinLetters.at(i), cyrillicLetters.at(i)), lookAlikeCost);
        table.insert(pair(cyrillicLetters.at(i), latinLetters.at(i)), lookAlikeCost);
    }
    return table;
}

double substitution(QChar a, QChar b)
{
    static const QHash<quint32, double> table = costTable();
    if (a == b)
        return 0;
    return table.value((quint32(a.unicode()) << 16) | b.unicode(), 1.0);
}

quint32 bigram(QChar a, QChar b)
{
    return (quint32(a.unicode()) << 16) | b.unicode();
}

// The letter pairs of a word with its ends marked, each once.
QVector<quint32> bigramsOf(const QString &word)
{
    QVector<quint32> grams;
    const QString marked = QLatin1Char('^') + word + QLatin1Char('$');
    for (int i = 0; i + 1 < marked.size(); ++i) {
        const quint32 gram = bigram(marked.at(i), marked.at(i + 1));
        if (!grams.contains(gram))
            grams.append(gram);
    }
    return grams;
}

// How near a word must be: a fifth of its letters, at most two edits; a
// word of four letters only by confusions. A hair over, as sums of the
// weights need not come out exact.
double allowance(const QString &word)
{
    return std::min(2.0, 0.2 * word.size()) + 1e-9;
}
} // namespace

const QString &zeroLookAlikes()
{
    static const QString letters = QStringLiteral("o\u043e");
    return letters;
}

const QString &threeLookAlikes()
{
    static const QString letters = QStringLiteral("\u0437");
    return letters;
}

const QString &eLookAlikes()
{
    static const QString letters = QStringLiteral("\u00a3\u20ac");
    return letters;
}

bool isCyrillic(QChar c)
{
    return c.unicode() >= 0x0400 && c.unicode() <= 0x04FF;
}

bool isLatin(QChar c)
{
    return c >= QLatin1Char('a') && c <= QLatin1Char('z');
}

QChar cyrillicLookAlike(QChar c)
{
    const int at = int(latinLetters.indexOf(c));
    return at < 0 ? QChar() : cyrillicLetters.at(at);
}

QChar latinLookAlike(QChar c)
{
    const int at = int(cyrillicLetters.indexOf(c));
    return at < 0 ? QChar() : latinLetters.at(at);
}

QString turned(const QString &word, bool toCyrillic)
{
    QString result = word;
    for (QChar &c : result) {
        if (toCyrillic ? !isLatin(c) : !isCyrillic(c))
            continue;
        c = toCyrillic ? cyrillicLookAlike(c) : latinLookAlike(c);
        if (c.isNull())
            return QString();
    }
    return result;
}

double distance(const QString &a, const QString &b)
{
    // Levenshtein's, with substitutions weighted; "rn" for "m" and the like
    // count as one confusion. Rows of a word's length live on the stack.
    const int n = int(a.size());
    const int m = int(b.size());
    constexpr int longest = 63;
    if (n > longest || m > longest)
        return std::abs(n - m) + std::min(n, m);
    double rows[3][longest + 1];
    double *beforePrevious = rows[0], *previous = rows[1], *current = rows[2];
    for (int j = 0; j <= m; ++j)
        previous[j] = beforePrevious[j] = j;
    static const char merged[][2] = {{'r', 'n'}, {'c', 'l'}, {'v', 'v'}};
    static const char single[] = {'m', 'd', 'w'};
    for (int i = 1; i <= n; ++i) {
        current[0] = i;
        for (int j = 1; j <= m; ++j) {
            double best = std::min(previous[j] + 1, current[j - 1] + 1);
            best = std::min(best, previous[j - 1] + substitution(a.at(i - 1), b.at(j - 1)));
            for (int k = 0; k < 3; ++k) {
                if (i >= 2 && a.at(i - 1) == QLatin1Char(merged[k][1]) &&
                    a.at(i - 2) == QLatin1Char(merged[k][0]) && b.at(j - 1) == QLatin1Char(single[k]))
                    best = std::min(best, beforePrevious[j - 1] + confusionCost);
                if (j >= 2 && b.at(j - 1) == QLatin1Char(merged[k][1]) &&
                    b.at(j - 2) == QLatin1Char(merged[k][0]) && a.at(i - 1) == QLatin1Char(single[k]))
                    best = std::min(best, previous[j - 2] + confusionCost);
            }
            current[j] = best;
        }
        std::swap(beforePrevious, previous);
        std::swap(previous, current);
    }
    return previous[m];
}

namespace {
// A letter pair at a word's length: candidates are near in length too.
quint64 keyOf(quint32 gram, int length)
{
    return (quint64(gram) << 8) | quint64(std::min(length, 255));
}
} // namespace

void Words::add(const QString &word)
{
    if (word.size() < shortestWord || known.contains(word))
        return;
    known.insert(word);
    if (word.size() == shortestWord) {
        shortWords.append(word);
        return;
    }
    const int index = int(words.size());
    words.append(word);
    for (const quint32 gram : bigramsOf(word))
        byPair[keyOf(gram, int(word.size()))].append(index);
}

QString Words::nearest(const QString &word, double *found) const
{
    if (word.size() < shortestWord)
        return QString();
    if (word.size() == shortestWord)
        return nearestShort(word, found);
    // Candidates are within two letters in length and share a third of the
    // word's letter pairs at least.
    const QVector<quint32> grams = bigramsOf(word);
    std::vector<int> seen;
    for (const quint32 gram : grams)
        for (int length = int(word.size()) - 2; length <= int(word.size()) + 2; ++length) {
            const auto postings = byPair.constFind(keyOf(gram, length));
            if (postings != byPair.constEnd())
                seen.insert(seen.end(), postings->begin(), postings->end());
        }
    std::sort(seen.begin(), seen.end());
    double best = 1e9, second = 1e9;
    int bestIndex = -1;
    for (size_t at = 0; at < seen.size();) {
        size_t next = at;
        while (next < seen.size() && seen[next] == seen[at])
            ++next;
        const int index = seen[at];
        const int shared = int(next - at);
        at = next;
        if (3 * shared < int(grams.size()))
            continue;
        const QString &candidate = words.at(index);
        const double d = distance(word, candidate);
        // Forms of one word (sorbate, sorbates) are one candidate.
        const bool sameWord =
            bestIndex >= 0 && candidate.size() > 4 &&
            candidate.left(candidate.size() - 2) == words.at(bestIndex).left(candidate.size() - 2);
        if (d < best) {
            if (!sameWord)
                second = best;
            best = d;
            bestIndex = index;
        } else if (d < second && !sameWord) {
            second = d;
        }
    }
    if (bestIndex < 0 || best > allowance(words.at(bestIndex)) || second - best < 0.5)
        return QString();
    if (found)
        *found = best;
    return words.at(bestIndex);
}

QString Words::nearestShort(const QString &word, double *found) const
{
    // Letters confused in place, nothing added or lost: a few hundred words
    // of that length are compared letter by letter.
    const double allowed = allowance(word);
    double best = 1e9, second = 1e9;
    int bestIndex = -1;
    for (int index = 0; index < shortWords.size(); ++index) {
        const QString &candidate = shortWords.at(index);
        double d = 0;
        for (int i = 0; i < word.size() && d <= allowed + 0.5; ++i)
            d += substitution(word.at(i), candidate.at(i));
        if (d < best) {
            second = best;
            best = d;
            bestIndex = index;
        } else if (d < second) {
            second = d;
        }
    }
    if (bestIndex < 0 || best > allowed || second - best < 0.5)
        return QString();
    if (found)
        *found = best;
    return shortWords.at(bestIndex);
}

} // namespace vsOcrTolerance
