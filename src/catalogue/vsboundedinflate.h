#ifndef VESTRION_CATALOGUE_VSBOUNDEDINFLATE_H
#define VESTRION_CATALOGUE_VSBOUNDEDINFLATE_H

#include <QByteArray>

// Largest document a catalogue file may hold once decompressed: 100,000 entries
// of the bundled catalogue's average size take 70 MB, so this leaves room for
// entries almost twice as long, while a hostile file cannot make the loader
// allocate more.
constexpr qint64 vsMaxDocumentSize = 128 * 1024 * 1024;

// Reads the layout qCompress writes (a 4-byte big-endian size, then a zlib
// stream). For every payload whose output fits in maxSize the result equals
// qUncompress's; a payload that claims or produces more, or that is corrupt,
// truncated or too short, gives an empty array. Unlike qUncompress it never
// trusts the size header for allocation.
QByteArray vsBoundedUncompress(const QByteArray &payload, qint64 maxSize = vsMaxDocumentSize);

#endif
