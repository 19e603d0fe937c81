#ifndef VESTRION_TESTS_TESTSUPPORT_H
#define VESTRION_TESTS_TESTSUPPORT_H

#include "catalogue/vsdatamodel.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <map>
#include <memory>

class QAction;
class QImage;
class QListView;
class QTemporaryDir;
class QToolButton;
class vsDataDisplay;
class vsMainWindow;

// Helpers shared by the test programs: catalogues made on the spot, the main
// window's parts, and the real program started to its first paint.
namespace vsTest {

// Handles events until condition() holds, for timeoutMs by the clock at most:
// false when it never held. QTRY_* count their own pauses instead of the time,
// so a condition that runs a tool stretches them many times over, and after
// a timeout they wait twice as long again; this ends when the time is up.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs);
// The failure message of a wait that ran out.
QByteArray timedOut(const char *expression, int timeoutMs, const QByteArray &detail = QByteArray());

// Fail the test, saying what they waited for and for how long, unless expr
// holds within timeoutMs; detail (a QByteArray, made only then) is added.
#define VS_TRY_VERIFY(expr, timeoutMs) VS_TRY_IMPL(expr, #expr, QByteArray(), timeoutMs)
#define VS_TRY_VERIFY2(expr, detail, timeoutMs) VS_TRY_IMPL(expr, #expr, detail, timeoutMs)
#define VS_TRY_IMPL(expr, text, detail, timeoutMs)                                                           \
    do {                                                                                                     \
        if (!vsTest::waitUntil([&]() -> bool { return (expr); }, (timeoutMs)))                               \
            QFAIL(vsTest::timedOut(text, (timeoutMs), (detail)).constData());                                \
    } while (false)

// Fails the test with both values unless actual equals expected within timeoutMs.
#define VS_TRY_COMPARE(actual, expected, timeoutMs)                                                          \
    do {                                                                                                     \
        if (!vsTest::waitUntil([&]() -> bool { return (actual) == (expected); }, (timeoutMs))) {             \
            qWarning("%s", vsTest::timedOut(#actual " == " #expected, (timeoutMs)).constData());             \
            QCOMPARE(actual, expected);                                                                      \
        }                                                                                                    \
    } while (false)

// An XML document with one item per element of items; each item is given as
// its raw attribute text, e.g. R"(code="E100" names="a:b")".
QByteArray document(const QStringList &items);

// Items of such a document: an entry named "Name <code>", with more
// attributes after it if given, and a group title.
QString entryItem(const QString &code, const QString &more = QString());
QString headerItem(const QString &title);

// Packs the document into folder/name the way the program's catalogue files are made.
QString writeCatalogue(const QString &folder, const QString &name, const QByteArray &document);

// The items of the bundled catalogue's sources (data/*.xml), in file and
// document order, each with its attributes; *bytes gets the sources' size.
// A source that cannot be read or parsed is fatal.
vsEntryList bundledSourceItems(qint64 *bytes = nullptr);

// Items of a catalogue of the given number of rows, for document(): entries
// whose every attribute is drawn from the bundled sources, so that lengths,
// letters and missing attributes follow theirs, and group titles at the
// bundled rate. The same count gives the same rows; the last row is an entry
// with the code lastCode. *codes gets each row's code (a title's for a title).
QStringList generatedItems(int rows, const QString &lastCode, QVector<QString> *codes = nullptr);

// A copy of the built program in folder, where it reads data/ beside itself:
// the copy's path, or empty when it cannot be made.
QString copyProgram(const QString &folder);

// A catalogue laid out as the program finds it: a copy of the program with a
// data/ folder of packed files beside it.
struct ProgramCatalogue
{
    QString dataFolder;     // beside the program
    QString program;        // the copy that reads dataFolder
    int entries = 0;        // rows the loader must yield, headers included
    int files = 0;          // packed files in data/
    qint64 xmlBytes = 0;    // all documents, decompressed
    QVector<QString> codes; // every row's code in load order (generated ones only)
};

// Catalogues laid out on first use and kept in a temporary folder. The first
// that cannot be made says why (error), and no other is made after it.
class ProgramCatalogues
{
public:
    ProgramCatalogues();
    ~ProgramCatalogues();
    const ProgramCatalogue *empty();
    // The build's packed catalogue.
    const ProgramCatalogue *bundled();
    // generatedItems' rows split evenly into files: the same rows for every
    // split of a size.
    const ProgramCatalogue *generated(int entries, int files, const QString &lastCode);
    QString error;

private:
    // On first use laid out and filled by fill, which says what went wrong, if anything.
    const ProgramCatalogue *get(const QString &name, const std::function<QString(ProgramCatalogue *)> &fill);
    std::unique_ptr<QTemporaryDir> root;
    std::map<QString, std::unique_ptr<ProgramCatalogue>> made;
};

// The codes of the entries, or of the model's rows, in order.
QStringList codesOf(const vsEntryList &entries);
QStringList codesOf(const vsDataModel &model);

// Writes raw bytes to folder/name.
QString writeRaw(const QString &folder, const QString &name, const QByteArray &bytes);

// The whole file, or nothing when it cannot be read.
QByteArray fileContents(const QString &path);

// One run of a command-line tool.
struct CommandRun
{
    int exitCode = -1; // -1 after a crash, a hang or a failed start
    QByteArray out;
    QByteArray err;
};

// Runs program with the arguments, input on its standard input, and waits
// for it to end; one still running after timeoutMs is killed.
CommandRun runCommand(const QString &program, const QStringList &arguments,
                      const QByteArray &input = QByteArray(), int timeoutMs = 15000);

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

// The keypad button showing text, or null.
QToolButton *keypadButton(const vsMainWindow &window, const QString &text);
// Whether the window shows its keypad.
bool keypadShown(const vsMainWindow &window);
// The window's action of that object name, or null.
QAction *action(const vsMainWindow &window, const char *name);

// A main window over a catalogue of the test's own, and the parts of it the
// tests look at. Test classes derive from it beside QObject.
class WindowFixture
{
protected:
    QListView *list() const;
    QString label() const; // the search banner's text
    vsDataDisplay *detail() const;
    // Taps the keypad button of each key in turn.
    void tap(const QString &keys);
    // The selected rows, in order.
    static QList<int> selectedRows(const QListView *list);
    void closeWindow();

    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<vsMainWindow> window;
};

// One run of the real program, which quits at its first paint.
struct ProgramRun
{
    bool finished = false; // ended on its own within the time allowed
    int exitCode = -1;     // -1 after a crash or a hang
    QByteArray errors;     // its standard error
    double startupMs = -1; // start to first paint; -1 without the mark
    double exitMs = -1;    // first paint to process end
};

// Starts program (the built one by default) offscreen, from the root folder,
// with the first-paint probe on, no system bus and the NAME=value variables
// given over this process's environment, and waits until it ends. A program
// still running after timeoutMs is killed. launcher, if given, starts it
// (for example GNU time).
ProgramRun runToFirstPaint(const QStringList &environment = QStringList(), const QString &program = QString(),
                           int timeoutMs = 15000, const QStringList &launcher = QStringList());

// The real program on a private X server (Xvfb), driven by xdotool and
// looked at with xwininfo and ImageMagick's import. Test classes derive from
// it beside QObject; every window of the program is titled "Vestrion".
class XSession
{
protected:
    struct Geometry
    {
        int x = -1;
        int y = -1;
        int width = -1;
        int height = -1;
        bool viewable = false;
    };

    XSession();
    ~XSession();

    // Starts Xvfb with one screen ("1024x768x24") on server, kept from
    // resetting when its last client leaves. Returns its display once
    // clients get through, or empty with the reason in *error.
    QString startServer(QProcess &server, const QString &screen, QString *error);
    static void stopServer(QProcess &server);

    // Standard output of a tool run against display; empty after a failure.
    QString runTool(const QString &tool, const QStringList &arguments, int timeoutMs = 5000,
                    const QByteArray &input = QByteArray());
    // Mapped top-level windows titled exactly "Vestrion": the main window, the
    // detail window, and for a second after each digit the search banner.
    QStringList visibleWindows();
    Geometry geometryOf(const QString &window);
    // The root's children, topmost first, as decimal window ids like xdotool's.
    QStringList stackingOrder();
    // No window manager here: gives the window the keyboard, and says whether
    // the server reports it has it (a loaded machine is slow to).
    bool focusOn(const QString &window);
    // The window as a picture; null when it cannot be taken.
    QImage grabWindow(const QString &window);

    // Items of a catalogue of the given number of rows, for document(): entries
    // whose every attribute is drawn from the bundled sources, so that lengths,
    // letters and missing attributes follow theirs, and group titles at the
    // bundled rate. The same count gives the same rows; the last row is an entry
    // with the code lastCode. *codes gets each row's code (a title's for a title).
    QStringList generatedItems(int rows, const QString &lastCode, QVector<QString> *codes = nullptr);

    // A copy of the built program in home, with the items as its catalogue.
    bool prepareHome(const QTemporaryDir &home, const QStringList &items);
    // Starts the program prepared in home on display, with the NAME=value
    // variables given over its usual environment, and returns at once.
    void launchProgram(const QTemporaryDir &home, const QStringList &environment = QStringList());
    // Starts the program prepared in home on display; its main window's id
    // once it is shown, or empty.
    QString startProgram(const QTemporaryDir &home);
    void stopProgram();

    // A private session bus with the accessibility bus on it, as on a desktop; the
    // program and tools started afterwards use it. False with the reason in *error.
    bool startDesktopBus(QString *error);
    void stopDesktopBus();
    QString sessionBusAddress; // empty until started

    QString xdotool;
    QString xwininfo;
    QString display;
    QProcess program;
    QByteArray programOutput;

private:
    QProcess sessionBus;
    QProcess accessibilityBus;
    std::unique_ptr<QTemporaryDir> busRuntime; // the accessibility bus's socket
};

} // namespace vsTest

#endif
