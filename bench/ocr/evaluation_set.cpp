#include "evaluation_set.h"

#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// ---- Chance: splitmix64, the same on every machine

struct Random {
    std::uint64_t state;
    std::uint32_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return std::uint32_t((z ^ (z >> 31)) >> 32);
    }
    double uniform(double low, double high) { return low + (high - low) * (next() / 4294967296.0); }
    int between(int low, int high) { return low + int(next() % std::uint32_t(high - low + 1)); }
    bool chance(double p) { return uniform(0, 1) < p; }
    int around(int spread) {  // roughly normal, -2 spread .. 2 spread
        return spread == 0 ? 0 : between(-spread, spread) + between(-spread, spread);
    }
    template <class T>
    T pick(std::initializer_list<T> items) {
        return items.begin()[next() % items.size()];
    }
};

// ---- Text: the Debian FAQ in English and Russian (packages debian-faq, debian-faq-ru)

struct Faq {
    QStringList titles;      // section titles
    QStringList paragraphs;  // body paragraphs, each joined into one line
    QStringList words;       // of letters only, for interface labels, tables and code
};

bool inScript(const QString& text, bool russian) {
    int cyrillic = 0, latin = 0;
    for (const QChar c : text) {
        if (c.script() == QChar::Script_Cyrillic) ++cyrillic;
        if (c.script() == QChar::Script_Latin) ++latin;
    }
    return russian ? cyrillic > 0 && latin * 20 <= cyrillic : cyrillic == 0 && latin > 0;
}

// Addresses and file names are left out: wrapped across lines in the text version, they
// hold spaces that are not in the document.
bool prose(const QString& text) {
    static const QRegularExpression odd("https?:|www\\.|@|_|\\.(org|com|net)\\b|/(usr|etc|var)");
    return !text.contains(odd);
}

Faq readFaq(bool russian) {
    QProcess gzip;
    gzip.start("gzip", {"-dc", QString("/usr/share/doc/debian/FAQ/debian-faq.%1.txt.gz").arg(russian ? "ru" : "en")});
    gzip.waitForFinished(-1);
    // Its spaces are partly no-break spaces.
    const QStringList lines = QString::fromUtf8(gzip.readAllStandardOutput()).replace(QChar(0xA0), ' ').split('\n');
    static const QRegularExpression numbered("^[0-9]+\\.[0-9]+\\. ");
    Faq faq;
    QString paragraph, title;
    const auto keep = [&](QString& text, QStringList& into, int minLength) {
        text = text.simplified();
        if (text.size() >= minLength && prose(text) && inScript(text, russian)) into << text;
        text.clear();
    };
    for (const QString& line : lines) {
        if (line.startsWith("    ") && !line.trimmed().isEmpty()) {
            paragraph += ' ' + line;
            continue;
        }
        keep(paragraph, faq.paragraphs, 160);
        if (numbered.match(line).hasMatch()) {
            keep(title, faq.titles, 10);
            title = line.mid(line.indexOf(' ') + 1);
        } else if (!title.isEmpty() && !line.trimmed().isEmpty()) {
            title += ' ' + line;
        } else {
            keep(title, faq.titles, 10);
        }
    }
    if (faq.titles.isEmpty() || faq.paragraphs.isEmpty()) qFatal("no text in the Debian FAQ: is debian-faq installed?");
    // Distinct words in the page's script, so that "Debian" does not fill a Russian table.
    static const QRegularExpression word(russian ? "^[а-яё]{3,12}$" : "^[a-z]{3,12}$",
                                         QRegularExpression::CaseInsensitiveOption);
    for (const QString& p : faq.paragraphs)
        for (const QString& w : p.split(' '))
            if (word.match(w).hasMatch() && !faq.words.contains(w)) faq.words << w;
    return faq;
}

const Faq& faq(bool russian) {
    static const Faq english = readFaq(false), russianFaq = readFaq(true);
    return russian ? russianFaq : english;
}

// Paragraphs from a random place on (wrapping round), at least chars characters in all.
QStringList paragraphs(bool russian, Random& random, int chars) {
    const QStringList& all = faq(russian).paragraphs;
    QStringList picked;
    for (int i = random.between(0, int(all.size()) - 1), total = 0; total < chars; ++i) {
        picked << all[i % all.size()];
        total += picked.back().size();
    }
    return picked;
}

QString title(bool russian, Random& random) {
    const QStringList& all = faq(russian).titles;
    return all[random.between(0, int(all.size()) - 1)];
}

QString words(bool russian, Random& random, int count) {
    const QStringList& all = faq(russian).words;
    QStringList picked;
    for (int i = 0; i < count; ++i) picked << all[random.between(0, int(all.size()) - 1)];
    return picked.join(' ');
}

QFont font(const QString& family, int pixels, bool bold = false) {
    QFont f(family);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// Paragraphs in a box from top down, each wrapped; the truth is what fitted.
int flow(QPainter& painter, const QRect& box, const QStringList& paragraphs, int gap, QString& truth) {
    int y = box.top();
    for (const QString& paragraph : paragraphs) {
        const QRect r = painter.boundingRect(QRect(box.left(), y, box.width(), box.height()), Qt::TextWordWrap,
                                             paragraph);
        if (r.bottom() > box.bottom()) break;
        painter.drawText(r, Qt::TextWordWrap, paragraph);
        truth += ' ' + paragraph;
        y = r.bottom() + gap;
    }
    return y;
}

// ---- Pages

// An A4 page at dpi, 8-bit grey: a bold heading over paragraphs, black on white or cream paper.
QImage page(bool russian, Random& random, double dpi, QString& truth) {
    QImage image(qRound(8.27 * dpi), qRound(11.69 * dpi), QImage::Format_RGB32);
    image.fill(QColor::fromHsv(40, random.between(0, 25), random.between(238, 253)));
    const QString family = random.pick({"DejaVu Serif", "DejaVu Sans", "Liberation Serif", "Liberation Sans"});
    const int margin = qRound(random.uniform(0.6, 1.0) * dpi), size = qRound(random.uniform(10, 12.5) * dpi / 72);
    QPainter painter(&image);
    painter.setPen(QColor::fromHsv(0, 0, random.between(0, 40)));
    const QRect box(margin, margin, image.width() - 2 * margin, image.height() - 2 * margin);
    truth = title(russian, random);
    painter.setFont(font(family, size * 3 / 2, true));
    const QRect heading = painter.boundingRect(box, Qt::TextWordWrap, truth);
    painter.drawText(heading, Qt::TextWordWrap, truth);
    painter.setFont(font(family, size));
    flow(painter, box.adjusted(0, heading.height() + size, 0, 0), paragraphs(russian, random, random.between(1500, 3200)),
         size / 2, truth);
    painter.end();
    return image.convertToFormat(QImage::Format_Grayscale8);
}

// A flat scan: the page a little skewed on the glass, a little noise, maybe stored turned.
QImage scan(const QImage& sheet, Random& random, int quarterTurns) {
    QImage glass(sheet.size(), QImage::Format_RGB32);
    glass.fill(Qt::white);
    QPainter painter(&glass);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(sheet.width() / 2.0, sheet.height() / 2.0);
    painter.rotate(random.uniform(-1.5, 1.5));
    painter.drawImage(-sheet.width() / 2, -sheet.height() / 2, sheet);
    painter.end();
    QImage grey = glass.convertToFormat(QImage::Format_Grayscale8);
    const int noise = random.between(0, 2);
    for (int y = 0; noise && y < grey.height(); ++y) {
        uchar* line = grey.scanLine(y);
        for (int x = 0; x < grey.width(); ++x) line[x] = uchar(std::clamp(line[x] + random.around(noise), 0, 255));
    }
    return quarterTurns ? grey.transformed(QTransform().rotate(90 * quarterTurns)) : grey;
}

// ---- Photos of a page

struct Shot {
    int width = 3000, height = 4000;  // of the photo
    double fill = 0.85;               // page height over photo height
    double keystone = 0.1;            // how much narrower the far edge is
    double turn = 2;                  // degrees
    double light = 0.7;               // light left where it falls off most
    double lightAngle = 0.6;          // the direction it falls off to, radians
    enum Shape { None, Edge, Blob, Corner } shape = None;
    double shadow = 0;                // darkening in the shadow
    QPointF shadowAt{0.5, 0.5};       // in the photo, 0..1
    double shadowAngle = 0, shadowSize = 0.3, soft = 0.03;
    double curl = 0;                  // lift of the lines near the spine, over the page height
    double blur = 1.2;                // sigma, pixels
    int noise = 6;                    // grey levels
    int quality = 85;                 // JPEG
    QColor table{130, 108, 80};
};

Shot randomShot(Random& random, int width, int height) {
    Shot shot;
    shot.width = width;
    shot.height = height;
    shot.fill = random.uniform(0.55, 0.95);
    shot.keystone = random.uniform(0, 0.15);
    shot.turn = random.uniform(-5, 5);
    shot.light = random.uniform(0.6, 0.95);
    shot.lightAngle = random.uniform(0, 2 * M_PI);
    shot.blur = random.uniform(0.5, 2.0) * width / 3000;
    shot.noise = random.between(2, 9);
    shot.quality = random.between(60, 95);
    // Wood, a dark desk, a near-white table, grey cloth.
    const int tone = random.between(0, 3);
    shot.table = tone == 0   ? QColor::fromHsv(random.between(20, 35), random.between(90, 160), random.between(90, 170))
                 : tone == 1 ? QColor::fromHsv(random.between(0, 359), random.between(0, 60), random.between(20, 55))
                 : tone == 2 ? QColor::fromHsv(random.between(0, 359), random.between(0, 20), random.between(222, 242))
                             : QColor::fromHsv(random.between(0, 359), random.between(0, 40), random.between(110, 170));
    return shot;
}

double smoothstep(double edge, double soft, double d) {
    const double t = std::clamp((d - edge + soft) / (2 * soft), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// How much of the shadow falls on a point of the photo (0..1 in each direction).
double inShadow(const Shot& shot, double fx, double fy) {
    const double dx = fx - shot.shadowAt.x(), dy = fy - shot.shadowAt.y();
    const double c = std::cos(shot.shadowAngle), s = std::sin(shot.shadowAngle);
    switch (shot.shape) {
    case Shot::None: return 0;
    case Shot::Edge: return smoothstep(0, shot.soft, dx * c + dy * s);  // a straight edge: a wall, an arm
    case Shot::Blob: {  // a head or a phone held over the page
        const double u = (dx * c + dy * s) / shot.shadowSize, v = (dy * c - dx * s) / (0.6 * shot.shadowSize);
        return 1 - smoothstep(1, shot.soft / shot.shadowSize, std::hypot(u, v));
    }
    case Shot::Corner: return smoothstep(0, shot.soft, dx * c + dy * s) * smoothstep(0, shot.soft, dy * c - dx * s);
    }
    return 0;
}

// Three box blurs in each direction, close to a Gaussian of the given sigma.
void blur(QImage& image, double sigma) {
    const int radius = qRound((std::sqrt(4 * sigma * sigma + 1) - 1) / 2);
    if (radius < 1) return;
    const int w = image.width(), h = image.height(), window = 2 * radius + 1;
    std::vector<std::uint8_t> line(std::size_t(std::max(w, h)) * 4);
    const auto pass = [&](int count, int length, const std::function<std::uint8_t*(int, int)>& at) {
        for (int i = 0; i < count; ++i) {
            for (int j = 0; j < length; ++j) std::copy_n(at(i, j), 4, &line[std::size_t(j) * 4]);
            for (int c = 0; c < 4; ++c) {
                int sum = 0;
                for (int j = -radius - 1; j < radius; ++j) sum += line[std::size_t(std::clamp(j, 0, length - 1)) * 4 + c];
                for (int j = 0; j < length; ++j) {
                    sum += line[std::size_t(std::min(j + radius, length - 1)) * 4 + c] -
                           line[std::size_t(std::max(j - radius - 1, 0)) * 4 + c];
                    at(i, j)[c] = std::uint8_t(sum / window);
                }
            }
        }
    };
    for (int round = 0; round < 3; ++round) {
        pass(h, w, [&](int y, int x) { return image.scanLine(y) + 4 * x; });
        pass(w, h, [&](int x, int y) { return image.scanLine(y) + 4 * x; });
    }
}

// The page lying on a table, taken from above at a slant: keystone, a turn, light falling
// off and vignetting, maybe a shadow and a curl, then blur, noise (and JPEG when saved).
QImage photograph(const QImage& sheet, const Shot& shot, Random& random) {
    const double ph = shot.fill * shot.height, pw = ph * sheet.width() / sheet.height();
    const double top = pw * (1 - shot.keystone) / 2, bottom = pw / 2;
    QTransform place;
    place.translate(shot.width / 2.0, shot.height / 2.0).rotate(shot.turn);
    const QPolygonF quad = place.map(QPolygonF{{-top, -ph / 2}, {top, -ph / 2}, {bottom, ph / 2}, {-bottom, ph / 2}});
    const double sw = sheet.width(), sh = sheet.height();
    QTransform toSheet;
    QTransform::quadToQuad(quad, QPolygonF{{0, 0}, {sw, 0}, {sw, sh}, {0, sh}}, toSheet);

    QImage photo(shot.width, shot.height, QImage::Format_RGB32);
    const uchar* bits = sheet.constBits();
    const qsizetype stride = sheet.bytesPerLine();
    for (int y = 0; y < shot.height; ++y) {
        auto* out = reinterpret_cast<QRgb*>(photo.scanLine(y));
        for (int x = 0; x < shot.width; ++x) {
            const QPointF p = toSheet.map(QPointF(x + 0.5, y + 0.5));
            const double u = p.x() - 0.5;
            // Near the spine (the left edge) the lines rise off the table.
            const double v = p.y() - 0.5 + shot.curl * sh * std::pow(std::max(0.0, 1 - u / (0.4 * sw)), 2);
            if (u < 0 || v < 0 || u >= sw - 1 || v >= sh - 1) {
                const double grain = 0.06 * std::sin(x * 0.004 + y * 0.0007) + 0.03 * std::sin(y * 0.05);
                const auto tone = [&](int c) { return std::clamp(int(c * (1 + grain)), 0, 255); };
                out[x] = qRgb(tone(shot.table.red()), tone(shot.table.green()), tone(shot.table.blue()));
                continue;
            }
            const int u0 = int(u), v0 = int(v);
            const double fu = u - u0, fv = v - v0;
            const uchar* row = bits + v0 * stride + u0;
            const double g = (row[0] * (1 - fu) + row[1] * fu) * (1 - fv) + (row[stride] * (1 - fu) + row[stride + 1] * fu) * fv;
            out[x] = qRgb(int(g), int(g * 0.98), int(g * 0.94));  // warm light on white paper
        }
    }
    blur(photo, shot.blur);

    const double c = std::cos(shot.lightAngle), s = std::sin(shot.lightAngle);
    for (int y = 0; y < shot.height; ++y) {
        auto* out = reinterpret_cast<QRgb*>(photo.scanLine(y));
        for (int x = 0; x < shot.width; ++x) {
            const double fx = double(x) / shot.width, fy = double(y) / shot.height;
            const double towards = std::clamp(0.5 + ((fx - 0.5) * c + (fy - 0.5) * s) / M_SQRT2, 0.0, 1.0);
            double light = 1 - (1 - shot.light) * towards;
            light *= 1 - 0.35 * ((fx - 0.5) * (fx - 0.5) + (fy - 0.5) * (fy - 0.5));
            light *= 1 - shot.shadow * inShadow(shot, fx, fy);
            const int grain = random.around(shot.noise);
            const auto tone = [&](int c) { return std::clamp(int(c * light) + grain, 0, 255); };
            out[x] = qRgb(tone(qRed(out[x])), tone(qGreen(out[x])), tone(qBlue(out[x])));
        }
    }
    return photo;
}

// ---- Screenshots

struct Theme {
    QColor window, bar, ink, faint;
    QColor accent, accentInk;  // buttons, own chat bubbles, coloured bars
    QColor keyword, string;    // code
    bool darkPanels = false;   // a dark header and side bar on a light window
    bool coloured = false;     // a coloured header, a notice and a button
};

QColor jitter(Random& random, const QColor& c, int spread = 4) {
    return QColor(std::clamp(c.red() + random.around(spread), 0, 255), std::clamp(c.green() + random.around(spread), 0, 255),
                  std::clamp(c.blue() + random.around(spread), 0, 255));
}

Theme theme(const QString& name, Random& random) {
    const auto j = [&](int r, int g, int b) { return jitter(random, QColor(r, g, b)); };
    Theme t{j(250, 250, 250), j(232, 232, 232), j(30, 30, 30), j(110, 110, 110), j(0, 110, 210), Qt::white,
            j(160, 30, 150), j(163, 21, 21)};
    if (name == "sepia") {
        t.window = j(244, 236, 216), t.bar = j(230, 218, 192), t.ink = j(91, 70, 50), t.faint = j(135, 110, 85);
        t.accent = j(150, 100, 55), t.accentInk = j(250, 244, 230);
    } else if (name == "tint") {
        const int hue = random.between(0, 359);
        t.window = QColor::fromHsv(hue, random.between(15, 55), random.between(228, 250));
        t.bar = QColor::fromHsv(hue, random.between(40, 80), random.between(210, 230));
        t.ink = QColor::fromHsv(hue, random.between(0, 120), random.between(10, 70));
        t.faint = QColor::fromHsv(hue, 60, 105);
    } else if (name == "low-contrast") {
        const int ground = random.between(205, 245);
        t.window = jitter(random, QColor(ground, ground, ground), 6);
        t.bar = t.window.darker(108);
        t.ink = jitter(random, QColor(ground - random.between(95, 135), ground - 110, ground - 110), 6);
        t.faint = t.ink;
    } else if (name.startsWith("dark")) {
        t.accentInk = j(230, 235, 240), t.keyword = j(198, 120, 221), t.string = j(152, 195, 121);
        if (name == "dark-black") {
            const int ground = random.between(8, 34);
            t.window = QColor(ground, ground, ground + 2), t.bar = t.window.lighter(150);
            t.ink = jitter(random, QColor(210, 210, 210), 12), t.faint = j(145, 145, 145), t.accent = j(38, 79, 120);
        } else if (name == "dark-slate") {
            t.window = j(43, 48, 59), t.bar = j(52, 61, 70), t.ink = j(192, 197, 206), t.faint = j(150, 160, 170);
            t.accent = j(79, 91, 102);
        } else if (name == "dark-solar") {
            t.window = j(0, 43, 54), t.bar = j(7, 54, 66), t.ink = random.pick({QColor(131, 148, 150), QColor(147, 161, 161)});
            t.faint = j(120, 135, 140), t.accent = j(38, 139, 210), t.keyword = j(133, 153, 0), t.string = j(42, 161, 152);
        } else {  // dark blue
            t.window = j(24, 36, 64), t.bar = j(34, 50, 86), t.ink = j(205, 214, 232), t.faint = j(140, 158, 190);
            t.accent = j(60, 96, 170);
        }
    } else if (name == "panels") {
        t.darkPanels = true;
        t.accent = QColor::fromHsv(random.between(200, 240), random.between(20, 90), random.between(25, 70));
        t.accentInk = j(235, 235, 235);
    } else if (name == "colour") {
        t.coloured = true;
        t.window = Qt::white;
        t.accent = QColor::fromHsv(random.between(0, 359), random.between(130, 220), random.between(110, 190));
    }
    return t;
}

QString identifier(Random& random) {
    return words(false, random, 1).toLower() + random.pick({"", "_count", "_name", "_list", "s"});
}

// Lines of code in the style of a script, its comments and strings in the text's language.
void code(QPainter& painter, const QRect& box, const Theme& t, bool russian, Random& random, QString& truth) {
    const int line = painter.fontMetrics().height() * 3 / 2;
    const int space = painter.fontMetrics().horizontalAdvance(' ');
    int indent = 0;
    for (int y = box.top() + line; y < box.bottom(); y += line) {
        const int kind = random.between(0, 4);
        QList<std::pair<QColor, QString>> parts;
        if (kind == 0) {
            indent = 0;
            parts = {{t.keyword, "def"}, {t.ink, identifier(random) + "(" + identifier(random) + ", " + identifier(random) + "):"}};
        } else if (kind == 1) {
            parts = {{t.faint, "# " + words(russian, random, random.between(3, 7))}};
        } else if (kind == 2) {
            parts = {{t.ink, identifier(random) + " ="}, {t.string, "\"" + words(russian, random, random.between(2, 4)) + "\""}};
        } else if (kind == 3) {
            parts = {{t.keyword, "if"}, {t.ink, identifier(random) + " > " + QString::number(random.between(0, 999)) + ":"}};
        } else {
            parts = {{t.keyword, "return"}, {t.ink, identifier(random) + "." + identifier(random) + "()"}};
        }
        int x = box.left() + indent * 4 * space;
        for (const auto& [colour, text] : parts) {
            painter.setPen(colour);
            painter.drawText(x, y, text);
            x += painter.fontMetrics().horizontalAdvance(text + ' ');
            truth += ' ' + text;
        }
        indent = std::min(kind == 0 || kind == 3 ? indent + 1 : indent, 2);
    }
}

// Messages left and right in turn, on bubbles.
void chat(QPainter& painter, const QRect& box, const Theme& t, bool russian, Random& random, QString& truth) {
    QStringList sentences;
    for (const QString& paragraph : paragraphs(russian, random, 1500))
        sentences << paragraph.split(QRegularExpression("(?<=[.?!])\\s+"), Qt::SkipEmptyParts);
    const bool dark = t.window.lightness() < 128;
    const QColor theirs = dark ? t.window.lighter(160) : (t.coloured ? QColor(238, 240, 243) : t.bar);
    const int pad = painter.fontMetrics().height() * 2 / 3;
    int y = box.top();
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < sentences.size(); ++i) {
        const bool mine = i % 2 == 1;
        QRect r = painter.boundingRect(QRect(0, 0, box.width() * 3 / 5, 400), Qt::TextWordWrap, sentences[i]);
        if (y + r.height() + 2 * pad > box.bottom()) break;
        r.moveTo(mine ? box.right() - pad - r.width() : box.left() + pad, y + pad);
        painter.setPen(Qt::NoPen);
        painter.setBrush(mine ? t.accent : theirs);
        painter.drawRoundedRect(r.adjusted(-pad, -pad * 3 / 4, pad, pad * 3 / 4), pad, pad);
        painter.setPen(mine ? t.accentInk : t.ink);
        painter.drawText(r, Qt::TextWordWrap, sentences[i]);
        truth += ' ' + sentences[i];
        y += r.height() + 2 * pad + pad;
    }
}

// A table of packages, row by row, lined, its columns as wide as their cells.
void table(QPainter& painter, const QRect& box, const Theme& t, bool russian, Random& random, QString& truth) {
    std::vector<QStringList> rows{russian ? QStringList{"Пакет", "Версия", "Размер", "Описание"}
                                          : QStringList{"Package", "Version", "Size", "Description"}};
    for (int r = random.between(5, 12); r > 0; --r)
        rows.push_back({words(russian, random, 1).toLower(),
                        QString("%1.%2-%3").arg(random.between(0, 9)).arg(random.between(0, 40)).arg(random.between(1, 9)),
                        QString("%1 kB").arg(random.between(10, 9000)), words(russian, random, random.between(2, 5))});
    QFont bold = painter.font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    const int row = metrics.height() * 2, gap = metrics.horizontalAdvance("M") * random.between(2, 4);
    int widths[4] = {};
    for (const QStringList& cells : rows)
        for (int c = 0; c < 4; ++c) widths[c] = std::max(widths[c], metrics.horizontalAdvance(cells[c]) + gap);
    const QFont plain = painter.font();
    int y = box.top();
    for (std::size_t r = 0; r < rows.size() && y + row <= box.bottom(); ++r, y += row) {
        painter.fillRect(QRect(box.left(), y, box.width(), row), r == 0 ? t.bar : r % 2 ? t.window : t.window.darker(104));
        painter.setPen(t.faint);
        painter.drawLine(box.left(), y + row - 1, box.right(), y + row - 1);
        painter.setPen(t.ink);
        painter.setFont(r == 0 ? bold : plain);
        for (int c = 0, x = box.left() + gap / 2; c < 4; x += widths[c++]) {
            painter.drawText(QRect(x, y, widths[c], row), Qt::AlignVCenter, rows[r][c]);
            truth += ' ' + rows[r][c];
        }
    }
    painter.setFont(plain);
}

// A window with a title bar, a body laid out as a document, a chat, code or a table, and a status line.
QImage screenshot(const QString& themeName, bool russian, Random& random, QString& truth) {
    const Theme t = theme(themeName, random);
    const QSize size = random.pick({QSize(1280, 800), QSize(1366, 768), QSize(1024, 768), QSize(1440, 900)});
    const int pixels = random.between(10, 18);
    const QString layout = random.pick({"document", "chat", "code", "table"});
    const QString family = layout == "code" ? random.pick({"DejaVu Sans Mono", "Liberation Mono"})
                                            : random.pick({"DejaVu Sans", "DejaVu Serif", "DejaVu Sans Mono",
                                                           "Liberation Sans", "Liberation Serif"});
    QImage image(size, QImage::Format_RGB32);
    image.fill(t.window);
    QPainter painter(&image);
    const int barHeight = pixels * 5 / 2, w = size.width(), h = size.height();
    const bool bright = t.darkPanels || t.coloured;
    painter.fillRect(0, 0, w, barHeight, bright ? t.accent : t.bar);
    painter.setPen(bright ? t.accentInk : t.ink);
    painter.setFont(font(family, pixels, true));
    QStringList heading = title(russian, random).split(' ');
    while (heading.size() > 1 && painter.fontMetrics().horizontalAdvance(heading.join(' ')) > w - 4 * pixels)
        heading.removeLast();
    truth = heading.join(' ');
    painter.drawText(QRect(pixels, 0, w - 2 * pixels, barHeight), Qt::AlignCenter, truth);
    int left = random.between(16, 60);
    painter.setFont(font(family, pixels));
    if (t.darkPanels) {  // a side bar of menu entries
        const int side = pixels * 15;
        painter.fillRect(0, barHeight, side, h - barHeight, t.accent);
        painter.setPen(t.accentInk);
        for (int i = 0, y = barHeight + pixels * 3; i < random.between(4, 8); ++i, y += pixels * 3) {
            const QString entry = words(russian, random, random.between(1, 2));
            painter.drawText(pixels, y, entry);
            truth += ' ' + entry;
        }
        left += side;
    }
    const int statusHeight = pixels * 2;
    QRect body(left, barHeight + pixels * 2, w - left - random.between(16, 60), h - barHeight - statusHeight - pixels * 4);
    QString below;  // read after the body
    if (t.coloured) {  // a notice and a button under the body
        const QString notice = words(russian, random, random.between(4, 8)), button = words(russian, random, 2);
        body.setBottom(body.bottom() - pixels * 8);
        QRect box(body.left(), body.bottom() + pixels, body.width(), pixels * 3);
        const QColor ground = random.pick({QColor(253, 230, 138), QColor(254, 202, 202), QColor(187, 247, 208)});
        painter.fillRect(box, ground);
        painter.setPen(QColor(60, 45, 0));
        painter.drawText(box.adjusted(pixels, 0, 0, 0), Qt::AlignVCenter, notice);
        box = QRect(body.left(), box.bottom() + pixels, painter.fontMetrics().horizontalAdvance(button) + 3 * pixels,
                    pixels * 3);
        painter.fillRect(box, QColor::fromHsv(random.between(0, 359), random.between(150, 220), random.between(120, 170)));
        painter.setPen(Qt::white);
        painter.drawText(box, Qt::AlignCenter, button);
        below = ' ' + notice + ' ' + button;
    }
    painter.setPen(t.ink);
    if (layout == "document") {
        flow(painter, body, paragraphs(russian, random, 3000), pixels, truth);
    } else if (layout == "chat") {
        chat(painter, body, t, russian, random, truth);
    } else if (layout == "code") {
        code(painter, body, t, russian, random, truth);
    } else {
        table(painter, body, t, russian, random, truth);
    }
    truth += below;
    painter.fillRect(0, h - statusHeight, w, statusHeight, bright ? t.accent : t.bar);
    painter.setPen(bright ? t.accentInk : t.faint);
    painter.setFont(font(family, std::max(10, pixels - 1)));
    const QString status = russian ? QString("Сохранено в 14:%1 · %2 слов").arg(random.between(10, 59)).arg(random.between(100, 999))
                                   : QString("Saved at 14:%1 · %2 words").arg(random.between(10, 59)).arg(random.between(100, 999));
    painter.drawText(QRect(left, h - statusHeight, w, statusHeight), Qt::AlignVCenter, status);
    truth += ' ' + status;
    return image;
}

// ---- The plan

struct Kind {
    const char* name;
    int count;
};

// Screenshots in each theme, photos of pages, scans; about twelve minutes on two cores.
const Kind kinds[] = {
    {"screen-light", 7}, {"screen-sepia", 6}, {"screen-tint", 7}, {"screen-low-contrast", 6},
    {"screen-dark-black", 7}, {"screen-dark-slate", 6}, {"screen-dark-solar", 6}, {"screen-dark-blue", 6},
    {"screen-panels", 7}, {"screen-colour", 7},
    {"photo-plain", 10}, {"photo-shadow", 10}, {"photo-curl", 6}, {"photo-low-res", 6}, {"photo-48mp", 3},
    {"scan-upright", 12}, {"scan-turned", 8},
};

std::uint64_t mix(std::uint32_t seed, const QString& kind, int number) {
    std::uint64_t h = 1469598103934665603ull ^ seed;
    for (const char c : kind.toUtf8()) h = (h ^ std::uint8_t(c)) * 1099511628211ull;
    return (h ^ std::uint64_t(number)) * 1099511628211ull;
}

}  // namespace

std::vector<Sample> evaluationPlan() {
    std::vector<Sample> plan;
    for (const Kind& kind : kinds)
        for (int n = 1; n <= kind.count; ++n)
            plan.push_back({kind.name, n, QString("%1-%2.%3").arg(kind.name).arg(n).arg(
                                              QString(kind.name).startsWith("photo") ? "jpg" : "png"), {}});
    return plan;
}

QString drawSample(const QDir& dir, std::uint32_t seed, const Sample& sample) {
    Random random{mix(seed, sample.kind, sample.number)};
    const bool russian = random.chance(0.5);
    QString truth;
    QImage image;
    int quality = -1;
    if (sample.kind.startsWith("screen-")) {
        image = screenshot(sample.kind.mid(7), russian, random, truth);
    } else if (sample.kind.startsWith("scan")) {
        const QImage sheet = page(russian, random, random.uniform(150, 600), truth);
        image = scan(sheet, random, sample.kind == "scan-turned" ? random.pick({1, 2, 3}) : 0);
    } else {
        const bool huge = sample.kind == "photo-48mp", low = sample.kind == "photo-low-res";
        const QSize size = huge ? QSize(6000, 8000) : low ? random.pick({QSize(960, 1280), QSize(1200, 1600)}) : QSize(3000, 4000);
        Shot shot = randomShot(random, size.width(), size.height());
        if (sample.kind == "photo-shadow") {
            shot.shape = random.pick({Shot::Edge, Shot::Blob, Shot::Corner});
            shot.shadow = random.uniform(0.3, 0.65);
            shot.shadowAt = QPointF(random.uniform(0.3, 0.7), random.uniform(0.3, 0.7));
            shot.shadowAngle = random.uniform(0, 2 * M_PI);
            shot.shadowSize = random.uniform(0.2, 0.4);
            shot.soft = random.uniform(0.01, 0.08);
        }
        if (sample.kind == "photo-curl") shot.curl = random.uniform(0.015, 0.04);
        const QImage sheet = page(russian, random, shot.fill * shot.height / 11.69, truth);
        image = photograph(sheet, shot, random);
        quality = shot.quality;
    }
    if (!image.save(dir.filePath(sample.file), nullptr, quality)) qFatal("cannot write %s", qPrintable(sample.file));
    return truth.simplified();
}

QString makeBlankPng(const QDir& dir, int side) {
    QImage blank(side, side, QImage::Format_RGB32);
    blank.fill(Qt::white);
    const QString path = dir.filePath(QString("blank-%1.png").arg(side));
    if (!blank.save(path)) qFatal("cannot write %s", qPrintable(path));
    return path;
}
