#include "platform/vsdevice.h"

#include "platform/vsbusprobe.h"
#include "platform/vsorientation.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QFile>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

namespace {
const QString slidePath = QStringLiteral("/org/freedesktop/Hal/devices/platform_slide");
const QString halDeviceInterface = QStringLiteral("org.freedesktop.Hal.Device");

// How long a closing device waits for a connect still under way. A bus that
// answers at all answers well within it.
constexpr int connectGraceMs = 500;
// A cancelled probe looks at least every 50 ms whether it is still wanted.
constexpr int probeStopMs = 200;
// How long the bus has to answer before the toolkit may connect to it. A
// system bus answers within milliseconds; one slower than this is taken as none.
constexpr int probeMs = 2000;
// Setting up and stopping take a few bounded requests at most.
constexpr int finishMs = 4 * vsDeviceRequestTimeoutMs;

std::atomic<bool> abandoned{false};

QStringList namesOnBus(QDBusConnection &bus)
{
    const QDBusMessage reply =
        bus.call(QDBusMessage::createMethodCall(
                     QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                     QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListNames")),
                 QDBus::Block, vsDeviceRequestTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst().toStringList();
}
} // namespace

namespace vsDeviceDetail {

struct Shared
{
    enum State
    {
        Connecting,
        Connected, // setting up
        Listening,
        NoBus
    };
    QMutex mutex;
    QWaitCondition settled;
    State state = Connecting;
    bool closing = false; // the device gave up waiting: stop probing
    bool closed = false;  // the device is gone; touch nothing of it
};

// Turns every slide report, whatever it carries, into one string signal.
class SlideRelay : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

public slots:
    void report(QString status) { emit reported(status); }
    void reportMessage(const QDBusMessage &message) { emit reported(message.member()); }

signals:
    void reported(QString status);
};

// Lives on the bus thread. The objects it is given live on the device's
// thread, so that reports reach them there directly and in order.
class BusWorker : public QObject
{
    Q_OBJECT

public:
    BusWorker(std::shared_ptr<Shared> shared, vsOrientationSource *mce, vsOrientationSource *sensorProxy,
              SlideRelay *slide)
        : shared(std::move(shared)), mce(mce), sensorProxy(sensorProxy), slide(slide)
    {}

public slots:
    void start()
    {
        // The toolkit sets up every bus under one lock: a bus that never
        // answered would block the session bus, and with it the accessibility
        // bridge of the main thread. So it is asked first, with a deadline.
        const bool answers =
            vsBusProbe::answers(vsBusProbe::systemBusAddress(), QDeadlineTimer(probeMs), [this] {
                QMutexLocker lock(&shared->mutex);
                return shared->closing;
            });
        if (!answers) {
            QMutexLocker lock(&shared->mutex);
            shared->state = Shared::NoBus;
            shared->settled.wakeAll();
            return;
        }
        // Answered just now, so this returns; should the bus die in between,
        // nothing else waits for it.
        QDBusConnection bus = QDBusConnection::systemBus();
        {
            QMutexLocker lock(&shared->mutex);
            if (shared->closed)
                return;
            shared->state = bus.isConnected() ? Shared::Connected : Shared::NoBus;
            shared->settled.wakeAll();
        }
        if (!bus.isConnected())
            return;
        // The mode-control service where it runs, else iio-sensor-proxy where
        // that runs; with neither, the request simply goes unanswered.
        const QStringList names = namesOnBus(bus);
        active =
            !names.contains(mce->service()) && names.contains(sensorProxy->service()) ? sensorProxy : mce;
        active->start(bus);
        bus.connect(QString(), slidePath, halDeviceInterface, QString(), slide, SLOT(report(QString)));
        // The service's own report of a moved slide, PropertyModified(int,
        // array of (string, bool, bool)), does not start with a string and so
        // never reaches the subscription above; it is passed on by name.
        bus.connect(QString(), slidePath, halDeviceInterface, QStringLiteral("PropertyModified"),
                    QStringLiteral("ia(sbb)"), slide, SLOT(reportMessage(QDBusMessage)));
        QMutexLocker lock(&shared->mutex);
        shared->state = Shared::Listening;
    }

    void stop()
    {
        if (active)
            active->stop(QDBusConnection::systemBus());
        active = nullptr;
        // Quit from here: a quit from outside could end the loop before this ran.
        QThread::currentThread()->quit();
    }

private:
    std::shared_ptr<Shared> shared;
    vsOrientationSource *mce;
    vsOrientationSource *sensorProxy;
    SlideRelay *slide;
    vsOrientationSource *active = nullptr;
};

} // namespace vsDeviceDetail

using namespace vsDeviceDetail;

vsDevice::vsDevice(QObject *parent) : QObject(parent), shared(std::make_shared<Shared>())
{
    // Not children: if the bus thread has to be left behind, they stay with it.
    mce = new vsMceOrientation;
    sensorProxy = new vsSensorProxyOrientation;
    slide = new SlideRelay;
    connect(mce, &vsOrientationSource::orientationChanged, this, &vsDevice::orientationChanged);
    connect(sensorProxy, &vsOrientationSource::orientationChanged, this, &vsDevice::orientationChanged);
    connect(slide, &SlideRelay::reported, this, &vsDevice::keyboardStatusChanged);

    thread = new QThread;
    thread->setObjectName(QStringLiteral("vestrion-device-bus"));
    worker = new BusWorker(shared, mce, sensorProxy, slide);
    worker->moveToThread(thread);
    thread->start();
    QMetaObject::invokeMethod(worker, "start", Qt::QueuedConnection);
}

vsDevice::~vsDevice()
{
    {
        QMutexLocker lock(&shared->mutex);
        QDeadlineTimer grace(connectGraceMs);
        while (shared->state == Shared::Connecting && !grace.hasExpired())
            shared->settled.wait(&shared->mutex, grace);
        if (shared->state == Shared::Connecting) {
            // A probe still waiting for the bus stops within moments.
            shared->closing = true;
            QDeadlineTimer stopping(probeStopMs);
            while (shared->state == Shared::Connecting && !stopping.hasExpired())
                shared->settled.wait(&shared->mutex, stopping);
        }
        if (shared->state == Shared::Connecting) {
            // Stuck in the connect for good, or nearly so: leave it and
            // everything it may touch; it finds the device closed if it ever returns.
            shared->closed = true;
            abandoned = true;
            return;
        }
    }
    // Runs after the set-up still queued before it, so the request that was
    // made is also ended.
    QMetaObject::invokeMethod(worker, "stop", Qt::QueuedConnection);
    if (!thread->wait(finishMs)) {
        // Only bounded requests are left; still, exit must not wait on them.
        abandoned = true;
        return;
    }
    delete worker;
    delete thread;
    delete mce;
    delete sensorProxy;
    delete slide;
}

bool vsDevice::isSlideOpen()
{
    QFile file(vsPlatform::slideStateFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    char line[500] = {};
    file.readLine(line, sizeof(line));
    file.close();
    return QString::fromLatin1(line).contains(QLatin1String("open"), Qt::CaseSensitive);
}

bool vsDevice::isListening() const
{
    QMutexLocker lock(&shared->mutex);
    return shared->state == Shared::Listening;
}

bool vsDevice::busThreadAbandoned()
{
    return abandoned;
}

#include "vsdevice.moc"

namespace vsPlatform {

namespace {
QString &slideStateOverride()
{
    static QString path;
    return path;
}
} // namespace

QString slideStateFilePath()
{
    const QString &path = slideStateOverride();
    return path.isEmpty() ? QStringLiteral("/sys/devices/platform/gpio-switch/slide/state") : path;
}

void setSlideStateFilePath(const QString &path)
{
    slideStateOverride() = path;
}

} // namespace vsPlatform
