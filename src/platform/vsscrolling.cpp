#include "platform/vsscrolling.h"

#include <QAbstractItemView>
#include <QScroller>

namespace vsPlatform {

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

} // namespace vsPlatform
