#pragma once

#include <QBuffer>
#include <QFile>
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

    QByteArray out = "%PDF-1.4\n";
    std::vector<qsizetype> offsets;
    const auto object = [&](const QByteArray &body) {
        offsets.push_back(out.size());
        out += QByteArray::number(qsizetype(offsets.size())) + " 0 obj\n" + body + "\nendobj\n";
    };
    // 1 catalog, 2 pages, 3 font, 4 the scan, then per page: page, contents.
    QByteArray kids;
    for (int i = 0; i < kinds.size(); ++i) kids += QByteArray::number(5 + 2 * i) + " 0 R ";
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(kinds.size()) + " >>");
    object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    object("<< /Type /XObject /Subtype /Image /Width 2550 /Height 3300 /ColorSpace /DeviceGray /BitsPerComponent 8 "
           "/Filter /DCTDecode /Length " + QByteArray::number(jpeg.size()) + " >>\nstream\n" + jpeg + "\nendstream");
    for (int i = 0; i < kinds.size(); ++i) {
        QByteArray content;
        if (kinds[i] == 's') {
            content = "q 612 0 0 792 0 0 cm /Scan Do Q\n";
        } else {
            for (int l = 0; l < (kinds[i] == 'v' ? 1 : 40); ++l)
                content += "BT /F1 11 Tf 72 " + QByteArray::number(740 - 16 * l) + " Td (Page " + QByteArray::number(i + 1) +
                           " line " + QByteArray::number(l + 1) + ": the quick brown fox jumps over the lazy dog) Tj ET\n";
            if (kinds[i] == 'v') content += fixtures::slowDrawing(vectorStrokes);
        }
        object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> "
               "/XObject << /Scan 4 0 R >> >> /Contents " + QByteArray::number(6 + 2 * i) + " 0 R >>");
        object("<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "endstream");
    }
    const qsizetype xref = out.size();
    out += "xref\n0 " + QByteArray::number(qsizetype(offsets.size()) + 1) + "\n0000000000 65535 f \n";
    for (qsizetype off : offsets) out += QString("%1 00000 n \n").arg(off, 10, 10, QChar('0')).toLatin1();
    out += "trailer\n<< /Size " + QByteArray::number(qsizetype(offsets.size()) + 1) + " /Root 1 0 R >>\nstartxref\n" +
           QByteArray::number(xref) + "\n%%EOF\n";
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(out);
}
