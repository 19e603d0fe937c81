#ifndef VESTRION_PLATFORM_VSPLATFORM_H
#define VESTRION_PLATFORM_VSPLATFORM_H

#include <QPixmap>
#include <QString>

class QAbstractScrollArea;
class QPalette;
class QWidget;

// Desktop stand-ins for the handheld's window services. Callers name the
// device's attribute numbers; on desktop Qt those numbers are unrelated
// Qt::WidgetAttribute values, so they are never passed to QWidget::setAttribute.
namespace vsPlatform {

enum WindowAttribute
{
    StackedWindow = 127,       // a window of the application's window stack
    PortraitOrientation = 128, // window locked to portrait
    LandscapeOrientation = 129 // window locked to landscape
};

// The device's system font; where it is missing the toolkit substitutes one.
constexpr char systemFontFamily[] = "Nokia Sans";

// Sets or clears one attribute. A stacked window, whenever it is shown, covers
// its parent window; an orientation lock turns the window to that shape, which
// reaches it as an ordinary resize event.
void setWindowAttribute(QWidget *window, WindowAttribute attribute, bool on = true);
bool testWindowAttribute(const QWidget *window, WindowAttribute attribute);

// Lets the desktop metrics follow a rotation.
void updateDesktopGeometry();

// The kernel file that tells whether the hardware keyboard is slid out.
QString slideStateFilePath();
// Tests point it at a file of their own; an empty path restores the device's.
void setSlideStateFilePath(const QString &path);

// What the handheld's toolkit gave every program for free. Call
// prepareApplication() before the application object exists and
// applyDarkLook() right after it, before any window.
// Dense screens: scaling by the screen's density (Qt 6 does it by itself).
void prepareApplication();
// The handheld's dark palette, light text on black, for everything the
// program's own palettes and style sheets leave open.
void applyDarkLook();

// The image at path at its own size in logical pixels, taken from its
// "@2x" rendering beside it on a dense screen. A plain QPixmap load never
// looks for that file.
QPixmap iconPixmap(const QString &path);

// The toolkit's palette for the widget with every colour set, so that none is
// taken from a black parent: a menu bar or a text field keeps its own look.
QPalette toolkitPalette(const QWidget *widget);

// Kinetic (flick) scrolling by finger or left mouse button. A tap still
// clicks; a press that turns into a drag never does.
void enableKineticScrolling(QAbstractScrollArea *area);
// Ends a flick in progress, before the program scrolls the area itself.
void stopKineticScrolling(QAbstractScrollArea *area);

// With VESTRION_EXIT_AFTER_FIRST_PAINT set, the window's first paint prints the
// milliseconds since the epoch to standard error and ends the event loop, so
// tests and benchmarks can start the real program and see it come up.
void installStartupProbe(QWidget *window);

} // namespace vsPlatform

#endif
