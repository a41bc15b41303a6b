#include "decode.h"

#include "prepare.h"

#include <leptonica/allheaders.h>
#include <libheif/heif.h>
#include <png.h>
#include <poppler/qt6/poppler-qt6.h>

#include <QByteArray>
#include <QIODevice>
#include <QImageIOHandler>
#include <QImage>
#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

bool isHeif(const QByteArray& head) { return head.size() >= 12 && head.mid(4, 4) == "ftyp"; }
bool isPdf(const QByteArray& head) { return head.startsWith("%PDF-"); }
bool isJpeg2000(const QByteArray& head) {
    return head.startsWith("\xFF\x4F\xFF\x51") || head.startsWith(QByteArray("\0\0\0\x0CjP  \r\n\x87\n", 12));
}

// Through Leptonica, which reads JPEG 2000 with OpenJPEG.
QImage decodeJpeg2000(const QByteArray& data, int maxSide, long long maxBytes) {
    const auto* bytes = reinterpret_cast<const l_uint8*>(data.constData());
    l_int32 w = 0, h = 0;
    if (readHeaderMemJp2k(bytes, data.size(), &w, &h, nullptr, nullptr, nullptr) != 0) return {};
    if (w <= 0 || h <= 0 || w > maxSide || h > maxSide || 4LL * w * h > maxBytes) return {};
    PIX* read = pixReadMemJp2k(bytes, data.size(), 1, nullptr, 0, 0);
    PIX* rgb = read ? pixConvertTo32(read) : nullptr;
    pixDestroy(&read);
    if (!rgb) return {};
    QImage image(pixGetWidth(rgb), pixGetHeight(rgb), QImage::Format_RGB32);
    for (int y = 0; !image.isNull() && y < image.height(); ++y) {
        const l_uint32* line = pixGetData(rgb) + y * pixGetWpl(rgb);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            l_int32 r, g, b;
            extractRGBValues(line[x], &r, &g, &b);
            out[x] = qRgb(r, g, b);
        }
    }
    pixDestroy(&rgb);
    return image;
}

QImage decodeHeif(const QByteArray& data, int maxSide, long long maxBytes) {
    const std::unique_ptr<heif_context, decltype(&heif_context_free)> context(heif_context_alloc(),
                                                                               heif_context_free);
    if (!context) return {};
    heif_context_set_maximum_image_size_limit(context.get(), maxSide);
    if (heif_context_read_from_memory_without_copy(context.get(), data.constData(), data.size(), nullptr).code !=
        heif_error_Ok)
        return {};
    heif_image_handle* rawHandle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok) return {};
    const std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)> handle(
        rawHandle, heif_image_handle_release);
    // Sizes after the container's rotation, which heif_decode_image applies by default.
    const long long width = heif_image_handle_get_width(handle.get());
    const long long height = heif_image_handle_get_height(handle.get());
    if (width <= 0 || height <= 0 || width > maxSide || height > maxSide || width * height * 4 > maxBytes)
        return {};
    heif_image* rawImage = nullptr;
    if (heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr)
            .code != heif_error_Ok)
        return {};
    const std::unique_ptr<heif_image, decltype(&heif_image_release)> image(rawImage, heif_image_release);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int w = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int h = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!plane || w <= 0 || h <= 0 || w > maxSide || h > maxSide) return {};
    return QImage(plane, w, h, stride, QImage::Format_RGBA8888).copy();
}

// 300 dpi, the usual resolution for recognition, fewer when the page is large.
QImage renderPdf(const QByteArray& data, int maxSide, long long maxBytes) {
    // Poppler's messages go to standard error; its handler is process-wide, so set it once.
    static const bool silenced =
        (Poppler::setDebugErrorFunction([](const QString&, const QVariant&) {}, QVariant()), true);
    (void)silenced;
    const std::unique_ptr<Poppler::Document> document = Poppler::Document::loadFromData(data);
    if (!document || document->isLocked() || document->numPages() < 1) return {};
    const std::unique_ptr<Poppler::Page> page = document->page(0);
    if (!page) return {};
    const QSizeF points = page->pageSizeF();
    if (!(points.width() > 0 && points.height() > 0)) return {};
    constexpr int pixelCap = 7000;
    double dpi = 300;
    const double longest = std::max(points.width(), points.height()) * dpi / 72;
    if (longest > std::min(pixelCap, maxSide)) dpi *= std::min(pixelCap, maxSide) / longest;
    if (points.width() * points.height() * dpi * dpi / 72 / 72 * 4 > maxBytes) return {};
    return page->renderToImage(dpi, dpi);
}

std::uint32_t bigEndian(const QByteArray& bytes, int at) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | std::uint8_t(bytes[at + i]);
    return value;
}

void readFrom(png_structp png, png_bytep data, std::size_t length) {
    auto* file = static_cast<QIODevice*>(png_get_io_ptr(png));
    if (file->read(reinterpret_cast<char*>(data), qint64(length)) != qint64(length)) png_error(png, nullptr);
}

// Apart from decodeHugePng so that every object a longjmp leaves behind lives in the caller.
bool readGreyPng(png_structp png, png_infop info, QImage& grey, std::vector<png_byte>& row, int maxSide,
                 long long maxBytes) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE || w == 0 || h == 0 ||
        w > png_uint_32(maxSide) || h > png_uint_32(maxSide) || 4LL * w * h > maxBytes)
        return false;
    // Every kind of PNG as 8-bit RGBA, as Qt would hand it to bitmapOf.
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != 4 * w) return false;
    row.resize(4 * w);
    grey = QImage(int(w), int(h), QImage::Format_Grayscale8);
    if (grey.isNull()) return false;
    for (int y = 0; y < int(h); ++y) {
        png_read_row(png, row.data(), nullptr);
        uchar* out = grey.scanLine(y);
        for (int x = 0; x < int(w); ++x) {
            const png_byte* p = &row[std::size_t(4 * x)];
            if (p[3] == 255) {
                out[x] = uchar(qGray(p[0], p[1], p[2]));
                continue;
            }
            const QRgb on = qPremultiply(qRgba(p[0], p[1], p[2], p[3]));
            const int clear = 255 - p[3];
            out[x] = uchar(qGray(qRed(on) + clear, qGreen(on) + clear, qBlue(on) + clear));
        }
    }
    png_read_end(png, nullptr);
    return true;
}

}  // namespace

bool isHugePng(const QByteArray& head) {
    // The signature, then IHDR: width, height, depth, colour type, compression, filter, interlace.
    if (head.size() < 29 || !head.startsWith("\x89PNG\r\n\x1A\n") || head.mid(12, 4) != "IHDR") return false;
    return double(bigEndian(head, 16)) * bigEndian(head, 20) > 64e6 && head[28] == 0;
}

QImage decodeHugePng(QIODevice& file, int maxSide, long long maxBytes) {
    // Errors end in a longjmp, silently: libpng's own handlers print them.
    const auto fail = [](png_structp png, png_const_charp) { png_longjmp(png, 1); };
    const auto warn = [](png_structp, png_const_charp) {};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, fail, warn);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    QImage grey;
    std::vector<png_byte> row;
    if (info) {
        png_set_read_fn(png, &file, readFrom);
        if (!readGreyPng(png, info, grey, row, maxSide, maxBytes)) grey = QImage();
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return grey;
}

QImage decodeLargeJpeg(const QByteArray& data, QImageIOHandler::Transformations turn, int maxSide,
                       long long maxBytes) {
    const auto* bytes = reinterpret_cast<const l_uint8*>(data.constData());
    l_int32 w = 0, h = 0;
    if (readHeaderMemJpeg(bytes, std::size_t(data.size()), &w, &h, nullptr, nullptr, nullptr) != 0) return {};
    if (w <= 0 || h <= 0 || w > maxSide || h > maxSide || 4LL * w * h > maxBytes) return {};
    l_int32 warnings = 0;
    PixPtr grey(pixReadMemJpeg(bytes, std::size_t(data.size()), 0, 1, &warnings, L_JPEG_READ_LUMINANCE));
    if (!grey || pixGetDepth(grey.get()) != 8) return {};
    // As the camera meant it, in Qt's order: mirrored first, then turned.
    if (turn & QImageIOHandler::TransformationMirror) pixFlipLR(grey.get(), grey.get());
    if (turn & QImageIOHandler::TransformationFlip) pixFlipTB(grey.get(), grey.get());
    if (turn & QImageIOHandler::TransformationRotate90) grey.reset(pixRotate90(grey.get(), 1));
    if (!grey) return {};
    // Leptonica keeps the bytes of each 32-bit word in the machine's order; swapped, its lines
    // are those of a grey QImage, which takes them over without a copy.
    pixEndianByteSwap(grey.get());
    Pix* pix = grey.release();
    QImage image(reinterpret_cast<uchar*>(pixGetData(pix)), pixGetWidth(pix), pixGetHeight(pix),
                 4 * pixGetWpl(pix), QImage::Format_Grayscale8, [](void* p) { pixDestroy(reinterpret_cast<Pix**>(&p)); }, pix);
    if (image.isNull()) pixDestroy(&pix);
    return image;
}

bool isOtherFormat(const QByteArray& head) { return isHeif(head) || isPdf(head) || isJpeg2000(head); }

QImage decodeOther(const QByteArray& data, int maxSide, long long maxBytes) {
    if (isHeif(data)) return decodeHeif(data, maxSide, maxBytes);
    if (isJpeg2000(data)) return decodeJpeg2000(data, maxSide, maxBytes);
    if (isPdf(data)) return renderPdf(data, maxSide, maxBytes);
    return {};
}
