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
//   vestrion-device-helper --slow-bus PATH TARGET DELAY_MS
//       Listens on the Unix socket PATH as a slow bus daemon: each connection
//       is passed on to the bus socket TARGET, and every answer reaches the
//       client DELAY_MS late. Prints "ready", then "connection N" as the Nth
//       client connects; ends when standard input closes.
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

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <list>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

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

sockaddr_un socketAddress(const char *path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path, sizeof(address.sun_path) - 1);
    return address;
}

int listenOn(const char *path)
{
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un address = socketAddress(path);
    if (listener < 0 ||
        ::bind(listener, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) != 0 ||
        ::listen(listener, 16) != 0) {
        std::perror("vestrion-device-helper: listen");
        return -1;
    }
    return listener;
}

bool writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::send(fd, data, size, MSG_NOSIGNAL);
        if (written <= 0)
            return false;
        data += written;
        size -= size_t(written);
    }
    return true;
}

int hungBus(const char *path)
{
    const int listener = listenOn(path);
    if (listener < 0)
        return 2;
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

int slowBus(const char *path, const char *target, int delayMs)
{
    const int listener = listenOn(path);
    if (listener < 0)
        return 2;
    say("ready");
    struct Pair
    {
        int client;
        int daemon;
        std::deque<std::pair<std::chrono::steady_clock::time_point, QByteArray>> answers;
        bool daemonDone = false;
    };
    std::list<Pair> pairs;
    unsigned connections = 0;
    for (;;) {
        std::vector<pollfd> waits = {{listener, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        int timeout = -1;
        const auto now = std::chrono::steady_clock::now();
        for (const Pair &pair : pairs) {
            waits.push_back({pair.client, POLLIN, 0});
            waits.push_back({pair.daemonDone ? -1 : pair.daemon, POLLIN, 0});
            if (!pair.answers.empty()) {
                const auto due =
                    std::chrono::duration_cast<std::chrono::milliseconds>(pair.answers.front().first - now)
                        .count();
                timeout = timeout < 0 ? int(std::max<qint64>(due, 0))
                                      : std::min(timeout, int(std::max<qint64>(due, 0)));
            }
        }
        if (::poll(waits.data(), waits.size(), timeout) < 0)
            return 2;
        if (waits[1].revents)
            return 0;
        // New connections join after the ones polled this round.
        std::list<Pair> accepted;
        if (waits[0].revents) {
            const int client = ::accept(listener, nullptr, nullptr);
            const int daemon = ::socket(AF_UNIX, SOCK_STREAM, 0);
            const sockaddr_un address = socketAddress(target);
            if (client >= 0 && daemon >= 0 &&
                ::connect(daemon, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0) {
                accepted.push_back({client, daemon, {}});
                say("connection " + QByteArray::number(qulonglong(++connections)));
            } else {
                ::close(client);
                ::close(daemon);
            }
        }
        size_t at = 2;
        for (auto pair = pairs.begin(); pair != pairs.end(); at += 2) {
            char chunk[65536];
            bool done = false;
            if (waits[at].revents) {
                const ssize_t count = ::read(pair->client, chunk, sizeof(chunk));
                done = count <= 0 || !writeAll(pair->daemon, chunk, size_t(count));
            }
            if (!done && waits[at + 1].revents) {
                const ssize_t count = ::read(pair->daemon, chunk, sizeof(chunk));
                if (count > 0)
                    pair->answers.emplace_back(std::chrono::steady_clock::now() +
                                                   std::chrono::milliseconds(delayMs),
                                               QByteArray(chunk, int(count)));
                else
                    pair->daemonDone = true;
            }
            const auto now = std::chrono::steady_clock::now();
            while (!done && !pair->answers.empty() && pair->answers.front().first <= now) {
                const QByteArray &answer = pair->answers.front().second;
                done = !writeAll(pair->client, answer.constData(), size_t(answer.size()));
                pair->answers.pop_front();
            }
            if (done || (pair->daemonDone && pair->answers.empty())) {
                ::close(pair->client);
                ::close(pair->daemon);
                pair = pairs.erase(pair);
            } else {
                ++pair;
            }
        }
        pairs.splice(pairs.end(), accepted);
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
    if (argc >= 5 && std::strcmp(argv[1], "--slow-bus") == 0)
        return slowBus(argv[2], argv[3], std::atoi(argv[4]));

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
