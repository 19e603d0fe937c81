#include "catalogue/vscatalogueloader.h"

#include "catalogue/vsboundedinflate.h"
#include "catalogue/vsvdbformat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

namespace vsCatalogueLoader {

namespace {
// A compressed file is never much larger than what it holds, so anything far
// beyond the document bound cannot be a catalogue and is not read into memory.
constexpr qint64 maxFileSize = vsMaxDocumentSize + 1024 * 1024;

// Attribute names repeat in every entry; sharing one string per name keeps a
// large catalogue from holding a copy of each name per entry. Only the first
// few names are shared, so a hostile document with thousands of distinct
// names stays linear.
constexpr int maxSharedNames = 32;

template <typename Name> QString sharedName(QVector<QString> &names, const Name &name)
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
} // namespace

vsEntryList readDocument(const QByteArray &document)
{
    vsEntryList entries;
    QVector<QString> names;
    QXmlStreamReader reader(document);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != QLatin1String("item"))
            continue;
        const QXmlStreamAttributes attributes = reader.attributes();
        vsEntry entry;
        entry.reserve(attributes.size());
        for (const QXmlStreamAttribute &attribute : attributes)
            entry.insert(sharedName(names, attribute.name()), attribute.value().toString());
        entries.append(entry);
    }
    return entries;
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
        const QByteArray contents = file.read(maxFileSize + 1);
        file.close();
        if (contents.size() > maxFileSize)
            continue;
        model->appendEntries(readFile(contents));
    }
}

} // namespace vsCatalogueLoader
