#ifndef VESTRION_CATALOGUE_VSCATALOGUELOADER_H
#define VESTRION_CATALOGUE_VSCATALOGUELOADER_H

#include "catalogue/vsdatamodel.h"

#include <QStringList>

class QDir;

// Reading catalogue files. Every problem with a file is silent: a file that
// cannot be read adds nothing, a broken document keeps the entries read
// before the break, and the other files load as usual.
namespace vsCatalogueLoader {

// Every "item" element, at any depth, in start-tag order.
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
