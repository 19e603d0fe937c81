#ifndef VESTRION_SEARCH_VSNAMEINDEX_H
#define VESTRION_SEARCH_VSNAMEINDEX_H

#include <QString>
#include <QStringList>
#include <QVector>

class QAbstractItemModel;

// Finds catalogue entries by the words of a name or code, as printed on a
// label. Each entry's code and name pieces are case-folded once, on the first
// search, so that a keystroke costs one scan of prepared texts.
class vsNameIndex
{
public:
    // One prepared entry: the model row, and its folded code followed by its
    // folded name pieces, one per line.
    struct Entry
    {
        int row = 0;
        QString text;
    };

    // Longer queries are read as their first this many characters: enough for
    // any name, and a pasted page cannot stall the keystroke.
    static constexpr int maxQueryLength = 256;

    // The model is read on first use, not here; it must outlive the index.
    explicit vsNameIndex(const QAbstractItemModel *model = nullptr);

    // The folded words of a query, split at white space and control characters.
    static QStringList queryWords(const QString &query);

    // Rows of the non-header entries whose code or some name piece contains
    // every word of the query, in catalogue order. No words, no rows.
    QVector<int> match(const QString &query) const;

    // The prepared entries, built on the first call.
    const QVector<Entry> &entries() const;

private:
    const QAbstractItemModel *model = nullptr;
    mutable QVector<Entry> prepared;
    mutable bool isPrepared = false;
};

#endif
