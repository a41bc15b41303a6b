#include "evaluation_set.h"

#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <QRegularExpression>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>

namespace {

// ---- Text: the Debian FAQ in English and Russian (packages debian-faq, debian-faq-ru)

struct Faq {
    QStringList titles;      // section titles
    QStringList paragraphs;  // body paragraphs, each joined into one line
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
    return faq;
}

const Faq& faq(bool russian) {
    static const Faq english = readFaq(false), russianFaq = readFaq(true);
    return russian ? russianFaq : english;
}

// Paragraphs from the index'th place on (wrapping round), at least chars characters in all.
QStringList text(bool russian, int index, int chars) {
    const QStringList& all = faq(russian).paragraphs;
    QStringList picked;
    for (int i = index * 7, total = 0; total < chars; ++i) {
        picked << all[i % all.size()];
        total += picked.back().size();
    }
    return picked;
}

QString title(bool russian, int index) {
    const QStringList& all = faq(russian).titles;
    return all[(index * 5) % all.size()];
}

// ---- Pages

struct Page {
    QImage image;  // 8-bit grey
    QString truth;
};

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

// An A4 page at dpi: a bold heading over paragraphs, black on white paper.
Page page(bool russian, int index, const QString& family, double points, double dpi, int chars) {
    QImage image(qRound(8.27 * dpi), qRound(11.69 * dpi), QImage::Format_RGB32);
    image.fill(QColor(252, 252, 250));
    const int margin = qRound(0.8 * dpi), size = qRound(points * dpi / 72);
    QPainter painter(&image);
    const QRect box(margin, margin, image.width() - 2 * margin, image.height() - 2 * margin);
    Page result;
    result.truth = title(russian, index);
    painter.setFont(font(family, size * 3 / 2, true));
    const QRect heading = painter.boundingRect(box, Qt::TextWordWrap, result.truth);
    painter.drawText(heading, Qt::TextWordWrap, result.truth);
    painter.setFont(font(family, size));
    flow(painter, box.adjusted(0, heading.height() + size, 0, 0), text(russian, index, chars), size / 2,
         result.truth);
    painter.end();
    result.image = image.convertToFormat(QImage::Format_Grayscale8);
    return result;
}

// ---- Photos of a page

struct Shot {
    int width = 3000, height = 4000;  // of the photo
    double fill = 0.85;               // page height over photo height
    double keystone = 0.1;            // how much narrower the far edge is
    double turn = 2;                  // degrees
    double light = 0.7;               // light left at the far corner
    double shadow = 0;                // darkening in the shadow over a third of the page
    double curl = 0;                  // lift of the lines near the spine, over the page height
    double blur = 1.2;                // sigma, pixels
    int noise = 6;                    // grey levels
    int quality = 85;                 // JPEG
    std::uint32_t seed = 1;
};

// xorshift32: fast and the same on every machine.
struct Random {
    std::uint32_t state;
    std::uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    int around(int spread) {  // roughly normal, -2 spread .. 2 spread
        return spread == 0 ? 0 : int(next() % (2 * spread + 1)) + int(next() % (2 * spread + 1)) - 2 * spread;
    }
};

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
QImage photograph(const QImage& sheet, const Shot& shot) {
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
                const int wood = 100 + int(12 * std::sin(x * 0.004 + y * 0.0007) + 6 * std::sin(y * 0.05));
                out[x] = qRgb(wood + 30, wood + 8, wood - 20);
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

    Random random{shot.seed * 2654435761u + 1};
    const QPointF edge = place.map(QPointF(pw / 6, 0));  // the shadow covers the page's right third
    const double angle = (shot.turn + 15) * M_PI / 180, soft = 0.03 * ph;
    for (int y = 0; y < shot.height; ++y) {
        auto* out = reinterpret_cast<QRgb*>(photo.scanLine(y));
        for (int x = 0; x < shot.width; ++x) {
            const double fx = double(x) / shot.width, fy = double(y) / shot.height;
            double light = 1 - (1 - shot.light) * (0.6 * fx + 0.4 * fy);
            light *= 1 - 0.35 * ((fx - 0.5) * (fx - 0.5) + (fy - 0.5) * (fy - 0.5));
            if (shot.shadow > 0) {
                const double d = (x - edge.x()) * std::cos(angle) + (y - edge.y()) * std::sin(angle);
                const double t = std::clamp((d + soft) / (2 * soft), 0.0, 1.0);
                light *= 1 - shot.shadow * t * t * (3 - 2 * t);
            }
            const int grain = random.around(shot.noise);
            const auto tone = [&](int c) { return std::clamp(int(c * light) + grain, 0, 255); };
            out[x] = qRgb(tone(qRed(out[x])), tone(qGreen(out[x])), tone(qBlue(out[x])));
        }
    }
    return photo;
}

// ---- Screenshots with small UI text

struct Theme {
    QColor window, bar, ink, faint;
};

// A document window: title bar, text, status line.
Page documentWindow(bool russian, int index, const Theme& theme, const QString& family) {
    QImage image(1280, 800, QImage::Format_RGB32);
    image.fill(theme.window);
    QPainter painter(&image);
    Page result;
    result.truth = title(russian, index + 1);
    painter.fillRect(0, 0, 1280, 34, theme.bar);
    painter.setPen(theme.ink);
    painter.setFont(font(family, 13, true));
    painter.drawText(QRect(0, 0, 1280, 34), Qt::AlignCenter, result.truth);
    painter.setFont(font(family, 12));
    flow(painter, QRect(48, 60, 1100, 690), text(russian, index, 2000), 10, result.truth);
    painter.fillRect(0, 772, 1280, 28, theme.bar);
    painter.setPen(theme.faint);
    painter.setFont(font(family, 11));
    const QString status = russian ? "Сохранено в 14:32 · 1 248 слов" : "Saved at 14:32 · 1,248 words";
    painter.drawText(QRect(16, 772, 800, 28), Qt::AlignVCenter, status);
    result.truth += ' ' + status;
    result.image = image;
    return result;
}

// A messenger: a coloured header, white text on blue bubbles and dark text on white ones.
Page messenger(bool russian, int index, const QString& family) {
    QImage image(1280, 800, QImage::Format_RGB32);
    image.fill(QColor(214, 226, 236));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    Page result;
    const QString name = russian ? "Анна Петрова" : "Anna Peterson", seen = russian ? "в сети" : "online";
    painter.fillRect(0, 0, 1280, 56, QColor(81, 125, 162));
    painter.setPen(Qt::white);
    painter.setFont(font(family, 14, true));
    painter.drawText(24, 24, name);
    painter.setFont(font(family, 12));
    painter.setPen(QColor(200, 220, 240));
    painter.drawText(24, 44, seen);
    result.truth = name + ' ' + seen;
    // Sentences of the FAQ as messages, left and right in turn.
    QStringList sentences;
    for (const QString& paragraph : text(russian, index, 1500))
        sentences << paragraph.split(QRegularExpression("(?<=[.?!])\\s+"), Qt::SkipEmptyParts);
    painter.setFont(font(family, 13));
    int y = 72;
    for (int i = 0; i < sentences.size(); ++i) {
        const bool mine = i % 2 == 1;
        QRect r = painter.boundingRect(QRect(0, 0, 520, 400), Qt::TextWordWrap, sentences[i]);
        const int x = mine ? 1280 - 40 - r.width() : 40;
        if (y + r.height() + 20 > 730) break;
        r.moveTo(x, y + 9);
        painter.setPen(Qt::NoPen);
        painter.setBrush(mine ? QColor(61, 122, 199) : QColor(255, 255, 255));
        painter.drawRoundedRect(r.adjusted(-12, -9, 12, 9), 12, 12);
        painter.setPen(mine ? Qt::white : QColor(20, 20, 20));
        painter.drawText(r, Qt::TextWordWrap, sentences[i]);
        result.truth += ' ' + sentences[i];
        y += r.height() + 30;
    }
    painter.fillRect(0, 744, 1280, 56, Qt::white);
    painter.setPen(QColor(150, 150, 150));
    const QString prompt = russian ? "Написать сообщение…" : "Write a message…";
    painter.drawText(QRect(24, 744, 800, 56), Qt::AlignVCenter, prompt);
    result.truth += ' ' + prompt;
    result.image = image;
    return result;
}

// A web page of coloured panels: a dark menu bar, a blue banner, text, a yellow notice, a green button.
Page panels(bool russian, int index, const QString& family) {
    QImage image(1280, 800, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    Page result;
    const QString menu = russian ? "Главная    Новости    Документация    Загрузка    Контакты"
                                 : "Home    News    Documentation    Download    Contact";
    painter.fillRect(0, 0, 1280, 44, QColor(31, 42, 68));
    painter.setPen(Qt::white);
    painter.setFont(font(family, 13));
    painter.drawText(QRect(32, 0, 1200, 44), Qt::AlignVCenter, menu);
    result.truth = menu;
    const QStringList paragraphs = text(russian, index, 2500);
    const auto panel = [&](const QRect& box, const QColor& ground, const QColor& ink, const QStringList& lines) {
        painter.fillRect(box, ground);
        painter.setPen(ink);
        return flow(painter, box.adjusted(24, 16, -24, -16), lines, 8, result.truth);
    };
    panel(QRect(0, 44, 1280, 120), QColor(37, 99, 235), Qt::white, {title(russian, index), paragraphs[0]});
    const int y = panel(QRect(0, 164, 1280, 420), Qt::white, QColor(30, 30, 30), paragraphs.mid(1, 4));
    panel(QRect(40, y + 8, 1200, 120), QColor(253, 230, 138), QColor(60, 45, 0), paragraphs.mid(3, 1));
    const QString button = russian ? "Скачать Debian" : "Download Debian";
    painter.fillRect(QRect(40, 720, 220, 44), QColor(22, 163, 74));
    painter.setPen(Qt::white);
    painter.setFont(font(family, 14, true));
    painter.drawText(QRect(40, 720, 220, 44), Qt::AlignCenter, button);
    result.truth += ' ' + button;
    result.image = image;
    return result;
}

}  // namespace

std::vector<Sample> makeEvaluationSet(const QDir& dir) {
    std::vector<Sample> set;
    int index = 0;
    const auto save = [&](const QString& kind, bool russian, const QImage& image, const QString& truth,
                          const char* format, int quality = -1) {
        const QString file = QString("%1-%2-%3.%4").arg(kind).arg(russian ? "ru" : "en").arg(++index).arg(
            format == QByteArray("JPEG") ? "jpg" : "png");
        if (!image.save(dir.filePath(file), format, quality)) qFatal("cannot write %s", qPrintable(file));
        set.push_back({kind, file, truth.simplified()});
    };
    const auto scan = [&](const QString& kind, bool russian, const QString& family, double dpi) {
        Page p = page(russian, index, family, 11, dpi, 3200);
        save(kind, russian, p.image, p.truth, "PNG");
    };
    const auto photo = [&](const QString& kind, bool russian, const QString& family, Shot shot) {
        shot.seed = std::uint32_t(index + 1);
        const Page p = page(russian, index, family, 11, shot.fill * shot.height / 11.69, 3200);
        save(kind, russian, photograph(p.image, shot), p.truth, "JPEG", shot.quality);
    };
    scan("scan-300dpi", false, "Liberation Serif", 300);
    scan("scan-300dpi", true, "DejaVu Serif", 300);
    scan("scan-150dpi", false, "Liberation Sans", 150);
    scan("scan-150dpi", true, "Liberation Serif", 150);
    photo("photo", false, "Liberation Serif", {});
    photo("photo", true, "Liberation Sans", {3000, 4000, 0.8, 0.14, -3, 0.65, 0, 0, 1.5, 8, 80});
    photo("photo", true, "DejaVu Serif", {3000, 4000, 0.9, 0.06, 1, 0.8, 0, 0, 1.0, 5, 90});
    photo("shadow", false, "Liberation Sans", {3000, 4000, 0.85, 0.1, 2, 0.75, 0.5, 0, 1.2, 6, 85});
    photo("shadow", true, "Liberation Serif", {3000, 4000, 0.85, 0.08, -1, 0.8, 0.6, 0, 1.2, 6, 85});
    photo("curled", false, "DejaVu Serif", {3000, 4000, 0.85, 0.06, 1, 0.75, 0, 0.025, 1.2, 6, 85});
    photo("curled", true, "Liberation Serif", {3000, 4000, 0.85, 0.08, -2, 0.8, 0, 0.035, 1.2, 6, 85});
    photo("low-res", false, "Liberation Sans", {1200, 1600, 0.92, 0.05, 1, 0.75, 0, 0, 0.7, 4, 75});
    photo("low-res", true, "DejaVu Sans", {1200, 1600, 0.92, 0.06, -1, 0.8, 0, 0, 0.7, 4, 75});
    photo("48mp", false, "Liberation Serif", {6000, 8000, 0.85, 0.1, 2, 0.7, 0, 0, 2.5, 8, 85});
    photo("48mp", true, "Liberation Sans", {6000, 8000, 0.8, 0.12, -2, 0.75, 0, 0, 2.5, 8, 85});
    const Theme light{QColor(250, 250, 250), QColor(228, 228, 228), QColor(30, 30, 30), QColor(110, 110, 110)};
    const Theme dark{QColor(30, 30, 30), QColor(45, 45, 48), QColor(212, 212, 212), QColor(150, 150, 150)};
    for (const bool russian : {false, true}) {
        const QString family = russian ? "DejaVu Sans" : "Liberation Sans";
        Page p = documentWindow(russian, index, light, family);
        save("screen-light", russian, p.image, p.truth, "PNG");
        p = documentWindow(russian, index, dark, family);
        save("screen-dark", russian, p.image, p.truth, "PNG");
        p = russian ? messenger(russian, index, family) : panels(russian, index, family);
        save("screen-colour", russian, p.image, p.truth, "PNG");
    }
    return set;
}

QString makeBlankPng(const QDir& dir, int side) {
    QImage blank(side, side, QImage::Format_RGB32);
    blank.fill(Qt::white);
    const QString path = dir.filePath(QString("blank-%1.png").arg(side));
    if (!blank.save(path)) qFatal("cannot write %s", qPrintable(path));
    return path;
}
