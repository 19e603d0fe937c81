#ifndef VESTRION_PLATFORM_VSORIENTATION_H
#define VESTRION_PLATFORM_VSORIENTATION_H

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

// Every request to a device service waits at most this long. The services
// answer at once when they are well; the request is on the bus before the wait
// begins, so giving up early loses only the reply. The bus's own default
// (25 s) would freeze start-up and exit when a service hangs.
constexpr int vsDeviceRequestTimeoutMs = 1000;

// Where the device's orientation comes from, whichever service speaks. The
// reports are the mode-control service's words ("portrait", "landscape", ...),
// which the main window reads.
class vsOrientationSource : public QObject
{
    Q_OBJECT

public:
    // service: the system bus name of the service.
    explicit vsOrientationSource(const QString &service, QObject *parent = nullptr)
        : QObject(parent), busName(service)
    {}

    QString service() const { return busName; }
    // Both run on the device's bus thread and wait only for bounded requests.
    // start() asks for reports and subscribes to them; stop() ends the request.
    virtual void start(QDBusConnection bus) = 0;
    virtual void stop(QDBusConnection bus) = 0;

signals:
    void orientationChanged(QString orientation);

private:
    QString busName;
};

// The handheld's mode-control service (com.nokia.mce).
class vsMceOrientation : public vsOrientationSource
{
    Q_OBJECT

public:
    explicit vsMceOrientation(QObject *parent = nullptr);
    void start(QDBusConnection bus) override;
    void stop(QDBusConnection bus) override;

private slots:
    void report(QString orientation) { emit orientationChanged(orientation); }
};

// iio-sensor-proxy (net.hadess.SensorProxy), as Linux phones, tablets and
// convertibles have it.
class vsSensorProxyOrientation : public vsOrientationSource
{
    Q_OBJECT

public:
    explicit vsSensorProxyOrientation(QObject *parent = nullptr);
    void start(QDBusConnection bus) override;
    void stop(QDBusConnection bus) override;

    // The report for one AccelerometerOrientation value on a screen whose
    // natural shape is portrait or not; empty for "undefined", anything
    // unknown, or a value that is not a string.
    static QString shapeFor(const QVariant &reading, bool portraitNative);

private slots:
    void onPropertiesChanged(QString interface, QVariantMap changed, QStringList invalidated);
    void apply(QVariant reading);
};

#endif
