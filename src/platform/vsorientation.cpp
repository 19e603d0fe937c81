#include "platform/vsorientation.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QScreen>

namespace {
const QString sensorProxyPath = QStringLiteral("/net/hadess/SensorProxy");
const QString sensorProxyInterface = QStringLiteral("net.hadess.SensorProxy");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString orientationProperty = QStringLiteral("AccelerometerOrientation");

QDBusMessage request(QDBusConnection &bus, const QString &service, const QString &path,
                     const QString &interface, const QString &member, const QVariantList &arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, member);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, vsDeviceRequestTimeoutMs);
}

void callMce(QDBusConnection &bus, const QString &member)
{
    // Reply dropped: a missing service simply leaves orientation unlocked.
    request(bus, QStringLiteral("com.nokia.mce"), QStringLiteral("/com/nokia/mce/request"),
            QStringLiteral("com.nokia.mce.request"), member);
}

bool screenIsPortraitNative()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return false;
    const Qt::ScreenOrientation native = screen->nativeOrientation();
    if (native != Qt::PrimaryOrientation)
        return native == Qt::PortraitOrientation || native == Qt::InvertedPortraitOrientation;
    // Not reported: the screen's present shape stands in for its natural one.
    return screen->size().height() > screen->size().width();
}
} // namespace

vsMceOrientation::vsMceOrientation(QObject *parent)
    : vsOrientationSource(QStringLiteral("com.nokia.mce"), parent)
{}

void vsMceOrientation::start(QDBusConnection bus)
{
    callMce(bus, QStringLiteral("req_accelerometer_enable"));
    bus.connect(QString(), QStringLiteral("/com/nokia/mce/signal"), QStringLiteral("com.nokia.mce.signal"),
                QStringLiteral("sig_device_orientation_ind"), this, SLOT(report(QString)));
}

void vsMceOrientation::stop(QDBusConnection bus)
{
    callMce(bus, QStringLiteral("req_accelerometer_disable"));
}

vsSensorProxyOrientation::vsSensorProxyOrientation(QObject *parent)
    : vsOrientationSource(sensorProxyInterface, parent)
{}

void vsSensorProxyOrientation::start(QDBusConnection bus)
{
    // Changes go only to clients that have claimed, so subscribe first and
    // then read the value the claim began with.
    bus.connect(QString(), sensorProxyPath, propertiesInterface, QStringLiteral("PropertiesChanged"), this,
                SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
    request(bus, sensorProxyInterface, sensorProxyPath, sensorProxyInterface,
            QStringLiteral("ClaimAccelerometer"));
    const QDBusMessage reply = request(bus, sensorProxyInterface, sensorProxyPath, propertiesInterface,
                                       QStringLiteral("Get"), {sensorProxyInterface, orientationProperty});
    if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1) {
        const QVariant value = reply.arguments().constFirst().value<QDBusVariant>().variant();
        // The screen is the GUI thread's to ask.
        QMetaObject::invokeMethod(this, "apply", Qt::QueuedConnection, Q_ARG(QVariant, value));
    }
}

void vsSensorProxyOrientation::stop(QDBusConnection bus)
{
    request(bus, sensorProxyInterface, sensorProxyPath, sensorProxyInterface,
            QStringLiteral("ReleaseAccelerometer"));
}

QString vsSensorProxyOrientation::shapeFor(const QVariant &value, bool portraitNative)
{
    const QVariant reading =
        value.userType() == qMetaTypeId<QDBusVariant>() ? value.value<QDBusVariant>().variant() : value;
    if (reading.userType() != QMetaType::QString)
        return QString();
    const QString text = reading.toString();
    bool natural;
    if (text == QLatin1String("normal") || text == QLatin1String("bottom-up"))
        natural = true;
    else if (text == QLatin1String("left-up") || text == QLatin1String("right-up"))
        natural = false;
    else
        return QString();
    return natural == portraitNative ? QStringLiteral("portrait") : QStringLiteral("landscape");
}

void vsSensorProxyOrientation::onPropertiesChanged(QString interface, QVariantMap changed, QStringList)
{
    if (interface != sensorProxyInterface)
        return;
    const auto found = changed.constFind(orientationProperty);
    if (found != changed.constEnd())
        apply(found.value());
}

void vsSensorProxyOrientation::apply(QVariant reading)
{
    const QString shape = shapeFor(reading, screenIsPortraitNative());
    if (!shape.isEmpty())
        emit orientationChanged(shape);
}
