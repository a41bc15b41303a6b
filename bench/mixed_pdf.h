#pragma once

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include "fixtures.h"

// A document that mixes pages of text, scanned pages (a 300 dpi greyscale JPEG each) and pages of dense
// vector drawing that take Poppler seconds, in the order `kinds` gives: 't', 's' or 'v'.
inline void writeMixedPdf(const QString &path, const QByteArray &kinds, int vectorStrokes = 800) {
    // A scan: lines of text on slightly grey, noisy paper.
    QImage scan(2550, 3300, QImage::Format_Grayscale8);
    scan.fill(235);
    {
        QPainter painter(&scan);
        painter.setFont(QFont("DejaVu Serif", 36));
        for (int line = 0; line < 60; ++line)
            painter.drawText(300, 300 + line * 48, "A scanned page of an old report, line " + QString::number(line + 1));
    }
    QRandomGenerator random(1);
    for (int y = 0; y < scan.height(); ++y)
        for (uchar *p = scan.scanLine(y), *end = p + scan.width(); p < end; ++p) *p = uchar(qBound(0, *p + int(random.bounded(24)) - 12, 255));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    scan.save(&buffer, "JPEG", 80);

    // The scan is the one object after the pages; Latin-1 carries its bytes unchanged.
    const int scanObject = 4 + 2 * int(kinds.size());
    std::vector<fixtures::RawPage> pages(size_t(kinds.size()));
    for (int i = 0; i < kinds.size(); ++i) {
        fixtures::RawPage &page = pages[size_t(i)];
        if (kinds[i] == 's') {
            page.resources = QString("/XObject << /Scan %1 0 R >> ").arg(scanObject);
            page.drawing = "q 612 0 0 792 0 0 cm /Scan Do Q\n";
            continue;
        }
        for (int l = 0; l < (kinds[i] == 'v' ? 1 : 40); ++l)
            page.texts.push_back({72, 740.0 - 16 * l,
                                  QString("Page %1 line %2: the quick brown fox jumps over the lazy dog").arg(i + 1).arg(l + 1)});
        if (kinds[i] == 'v') page.drawing = fixtures::slowDrawing(vectorStrokes);
    }
    fixtures::writeRawPdf(path, pages, {},
                          {"<< /Type /XObject /Subtype /Image /Width 2550 /Height 3300 /ColorSpace /DeviceGray "
                           "/BitsPerComponent 8 /Filter /DCTDecode /Length " + QString::number(jpeg.size()) +
                           " >>\nstream\n" + QString::fromLatin1(jpeg) + "\nendstream"});
}
