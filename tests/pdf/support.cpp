#include "support.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

namespace support {

static QByteArray runTool(const QString &program, const QStringList &args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(120000);
    return p.readAllStandardOutput();
}

Result runPdf(const QStringList &args, const QStringList &unset, const QString &cwd, int guardMs) {
    QProcess p;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &name : unset) environment.remove(name);
    p.setProcessEnvironment(environment);
    p.setWorkingDirectory(cwd);
    p.start(TAVRIN_PDF, args);
    const bool finished = p.waitForFinished(guardMs);
    if (!finished) p.kill(), p.waitForFinished();
    return {finished && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

std::vector<Highlight> highlights(const QString &pdf, const QString &password) {
    QStringList args{"--json", "--json-key=qpdf", "--json-key=pages", pdf};
    if (!password.isEmpty()) args << "--password=" + password;
    const QJsonObject root = QJsonDocument::fromJson(runTool("qpdf", args)).object();
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
    for (const auto &m : re.globalMatch(QString(runTool("pdftotext", {"-bbox", "-f", n, "-l", n, pdf, "-"})))) {
        if (m.captured(5).contains(word, Qt::CaseInsensitive))
            return QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                          QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()));
    }
    return {};
}

QString readingOrder(const QString &pdf) {
    return QString::fromUtf8(runTool("mutool", {"draw", "-q", "-F", "txt", "-o", "-", pdf, "1"})).simplified();
}

QImage render(const QString &renderer, const QString &pdf, const QString &dir) {
    const QString png = QDir(dir).filePath(renderer + ".png");
    if (renderer == "pdftoppm")
        runTool("pdftoppm", {"-r", "72", "-png", "-singlefile", "-f", "1", "-l", "1", pdf, png.chopped(4)});
    else
        runTool("mutool", {"draw", "-q", "-r", "72", "-o", png, pdf, "1"});
    return QImage(png);
}

QRect yellowBox(const QImage &image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - 255) < 14 && std::abs(c.green() - 239) < 14 && std::abs(c.blue() - 158) < 14)
                box |= QRect(x, y, 1, 1);
        }
    return box;
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
