// The real program under a private X server, driven by real key events: a code
// typed on the keyboard, Enter, the detail window over the main window, and
// the key codes on standard output while the program still runs. As on a
// desktop, a session bus with the accessibility bus runs beside it, and the
// toolkit's accessibility bridge is on. The label reader reads a photo
// opened through its file dialog and, with a rectangle dragged over part of
// it, just that part; its languages are chosen by keys under a window
// manager and kept across runs.

#include "labelset.h"
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
    void photoPartDraggedOverIsReadAlone();
    void labelLanguagesChosenByKeysAndKept();
    void systemBusNeverHoldsUpWindowOrExit_data();
    void systemBusNeverHoldsUpWindowOrExit();

private:
    // The program over a catalogue whose names a typed list holds; its main window.
    QString startWithAdditives(const QTemporaryDir &home);
    // The reader's window over the main window once Ctrl+L has opened it, with the keyboard.
    QString openReader(const QString &mainWindow);
    // What a screen reader finds of the program: one line per object, as
    // tests/helpers/atspi-tree.py prints them; empty when it cannot be read.
    QStringList accessibleTree();
    // The program's visible windows not titled "Vestrion": a dialog, a menu.
    QStringList otherWindows();
    // The codes the reader lists and its count in words, from such a tree.
    static QStringList readerCodes(const QStringList &tree, QString *count);

    QProcess server;
};

QString tst_E2e::startWithAdditives(const QTemporaryDir &home)
{
    if (!prepareHome(home, {entryItem(QStringLiteral("E100")), entryItem(QStringLiteral("E102")),
                            QStringLiteral(R"(type="additive" code="E330" names="Citric acid")")}))
        return QString();
    return startProgram(home);
}

QString tst_E2e::openReader(const QString &mainWindow)
{
    QStringList windows;
    if (!QTest::qWaitFor([&] { return focusOn(mainWindow); }, 10000))
        return QString();
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("ctrl+l")});
    if (!QTest::qWaitFor(
            [&] { return (windows = visibleWindows()).size() == 2 && windows.removeOne(mainWindow); },
            10000) ||
        !QTest::qWaitFor([&] { return focusOn(windows.first()); }, 10000))
        return QString();
    return windows.first();
}

QStringList tst_E2e::otherWindows()
{
    QStringList windows = runTool(xdotool, {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                            QStringLiteral("--pid"), QString::number(program.processId())})
                              .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &window : visibleWindows())
        windows.removeAll(window);
    return windows;
}

QStringList tst_E2e::accessibleTree()
{
    return runTool(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(VESTRION_TEST_DATA_DIR "/../helpers/atspi-tree.py"),
                    QStringLiteral("Vestrion")},
                   10000)
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList tst_E2e::readerCodes(const QStringList &tree, QString *count)
{
    // depth, role, name, description, visibility; the reader's list is the
    // one that tells its count, its rows are named by their code first.
    QStringList codes;
    int listDepth = -1;
    for (const QString &line : tree) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() < 4)
            continue;
        const int depth = fields.at(0).toInt();
        if (listDepth < 0) {
            if (fields.at(1) == QLatin1String("list") &&
                fields.at(3).startsWith(QStringLiteral("Найдено: "))) {
                listDepth = depth;
                *count = fields.at(3);
            }
        } else if (depth <= listDepth) {
            break;
        } else if (depth == listDepth + 1 && fields.at(1) == QLatin1String("list item")) {
            codes << fields.at(2).section(QLatin1String(", "), 0, 0);
        }
    }
    return codes;
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

void tst_E2e::photoPartDraggedOverIsReadAlone()
{
#ifdef VESTRION_SANITIZE
    QSKIP("OCR is not run under the sanitizers");
#endif
    if (QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty() ||
        !runTool(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QStringLiteral("import pyatspi; print('ok')")})
             .startsWith(QLatin1String("ok")))
        QSKIP("import or pyatspi is missing (Debian packages imagemagick, python3-pyatspi)");
    // The program with its OCR module beside it, and a photo of two lists far
    // apart on one card, sharing no additive.
    QTemporaryDir home;
    QVERIFY(prepareHome(
        home, {QStringLiteral(R"(type="additive" code="E102" names="Тартразин:Tartrazine")"),
               QStringLiteral(R"(type="additive" code="E202" names="Сорбат калия:Potassium sorbate")"),
               QStringLiteral(R"(type="additive" code="E330" names="Лимонная кислота:Citric acid")"),
               QStringLiteral(R"(type="additive" code="E440" names="Пектины:Pectins")")}));
    QVERIFY(QFile::link(QStringLiteral(VESTRION_BUILD_DIR "/libvestrion-ocr.so"),
                        home.filePath(QStringLiteral("libvestrion-ocr.so"))));
    QVector<QRect> parts;
    const QImage card = vsLabelSet::renderStacked(
        {QStringLiteral("Состав: сахар, краситель E102,\nкислота лимонная E330."),
         QStringLiteral("Состав: вода, консервант E202,\nзагуститель пектин E440.")},
        1300, &parts);
    const QString photo = home.filePath(QStringLiteral("label.png"));
    QVERIFY(card.save(photo));

    const QString mainWindow = startProgram(home);
    QVERIFY2(!mainWindow.isEmpty(), program.readAllStandardError().constData());
    const QString reader = openReader(mainWindow);
    QVERIFY(!reader.isEmpty());

    // By keys to "Открыть снимок…" (the empty list is no stop), and the photo
    // named in the toolkit's own file dialog.
    runTool(xdotool, {QStringLiteral("key"), QStringLiteral("Tab"), QStringLiteral("space")});
    QString dialog;
    const auto dialogShown = [&] {
        const QStringList windows = otherWindows();
        dialog = windows.value(0);
        return windows.size() == 1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(dialogShown(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(focusOn(dialog), 10000);
    runTool(xdotool, {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), photo});
    // Return may first close the name's completion list.
    for (int tries = 0; tries < 3 && geometryOf(dialog).viewable; ++tries) {
        runTool(xdotool, {QStringLiteral("key"), QStringLiteral("Return")});
        if (QTest::qWaitFor([&] { return !geometryOf(dialog).viewable; }, 3000))
            break;
    }
    QVERIFY2(!geometryOf(dialog).viewable, "the file dialog did not take the photo");

    // Read whole: all four additives, the picture named for a screen reader
    // and the part read outlined in orange around both lists.
    QStringList tree;
    QString count;
    QVERIFY2(QTest::qWaitFor([&] { return (tree = accessibleTree(), readerCodes(tree, &count).size() == 4); },
                             15000),
             qPrintable(tree.join(QLatin1Char('\n'))));
    QVERIFY2(tree.filter(QStringLiteral("\timage\tСнимок этикетки\t")).size() == 1,
             qPrintable(tree.join(QLatin1Char('\n'))));
    QImage shot;
    QRect outline;
    QVERIFY(QTest::qWaitFor([&] { return !(shot = grabWindow(reader)).isNull(); }, 10000));
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb pixel = shot.pixel(x, y);
            if (qRed(pixel) > 235 && qAbs(qGreen(pixel) - 128) < 20 && qBlue(pixel) < 40)
                outline |= QRect(x, y, 1, 1);
        }
    QVERIFY2(outline.width() > 100 && outline.height() > 100,
             qPrintable(QStringLiteral("outline %1x%2").arg(outline.width()).arg(outline.height())));

    // A rectangle dragged from the gap between the lists (the middle of the
    // outline) to past the lower one's corner: only its additives remain.
    const auto at = [](int x, int y) { return QStringList{QString::number(x), QString::number(y)}; };
    const int gap = outline.center().y();
    runTool(xdotool, QStringList{QStringLiteral("mousemove"), QStringLiteral("--window"), reader} +
                         at(outline.left() + 3, gap) +
                         QStringList{QStringLiteral("mousedown"), QStringLiteral("1")});
    for (int step = 1; step <= 4; ++step)
        runTool(xdotool, QStringList{QStringLiteral("mousemove"), QStringLiteral("--window"), reader} +
                             at(outline.left() + 3 + (outline.width() + 9) * step / 4,
                                gap + (outline.bottom() + 12 - gap) * step / 4));
    runTool(xdotool, {QStringLiteral("mouseup"), QStringLiteral("1")});
    QStringList codes;
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     return (tree = accessibleTree(), codes = readerCodes(tree, &count)) ==
                            QStringList({QStringLiteral("E202"), QStringLiteral("E440")});
                 },
                 15000),
             qPrintable(count + QLatin1Char(' ') + codes.join(QLatin1Char(' '))));
    QCOMPARE(count, QStringLiteral("Найдено: 2"));
    QCOMPARE(program.state(), QProcess::Running);
}

void tst_E2e::labelLanguagesChosenByKeysAndKept()
{
    const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
    const QString xprop = QStandardPaths::findExecutable(QStringLiteral("xprop"));
    if (openbox.isEmpty() || xprop.isEmpty() ||
        !runTool(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QStringLiteral("import pyatspi; print('ok')")})
             .startsWith(QLatin1String("ok")))
        QSKIP("openbox, xprop or pyatspi is missing (Debian packages openbox, x11-utils, python3-pyatspi)");
    // A desktop's window manager this time: the menu's keys go through it.
    QTemporaryDir home;
    QVERIFY(prepareHome(
        home, {QStringLiteral(R"(type="additive" code="E202" names="Сорбат калия:Potassium sorbate")"),
               QStringLiteral(R"(type="additive" code="E330" names="Лимонная кислота:Citric acid")")}));
    QProcess manager;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    manager.setProcessEnvironment(environment);
    manager.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    manager.start(openbox, {QStringLiteral("--sm-disable")});
    const auto stopManager = qScopeGuard([&] {
        stopProgram();
        manager.terminate();
        if (!manager.waitForFinished(5000))
            manager.kill();
        manager.waitForFinished(5000);
    });
    QTRY_VERIFY_WITH_TIMEOUT(
        runTool(xprop, {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
            .contains(QLatin1String("window id")),
        10000);

    // Kaliumsorbat is sorbate only in German.
    const QString german = QStringLiteral("Zutaten: Wasser, Konservierungsstoff Kaliumsorbat.");
    const auto key = [this](const QStringList &keys) {
        runTool(xdotool,
                QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("100")} + keys);
    };
    QStringList tree;
    QString count;
    const auto listed = [&] {
        tree = accessibleTree();
        return readerCodes(tree, &count);
    };
    for (int run = 0; run < 2; ++run) {
        const QString mainWindow = startProgram(home);
        QVERIFY2(!mainWindow.isEmpty(), program.readAllStandardError().constData());
        const QString reader = openReader(mainWindow);
        QVERIFY(!reader.isEmpty());
        runTool(xdotool, {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), german});
        if (run == 0) {
            QVERIFY2(
                QTest::qWaitFor([&] { return (listed(), count == QStringLiteral("Найдено: 0")); }, 15000),
                qPrintable(count));
            QVERIFY2(tree.filter(QStringLiteral("\tЯзыки этикеток: Русский, Английский\t")).size() == 1,
                     qPrintable(tree.join(QLatin1Char('\n'))));
            // Tab past the empty list and "Открыть снимок…" to the languages;
            // Space opens their menu, the sixth entry is German, Return ticks
            // it and Escape closes the menu.
            key({QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("space")});
            QVERIFY2(QTest::qWaitFor([&] { return otherWindows().size() == 1; }, 10000),
                     "the languages' menu did not open");
            key({QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Down"),
                 QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Down"),
                 QStringLiteral("Return"), QStringLiteral("Escape")});
        }
        // Read with German at once, and so after the restart.
        QVERIFY2(QTest::qWaitFor([&] { return listed() == QStringList{QStringLiteral("E202")}; }, 15000),
                 qPrintable(count));
        QVERIFY2(tree.filter(QStringLiteral("\tЯзыки этикеток: Русский, Английский, Немецкий\t")).size() == 1,
                 qPrintable(tree.join(QLatin1Char('\n'))));
        QTRY_VERIFY_WITH_TIMEOUT(focusOn(reader), 10000);
        key({QStringLiteral("ctrl+q")});
        QVERIFY2(program.waitForFinished(10000), "Ctrl+Q did not quit");
        QCOMPARE(program.exitCode(), 0);
    }
    QVERIFY(vsTest::fileContents(home.filePath(QStringLiteral("config/Morvane/Vestrion.conf")))
                .contains("label-languages=\"ru,en,de\""));
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

// A GUI application: the photo is painted with fonts.
QTEST_MAIN(tst_E2e)
#include "tst_e2e.moc"
