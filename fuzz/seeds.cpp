// fuzz-seeds DIR: writes the starting corpora, DIR/pdf and DIR/image, small files of each kind the
// programs read, so that the fuzzer starts from inputs that get past the first checks.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QSet>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "fixtures.h"

namespace {

QDir out;

void save(const QString &name, const QByteArray &bytes) {
    static QSet<QByteArray> saved;  // some formats go by two names
    if (bytes.isEmpty() || saved.contains(bytes)) return;
    saved.insert(bytes);
    QFile f(out.filePath(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "fuzz-seeds: cannot write %s\n", qPrintable(f.fileName()));
        std::exit(1);
    }
}

// ---- PDFs beyond what the test fixtures write: compressed streams, an object stream with a
// cross-reference stream, an incremental update.

QByteArray flate(const QByteArray &data) {
    return qCompress(data).mid(4);  // qCompress puts the length before the zlib stream
}

QByteArray contentStream() {
    return "BT /F1 14 Tf 72 700 Td (The cat sat on the mat.) Tj 0 -20 Td (Then the dog ran off.) Tj ET\n"
           "BT /F1 10 Tf 1 0 0.3 1 300 400 Tm [(th) -20 (e) 300 (other)] TJ ET\n";
}

// Objects 1 catalog, 2 pages, 3 page, 4 font, 5 contents (compressed), 6 object stream holding 1-4,
// 7 the cross-reference stream.
QByteArray objectStreamPdf() {
    const QByteArray objs[4] = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 4 0 R >> >> "
        "/Contents 5 0 R >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman >>",
    };
    QByteArray index, body;
    for (int i = 0; i < 4; ++i) {
        index += QByteArray::number(i + 1) + " " + QByteArray::number(body.size()) + " ";
        body += objs[i] + "\n";
    }
    QByteArray pdf = "%PDF-1.5\n%\xe2\xe3\xcf\xd3\n";
    const QByteArray content = flate(contentStream());
    const int at5 = int(pdf.size());
    pdf += "5 0 obj\n<< /Length " + QByteArray::number(content.size()) + " /Filter /FlateDecode >>\nstream\n" +
           content + "\nendstream\nendobj\n";
    const QByteArray packed = flate(index + body);
    const int at6 = int(pdf.size());
    pdf += "6 0 obj\n<< /Type /ObjStm /N 4 /First " + QByteArray::number(index.size()) + " /Length " +
           QByteArray::number(packed.size()) + " /Filter /FlateDecode >>\nstream\n" + packed + "\nendstream\nendobj\n";
    const int at7 = int(pdf.size());
    // Entries of 1 + 4 + 2 bytes: type, offset or object stream, generation or index.
    QByteArray xref;
    auto entry = [&](int type, int field, int second) {
        xref += char(type);
        for (int s = 24; s >= 0; s -= 8) xref += char((field >> s) & 0xff);
        xref += char((second >> 8) & 0xff);
        xref += char(second & 0xff);
    };
    entry(0, 0, 0xffff);
    for (int i = 0; i < 4; ++i) entry(2, 6, i);
    entry(1, at5, 0);
    entry(1, at6, 0);
    entry(1, at7, 0);
    pdf += "7 0 obj\n<< /Type /XRef /Size 8 /W [1 4 2] /Root 1 0 R /Length " + QByteArray::number(xref.size()) +
           " >>\nstream\n" + xref + "\nendstream\nendobj\nstartxref\n" + QByteArray::number(at7) + "\n%%EOF\n";
    return pdf;
}

// A one-page document, then an update that gives the page new contents and a highlight.
QByteArray updatedPdf() {
    const QString base = out.filePath("updated.pdf");
    fixtures::writeRawPdf(base, {{QRectF(0, 0, 300, 200), 0, {{20, 150, "before the update"}}, {}}});
    QFile f(base);
    f.open(QIODevice::ReadOnly);
    QByteArray pdf = f.readAll();
    const int startxref = pdf.lastIndexOf("startxref\n") + 10;
    const QByteArray prev = pdf.mid(startxref, pdf.indexOf('\n', startxref) - startxref);
    const QByteArray content = "BT /F1 12 Tf 20 150 Td (after the update) Tj ET\n";
    const int at5 = int(pdf.size());
    pdf += "5 0 obj\n<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content +
           "endstream\nendobj\n";
    const int at6 = int(pdf.size());
    pdf += "6 0 obj\n<< /Type /Annot /Subtype /Highlight /Rect [18 146 120 164] "
           "/QuadPoints [18 164 120 164 18 146 120 146] /C [1 0.9 0.4] /P 4 0 R >>\nendobj\n";
    const int at4 = int(pdf.size());
    pdf += "4 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Resources << /Font << /F1 3 0 R >> >> "
           "/Contents 5 0 R /Annots [6 0 R] >>\nendobj\n";
    const int xref = int(pdf.size());
    auto line = [](int off) { return QString("%1 00000 n \n").arg(off, 10, 10, QChar('0')).toLatin1(); };
    pdf += "xref\n4 3\n" + line(at4) + line(at5) + line(at6) + "trailer\n<< /Size 7 /Root 1 0 R /Prev " + prev + " >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

// Objects numbered from 1 in the order given, the first being the catalog; a classic cross-reference table.
QByteArray pdfOf(const std::vector<QByteArray> &objects) {
    QByteArray pdf = "%PDF-1.4\n";
    std::vector<int> at;
    for (size_t i = 0; i < objects.size(); ++i) {
        at.push_back(int(pdf.size()));
        pdf += QByteArray::number(int(i) + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const int xref = int(pdf.size());
    const QByteArray size = QByteArray::number(int(objects.size()) + 1);
    pdf += "xref\n0 " + size + "\n0000000000 65535 f \n";
    for (int off : at) pdf += QString("%1 00000 n \n").arg(off, 10, 10, QChar('0')).toLatin1();
    return pdf + "trailer\n<< /Size " + size + " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
}

QByteArray streamOf(const QByteArray &dict, const QByteArray &data) {
    return "<< " + dict + " /Length " + QByteArray::number(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

// Text whose codes map to more than one character, to a surrogate pair, to a ligature, a combining
// accent, a space and nothing: the text model counts characters, Poppler counts glyphs.
QByteArray toUnicodePdf() {
    const QByteArray cmap =
        "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /Fuzz def\n"
        "1 begincodespacerange <00> <FF> endcodespacerange\n"
        "6 beginbfchar <01> <00660069> <02> <D835DC00> <03> <FB01> <04> <0301> <05> <0020> <06> <>\nendbfchar\n"
        "1 beginbfrange <61> <7A> <0061> endbfrange\nendcmap CMapName currentdict /CMap defineresource pop end end";
    return pdfOf({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Resources << /Font << /F1 4 0 R >> >> "
        "/Contents 5 0 R >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode 6 0 R >>",
        streamOf("", "BT /F1 12 Tf 20 150 Td (the \001\002\003\004e\005\006 the) Tj 0 -20 Td (x\004\004the) Tj ET"),
        streamOf("", cmap),
    });
}

// Text drawn by a Type 3 font and from inside a form, on a page whose tree points back at itself.
QByteArray type3LoopPdf() {
    return pdfOf({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R 2 0 R] /Count 2 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Resources << /Font << /F3 4 0 R >> "
        "/XObject << /X 6 0 R >> >> /Contents 5 0 R >>",
        "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 10 10] /FontMatrix [0.1 0 0 0.1 0 0] "
        "/CharProcs << /box 7 0 R >> /Encoding << /Type /Encoding /Differences [97 /box 101 /box 104 /box 116 /box] >> "
        "/FirstChar 97 /LastChar 116 /Widths [10 0 0 0 10 0 0 10 0 0 0 0 0 0 0 0 0 0 0 10] >>",
        streamOf("", "BT /F3 12 Tf 20 150 Td (the a the) Tj ET /X Do"),
        streamOf("/Type /XObject /Subtype /Form /BBox [0 0 300 200] /Matrix [1 0 0 1 0 -60] "
                 "/Resources << /Font << /F3 4 0 R >> >>",
                 "BT /F3 12 Tf 20 150 Td (ate the) Tj ET"),
        streamOf("", "10 0 0 0 10 10 d1 0 0 10 10 re f"),
    });
}

void writePdfs() {
    using fixtures::RawPage;
    fixtures::writeRawPdf(out.filePath("raw.pdf"),
                          {{QRectF(0, 0, 400, 300), 0, {{40, 250, "the first line"}, {40, 234, "and The second"}}, {}},
                           {QRectF(0, 0, 400, 300), 0, {{40, 250, "page two: (the) end"}}, {}}});
    fixtures::writeRawPdf(out.filePath("rotated.pdf"),
                          {{QRectF(10, 20, 310, 220), 90, {{60, 100, "turned with the page", false}}, {}},
                           {QRectF(0, 0, 200, 300), 270, {{30, 30, "the other way", false}}, {}}});
    fixtures::writeRawPdf(out.filePath("annotated.pdf"),
                          {{QRectF(0, 0, 300, 200), 0, {{20, 150, "marked the word"}},
                            "/Annots [<< /Type /Annot /Subtype /Highlight /Rect [18 146 110 164] "
                            "/QuadPoints [18 164 110 164 18 146 110 146] /C [1 1 0] >> "
                            "<< /Type /Annot /Subtype /Text /Rect [200 100 220 120] /Contents (note) >>]"}});
    fixtures::writeTextPdf(out.filePath("columns.pdf"),
                           {{"the left column\tthe right column", "ﬁnd the ligature\tand the other side"}});
    // Boxes that are empty, inverted, odd rotations, a crop box, a user unit.
    fixtures::writeRawPdf(out.filePath("boxes.pdf"),
                          {{QRectF(0, 0, 0, 0), 0, {{10, 10, "the empty box"}}, {}},
                           {QRectF(612, 792, -612, -792), 45, {{40, 700, "the inverted box"}}, {}},
                           {QRectF(0, 0, 400, 300), 180, {{40, 250, "the cropped page"}}, "/CropBox [30 200 300 280] /UserUnit 2"}});
    save("objstm.pdf", objectStreamPdf());
    save("updated.pdf", updatedPdf());
    save("tounicode.pdf", toUnicodePdf());
    save("type3loop.pdf", type3LoopPdf());
    // Every offset in the table off by a few bytes: Poppler rebuilds the table from the objects.
    QByteArray shifted = pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R "
                                "/Resources << /Font << /F1 5 0 R >> >> >>",
                                streamOf("", "BT /F1 12 Tf 10 50 Td (broken the table) Tj ET"),
                                "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>"});
    save("shifted.pdf", shifted.insert(9, "% a comment that moves every object\n"));
}

// ---- Images: every format Qt writes here, some variants, and GIFs, which Qt only reads.

// A GIF of the given frames (indices into a four-colour palette). The LZW stream starts over with a
// clear code before each pixel, so every code has the same three bits.
QByteArray gif(int w, int h, const std::vector<QByteArray> &frames) {
    QByteArray g = "GIF89a";
    auto word = [&](int v) { g += char(v & 0xff); g += char(v >> 8); };
    word(w);
    word(h);
    g += char(0x91);  // a global palette of 4 entries
    g += char(0);
    g += char(0);
    g += QByteArray::fromHex("000000ffffff3060c0f0d020");
    if (frames.size() > 1) g += QByteArray::fromHex("21ff0b") + "NETSCAPE2.0" + QByteArray::fromHex("03010000") + '\0';
    for (const QByteArray &pixels : frames) {
        g += QByteArray::fromHex("21f904040a000000");  // 100 ms, no transparency
        g += ',';
        word(0), word(0), word(w), word(h);
        g += char(0);
        g += char(2);  // minimum code size
        QByteArray codes;
        unsigned bits = 0, n = 0;
        auto put = [&](unsigned code) {
            bits |= code << n;
            n += 3;
            while (n >= 8) codes += char(bits & 0xff), bits >>= 8, n -= 8;
        };
        for (char p : pixels) put(4), put(unsigned(p) & 3);
        put(5);
        if (n > 0) codes += char(bits & 0xff);
        for (int i = 0; i < codes.size(); i += 255) {
            const QByteArray block = codes.mid(i, 255);
            g += char(block.size());
            g += block;
        }
        g += char(0);
    }
    g += ';';
    return g;
}

QImage picture(QImage::Format format) {
    QImage image(16, 12, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgba(x * 16, y * 20, 128, 255 - x * 8));
    QPainter p(&image);
    p.fillRect(3, 4, 9, 2, Qt::black);  // a stroke, like text
    p.end();
    return image.convertToFormat(format);
}

QByteArray encode(const QImage &image, const QByteArray &format, const std::function<void(QImageWriter &)> &tune = {}) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (tune) tune(writer);
    return writer.write(image) ? buffer.data() : QByteArray();
}

// Qt turns the pixels instead of writing the orientation: an Exif segment by hand saying "rotate 90".
QByteArray withOrientation(QByteArray jpeg) {
    const QByteArray exif = QByteArray("Exif\0\0", 6) +
                            QByteArray::fromHex("4d4d002a00000008" "0001" "011200030000000100060000" "00000000");
    const int length = int(exif.size()) + 2;
    jpeg.insert(2, QByteArray::fromHex("ffe1") + char(length >> 8) + char(length & 0xff) + exif);
    return jpeg;
}

void writeImages() {
    const QImage rgb = picture(QImage::Format_RGB32), argb = picture(QImage::Format_ARGB32);
    for (const QByteArray &format : QImageWriter::supportedImageFormats()) {
        const QByteArray bytes = encode(rgb, format);
        if (!bytes.isEmpty()) save("plain." + format, bytes);
    }
    save("alpha.png", encode(argb, "png"));
    save("indexed.png", encode(picture(QImage::Format_Indexed8), "png"));
    save("mono.png", encode(picture(QImage::Format_Mono), "png"));
    save("gray16.png", encode(picture(QImage::Format_Grayscale16), "png"));
    save("rgb64.png", encode(picture(QImage::Format_RGBA64), "png"));
    save("gray.jpg", encode(picture(QImage::Format_Grayscale8), "jpeg"));
    save("progressive.jpg", encode(rgb, "jpeg", [](QImageWriter &w) { w.setProgressiveScanWrite(true); }));
    save("turned.jpg", withOrientation(encode(rgb, "jpeg")));
    // Over 20 MP, read as luminance by Leptonica; cut off after 4 KB, as a whole one is 100 KB.
    QImage large(5200, 4000, QImage::Format_Grayscale8);
    large.fill(200);
    save("large.jpg", withOrientation(encode(large, "jpeg", [](QImageWriter &w) { w.setQuality(5); }).left(4096)));
    save("turned.tif", encode(rgb, "tiff", [](QImageWriter &w) { w.setTransformation(QImageIOHandler::TransformationMirror); }));
    save("lzw.tif", encode(argb, "tiff", [](QImageWriter &w) { w.setCompression(1); }));
    save("alpha.webp", encode(argb, "webp"));
    save("lossless.webp", encode(rgb, "webp", [](QImageWriter &w) { w.setQuality(100); }));
    save("indexed.bmp", encode(picture(QImage::Format_Indexed8), "bmp"));
    save("still.gif", gif(3, 2, {QByteArray("\0\1\2\3\2\1", 6)}));
    save("animated.gif", gif(2, 2, {QByteArray("\0\1\2\3", 4), QByteArray("\3\2\1\0", 4)}));
    // The formats read by their own libraries, made by the tools install-deps brings.
    // plain.png: saved again under another name, the same bytes would be skipped. Two resolution
    // levels: the default six need a picture of at least 32 pixels a side.
    const QString png = out.filePath("plain.png");
    QProcess::execute("heif-enc", {"-q", "50", png, "-o", out.filePath("plain.heic")});
    QProcess::execute("heif-enc", {"-A", "-q", "50", png, "-o", out.filePath("plain.avif")});
    QProcess::execute("opj_compress", {"-n", "2", "-i", png, "-o", out.filePath("plain.jp2")});
    QProcess::execute("opj_compress", {"-n", "2", "-i", png, "-o", out.filePath("plain.j2k")});
    fixtures::writeRawPdf(out.filePath("page.pdf"), {{QRectF(0, 0, 400, 300), 0, {{40, 250, "the first line"}}, {}}});
}

}  // namespace

int main(int argc, char *argv[]) {
    if (argc != 2) {
        std::fputs("usage: fuzz-seeds DIR\n", stderr);
        return 1;
    }
    // QPdfWriter needs fonts, which need an application; no display is needed.
    std::vector<char *> qtArgs{argv[0], const_cast<char *>("-platform"), const_cast<char *>("offscreen"), nullptr};
    int qtCount = 3;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QGuiApplication app(qtCount, qtArgs.data());
    const QString dir = QString::fromLocal8Bit(argv[1]);
    for (const char *kind : {"pdf", "image"}) {
        out = QDir(dir + "/" + kind);
        out.removeRecursively();
        QDir().mkpath(out.path());
        kind[0] == 'p' ? writePdfs() : writeImages();
    }
    return 0;
}
