#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <algorithm>
#include <vector>

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

// Levenshtein distance between two texts.
inline int editDistance(const QString& a, const QString& b) {
    std::vector<int> row(static_cast<size_t>(b.size()) + 1);
    for (size_t j = 0; j < row.size(); ++j) row[j] = static_cast<int>(j);
    for (int i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= b.size(); ++j) {
            const int substitution = diagonal + (a[i - 1] != b[j - 1]);
            diagonal = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, substitution});
        }
    }
    return row.back();
}

// Character error rate: edit distance over the reference's length.
inline double cer(const QString& hypothesis, const QString& reference) {
    return reference.isEmpty() ? 0.0 : double(editDistance(reference, hypothesis)) / reference.size();
}
