#include "platform/vsbusprobe.h"

#include <QList>
#include <QtEndian>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// How often a waiting probe looks whether it is still wanted.
constexpr int cancelCheckMs = 50;
// A Hello reply is a few hundred bytes; anything near this is no bus daemon.
constexpr quint32 largestMessage = 1 << 20;

struct UnixSocket
{
    QByteArray name;
    bool abstract = false;
};

// The Unix socket of one "unix:key=value,..." entry of an address list; false
// for entries of other transports and for entries without a path.
bool parseEntry(const QByteArray &entry, UnixSocket *socket)
{
    const int colon = entry.indexOf(':');
    if (colon < 0 || entry.left(colon) != "unix")
        return false;
    const QList<QByteArray> pairs = entry.mid(colon + 1).split(',');
    for (const QByteArray &pair : pairs) {
        const int equals = pair.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = pair.left(equals);
        if (key == "path" || key == "abstract") {
            socket->name = QByteArray::fromPercentEncoding(pair.mid(equals + 1));
            socket->abstract = key == "abstract";
        }
    }
    return !socket->name.isEmpty();
}

class Connection
{
public:
    Connection(QDeadlineTimer deadline, const std::function<bool()> &cancelled)
        : deadline(deadline), cancelled(cancelled)
    {}
    ~Connection()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    enum Outcome
    {
        Connected,
        Unreachable, // nobody there: the next entry may be tried
        Stuck        // someone there who would hold the toolkit up
    };

    Outcome open(const UnixSocket &socket)
    {
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const size_t room = sizeof(address.sun_path) - (socket.abstract ? 1 : 0);
        if (size_t(socket.name.size()) >= room)
            return Unreachable;
        char *name = address.sun_path + (socket.abstract ? 1 : 0);
        std::memcpy(name, socket.name.constData(), size_t(socket.name.size()));
        const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + (socket.abstract ? 1 : 0) +
                                           size_t(socket.name.size()) + (socket.abstract ? 0 : 1));
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            return Unreachable;
        if (::connect(fd, reinterpret_cast<sockaddr *>(&address), length) == 0)
            return Connected;
        // A full backlog: libdbus's blocking connect would wait there for good.
        if (errno == EAGAIN || errno == EINPROGRESS)
            return Stuck;
        return Unreachable;
    }

    bool send(const QByteArray &bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t sent =
                ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
            if (sent > 0)
                done += sent;
            else if (sent < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            else if (!wait(POLLOUT))
                return false;
        }
        return true;
    }

    // Reads what has come, waiting for more until the deadline; false once
    // nothing more can come.
    bool receive()
    {
        for (;;) {
            char chunk[4096];
            const ssize_t got = ::recv(fd, chunk, sizeof(chunk), 0);
            if (got > 0) {
                input.append(chunk, int(got));
                return true;
            }
            if (got == 0 || (errno != EAGAIN && errno != EINTR))
                return false;
            if (!wait(POLLIN))
                return false;
        }
    }

    QByteArray input;

private:
    bool wait(short events)
    {
        for (;;) {
            if (deadline.hasExpired() || (cancelled && cancelled()))
                return false;
            pollfd waiting = {fd, events, 0};
            const int ready = ::poll(&waiting, 1, int(qMin<qint64>(deadline.remainingTime(), cancelCheckMs)));
            if (ready > 0)
                return true;
            if (ready < 0 && errno != EINTR)
                return false;
        }
    }

    int fd = -1;
    QDeadlineTimer deadline;
    const std::function<bool()> &cancelled;
};

void appendUint32(QByteArray &message, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    message.append(bytes, 4);
}

void pad(QByteArray &message, int alignment)
{
    while (message.size() % alignment != 0)
        message.append('\0');
}

// org.freedesktop.DBus.Hello, the first call of every client, little-endian.
QByteArray helloMessage()
{
    QByteArray message("l\1\0\1", 4); // endianness, method call, no flags, version 1
    appendUint32(message, 0);         // no body
    appendUint32(message, 1);         // serial
    appendUint32(message, 0);         // header fields' length, set below
    const struct
    {
        char code;
        char type;
        const char *value;
    } fields[] = {{1, 'o', "/org/freedesktop/DBus"},
                  {6, 's', "org.freedesktop.DBus"},
                  {2, 's', "org.freedesktop.DBus"},
                  {3, 's', "Hello"}};
    for (const auto &field : fields) {
        pad(message, 8);
        message.append(field.code);
        message.append('\1');
        message.append(field.type);
        message.append('\0');
        pad(message, 4);
        appendUint32(message, quint32(std::strlen(field.value)));
        message.append(field.value);
        message.append('\0');
    }
    qToLittleEndian(quint32(message.size() - 16), message.data() + 12);
    pad(message, 8);
    return message;
}

bool handshake(Connection &connection)
{
    const QByteArray uid = QByteArray::number(qulonglong(::geteuid())).toHex();
    if (!connection.send(QByteArray("\0AUTH EXTERNAL ", 15) + uid + "\r\n"))
        return false;
    while (!connection.input.contains("\r\n")) {
        if (connection.input.size() > 4096 || !connection.receive())
            return false;
    }
    if (!connection.input.startsWith("OK "))
        return false;
    connection.input.clear();
    if (!connection.send("BEGIN\r\n" + helloMessage()))
        return false;

    // The reply to Hello comes first; a signal before it is passed over.
    for (;;) {
        QByteArray &input = connection.input;
        if (input.size() >= 16) {
            const bool little = input.at(0) == 'l';
            if (!little && input.at(0) != 'B')
                return false;
            const auto number = [&](int at) {
                return little ? qFromLittleEndian<quint32>(input.constData() + at)
                              : qFromBigEndian<quint32>(input.constData() + at);
            };
            const quint32 bodyLength = number(4);
            const quint32 fieldsLength = number(12);
            if (bodyLength > largestMessage || fieldsLength > largestMessage)
                return false;
            const qsizetype size = ((16 + qsizetype(fieldsLength) + 7) & ~qsizetype(7)) + bodyLength;
            if (input.size() >= size) {
                const char type = input.at(1);
                if (type == 2) // method return
                    return true;
                if (type == 3) // error
                    return false;
                input.remove(0, int(size));
                continue;
            }
        }
        if (!connection.receive())
            return false;
    }
}

} // namespace

namespace vsBusProbe {

QByteArray systemBusAddress()
{
    const QByteArray address = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    return address.isEmpty() ? QByteArrayLiteral("unix:path=/run/dbus/system_bus_socket") : address;
}

bool answers(const QByteArray &address, QDeadlineTimer deadline, const std::function<bool()> &cancelled)
{
    // libdbus takes the first entry it can connect to, so the probe does too.
    const QList<QByteArray> entries = address.split(';');
    for (const QByteArray &entry : entries) {
        if (entry.trimmed().isEmpty())
            continue;
        UnixSocket socket;
        if (!parseEntry(entry, &socket))
            return false; // a transport this cannot vouch for
        Connection connection(deadline, cancelled);
        switch (connection.open(socket)) {
        case Connection::Unreachable:
            continue;
        case Connection::Stuck:
            return false;
        case Connection::Connected:
            return handshake(connection);
        }
    }
    return false;
}

} // namespace vsBusProbe
