#include "benchprocess.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vsBench {

namespace {
double epochMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}

// Closes the descriptor when it goes out of scope.
struct Descriptor
{
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};
} // namespace

FirstPaint startToFirstPaint(const QString &program, const QStringList &environment, int timeoutMs)
{
    FirstPaint result;

    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    variables.insert(QStringLiteral("VESTRION_EXIT_AFTER_FIRST_PAINT"), QStringLiteral("1"));
    for (const QString &assignment : environment) {
        const int equals = assignment.indexOf(QLatin1Char('='));
        if (equals > 0)
            variables.insert(assignment.left(equals), assignment.mid(equals + 1));
    }
    std::vector<QByteArray> envText;
    for (const QString &assignment : variables.toStringList())
        envText.push_back(assignment.toLocal8Bit());
    std::vector<char *> envp;
    for (QByteArray &text : envText)
        envp.push_back(text.data());
    envp.push_back(nullptr);

    // The child's peak RSS cannot come from our own wait4: a child that posix_spawn
    // starts inherits the high-water mark of this process's memory at exec. A
    // small forking parent in between, GNU time, reports the program's own.
    QByteArray path = QFile::encodeName(program);
    QByteArray launcher = QByteArrayLiteral("/usr/bin/time");
    QByteArray format = QByteArrayLiteral("-fvestrion-peak-rss %M");
    char *argv[] = {launcher.data(), format.data(), path.data(), nullptr};
    if (::access(launcher.constData(), X_OK) != 0) {
        result.error = QStringLiteral("GNU time (/usr/bin/time) is missing");
        return result;
    }

    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        result.error = QStringLiteral("pipe: %1").arg(qt_error_string(errno));
        return result;
    }
    Descriptor readEnd{ends[0]};
    Descriptor writeEnd{ends[1]};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.fd, STDERR_FILENO);
    // A group of its own, so that a hung program goes down together with its launcher.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);

    pid_t pid = -1;
    const double started = epochMilliseconds();
    const int spawnError = posix_spawn(&pid, launcher.constData(), &actions, &attributes, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawnError != 0) {
        result.error = QStringLiteral("cannot start %1: %2").arg(program, qt_error_string(spawnError));
        return result;
    }
    ::close(writeEnd.fd);
    writeEnd.fd = -1;

    // Read standard error until the child closes it, within the time allowed.
    QByteArray errors;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool timedOut = false;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd watch{readEnd.fd, POLLIN, 0};
        const int ready = ::poll(&watch, 1, int(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        char buffer[4096];
        const ssize_t got = ::read(readEnd.fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        errors.append(buffer, int(got));
    }
    if (timedOut)
        ::kill(-pid, SIGKILL);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }

    if (timedOut) {
        result.error = QStringLiteral("%1 did not end within %2 ms").arg(program).arg(timeoutMs);
        return result;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        result.error = QStringLiteral("%1 ended with status %2: %3")
                           .arg(program)
                           .arg(status)
                           .arg(QString::fromLocal8Bit(errors.right(300)));
        return result;
    }
    static const QRegularExpression paintMark(QStringLiteral("(?:^|\\n)vestrion-first-paint (\\d+)\\n"));
    static const QRegularExpression rssMark(QStringLiteral("(?:^|\\n)vestrion-peak-rss (\\d+)\\n"));
    const QString text = QString::fromLocal8Bit(errors);
    const QRegularExpressionMatch paint = paintMark.match(text);
    const QRegularExpressionMatch rss = rssMark.match(text);
    if (!paint.hasMatch() || !rss.hasMatch()) {
        result.error = QStringLiteral("%1 printed no first-paint or peak-RSS mark").arg(program);
        return result;
    }
    result.milliseconds = paint.captured(1).toDouble() - started;
    result.peakRssBytes = rss.captured(1).toLongLong() * 1024;
    return result;
}

} // namespace vsBench
