#include "catalogue/vsentrybuilder.h"

#include <QXmlStreamAttributes>

namespace {
// Attribute names repeat in every entry; sharing one string per name keeps a
// large catalogue from holding a copy of each name per entry. Only the first
// few names are shared, so a hostile document with thousands of distinct
// names stays linear.
constexpr int maxSharedNames = 32;

// Entries per batch, and the most text a batch holds back before it is
// completed early, so a few huge tags cannot make the batch large.
constexpr int batchEntries = 256;
constexpr int batchText = 1024 * 1024;

const QLatin1String codeName("code");
} // namespace

QString vsEntryBuilder::sharedName(QStringView name)
{
    for (const QString &known : qAsConst(names)) {
        if (known == name)
            return known;
    }
    QString created = name.toString();
    if (names.size() < maxSharedNames)
        names.append(created);
    return created;
}

void vsEntryBuilder::add(const QXmlStreamAttributes &attributes)
{
    // The last "code" wins, as it would attribute by attribute.
    int code = -1;
    for (int i = 0; i < attributes.size(); ++i) {
        if (attributes.at(i).name() == codeName)
            code = i;
    }

    vsEntry entry;
    // An empty hash allocates nothing until something goes in. Room for every
    // attribute now keeps the buckets where they are when the rest arrives.
    if (!attributes.isEmpty())
        entry.reserve(attributes.size());
    if (code >= 0)
        entry.insert(sharedName(attributes.at(code).name()), attributes.at(code).value().toString());
    const int row = entries.size();
    entries.append(entry);
    entry = vsEntry(); // the list holds the only reference, so completing it never copies

    for (int i = 0; i < attributes.size(); ++i) {
        const QXmlStreamAttribute &attribute = attributes.at(i);
        if (attribute.name() == codeName)
            continue;
        const QStringView value = attribute.value();
        pending.append({row, sharedName(attribute.name()), int(texts.size()), int(value.size())});
        texts.append(value);
    }
    if (++batched >= batchEntries || texts.size() >= batchText)
        completeBatch();
}

vsEntryList vsEntryBuilder::take()
{
    completeBatch();
    vsEntryList complete;
    complete.swap(entries);
    return complete;
}

void vsEntryBuilder::completeBatch()
{
    for (const Pending &attribute : qAsConst(pending))
        entries[attribute.row].insert(attribute.name,
                                      QString(texts.constData() + attribute.offset, attribute.length));
    // Both keep their capacity for the next batch.
    pending.resize(0);
    texts.resize(0);
    batched = 0;
}
