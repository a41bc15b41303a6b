#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>
#include <cstddef>
#include <cstdint>

// What the fuzz targets share: the programs' silence, and files in a directory of this process's own
// (the code under test reads and writes paths, not memory).
namespace scratch {

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
