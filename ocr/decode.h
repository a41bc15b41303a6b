#pragma once

class QByteArray;
class QImage;

// Whether a file's first bytes are those of a format Qt cannot read here (HEIC/HEIF, AVIF, JPEG 2000, PDF).
bool isOtherFormat(const QByteArray& head);

// Such a file decoded, its first page for a PDF; a null image when it is damaged, locked,
// or declares more than maxSide pixels a side or maxBytes of pixels. Writes nothing.
QImage decodeOther(const QByteArray& data, int maxSide, long long maxBytes);
