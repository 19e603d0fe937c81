#include "benchcatalogue.h"

#include "catalogue/vscatalogueloader.h"
#include "catalogue/vsvdbformat.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QXmlStreamReader>

namespace vsBench {

namespace {
// In the order the bundled sources write them.
const char *const attributeNames[] = {"type",    "code",       "group",    "names",  "functions",
                                      "sources", "production", "products", "status", "safety"};
constexpr int attributeCount = int(sizeof(attributeNames) / sizeof(attributeNames[0]));
constexpr int codeAttribute = 1;

QByteArray escaped(const QString &value)
{
    // Attribute values stand in double quotes.
    return value.toHtmlEscaped().toUtf8();
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

struct CatalogueFactory::Pools
{
    // One slot per ordinary bundled entry and attribute; a null array stands
    // for an attribute that entry lacks.
    QVector<QByteArray> values[attributeCount];
    QVector<QString> codes; // the code slots as text
    QVector<QByteArray> headerTitles;
    QVector<QString> headerTexts;
    int ordinaryPerHeader = 0;
};

CatalogueFactory::CatalogueFactory(const QString &sourceFolder, const QString &packedFolder,
                                   const QString &program)
    : packedFolder(packedFolder), program(program), pools(new Pools)
{
    if (!root.isValid()) {
        problem = QStringLiteral("no temporary folder");
        return;
    }
    const QDir sources(sourceFolder);
    const QStringList names =
        sources.entryList(QStringList(QStringLiteral("*.xml")), QDir::Files, QDir::Name);
    for (const QString &name : names) {
        QXmlStreamReader reader(readAll(sources.absoluteFilePath(name)));
        while (!reader.atEnd()) {
            if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != QLatin1String("item"))
                continue;
            const QXmlStreamAttributes attributes = reader.attributes();
            if (attributes.value(QLatin1String("type")) == QLatin1String("header")) {
                const QString title = attributes.value(QLatin1String("code")).toString();
                pools->headerTitles << escaped(title);
                pools->headerTexts << title;
                continue;
            }
            for (int i = 0; i < attributeCount; ++i) {
                const QLatin1String attribute(attributeNames[i]);
                pools->values[i] << (attributes.hasAttribute(attribute)
                                         ? escaped(attributes.value(attribute).toString())
                                         : QByteArray());
            }
            pools->codes << attributes.value(QLatin1String("code")).toString();
        }
        if (reader.hasError()) {
            problem = QStringLiteral("%1: %2").arg(name, reader.errorString());
            return;
        }
    }
    if (pools->codes.isEmpty() || pools->headerTitles.isEmpty()) {
        problem = QStringLiteral("no bundled catalogue sources in %1").arg(sourceFolder);
        return;
    }
    for (const QString &code : qAsConst(pools->codes)) {
        if (code.contains(QLatin1String(lastRowCode)) || code.contains(QLatin1String(absentCode))) {
            problem = QStringLiteral("bundled code %1 spoils the search cases").arg(code);
            return;
        }
    }
    pools->ordinaryPerHeader = qMax(1, int(pools->codes.size() / pools->headerTitles.size()));
}

CatalogueFactory::~CatalogueFactory() = default;

QString CatalogueFactory::labelFor(int entries, int files)
{
    const QString count =
        entries % 1000 == 0 ? QStringLiteral("%1k").arg(entries / 1000) : QString::number(entries);
    return QStringLiteral("%1 x %2").arg(count).arg(files);
}

Catalogue *CatalogueFactory::prepare(const QString &key, const QString &label)
{
    auto catalogue = std::make_unique<Catalogue>();
    catalogue->label = label;
    catalogue->folder = root.filePath(key);
    catalogue->dataFolder = catalogue->folder + QStringLiteral("/data");
    catalogue->program = catalogue->folder + QStringLiteral("/vestrion");
    // The program reads data/ beside its own executable, so each catalogue gets a copy.
    if (!QDir().mkpath(catalogue->dataFolder) || !QFile::copy(program, catalogue->program)) {
        problem = QStringLiteral("cannot lay out %1 with a copy of %2").arg(catalogue->folder, program);
        return nullptr;
    }
    Catalogue *raw = catalogue.get();
    made[key] = std::move(catalogue);
    return raw;
}

bool CatalogueFactory::writeFile(Catalogue *catalogue, const QString &name, const QByteArray &bytes)
{
    QFile file(QDir(catalogue->dataFolder).absoluteFilePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        problem = QStringLiteral("cannot write %1").arg(file.fileName());
        return false;
    }
    ++catalogue->files;
    return true;
}

const Catalogue *CatalogueFactory::empty()
{
    const auto known = made.find(QStringLiteral("empty"));
    if (known != made.end())
        return known->second.get();
    return problem.isEmpty() ? prepare(QStringLiteral("empty"), QStringLiteral("empty")) : nullptr;
}

const Catalogue *CatalogueFactory::bundled()
{
    const QString key = QStringLiteral("bundled");
    const auto known = made.find(key);
    if (known != made.end())
        return known->second.get();
    if (!problem.isEmpty())
        return nullptr;
    Catalogue *catalogue = prepare(key, key);
    if (!catalogue)
        return nullptr;
    const QDir packed(packedFolder);
    for (const QString &name : vsCatalogueLoader::dataFileNames(packed)) {
        const QByteArray bytes = readAll(packed.absoluteFilePath(name));
        QByteArray document;
        const QString wrong = vsVdbFormat::unpack(bytes, &document);
        if (!wrong.isEmpty()) {
            problem = QStringLiteral("%1: %2").arg(name, wrong);
            return nullptr;
        }
        if (!writeFile(catalogue, name, bytes))
            return nullptr;
        catalogue->xmlBytes += document.size();
        for (const auto &entry : vsCatalogueLoader::readDocument(document))
            catalogue->codes << entry.value(QStringLiteral("code"));
    }
    catalogue->entries = catalogue->codes.size();
    if (catalogue->entries == 0) {
        problem = QStringLiteral("no packed catalogue in %1").arg(packedFolder);
        return nullptr;
    }
    return catalogue;
}

QString CatalogueFactory::keyFor(int entries, int files)
{
    return QStringLiteral("generated-%1-%2").arg(entries).arg(files);
}

const Catalogue *CatalogueFactory::generated(int entries, int files)
{
    const QString key = keyFor(entries, files);
    const auto known = made.find(key);
    if (known != made.end())
        return known->second.get();
    if (!problem.isEmpty() || entries < 2 || files < 1)
        return nullptr;
    Catalogue *catalogue = prepare(key, labelFor(entries, files));
    if (!catalogue)
        return nullptr;

    // Seeded by size alone, so both splits of one size hold the same entries.
    QRandomGenerator random{quint32(entries)};
    const Pools &p = *pools;
    const int slotCount = p.codes.size();
    QVector<QByteArray> items;
    items.reserve(entries);
    catalogue->codes.reserve(entries);
    for (int row = 0; row < entries; ++row) {
        const bool last = row == entries - 1;
        if (!last && row % (p.ordinaryPerHeader + 1) == 0) {
            const int title = int(random.bounded(p.headerTitles.size()));
            items << "  <item type=\"header\" code=\"" + p.headerTitles.at(title) + "\" group=\"" +
                         p.headerTitles.at(title) + "\"/>\n";
            catalogue->codes << p.headerTexts.at(title);
            continue;
        }
        QByteArray item = "  <item";
        for (int i = 0; i < attributeCount; ++i) {
            const int slot = int(random.bounded(slotCount));
            const QByteArray &value =
                (i == codeAttribute && last) ? QByteArray(lastRowCode) : p.values[i].at(slot);
            if (value.isNull())
                continue;
            item += ' ';
            item += attributeNames[i];
            item += "=\"" + value + '"';
            if (i == codeAttribute)
                catalogue->codes << (last ? QString::fromLatin1(lastRowCode) : p.codes.at(slot));
        }
        item += "/>\n";
        items << item;
    }
    // Every bundled entry has a code, so codes line up with rows.
    if (catalogue->codes.size() != entries) {
        problem = QStringLiteral("generated rows without a code");
        return nullptr;
    }

    for (int file = 0; file < files; ++file) {
        QByteArray document = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<catalogue>\n";
        const int first = int(qint64(entries) * file / files);
        const int end = int(qint64(entries) * (file + 1) / files);
        for (int row = first; row < end; ++row)
            document += items.at(row);
        document += "</catalogue>\n";
        catalogue->xmlBytes += document.size();
        if (!writeFile(catalogue, QStringLiteral("%1.vdb").arg(file, 2, 10, QLatin1Char('0')),
                       vsVdbFormat::pack(document)))
            return nullptr;
    }
    catalogue->entries = entries;
    return catalogue;
}

} // namespace vsBench
