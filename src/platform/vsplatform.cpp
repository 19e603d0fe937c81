#include "platform/vsplatform.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QIcon>
#include <QImageReader>
#include <QLayout>
#include <QPalette>
#include <QScroller>
#include <QTimer>
#include <QWidget>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QDesktopWidget>
#endif

#include <cstdio>

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

QString &slideStateOverride()
{
    static QString path;
    return path;
}

class StartupProbe : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !done) {
            done = true;
            std::fprintf(stderr, "vestrion-first-paint %lld\n",
                         static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
            std::fflush(stderr);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool done = false;
};
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

QString slideStateFilePath()
{
    const QString &path = slideStateOverride();
    return path.isEmpty() ? QStringLiteral("/sys/devices/platform/gpio-switch/slide/state") : path;
}

void setSlideStateFilePath(const QString &path)
{
    slideStateOverride() = path;
}

void prepareApplication()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
}

void applyDarkLook()
{
    const QColor text(255, 255, 255);
    const QColor dimText(128, 128, 128);
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(24, 24, 24));
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, QColor(0, 0, 0));
    palette.setColor(QPalette::AlternateBase, QColor(32, 32, 32));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(40, 40, 40));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, QColor(255, 128, 6));
    palette.setColor(QPalette::Light, QColor(72, 72, 72));
    palette.setColor(QPalette::Midlight, QColor(56, 56, 56));
    palette.setColor(QPalette::Mid, QColor(36, 36, 36));
    palette.setColor(QPalette::Dark, QColor(16, 16, 16));
    palette.setColor(QPalette::Shadow, QColor(0, 0, 0));
    palette.setColor(QPalette::Highlight, QColor(255, 128, 6));
    palette.setColor(QPalette::HighlightedText, QColor(0, 0, 0));
    palette.setColor(QPalette::Link, QColor(90, 170, 255));
    palette.setColor(QPalette::LinkVisited, QColor(170, 130, 255));
    palette.setColor(QPalette::ToolTipBase, QColor(40, 40, 40));
    palette.setColor(QPalette::ToolTipText, text);
#if QT_VERSION >= QT_VERSION_CHECK(5, 12, 0)
    palette.setColor(QPalette::PlaceholderText, dimText);
#endif
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, dimText);
    QApplication::setPalette(palette);
}

QPixmap iconPixmap(const QString &path)
{
    const QSize size = QImageReader(path).size();
    return size.isValid() ? QIcon(path).pixmap(size) : QPixmap();
}

QPalette toolkitPalette(const QWidget *widget)
{
    QPalette palette = QApplication::palette(widget);
    for (int group = 0; group < QPalette::NColorGroups; ++group) {
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto colourGroup = QPalette::ColorGroup(group);
            const auto colourRole = QPalette::ColorRole(role);
            palette.setBrush(colourGroup, colourRole, palette.brush(colourGroup, colourRole));
        }
    }
    return palette;
}

void enableKineticScrolling(QAbstractScrollArea *area)
{
    if (!area)
        return;
    // Flicks move by pixels; by items they would jump a row per pixel dragged.
    if (auto *view = qobject_cast<QAbstractItemView *>(area)) {
        view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
        view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    }
    // Touches reach the area as mouse events, so the mouse gesture serves both.
    QScroller::grabGesture(area->viewport(), QScroller::LeftMouseButtonGesture);
    QScrollerProperties properties = QScroller::scroller(area->viewport())->scrollerProperties();
    properties.setScrollMetric(QScrollerProperties::HorizontalOvershootPolicy,
                               QVariant::fromValue(QScrollerProperties::OvershootAlwaysOff));
    QScroller::scroller(area->viewport())->setScrollerProperties(properties);
}

void stopKineticScrolling(QAbstractScrollArea *area)
{
    if (area && QScroller::hasScroller(area->viewport()))
        QScroller::scroller(area->viewport())->stop();
}

void installStartupProbe(QWidget *window)
{
    if (window && qEnvironmentVariableIsSet("VESTRION_EXIT_AFTER_FIRST_PAINT"))
        window->installEventFilter(new StartupProbe(window));
}

} // namespace vsPlatform
