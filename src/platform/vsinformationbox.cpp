#include "platform/vsinformationbox.h"

#include <QVBoxLayout>

vsInformationBox::vsInformationBox(QWidget *parent)
    : QWidget(parent,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus)
{
    // The banner must never take the keyboard from the window typing into it.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(true);
    QPalette banner = palette();
    banner.setColor(QPalette::Window, QColor(40, 40, 40));
    banner.setColor(QPalette::WindowText, Qt::white);
    setPalette(banner);

    layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 8, 16, 8);
    hideTimer.setSingleShot(true);
    connect(&hideTimer, &QTimer::timeout, this, [this] { setVisible(false); });
}

vsInformationBox::~vsInformationBox() = default;

void vsInformationBox::setWidget(QWidget *widget)
{
    if (widget == content)
        return;
    if (content) {
        layout->removeWidget(content);
        content->hide();
    }
    content = widget;
    if (content) {
        content->setParent(this);
        content->setPalette(palette());
        layout->addWidget(content);
        content->show();
    }
}

void vsInformationBox::setTimeout(int milliseconds)
{
    timeoutMs = qMax(0, milliseconds);
    if (isVisible())
        armTimer();
}

void vsInformationBox::setVisible(bool visible)
{
    if (visible) {
        placeOverParent();
        QWidget::setVisible(true);
        armTimer();
    } else {
        hideTimer.stop();
        QWidget::setVisible(false);
    }
}

void vsInformationBox::placeOverParent()
{
    adjustSize();
    QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (!owner)
        return;
    const QRect area = owner->geometry();
    setGeometry(area.x(), area.y(), area.width(), sizeHint().height());
}

void vsInformationBox::armTimer()
{
    hideTimer.start(timeoutMs);
}
