// The real program under a private X server, driven by real key events: a code
// typed on the keyboard, Enter, the detail window over the main window, and
// the key codes on standard output while the program still runs.

#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QString entry(const QString &code)
{
    return QStringLiteral(R"(type="additive" code="%1" names="Name %1")").arg(code);
}

struct Geometry
{
    int x = -1;
    int y = -1;
    int width = -1;
    int height = -1;
    bool viewable = false;
};
} // namespace

class tst_E2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void typedCodeOpensEntryAndKeysAreTraced();

private:
    QString runTool(const QString &tool, const QStringList &arguments, int timeoutMs = 10000);
    QStringList visibleWindows();
    Geometry geometryOf(const QString &window);
    QStringList stackingOrder();

    QString xdotool;
    QString xwininfo;
    QString display;
    QProcess server;
    QProcess program;
    QByteArray programOutput;
};

void tst_E2e::initTestCase()
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        QSKIP("Xvfb cannot start: it is not installed (Debian package xvfb)");
    xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    xwininfo = QStandardPaths::findExecutable(QStringLiteral("xwininfo"));
    QVERIFY2(!xdotool.isEmpty(), "xdotool is missing (Debian package xdotool)");
    QVERIFY2(!xwininfo.isEmpty(), "xwininfo is missing (Debian package x11-utils)");

    // The server picks a free display and writes its number on the given
    // descriptor. Without -noreset it resets whenever its last client leaves
    // (each xdotool run here), and a client that connects meanwhile is refused:
    // "could not connect to display" about one time in ten.
    server.setProgram(xvfb);
    server.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                         QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1024x768x24"),
                         QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    server.start();
    if (!server.waitForStarted(10000))
        QSKIP(qPrintable(QStringLiteral("Xvfb cannot start: ") + server.errorString()));
    QByteArray number;
    QElapsedTimer clock;
    clock.start();
    while (!number.contains('\n') && server.state() == QProcess::Running && clock.elapsed() < 20000) {
        server.waitForReadyRead(200);
        number += server.readAllStandardOutput();
    }
    if (!number.contains('\n')) {
        const QByteArray why = server.readAllStandardError().trimmed();
        server.kill();
        server.waitForFinished(5000);
        QSKIP(qPrintable(QStringLiteral("Xvfb cannot start: ") + QString::fromLocal8Bit(why)));
    }
    display = QLatin1Char(':') + QString::fromLatin1(number.trimmed());

    // The display is announced when the server listens; make sure clients
    // really get through before a program is started against it.
    QElapsedTimer reachable;
    reachable.start();
    while (runTool(xdotool, {QStringLiteral("getdisplaygeometry")}).trimmed().isEmpty()) {
        if (server.state() != QProcess::Running || reachable.elapsed() > 10000)
            QSKIP(qPrintable(QStringLiteral("Xvfb on %1 cannot be reached").arg(display)));
        QTest::qWait(100);
    }
}

void tst_E2e::cleanupTestCase()
{
    if (server.state() != QProcess::NotRunning) {
        server.terminate();
        if (!server.waitForFinished(5000)) {
            server.kill();
            server.waitForFinished(5000);
        }
    }
}

void tst_E2e::cleanup()
{
    if (program.state() != QProcess::NotRunning) {
        program.kill();
        program.waitForFinished(5000);
    }
}

QString tst_E2e::runTool(const QString &tool, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    process.setProcessEnvironment(environment);
    process.start(tool, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return QString();
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// Mapped top-level windows titled exactly "Vestrion": the main window, the
// detail window, and for a second after each digit the search banner.
QStringList tst_E2e::visibleWindows()
{
    return runTool(xdotool, {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                             QStringLiteral("--name"), QStringLiteral("^Vestrion$")})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

Geometry tst_E2e::geometryOf(const QString &window)
{
    Geometry geometry;
    const QStringList lines = runTool(xwininfo, {QStringLiteral("-id"), window}).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString value = line.section(QLatin1Char(':'), 1).trimmed();
        if (line.contains(QLatin1String("Absolute upper-left X")))
            geometry.x = value.toInt();
        else if (line.contains(QLatin1String("Absolute upper-left Y")))
            geometry.y = value.toInt();
        else if (line.trimmed().startsWith(QLatin1String("Width:")))
            geometry.width = value.toInt();
        else if (line.trimmed().startsWith(QLatin1String("Height:")))
            geometry.height = value.toInt();
        else if (line.contains(QLatin1String("Map State")))
            geometry.viewable = value == QLatin1String("IsViewable");
    }
    return geometry;
}

// The root's children, topmost first, as decimal window ids like xdotool's.
QStringList tst_E2e::stackingOrder()
{
    QStringList order;
    const QStringList lines =
        runTool(xwininfo, {QStringLiteral("-root"), QStringLiteral("-children")}).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString id = line.trimmed().section(QLatin1Char(' '), 0, 0);
        bool ok = false;
        const qulonglong value = id.toULongLong(&ok, 16);
        if (id.startsWith(QLatin1String("0x")) && ok)
            order << QString::number(value);
    }
    return order;
}

void tst_E2e::typedCodeOpensEntryAndKeysAreTraced()
{
    // The program reads data/ beside itself: a copy of it in a folder of our own.
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString executable = home.filePath(QStringLiteral("vestrion"));
    QVERIFY(QFile::copy(QStringLiteral(VESTRION_BUILD_DIR "/vestrion"), executable));
    QVERIFY(QFile::setPermissions(executable, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(QDir(home.path()).mkpath(QStringLiteral("data")));
    QVERIFY(QDir(home.path()).mkpath(QStringLiteral("config")));
    QVERIFY(QDir(home.path()).mkpath(QStringLiteral("runtime")));
    QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    vsTest::writeCatalogue(home.filePath(QStringLiteral("data")), QStringLiteral("test.vdb"),
                           vsTest::document({QStringLiteral(R"(type="header" code="Colours")"),
                                             entry(QStringLiteral("E100")), entry(QStringLiteral("E101")),
                                             entry(QStringLiteral("E102")), entry(QStringLiteral("E110"))}));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("VESTRION_EXIT_AFTER_FIRST_PAINT"));
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(home.path());
    program.setProcessChannelMode(QProcess::SeparateChannels);
    program.start(executable, QStringList());
    QVERIFY2(program.waitForStarted(10000), qPrintable(program.errorString()));

    QStringList windows;
    QTRY_VERIFY_WITH_TIMEOUT(
        (windows = visibleWindows()).size() == 1 || program.state() == QProcess::NotRunning, 30000);
    QVERIFY2(program.state() == QProcess::Running, program.readAllStandardError().constData());
    const QString mainWindow = windows.first();
    const Geometry mainGeometry = geometryOf(mainWindow);
    QVERIFY(mainGeometry.viewable);
    QVERIFY(mainGeometry.width > 0 && mainGeometry.height > 0);

    // No window manager here: give the main window the keyboard ourselves, and
    // type only once the server says it has it (a loaded machine is slow to).
    const auto focusOn = [this](const QString &window) {
        runTool(xdotool, {QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
        return runTool(xdotool, {QStringLiteral("getwindowfocus")}).trimmed() == window;
    };
    QTRY_VERIFY_WITH_TIMEOUT(focusOn(mainWindow), 10000);
    // q and Shift+w are the digits 1 and 2 of the top letter row: the code is 102.
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("50"),
                      QStringLiteral("q"), QStringLiteral("0"), QStringLiteral("shift+w")});

    // The codes arrive while the program runs: each line is flushed at once.
    const QByteArray typed = "81\n48\n16777248\n87\n";
    QTRY_COMPARE_WITH_TIMEOUT(programOutput += program.readAllStandardOutput(), typed, 10000);

    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("KP_Enter")});
    QTRY_COMPARE_WITH_TIMEOUT(programOutput += program.readAllStandardOutput(), typed + "16777221\n", 10000);

    // Enter opened the detail window: a second "Vestrion" window, over the main
    // window and of its size. The search banner, also titled "Vestrion", went
    // with the search; its height tells it apart while it may still be mapped.
    const auto sameGeometry = [&mainGeometry](const Geometry &other) {
        return other.viewable && other.x == mainGeometry.x && other.y == mainGeometry.y &&
               other.width == mainGeometry.width && other.height == mainGeometry.height;
    };
    QString detailWindow;
    QTRY_VERIFY2_WITH_TIMEOUT(
        (windows = visibleWindows()).size() == 2 && windows.removeOne(mainWindow) &&
            sameGeometry(geometryOf(detailWindow = windows.first())),
        qPrintable(runTool(xwininfo, {QStringLiteral("-root"), QStringLiteral("-children")})), 10000);
    const QStringList order = stackingOrder();
    QVERIFY(order.contains(detailWindow) && order.contains(mainWindow));
    QVERIFY2(order.indexOf(detailWindow) < order.indexOf(mainWindow),
             "the detail window is below the main window");

    // Backspace now belongs to the detail window, which closes; the main
    // window's trace does not see it.
    QTRY_VERIFY_WITH_TIMEOUT(focusOn(detailWindow), 10000);
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("BackSpace")});
    QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(), QStringList{mainWindow}, 10000);
    // Back on the main window a key is traced again.
    QTRY_VERIFY_WITH_TIMEOUT(focusOn(mainWindow), 10000);
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("Down")});
    QTRY_COMPARE_WITH_TIMEOUT(programOutput += program.readAllStandardOutput(),
                              typed + "16777221\n16777237\n", 10000);
    QCOMPARE(program.state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(tst_E2e)
#include "tst_e2e.moc"
