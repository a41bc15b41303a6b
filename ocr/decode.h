#pragma once

#include <QImageIOHandler>

class QByteArray;
class QIODevice;
class QImage;

// Whether a file's first bytes are those of a format Qt cannot read here (HEIC/HEIF, AVIF, JPEG 2000, PDF).
bool isOtherFormat(const QByteArray& head);

// Such a file decoded, its first page for a PDF; a null image when it is damaged, locked,
// or declares more than maxSide pixels a side or maxBytes of pixels. Writes nothing.
QImage decodeOther(const QByteArray& data, int maxSide, long long maxBytes);

// Whether a file's first bytes are those of a PNG too large to hold as 32-bit RGB beside its grey
// copy (over 64 megapixels), which libpng can read row by row (not interlaced).
bool isHugePng(const QByteArray& head);

// Such a PNG read row by row into 8-bit grey, each pixel put on white and made grey as bitmapOf and
// the preparation would; a null image when it is damaged or over maxSide pixels a side or maxBytes
// of 32-bit pixels, the bounds Qt keeps. Writes nothing.
QImage decodeHugePng(QIODevice& file, int maxSide, long long maxBytes);

// A JPEG's luminance alone, turned as its EXIF orientation says, as 8-bit grey: for large photos, whose
// colour the preparation drops anyway and took a second of a 48 MP photo to decode and convert. A null
// image when it is damaged, not of one or three channels, or over the bounds Qt keeps. Writes nothing.
QImage decodeLargeJpeg(const QByteArray& data, QImageIOHandler::Transformations turn, int maxSide,
                       long long maxBytes);
