// Accuracy and speed of tavrin-ocr beside the tesseract command, on generated
// images whose text is known. Prints the character error rate (CER) and the
// time of both per image and over the set.
//
//   ocr-bench [path/to/tavrin-ocr] [folder to keep the images in]

#include <QDir>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTransform>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "cer.h"
#include "support.h"

namespace {

struct Sample {
    QString name;
    QStringList lines;
};

// Uneven light, grain and a slight tilt, as from a phone held over a sheet.
QImage photo(const QImage& sheet) {
    QImage lit = sheet.convertToFormat(QImage::Format_RGB32);
    auto* random = QRandomGenerator::global();
    for (int y = 0; y < lit.height(); ++y) {
        auto* pixel = reinterpret_cast<QRgb*>(lit.scanLine(y));
        for (int x = 0; x < lit.width(); ++x) {
            const int shade = 40 * x / lit.width() + 20 * y / lit.height() + random->bounded(-12, 13);
            const auto tone = [&](int c) { return std::clamp(c - shade, 0, 255); };
            pixel[x] = qRgb(tone(qRed(pixel[x])), tone(qGreen(pixel[x])), tone(qBlue(pixel[x]) - 10));
        }
    }
    QImage tilted = lit.transformed(QTransform().rotate(1.2), Qt::SmoothTransformation);
    QImage framed(tilted.size(), QImage::Format_RGB32);
    framed.fill(QColor(200, 196, 186));
    QPainter(&framed).drawImage(0, 0, tilted);
    return framed;
}

QString normalized(const QString& text) {
    static const QRegularExpression space("\\s+");
    return QString(text).replace(space, " ").trimmed();
}

struct Timed {
    QByteArray out;
    double seconds = 0;
};

Timed runProgram(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    process.waitForFinished(-1);
    return {process.readAllStandardOutput(), timer.nsecsElapsed() / 1e9};
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString program = args.size() > 1 ? args[1] : QStringLiteral("build/tavrin-ocr");
    QTemporaryDir temporary;
    const QDir dir(args.size() > 2 ? args[2] : temporary.path());
    dir.mkpath(".");
    for (const char* file :
         {"DejaVuSans.ttf", "DejaVuSerif.ttf", "DejaVuSansMono.ttf", "DejaVuSans-Bold.ttf"}) {
        QFontDatabase::addApplicationFont(QString("/usr/share/fonts/truetype/dejavu/") + file);
    }

    const QStringList english{"Our meeting moved to Thursday at ten.", "Bring the quarterly figures and",
                              "the signed contract, please."};
    const QStringList russian{"Встреча перенесена на четверг.", "Возьмите с собой отчёт за квартал",
                              "и подписанный договор."};
    const QStringList mixed{"Order 1042: keyboard Logitech K120", "Заказ оплачен картой Visa, 2 шт.",
                            "Delivery to Moscow, ул. Тверская 7"};
    const QStringList left{"The left column starts",   "every page of this note", "and runs down to the",
                           "bottom before the reader", "moves across the gutter", "to the other column."};
    const QStringList right{"Then the right column", "follows with its own",  "lines, which must come",
                            "out only after all of", "the lines on the left", "have been written."};

    std::vector<Sample> samples;
    const auto add = [&](const QString& name, const QImage& image, const QStringList& lines,
                         const char* format = nullptr) {
        image.save(dir.filePath(name), format, 85);
        samples.push_back({name, lines});
    };
    // Photos are stored turned; their EXIF orientation says how to show them.
    const auto addPhoto = [&](const QString& name, const QStringList& lines, int orientation,
                              qreal storedTurn) {
        add(name, photo(page(lines, "DejaVu Sans", 30)).transformed(QTransform().rotate(storedTurn)), lines,
            "JPEG");
        QProcess::execute("exiftool", {"-q", "-overwrite_original", "-n",
                                       QString("-Orientation=%1").arg(orientation), dir.filePath(name)});
    };
    add("english-sans.png", page(english, "DejaVu Sans", 28), english);
    add("english-serif.png", page(english, "DejaVu Serif", 22), english);
    add("english-mono-small.png", page(english, "DejaVu Sans Mono", 16), english);
    add("russian-sans.png", page(russian, "DejaVu Sans", 28), russian);
    add("russian-serif.png", page(russian, "DejaVu Serif", 24), russian);
    add("mixed.png", page(mixed, "DejaVu Sans", 26), mixed);
    add("heading-bold.png",
        page({"Quarterly Report", "Отчёт за квартал"}, "DejaVu Sans", 64, Qt::white, Qt::black, true),
        {"Quarterly Report", "Отчёт за квартал"});
    add("low-contrast.png", page(mixed, "DejaVu Serif", 26, QColor(225, 225, 215), QColor(90, 90, 90)),
        mixed);
    add("transparent.png", page(russian, "DejaVu Sans", 28, Qt::transparent), russian);
    QImage columns(2 * 420 + 120, page(left, "DejaVu Sans", 26).height(), QImage::Format_RGB32);
    columns.fill(Qt::white);
    {
        QPainter painter(&columns);
        painter.drawImage(0, 0, page(left, "DejaVu Sans", 26));
        painter.drawImage(420 + 120, 0, page(right, "DejaVu Sans", 26));
    }
    add("two-columns.png", columns, left + right);
    const QStringList letter{"Dear colleagues,",
                             "the annual review of the archive will take place",
                             "in the second week of March. Please make sure that",
                             "every folder carries its label and that the index",
                             "cards are filed in order. Коллеги, просим также",
                             "сдать ключи от шкафов до пятницы. Thank you."};
    add("letter-page.png", page(letter, "DejaVu Serif", 24), letter);
    add("photo-upright.jpg", photo(page(mixed, "DejaVu Sans", 30)), mixed, "JPEG");
    addPhoto("photo-exif6.jpg", english, 6, -90);
    addPhoto("photo-exif8.jpg", russian, 8, 90);
    addPhoto("photo-exif3.jpg", mixed, 3, 180);

    std::printf("%-24s %9s %9s %9s %9s\n", "image", "CER ours", "CER cmd", "s ours", "s cmd");
    double oursTime = 0, commandTime = 0;
    long oursErrors = 0, commandErrors = 0, characters = 0;
    bool neverWorse = true;
    QByteArray concatenated;
    QStringList paths;
    for (const auto& sample : samples) {
        const QString path = dir.filePath(sample.name);
        paths << path;
        const QString reference = normalized(sample.lines.join('\n'));
        const Timed ours = runProgram(program, {path});
        const Timed command = runProgram("tesseract", {path, "stdout", "-l", "rus+eng"});
        concatenated += ours.out;
        const int oursDistance = editDistance(normalized(QString::fromUtf8(ours.out)), reference);
        const int commandDistance = editDistance(normalized(QString::fromUtf8(command.out)), reference);
        neverWorse = neverWorse && oursDistance <= commandDistance;
        oursErrors += oursDistance;
        commandErrors += commandDistance;
        characters += reference.size();
        oursTime += ours.seconds;
        commandTime += command.seconds;
        std::printf("%-24s %9.4f %9.4f %9.3f %9.3f\n", qPrintable(sample.name),
                    double(oursDistance) / reference.size(), double(commandDistance) / reference.size(),
                    ours.seconds, command.seconds);
    }
    // The way the caller runs it: every file in one run, models loaded once.
    const Timed batch = runProgram(program, paths);
    const double oursCer = double(oursErrors) / characters, commandCer = double(commandErrors) / characters;
    std::printf("%-24s %9.4f %9.4f %9.3f %9.3f\n", "all (one run per file)", oursCer, commandCer, oursTime,
                commandTime);
    std::printf("%-24s %9s %9s %9.3f %9s\n", "all (one run, all files)", "", "", batch.seconds, "");
    std::printf("one run gives the same records: %s\n", batch.out == concatenated ? "yes" : "NO");
    std::printf("CER never above the command's: %s; over the set %.1f%% of it (target <= 50%%)\n",
                neverWorse ? "yes" : "NO", commandCer > 0 ? 100 * oursCer / commandCer : 0.0);
    std::printf("time: %.1f%% of the command's in one run, %.1f%% run per file (target <= 20%%)\n",
                100 * batch.seconds / commandTime, 100 * oursTime / commandTime);
    return 0;
}
