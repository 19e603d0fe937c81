#ifndef VESTRION_CATALOGUE_VSBOUNDEDINFLATE_H
#define VESTRION_CATALOGUE_VSBOUNDEDINFLATE_H

#include <QByteArray>

#include <memory>

// Largest document a catalogue file may hold once decompressed: 100,000 entries
// of the bundled catalogue's average size take 70 MB, so this leaves room for
// entries almost twice as long, while a hostile file cannot make the loader
// read more.
constexpr qint64 vsMaxDocumentSize = 128 * 1024 * 1024;

// Reads the layout qCompress writes (a 4-byte big-endian size, then a zlib
// stream). For every payload whose output fits in maxSize the result equals
// qUncompress's; a payload that claims or produces more, or that is corrupt,
// truncated or too short, gives an empty array. Unlike qUncompress it never
// trusts the size header for allocation.
QByteArray vsBoundedUncompress(const QByteArray &payload, qint64 maxSize = vsMaxDocumentSize);

// The same layout read piece by piece, so a reader can stop anywhere and keep
// what it read. The size header is skipped unread: it could only be believed
// or not, and either way the output decides.
class vsBoundedInflater
{
public:
    enum Status
    {
        Reading,
        Finished,  // the stream ended within the bound
        Broken,    // corrupt, truncated or too short
        AtTheBound // maxSize bytes were produced and the stream goes on
    };

    explicit vsBoundedInflater(const QByteArray &payload, qint64 maxSize = vsMaxDocumentSize);
    ~vsBoundedInflater();
    vsBoundedInflater(const vsBoundedInflater &) = delete;
    vsBoundedInflater &operator=(const vsBoundedInflater &) = delete;

    // The next bytes, at most size of them; empty once the status is not Reading.
    QByteArray read(int size);
    Status status() const { return state; }

private:
    struct Stream;
    std::unique_ptr<Stream> stream;
    QByteArray input;
    qint64 maxSize;
    qint64 produced = 0;
    Status state = Reading;
};

#endif
