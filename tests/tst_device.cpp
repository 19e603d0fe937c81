// The main window following the device over a real, private system bus: the
// accelerometer requests, orientation and slide reports, the keypad's rows and
// its visibility rule; and how the real program starts and stops with no bus,
// with a bus where nobody serves the device, and with a service that never
// answers, a bus that never answers, and iio-sensor-proxy in place of the
// mode-control service.

#include "testsupport.h"

#include "mainwindow/vsmainwindow.h"
#include "platform/vsbusprobe.h"
#include "platform/vsdevice.h"
#include "platform/vsorientation.h"
#include "platform/vswindowstack.h"

#include <QAction>
#include <QBoxLayout>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace {

const QString helperProgram = QStringLiteral(VESTRION_DEVICE_HELPER);

// dbus-daemon as a system bus with a configuration of its own. It runs through
// the helper's --exec so that it dies with the test process even on a crash.
class PrivateBus
{
public:
    ~PrivateBus() { stop(); }

    bool start(QString *error)
    {
        if (!folder.isValid()) {
            *error = QStringLiteral("no temporary folder");
            return false;
        }
        const QString config = folder.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly)) {
            *error = QStringLiteral("cannot write ") + config;
            return false;
        }
        file.write("<busconfig>\n  <type>system</type>\n  <listen>unix:path=" +
                   QFile::encodeName(folder.filePath(QStringLiteral("socket"))) +
                   "</listen>\n"
                   "  <policy context=\"default\">\n"
                   "    <allow own=\"*\"/>\n    <allow send_destination=\"*\"/>\n"
                   "    <allow receive_sender=\"*\"/>\n  </policy>\n</busconfig>\n");
        file.close();

        daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        daemon.start(helperProgram,
                     {QStringLiteral("--exec"), QStringLiteral("dbus-daemon"), QStringLiteral("--nofork"),
                      QStringLiteral("--config-file=") + config, QStringLiteral("--print-address=1")});
        QByteArray output;
        const QDeadlineTimer deadline(10000);
        while (!output.contains('\n') && !deadline.hasExpired() &&
               daemon.waitForReadyRead(int(deadline.remainingTime())))
            output += daemon.readAllStandardOutput();
        address = QString::fromUtf8(output.left(output.indexOf('\n')).trimmed());
        if (address.isEmpty()) {
            *error = QStringLiteral("dbus-daemon did not come up");
            stop();
            return false;
        }
        return true;
    }

    void stop()
    {
        if (daemon.state() != QProcess::NotRunning) {
            daemon.kill();
            daemon.waitForFinished(5000);
        }
    }

    QString address;

private:
    QTemporaryDir folder;
    QProcess daemon;
};

// The device helper: owns the mode-control service, counts its calls and
// sends orientation and slide reports on command.
class Device
{
public:
    ~Device() { stop(); }

    bool start(const QString &busAddress, const QStringList &arguments = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), busAddress);
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(helperProgram, arguments);
        return waitFor("ready");
    }

    // Returns once the helper has put the report on the bus.
    bool send(const QByteArray &command)
    {
        process.write(command + '\n');
        return waitFor("sent " + command);
    }

    int calls(const QByteArray &member)
    {
        read();
        return int(lines.count("call " + member));
    }

    void stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.closeWriteChannel();
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(3000);
        }
    }

private:
    void read()
    {
        pending += process.readAllStandardOutput();
        int end;
        while ((end = pending.indexOf('\n')) >= 0) {
            lines << pending.left(end);
            pending.remove(0, end + 1);
        }
    }

    bool waitFor(const QByteArray &line)
    {
        QDeadlineTimer deadline(10000);
        for (;;) {
            read();
            const int found = int(lines.indexOf(line, cursor));
            if (found >= 0) {
                cursor = found + 1;
                return true;
            }
            if (deadline.hasExpired() || !process.waitForReadyRead(int(deadline.remainingTime())))
                return false;
        }
    }

    QProcess process;
    QByteArray pending;
    QList<QByteArray> lines;
    int cursor = 0;
};

// Counts the helper's fence signals: once one arrives, every report the
// helper sent before it has been delivered too.
class FenceProbe : public QObject
{
    Q_OBJECT

public:
    int count = 0;

public slots:
    void onFence() { ++count; }
};

using vsTest::ProgramRun;

// What vsBusProbe::answers() said, asked on a thread of its own and waited
// for limitMs at most: a probe that ignores its deadline or its cancelling
// fails the test instead of holding it. unstick() then sets it free (closes
// the silent bus) so that the thread can be joined.
QString probeWithin(const QByteArray &address, int deadlineMs, int limitMs,
                    const std::function<bool()> &cancelled, const std::function<void()> &unstick)
{
    struct State
    {
        std::atomic<bool> done{false};
        bool answer = false;
    };
    const auto state = std::make_shared<State>();
    std::thread thread([state, address, deadlineMs, cancelled] {
        state->answer = vsBusProbe::answers(address, QDeadlineTimer(deadlineMs), cancelled);
        state->done = true;
    });
    if (!vsTest::waitUntil([&state] { return state->done.load(); }, limitMs)) {
        unstick();
        if (!vsTest::waitUntil([&state] { return state->done.load(); }, 2000))
            thread.detach();
        else
            thread.join();
        return QStringLiteral("still probing after %1 ms, its deadline %2 ms").arg(limitMs).arg(deadlineMs);
    }
    thread.join();
    return state->answer ? QStringLiteral("answers") : QStringLiteral("no answer");
}

ProgramRun runProgram(const QString &busAddress, const QString &configFolder)
{
    // Every request of the program is bounded to a second: one that waits for
    // the bus's own 25 s default fails here, in seconds, as any hang does.
    return vsTest::runToFirstPaint({QStringLiteral("XDG_CONFIG_HOME=") + configFolder,
                                    QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS=") + busAddress},
                                   QString(), 15000);
}

// A row of the keypad as text: button texts, "~" for a stretch, a "*" after
// any item with a stretch factor.
QString describe(QBoxLayout *row)
{
    QStringList parts;
    for (int i = 0; i < row->count(); ++i) {
        QLayoutItem *item = row->itemAt(i);
        QString part = QStringLiteral("?");
        if (auto *button = qobject_cast<QToolButton *>(item->widget()))
            part = button->text();
        else if (item->spacerItem())
            part = QStringLiteral("~");
        if (row->stretch(i) != 0)
            part += QLatin1Char('*');
        parts << part;
    }
    return parts.join(QLatin1Char(' '));
}

QBoxLayout *keypadRow(vsMainWindow &window, int row)
{
    auto *keypad = window.findChild<QWidget *>(QStringLiteral("keypadWidget"));
    return qobject_cast<QBoxLayout *>(keypad->layout()->itemAt(row)->layout());
}

const QString allInOneRow = QStringLiteral("1 2 3 4 5 6 7 8 9 0 <");
const QString portraitRow1 = QStringLiteral("1 2 3 4 5 6");
const QString portraitRow2 = QStringLiteral("~ 7 8 9 0 < ~");

} // namespace

using vsTest::action;
using vsTest::keypadButton;
using vsTest::keypadShown;

class tst_Device : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void accelerometer_onForTheWindowsLifetime();
    void accelerometer_alsoWithoutSetup();

    void orientation_reportLocksTheWindow_data();
    void orientation_reportLocksTheWindow();
    void orientation_noLockBeforeTheFirstReport();

    void keypad_rowsFollowTheShape_data();
    void keypad_rowsFollowTheShape();
    void keypad_repeatedResizesKeepOneCopyOfEach();

    void slide_whichReportsReachTheWindow_data();
    void slide_whichReportsReachTheWindow();
    void slide_stateFile_data();
    void slide_stateFile();

    void visibility_followsMenuAndSlide_data();
    void visibility_followsMenuAndSlide();

    void program_talksToTheService();
    void program_withoutAnyBus();
    void program_onABusWithoutTheService();
    void program_silentServiceDoesNotHoldItUp();
    void program_hungBusDoesNotHoldItUp();
    void busProbe_answersOnlyForALiveBus();

    void sensorProxy_readingToShape_data();
    void sensorProxy_readingToShape();
    void sensorProxy_turnsTheWindow();

private:
    std::unique_ptr<vsMainWindow> makeWindow(const QByteArray &status, const QByteArray &slide);
    void setSlide(const QByteArray &content);
    void fence();

    PrivateBus bus;
    Device device;
    bool deviceNeverListened = false;
    FenceProbe probe;
    QTemporaryDir dataFolder;
    QTemporaryDir slideFolder;
    QString slidePath;
};

void tst_Device::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        QSKIP("dbus-daemon is not installed (Debian package dbus)");
    vsTest::isolateSettings();
    QVERIFY(dataFolder.isValid());
    QVERIFY(slideFolder.isValid());
    vsTest::writeCatalogue(dataFolder.path(), QStringLiteral("starter.vdb"), vsTest::starterDocument());
    slidePath = slideFolder.filePath(QStringLiteral("state"));
    vsPlatform::setSlideStateFilePath(slidePath);

    QString error;
    QVERIFY2(bus.start(&error), qPrintable(error));
    // A window listens on the bus once the probe says it answers; if it never
    // does, every window test here would wait for that in turn.
    QVERIFY2(probeWithin(bus.address.toUtf8(), 2000, 4000, {}, [] {}) == QLatin1String("answers"),
             "the bus probe finds no answer on the private bus");
    // The connection is made once per process: this must come before any window.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address.toUtf8());
    QDBusConnection system = QDBusConnection::systemBus();
    QVERIFY(system.isConnected());
    QVERIFY(system.connect(QString(), QStringLiteral("/org/vestrion/test"),
                           QStringLiteral("org.vestrion.Test"), QStringLiteral("Fence"), &probe,
                           SLOT(onFence())));
    QVERIFY(device.start(bus.address));
}

void tst_Device::init()
{
    QSettings().remove(QStringLiteral("keyboard-status"));
    QFile::remove(slidePath);
}

void tst_Device::cleanupTestCase()
{
    device.stop();
    bus.stop();
    vsPlatform::setSlideStateFilePath(QString());
}

std::unique_ptr<vsMainWindow> tst_Device::makeWindow(const QByteArray &status, const QByteArray &slide)
{
    if (!status.isNull())
        QSettings().setValue(QStringLiteral("keyboard-status"), QString::fromLatin1(status));
    if (!slide.isNull())
        setSlide(slide);
    auto window = std::make_unique<vsMainWindow>();
    window->setDataFolder(dataFolder.path());
    if (!window->setup())
        return nullptr;
    // The bus is asked on a thread of its own; reports sent before it listens
    // are lost. One window that never listened is enough to fail the rest.
    const vsDevice *device = window->findChild<vsDevice *>();
    if (!device || deviceNeverListened ||
        !vsTest::waitUntil([device] { return device->isListening(); }, 10000)) {
        deviceNeverListened = true;
        qWarning("the window's device did not listen on the bus within 10 s");
        return nullptr;
    }
    return window;
}

void tst_Device::setSlide(const QByteArray &content)
{
    QFile file(slidePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        qFatal("cannot write the slide state file");
}

void tst_Device::fence()
{
    const int before = probe.count;
    QVERIFY(device.send("fence"));
    VS_TRY_COMPARE(probe.count, before + 1, 5000);
}

void tst_Device::accelerometer_onForTheWindowsLifetime()
{
    const int enabled = device.calls("req_accelerometer_enable");
    const int disabled = device.calls("req_accelerometer_disable");
    {
        auto window = makeWindow("on", "closed\n");
        QVERIFY(window);
        // The call blocks until answered, so it has been counted by now.
        VS_TRY_COMPARE(device.calls("req_accelerometer_enable"), enabled + 1, 5000);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        fence();
        QCOMPARE(device.calls("req_accelerometer_disable"), disabled);
    }
    VS_TRY_COMPARE(device.calls("req_accelerometer_disable"), disabled + 1, 5000);
    fence();
    QCOMPARE(device.calls("req_accelerometer_enable"), enabled + 1);
    QCOMPARE(device.calls("req_accelerometer_disable"), disabled + 1);
}

void tst_Device::accelerometer_alsoWithoutSetup()
{
    const int enabled = device.calls("req_accelerometer_enable");
    const int disabled = device.calls("req_accelerometer_disable");
    {
        vsMainWindow window;
    }
    VS_TRY_COMPARE(device.calls("req_accelerometer_disable"), disabled + 1, 5000);
    QCOMPARE(device.calls("req_accelerometer_enable"), enabled + 1);
}

void tst_Device::orientation_reportLocksTheWindow_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("portrait");
    QTest::newRow("portrait") << QByteArray("orientation portrait") << true;
    QTest::newRow("portrait (inverted)") << QByteArray("orientation portrait (inverted)") << true;
    QTest::newRow("one-argument form") << QByteArray("orientation-short portrait") << true;
    QTest::newRow("landscape") << QByteArray("orientation landscape") << false;
    QTest::newRow("landscape (inverted)") << QByteArray("orientation landscape (inverted)") << false;
    QTest::newRow("empty") << QByteArray("orientation ") << false;
    QTest::newRow("other case") << QByteArray("orientation Portrait") << false;
    QTest::newRow("trailing space") << QByteArray("orientation portrait ") << false;
    QTest::newRow("unknown") << QByteArray("orientation sideways") << false;
}

void tst_Device::orientation_reportLocksTheWindow()
{
    QFETCH(QByteArray, command);
    QFETCH(bool, portrait);

    auto window = makeWindow("on", QByteArray());
    QVERIFY(window);
    // Start in the other shape, so that every report turns the window.
    window->resize(portrait ? QSize(800, 480) : QSize(480, 800));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    QVERIFY(device.send(command));
    fence();
    QCOMPARE(vsPlatform::testWindowAttribute(window.get(), vsPlatform::PortraitOrientation), portrait);
    QCOMPARE(vsPlatform::testWindowAttribute(window.get(), vsPlatform::LandscapeOrientation), !portrait);

    // The lock turns the window, and the resize lays the keypad out anew.
    VS_TRY_COMPARE(window->width() < window->height(), portrait, 5000);
    VS_TRY_COMPARE(describe(keypadRow(*window, 0)), portrait ? portraitRow1 : allInOneRow, 5000);
    QCOMPARE(describe(keypadRow(*window, 1)), portrait ? portraitRow2 : QString());
    if (portrait) {
        // The second row's buttons sit centred between the two stretches.
        QToolButton *seven = keypadButton(*window, QStringLiteral("7"));
        QToolButton *remove = keypadButton(*window, QStringLiteral("<"));
        VS_TRY_VERIFY(seven->isVisible() && seven->y() > 0, 5000);
        const int left = seven->geometry().left();
        const int right = seven->parentWidget()->width() - remove->geometry().right() - 1;
        QVERIFY2(qAbs(left - right) <= 1, qPrintable(QStringLiteral("%1 vs %2").arg(left).arg(right)));
        QVERIFY(left > 1);
    }

    // The next report of the other kind swaps the lock; exactly one stays set.
    QVERIFY(device.send(portrait ? "orientation landscape" : "orientation portrait (inverted)"));
    fence();
    QCOMPARE(vsPlatform::testWindowAttribute(window.get(), vsPlatform::PortraitOrientation), !portrait);
    QCOMPARE(vsPlatform::testWindowAttribute(window.get(), vsPlatform::LandscapeOrientation), portrait);
    VS_TRY_COMPARE(describe(keypadRow(*window, 0)), portrait ? allInOneRow : portraitRow1, 5000);
}

void tst_Device::orientation_noLockBeforeTheFirstReport()
{
    auto window = makeWindow("on", QByteArray());
    QVERIFY(window);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    fence();
    QVERIFY(!vsPlatform::testWindowAttribute(window.get(), vsPlatform::PortraitOrientation));
    QVERIFY(!vsPlatform::testWindowAttribute(window.get(), vsPlatform::LandscapeOrientation));
}

void tst_Device::keypad_rowsFollowTheShape_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("row1");
    QTest::addColumn<QString>("row2");
    QTest::newRow("portrait") << QSize(480, 800) << portraitRow1 << portraitRow2;
    QTest::newRow("portrait by one pixel") << QSize(599, 600) << portraitRow1 << portraitRow2;
    QTest::newRow("square") << QSize(600, 600) << allInOneRow << QString();
    QTest::newRow("landscape") << QSize(800, 480) << allInOneRow << QString();
}

void tst_Device::keypad_rowsFollowTheShape()
{
    QFETCH(QSize, size);
    QFETCH(QString, row1);
    QFETCH(QString, row2);

    auto window = makeWindow("on", QByteArray());
    QVERIFY(window);
    // The arrangement follows the size the event reports, not the window's.
    QResizeEvent event(size, size.transposed());
    QCoreApplication::sendEvent(window.get(), &event);
    QCOMPARE(describe(keypadRow(*window, 0)), row1);
    QCOMPARE(describe(keypadRow(*window, 1)), row2);

    const bool twoRows = !row2.isEmpty();
    const QStringList texts = allInOneRow.split(QLatin1Char(' '));
    for (int i = 0; i < texts.size(); ++i) {
        QToolButton *button = keypadButton(*window, texts.at(i));
        QVERIFY(button);
        QCOMPARE(button->parentWidget(), window->findChild<QWidget *>(QStringLiteral("keypadWidget")));
        QCOMPARE(button->minimumWidth(), twoRows && i >= 6 ? 78 : 70);
    }
}

void tst_Device::keypad_repeatedResizesKeepOneCopyOfEach()
{
    auto window = makeWindow("on", QByteArray());
    QVERIFY(window);
    const QList<QSize> sizes{{480, 800}, {480, 800}, {470, 800}, {800, 480},
                             {800, 480}, {600, 600}, {480, 800}, {479, 800}};
    QSize old = window->size();
    for (const QSize &size : sizes) {
        QResizeEvent event(size, old);
        QCoreApplication::sendEvent(window.get(), &event);
        old = size;
        const bool portrait = size.width() < size.height();
        QCOMPARE(describe(keypadRow(*window, 0)), portrait ? portraitRow1 : allInOneRow);
        QCOMPARE(describe(keypadRow(*window, 1)), portrait ? portraitRow2 : QString());
    }
    // Giving up places never frees a button.
    QCOMPARE(window->findChildren<QToolButton *>(QRegularExpression(QStringLiteral("^keypadButton_"))).size(),
             11);
}

void tst_Device::slide_whichReportsReachTheWindow_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("reaches");
    // What the hardware abstraction service sends when the slide moves.
    QTest::newRow("Condition(ButtonPressed, cover)") << QByteArray("slide-condition") << true;
    QTest::newRow("PropertyModified(int, array)") << QByteArray("slide-property") << true;
    // Other forms, for the matching rule itself.
    QTest::newRow("PropertyModified(string)") << QByteArray("slide-property-string") << true;
    QTest::newRow("signal without arguments") << QByteArray("slide-bare") << false;
    QTest::newRow("another device's Condition") << QByteArray("slide-elsewhere") << false;
}

void tst_Device::slide_whichReportsReachTheWindow()
{
    QFETCH(QByteArray, command);
    QFETCH(bool, reaches);

    auto window = makeWindow("on", "closed\n");
    QVERIFY(window);
    QVERIFY(keypadShown(*window));

    setSlide("open\n");
    QVERIFY(device.send(command));
    fence();
    QCOMPARE(keypadShown(*window), !reaches);
}

void tst_Device::slide_stateFile_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("open");
    QTest::newRow("missing") << false << QByteArray() << false;
    QTest::newRow("empty") << true << QByteArray() << false;
    QTest::newRow("open") << true << QByteArray("open\n") << true;
    QTest::newRow("open without newline") << true << QByteArray("open") << true;
    QTest::newRow("closed") << true << QByteArray("closed\n") << false;
    QTest::newRow("OPEN") << true << QByteArray("OPEN\n") << false;
    QTest::newRow("open inside the line") << true << QByteArray("slide is opened\n") << true;
    QTest::newRow("open on the second line") << true << QByteArray("closed\nopen\n") << false;
    QTest::newRow("600 bytes, open at the start")
        << true << QByteArray("open" + QByteArray(596, 'x')) << true;
    QTest::newRow("600 bytes, open past 499") << true << QByteArray(596, 'x') + "open" << false;
    QTest::newRow("open ending at byte 499")
        << true << QByteArray(495, 'x') + "open" + QByteArray(101, 'x') << true;
}

void tst_Device::slide_stateFile()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, content);
    QFETCH(bool, open);

    if (exists)
        setSlide(content);
    auto window = makeWindow("on", QByteArray());
    QVERIFY(window);
    QCOMPARE(keypadShown(*window), !open);
    QVERIFY(action(*window, "keyboardOnAction")->isChecked());

    // A slide report reads the file again: the same answer.
    QVERIFY(device.send("slide-condition"));
    fence();
    QCOMPARE(keypadShown(*window), !open);
}

void tst_Device::visibility_followsMenuAndSlide_data()
{
    // A script of steps, each followed by the keypad it must leave:
    // "on"/"off" choose a menu entry, "open"/"closed" move the slide and
    // report it over the bus; "+" shown, "-" hidden.
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("slide");
    QTest::addColumn<bool>("shownAtStart");
    QTest::addColumn<QString>("script");
    QTest::newRow("on, closed") << QByteArray("on") << QByteArray("closed") << true
                                << "open- closed+ off- on+ on+ off- off-";
    QTest::newRow("on, open at start")
        << QByteArray("on") << QByteArray("open") << false << "open- closed+ open- off- closed-";
    QTest::newRow("off, closed") << QByteArray("off") << QByteArray("closed") << false
                                 << "closed- open- closed- off- on+";
    QTest::newRow("off, open: On while open")
        << QByteArray("off") << QByteArray("open") << false << "on- off- on- closed+ open- off- closed-";
    QTest::newRow("On (wrong case), closed")
        << QByteArray("On") << QByteArray("closed") << false << "on+ open-";
}

void tst_Device::visibility_followsMenuAndSlide()
{
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, slide);
    QFETCH(bool, shownAtStart);
    QFETCH(QString, script);

    auto window = makeWindow(status, slide + '\n');
    QVERIFY(window);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QAction *on = action(*window, "keyboardOnAction");
    QAction *off = action(*window, "keyboardOffAction");
    QCOMPARE(on->isChecked(), status == "on");
    QCOMPARE(off->isChecked(), status != "on");
    QCOMPARE(keypadShown(*window), shownAtStart);

    const QStringList steps = script.split(QLatin1Char(' '));
    for (const QString &step : steps) {
        const QString name = step.chopped(1);
        const bool shown = step.endsWith(QLatin1Char('+'));
        if (name == QLatin1String("on") || name == QLatin1String("off")) {
            (name == QLatin1String("on") ? on : off)->trigger();
            // The exclusive group keeps exactly one entry checked.
            QCOMPARE(on->isChecked(), name == QLatin1String("on"));
            QCOMPARE(off->isChecked(), name == QLatin1String("off"));
        } else {
            setSlide(name.toLatin1() + '\n');
            QVERIFY(device.send("slide-condition"));
            fence();
        }
        QVERIFY2(keypadShown(*window) == shown, qPrintable(QStringLiteral("after %1").arg(step)));
    }
}

void tst_Device::program_talksToTheService()
{
    PrivateBus programBus;
    QString error;
    QVERIFY2(programBus.start(&error), qPrintable(error));
    Device programDevice;
    QVERIFY(programDevice.start(programBus.address));
    QTemporaryDir config;
    QVERIFY(config.isValid());

    const ProgramRun run = runProgram(programBus.address, config.path());
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.startupMs >= 0);
    VS_TRY_COMPARE(programDevice.calls("req_accelerometer_enable"), 1, 5000);
    VS_TRY_COMPARE(programDevice.calls("req_accelerometer_disable"), 1, 5000);
    qInfo("answering service: start-up %.0f ms, exit %.0f ms", run.startupMs, run.exitMs);
}

void tst_Device::program_withoutAnyBus()
{
    QTemporaryDir config;
    QVERIFY(config.isValid());
    const ProgramRun run =
        runProgram(QStringLiteral("unix:path=") + config.filePath(QStringLiteral("no-bus")), config.path());
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.startupMs >= 0);
    qInfo("no system bus: start-up %.0f ms, exit %.0f ms", run.startupMs, run.exitMs);
}

void tst_Device::program_onABusWithoutTheService()
{
    PrivateBus emptyBus;
    QString error;
    QVERIFY2(emptyBus.start(&error), qPrintable(error));
    QTemporaryDir config;
    QVERIFY(config.isValid());
    const ProgramRun run = runProgram(emptyBus.address, config.path());
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.startupMs >= 0);
    qInfo("bus without the service: start-up %.0f ms, exit %.0f ms", run.startupMs, run.exitMs);
}

void tst_Device::program_silentServiceDoesNotHoldItUp()
{
    PrivateBus silentBus;
    QString error;
    QVERIFY2(silentBus.start(&error), qPrintable(error));
    Device silent;
    QVERIFY(silent.start(silentBus.address, {QStringLiteral("--silent")}));
    QTemporaryDir config;
    QVERIFY(config.isValid());

    const ProgramRun run = runProgram(silentBus.address, config.path());
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.startupMs >= 0);
    qInfo("silent service: start-up %.0f ms, exit %.0f ms", run.startupMs, run.exitMs);
    // Both requests reached the service although neither was answered.
    VS_TRY_COMPARE(silent.calls("req_accelerometer_enable"), 1, 5000);
    VS_TRY_COMPARE(silent.calls("req_accelerometer_disable"), 1, 5000);
    // Not a speed target: waiting out the bus's 25 s default at either end
    // would break these bounds; a bounded wait stays far below them.
    QVERIFY2(run.startupMs < 20000, "start-up waited for the silent service");
    QVERIFY2(run.exitMs < 20000, "exit waited for the silent service");
}

void tst_Device::program_hungBusDoesNotHoldItUp()
{
    // Accepts the connection and never answers: the toolkit's connect never returns.
    QTemporaryDir config;
    QVERIFY(config.isValid());
    const QString socket = config.filePath(QStringLiteral("hung-bus"));
    Device hung;
    QVERIFY(hung.start(QString(), {QStringLiteral("--hung-bus"), socket}));

    const ProgramRun run = runProgram(QStringLiteral("unix:path=") + socket, config.path());
    QVERIFY2(run.finished, "the program hung on the bus");
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.startupMs >= 0);
    qInfo("hung bus: start-up %.0f ms, exit %.0f ms", run.startupMs, run.exitMs);
    // The settings were still written on the way out.
    QVERIFY(QFile::exists(config.filePath(QStringLiteral("Morvane/Vestrion.conf"))));
}

void tst_Device::busProbe_answersOnlyForALiveBus()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QByteArray hungSocket = QFile::encodeName(folder.filePath(QStringLiteral("hung")));
    Device hung;
    QVERIFY(hung.start(QString(), {QStringLiteral("--hung-bus"), QFile::decodeName(hungSocket)}));
    const QByteArray live = bus.address.toUtf8();
    const QByteArray none = "unix:path=" + QFile::encodeName(folder.filePath(QStringLiteral("none")));
    const QString answers = QStringLiteral("answers");
    const QString noAnswer = QStringLiteral("no answer");

    // Each answer within 2 s of its deadline, or the test fails there.
    const auto probe = [&hung](const QByteArray &address, int deadlineMs = 2000,
                               const std::function<bool()> &cancelled = std::function<bool()>(),
                               int limitMs = 0) {
        return probeWithin(address, deadlineMs, limitMs > 0 ? limitMs : deadlineMs + 2000, cancelled,
                           [&hung] { hung.stop(); });
    };
    QCOMPARE(probe(live), answers);
    // As libdbus does: past the entries nobody listens on, to the first that connects.
    QCOMPARE(probe(none + ";" + live), answers);
    QCOMPARE(probe(none), noAnswer);
    QCOMPARE(probe(QByteArray()), noAnswer);
    QCOMPARE(probe("tcp:host=localhost,port=1;" + live), noAnswer);
    QCOMPARE(probe("unix:path=" + hungSocket + ";" + live), noAnswer);
    // A path written percent-encoded, as an address may write any byte.
    const QByteArray path = live.mid(live.indexOf("path=") + 5).split(',').first();
    QCOMPARE(probe("unix:path=" + path.toPercentEncoding()), answers);

    // A silent bus costs the deadline at most, or less once no longer wanted.
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(probe("unix:path=" + hungSocket, 300), noAnswer);
    QVERIFY(clock.elapsed() < 2000);
    clock.restart();
    QCOMPARE(probe(
                 "unix:path=" + hungSocket, 60000, [clock] { return clock.elapsed() > 100; }, 2000),
             noAnswer);
    QVERIFY(clock.elapsed() < 2000);
}

void tst_Device::sensorProxy_readingToShape_data()
{
    QTest::addColumn<QVariant>("reading");
    QTest::addColumn<QString>("landscapeNative");
    QTest::addColumn<QString>("portraitNative");
    const QString portrait = QStringLiteral("portrait");
    const QString landscape = QStringLiteral("landscape");
    QTest::newRow("normal") << QVariant(QStringLiteral("normal")) << landscape << portrait;
    QTest::newRow("bottom-up") << QVariant(QStringLiteral("bottom-up")) << landscape << portrait;
    QTest::newRow("left-up") << QVariant(QStringLiteral("left-up")) << portrait << landscape;
    QTest::newRow("right-up") << QVariant(QStringLiteral("right-up")) << portrait << landscape;
    QTest::newRow("wrapped in a variant")
        << QVariant::fromValue(QDBusVariant(QStringLiteral("left-up"))) << portrait << landscape;
    QTest::newRow("undefined") << QVariant(QStringLiteral("undefined")) << QString() << QString();
    QTest::newRow("other case") << QVariant(QStringLiteral("Normal")) << QString() << QString();
    QTest::newRow("a number") << QVariant(1) << QString() << QString();
    QTest::newRow("bytes") << QVariant(QByteArray("normal")) << QString() << QString();
    QTest::newRow("nothing") << QVariant() << QString() << QString();
}

void tst_Device::sensorProxy_readingToShape()
{
    QFETCH(QVariant, reading);
    QFETCH(QString, landscapeNative);
    QFETCH(QString, portraitNative);
    QCOMPARE(vsSensorProxyOrientation::shapeFor(reading, false), landscapeNative);
    QCOMPARE(vsSensorProxyOrientation::shapeFor(reading, true), portraitNative);
}

void tst_Device::sensorProxy_turnsTheWindow()
{
    // Debian's python3 may not be the first on PATH.
    QString python = QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
    if (python.isEmpty())
        python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty() ||
        vsTest::runCommand(python, {QStringLiteral("-c"), QStringLiteral("import dbusmock")}, QByteArray(),
                           10000)
                .exitCode != 0)
        QSKIP("python3-dbusmock is not installed");
    QVERIFY2(QGuiApplication::primaryScreen()->size().width() >=
                 QGuiApplication::primaryScreen()->size().height(),
             "the test expects a landscape-native screen");

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString logPath = folder.filePath(QStringLiteral("sensor-proxy.log"));
    QProcess mock;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus.address);
    mock.setProcessEnvironment(environment);
    mock.setProcessChannelMode(QProcess::ForwardedChannels);
    mock.start(python,
               {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                QStringLiteral("--template"), QStringLiteral("iio-sensors-proxy"), QStringLiteral("-p"),
                QStringLiteral("{\"has_accelerometer\": true}"), QStringLiteral("-l"), logPath});
    const QString sensorProxy = QStringLiteral("net.hadess.SensorProxy");
    VS_TRY_VERIFY(QDBusConnection::systemBus().interface()->isServiceRegistered(sensorProxy), 10000);
    const auto log = [&logPath] {
        QFile file(logPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const auto setReading = [&sensorProxy](const QString &reading) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            sensorProxy, QStringLiteral("/net/hadess/SensorProxy"),
            QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("SetInternalProperty"));
        message << sensorProxy << QStringLiteral("AccelerometerOrientation")
                << QVariant::fromValue(QDBusVariant(reading));
        return QDBusConnection::systemBus().call(message, QDBus::Block, 5000).type() ==
               QDBusMessage::ReplyMessage;
    };

    // Only where the mode-control service is not on the bus.
    QVERIFY(device.send("mce-off"));
    const int enabled = device.calls("req_accelerometer_enable");
    {
        auto window = makeWindow("on", QByteArray());
        QVERIFY(window);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(log().contains("ClaimAccelerometer"));
        QVERIFY(!log().contains("ReleaseAccelerometer"));
        QSignalSpy reports(window->findChild<vsDevice *>(), &vsDevice::orientationChanged);

        // Reports from one sender arrive in order: the report after
        // "undefined" shows that "undefined" gave none.
        const QList<QPair<QString, bool>> steps{
            {QStringLiteral("left-up"), true},    {QStringLiteral("normal"), false},
            {QStringLiteral("right-up"), true},   {QStringLiteral("bottom-up"), false},
            {QStringLiteral("undefined"), false}, {QStringLiteral("left-up"), true}};
        int expected = 0;
        for (const auto &step : steps) {
            QVERIFY(setReading(step.first));
            if (step.first == QLatin1String("undefined"))
                continue;
            ++expected;
            VS_TRY_COMPARE(reports.count(), expected, 5000);
            const bool portrait = step.second;
            QCOMPARE(reports.last().first().toString(),
                     portrait ? QStringLiteral("portrait") : QStringLiteral("landscape"));
            QCOMPARE(vsPlatform::testWindowAttribute(window.get(), vsPlatform::PortraitOrientation),
                     portrait);
            QCOMPARE(vsPlatform::testWindowAttribute(window.get(), vsPlatform::LandscapeOrientation),
                     !portrait);
            VS_TRY_COMPARE(window->width() < window->height(), portrait, 5000);
        }
    }
    VS_TRY_VERIFY(log().contains("ReleaseAccelerometer"), 5000);
    QCOMPARE(device.calls("req_accelerometer_enable"), enabled);
    QVERIFY(device.send("mce-on"));

    // With both on the bus, the mode-control service is the one asked.
    const int claims = int(log().count("ClaimAccelerometer"));
    {
        auto window = makeWindow("on", QByteArray());
        QVERIFY(window);
        VS_TRY_COMPARE(device.calls("req_accelerometer_enable"), enabled + 1, 5000);
    }
    VS_TRY_COMPARE(device.calls("req_accelerometer_disable"), device.calls("req_accelerometer_enable"), 5000);
    QCOMPARE(int(log().count("ClaimAccelerometer")), claims);
    mock.terminate();
    QVERIFY(mock.waitForFinished(5000));
}

QTEST_MAIN(tst_Device)
#include "tst_device.moc"
