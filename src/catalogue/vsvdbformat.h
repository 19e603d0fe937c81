#ifndef VESTRION_CATALOGUE_VSVDBFORMAT_H
#define VESTRION_CATALOGUE_VSVDBFORMAT_H

#include "catalogue/vsboundedinflate.h"

#include <QByteArray>
#include <QString>

// A catalogue file: a 23-byte leading block, the qCompress payload, a 20-byte
// trailing block. The program's loader skips both blocks; the packing tool
// uses them for a format mark and a checksum of the payload.
namespace vsVdbFormat {

constexpr int leadingSize = 23;
constexpr int trailingSize = 20;
constexpr char magic[] = "VESTRION CATALOGUE"; // 18 bytes, then the version byte
constexpr char version = 1;

// The payload as the loader cuts it: QByteArray::mid(23, size - 43), so a file
// shorter than 43 bytes gives everything after the leading block.
QByteArray payloadOf(const QByteArray &file);

// Leading block, compressed document and its SHA-1.
QByteArray pack(const QByteArray &document);

// Checks the marks, the checksum and the compressed payload. On success fills
// document with the bytes that were packed and returns an empty string;
// otherwise returns what is wrong.
QString unpack(const QByteArray &file, QByteArray *document, qint64 maxSize = vsMaxDocumentSize);

} // namespace vsVdbFormat

#endif
