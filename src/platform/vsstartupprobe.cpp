#include "platform/vsstartupprobe.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace vsPlatform {

namespace {
class StartupProbe : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !done) {
            done = true;
            std::fprintf(stderr, "vestrion-first-paint %lld\n",
                         static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
            std::fflush(stderr);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool done = false;
};
} // namespace

void installStartupProbe(QWidget *window)
{
    if (window && qEnvironmentVariableIsSet("VESTRION_EXIT_AFTER_FIRST_PAINT"))
        window->installEventFilter(new StartupProbe(window));
}

} // namespace vsPlatform
