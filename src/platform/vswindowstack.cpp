#include "platform/vswindowstack.h"

#include <QApplication>
#include <QEvent>
#include <QLayout>
#include <QWidget>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QDesktopWidget>
#endif

namespace vsPlatform {

namespace {
const char *propertyName(WindowAttribute attribute)
{
    switch (attribute) {
    case StackedWindow:
        return "_vs_stacked_window";
    case PortraitOrientation:
        return "_vs_portrait_orientation";
    case LandscapeOrientation:
        return "_vs_landscape_orientation";
    }
    return "_vs_unknown_attribute";
}

// Places a stacked window over its parent window each time it is shown, as the
// device's window stack does.
class StackFilter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Also on resize: a stacked window cannot be made smaller than the stack.
        if (event->type() == QEvent::Show || event->type() == QEvent::Resize) {
            auto *window = static_cast<QWidget *>(watched);
            QWidget *parent = window->parentWidget();
            if (parent && window->isWindow() && window->isVisible() &&
                testWindowAttribute(window, StackedWindow) &&
                window->geometry() != parent->window()->geometry())
                window->setGeometry(parent->window()->geometry());
        }
        return false;
    }
};

StackFilter *stackFilter()
{
    static StackFilter *filter = new StackFilter(qApp);
    return filter;
}

void turnTo(QWidget *window, bool portrait)
{
    // The device's window manager gives a locked window the turned screen
    // whatever its content asks for; a layout's minimum size (the keypad's one
    // row is wider than the screen is in portrait) must not hold it back.
    if (QLayout *layout = window->layout())
        layout->setSizeConstraint(QLayout::SetNoConstraint);
    window->setMinimumSize(0, 0);
    const QSize size = window->size();
    const bool isPortrait = size.width() < size.height();
    if (isPortrait != portrait)
        window->resize(size.height(), size.width());
}

} // namespace

void setWindowAttribute(QWidget *window, WindowAttribute attribute, bool on)
{
    if (!window)
        return;
    window->setProperty(propertyName(attribute), on);
    switch (attribute) {
    case StackedWindow:
        if (on)
            window->installEventFilter(stackFilter());
        break;
    case PortraitOrientation:
        if (on)
            turnTo(window, true);
        break;
    case LandscapeOrientation:
        if (on)
            turnTo(window, false);
        break;
    }
}

bool testWindowAttribute(const QWidget *window, WindowAttribute attribute)
{
    return window && window->property(propertyName(attribute)).toBool();
}

void updateDesktopGeometry()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    if (qApp)
        QApplication::desktop()->updateGeometry();
#endif
    // Qt 6 has no desktop widget; screens report their own geometry changes.
}

} // namespace vsPlatform
