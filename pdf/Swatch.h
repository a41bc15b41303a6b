#pragma once

#include <QPushButton>

// A colour button drawn as a filled circle with a ring; the ring shows which colour is armed.
class Swatch : public QPushButton {
    Q_OBJECT
public:
    Swatch(int tag, const QColor &fill, QWidget *parent = nullptr);

    int tag() const { return tag_; }
    QColor fill() const { return fill_; }
    double ringWidth() const { return ringWidth_; }
    QColor ringColor() const { return ringColor_; }
    void setRing(double width, const QColor &color);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    int tag_;
    QColor fill_;
    double ringWidth_ = 1.0;
    QColor ringColor_;
};
