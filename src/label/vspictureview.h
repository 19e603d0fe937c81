#ifndef VESTRION_LABEL_VSPICTUREVIEW_H
#define VESTRION_LABEL_VSPICTUREVIEW_H

#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QWidget>

// A picture the reader has read, scaled to fit, with the part that was read
// outlined. A rectangle dragged over it by mouse or finger chooses a part to
// read again; a tap chooses nothing. No scroller grabs it, so a drag always
// draws.
class vsPictureView : public QWidget
{
    Q_OBJECT

public:
    explicit vsPictureView(QWidget *parent = nullptr);

    void setPicture(const QImage &image);
    // Null when none is shown.
    QImage picture() const { return image; }
    // In the picture's pixels; an empty one outlines nothing.
    void setArea(const QRect &area);
    QRect area() const { return outlined; }
    // Whether a drag chooses a part; off while a reading runs.
    void setChoosing(bool on);

    // Where the picture's pixels are shown in the widget, and back.
    QRect toWidget(const QRect &inPicture) const;
    QRect toPicture(const QRect &inWidget) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // A part dragged over, in the picture's pixels.
    void regionChosen(const QRect &region);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    // A window closed mid-drag gets no release.
    void hideEvent(QHideEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    // The rectangle the picture fills, kept to its shape and centred.
    QRect shownRect() const;
    QPoint clamped(const QPoint &point) const;

    QImage image;
    QImage reduced; // a screen's worth, so that resizing does not scale the whole photo
    QPixmap shown;  // reduced, scaled to shownRect()
    QRect outlined;
    bool choosing = true;
    bool dragging = false;
    QPoint dragFrom;
    QPoint dragTo;
};

#endif
