#include "fixtures.h"

#include <QFile>
#include <QPainter>
#include <QPdfWriter>

namespace fixtures {

void writeTextPdf(const QString &path, const std::vector<QStringList> &pages) {
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::Letter));
    writer.setResolution(72);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    QFont font("DejaVu Sans");
    font.setPointSizeF(12);
    painter.setFont(font);
    for (size_t p = 0; p < pages.size(); ++p) {
        if (p > 0) writer.newPage();
        for (int i = 0; i < pages[p].size(); ++i) {
            const QStringList columns = pages[p][i].split('\t');
            painter.drawText(QPointF(72, 72 + 18 * i), columns[0]);
            // The right column with another line pitch than the left.
            if (columns.size() > 1) painter.drawText(QPointF(320, 78 + 18 * i), columns[1]);
        }
    }
}

void writeRawPdf(const QString &path, const std::vector<RawPage> &pages, const QString &trailerExtra,
                 const QStringList &objects) {
    QByteArray out = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
    std::vector<int> offsets;  // 1 catalog, 2 pages, 3 font, then per page: page, contents
    auto object = [&](const QString &body) {
        offsets.push_back(int(out.size()));
        out += QString("%1 0 obj\n%2\nendobj\n").arg(offsets.size()).arg(body).toLatin1();
    };
    QString kids;
    for (size_t i = 0; i < pages.size(); ++i) kids += QString("%1 0 R ").arg(4 + 2 * i);
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object(QString("<< /Type /Pages /Kids [%1] /Count %2 >>").arg(kids).arg(pages.size()));
    object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    for (const RawPage &page : pages) {
        QString content;
        for (const RawText &t : page.texts) {
            const QString escaped = QString(t.text).replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)");
            const QTransform turn = QTransform().rotate(t.upright ? 0 : page.rotate);
            content += QString("BT /F1 12 Tf %1 %2 %3 %4 %5 %6 Tm (%7) Tj ET\n")
                           .arg(turn.m11()).arg(turn.m12()).arg(turn.m21()).arg(turn.m22()).arg(t.x).arg(t.y)
                           .arg(escaped);
        }
        content += page.drawing;
        const QRectF &m = page.mediaBox;
        object(QString("<< /Type /Page /Parent 2 0 R /MediaBox [%1 %2 %3 %4] /Rotate %5 "
                       "/Resources << /Font << /F1 3 0 R >> %6>> /Contents %7 0 R %8>>")
                   .arg(m.left()).arg(m.top()).arg(m.right()).arg(m.bottom()).arg(page.rotate)
                   .arg(page.resources).arg(offsets.size() + 2).arg(page.extra));
        object(QString("<< /Length %1 >>\nstream\n%2endstream").arg(content.toLatin1().size()).arg(content));
    }
    for (const QString &o : objects) object(o);
    const int xref = int(out.size());
    out += "xref\n0 " + QByteArray::number(int(offsets.size()) + 1) + "\n0000000000 65535 f \n";
    for (int off : offsets) out += QString("%1 00000 n \n").arg(off, 10, 10, QChar('0')).toLatin1();
    out += QString("trailer\n<< /Size %1 /Root 1 0 R %2>>\nstartxref\n%3\n%%EOF\n")
               .arg(offsets.size() + 1).arg(trailerExtra).arg(xref).toLatin1();
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(out);
}

QByteArray slowDrawing(int strokes) {
    QByteArray drawing = "3 w 1 J 1 j [0.1 0.1] 0 d\n";
    for (int s = 0; s < strokes; ++s) {
        int x = 72 + s * 37 % 450, y = 100 + s * 53 % 580;
        drawing += QByteArray::number(x) + " " + QByteArray::number(y) + " m";
        for (int i = 0; i < 10; ++i) {
            x += ((i * 7 + s) % 21 - 10) * 3;
            y += ((i * 11 + s * 3) % 21 - 10) * 3;
            drawing += " " + QByteArray::number(x) + " " + QByteArray::number(y) + " l";
        }
        drawing += " S\n";
    }
    return drawing;
}

}  // namespace fixtures
