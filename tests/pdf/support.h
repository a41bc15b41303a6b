#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

// Helpers that look at the program and its output from outside, with readers other than our own.
namespace support {

struct Result { int status = -1; QByteArray out, err; };
// Runs a program, `env` changing its environment ("NAME=value" sets, "NAME" removes); a crash or hang gives -1.
inline Result run(const QString &program, const QStringList &args, const QStringList &env = {},
                  const QString &cwd = {}, int guardMs = 120000) {
    QProcess p;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &e : env)
        e.contains('=') ? environment.insert(e.section('=', 0, 0), e.section('=', 1)) : environment.remove(e);
    p.setProcessEnvironment(environment);
    p.setWorkingDirectory(cwd);
    p.start(program, args);
    const bool finished = p.waitForFinished(guardMs);
    if (!finished) p.kill(), p.waitForFinished();
    return {finished && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

struct Highlight {
    QRectF rect;                // /Rect, page space
    std::vector<double> quads;  // /QuadPoints
    std::vector<double> color;  // /C
    int page = -1;              // index of the page whose /Annots holds it
};
// Every /Highlight of a file, as qpdf reads it.
inline std::vector<Highlight> highlights(const QString &pdf, const QString &password = {}) {
    QStringList args{"--json", "--json-key=qpdf", "--json-key=pages", pdf};
    if (!password.isEmpty()) args << "--password=" + password;
    const QJsonObject root = QJsonDocument::fromJson(run("qpdf", args).out).object();
    const QJsonObject objects = root["qpdf"].toArray().at(1).toObject();
    const auto resolve = [&](const QJsonValue &v) -> QJsonValue {
        return v.toString().endsWith(" R") ? objects.value("obj:" + v.toString()).toObject().value("value") : v;
    };
    const auto numbers = [&](const QJsonValue &v) {
        std::vector<double> result;
        for (const QJsonValue &x : resolve(v).toArray()) result.push_back(x.toDouble());
        return result;
    };
    std::vector<Highlight> found;
    const QJsonArray pages = root["pages"].toArray();
    for (int i = 0; i < pages.size(); ++i) {
        for (const QJsonValue &ref : resolve(resolve(pages[i].toObject()["object"]).toObject()["/Annots"]).toArray()) {
            const QJsonObject a = resolve(ref).toObject();
            if (a["/Subtype"].toString() != "/Highlight") continue;
            const std::vector<double> r = numbers(a["/Rect"]);
            const QRectF rect = r.size() == 4 ? QRectF(QPointF(r[0], r[1]), QPointF(r[2], r[3])).normalized() : QRectF();
            found.push_back({rect, numbers(a["/QuadPoints"]), numbers(a["/C"]), i});
        }
    }
    return found;
}

// A word's box in display space (top left of the crop box, rotation applied) as pdftotext reads it.
inline QRectF wordBox(const QString &pdf, int page, const QString &word) {
    const QString n = QString::number(page + 1);
    static const QRegularExpression re(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>");
    for (const auto &m : re.globalMatch(QString(run("pdftotext", {"-bbox", "-f", n, "-l", n, pdf, "-"}).out)))
        if (m.captured(5).contains(word, Qt::CaseInsensitive))
            return QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                          QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()));
    return {};
}
// That a rectangle in page space covers the words from `first` to `last` of a line on an upright 792-point page.
inline void expectOver(const QRectF &rect, const QString &pdf, int page, const QString &first, const QString &last = {}) {
    SCOPED_TRACE(("over " + first + " " + last).toStdString());
    const QRectF from = wordBox(pdf, page, first), to = last.isEmpty() ? from : wordBox(pdf, page, last);
    EXPECT_NEAR(rect.left(), from.left(), 1.5);
    EXPECT_NEAR(rect.right(), to.right(), 1.5);
    EXPECT_NEAR(792 - rect.center().y(), from.center().y(), 3.0);  // pdftotext's boxes run top down
}

// The bounding box of the pixels that pass a test.
inline QRect where(const QImage &image, const std::function<bool(QColor)> &test) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (test(image.pixelColor(x, y))) box |= QRect(x, y, 1, 1);
    return box;
}
// The first palette colour, as readers draw it on white.
inline bool yellow(QColor c) {
    return std::abs(c.red() - 255) < 14 && std::abs(c.green() - 239) < 14 && std::abs(c.blue() - 158) < 14;
}

}  // namespace support
