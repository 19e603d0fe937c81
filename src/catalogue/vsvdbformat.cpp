#include "catalogue/vsvdbformat.h"

#include "catalogue/vsboundedinflate.h"

#include <QCryptographicHash>

namespace vsVdbFormat {

namespace {
constexpr int magicSize = int(sizeof(magic)) - 1;

QByteArray leadingBlock()
{
    QByteArray block(magic, magicSize);
    block.append(version);
    block.append(leadingSize - block.size(), '\0');
    return block;
}
} // namespace

QByteArray payloadOf(const QByteArray &file)
{
    return file.mid(leadingSize, file.size() - leadingSize - trailingSize);
}

QByteArray pack(const QByteArray &document)
{
    const QByteArray payload = qCompress(document);
    return leadingBlock() + payload + QCryptographicHash::hash(payload, QCryptographicHash::Sha1);
}

QString unpack(const QByteArray &file, QByteArray *document, qint64 maxSize)
{
    if (file.size() < leadingSize + trailingSize + 4)
        return QStringLiteral("file too short (%1 bytes)").arg(file.size());
    if (!file.startsWith(QByteArray(magic, magicSize)))
        return QStringLiteral("not a catalogue file (format mark missing)");
    if (file.at(magicSize) != version)
        return QStringLiteral("unknown format version %1").arg(int(uchar(file.at(magicSize))));
    const QByteArray payload = payloadOf(file);
    if (QCryptographicHash::hash(payload, QCryptographicHash::Sha1) != file.right(trailingSize))
        return QStringLiteral("checksum mismatch");
    const QByteArray inflated = vsBoundedUncompress(payload, maxSize);
    if (inflated.isEmpty())
        return QStringLiteral("payload does not decompress");
    if (document)
        *document = inflated;
    return QString();
}

} // namespace vsVdbFormat
