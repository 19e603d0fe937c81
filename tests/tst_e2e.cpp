// The real program under a private X server, driven by real key events: a code
// typed on the keyboard, Enter, the detail window over the main window, and
// the key codes on standard output while the program still runs. As on a
// desktop, a session bus with the accessibility bus runs beside it, and the
// toolkit's accessibility bridge is on.

#include "testsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using vsTest::entryItem;

class tst_E2e : public QObject, vsTest::XSession
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
    void ingredientListShowsAdditivesAndOpensOne();
    void keyboardOnlyDetailAlwaysOnTop();
    void systemBusNeverHoldsUpWindowOrExit_data();
    void systemBusNeverHoldsUpWindowOrExit();

private:
    // The program over a catalogue whose names a typed list holds; its main window.
    QString startWithAdditives(const QTemporaryDir &home);

    QProcess server;
};

QString tst_E2e::startWithAdditives(const QTemporaryDir &home)
{
    if (!prepareHome(home, {entryItem(QStringLiteral("E100")), entryItem(QStringLiteral("E102")),
                            QStringLiteral(R"(type="additive" code="E330" names="Citric acid")")}))
        return QString();
    return startProgram(home);
}

void tst_E2e::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        QSKIP("Xvfb cannot start: it is not installed (Debian package xvfb)");
    QVERIFY2(!xdotool.isEmpty(), "xdotool is missing (Debian package xdotool)");
    QVERIFY2(!xwininfo.isEmpty(), "xwininfo is missing (Debian package x11-utils)");
    QString why;
    display = startServer(server, QStringLiteral("1024x768x24"), &why);
    if (display.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY2(startDesktopBus(&why), qPrintable(why));
}

void tst_E2e::cleanupTestCase()
{
    stopDesktopBus();
    stopServer(server);
}

void tst_E2e::cleanup()
{
    stopProgram();
}

void tst_E2e::typedCodeOpensEntryAndKeysAreTraced()
{
    QTemporaryDir home;
    QVERIFY(prepareHome(home, {QStringLiteral(R"(type="header" code="Colours")"),
                               entryItem(QStringLiteral("E100")), entryItem(QStringLiteral("E101")),
                               entryItem(QStringLiteral("E102")), entryItem(QStringLiteral("E110"))}));
    const QString mainWindow = startProgram(home);
    QVERIFY2(!mainWindow.isEmpty(), program.readAllStandardError().constData());
    QStringList windows;
    const Geometry mainGeometry = geometryOf(mainWindow);
    QVERIFY(mainGeometry.viewable);
    QVERIFY(mainGeometry.width > 0 && mainGeometry.height > 0);

    VS_TRY_VERIFY(focusOn(mainWindow), 10000);
    // q and Shift+w are the digits 1 and 2 of the top letter row: the code is 102.
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("50"),
                      QStringLiteral("q"), QStringLiteral("0"), QStringLiteral("shift+w")});

    // The codes arrive while the program runs: each line is flushed at once.
    const QByteArray typed = "81\n48\n16777248\n87\n";
    VS_TRY_COMPARE(programOutput += program.readAllStandardOutput(), typed, 10000);

    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("KP_Enter")});
    VS_TRY_COMPARE(programOutput += program.readAllStandardOutput(), typed + "16777221\n", 10000);

    // Enter opened the detail window: a second "Vestrion" window, over the main
    // window and of its size. The search banner, also titled "Vestrion", went
    // with the search; its height tells it apart while it may still be mapped.
    const auto sameGeometry = [&mainGeometry](const Geometry &other) {
        return other.viewable && other.x == mainGeometry.x && other.y == mainGeometry.y &&
               other.width == mainGeometry.width && other.height == mainGeometry.height;
    };
    QString detailWindow;
    VS_TRY_VERIFY2((windows = visibleWindows()).size() == 2 && windows.removeOne(mainWindow) &&
                       sameGeometry(geometryOf(detailWindow = windows.first())),
                   qPrintable(runTool(xwininfo, {QStringLiteral("-root"), QStringLiteral("-children")})),
                   10000);
    const QStringList order = stackingOrder();
    QVERIFY(order.contains(detailWindow) && order.contains(mainWindow));
    QVERIFY2(order.indexOf(detailWindow) < order.indexOf(mainWindow),
             "the detail window is below the main window");

    // Backspace now belongs to the detail window, which closes; the main
    // window's trace does not see it.
    VS_TRY_VERIFY(focusOn(detailWindow), 10000);
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("BackSpace")});
    VS_TRY_COMPARE(visibleWindows(), QStringList{mainWindow}, 10000);
    // Back on the main window a key is traced again.
    VS_TRY_VERIFY(focusOn(mainWindow), 10000);
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("Down")});
    VS_TRY_COMPARE(programOutput += program.readAllStandardOutput(), typed + "16777221\n16777237\n", 10000);
    QCOMPARE(program.state(), QProcess::Running);
}

void tst_E2e::dragScrollsTheListAndTapOpens()
{
    if (QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty())
        QSKIP("import is missing (Debian package imagemagick)");
    QTemporaryDir home;
    QStringList items;
    for (int code = 100; code < 160; ++code)
        items << entryItem(QStringLiteral("E%1").arg(code));
    QVERIFY(prepareHome(home, items));
    const QString mainWindow = startProgram(home);
    QVERIFY(!mainWindow.isEmpty());
    const Geometry main = geometryOf(mainWindow);
    QVERIFY(main.width >= 400 && main.height >= 400);
    QImage before;
    VS_TRY_VERIFY(!(before = grabWindow(mainWindow)).isNull(), 10000);

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
    VS_TRY_VERIFY((settled = grabWindow(mainWindow)) == after || ((after = settled), false), 10000);
    // The code boxes on the left: the selection, which a press moves, is
    // drawn beside them, so they change only when the list scrolls.
    const QRect codes(0, 40, 130, main.height - 40);
    QVERIFY2(after.copy(codes) != before.copy(codes), "the drag did not scroll the list");
    // A press that turned into a drag opened nothing.
    QCOMPARE(visibleWindows(), QStringList{mainWindow});

    // A tap opens the entry under it: the detail window comes over the main one.
    runTool(xdotool, {QStringLiteral("mousemove"), x, y(200), QStringLiteral("click"), QStringLiteral("1")});
    VS_TRY_COMPARE(visibleWindows().size(), 2, 10000);
    QCOMPARE(program.state(), QProcess::Running);
}

void tst_E2e::denseScreenDoublesEverything()
{
    const QString xrdb = QStandardPaths::findExecutable(QStringLiteral("xrdb"));
    if (QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty() || xrdb.isEmpty())
        QSKIP("import or xrdb is missing (Debian packages imagemagick, x11-xserver-utils)");

    // A server of its own that keeps its resources when clients leave.
    QProcess denseServer;
    QString why;
    const QString denseDisplay = startServer(denseServer, QStringLiteral("2048x1536x24"), &why);
    QVERIFY2(!denseDisplay.isEmpty(), qPrintable(why));
    const QString sharedDisplay = display;
    display = denseDisplay;
    const auto restore = qScopeGuard([&] {
        display = sharedDisplay;
        stopProgram();
        stopServer(denseServer);
    });

    QTemporaryDir home;
    QVERIFY(prepareHome(home,
                        {QStringLiteral(R"(type="header" code="Colours")"), entryItem(QStringLiteral("E100")),
                         entryItem(QStringLiteral("E101(ii)")), entryItem(QStringLiteral("E1520"))}));
    // The main window as the program shows it at the given density, once painted.
    const auto shoot = [&](const QByteArray &dpi, Geometry *geometry) {
        runTool(xrdb, {QStringLiteral("-merge")}, 10000, "Xft.dpi: " + dpi + '\n');
        const QString window = startProgram(home);
        QImage shot;
        const bool settled = !window.isEmpty() && vsTest::waitUntil(
                                                      [&] {
                                                          const QImage next = grabWindow(window);
                                                          const bool same = !next.isNull() && next == shot;
                                                          shot = next;
                                                          return same;
                                                      },
                                                      10000);
        *geometry = geometryOf(window);
        stopProgram();
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
    QVERIFY(prepareHome(home, {entryItem(QStringLiteral("E100")),
                               QStringLiteral(R"(type="additive" code="E102" names="Тартразин:Tartrazine")"),
                               entryItem(QStringLiteral("E110"))}));
    const QString mainWindow = startProgram(home);
    QVERIFY2(!mainWindow.isEmpty(), program.readAllStandardError().constData());
    VS_TRY_VERIFY(focusOn(mainWindow), 10000);

    // Ctrl+F: a second window over the main one, with the keyboard in its field.
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("ctrl+f")});
    QStringList windows;
    VS_TRY_VERIFY((windows = visibleWindows()).size() == 2, 10000);
    windows.removeOne(mainWindow);
    const QString searchWindow = windows.first();
    VS_TRY_VERIFY(focusOn(searchWindow), 10000);
    // Latin letters: xdotool types them with the keyboard map as it is, while
    // letters it lacks would be mapped and unmapped under the program's feet.
    runTool(xdotool, {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("50"),
                      QStringLiteral("TARTR")});
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("Return")});

    // The entry opens over the search, which stays for the way back.
    VS_TRY_COMPARE(visibleWindows().size(), 3, 10000);
    const QStringList order = stackingOrder();
    windows = visibleWindows();
    windows.removeOne(mainWindow);
    windows.removeOne(searchWindow);
    QCOMPARE(windows.size(), 1);
    QVERIFY(order.indexOf(windows.first()) < order.indexOf(searchWindow));
    QCOMPARE(program.state(), QProcess::Running);
}

void tst_E2e::ingredientListShowsAdditivesAndOpensOne()
{
    // The program with its catalogue, the names of which a list will hold.
    QTemporaryDir home;
    const QString mainWindow = startWithAdditives(home);
    QVERIFY2(!mainWindow.isEmpty(), program.readAllStandardError().constData());
    QStringList windows;
    VS_TRY_VERIFY(focusOn(mainWindow), 10000);

    // Ctrl+L, traced as both keys, opens the reader over the main window.
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("ctrl+l")});
    VS_TRY_COMPARE(programOutput += program.readAllStandardOutput(), QByteArray("16777249\n76\n"), 10000);
    QString reader;
    VS_TRY_VERIFY((windows = visibleWindows()).size() == 2 && windows.removeOne(mainWindow), 10000);
    reader = windows.first();

    // A list typed into its field: its additives' rows appear, and a tap on
    // the first opens the detail window, a third one.
    VS_TRY_VERIFY(focusOn(reader), 10000);
    runTool(xdotool, {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"),
                      QStringLiteral("sugar, citric acid, colour e-102.")});
    // The first row sits under the field (at most 160 px) and the button row.
    const QStringList first = {
        QStringLiteral("mousemove"), QStringLiteral("--window"), reader,
        QStringLiteral("100"),       QStringLiteral("240"),      QStringLiteral("click"),
        QStringLiteral("1")};
    VS_TRY_VERIFY(runTool(xdotool, first).isEmpty() && visibleWindows().size() == 3, 10000);
    windows = visibleWindows();
    QVERIFY(windows.removeOne(mainWindow) && windows.removeOne(reader));
    const QString detail = windows.first();

    // Back from the detail view returns to the reader, still open.
    VS_TRY_VERIFY(focusOn(detail), 10000);
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("BackSpace")});
    VS_TRY_COMPARE(visibleWindows().size(), 2, 10000);
    QVERIFY(visibleWindows().contains(reader));
    // The main window traced nothing typed into the other windows.
    QCOMPARE(programOutput += program.readAllStandardOutput(), QByteArray("16777249\n76\n"));
    QCOMPARE(program.state(), QProcess::Running);
}

void tst_E2e::keyboardOnlyDetailAlwaysOnTop()
{
    QTemporaryDir home;
    const QString mainWindow = startWithAdditives(home);
    QVERIFY2(!mainWindow.isEmpty(), program.readAllStandardError().constData());
    QStringList windows;
    const auto key = [this](const QString &keys) { runTool(xdotool, {QStringLiteral("key"), keys}); };
    const auto above = [this](const QString &upper, const QString &lower) {
        const QStringList order = stackingOrder();
        return order.contains(upper) && order.indexOf(upper) < order.indexOf(lower);
    };

    // Return, a laptop's Enter, opens the selected first row; Escape leaves it.
    VS_TRY_VERIFY(focusOn(mainWindow), 10000);
    key(QStringLiteral("Return"));
    VS_TRY_VERIFY((windows = visibleWindows()).size() == 2 && windows.removeOne(mainWindow), 10000);
    const QString detail = windows.first();
    VS_TRY_VERIFY(focusOn(detail), 10000);
    key(QStringLiteral("Escape"));
    VS_TRY_COMPARE(visibleWindows(), QStringList{mainWindow}, 10000);

    // The reader, made after the detail window: an entry opened from it by
    // keyboard alone still comes up on top of it.
    VS_TRY_VERIFY(focusOn(mainWindow), 10000);
    key(QStringLiteral("ctrl+l"));
    VS_TRY_VERIFY((windows = visibleWindows()).size() == 2 && windows.removeOne(mainWindow), 10000);
    const QString reader = windows.first();
    QVERIFY(reader != detail);
    VS_TRY_VERIFY(focusOn(reader), 10000);
    runTool(xdotool, {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"),
                      QStringLiteral("sugar, citric acid, colour e-102.")});
    for (int time = 0; time < 2; ++time) {
        // Tab to the additives, Down to the second, Return.
        key(QStringLiteral("Tab"));
        key(QStringLiteral("Down"));
        key(QStringLiteral("Return"));
        VS_TRY_COMPARE(visibleWindows().size(), 3, 10000);
        QVERIFY(visibleWindows().contains(detail));
        VS_TRY_VERIFY2(above(detail, reader), "the detail window is under the reader", 10000);
        VS_TRY_COMPARE(runTool(xdotool, {QStringLiteral("getwindowfocus")}).trimmed(), detail, 10000);
        key(QStringLiteral("Escape"));
        VS_TRY_COMPARE(visibleWindows().size(), 2, 10000);
        VS_TRY_VERIFY(focusOn(reader), 10000);
        key(QStringLiteral("shift+Tab"));
    }

    // Ctrl+Q quits from the reader as from the main window.
    key(QStringLiteral("ctrl+q"));
    QVERIFY2(program.waitForFinished(10000), "Ctrl+Q did not quit");
    QVERIFY2(program.exitCode() == 0, program.readAllStandardError().right(3000).constData());
}

void tst_E2e::systemBusNeverHoldsUpWindowOrExit_data()
{
    QTest::addColumn<QString>("bus");
    QTest::newRow("none") << QStringLiteral("none");
    QTest::newRow("refusing") << QStringLiteral("refusing");
    QTest::newRow("accepting, never answering") << QStringLiteral("hung");
    QTest::newRow("answering slowly") << QStringLiteral("slow");
}

void tst_E2e::systemBusNeverHoldsUpWindowOrExit()
{
    QFETCH(QString, bus);
    QTemporaryDir home;
    QVERIFY(prepareHome(home, {entryItem(QStringLiteral("E100")), entryItem(QStringLiteral("E102"))}));
    const QString socket = home.filePath(QStringLiteral("system-bus"));
    QProcess helper;
    const auto stopHelper = qScopeGuard([&] {
        helper.closeWriteChannel();
        if (!helper.waitForFinished(3000))
            helper.kill();
        helper.waitForFinished(3000);
    });
    if (bus == QLatin1String("refusing")) {
        // A socket file nobody listens on, as a dead daemon leaves behind.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(socket).constData(), sizeof(address.sun_path));
        QVERIFY(fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0);
        ::close(fd);
    } else if (bus != QLatin1String("none")) {
        // The slow bus is the session bus, every answer a third of a second late.
        const QString sessionSocket =
            sessionBusAddress.section(QLatin1String("path="), 1).section(QLatin1Char(','), 0, 0);
        QVERIFY2(bus == QLatin1String("hung") || !sessionSocket.isEmpty(), qPrintable(sessionBusAddress));
        helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper.start(QStringLiteral(VESTRION_DEVICE_HELPER),
                     bus == QLatin1String("hung") ? QStringList{QStringLiteral("--hung-bus"), socket}
                                                  : QStringList{QStringLiteral("--slow-bus"), socket,
                                                                sessionSocket, QStringLiteral("330")});
        QVERIFY(helper.waitForReadyRead(10000));
        QCOMPARE(helper.readLine().trimmed(), QByteArray("ready"));
    }
    // Behind the slow bus, the handheld's mode-control service.
    QProcess service;
    const auto stopService = qScopeGuard([&] {
        service.closeWriteChannel();
        if (!service.waitForFinished(3000))
            service.kill();
        service.waitForFinished(3000);
    });
    if (bus == QLatin1String("slow")) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), sessionBusAddress);
        service.setProcessEnvironment(environment);
        service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        service.start(QStringLiteral(VESTRION_DEVICE_HELPER), QStringList());
        QVERIFY(service.waitForReadyRead(10000));
        QCOMPARE(service.readLine().trimmed(), QByteArray("ready"));
    }

    QElapsedTimer clock;
    clock.start();
    launchProgram(home, {QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS=unix:path=") + socket});
    QStringList windows;
    // Bounded well above the 2 s it takes at worst, so that a loaded machine
    // passes; a held-up program never shows its window at all.
    QVERIFY2(vsTest::waitUntil([&] { return (windows = visibleWindows()).size() == 1; }, 10000),
             "no window: the program is held up by the system bus");
    const qint64 windowMs = clock.elapsed();
    QByteArray served;
    if (bus == QLatin1String("slow")) {
        // A bus that answers, however slowly, is used.
        VS_TRY_VERIFY((served += service.readAllStandardOutput()).contains("call req_accelerometer_enable"),
                      10000);
    }
    VS_TRY_VERIFY(focusOn(windows.first()), 10000);

    // Ctrl+Q closes; the program ends on its own, its settings written.
    clock.restart();
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("ctrl+q")});
    QVERIFY2(program.waitForFinished(15000), "the program did not end after Ctrl+Q");
    const qint64 exitMs = clock.elapsed();
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QVERIFY2(program.exitCode() == 0, program.readAllStandardError().right(3000).constData());
    QVERIFY(QFile::exists(home.filePath(QStringLiteral("config/Morvane/Vestrion.conf"))));
    if (bus == QLatin1String("slow"))
        VS_TRY_VERIFY((served += service.readAllStandardOutput()).contains("call req_accelerometer_disable"),
                      10000);
    qInfo("system bus %s: window after %lld ms, exit %lld ms after Ctrl+Q", qPrintable(bus), windowMs,
          exitMs);
}

QTEST_GUILESS_MAIN(tst_E2e)
#include "tst_e2e.moc"
