// Accuracy, time and memory of tavrin-ocr beside the tesseract command, on a generated
// evaluation set whose text is known (see evaluation_set.h).
//
//   ocr-bench [--set DIR] [--no-command] [PROGRAM...]
//
// PROGRAM: builds of tavrin-ocr to compare, the first one the one under test (default
// build/tavrin-ocr). --set DIR keeps the images in DIR and reuses a set already there.
// --no-command skips the tesseract command. Character error rate (CER): Levenshtein distance
// over NFKC text with white space collapsed, divided by the truth's length; a kind's CER and
// the set's are means over their images, so that each image counts once.

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
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

// The set as kept in DIR/set.tsv: kind, file, truth.
std::vector<Sample> loadSet(const QDir& dir) {
    std::vector<Sample> set;
    QFile file(dir.filePath("set.tsv"));
    if (!file.open(QIODevice::ReadOnly)) return set;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 3) set.push_back({fields[0], fields[1], QString::fromUtf8(fields[2])});
    }
    return set;
}

void saveSet(const QDir& dir, const std::vector<Sample>& set) {
    QFile file(dir.filePath("set.tsv"));
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write set.tsv");
    for (const Sample& sample : set) file.write((sample.kind + '\t' + sample.file + '\t' + sample.truth + '\n').toUtf8());
}

struct Column {
    Column(const QString& name, const QStringList& command) : name(name), command(command) {}
    QString name;
    QStringList command;  // the file's path is appended
    std::vector<double> cer, seconds, cpu, peak;
    bool silent = true;
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QTemporaryDir temporary;
    QString setDir = temporary.path();
    bool command = true;
    if (args.size() >= 2 && args[0] == "--set") {
        setDir = args[1];
        args = args.mid(2);
    }
    if (!args.isEmpty() && args[0] == "--no-command") {
        command = false;
        args.removeFirst();
    }
    if (args.isEmpty()) args << "build/tavrin-ocr";
    const QDir dir(setDir);
    dir.mkpath(".");

    std::vector<Sample> set = loadSet(dir);
    if (set.empty()) {
        QElapsedTimer timer;
        timer.start();
        set = makeEvaluationSet(dir);
        saveSet(dir, set);
        std::printf("evaluation set: %zu images written to %s in %.0f s\n", set.size(), qPrintable(dir.path()),
                    timer.elapsed() / 1000.0);
    }

    std::vector<Column> columns;
    for (const QString& program : args) columns.emplace_back(QFileInfo(program).fileName(), QStringList{program});
    if (columns.size() > 1) columns[0].name += "*";
    if (command) columns.emplace_back("tesseract", QStringList{"tesseract", "-", "stdout", "-l", "rus+eng"});

    std::printf("\n%-22s %6s", "image", "chars");
    for (const auto& column : columns) std::printf(" %14.14s", qPrintable(column.name));
    std::printf("   (CER / seconds)\n");
    for (const Sample& sample : set) {
        const QString path = dir.filePath(sample.file), truth = normalized(sample.truth);
        std::printf("%-22s %6lld", qPrintable(sample.file), static_cast<long long>(truth.size()));
        for (auto& column : columns) {
            QStringList words = column.command;
            if (column.name == "tesseract") words[1] = path; else words << path;
            const Run result = run(words);
            column.cer.push_back(cer(normalized(QString::fromUtf8(result.out)), truth));
            column.seconds.push_back(result.seconds);
            column.cpu.push_back(result.cpu);
            column.peak.push_back(result.peakMiB);
            column.silent = column.silent && (column.name == "tesseract" || result.err.isEmpty());
            std::printf("   %5.3f %6.2f", column.cer.back(), result.seconds);
            std::fflush(stdout);
        }
        std::printf("\n");
    }

    // CER per kind, in the order the kinds first appear.
    std::printf("\n%-22s %6s", "CER per kind", "images");
    for (const auto& column : columns) std::printf(" %14.14s", qPrintable(column.name));
    std::printf("\n");
    QStringList kinds;
    for (const Sample& sample : set)
        if (!kinds.contains(sample.kind)) kinds << sample.kind;
    const auto mean = [&](const std::vector<double>& values, const QString& kind) {
        double sum = 0;
        int count = 0;
        for (std::size_t i = 0; i < set.size(); ++i) {
            if (!kind.isEmpty() && set[i].kind != kind) continue;
            sum += values[i];
            ++count;
        }
        return std::make_pair(count ? sum / count : 0.0, count);
    };
    for (const QString& kind : kinds + QStringList{""}) {
        std::printf("%-22s %6d", kind.isEmpty() ? "all" : qPrintable(kind), mean(columns[0].cer, kind).second);
        for (const auto& column : columns) std::printf(" %14.3f", mean(column.cer, kind).first);
        std::printf("\n");
    }

    // Time: each file in its own run, and the whole set in one run as the caller runs it.
    QStringList paths;
    for (const Sample& sample : set) paths << dir.filePath(sample.file);
    std::printf("\n%-32s %22s %22s\n", "time, s (wall / CPU)", "run per file", "one run");
    double commandTotal = 0;
    for (auto& column : columns) {
        double total = 0, cpu = 0;
        for (double s : column.seconds) total += s;
        for (double s : column.cpu) cpu += s;
        if (column.name == "tesseract") {
            commandTotal = total;
            std::printf("%-32s %14.1f %7.1f\n", "tesseract (its default threads)", total, cpu);
            continue;
        }
        const Run whole = run(column.command + paths);
        std::printf("%-32s %14.1f %7.1f %14.1f %7.1f\n", qPrintable(column.name), total, cpu, whole.seconds,
                    whole.cpu);
        column.seconds.push_back(whole.seconds);
    }

    // The largest images: time and peak memory of each file's own run.
    std::printf("\n%-26s", "large images");
    for (const auto& column : columns) std::printf(" %22.22s", qPrintable(column.name));
    std::printf("\n%-26s", "");
    for (std::size_t i = 0; i < columns.size(); ++i) std::printf(" %22s", "wall s, CPU s, MiB");
    std::printf("\n");
    for (std::size_t i = 0; i < set.size(); ++i) {
        if (set[i].kind != "48mp") continue;
        std::printf("%-26s", qPrintable(set[i].file));
        for (const auto& column : columns)
            std::printf("    %6.2f %6.2f %5.0f", column.seconds[i], column.cpu[i], column.peak[i]);
        std::printf("\n");
    }
    const QString blank = makeBlankPng(dir, 15000);
    std::printf("%-26s", "blank 15000 x 15000 PNG");
    for (const auto& column : columns) {
        if (column.name == "tesseract") continue;
        const Run result = run(column.command + QStringList{blank});
        std::printf("    %6.2f %6.2f %5.0f", result.seconds, result.cpu, result.peakMiB);
    }
    std::printf("\n");
    QFile::remove(blank);

    // The targets for the build under test.
    const Column& ours = columns[0];
    std::printf("\n%s: standard error %s\n", qPrintable(ours.name), ours.silent ? "silent for every image" : "NOT SILENT");
    if (command) {
        const double all = mean(ours.cer, "").first, cmd = mean(columns.back().cer, "").first;
        std::printf("CER over the set %.3f (target <= 0.03), %.0f%% of the command's (target <= 25%%)\n", all,
                    cmd > 0 ? 100 * all / cmd : 0.0);
        double photos = 0;
        int count = 0;
        for (std::size_t i = 0; i < set.size(); ++i) {
            if (set[i].kind.startsWith("screen") || set[i].kind.startsWith("scan")) continue;
            photos += ours.cer[i];
            ++count;
        }
        std::printf("CER over the photos %.3f (target <= 0.03)\n", count ? photos / count : 0.0);
        std::printf("whole set in one run: %.0f%% of the command's wall time run per file (target <= 25%%)\n",
                    100 * ours.seconds.back() / commandTotal);
    }
    return 0;
}
