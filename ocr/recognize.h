#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "TextRecognizer.h"

class QImage;

// Narrowed to what the recogniser supports, in this order.
inline constexpr std::array<std::string_view, 2> preferredLanguages{"ru-RU", "en-US"};
// Compared as a 32-bit float: exactly this value still passes.
inline constexpr float minConfidence = 0.3f;

// The text of one image file: its lines, best candidate of each region whose
// confidence reaches minConfidence, joined by line feeds. No value when the file
// cannot be read as an image or recognition fails; an empty string when it was
// read and nothing was kept. The recogniser is used by one thread at a time; calls
// with recognisers of their own may run in parallel. Writes nothing to any stream
// but standard error, which the caller silences.
std::optional<std::string> recognize(const std::string& path, TextRecognizer& recognizer);

// The two steps before recognition, apart for the fuzz targets: the image in a
// regular file, read by content, or a null image (a huge PNG comes as 8-bit grey);
// and that image as opaque 32-bit RGB on white, 8-bit grey when it has no colour,
// or a null image.
QImage loadImage(const std::string& path);
QImage bitmapOf(const QImage& image);
