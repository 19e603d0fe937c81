#ifndef VESTRION_PLATFORM_VSLOOK_H
#define VESTRION_PLATFORM_VSLOOK_H

#include <QPalette>
#include <QPixmap>
#include <QString>

class QTranslator;
class QWidget;

// The handheld's look, which its toolkit gave every program for free: the
// system font, the dark palette, scaling on dense screens, sharp icons.
namespace vsPlatform {

// The device's system font; where it is missing the toolkit substitutes one.
constexpr char systemFontFamily[] = "Nokia Sans";

// Call prepareApplication() before the application object exists and
// applyDarkLook() right after it, before any window.
// Dense screens: scaling by the screen's density (Qt 6 does it by itself).
void prepareApplication();
// The handheld's dark palette, light text on black, for everything the
// program's own palettes and style sheets leave open.
void applyDarkLook();

// Black behind a window of the program's own, as the main window is.
QPalette blackPalette();

// The toolkit's palette for the widget with every colour set, so that none is
// taken from a black parent: a menu bar or a text field keeps its own look.
QPalette toolkitPalette(const QWidget *widget);

// The image at path at its own size in logical pixels, taken from its
// "@2x" rendering beside it on a dense screen. A plain QPixmap load never
// looks for that file.
QPixmap iconPixmap(const QString &path);

// The toolkit's own Russian texts (file dialog, the fields' context menus,
// standard buttons), "qtbase_ru" from the toolkit's translations folder, which
// the handheld's toolkit had built in. False when it is not installed.
bool loadToolkitTranslation(QTranslator *translator);

} // namespace vsPlatform

#endif
