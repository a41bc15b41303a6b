#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <algorithm>

// Lines of text (black on white unless told otherwise), one under the other.
inline QImage page(const QStringList& lines, const QString& family = "DejaVu Sans", int pixelSize = 28,
                   const QColor& ground = Qt::white, const QColor& ink = Qt::black, bool bold = false) {
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    const QFontMetrics metrics(font);
    int width = 0;
    for (const auto& line : lines) width = std::max(width, metrics.horizontalAdvance(line));
    const int step = metrics.lineSpacing() * 3 / 2;
    QImage image(width + 2 * pixelSize, static_cast<int>(lines.size()) * step + 2 * pixelSize,
                 QImage::Format_ARGB32);
    image.fill(ground);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(ink);
    int baseline = pixelSize + metrics.ascent();
    for (const auto& line : lines) {
        painter.drawText(pixelSize, baseline, line);
        baseline += step;
    }
    return image;
}
