#ifndef VESTRION_CATALOGUE_VSCATALOGUELOADER_H
#define VESTRION_CATALOGUE_VSCATALOGUELOADER_H

#include "catalogue/vsboundedinflate.h"
#include "catalogue/vsdatamodel.h"

#include <QStringList>

class QDir;

// Reading catalogue files. Every problem with a file is silent: a file that
// cannot be read adds nothing, a broken document keeps the entries read
// before the break, and the other files load as usual.
namespace vsCatalogueLoader {

// What one document may cost. The stream reader bounds one entity reference
// (4096 characters) but not the rest, so a small file could otherwise take
// gigabytes or minutes. Reading stops where a bound would be exceeded and
// keeps the entries read before, like any other XML error. The bounds sit on
// the costs that hurt, far above what a real catalogue needs: entity-shared
// texts many times the document's size, attribute defaults on every item,
// values, texts and comments of megabytes.
namespace limits {
// Decompressed document, in bytes (see vsMaxDocumentSize).
constexpr qint64 documentBytes = vsMaxDocumentSize;
// Text the reader hands out (attribute names and values, text, comments, the
// DTD), per byte of the document read so far, plus a fixed allowance. Only
// entities and attribute defaults produce more text than the document holds.
constexpr qint64 textPerByte = 16;
constexpr qint64 extraText = 4 * 1024 * 1024;
// Bytes one token (a tag, a text, a comment, the DTD) may span; the reader
// holds a token whole, several times over, while it reads it.
constexpr qint64 tokenBytes = 4 * 1024 * 1024;
// Attributes in one tag. The reader checks each against every other one, so
// a tag's cost is the square of its count: 100,000 would take it minutes.
constexpr int attributes = 10000;
// Those checks over the whole document, with the reader's walk over the DTD's
// attribute defaults at every tag.
constexpr qint64 attributeChecks = qint64(1) << 26;
// Open elements; the reader keeps state for each.
constexpr int depth = 10000;
// Tokens handed out. Each costs the reader a few hundred nanoseconds, so a
// small file of tiny elements that inflates to the document bound would
// otherwise hold up start-up for seconds.
constexpr int tokens = 2000000;
// Entries taken from one document: twice the largest catalogue the program
// is sized for. Each costs some hundred bytes even when it holds nothing.
constexpr int entries = 200000;
} // namespace limits

// What reading one document or file came to.
struct Reading
{
    vsEntryList entries;
    // The bound reading stopped at, in words ("10,000 attributes in one tag");
    // empty when the document ended or broke before any bound.
    QString limit;
};

// Every "item" element, at any depth, in start-tag order, within the limits above.
Reading read(const QByteArray &document);
vsEntryList readDocument(const QByteArray &document);

// The entries of one whole data file (blocks, compressed payload, document).
// The payload is inflated as the reader goes, so a document past the
// decompression bound keeps what came before it.
Reading readFileContents(const QByteArray &fileContents);
vsEntryList readFile(const QByteArray &fileContents);

// One data file by path, as the program reads it: regular files only, of a
// size a compressed document within the bounds can have.
Reading readPath(const QString &path);

// The data files of a folder: "*.vdb" in any letter case, regular files only,
// no hidden ones, in case-sensitive name order.
QStringList dataFileNames(const QDir &folder);

// Appends the entries of every data file in the folder to the model, file by file.
void loadFolder(const QString &folderPath, vsDataModel *model);

} // namespace vsCatalogueLoader

#endif
