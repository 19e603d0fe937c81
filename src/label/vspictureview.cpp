#include "label/vspictureview.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

namespace {
// Beyond this the screen shows nothing more, and scaling costs time at every resize.
constexpr int reducedSide = 2048;

// A screen reader hears a picture, not an empty panel.
QAccessibleInterface *pictureInterface(const QString &key, QObject *object)
{
    if (key == QLatin1String("vsPictureView") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Graphic);
    return nullptr;
}

QPoint pointOf(const QMouseEvent *event)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return event->position().toPoint();
#else
    return event->pos();
#endif
}
} // namespace

vsPictureView::vsPictureView(QWidget *parent) : QWidget(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(&pictureInterface);
        return true;
    }();
    Q_UNUSED(installed)
    setObjectName(QStringLiteral("pictureView"));
    setAccessibleName(tr("Picture of the label"));
    setAccessibleDescription(tr("Drag over the ingredient list to read only that part"));
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setCursor(Qt::CrossCursor);
}

void vsPictureView::setPicture(const QImage &picture)
{
    image = picture;
    reduced = image.width() > reducedSide || image.height() > reducedSide
                  ? image.scaled(reducedSide, reducedSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                  : image;
    outlined = QRect();
    dragging = false;
    shown = QPixmap();
    update();
}

void vsPictureView::setArea(const QRect &area)
{
    outlined = area.intersected(image.rect());
    update();
}

void vsPictureView::setChoosing(bool on)
{
    choosing = on;
    if (!on && dragging) {
        dragging = false;
        update();
    }
    setCursor(on ? Qt::CrossCursor : Qt::BusyCursor);
}

QRect vsPictureView::shownRect() const
{
    if (image.isNull())
        return QRect();
    const QSize size = image.size().scaled(contentsRect().size(), Qt::KeepAspectRatio);
    const QRect inside = contentsRect();
    return QRect(inside.x() + (inside.width() - size.width()) / 2,
                 inside.y() + (inside.height() - size.height()) / 2, size.width(), size.height());
}

QRect vsPictureView::toWidget(const QRect &inPicture) const
{
    const QRect target = shownRect();
    if (target.isEmpty() || inPicture.isEmpty())
        return QRect();
    const double scale = double(target.width()) / image.width();
    const QRectF mapped(target.x() + inPicture.x() * scale, target.y() + inPicture.y() * scale,
                        inPicture.width() * scale, inPicture.height() * scale);
    return mapped.toAlignedRect();
}

QRect vsPictureView::toPicture(const QRect &inWidget) const
{
    const QRect target = shownRect();
    if (target.isEmpty() || inWidget.isEmpty())
        return QRect();
    const double scale = double(image.width()) / target.width();
    const QRectF mapped((inWidget.x() - target.x()) * scale, (inWidget.y() - target.y()) * scale,
                        inWidget.width() * scale, inWidget.height() * scale);
    return mapped.toAlignedRect().intersected(image.rect());
}

QPoint vsPictureView::clamped(const QPoint &point) const
{
    const QRect target = shownRect();
    return QPoint(qBound(target.left(), point.x(), target.right() + 1),
                  qBound(target.top(), point.y(), target.bottom() + 1));
}

QSize vsPictureView::sizeHint() const
{
    return QSize(320, 360);
}

QSize vsPictureView::minimumSizeHint() const
{
    return QSize(120, 90);
}

void vsPictureView::resizeEvent(QResizeEvent *event)
{
    shown = QPixmap();
    QWidget::resizeEvent(event);
}

void vsPictureView::hideEvent(QHideEvent *event)
{
    dragging = false;
    QWidget::hideEvent(event);
}

void vsPictureView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect target = shownRect();
    if (target.isEmpty())
        return;
    const qreal ratio = devicePixelRatioF();
    if (shown.isNull()) {
        shown = QPixmap::fromImage(
            reduced.scaled(target.size() * ratio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        shown.setDevicePixelRatio(ratio);
    }
    painter.drawPixmap(target.topLeft(), shown);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!outlined.isEmpty()) {
        // The keypad's orange: seen on dark print and light alike.
        painter.setPen(QPen(QColor(255, 128, 6), 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(toWidget(outlined).adjusted(1, 1, -2, -2));
    }
    if (dragging) {
        painter.setPen(QPen(Qt::white, 2, Qt::DashLine));
        painter.setBrush(QColor(255, 255, 255, 60));
        painter.drawRect(QRect(dragFrom, dragTo).normalized());
    }
}

void vsPictureView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !choosing || image.isNull()) {
        QWidget::mousePressEvent(event);
        return;
    }
    dragging = true;
    dragFrom = dragTo = clamped(pointOf(event));
    update();
}

void vsPictureView::mouseMoveEvent(QMouseEvent *event)
{
    if (!dragging) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    dragTo = clamped(pointOf(event));
    update();
}

void vsPictureView::mouseReleaseEvent(QMouseEvent *event)
{
    if (!dragging || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    dragging = false;
    dragTo = clamped(pointOf(event));
    update();
    // A tap, or a finger that trembled: nothing chosen.
    const QRect dragged = QRect(dragFrom, dragTo).normalized();
    const int least = QApplication::startDragDistance();
    if (dragged.width() < least || dragged.height() < least)
        return;
    const QRect region = toPicture(dragged);
    if (!region.isEmpty())
        emit regionChosen(region);
}
