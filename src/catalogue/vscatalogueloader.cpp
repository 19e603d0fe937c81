#include "catalogue/vscatalogueloader.h"

#include "catalogue/vsboundedinflate.h"
#include "catalogue/vsentrybuilder.h"
#include "catalogue/vsvdbformat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QXmlStreamReader>

#include <algorithm>

namespace vsCatalogueLoader {

namespace {
// A compressed file is never much larger than what it holds, so anything far
// beyond the document bound cannot be a catalogue and is not read into memory.
constexpr qint64 maxFileSize = vsMaxDocumentSize + 1024 * 1024;

// The reader is fed in slices, so that it returns between them and a document
// that grows without end inside one token can be stopped. Where entities may
// turn one byte into a thousand characters, and before the body shows whether
// they do, the slices are smaller.
constexpr int sliceSize = 4 * 1024;
constexpr int smallSliceSize = 512;

// The most the reader's count can reach for one reference to the entity. For
// every reference it follows, nested ones included, it adds the length of the
// value less that of the reference, and it fails once the count passes its
// limit. A cycle or a very long chain counts as the most; the reader rejects
// both anyway.
qint64 growthOf(const QString &name, const QHash<QString, QString> &values, QHash<QString, qint64> &known,
                int chain, qint64 most)
{
    const auto found = known.constFind(name);
    if (found != known.cend())
        return found.value();
    if (chain > 256)
        return most;
    known.insert(name, most);
    const QString value = values.value(name);
    qint64 total = std::max<qint64>(0, value.size() - name.size() - 2);
    int at = 0;
    while (total < most) {
        const int amp = value.indexOf(QLatin1Char('&'), at);
        const int semicolon = amp < 0 ? -1 : value.indexOf(QLatin1Char(';'), amp + 1);
        if (semicolon < 0)
            break;
        const QString reference = value.mid(amp + 1, semicolon - amp - 1);
        if (values.contains(reference))
            total += growthOf(reference, values, known, chain + 1, most);
        at = semicolon + 1;
    }
    total = std::min(total, most);
    known.insert(name, total);
    return total;
}

// The largest growth of one reference to any declared entity, at most most.
qint64 largestGrowth(const QXmlStreamEntityDeclarations &declarations, qint64 most)
{
    QHash<QString, QString> values;
    for (const QXmlStreamEntityDeclaration &declaration : declarations)
        values.insert(declaration.name().toString(), declaration.value().toString());
    QHash<QString, qint64> known;
    qint64 largest = 0;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        largest = std::max(largest, growthOf(it.key(), values, known, 0, most));
    return largest;
}

// How many attribute definitions the reader walks at every start tag, at most:
// each takes eight characters or more of an ATTLIST declaration.
qint64 attributeDefaultsIn(QStringView dtd)
{
    qint64 count = 0;
    const QLatin1String declaration("<!ATTLIST");
    qsizetype at = dtd.indexOf(declaration);
    while (at >= 0) {
        const qsizetype next = dtd.indexOf(QLatin1String("<!"), at + 2);
        count += ((next < 0 ? dtd.size() : next) - at) / 8;
        at = next < 0 ? -1 : dtd.indexOf(declaration, next);
    }
    return count;
}
} // namespace

vsEntryList readDocument(const QByteArray &document)
{
    vsEntryBuilder builder;
    QXmlStreamReader reader;
    const int entityLimit = reader.entityExpansionLimit();
    reader.setEntityExpansionLimit(limits::dtdEntityExpansion);

    const qint64 textBudget = document.size() + limits::extraText;
    qint64 text = 0;
    qint64 checks = 0;
    qint64 checksPerTag = 0;
    qint64 ratio = 1;
    int depth = 0;
    int tokens = 0;
    bool dtdSeen = false;
    bool bodyStarted = false;
    qint64 fed = 0;
    qint64 fedAtToken = 0;
    const auto feed = [&] {
        const int size = ratio > 1 || !bodyStarted ? smallSliceSize : sliceSize;
        const int slice = int(std::min<qint64>(size, document.size() - fed));
        reader.addData(QByteArray::fromRawData(document.constData() + fed, slice));
        fed += slice;
    };
    feed();

    for (;;) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::Invalid) {
            if (reader.error() != QXmlStreamReader::PrematureEndOfDocumentError || fed >= document.size())
                break;
            // The token in progress spans at least what was fed since the last
            // one, and produces at most ratio characters per byte.
            const qint64 pending = fed - fedAtToken;
            if (pending > limits::tokenBytes || text + pending * ratio > textBudget)
                break;
            feed();
            continue;
        }
        if (token == QXmlStreamReader::EndDocument || ++tokens > limits::tokens)
            break;
        fedAtToken = fed;

        qint64 tokenText = reader.text().size();
        switch (token) {
        case QXmlStreamReader::StartElement: {
            // A const copy shares the reader's attributes; looping over the
            // temporary itself would detach it, a deep copy at every tag.
            const QXmlStreamAttributes attributes = reader.attributes();
            const qint64 count = attributes.size();
            for (const QXmlStreamAttribute &attribute : attributes)
                tokenText += attribute.qualifiedName().size() + attribute.value().size();
            checks += count * (count - 1) / 2 + checksPerTag;
            ++depth;
            bodyStarted = true;
            break;
        }
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::ProcessingInstruction:
            tokenText +=
                reader.processingInstructionTarget().size() + reader.processingInstructionData().size();
            break;
        case QXmlStreamReader::DTD: {
            // Read whole, the reader refuses a second DTD or one inside the
            // root; fed in slices it may miss that, so it is refused here.
            if (dtdSeen || bodyStarted)
                return builder.take();
            dtdSeen = true;
            // From here on a reference may grow as far as the declared entities
            // need, which the reader's own limit allows them anyway; so one byte
            // of the body turns into 1 + limit / 3 characters at most.
            const QXmlStreamEntityDeclarations declarations = reader.entityDeclarations();
            if (!declarations.isEmpty()) {
                const qint64 largest = largestGrowth(declarations, entityLimit + 1);
                const int limit = int(std::clamp<qint64>(largest, limits::dtdEntityExpansion, entityLimit));
                reader.setEntityExpansionLimit(limit);
                ratio = 1 + limit / 3;
            }
            checksPerTag = attributeDefaultsIn(reader.text());
            break;
        }
        default:
            break;
        }
        text += tokenText;
        if (text > textBudget || checks > limits::attributeChecks || depth > limits::depth)
            break;

        if (token != QXmlStreamReader::StartElement || reader.name() != QLatin1String("item"))
            continue;
        if (builder.size() >= limits::entries)
            break;
        builder.add(reader.attributes());
    }
    return builder.take();
}

vsEntryList readFile(const QByteArray &fileContents)
{
    const QByteArray document = vsBoundedUncompress(vsVdbFormat::payloadOf(fileContents));
    if (document.isEmpty())
        return vsEntryList();
    return readDocument(document);
}

QStringList dataFileNames(const QDir &folder)
{
    return folder.entryList(QStringList(QStringLiteral("*.vdb")), QDir::Files, QDir::Name);
}

void loadFolder(const QString &folderPath, vsDataModel *model)
{
    const QDir folder(folderPath);
    const QStringList names = dataFileNames(folder);
    for (const QString &name : names) {
        const QString path = folder.absoluteFilePath(name);
        // A FIFO or device would block or never end; only regular files are read.
        const QFileInfo info(path);
        if (!info.isFile() || info.size() > maxFileSize)
            continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        // QIODevice::read allocates all it is asked for: ask for the size seen,
        // and one byte more, so that a file grown since is not read further.
        const QByteArray contents = file.read(info.size() + 1);
        file.close();
        if (contents.size() > maxFileSize)
            continue;
        model->appendEntries(readFile(contents));
    }
}

} // namespace vsCatalogueLoader
