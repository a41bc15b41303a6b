#include "fixtures.h"

#include <QFile>
#include <QFont>
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
        double y = 72;
        for (const QString &line : pages[p]) {
            const int tab = line.indexOf('\t');
            if (tab < 0) {
                painter.drawText(QPointF(72, y), line);
                y += 18;
            } else {
                painter.drawText(QPointF(72, y), line.left(tab));
                painter.drawText(QPointF(320, y + 6), line.mid(tab + 1));  // another line pitch than the left
                y += 18;
            }
        }
    }
}

void writeRawPdf(const QString &path, const std::vector<RawPage> &pages, const QString &trailerExtra,
                 const QStringList &objects) {
    QByteArray out = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
    std::vector<int> offsets;
    auto object = [&](const QByteArray &body) {
        offsets.push_back(int(out.size()));
        out += QByteArray::number(int(offsets.size())) + " 0 obj\n" + body + "\nendobj\n";
    };
    const int n = int(pages.size());
    // 1 catalog, 2 pages, 3 font, then per page: page, contents.
    QByteArray kids;
    for (int i = 0; i < n; ++i) kids += QByteArray::number(4 + 2 * i) + " 0 R ";
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(n) + " >>");
    object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    for (int i = 0; i < n; ++i) {
        const RawPage &page = pages[size_t(i)];
        QByteArray content;
        for (const RawText &t : page.texts) {
            QByteArray escaped = t.text.toLatin1().replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)");
            // Turned text reads upright once the viewer applies the page's rotation.
            const int turn = t.upright ? 0 : page.rotate;
            const double c = turn == 90 ? 0 : turn == 180 ? -1 : turn == 270 ? 0 : 1;
            const double s = turn == 90 ? 1 : turn == 270 ? -1 : 0;
            content += QString("BT /F1 12 Tf %1 %2 %3 %4 %5 %6 Tm (")
                           .arg(c).arg(s).arg(-s).arg(c).arg(t.x).arg(t.y)
                           .toLatin1() + escaped + ") Tj ET\n";
        }
        const QRectF &m = page.mediaBox;
        QByteArray dict = QString("<< /Type /Page /Parent 2 0 R /MediaBox [%1 %2 %3 %4] /Rotate %5 "
                                  "/Resources << /Font << /F1 3 0 R >> >> /Contents %6 0 R ")
                              .arg(m.left()).arg(m.top()).arg(m.right()).arg(m.bottom()).arg(page.rotate)
                              .arg(5 + 2 * i).toLatin1();
        object(dict + page.extra.toLatin1() + ">>");
        object("<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "endstream");
    }
    for (const QString &o : objects) object(o.toLatin1());
    const int xref = int(out.size());
    out += "xref\n0 " + QByteArray::number(int(offsets.size()) + 1) + "\n0000000000 65535 f \n";
    for (int off : offsets) out += QString("%1 00000 n \n").arg(off, 10, 10, QChar('0')).toLatin1();
    out += "trailer\n<< /Size " + QByteArray::number(int(offsets.size()) + 1) + " /Root 1 0 R " +
           trailerExtra.toLatin1() + ">>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(out);
}

}  // namespace fixtures
