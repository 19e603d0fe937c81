#ifndef VESTRION_CATALOGUE_VSENTRYBUILDER_H
#define VESTRION_CATALOGUE_VSENTRYBUILDER_H

#include "catalogue/vsentry.h"

#include <QString>
#include <QVector>

class QXmlStreamAttributes;

// Turns the attributes of "item" start tags into catalogue entries, one per
// tag and in tag order, each holding every attribute by its local name (a
// later attribute of the same name replaces an earlier one).
//
// The code search reads the code of row after row, and each read follows the
// hash, its buckets, the code's node and the code's text. Built attribute by
// attribute, one entry's allocations span some 1.8 KB, so a scan over 100,000
// rows missed the cache and the TLB on nearly every row. So each entry is made
// at once with only its code, and its other attributes follow when a batch of
// entries is complete: what a scan reads then lies close together.
class vsEntryBuilder
{
public:
    vsEntryBuilder() = default;
    vsEntryBuilder(const vsEntryBuilder &) = delete;
    vsEntryBuilder &operator=(const vsEntryBuilder &) = delete;

    void add(const QXmlStreamAttributes &attributes);
    int size() const { return entries.size(); }

    // Every entry added so far, complete; the builder is empty afterwards.
    vsEntryList take();

private:
    struct Pending
    {
        int row;
        QString name;
        int offset;
        int length;
    };

    QString sharedName(QStringView name);
    void completeBatch();

    vsEntryList entries;
    QVector<QString> names;
    // The other attributes of the batch's entries, their texts one after another.
    QVector<Pending> pending;
    QString texts;
    int batched = 0;
};

#endif
