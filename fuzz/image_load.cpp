// Read an image file the way recognize does and prepare it as the recogniser does before Tesseract.
#include <leptonica/allheaders.h>

#include <QImage>
#include <QImageReader>

#include "prepare.h"
#include "recognize.h"
#include "scratch.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    scratch::silenceQt();
    setMsgSeverity(L_SEVERITY_NONE);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string in = scratch::path("in").toStdString();
    if (!scratch::store(QString::fromStdString(in), data, size)) return 0;
    const QImage image = loadImage(in);
    const QImage bitmap = image.isNull() ? QImage() : bitmapOf(image);
    const PixPtr prepared = bitmap.isNull() ? nullptr : prepareForRecognition(bitmap);
    QImageReader header(QString::fromStdString(in));
    scratch::outcome(header.format(), scratch::magnitude(header.size().width()),
                     scratch::magnitude(header.size().height()), image.format(), bitmap.isNull(),
                     prepared ? scratch::magnitude(pixGetWidth(prepared.get())) : -1);
    return 0;
}
