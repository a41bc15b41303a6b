#pragma once

#include <QDir>
#include <QFile>
#include <QHashFunctions>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>
#include <cstddef>
#include <cstdint>

// What the fuzz targets share: the programs' silence, files in a directory of this process's own (the
// code under test reads and writes paths, not memory), and what the libraries made of an input.
namespace scratch {

// Debian builds Poppler and Qt without coverage, so libFuzzer sees only our code and throws away inputs
// that lead the libraries somewhere new. What they made of an input (a format, a count, a size) lands in
// libFuzzer's extra counters instead: a new combination counts as new coverage.
__attribute__((section("__libfuzzer_extra_counters"))) static uint8_t outcomes[1 << 14];

// 0 for 0, else the number of binary digits: sizes that differ a little count as the same.
inline int magnitude(qint64 n) {
    int bits = 0;
    for (quint64 v = quint64(n < 0 ? -n : n); v; v >>= 1) ++bits;
    return n < 0 ? -bits : bits;
}

template <typename... Parts>
void outcome(const Parts &...parts) {
    ++outcomes[qHashMulti(0, parts...) % sizeof outcomes];
}

inline void silenceQt() {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
}

inline QString path(const char *name) {
    static QTemporaryDir dir(QDir::tempPath() + "/tavrin-fuzz-XXXXXX");
    return dir.filePath(QString::fromLatin1(name));
}

inline bool store(const QString &file, const uint8_t *data, size_t size) {
    QFile f(file);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           f.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size);
}

}  // namespace scratch
