#include "catalogue/vscatalogueloader.h"

#include "catalogue/vsboundedinflate.h"
#include "catalogue/vsentrybuilder.h"
#include "catalogue/vsvdbformat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
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

namespace {
// Where the reader's bytes come from: a document in memory, or a payload
// inflated slice by slice.
class Source
{
public:
    explicit Source(const QByteArray &document) : document(&document) {}
    explicit Source(vsBoundedInflater *inflater) : inflater(inflater) {}

    QByteArray next(int size)
    {
        if (inflater)
            return inflater->read(size);
        const int length = int(std::min<qint64>(size, document->size() - at));
        const QByteArray slice = QByteArray::fromRawData(document->constData() + at, length);
        at += length;
        return slice;
    }
    bool atTheBound() const { return inflater && inflater->status() == vsBoundedInflater::AtTheBound; }

private:
    const QByteArray *document = nullptr;
    vsBoundedInflater *inflater = nullptr;
    qint64 at = 0;
};

QString number(qint64 value)
{
    QLocale english(QLocale::C);
    english.setNumberOptions(QLocale::NumberOptions()); // with group separators
    return english.toString(value);
}

QString mebibytes(qint64 bytes)
{
    return QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024));
}

QString textLimit()
{
    return QStringLiteral("text of %1 characters per document byte and %2 more")
        .arg(limits::textPerByte)
        .arg(number(limits::extraText));
}

Reading readFrom(Source &source)
{
    vsEntryBuilder builder;
    Reading result;
    const auto stop = [&](const QString &limit) {
        result.limit = limit;
        result.entries = builder.take();
        return result;
    };
    QXmlStreamReader reader;
    const int entityLimit = reader.entityExpansionLimit();

    // What one "&" may add: until the DTD's declarations are known, as much
    // as the reader allows; after them, what the declared entities need.
    qint64 perReference = entityLimit + 1;
    qint64 text = 0;
    qint64 checks = 0;
    qint64 checksPerTag = 0;
    int depth = 0;
    int tokens = 0;
    bool dtdSeen = false;
    bool bodyStarted = false;
    qint64 fed = 0;
    // The token in progress started after the last slice fed before the
    // previous token, or within it: its bytes, "=" and "&" are counted from there.
    qint64 pendingStart = 0;
    qint64 pendingEquals = 0;
    qint64 pendingReferences = 0;
    qint64 lastSliceSize = 0;
    qint64 lastSliceEquals = 0;
    qint64 lastSliceReferences = 0;
    const auto budget = [](qint64 bytes) { return bytes * limits::textPerByte + limits::extraText; };

    for (;;) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::Invalid) {
            if (reader.error() != QXmlStreamReader::PrematureEndOfDocumentError)
                return stop(QString());
            // Where one reference may add thousands of characters, smaller
            // slices keep the estimate below close to what is really read.
            const QByteArray slice =
                source.next(perReference > 257 || !bodyStarted ? smallSliceSize : sliceSize);
            if (slice.isEmpty())
                return stop(source.atTheBound()
                                ? QStringLiteral("%1 decompressed").arg(mebibytes(limits::documentBytes))
                                : QString());
            const qint64 equals = std::count(slice.cbegin(), slice.cend(), '=');
            const qint64 references = std::count(slice.cbegin(), slice.cend(), '&');
            // Before the reader sees the slice: the token in progress, were it
            // to end in this slice, with every "=" an attribute and every "&"
            // a reference.
            const qint64 span = fed + slice.size() - pendingStart;
            if (span > limits::tokenBytes)
                return stop(QStringLiteral("%1 in one token").arg(mebibytes(limits::tokenBytes)));
            if (pendingEquals + equals > limits::attributes)
                return stop(QStringLiteral("%1 attributes in one tag").arg(number(limits::attributes)));
            if (text + span + (pendingReferences + references) * perReference > budget(fed + slice.size()))
                return stop(textLimit());
            reader.addData(slice);
            fed += slice.size();
            pendingEquals += equals;
            pendingReferences += references;
            lastSliceSize = slice.size();
            lastSliceEquals = equals;
            lastSliceReferences = references;
            continue;
        }
        if (token == QXmlStreamReader::EndDocument)
            return stop(QString());
        if (++tokens > limits::tokens)
            return stop(QStringLiteral("%1 tokens").arg(number(limits::tokens)));
        pendingStart = fed - lastSliceSize;
        pendingEquals = lastSliceEquals;
        pendingReferences = lastSliceReferences;

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
            if (!bodyStarted && !dtdSeen)
                perReference = 2; // no entities but the predefined ones and character references
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
                return stop(QString());
            dtdSeen = true;
            // From here on a reference may grow as far as the declared entities
            // need, which the reader's own limit allows them anyway.
            const QXmlStreamEntityDeclarations declarations = reader.entityDeclarations();
            perReference = 2;
            if (!declarations.isEmpty()) {
                const qint64 largest = largestGrowth(declarations, entityLimit + 1);
                const int limit = int(std::clamp<qint64>(largest, 256, entityLimit));
                reader.setEntityExpansionLimit(limit);
                perReference = limit + 1;
            }
            checksPerTag = attributeDefaultsIn(reader.text());
            break;
        }
        default:
            break;
        }
        text += tokenText;
        if (text > budget(fed))
            return stop(textLimit());
        if (checks > limits::attributeChecks)
            return stop(QStringLiteral("%1 attribute checks").arg(number(limits::attributeChecks)));
        if (depth > limits::depth)
            return stop(QStringLiteral("depth %1").arg(number(limits::depth)));

        if (token != QXmlStreamReader::StartElement || reader.name() != QLatin1String("item"))
            continue;
        if (builder.size() >= limits::entries)
            return stop(QStringLiteral("%1 items").arg(number(limits::entries)));
        builder.add(reader.attributes());
    }
}
} // namespace

Reading read(const QByteArray &document)
{
    Source source(document);
    return readFrom(source);
}

vsEntryList readDocument(const QByteArray &document)
{
    return read(document).entries;
}

Reading readFileContents(const QByteArray &fileContents)
{
    vsBoundedInflater inflater(vsVdbFormat::payloadOf(fileContents), limits::documentBytes);
    Source source(&inflater);
    return readFrom(source);
}

vsEntryList readFile(const QByteArray &fileContents)
{
    return readFileContents(fileContents).entries;
}

Reading readPath(const QString &path)
{
    // A FIFO or device would block or never end; only regular files are read.
    const QFileInfo info(path);
    if (!info.isFile())
        return Reading();
    Reading tooLarge;
    tooLarge.limit = QStringLiteral("a file size of %1").arg(mebibytes(maxFileSize));
    if (info.size() > maxFileSize)
        return tooLarge;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Reading();
    // QIODevice::read allocates all it is asked for: ask for the size seen,
    // and one byte more, so that a file grown since is not read further.
    const QByteArray contents = file.read(info.size() + 1);
    file.close();
    if (contents.size() > maxFileSize)
        return tooLarge;
    return readFileContents(contents);
}

QStringList dataFileNames(const QDir &folder)
{
    return folder.entryList(QStringList(QStringLiteral("*.vdb")), QDir::Files, QDir::Name);
}

void loadFolder(const QString &folderPath, vsDataModel *model)
{
    const QDir folder(folderPath);
    const QStringList names = dataFileNames(folder);
    for (const QString &name : names)
        model->appendEntries(readPath(folder.absoluteFilePath(name)).entries);
}

} // namespace vsCatalogueLoader
