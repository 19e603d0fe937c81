#ifndef VESTRION_CATALOGUE_VSCATALOGUELOADER_H
#define VESTRION_CATALOGUE_VSCATALOGUELOADER_H

#include "catalogue/vsdatamodel.h"

#include <QStringList>

class QDir;

// Reading catalogue files. Every problem with a file is silent: a file that
// cannot be read adds nothing, a broken document keeps the entries read
// before the break, and the other files load as usual.
namespace vsCatalogueLoader {

// What one document may cost. The stream reader bounds one entity reference
// (4096 characters) but not the rest, so a small file could otherwise take
// gigabytes or minutes. Reading stops where a bound is exceeded and keeps the
// entries read before, like any other XML error. No catalogue written as
// plain XML comes near them.
namespace limits {
// Text the reader hands out (attribute names and values, text, comments, the
// DTD) beyond the document's own size. Only entities and attribute defaults
// produce more text than the document holds.
constexpr qint64 extraText = 1024 * 1024;
// Bytes one token (a tag, a text, a comment, the DTD) may span. The reader
// checks each attribute of a tag against every other one, so a tag's cost is
// the square of its attribute count.
constexpr qint64 tokenBytes = 64 * 1024;
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
// What one entity reference may add while the DTD is read (its attribute
// defaults are expanded before its declarations can be seen). After the DTD a
// reference may add what the declared entities need, up to the reader's own
// limit.
constexpr int dtdEntityExpansion = 256;
} // namespace limits

// Every "item" element, at any depth, in start-tag order, within the limits above.
vsEntryList readDocument(const QByteArray &document);

// The entries of one whole data file (blocks, compressed payload, document).
vsEntryList readFile(const QByteArray &fileContents);

// The data files of a folder: "*.vdb" in any letter case, regular files only,
// no hidden ones, in case-sensitive name order.
QStringList dataFileNames(const QDir &folder);

// Appends the entries of every data file in the folder to the model, file by file.
void loadFolder(const QString &folderPath, vsDataModel *model);

} // namespace vsCatalogueLoader

#endif
