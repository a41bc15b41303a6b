// Accuracy, time and memory of tavrin-ocr beside the tesseract command, on a generated
// evaluation set whose text is known (see evaluation_set.h).
//
//   ocr-bench [--seed N] [--kind PREFIX] [--count N] [--set DIR] [--cache DIR] [--no-command] [PROGRAM...]
//
// PROGRAM: builds of tavrin-ocr to compare, the first one the one under test (default
// build/tavrin-ocr). --seed draws another set (default 1). --kind and --count keep the kinds
// whose names start with PREFIX and the first N images of each, for development. --set DIR
// keeps the images in DIR and reuses those already there (one DIR per seed). The command's
// readings are kept in --cache DIR (default ~/.cache/tavrin-ocr-bench); --no-command skips it.
// Character error rate (CER): Levenshtein distance
// over NFKC text with white space collapsed, divided by the truth's length; a kind's CER and
// the set's are means over their images, so that each image counts once.

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <algorithm>
#include <map>
#include <vector>

#include "cer.h"
#include "evaluation_set.h"

extern char** environ;

namespace {

struct Run {
    QByteArray out, err;
    double seconds = 0;  // wall time
    double cpu = 0;      // user and system time: less disturbed by other work on the machine
    double peakMiB = 0;
};

QByteArray readBack(std::FILE* file) {
    QFile in;
    in.open(file, QIODevice::ReadOnly);
    in.seek(0);
    const QByteArray bytes = in.readAll();
    in.close();
    std::fclose(file);
    return bytes;
}

// One process, its wall time and its peak resident memory. The peak comes from GNU time, whose
// child starts from a small process: a child of this one would be charged for the memory of
// this one (Linux keeps the high-water mark of the memory a process had before exec).
Run run(const QStringList& program) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    QTemporaryDir temporary;
    const QString peakFile = temporary.filePath("peak");
    const QStringList command = QStringList{"/usr/bin/time", "-f", "%M %U %S", "-o", peakFile} + program;
    if (!out || !err) qFatal("no temporary file");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fileno(out), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fileno(err), STDERR_FILENO);
    std::vector<QByteArray> words;
    for (const QString& word : command) words.push_back(word.toLocal8Bit());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) qFatal("cannot start %s", argv[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    Run result;
    result.seconds = timer.nsecsElapsed() / 1e9;
    QFile peak(peakFile);
    if (peak.open(QIODevice::ReadOnly)) {
        // The last line: GNU time puts a note on the exit status before it.
        const QList<QByteArray> fields = peak.readAll().trimmed().split('\n').last().split(' ');
        if (fields.size() == 3) {
            result.peakMiB = fields[0].toDouble() / 1024;
            result.cpu = fields[1].toDouble() + fields[2].toDouble();
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = readBack(out);
    result.err = readBack(err);
    return result;
}

QString normalized(const QString& text) {
    return text.normalized(QString::NormalizationForm_KC).simplified();
}

// The set as kept in DIR/set.tsv: kind, number, file, truth; only what was drawn for this seed.
std::map<QString, QString> loadTruths(const QDir& dir) {
    std::map<QString, QString> truths;
    QFile file(dir.filePath("set.tsv"));
    if (!file.open(QIODevice::ReadOnly)) return truths;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 2 && QFileInfo::exists(dir.filePath(fields[0]))) truths[fields[0]] = QString::fromUtf8(fields[1]);
    }
    return truths;
}

void saveTruths(const QDir& dir, const std::map<QString, QString>& truths) {
    QFile file(dir.filePath("set.tsv"));
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write set.tsv");
    for (const auto& [name, truth] : truths) file.write((name + '\t' + truth + '\n').toUtf8());
}

// The command's reading of an image, kept under the image's own digest: the same seed draws
// the same image, and a changed generator draws another one.
Run commandRun(const QDir& cache, std::uint32_t seed, const QString& path) {
    QFile image(path);
    if (!image.open(QIODevice::ReadOnly)) qFatal("cannot read %s", qPrintable(path));
    const QByteArray digest = QCryptographicHash::hash(image.readAll(), QCryptographicHash::Sha1).toHex().left(16);
    QFile kept(cache.filePath(QString("%1-%2-%3.txt").arg(seed).arg(QFileInfo(path).completeBaseName(), digest)));
    Run result;
    if (kept.open(QIODevice::ReadOnly)) {
        const QByteArray times = kept.readLine();
        result.seconds = times.split(' ').value(0).toDouble();
        result.cpu = times.split(' ').value(1).toDouble();
        result.out = kept.readAll();
        return result;
    }
    result = run({"tesseract", path, "stdout", "-l", "rus+eng"});
    if (kept.open(QIODevice::WriteOnly))
        kept.write(QByteArray::number(result.seconds) + ' ' + QByteArray::number(result.cpu) + '\n' + result.out);
    return result;
}

struct Column {
    Column(const QString& name, const QStringList& command) : name(name), command(command) {}
    QString name;
    QStringList command;  // the file's path is appended; empty for the tesseract command
    std::vector<double> cer, seconds, cpu, peak;
    bool silent = true;
};

QString option(QStringList& args, const QString& name, const QString& otherwise) {
    const int at = int(args.indexOf(name));
    if (at < 0 || at + 1 >= args.size()) return otherwise;
    const QString value = args[at + 1];
    args.remove(at, 2);
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const std::uint32_t seed = option(args, "--seed", "1").toUInt();
    const QString kindPrefix = option(args, "--kind", "");
    const int perKind = option(args, "--count", "0").toInt();
    QTemporaryDir temporary;
    const QDir dir(option(args, "--set", temporary.path()));
    const QDir cache(option(args, "--cache", QDir::home().filePath(".cache/tavrin-ocr-bench")));
    const bool command = !args.removeOne("--no-command");
    const bool whole = kindPrefix.isEmpty() && perKind == 0;
    if (args.isEmpty()) args << "build/tavrin-ocr";
    dir.mkpath(".");
    cache.mkpath(".");

    std::vector<Sample> set;
    for (const Sample& sample : evaluationPlan())
        if (sample.kind.startsWith(kindPrefix) && (perKind == 0 || sample.number <= perKind)) set.push_back(sample);
    std::map<QString, QString> truths = loadTruths(dir);
    QElapsedTimer timer;
    timer.start();
    int drawn = 0;
    for (Sample& sample : set) {
        if (!truths.count(sample.file)) {
            truths[sample.file] = drawSample(dir, seed, sample);
            ++drawn;
        }
        sample.truth = truths[sample.file];
    }
    saveTruths(dir, truths);
    std::printf("evaluation set, seed %u: %zu images in %s (%d drawn in %.0f s)\n", seed, set.size(), qPrintable(dir.path()),
                drawn, timer.elapsed() / 1000.0);

    std::vector<Column> columns;
    for (const QString& program : args) columns.emplace_back(QFileInfo(program).fileName(), QStringList{program});
    if (columns.size() > 1) columns[0].name += "*";
    if (command) columns.emplace_back("tesseract", QStringList{});

    std::printf("\n%-26s %6s", "image", "chars");
    for (const auto& column : columns) std::printf(" %14.14s", qPrintable(column.name));
    std::printf("   (CER / seconds)\n");
    for (const Sample& sample : set) {
        const QString path = dir.filePath(sample.file), truth = normalized(sample.truth);
        std::printf("%-26s %6lld", qPrintable(sample.file), static_cast<long long>(truth.size()));
        for (auto& column : columns) {
            const Run result = column.command.isEmpty() ? commandRun(cache, seed, path) : run(column.command + QStringList{path});
            column.cer.push_back(cer(normalized(QString::fromUtf8(result.out)), truth));
            column.seconds.push_back(result.seconds);
            column.cpu.push_back(result.cpu);
            column.peak.push_back(result.peakMiB);
            column.silent = column.silent && result.err.isEmpty();
            std::printf("   %5.3f %6.2f", column.cer.back(), result.seconds);
            std::fflush(stdout);
        }
        std::printf("\n");
    }

    // CER per kind, in the order the kinds first appear, and the worst image against the command.
    const auto mean = [&](const std::vector<double>& values, const QString& kind) {
        double sum = 0;
        int count = 0;
        for (std::size_t i = 0; i < set.size(); ++i) {
            if (!set[i].kind.startsWith(kind)) continue;
            sum += values[i];
            ++count;
        }
        return std::make_pair(count ? sum / count : 0.0, count);
    };
    const auto against = [&](std::size_t i) { return columns[0].cer[i] - columns.back().cer[i]; };
    std::printf("\n%-26s %6s", "CER per kind", "images");
    for (const auto& column : columns) std::printf(" %14.14s", qPrintable(column.name));
    if (command) std::printf(" %14s", "worst - cmd");
    std::printf("\n");
    QStringList kinds;
    for (const Sample& sample : set)
        if (!kinds.contains(sample.kind)) kinds << sample.kind;
    for (const QString& kind : kinds + QStringList{"photo", "scan", "screen", "screen-dark", ""}) {
        std::printf("%-26s %6d", kind.isEmpty() ? "all" : qPrintable(kind + (kinds.contains(kind) ? "" : "*")),
                    mean(columns[0].cer, kind).second);
        for (const auto& column : columns) std::printf(" %14.3f", mean(column.cer, kind).first);
        double worst = -1;
        for (std::size_t i = 0; command && i < set.size(); ++i)
            if (set[i].kind.startsWith(kind)) worst = std::max(worst, against(i));
        if (command) std::printf(" %14.3f", worst);
        std::printf("\n");
    }
    if (command) {
        std::vector<std::size_t> order(set.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return against(a) > against(b); });
        std::printf("\nthe ten images where %s does worst against the command (ours, command, difference)\n",
                    qPrintable(columns[0].name));
        for (std::size_t k = 0; k < std::min<std::size_t>(10, order.size()); ++k) {
            const std::size_t i = order[k];
            std::printf("%-26s %6.3f %6.3f %+7.3f\n", qPrintable(set[i].file), columns[0].cer[i], columns.back().cer[i],
                        against(i));
        }
    }

    // Time: each file in its own run, and the whole set in one run as the caller runs it.
    QStringList paths;
    for (const Sample& sample : set) paths << dir.filePath(sample.file);
    std::printf("\n%-32s %22s %22s\n", "time, s (wall / CPU)", "run per file", "one run");
    for (auto& column : columns) {
        double total = 0, cpu = 0;
        for (double s : column.seconds) total += s;
        for (double s : column.cpu) cpu += s;
        if (column.command.isEmpty()) {
            std::printf("%-32s %14.1f %7.1f\n", "tesseract (when first run)", total, cpu);
            continue;
        }
        std::printf("%-32s %14.1f %7.1f", qPrintable(column.name), total, cpu);
        if (whole) {
            const Run all = run(column.command + paths);
            std::printf(" %14.1f %7.1f", all.seconds, all.cpu);
        }
        std::printf("\n");
    }

    // The largest images: time and peak memory of each file's own run.
    std::printf("\n%-26s", "large images");
    for (const auto& column : columns) std::printf(" %22.22s", qPrintable(column.name));
    std::printf("\n%-26s", "");
    for (std::size_t i = 0; i < columns.size(); ++i) std::printf(" %22s", "wall s, CPU s, MiB");
    std::printf("\n");
    for (std::size_t i = 0; i < set.size(); ++i) {
        if (set[i].kind != "photo-48mp") continue;
        std::printf("%-26s", qPrintable(set[i].file));
        for (const auto& column : columns)
            std::printf("    %6.2f %6.2f %5.0f", column.seconds[i], column.cpu[i], column.peak[i]);
        std::printf("\n");
    }
    if (whole) {
        const QString blank = makeBlankPng(dir, 15000);
        std::printf("%-26s", "blank 15000 x 15000 PNG");
        for (const auto& column : columns) {
            if (column.command.isEmpty()) continue;
            const Run result = run(column.command + QStringList{blank});
            std::printf("    %6.2f %6.2f %5.0f", result.seconds, result.cpu, result.peakMiB);
        }
        std::printf("\n");
        QFile::remove(blank);
    }

    // The targets for the build under test.
    const Column& ours = columns[0];
    std::printf("\n%s: standard error %s\n", qPrintable(ours.name), ours.silent ? "silent for every image" : "NOT SILENT");
    if (command) {
        int over = 0;
        for (std::size_t i = 0; i < set.size(); ++i) over += against(i) > 0.01;
        std::printf("images over the command's CER + 0.01: %d of %zu (target 0)\n", over, set.size());
        std::printf("CER over the set %.3f (target <= 0.02), the command's %.3f\n", mean(ours.cer, "").first,
                    mean(columns.back().cer, "").first);
        std::printf("CER over the photos of pages %.3f (target <= 0.02)\n", mean(ours.cer, "photo").first);
        double theme = 0;
        QString worst;
        for (const QString& kind : kinds)
            if (kind.startsWith("screen") && mean(ours.cer, kind).first >= theme) theme = mean(ours.cer, kind).first, worst = kind;
        std::printf("worst screenshot theme %s %.3f (target <= 0.03)\n", qPrintable(worst), theme);
    }
    return 0;
}
