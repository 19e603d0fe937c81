#ifndef VESTRION_PLATFORM_VSWINDOWSTACK_H
#define VESTRION_PLATFORM_VSWINDOWSTACK_H

class QWidget;

// Desktop stand-in for the handheld's window stack and orientation lock.
// Callers name the device's attribute numbers; on desktop Qt those numbers are
// unrelated Qt::WidgetAttribute values, so they are never passed to
// QWidget::setAttribute.
namespace vsPlatform {

enum WindowAttribute
{
    StackedWindow = 127,       // a window of the application's window stack
    PortraitOrientation = 128, // window locked to portrait
    LandscapeOrientation = 129 // window locked to landscape
};

// Sets or clears one attribute. A stacked window, whenever it is shown, covers
// its parent window; an orientation lock turns the window to that shape, which
// reaches it as an ordinary resize event.
void setWindowAttribute(QWidget *window, WindowAttribute attribute, bool on = true);
bool testWindowAttribute(const QWidget *window, WindowAttribute attribute);

// Lets the desktop metrics follow a rotation.
void updateDesktopGeometry();

} // namespace vsPlatform

#endif
