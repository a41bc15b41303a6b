#include "support.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

namespace support {

static QProcess::ExitStatus runTool(const QString &program, const QStringList &args, QByteArray *out = nullptr) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(120000);
    if (out) *out = p.readAllStandardOutput();
    return p.exitStatus();
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
    Result r;
    r.status = finished && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

static std::vector<double> numbers(const QJsonValue &v) {
    std::vector<double> result;
    for (const QJsonValue &x : v.toArray()) result.push_back(x.toDouble());
    return result;
}

std::vector<Highlight> highlights(const QString &pdf) {
    QByteArray json;
    runTool("qpdf", {"--json", "--json-key=qpdf", "--json-key=pages", pdf}, &json);
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    const QJsonObject objects = root.value("qpdf").toArray().at(1).toObject();
    const auto resolve = [&](const QJsonValue &v) -> QJsonValue {
        if (v.isString() && v.toString().endsWith(" R")) {
            return objects.value("obj:" + v.toString()).toObject().value("value");
        }
        return v;
    };
    std::vector<Highlight> found;
    const QJsonArray pages = root.value("pages").toArray();
    for (int i = 0; i < pages.size(); ++i) {
        const QJsonObject page = resolve(pages[i].toObject().value("object")).toObject();
        for (const QJsonValue &ref : resolve(page.value("/Annots")).toArray()) {
            const QJsonObject a = resolve(ref).toObject();
            if (a.value("/Subtype").toString() != "/Highlight") continue;
            const std::vector<double> r = numbers(resolve(a.value("/Rect")));
            Highlight h;
            if (r.size() == 4) h.rect = QRectF(QPointF(r[0], r[1]), QPointF(r[2], r[3])).normalized();
            h.quads = numbers(resolve(a.value("/QuadPoints")));
            h.color = numbers(resolve(a.value("/C")));
            h.page = i;
            found.push_back(h);
        }
    }
    return found;
}

QRectF wordBox(const QString &pdf, int page, const QString &word) {
    QByteArray html;
    const QString n = QString::number(page + 1);
    runTool("pdftotext", {"-bbox", "-f", n, "-l", n, pdf, "-"}, &html);
    static const QRegularExpression re(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>");
    for (const auto &m : re.globalMatch(QString::fromUtf8(html))) {
        if (m.captured(5).contains(word, Qt::CaseInsensitive))
            return QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                          QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()));
    }
    return {};
}

QString readingOrder(const QString &pdf) {
    QByteArray text;
    runTool("mutool", {"draw", "-q", "-F", "txt", "-o", "-", pdf, "1"}, &text);
    return QString::fromUtf8(text).simplified();
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

}  // namespace support
