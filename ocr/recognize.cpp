#include "recognize.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QImageReader>
#include <algorithm>

#include "TesseractRecognizer.h"
#include "decode.h"

namespace {

// Points standard error at /dev/null for its lifetime. Qt hands libpng no error
// function, so libpng prints its errors ("libpng error: Read Error" for a cut-off
// file) to standard error itself; the program's caller must see nothing there.
class SilencedStandardError {
public:
    SilencedStandardError() : saved_(::dup(STDERR_FILENO)) {
        if (saved_ < 0) return;  // could not be put back
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            ::dup2(null, STDERR_FILENO);
            ::close(null);
        }
    }
    ~SilencedStandardError() {
        if (saved_ < 0) return;
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }
    SilencedStandardError(const SilencedStandardError&) = delete;
    SilencedStandardError& operator=(const SilencedStandardError&) = delete;

private:
    int saved_;
};

// Large enough for full-size phone photos (Qt refuses images over 128 MB by
// default), small enough that a forged header cannot claim the machine's memory.
constexpr int allocationLimitMB = 1024;
constexpr int maxSide = 32767;

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
    QImageReader::setAllocationLimit(allocationLimitMB);
    const SilencedStandardError silenced;
    if (isOtherFormat(file.peek(16))) {
        constexpr long long maxBytes = allocationLimitMB * 1024LL * 1024;
        if (status.st_size > maxBytes) return {};
        return decodeOther(file.readAll(), maxSide, maxBytes);
    }
    // Read by content, not by name; phone photos keep their orientation in EXIF.
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    // Silenced before the header is read: libpng reports an invalid one ("Invalid IHDR data") there.
    // Tesseract takes no side over 32767 pixels: refuse such an image before decoding a gigabyte of it.
    const QSize size = reader.size();
    if (size.width() > maxSide || size.height() > maxSide) return {};
    return reader.read();
}

// The whole image as opaque 32-bit RGB. Transparent parts go onto white: left
// as they are, dark text on a transparent ground reads as black on black.
QImage bitmapOf(const QImage& image) {
    if (!image.hasAlphaChannel()) return image.convertToFormat(QImage::Format_RGB32);
    QImage bitmap = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (bitmap.isNull()) return {};
    for (int y = 0; y < bitmap.height(); ++y) {
        auto* pixel = reinterpret_cast<QRgb*>(bitmap.scanLine(y));
        for (int x = 0; x < bitmap.width(); ++x) {
            // Premultiplied colour over white: c + (1 - alpha) * 255.
            const int clear = 255 - qAlpha(pixel[x]);
            pixel[x] = qRgb(qRed(pixel[x]) + clear, qGreen(pixel[x]) + clear, qBlue(pixel[x]) + clear);
        }
    }
    bitmap.reinterpretAsFormat(QImage::Format_RGB32);
    return bitmap;
}

std::optional<std::string> recognize(const std::string& path, TextRecognizer& recognizer) {
    const QImage image = loadImage(path);
    if (image.isNull()) return std::nullopt;
    const QImage bitmap = bitmapOf(image);
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

std::optional<std::string> recognize(const std::string& path) {
    // Kept for the whole run: it holds the loaded models. Never destroyed:
    // Tesseract's dictionary cache, a static of its own, is torn down first at
    // exit, and the engine would then hand its dictionaries back to a dead cache.
    static auto* const recognizer = new TesseractRecognizer;
    return recognize(path, *recognizer);
}
