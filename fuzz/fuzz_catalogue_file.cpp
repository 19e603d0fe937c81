// Feeds arbitrary bytes through what the program does with one data file:
// cut the payload, inflate it within the bound, read the document and append
// its entries to the list model, then read every row through the roles.
//
// Mutating compressed bytes mostly yields corrupt streams, so the mutator
// usually inflates the input, mutates the document and packs it again; now
// and then it mutates the raw bytes, with lying size headers among them.
//
// A document small enough that no reading bound can apply, and without a DTD,
// must give exactly the entries of the stream reader reading it whole. The one
// difference allowed: read whole, a wrongly encoded byte anywhere fails the
// document at its start, while the loader keeps what came before it.

#include "catalogue/vsboundedinflate.h"
#include "catalogue/vscatalogueloader.h"
#include "catalogue/vsdatamodel.h"
#include "catalogue/vsvdbformat.h"

#include <QXmlStreamReader>
#include <QtEndian>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t maxSize);

namespace {
// Documents the mutator works on stay small, so runs stay fast.
constexpr int maxMutatedDocument = 256 * 1024;
// Below this no bound of the reader can be reached by a document without a DTD.
constexpr int comparableDocument = 16 * 1024;

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

enum class Reference
{
    Exact,
    Prefix,
    None
};

// The reading of a whole document with nothing bounded.
Reference referenceEntries(const QByteArray &document, vsEntryList *entries)
{
    QXmlStreamReader reader(document);
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::DTD)
            return Reference::None;
        if (token != QXmlStreamReader::StartElement || reader.name() != QLatin1String("item"))
            continue;
        vsEntry entry;
        for (const QXmlStreamAttribute &attribute : reader.attributes())
            entry.insert(attribute.name().toString(), attribute.value().toString());
        entries->append(entry);
    }
    const bool badEncoding =
        reader.errorString() == QLatin1String("Encountered incorrectly encoded content.");
    return badEncoding ? Reference::Prefix : Reference::Exact;
}

QByteArray documentOf(const uint8_t *data, size_t size)
{
    const QByteArray file = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    return vsBoundedUncompress(vsVdbFormat::payloadOf(file), maxMutatedDocument);
}

// Packs like the tool, with a size header that is usually honest.
QByteArray packLike(const uint8_t *original, size_t size, const QByteArray &document,
                    std::minstd_rand &random)
{
    QByteArray payload = qCompress(document, int(random() % 10));
    switch (random() % 16) {
    case 0:
        qToBigEndian(quint32(0), payload.data());
        break;
    case 1:
        qToBigEndian(quint32(random() % 2000), payload.data());
        break;
    case 2:
        qToBigEndian(quint32(random()), payload.data());
        break;
    default:
        break;
    }
    QByteArray leading(vsVdbFormat::leadingSize, '\0');
    if (size >= size_t(vsVdbFormat::leadingSize))
        std::memcpy(leading.data(), original, size_t(vsVdbFormat::leadingSize));
    return leading + payload + QByteArray(vsVdbFormat::trailingSize, '\0');
}

size_t storeInput(const QByteArray &bytes, uint8_t *data, size_t maxSize)
{
    if (size_t(bytes.size()) > maxSize)
        return 0;
    std::memcpy(data, bytes.constData(), size_t(bytes.size()));
    return size_t(bytes.size());
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // qUncompress and the reader complain on stderr about every bad input.
    qInstallMessageHandler(quiet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray file = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const vsEntryList fromFile = vsCatalogueLoader::readFile(file);
    vsDataModel model;
    model.appendEntries(fromFile);
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row, 0);
        for (int role = Qt::DisplayRole; role <= vsDataModel::StatusRole; ++role)
            (void)index.data(role).toString().size();
    }

    // Inflated as it is read or whole first, a stream that inflates within
    // the bound gives the same entries.
    const QByteArray document = vsBoundedUncompress(vsVdbFormat::payloadOf(file));
    if (!document.isEmpty() && vsCatalogueLoader::readDocument(document) != fromFile) {
        std::fprintf(stderr, "entries differ between the file and its inflated document\n");
        std::abort();
    }
    if (document.size() > comparableDocument)
        return 0;
    vsEntryList expected;
    const Reference reference = referenceEntries(document, &expected);
    if (reference == Reference::None)
        return 0;
    const vsEntryList actual = vsCatalogueLoader::readDocument(document);
    const bool same =
        reference == Reference::Exact ? actual == expected : actual.mid(0, expected.size()) == expected;
    if (!same) {
        std::fprintf(stderr, "entries differ from the whole-document reading: %d, expected %d\n",
                     int(actual.size()), int(expected.size()));
        std::abort();
    }
    return 0;
}

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize, unsigned int seed)
{
    std::minstd_rand random(seed);
    QByteArray document = documentOf(data, size);
    if (random() % 8 == 0)
        return LLVMFuzzerMutate(data, size, maxSize);
    // Anything that does not inflate is taken as a document of its own.
    if (document.isEmpty())
        document = QByteArray(reinterpret_cast<const char *>(data), int(std::min<size_t>(size, 4096)));

    std::vector<uint8_t> buffer(size_t(document.size()) * 2 + 1024);
    std::memcpy(buffer.data(), document.constData(), size_t(document.size()));
    const size_t length = LLVMFuzzerMutate(buffer.data(), size_t(document.size()), buffer.size());
    const QByteArray mutated(reinterpret_cast<const char *>(buffer.data()), int(length));
    const size_t written = storeInput(packLike(data, size, mutated, random), data, maxSize);
    return written ? written : LLVMFuzzerMutate(data, size, maxSize);
}

extern "C" size_t LLVMFuzzerCustomCrossOver(const uint8_t *data1, size_t size1, const uint8_t *data2,
                                            size_t size2, uint8_t *out, size_t maxOutSize, unsigned int seed)
{
    // The head of one document joined to the tail of another: a DTD meets other items.
    std::minstd_rand random(seed);
    const QByteArray first = documentOf(data1, size1);
    const QByteArray second = documentOf(data2, size2);
    if (first.isEmpty() || second.isEmpty())
        return 0;
    const int head = int(random() % uint(first.size() + 1));
    const int tail = int(random() % uint(second.size() + 1));
    return storeInput(packLike(data1, size1, first.left(head) + second.mid(tail), random), out, maxOutSize);
}
