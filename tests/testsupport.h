#ifndef VESTRION_TESTS_TESTSUPPORT_H
#define VESTRION_TESTS_TESTSUPPORT_H

#include "catalogue/vsdatamodel.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class QTemporaryDir;
class vsMainWindow;

// Helpers shared by the test programs: catalogues made on the spot.
namespace vsTest {

// An XML document with one item per element of items; each item is given as
// its raw attribute text, e.g. R"(code="E100" names="a:b")".
QByteArray document(const QStringList &items);

// Packs the document into folder/name the way the program's catalogue files are made.
QString writeCatalogue(const QString &folder, const QString &name, const QByteArray &document);

// The codes of the entries, or of the model's rows, in order.
QStringList codesOf(const vsEntryList &entries);
QStringList codesOf(const vsDataModel &model);

// Writes raw bytes to folder/name.
QString writeRaw(const QString &folder, const QString &name, const QByteArray &bytes);

// Sends QSettings of this process to a private folder and names the
// application as the program does. Call before any QSettings exists.
void isolateSettings();

// The catalogue every folder-less test reads: the small committed fixture.
QByteArray starterDocument();

// For tests of the main window: private settings, no system bus, no slide
// file, so nothing of the machine's own reaches the window.
void isolateWindowTests();

// Writes the items as a catalogue into a new folder and builds a main window
// over it with the keypad on, at the handheld's 800x480, shown.
bool openWindow(const QStringList &items, std::unique_ptr<QTemporaryDir> &folder,
                std::unique_ptr<vsMainWindow> &window);

} // namespace vsTest

#endif
