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
// read and nothing was kept. Writes nothing to any stream.
std::optional<std::string> recognize(const std::string& path);

// The same with a recogniser of the caller's choosing.
std::optional<std::string> recognize(const std::string& path, TextRecognizer& recognizer);

// The two steps before recognition, apart for the fuzz targets: the image in a
// regular file, read by content, or a null image; and that image as opaque
// 32-bit RGB on white, or a null image.
QImage loadImage(const std::string& path);
QImage bitmapOf(const QImage& image);
