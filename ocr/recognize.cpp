#include "recognize.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QImageReader>
#include <algorithm>

#include "decode.h"

namespace {

// Large enough for full-size phone photos (Qt refuses images over 128 MB by
// default), small enough that a forged header cannot claim the machine's memory.
constexpr int allocationLimitMB = 1024;
constexpr int maxSide = 32767;
// Phone cameras' usual 12 MP photos still go through Qt; 48 MP ones take the faster path.
constexpr double largeJpegPixels = 20e6;

}  // namespace

// The image in a file, or a null image. Only regular files are read: a FIFO
// would block the run and a directory or device holds no image. The file is
// opened once and checked through its descriptor, so it cannot change between
// the check and the read.
QImage loadImage(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return {};
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) return {};
    // Process-wide, and the workers load at the same time: set once.
    static const bool limited = (QImageReader::setAllocationLimit(allocationLimitMB), true);
    (void)limited;
    constexpr long long maxBytes = allocationLimitMB * 1024LL * 1024;
    const QByteArray head = file.peek(32);
    if (isOtherFormat(head)) {
        if (status.st_size > maxBytes) return {};
        return decodeOther(file.readAll(), maxSide, maxBytes);
    }
    if (isHugePng(head)) return decodeHugePng(file, maxSide, maxBytes);
    // Read by content, not by name; phone photos keep their orientation in EXIF.
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    // Tesseract takes no side over 32767 pixels: refuse such an image before decoding a gigabyte of it.
    const QSize size = reader.size();
    if (size.width() > maxSide || size.height() > maxSide) return {};
    if (reader.format() == "jpeg" && double(size.width()) * size.height() > largeJpegPixels) {
        const auto turn = reader.transformation();
        if (!file.seek(0)) return {};
        QImage grey = decodeLargeJpeg(file.readAll(), turn, maxSide, maxBytes);
        if (!grey.isNull() || !file.seek(0)) return grey;
        // Not one libjpeg hands out as grey (CMYK): Qt's reader converts it.
        QImageReader again(&file);
        again.setAutoTransform(true);
        return again.read();
    }
    return reader.read();
}

// The whole image as opaque 32-bit RGB, or 8-bit grey when it has no colour.
// Transparent parts go onto white: left as they are, dark text on a transparent
// ground reads as black on black. Light text on a clear ground (most of the image clear, what
// is drawn lighter than mid-grey) goes onto black, or it would be white on white.
QImage bitmapOf(const QImage& image) {
    // Grey kept grey: a quarter of the memory, and the same grey in the end.
    const auto format = image.format();
    if ((format == QImage::Format_Grayscale8 || format == QImage::Format_Grayscale16 ||
         format == QImage::Format_Mono || format == QImage::Format_MonoLSB || format == QImage::Format_Indexed8) &&
        !image.hasAlphaChannel() && image.isGrayscale())
        return image.convertToFormat(QImage::Format_Grayscale8);
    if (!image.hasAlphaChannel()) return image.convertToFormat(QImage::Format_RGB32);
    QImage bitmap = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (bitmap.isNull()) return {};
    long long transparent = 0, drawn = 0, light = 0;
    for (int y = 0; y < bitmap.height(); ++y) {
        const auto* pixel = reinterpret_cast<const QRgb*>(bitmap.constScanLine(y));
        for (int x = 0; x < bitmap.width(); ++x) {
            if (qAlpha(pixel[x]) < 128) {
                ++transparent;
                continue;
            }
            ++drawn;
            light += qGray(qUnpremultiply(pixel[x])) > 127;
        }
    }
    const bool onBlack = transparent > drawn && light * 2 > drawn;
    for (int y = 0; y < bitmap.height(); ++y) {
        auto* pixel = reinterpret_cast<QRgb*>(bitmap.scanLine(y));
        for (int x = 0; x < bitmap.width(); ++x) {
            // Premultiplied colour over white, c + (1 - alpha) * 255, or over black, c.
            const int clear = onBlack ? 0 : 255 - qAlpha(pixel[x]);
            pixel[x] = qRgb(qRed(pixel[x]) + clear, qGreen(pixel[x]) + clear, qBlue(pixel[x]) + clear);
        }
    }
    bitmap.reinterpretAsFormat(QImage::Format_RGB32);
    return bitmap;
}

std::optional<std::string> recognize(const std::string& path, TextRecognizer& recognizer) {
    // The image goes as soon as the bitmap is made: for a huge one both would not fit.
    const QImage bitmap = bitmapOf(loadImage(path));
    if (bitmap.isNull()) return std::nullopt;

    TextRequest request;
    request.recognitionLevel = RecognitionLevel::Accurate;
    request.usesLanguageCorrection = true;

    // Exact tag equality, in our order whatever the recogniser's; when it cannot
    // say what it supports, ask for both.
    std::vector<std::string> chosen;
    if (const auto supported = recognizer.supportedLanguages(request)) {
        for (const auto tag : preferredLanguages) {
            if (std::find(supported->begin(), supported->end(), tag) != supported->end()) {
                chosen.emplace_back(tag);
            }
        }
    } else {
        chosen.assign(preferredLanguages.begin(), preferredLanguages.end());
    }
    request.recognitionLanguages = std::move(chosen);

    if (!recognizer.perform(request, bitmap)) return std::nullopt;
    if (!request.results) return std::string();

    std::string text;
    bool first = true;
    for (const auto& observation : *request.results) {
        const auto top = observation.topCandidates(1);
        if (top.empty()) continue;
        // Written so that a confidence that is not a number fails too.
        if (!(top.front().confidence >= minConfidence)) continue;
        if (!first) text += '\n';
        text += top.front().string;
        first = false;
    }
    return text;
}
