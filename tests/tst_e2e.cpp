// The real program under a private X server, driven by real key events: a code
// typed on the keyboard, Enter, the detail window over the main window, and
// the key codes on standard output while the program still runs.

#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QScopeGuard>
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
    void dragScrollsTheListAndTapOpens();
    void denseScreenDoublesEverything();
    void nameTypedInSearchOpensEntry();

private:
    QString runTool(const QString &tool, const QStringList &arguments, int timeoutMs = 10000);
    QStringList visibleWindows();
    Geometry geometryOf(const QString &window);
    QStringList stackingOrder();
    bool prepareHome(const QTemporaryDir &home, const QStringList &items);
    QString startProgram(const QTemporaryDir &home);
    bool focusOn(const QString &window);
    QImage grabWindow(const QString &window);

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

    // The server picks a free display and writes its number on the given descriptor.
    server.setProgram(xvfb);
    server.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                         QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                         QStringLiteral("tcp")});
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
    QTemporaryDir home;
    QVERIFY(prepareHome(home, {QStringLiteral(R"(type="header" code="Colours")"),
                               entry(QStringLiteral("E100")), entry(QStringLiteral("E101")),
                               entry(QStringLiteral("E102")), entry(QStringLiteral("E110"))}));
    const QString mainWindow = startProgram(home);
    QVERIFY2(!mainWindow.isEmpty(), program.readAllStandardError().constData());
    QStringList windows;
    const Geometry mainGeometry = geometryOf(mainWindow);
    QVERIFY(mainGeometry.viewable);
    QVERIFY(mainGeometry.width > 0 && mainGeometry.height > 0);

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

// A copy of the program with the items as its catalogue, in home.
bool tst_E2e::prepareHome(const QTemporaryDir &home, const QStringList &items)
{
    const QString executable = home.filePath(QStringLiteral("vestrion"));
    return home.isValid() && QFile::copy(QStringLiteral(VESTRION_BUILD_DIR "/vestrion"), executable) &&
           QFile::setPermissions(executable, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) &&
           QDir(home.path()).mkpath(QStringLiteral("data")) &&
           QDir(home.path()).mkpath(QStringLiteral("config")) &&
           QDir(home.path()).mkpath(QStringLiteral("runtime")) &&
           QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) &&
           !vsTest::writeCatalogue(home.filePath(QStringLiteral("data")), QStringLiteral("test.vdb"),
                                   vsTest::document(items))
                .isEmpty();
}

// Starts the program prepared in home on the current display; its main
// window's id once it is shown, or nothing.
QString tst_E2e::startProgram(const QTemporaryDir &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("VESTRION_EXIT_AFTER_FIRST_PAINT"));
    environment.remove(QStringLiteral("QT_SCALE_FACTOR"));
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(home.path());
    program.setProcessChannelMode(QProcess::SeparateChannels);
    programOutput.clear();
    program.start(home.filePath(QStringLiteral("vestrion")), QStringList());
    QStringList windows;
    if (!QTest::qWaitFor(
            [&] {
                return (windows = visibleWindows()).size() == 1 || program.state() == QProcess::NotRunning;
            },
            30000) ||
        program.state() != QProcess::Running)
        return QString();
    return windows.first();
}

// No window manager here: give the window the keyboard ourselves, and say
// whether the server reports it has it (a loaded machine is slow to).
bool tst_E2e::focusOn(const QString &window)
{
    runTool(xdotool, {QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    return runTool(xdotool, {QStringLiteral("getwindowfocus")}).trimmed() == window;
}

QImage tst_E2e::grabWindow(const QString &window)
{
    const QString import = QStandardPaths::findExecutable(QStringLiteral("import"));
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    process.setProcessEnvironment(environment);
    process.start(import, {QStringLiteral("-window"), window, QStringLiteral("png:-")});
    process.waitForFinished(10000);
    return QImage::fromData(process.readAllStandardOutput(), "PNG").convertToFormat(QImage::Format_RGB32);
}

void tst_E2e::dragScrollsTheListAndTapOpens()
{
    if (QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty())
        QSKIP("import is missing (Debian package imagemagick)");
    QTemporaryDir home;
    QStringList items;
    for (int code = 100; code < 160; ++code)
        items << entry(QStringLiteral("E%1").arg(code));
    QVERIFY(prepareHome(home, items));
    const QString mainWindow = startProgram(home);
    QVERIFY(!mainWindow.isEmpty());
    const Geometry main = geometryOf(mainWindow);
    QVERIFY(main.width >= 400 && main.height >= 400);
    QImage before;
    QTRY_VERIFY_WITH_TIMEOUT(!(before = grabWindow(mainWindow)).isNull(), 10000);

    // Press, move up in steps, release: the list follows the finger.
    const QString x = QString::number(main.x + main.width / 2);
    const auto y = [&main](int fromTop) { return QString::number(main.y + fromTop); };
    runTool(xdotool, {QStringLiteral("mousemove"),
                      x,
                      y(350),
                      QStringLiteral("mousedown"),
                      QStringLiteral("1"),
                      QStringLiteral("sleep"),
                      QStringLiteral("0.05"),
                      QStringLiteral("mousemove"),
                      x,
                      y(320),
                      QStringLiteral("sleep"),
                      QStringLiteral("0.05"),
                      QStringLiteral("mousemove"),
                      x,
                      y(250),
                      QStringLiteral("sleep"),
                      QStringLiteral("0.05"),
                      QStringLiteral("mousemove"),
                      x,
                      y(180),
                      QStringLiteral("sleep"),
                      QStringLiteral("0.05"),
                      QStringLiteral("mousemove"),
                      x,
                      y(110),
                      QStringLiteral("mouseup"),
                      QStringLiteral("1")});
    // Let the flick come to rest.
    QImage after = grabWindow(mainWindow);
    QImage settled;
    QTRY_VERIFY_WITH_TIMEOUT((settled = grabWindow(mainWindow)) == after || ((after = settled), false),
                             15000);
    // The code boxes on the left: the selection, which a press moves, is
    // drawn beside them, so they change only when the list scrolls.
    const QRect codes(0, 40, 130, main.height - 40);
    QVERIFY2(after.copy(codes) != before.copy(codes), "the drag did not scroll the list");
    // A press that turned into a drag opened nothing.
    QCOMPARE(visibleWindows(), QStringList{mainWindow});

    // A tap opens the entry under it: the detail window comes over the main one.
    runTool(xdotool, {QStringLiteral("mousemove"), x, y(200), QStringLiteral("click"), QStringLiteral("1")});
    QTRY_COMPARE_WITH_TIMEOUT(visibleWindows().size(), 2, 10000);
    QCOMPARE(program.state(), QProcess::Running);
}

void tst_E2e::denseScreenDoublesEverything()
{
    const QString xrdb = QStandardPaths::findExecutable(QStringLiteral("xrdb"));
    if (QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty() || xrdb.isEmpty())
        QSKIP("import or xrdb is missing (Debian packages imagemagick, x11-xserver-utils)");

    // A server of its own that keeps its resources when clients leave.
    QProcess denseServer;
    denseServer.start(QStandardPaths::findExecutable(QStringLiteral("Xvfb")),
                      {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                       QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("2048x1536x24"),
                       QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    QVERIFY2(denseServer.waitForStarted(10000), "Xvfb did not start");
    QByteArray number;
    QVERIFY2(QTest::qWaitFor([&] { return (number += denseServer.readAllStandardOutput()).contains('\n'); },
                             20000),
             "Xvfb did not start");
    const QString sharedDisplay = display;
    display = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
    const auto restore = qScopeGuard([&] {
        display = sharedDisplay;
        cleanup();
        denseServer.kill();
        denseServer.waitForFinished(5000);
    });
    QTRY_VERIFY_WITH_TIMEOUT(!runTool(xdotool, {QStringLiteral("getdisplaygeometry")}).trimmed().isEmpty(),
                             10000);

    QTemporaryDir home;
    QVERIFY(
        prepareHome(home, {QStringLiteral(R"(type="header" code="Colours")"), entry(QStringLiteral("E100")),
                           entry(QStringLiteral("E101(ii)")), entry(QStringLiteral("E1520"))}));
    // The main window as the program shows it at the given density, once painted.
    const auto shoot = [&](const QByteArray &dpi, Geometry *geometry) {
        QProcess resources;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), display);
        resources.setProcessEnvironment(environment);
        resources.start(xrdb, {QStringLiteral("-merge")});
        resources.write("Xft.dpi: " + dpi + '\n');
        resources.closeWriteChannel();
        resources.waitForFinished(10000);

        const QString window = startProgram(home);
        QImage shot;
        const bool settled = !window.isEmpty() && QTest::qWaitFor(
                                                      [&] {
                                                          const QImage next = grabWindow(window);
                                                          const bool same = !next.isNull() && next == shot;
                                                          shot = next;
                                                          return same;
                                                      },
                                                      10000);
        *geometry = geometryOf(window);
        cleanup();
        return settled ? shot : QImage();
    };
    Geometry normal, dense;
    const QImage normalShot = shoot("96", &normal);
    const QImage denseShot = shoot("192", &dense);
    QVERIFY(!normalShot.isNull() && !denseShot.isNull());
    qInfo("window at 96 dpi %dx%d, at 192 dpi %dx%d", normal.width, normal.height, dense.width, dense.height);
    QVERIFY(qAbs(dense.width - 2 * normal.width) <= 8 && qAbs(dense.height - 2 * normal.height) <= 8);

    // Halved, the dense window looks like the normal one: code boxes, rows and
    // text all doubled, nothing spilling out of its box.
    const QImage halved =
        denseShot.scaled(normalShot.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    qint64 difference = 0;
    for (int y = 0; y < normalShot.height(); ++y)
        for (int x = 0; x < normalShot.width(); ++x) {
            const QRgb a = normalShot.pixel(x, y);
            const QRgb b = halved.pixel(x, y);
            difference += qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b)) + qAbs(qBlue(a) - qBlue(b));
        }
    const double mean = double(difference) / (3.0 * normalShot.width() * normalShot.height());
    qInfo("mean difference of the halved dense window: %.2f of 255", mean);
    QVERIFY2(mean < 8, qPrintable(QString::number(mean)));
}

void tst_E2e::nameTypedInSearchOpensEntry()
{
    QTemporaryDir home;
    QVERIFY(prepareHome(home, {entry(QStringLiteral("E100")),
                               QStringLiteral(R"(type="additive" code="E102" names="Тартразин:Tartrazine")"),
                               entry(QStringLiteral("E110"))}));
    const QString mainWindow = startProgram(home);
    QVERIFY2(!mainWindow.isEmpty(), program.readAllStandardError().constData());
    QTRY_VERIFY_WITH_TIMEOUT(focusOn(mainWindow), 10000);

    // Ctrl+F: a second window over the main one, with the keyboard in its field.
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("ctrl+f")});
    QStringList windows;
    QTRY_VERIFY_WITH_TIMEOUT((windows = visibleWindows()).size() == 2, 10000);
    windows.removeOne(mainWindow);
    const QString searchWindow = windows.first();
    QTRY_VERIFY_WITH_TIMEOUT(focusOn(searchWindow), 10000);
    // Latin letters: xdotool types them with the keyboard map as it is, while
    // letters it lacks would be mapped and unmapped under the program's feet.
    runTool(xdotool, {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("50"),
                      QStringLiteral("TARTR")});
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("Return")});

    // The entry opens over the search, which stays for the way back.
    QTRY_COMPARE_WITH_TIMEOUT(visibleWindows().size(), 3, 10000);
    const QStringList order = stackingOrder();
    windows = visibleWindows();
    windows.removeOne(mainWindow);
    windows.removeOne(searchWindow);
    QCOMPARE(windows.size(), 1);
    QVERIFY(order.indexOf(windows.first()) < order.indexOf(searchWindow));
    QCOMPARE(program.state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(tst_E2e)
#include "tst_e2e.moc"
