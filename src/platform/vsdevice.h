#ifndef VESTRION_PLATFORM_VSDEVICE_H
#define VESTRION_PLATFORM_VSDEVICE_H

#include <QObject>
#include <QString>

#include <memory>

class QThread;
class vsOrientationSource;

namespace vsDeviceDetail {
struct Shared;
class BusWorker;
class SlideRelay;
} // namespace vsDeviceDetail

// The device's services on the system bus: the orientation reports, from
// whichever service gives them, and the keyboard slide's reports. Nothing here
// holds up its caller: the bus is opened and asked on a thread of its own, only
// once it has answered a probe of its own (a bus that accepts and never answers
// blocks the toolkit's connect, and every other bus of the process, for good),
// and reports arrive as signals once the bus answers, or never.
class vsDevice : public QObject
{
    Q_OBJECT

public:
    explicit vsDevice(QObject *parent = nullptr);
    // Ends the orientation request if the bus came up; waits only for bounded
    // requests, and leaves a connect that never returns behind.
    ~vsDevice() override;

    // True once the bus has answered and the reports are subscribed to.
    bool isListening() const;

    // Whether the hardware keyboard is slid out, from the kernel's state file.
    static bool isSlideOpen();

    // True once a device had to leave its bus thread stuck in the connect.
    // The toolkit's bus connection then never ends, and waiting for it at
    // process exit would hang: the program leaves with a quick exit instead.
    static bool busThreadAbandoned();

signals:
    // The mode-control service's words: "portrait", "landscape", ...
    void orientationChanged(QString orientation);
    // Some report of the slide; the state file says which way it went.
    void keyboardStatusChanged(QString status);

private:
    std::shared_ptr<vsDeviceDetail::Shared> shared;
    QThread *thread = nullptr;
    vsDeviceDetail::BusWorker *worker = nullptr;
    vsOrientationSource *mce = nullptr;
    vsOrientationSource *sensorProxy = nullptr;
    vsDeviceDetail::SlideRelay *slide = nullptr;
};

// The kernel file that tells whether the hardware keyboard is slid out.
namespace vsPlatform {
QString slideStateFilePath();
// Tests point it at a file of their own; an empty path restores the device's.
void setSlideStateFilePath(const QString &path);
} // namespace vsPlatform

#endif
