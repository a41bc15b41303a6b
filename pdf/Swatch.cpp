#include "Swatch.h"

#include <QPainter>

Swatch::Swatch(int tag, const QColor &fill, QWidget *parent) : QPushButton(parent), tag_(tag), fill_(fill) {
    setFixedSize(22, 22);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

void Swatch::setRing(double width, const QColor &color) {
    if (width == ringWidth_ && color == ringColor_) return;
    ringWidth_ = width;
    ringColor_ = color;
    update();
}

void Swatch::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The ring lies inside the 22-point circle, as a layer's border does.
    const double inset = ringWidth_ / 2;
    const QRectF circle = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    painter.setPen(QPen(ringColor_, ringWidth_));
    painter.setBrush(fill_);
    painter.drawEllipse(circle);
}
