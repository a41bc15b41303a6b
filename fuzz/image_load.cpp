// Read an image file the way recognize does before it hands the bitmap to the recogniser.
#include <QImage>
#include <QImageReader>

#include "recognize.h"
#include "scratch.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    scratch::silenceQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string in = scratch::path("in").toStdString();
    if (!scratch::store(QString::fromStdString(in), data, size)) return 0;
    const QImage image = loadImage(in);
    const QImage bitmap = image.isNull() ? QImage() : bitmapOf(image);
    QImageReader header(QString::fromStdString(in));
    scratch::outcome(header.format(), scratch::magnitude(header.size().width()),
                     scratch::magnitude(header.size().height()), image.format(), bitmap.isNull());
    return 0;
}
