#include "support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

namespace support {

Result run(const QString &program, const QStringList &args, const QStringList &env, const QString &cwd, int guardMs) {
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

std::vector<Highlight> highlights(const QString &pdf, const QString &password) {
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

QRectF wordBox(const QString &pdf, int page, const QString &word) {
    const QString n = QString::number(page + 1);
    static const QRegularExpression re(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>");
    for (const auto &m : re.globalMatch(QString(run("pdftotext", {"-bbox", "-f", n, "-l", n, pdf, "-"}).out))) {
        if (m.captured(5).contains(word, Qt::CaseInsensitive))
            return QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                          QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()));
    }
    return {};
}

void expectOver(const QRectF &rect, const QString &pdf, int page, const QString &first, const QString &last) {
    SCOPED_TRACE(("over " + first + " " + last).toStdString());
    const QRectF from = wordBox(pdf, page, first), to = last.isEmpty() ? from : wordBox(pdf, page, last);
    EXPECT_NEAR(rect.left(), from.left(), 1.5);
    EXPECT_NEAR(rect.right(), to.right(), 1.5);
    EXPECT_NEAR(792 - rect.center().y(), from.center().y(), 3.0);  // pdftotext's boxes run top down
}

QString readingOrder(const QString &pdf) {
    return QString::fromUtf8(run("mutool", {"draw", "-q", "-F", "txt", "-o", "-", pdf, "1"}).out).simplified();
}

QImage render(const QString &renderer, const QString &pdf, const QString &dir) {
    const QString png = QDir(dir).filePath(renderer + ".png");
    if (renderer == "pdftoppm")
        run("pdftoppm", {"-r", "72", "-png", "-singlefile", "-f", "1", "-l", "1", pdf, png.chopped(4)});
    else
        run("mutool", {"draw", "-q", "-r", "72", "-o", png, pdf, "1"});
    return QImage(png);
}

QRect where(const QImage &image, const std::function<bool(QColor)> &test) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (test(image.pixelColor(x, y))) box |= QRect(x, y, 1, 1);
    return box;
}

bool yellow(QColor c) {
    return std::abs(c.red() - 255) < 14 && std::abs(c.green() - 239) < 14 && std::abs(c.blue() - 158) < 14;
}

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(bytes);
}

}  // namespace support
