#ifndef VESTRION_PLATFORM_VSINFORMATIONBOX_H
#define VESTRION_PLATFORM_VSINFORMATIONBOX_H

#include <QTimer>
#include <QWidget>

class QVBoxLayout;

// A transient banner over the top of its parent window that shows one content
// widget and hides itself once its timeout has run out since it was last shown.
// It takes the content widget as a child, as the device's banner does, and
// never deletes it while it lives.
class vsInformationBox : public QWidget
{
    Q_OBJECT

public:
    explicit vsInformationBox(QWidget *parent = nullptr);
    ~vsInformationBox() override;

    void setWidget(QWidget *widget);
    QWidget *widget() const { return content; }

    // May be called while shown: as on the device, that restarts the count, so
    // the banner stays the full new timeout from this call on.
    void setTimeout(int milliseconds);
    int timeout() const { return timeoutMs; }

    void setVisible(bool visible) override;

private:
    void placeOverParent();
    void armTimer();

    QVBoxLayout *layout = nullptr;
    QWidget *content = nullptr;
    QTimer hideTimer;
    int timeoutMs = 3000;
};

#endif
