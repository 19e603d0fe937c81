#include "search/vsnameindex.h"

#include "catalogue/vsentrynames.h"

#include <QAbstractItemModel>
#include <QStringMatcher>
#include <QStringView>

#include <algorithm>

namespace {
const QChar lineBreak = QLatin1Char('\n');

bool isSeparator(QChar c)
{
    // The prepared texts keep their pieces apart with line breaks; a word
    // never holds one, so it can never match across two pieces.
    return c.isSpace() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format;
}

// "е951" or "e951" typed for the code E951: the same word with a Latin e.
QString codeForm(const QString &word)
{
    if (word.size() < 2 || !word.at(1).isDigit())
        return QString();
    const QChar first = word.at(0);
    if (first != QLatin1Char('e') && first != QChar(0x0435))
        return QString();
    for (const QChar c : QStringView(word).mid(1))
        if (!c.isDigit())
            return QString();
    return QLatin1Char('e') + word.mid(1);
}

struct Needle
{
    QStringMatcher word;
    QStringMatcher code; // empty pattern when the word is no code
    bool hasCode = false;

    bool foundIn(const QString &text) const
    {
        return word.indexIn(text) >= 0 || (hasCode && code.indexIn(text) >= 0);
    }
};
} // namespace

vsNameIndex::vsNameIndex(const QAbstractItemModel *model) : model(model) {}

QStringList vsNameIndex::queryWords(const QString &query)
{
    const QString folded = vsEntryNames::fold(query.left(maxQueryLength));
    QStringList words;
    int start = -1;
    for (int i = 0; i <= folded.size(); ++i) {
        const bool end = i == folded.size() || isSeparator(folded.at(i));
        if (!end && start < 0)
            start = i;
        if (end && start >= 0) {
            words << folded.mid(start, i - start);
            start = -1;
        }
    }
    return words;
}

const QVector<vsNameIndex::Entry> &vsNameIndex::entries() const
{
    if (isPrepared || !model)
        return prepared;
    isPrepared = true;
    const int rows = model->rowCount();
    prepared.reserve(rows);
    for (int row = 0; row < rows; ++row) {
        const vsEntryNames entry = vsEntryNames::read(model->index(row, 0));
        if (entry.header)
            continue;
        QString text = entry.code;
        for (const QString &piece : entry.pieces)
            text += lineBreak + piece;
        prepared.append(Entry{row, vsEntryNames::fold(text)});
    }
    prepared.squeeze();
    return prepared;
}

QVector<int> vsNameIndex::match(const QString &query) const
{
    QStringList words = queryWords(query);
    words.removeDuplicates();
    // A word inside a longer one adds nothing: the longer one is the test.
    // Longest first, so that the cheap misses come early.
    std::sort(words.begin(), words.end(),
              [](const QString &a, const QString &b) { return a.size() > b.size(); });
    std::vector<Needle> needles;
    for (int i = 0; i < words.size(); ++i) {
        const QString code = codeForm(words.at(i));
        bool implied = false;
        for (int j = 0; j < i && !implied && code.isEmpty(); ++j)
            implied = codeForm(words.at(j)).isEmpty() && words.at(j).contains(words.at(i));
        if (implied)
            continue;
        Needle needle;
        needle.word.setPattern(words.at(i));
        needle.hasCode = !code.isEmpty();
        if (needle.hasCode)
            needle.code.setPattern(code);
        needles.push_back(needle);
    }

    QVector<int> rows;
    if (needles.empty())
        return rows;
    for (const Entry &entry : entries()) {
        const bool all = std::all_of(needles.begin(), needles.end(),
                                     [&entry](const Needle &needle) { return needle.foundIn(entry.text); });
        if (all)
            rows.append(entry.row);
    }
    return rows;
}
