#pragma once

#include <QColor>
#include <QString>
#include <utility>
#include <vector>

// The ten highlight colours as (name, hex) pairs, in swatch order. Entry 0 is the batch colour.
extern const std::vector<std::pair<QString, QString>> palette;

// An opaque sRGB colour from "#rrggbb": the first character is dropped whatever it is, the rest is read
// as a hexadecimal number (0 when it has no leading digit) and its low 24 bits are red, green and blue.
QColor color(const QString &hex);
