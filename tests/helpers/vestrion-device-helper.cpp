// Plays the handheld's device services on the system bus named by
// DBUS_SYSTEM_BUS_ADDRESS, so the tests can drive the program over a real bus.
//
//   vestrion-device-helper [--silent]
//       Owns "com.nokia.mce", answers the two accelerometer requests (with
//       --silent it takes them but never answers) and reads commands, one per
//       line, from standard input:
//         orientation TEXT        the mode-control service's orientation report:
//                                 (TEXT, "off_stand", "face_up", 0, 0, 0)
//         orientation-short TEXT  the same report with TEXT alone
//         slide-condition         Condition("ButtonPressed", "cover") of the slide
//         slide-property          PropertyModified(1, [("button.state.value", false, false)])
//         slide-property-string   PropertyModified("button.state.value")
//         slide-bare              a slide signal without arguments
//         slide-elsewhere         Condition("ButtonPressed", "cover") from another device
//         fence                   Fence() on "/org/vestrion/test", interface
//                                 "org.vestrion.Test": sent after other signals,
//                                 it arrives after them
//       Prints "ready" once it owns the name, "call MEMBER" for every request
//       (before answering it) and "sent COMMAND" once a signal is on its way.
//       Ends when standard input closes.
//
//       Two more commands take the service off the bus and put it back:
//         mce-off / mce-on
//
//   vestrion-device-helper --hung-bus PATH
//       Listens on the Unix socket PATH as a hung bus daemon does: it accepts
//       every connection and never reads or answers. Prints "ready" once it
//       listens; ends when standard input closes.
//
//   vestrion-device-helper --exec PROGRAM [ARGUMENTS...]
//       Runs PROGRAM in its own place, so that it is killed when the process
//       that started it dies: a crashed test leaves no bus daemon behind.

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QString mceService = QStringLiteral("com.nokia.mce");
const QString slidePath = QStringLiteral("/org/freedesktop/Hal/devices/platform_slide");
const QString halDeviceInterface = QStringLiteral("org.freedesktop.Hal.Device");

void dieWithParent()
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() == 1)
        ::_exit(3);
}

void say(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// One entry of HAL's PropertyModified list: (name, added, removed).
struct PropertyChange
{
    QString name;
    bool added = false;
    bool removed = false;
};

QDBusArgument &operator<<(QDBusArgument &argument, const PropertyChange &change)
{
    argument.beginStructure();
    argument << change.name << change.added << change.removed;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PropertyChange &change)
{
    argument.beginStructure();
    argument >> change.name >> change.added >> change.removed;
    argument.endStructure();
    return argument;
}

int hungBus(const char *path)
{
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path, sizeof(address.sun_path) - 1);
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0 ||
        ::listen(listener, 16) != 0) {
        std::perror("vestrion-device-helper: hung bus");
        return 2;
    }
    say("ready");
    for (;;) {
        pollfd waits[2] = {{listener, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0)
            return 2;
        if (waits[1].revents)
            return 0; // standard input closed (or spoke): done
        if (waits[0].revents)
            ::accept(listener, nullptr, nullptr); // kept open, never read
    }
}

} // namespace

Q_DECLARE_METATYPE(PropertyChange)
Q_DECLARE_METATYPE(QList<PropertyChange>)

// The request object of the mode-control service.
class MceRequest : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.nokia.mce.request")

public:
    explicit MceRequest(bool silent) : silent(silent) {}

public slots:
    void req_accelerometer_enable(const QDBusMessage &message) { take(message); }
    void req_accelerometer_disable(const QDBusMessage &message) { take(message); }

private:
    void take(const QDBusMessage &message)
    {
        say("call " + message.member().toUtf8());
        if (silent) {
            // Keep the call open for good: the caller waits for its own timeout.
            message.setDelayedReply(true);
            pending.append(message);
        }
    }

    bool silent;
    QList<QDBusMessage> pending;
};

class Commands : public QObject
{
    Q_OBJECT

public:
    explicit Commands(QDBusConnection bus) : bus(bus), notifier(STDIN_FILENO, QSocketNotifier::Read)
    {
        connect(&notifier, &QSocketNotifier::activated, this, &Commands::readInput);
    }

private slots:
    void readInput()
    {
        char chunk[4096];
        const ssize_t count = ::read(STDIN_FILENO, chunk, sizeof(chunk));
        if (count <= 0) {
            notifier.setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        buffer.append(chunk, int(count));
        int end;
        while ((end = buffer.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(buffer.left(end));
            buffer.remove(0, end + 1);
            run(line);
        }
    }

private:
    void run(const QString &line)
    {
        const int space = line.indexOf(QLatin1Char(' '));
        const QString command = space < 0 ? line : line.left(space);
        const QString text = space < 0 ? QString() : line.mid(space + 1);
        QDBusMessage signal;
        if (command == QLatin1String("orientation") || command == QLatin1String("orientation-short")) {
            signal = QDBusMessage::createSignal(QStringLiteral("/com/nokia/mce/signal"),
                                                QStringLiteral("com.nokia.mce.signal"),
                                                QStringLiteral("sig_device_orientation_ind"));
            signal << text;
            if (command == QLatin1String("orientation"))
                signal << QStringLiteral("off_stand") << QStringLiteral("face_up") << 0 << 0 << 0;
        } else if (command == QLatin1String("slide-condition")) {
            signal = QDBusMessage::createSignal(slidePath, halDeviceInterface, QStringLiteral("Condition"));
            signal << QStringLiteral("ButtonPressed") << QStringLiteral("cover");
        } else if (command == QLatin1String("slide-property")) {
            signal =
                QDBusMessage::createSignal(slidePath, halDeviceInterface, QStringLiteral("PropertyModified"));
            const QList<PropertyChange> changes{{QStringLiteral("button.state.value"), false, false}};
            signal << 1 << QVariant::fromValue(changes);
        } else if (command == QLatin1String("slide-property-string")) {
            signal =
                QDBusMessage::createSignal(slidePath, halDeviceInterface, QStringLiteral("PropertyModified"));
            signal << QStringLiteral("button.state.value");
        } else if (command == QLatin1String("slide-bare")) {
            signal = QDBusMessage::createSignal(slidePath, halDeviceInterface, QStringLiteral("Changed"));
        } else if (command == QLatin1String("slide-elsewhere")) {
            signal =
                QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Hal/devices/platform_kb_lock"),
                                           halDeviceInterface, QStringLiteral("Condition"));
            signal << QStringLiteral("ButtonPressed") << QStringLiteral("cover");
        } else if (command == QLatin1String("mce-off") || command == QLatin1String("mce-on")) {
            const bool on = command == QLatin1String("mce-on");
            if (!(on ? bus.registerService(mceService) : bus.unregisterService(mceService))) {
                say("failed " + line.toUtf8());
                return;
            }
            say("sent " + line.toUtf8());
            return;
        } else if (command == QLatin1String("fence")) {
            signal = QDBusMessage::createSignal(QStringLiteral("/org/vestrion/test"),
                                                QStringLiteral("org.vestrion.Test"), QStringLiteral("Fence"));
        } else {
            say("unknown " + line.toUtf8());
            return;
        }
        if (!bus.send(signal)) {
            say("failed " + line.toUtf8());
            return;
        }
        say("sent " + line.toUtf8());
    }

    QDBusConnection bus;
    QSocketNotifier notifier;
    QByteArray buffer;
};

int main(int argc, char *argv[])
{
    dieWithParent();
    if (argc >= 3 && std::strcmp(argv[1], "--exec") == 0) {
        ::execvp(argv[2], argv + 2);
        std::perror("vestrion-device-helper: exec");
        return 127;
    }

    if (argc >= 3 && std::strcmp(argv[1], "--hung-bus") == 0)
        return hungBus(argv[2]);

    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<PropertyChange>();
    qDBusRegisterMetaType<QList<PropertyChange>>();
    const bool silent = app.arguments().contains(QStringLiteral("--silent"));

    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        say("error no bus: " + bus.lastError().message().toUtf8());
        return 2;
    }
    MceRequest request(silent);
    if (!bus.registerObject(QStringLiteral("/com/nokia/mce/request"), &request,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(mceService)) {
        say("error cannot serve " + mceService.toUtf8());
        return 2;
    }
    Commands commands(bus);
    say("ready");
    return app.exec();
}

#include "vestrion-device-helper.moc"
