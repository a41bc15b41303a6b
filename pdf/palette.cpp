#include "palette.h"

#include <limits>

const std::vector<std::pair<QString, QString>> palette = {
    {"yellow", "#ffef9e"}, {"green", "#b7f7d1"}, {"red", "#ffc9c4"},  {"orange", "#ffe8cc"},
    {"pink", "#ffd1e8"},   {"purple", "#cbcaff"}, {"blue", "#adf4ff"}, {"sky", "#cfe3ff"},
    {"lime", "#e2f5a6"},   {"gray", "#e4e6ea"},
};

static int hexDigit(QChar c) {
    const char l = c.toLatin1();
    if (l >= '0' && l <= '9') return l - '0';
    if (l >= 'a' && l <= 'f') return l - 'a' + 10;
    if (l >= 'A' && l <= 'F') return l - 'A' + 10;
    return -1;
}

// Reads the way a hexadecimal scanner does: leading white space and an optional "0x" are skipped,
// digits are taken while they last, a value past 64 bits saturates, and no digit at all gives 0.
static quint64 scanHex(const QString &text) {
    int i = 0;
    while (i < text.size() && text[i].isSpace()) ++i;
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        hexDigit(text[i + 2]) >= 0)
        i += 2;
    quint64 value = 0;
    for (int d; i < text.size() && (d = hexDigit(text[i])) >= 0; ++i) {
        if (value >> 60) return std::numeric_limits<quint64>::max();
        value = (value << 4) | quint64(d);
    }
    return value;
}

QColor color(const QString &hex) {
    const quint64 value = scanHex(hex.mid(1));
    return QColor::fromRgbF(float(((value >> 16) & 0xFF) / 255.0), float(((value >> 8) & 0xFF) / 255.0),
                            float((value & 0xFF) / 255.0), 1.0f);
}
