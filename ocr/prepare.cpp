#include "prepare.h"

#include <leptonica/allheaders.h>

#include <QImage>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

void PixDeleter::operator()(Pix* pix) const { pixDestroy(&pix); }

namespace {

// The resolution an x-height of one pixel stands for: 24 px is 9 pt text at 400 dpi.
constexpr double dpiPerXHeight = 400.0 / 24;

struct LeptonicaDeleter {
    void operator()(Box* box) const { boxDestroy(&box); }
    void operator()(Boxa* boxa) const { boxaDestroy(&boxa); }
    void operator()(Pixa* pixa) const { pixaDestroy(&pixa); }
    void operator()(Pta* pta) const { ptaDestroy(&pta); }
};
using BoxPtr = std::unique_ptr<Box, LeptonicaDeleter>;
using BoxaPtr = std::unique_ptr<Boxa, LeptonicaDeleter>;
using PixaPtr = std::unique_ptr<Pixa, LeptonicaDeleter>;
using PtaPtr = std::unique_ptr<Pta, LeptonicaDeleter>;

int width(Pix* pix) { return pixGetWidth(pix); }
int height(Pix* pix) { return pixGetHeight(pix); }
double area(Pix* pix) { return double(width(pix)) * height(pix); }

int count(Pix* binary) {
    l_int32 n = 0;
    pixCountPixels(binary, &n, nullptr);
    return n;
}

// A copy at most side pixels long, for the steps that only look; scale is its size over the original's.
PixPtr reduced(Pix* grey, int side, float& scale) {
    scale = std::min(1.0f, float(side) / float(std::max(width(grey), height(grey))));
    return PixPtr(scale < 1 ? pixScaleAreaMap(grey, scale, scale) : pixCopy(nullptr, grey));
}

// 1 where darker than the Otsu threshold; null when Leptonica finds none.
PixPtr darkOf(Pix* grey) {
    l_int32 threshold = 128;
    if (pixSplitDistributionFgBg(grey, 0.0f, 1, &threshold, nullptr, nullptr, nullptr) != 0) return nullptr;
    return PixPtr(pixThresholdToBinary(grey, threshold));
}

// An image dark all over (a dark theme) made light all over: the steps after this one assume
// a light background, and flattening it destroyed light text on dark.
PixPtr invertIfDark(PixPtr grey) {
    float scale = 1;
    const PixPtr small = reduced(grey.get(), 600, scale);
    l_uint32 median = 255;
    if (!small || pixGetRankValue(small.get(), 1, 0.5f, &median) != 0) return grey;
    if (median >= 100) return grey;
    // Light text is thin; a solid light part is a page lying on a dark desk, or a light panel,
    // which the panel step judges on its own. Dark themes have none; a page half in shadow
    // on a dark desk showed 9 % of the image.
    const PixPtr light(pixThresholdToBinary(small.get(), 128));
    if (!light || !pixInvert(light.get(), light.get()) || !pixOpenBrick(light.get(), light.get(), 9, 9) ||
        count(light.get()) > 0.03 * area(small.get()))
        return grey;
    PixPtr inverted(pixInvert(nullptr, grey.get()));
    return inverted ? std::move(inverted) : std::move(grey);
}

// The pixels of grey lighter than level (or darker, when lighter is false) within mask.
int beyond(Pix* grey, Pix* mask, int level, bool lighter) {
    if (level < 0 || level > 255) return 0;
    PixPtr side(pixThresholdToBinary(grey, std::clamp(lighter ? level + 1 : level, 0, 256)));
    if (side && lighter) pixInvert(side.get(), side.get());
    if (!side || !pixAnd(side.get(), side.get(), mask)) return 0;
    return count(side.get());
}

// Each horizontal rule carried on through the frame at its ends: a window's bars run its whole
// width, with a side bar between them.
void extendThrough(Pix* rules, Pix* frame) {
    const int w = width(rules), h = height(rules);
    const l_int32 rulesWpl = pixGetWpl(rules), frameWpl = pixGetWpl(frame);
    for (int y = 0; y < h; ++y) {
        l_uint32* rule = pixGetData(rules) + static_cast<std::ptrdiff_t>(y) * rulesWpl;
        const l_uint32* inFrame = pixGetData(frame) + static_cast<std::ptrdiff_t>(y) * frameWpl;
        for (int x = 0; x < w; ++x) {
            if (!GET_DATA_BIT(rule, x)) continue;
            for (int left = x - 1; left >= 0 && GET_DATA_BIT(inFrame, left) && !GET_DATA_BIT(rule, left); --left)
                SET_DATA_BIT(rule, left);
            int end = x;
            while (end + 1 < w && GET_DATA_BIT(rule, end + 1)) ++end;
            for (int right = end + 1; right < w && GET_DATA_BIT(inFrame, right); ++right) SET_DATA_BIT(rule, right);
            x = end;
        }
    }
}

// The side bars of a window's frame: strips along its left or right edge, at most half its width,
// that keep one width down at least half its height, below any title bar and above any status
// bar that run across. As fractions of the frame's size.
std::vector<Region> sideBarsOf(Pix* frame) {
    const int w = width(frame), h = height(frame);
    const l_int32 wpl = pixGetWpl(frame);
    std::vector<Region> bars;
    for (const bool left : {true, false}) {
        std::vector<int> run(std::size_t(h), 0);
        for (int y = 0; y < h; ++y) {
            const l_uint32* row = pixGetData(frame) + static_cast<std::ptrdiff_t>(y) * wpl;
            int& n = run[std::size_t(y)];
            while (n < w && GET_DATA_BIT(row, left ? n : w - 1 - n)) ++n;
        }
        std::vector<int> widths;
        for (const int n : run)
            if (n >= w / 25 && n <= w / 2) widths.push_back(n);
        if (int(widths.size()) < h / 2) continue;
        std::nth_element(widths.begin(), widths.begin() + std::ptrdiff_t(widths.size() / 2), widths.end());
        const int side = widths[widths.size() / 2];
        int first = 0, best = -1, bestLength = 0;
        for (int y = 0; y <= h; ++y) {
            if (y < h && std::abs(run[std::size_t(y)] - side) <= 2) continue;
            if (y - first > bestLength) best = first, bestLength = y - first;
            first = y + 1;
        }
        if (bestLength < h / 2) continue;
        const double from = left ? 0 : double(w - side) / w, to = left ? double(side) / w : 1;
        bars.push_back({from, double(best) / h, to, double(best + bestLength) / h});
    }
    return bars;
}

// A stroke of large text is a flat part too: one nested in another part, enclosing at most two
// holes (a letter's counters) that are flat or at a flat part's rim, at least a fifth flat. Taken
// for a panel, a dark letter was inverted as one holding light text, and a light letter in a dark
// banner kept as one holding dark text. A panel's holes are its text, whose strokes are not flat.
bool letterStroke(Pix* part, Pix* holes, Pix* flat, Pix* inside) {
    const PixPtr nested(pixAnd(nullptr, part, inside));
    l_int32 counters = 3;
    if (!nested || count(nested.get()) <= 0.9 * count(part) || pixCountConnComp(holes, 8, &counters) != 0 ||
        counters > 2)
        return false;
    const PixPtr flatHoles(pixAnd(nullptr, holes, flat));
    const PixPtr nearFlat(flatHoles ? pixDilateBrick(nullptr, flatHoles.get(), 5, 5) : nullptr);
    return nearFlat && pixAnd(nearFlat.get(), nearFlat.get(), holes) && 5 * count(flatHoles.get()) >= count(holes) &&
           2 * count(nearFlat.get()) > count(holes);
}

// Light text on dark ground turned dark on light, panel by panel: each flat stretch of one
// colour (a window, a bar, a bubble, a button) is judged by the text it holds, lighter or
// darker than itself, whatever its own brightness; a panel inside another is judged on its
// own, and one without text keeps what holds it. A single threshold for the whole image
// took a mid-tone bubble for dark and cut it into pieces, some inverted, some not.
// sideBars receives the side bars of a dark frame.
PixPtr invertLightText(PixPtr grey, std::vector<Region>& sideBars) {
    float scale = 1;
    const PixPtr small = reduced(grey.get(), 1200, scale);
    if (!small) return grey;
    const int w = width(small.get()), h = height(small.get());
    const PixPtr edges(pixSobelEdgeFilter(small.get(), L_ALL_EDGES));
    const PixPtr flat(edges ? pixThresholdToBinary(edges.get(), 8) : nullptr);
    Pixa* parts = nullptr;
    const BoxaPtr boxes(flat ? pixConnComp(flat.get(), &parts, 4) : nullptr);
    const PixaPtr owned(parts);
    const PixPtr mask(pixCreate(w, h, 1));
    if (!boxes || !mask) return grey;
    struct Panel {
        PixPtr region;
        int x, y, size;
        bool invert;
    };
    std::vector<Panel> panels;
    // Each part large enough with what it encloses, and all that the parts enclose: a part
    // lying there is nested in another.
    std::vector<std::pair<int, PixPtr>> enclosing;
    const PixPtr inside(pixCreate(w, h, 1));
    if (!inside) return grey;
    for (int i = 0; i < pixaGetCount(parts); ++i) {
        const PixPtr part(pixaGetPix(parts, i, L_CLONE));
        if (count(part.get()) < std::max(200.0, 0.001 * w * h)) continue;
        PixPtr holes(pixHolesByFilling(part.get(), 8));
        if (!holes) continue;
        l_int32 x = 0, y = 0;
        pixaGetBoxGeometry(parts, i, &x, &y, nullptr, nullptr);
        pixRasterop(inside.get(), x, y, width(holes.get()), height(holes.get()), PIX_SRC | PIX_DST, holes.get(), 0, 0);
        enclosing.emplace_back(i, std::move(holes));
    }
    for (const auto& [i, enclosed] : enclosing) {
        const PixPtr part(pixaGetPix(parts, i, L_CLONE));
        l_int32 x = 0, y = 0, pw = 0, ph = 0;
        pixaGetBoxGeometry(parts, i, &x, &y, &pw, &ph);
        const BoxPtr box(boxCreate(x, y, pw, ph));
        const PixPtr flatHere(box ? pixClipRectangle(flat.get(), box.get(), nullptr) : nullptr);
        const PixPtr insideHere(box ? pixClipRectangle(inside.get(), box.get(), nullptr) : nullptr);
        if (!flatHere || !insideHere) continue;
        Pix* holes = enclosed.get();
        if (letterStroke(part.get(), holes, flatHere.get(), insideHere.get())) continue;
        // Its holes hold its text, but a hole as large as a page lying on a dark table is no text.
        const PixPtr text(pixSelectBySize(holes, 0, h / 4, 4, L_SELECT_HEIGHT, L_SELECT_IF_LT, nullptr));
        PixPtr region(text ? pixOr(nullptr, part.get(), text.get()) : nullptr);
        const PixPtr here(box ? pixClipRectangle(small.get(), box.get(), nullptr) : nullptr);
        const PixPtr ink(region ? pixSubtract(nullptr, region.get(), flatHere.get()) : nullptr);
        l_float32 ground = 0;
        if (!here || !ink || pixGetRankValueMasked(here.get(), part.get(), 0, 0, 1, 0.5f, &ground, nullptr) != 0)
            continue;
        // Ink clearly apart from the ground; the rest is the soft edge of a stroke.
        constexpr int apart = 32;
        const int light = beyond(here.get(), ink.get(), int(ground) + apart, true);
        const int dark = beyond(here.get(), ink.get(), int(ground) - apart, false);
        if (light + dark < 20) continue;
        const int size = count(region.get());
        if (light > 2 * dark) panels.push_back({std::move(region), x, y, size, true});
        else if (dark > 2 * light) panels.push_back({std::move(region), x, y, size, false});
    }
    if (std::none_of(panels.begin(), panels.end(), [](const Panel& p) { return p.invert; })) return grey;
    // Outer panels first, so that those inside them have the last word.
    std::sort(panels.begin(), panels.end(), [](const Panel& a, const Panel& b) { return a.size > b.size; });
    for (const Panel& p : panels)
        pixRasterop(mask.get(), p.x, p.y, width(p.region.get()), height(p.region.get()),
                    p.invert ? PIX_SRC | PIX_DST : PIX_DST & PIX_NOT(PIX_SRC), p.region.get(), 0, 0);
    if (count(mask.get()) == 0) return grey;
    // The soft outline of an inverted panel is no flat ground: left as it was, it stayed a dark
    // frame around the panel, and Tesseract read its sides as brackets. It takes the inverted
    // panels' ground: made white, it left a dark line along the panel's rim once the background
    // was flattened, which Tesseract read as quotes and underscores before the lines.
    const PixPtr around(pixDilateBrick(nullptr, mask.get(), 7, 7));
    if (around) pixSubtract(around.get(), around.get(), mask.get());
    l_float32 panelGround = 0;
    if (pixGetRankValueMasked(small.get(), mask.get(), 0, 0, 1, 0.5f, &panelGround, nullptr) != 0) panelGround = 0;
    // A long horizontal side of a window's inverted frame (a title or status bar) parts the
    // layout: drawn as a thin dark rule, Tesseract read the title before a side bar and the
    // status line after the body; left white, it read the side bar first and the title as the
    // head of the body beside it. Only panels reaching the image's edge: a bubble parts nothing.
    // Only a frame that holds a side bar, reaching down half the image: ruled off, a lone title
    // or status bar made Tesseract read a chat's bubbles on the left before those on the right.
    const PixPtr border(pixExtractBorderConnComps(mask.get(), 8));
    const PixPtr frame(border ? pixSelectBySize(border.get(), 0, h / 2, 8, L_SELECT_HEIGHT, L_SELECT_IF_GTE,
                                                nullptr)
                              : nullptr);
    const PixPtr ring(frame ? pixDilateBrick(nullptr, frame.get(), 3, 3) : nullptr);
    if (ring) pixSubtract(ring.get(), ring.get(), frame.get());
    const PixPtr rules(ring ? pixOpenBrick(nullptr, ring.get(), std::max(2, w / 4), 1) : nullptr);
    if (rules) extendThrough(rules.get(), frame.get());
    if (frame) sideBars = sideBarsOf(frame.get());
    const int gw = width(grey.get()), gh = height(grey.get());
    const PixPtr full(pixScaleToSize(mask.get(), gw, gh));
    const PixPtr outline(around ? pixScaleToSize(around.get(), gw, gh) : nullptr);
    const PixPtr rule(rules ? pixScaleToSize(rules.get(), gw, gh) : nullptr);
    const PixPtr inverted(pixInvert(nullptr, grey.get()));
    if (!full || !outline || !inverted) return grey;
    pixCombineMasked(grey.get(), inverted.get(), full.get());
    pixSetMasked(grey.get(), outline.get(), 255 - l_uint32(std::lround(panelGround)));
    if (rule) pixSetMasked(grey.get(), rule.get(), 0);
    return grey;
}

// The height of the most common text component, which is the x-height: most letters are
// lower case without ascenders. Zero when there are too few components to tell.
double xHeight(Pix* grey) {
    float scale = 1;
    const PixPtr small = reduced(grey, 2500, scale);
    constexpr int window = 12;
    if (!small || width(small.get()) < 2 * window + 3 || height(small.get()) < 2 * window + 3) return 0;
    Pix* raw = nullptr;
    if (pixSauvolaBinarizeTiled(small.get(), window, 0.34f, 1, 1, nullptr, &raw) != 0) return 0;
    const PixPtr binary(raw);
    const BoxaPtr boxes(pixConnCompBB(binary.get(), 8));
    if (!boxes) return 0;
    const int tallest = height(small.get()) / 8;
    std::vector<int> heights(std::size_t(std::max(tallest, 3)) + 2);
    int letters = 0;
    for (int i = 0; i < boxaGetCount(boxes.get()); ++i) {
        l_int32 x = 0, y = 0, w = 0, h = 0;
        boxaGetBoxGeometry(boxes.get(), i, &x, &y, &w, &h);
        if (h < 3 || h > tallest || w > 4 * h) continue;
        ++heights[std::size_t(h)];
        ++letters;
    }
    if (letters < 20) return 0;
    const auto mode = std::max_element(heights.begin(), heights.end()) - heights.begin();
    return double(mode) / scale;
}

// Text near an x-height of 24 pixels: Tesseract misreads small text, and large text only
// costs time. An image with no text to measure is brought down to a bounded size. xAfter is
// the x-height of the result, 0 when unknown.
PixPtr scaleText(PixPtr grey, double& xAfter) {
    constexpr double wanted = 24, maxPixels = 60e6, unmeasuredPixels = 16e6;
    const double x = xHeight(grey.get()), pixels = area(grey.get());
    double factor = 1;
    if (x > 0 && x < 16) {
        factor = std::max(1.0, std::min({wanted / x, 4.0, std::sqrt(maxPixels / pixels)}));
    } else if (x > 30) {
        factor = wanted / x;
    } else if (x == 0 && pixels > unmeasuredPixels) {
        factor = std::sqrt(unmeasuredPixels / pixels);
    }
    xAfter = x * factor;
    if (std::abs(factor - 1) < 0.05) return grey;
    PixPtr scaled(factor < 1 ? pixScaleAreaMap(grey.get(), float(factor), float(factor))
                             : pixScaleGrayLI(grey.get(), float(factor), float(factor)));
    return scaled ? std::move(scaled) : std::move(grey);
}

struct Point {
    double x, y;
};
using Quad = std::array<Point, 4>;  // top left, top right, bottom right, bottom left

double distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

// What sharp edges enclose, without thin lines: a page lying on a table, whose outline is a
// sharp edge even where a shadow falls (a threshold of brightness lost the shadowed part),
// while the edge of the shadow itself is soft. Edges count from the strength least.
PixPtr enclosed(Pix* edges, int least) {
    const PixPtr weak(pixThresholdToBinary(edges, least));
    const PixPtr sharp(weak ? pixInvert(nullptr, weak.get()) : nullptr);
    if (!sharp || !pixCloseSafeBrick(sharp.get(), sharp.get(), 3, 3)) return nullptr;
    const PixPtr holes(pixHolesByFilling(sharp.get(), 4));
    PixPtr inside(holes ? pixOr(nullptr, holes.get(), sharp.get()) : nullptr);
    if (!inside || !pixOpenBrick(inside.get(), inside.get(), 9, 9)) return nullptr;
    return inside;
}

// The corners of a photographed page in the copy small, whose size is scale times the image's:
// the largest region that edges from the strength least enclose, accepted only when it is
// clearly a whole page seen at a slant. Without these checks a shadow was taken for an edge
// and the page distorted.
std::optional<Quad> pageIn(Pix* small, Pix* edges, int least, float scale) {
    const PixPtr inside = enclosed(edges, least);
    if (!inside) return std::nullopt;
    Pixa* parts = nullptr;
    const BoxaPtr boxes(pixConnComp(inside.get(), &parts, 8));
    const PixaPtr owned(parts);
    if (!boxes || pixaGetCount(parts) == 0) return std::nullopt;
    int largest = 0, size = 0;
    for (int i = 0; i < pixaGetCount(parts); ++i) {
        const PixPtr part(pixaGetPix(parts, i, L_CLONE));
        if (const int n = count(part.get()); n > size) largest = i, size = n;
    }
    const int w = width(small), h = height(small);
    l_int32 bx = 0, by = 0, bw = 0, bh = 0;
    pixaGetBoxGeometry(parts, largest, &bx, &by, &bw, &bh);
    const int touching = (bx == 0) + (by == 0) + (bx + bw == w) + (by + bh == h);
    if (size < 0.2 * w * h || touching > 1) return std::nullopt;

    const PixPtr page(pixaGetPix(parts, largest, L_CLONE));
    Quad corner{};
    std::array<double, 4> best{1e18, -1e18, -1e18, 1e18};  // least x+y, most x-y, most x+y, least x-y
    const l_int32 wordsPerLine = pixGetWpl(page.get());
    for (int y = 0; y < bh; ++y) {
        const l_uint32* line = pixGetData(page.get()) + static_cast<std::ptrdiff_t>(y) * wordsPerLine;
        for (int x = 0; x < bw; ++x) {
            if (!GET_DATA_BIT(line, x)) continue;
            const Point p{bx + x + 0.5, by + y + 0.5};
            const double sum = p.x + p.y, diff = p.x - p.y;
            if (sum < best[0]) best[0] = sum, corner[0] = p;
            if (diff > best[1]) best[1] = diff, corner[1] = p;
            if (sum > best[2]) best[2] = sum, corner[2] = p;
            if (diff < best[3]) best[3] = diff, corner[3] = p;
        }
    }
    const PixPtr holes(pixHolesByFilling(page.get(), 4));
    double quadArea = 0;
    for (int i = 0; i < 4; ++i) {
        const Point a = corner[std::size_t(i)], b = corner[std::size_t((i + 1) % 4)];
        quadArea += a.x * b.y - b.x * a.y;
    }
    quadArea = std::abs(quadArea) / 2;
    const double fill = holes && quadArea > 0 ? (size + count(holes.get())) / quadArea : 0;
    const auto side = [&](int i) { return distance(corner[std::size_t(i)], corner[std::size_t((i + 1) % 4)]); };
    const auto similar = [](double a, double b) { return std::abs(a - b) <= 0.15 * std::max(a, b); };
    if (fill < 0.93 || fill > 1.07 || !similar(side(0), side(2)) || !similar(side(1), side(3))) return std::nullopt;
    for (int i = 0; i < 4; ++i) {
        const Point p = corner[std::size_t((i + 3) % 4)], c = corner[std::size_t(i)], n = corner[std::size_t((i + 1) % 4)];
        const double cosine = ((p.x - c.x) * (n.x - c.x) + (p.y - c.y) * (n.y - c.y)) / (distance(p, c) * distance(n, c));
        const double degrees = std::acos(std::clamp(cosine, -1.0, 1.0)) * 180 / M_PI;
        if (!(degrees >= 75 && degrees <= 105)) return std::nullopt;  // NaN too, for corners that coincide
    }
    // An upright rectangle is a window, dialog or panel on a screen, with text around it
    // that cutting it out would lose; a page photographed by hand is never quite upright, and
    // fills less of its box (photographed pages up to 0.985). The fill, not the corners, since
    // those of a rounded panel lie off its box: a dark card was cut out of its page.
    const PixPtr region(holes ? pixOr(nullptr, page.get(), holes.get()) : nullptr);
    if (!region || count(region.get()) >= 0.99 * bw * bh) return std::nullopt;
    // A page lies on something unlike it: a block of text on a screen has the same
    // background inside and out, and cutting it out lost its first line and line ends.
    const PixPtr pageMask(pixCreate(w, h, 1));
    if (!pageMask) return std::nullopt;
    pixRasterop(pageMask.get(), bx, by, bw, bh, PIX_SRC, region.get(), 0, 0);
    const PixPtr outside(pixInvert(nullptr, pageMask.get()));
    l_float32 inMedian = 0, outMedian = 0;
    if (!outside || pixGetRankValueMasked(small, pageMask.get(), 0, 0, 1, 0.5f, &inMedian, nullptr) != 0 ||
        pixGetRankValueMasked(small, outside.get(), 0, 0, 1, 0.5f, &outMedian, nullptr) != 0 ||
        std::abs(inMedian - outMedian) < 25)
        return std::nullopt;
    for (auto& p : corner) p = {p.x / scale, p.y / scale};
    return corner;
}

// Where a shadow's edge crosses the page's, the outline fades: weaker edges count only when the
// page is not found without, since they also outline the grain of the table.
std::optional<Quad> findPage(Pix* grey) {
    float scale = 1;
    const PixPtr small = reduced(grey, 800, scale);
    const PixPtr edges(small ? pixSobelEdgeFilter(small.get(), L_ALL_EDGES) : nullptr);
    if (!edges) return std::nullopt;
    for (const int least : {14, 6})
        if (const std::optional<Quad> page = pageIn(small.get(), edges.get(), least, scale)) return page;
    return std::nullopt;
}

// The page mapped onto an upright rectangle of its mean side lengths, the rest cut off.
PixPtr straighten(PixPtr grey, Quad corner) {
    const Point centre{(corner[0].x + corner[2].x) / 2, (corner[0].y + corner[2].y) / 2};
    for (auto& p : corner) p = {p.x + 0.005 * (centre.x - p.x), p.y + 0.005 * (centre.y - p.y)};  // off the edge
    double w = (distance(corner[0], corner[1]) + distance(corner[3], corner[2])) / 2;
    double h = (distance(corner[0], corner[3]) + distance(corner[1], corner[2])) / 2;
    const double fit = std::min({1.0, width(grey.get()) / w, height(grey.get()) / h});
    w = std::floor(w * fit);
    h = std::floor(h * fit);
    const PtaPtr from(ptaCreate(4)), to(ptaCreate(4));
    const Point target[] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
    for (int i = 0; i < 4; ++i) {
        ptaAddPt(from.get(), float(corner[std::size_t(i)].x), float(corner[std::size_t(i)].y));
        ptaAddPt(to.get(), float(target[i].x), float(target[i].y));
    }
    const PixPtr mapped(pixProjectivePtaGray(grey.get(), to.get(), from.get(), 255));
    const BoxPtr box(boxCreate(0, 0, l_int32(w), l_int32(h)));
    PixPtr page(mapped && box ? pixClipRectangle(mapped.get(), box.get(), nullptr) : nullptr);
    return page ? std::move(page) : std::move(grey);
}

// The angle in degrees that levels the lines of text, or stands them exactly upright when they
// run sideways (the orientation model turns those); none when there are no lines to go by.
// Leptonica's usual search first, 7 degrees either way about the corner. Where it finds none, one
// over 45 degrees about the centre, of the image and of the image turned a quarter: close-up
// photos of lines held at 10 degrees, or sideways and 10 degrees off, with no page outline to go
// by, read as nothing at all. Lines at 2 to 40 degrees scored 4 to 8.5 there, pictures without
// text at most 2.1.
std::optional<float> skewOf(Pix* binary) {
    l_float32 angle = 0, confidence = 0;
    constexpr float sure = 3;
    if (pixFindSkew(binary, &angle, &confidence) == 0 && confidence >= sure) return angle;
    std::optional<float> best;
    float bestConfidence = sure;
    const PixPtr turned(pixRotate90(binary, 1));
    for (Pix* pix : {binary, turned.get()}) {
        if (pix && pixFindSkewSweepAndSearchScorePivot(pix, &angle, &confidence, nullptr, 4, 2, 0, 45, 1, 0.01f,
                                                       L_SHEAR_ABOUT_CENTER) == 0 &&
            confidence >= bestConfidence) {
            best = angle;
            bestConfidence = confidence;
        }
    }
    return best;
}

// A page turned in the photo whose outline was not found, turned upright when its lines
// clearly slant: Tesseract broke lines slanting by a few degrees into pieces. Below a degree
// it reads them as they are.
PixPtr deskew(PixPtr grey) {
    float scale = 1;
    const PixPtr small = reduced(grey.get(), 1600, scale);
    const PixPtr binary(small ? darkOf(small.get()) : nullptr);
    const std::optional<float> angle = binary ? skewOf(binary.get()) : std::nullopt;
    if (!angle || std::abs(*angle) < 1) return grey;
    const float radians = float(*angle * M_PI / 180);
    PixPtr turned(pixRotate(grey.get(), radians, L_ROTATE_AREA_MAP, L_BRING_IN_WHITE, 0, 0));
    if (!turned) return grey;
    // The corners brought in take the background's shade: left white beside a flattened grey
    // background, they drew Tesseract's threshold between the two, and a small page lying in a
    // large photo lost all its text.
    l_uint32 ground = 255;
    const PixPtr whole(pixCreate(width(grey.get()), height(grey.get()), 1));
    if (whole && pixSetAll(whole.get()) == 0 && pixGetRankValue(small.get(), 1, 0.5f, &ground) == 0) {
        const PixPtr kept(pixRotate(whole.get(), radians, L_ROTATE_SAMPLING, L_BRING_IN_WHITE, 0, 0));
        if (kept && pixInvert(kept.get(), kept.get())) pixSetMasked(turned.get(), kept.get(), ground);
    }
    return turned;
}

// Uneven light, shadows and coloured paper made an even background.
PixPtr flattenBackground(PixPtr grey) {
    PixPtr flat(pixBackgroundNormMorph(grey.get(), nullptr, 4, 15, 200));
    return flat ? std::move(flat) : std::move(grey);
}

// The rows of the page that hold its text, with a margin; null when they are too few or
// nearly all. Leptonica builds no model of the lines when they span less than half the height
// (a short text on a long page): this is what it is given then.
PixPtr textRows(Pix* grey) {
    const PixPtr ink = darkOf(grey);
    NUMA* rows = ink ? pixCountPixelsByRow(ink.get(), nullptr) : nullptr;
    if (!rows) return nullptr;
    int first = -1, last = -1;
    // Not the outermost rows, where the straightened page may keep a strip of its edge.
    for (int y = height(grey) / 30; y < height(grey) * 29 / 30; ++y) {
        l_int32 n = 0;
        numaGetIValue(rows, y, &n);
        if (n < 0.02 * width(grey)) continue;
        if (first < 0) first = y;
        last = y;
    }
    numaDestroy(&rows);
    const int margin = height(grey) / 50;
    first = std::max(0, first - margin);
    last = std::min(height(grey) - 1, last + margin);
    if (last - first < height(grey) / 4 || last - first > height(grey) * 9 / 10) return nullptr;
    const BoxPtr box(boxCreate(0, first, width(grey), last - first + 1));
    return PixPtr(box ? pixClipRectangle(grey, box.get(), nullptr) : nullptr);
}

// Curled lines of a photographed book page made straight, on the whole page or else on the
// rows that hold its text.
PixPtr dewarp(PixPtr grey) {
    // Without a model Leptonica reports success and hands back the image unchanged.
    const auto changed = [](Pix* from, Pix* to) {
        l_int32 same = 1;
        return to && pixEqual(from, to, &same) == 0 && !same;
    };
    Pix* raw = nullptr;
    if (dewarpSinglePage(grey.get(), 0, 1, 1, 1, &raw, nullptr, 0) == 0 && changed(grey.get(), raw)) return PixPtr(raw);
    pixDestroy(&raw);
    const PixPtr text = textRows(grey.get());
    if (!text || dewarpSinglePage(text.get(), 0, 1, 1, 1, &raw, nullptr, 0) != 0 || !changed(text.get(), raw)) {
        pixDestroy(&raw);
        return grey;
    }
    return PixPtr(raw);
}

// How much the text lines bend, as Leptonica's model of them measures it on a half-size copy
// (for speed); no value without a model.
std::optional<int> curvature(Pix* grey) {
    const PixPtr half(pixScaleAreaMap(grey, 0.5f, 0.5f));
    Pix* raw = nullptr;
    L_DEWARPA* model = nullptr;
    if (!half || dewarpSinglePageInit(half.get(), 0, 1, 1, 0, &raw, &model) != 0) return std::nullopt;
    const PixPtr binary(raw);
    L_DEWARP* lines = dewarpCreate(binary.get(), 0);
    std::optional<int> bend;
    if (lines && dewarpaInsertDewarp(model, lines) == 0) {  // the model owns it now
        dewarpBuildPageModel(lines, nullptr);
        if (lines->vsuccess) bend = std::max(std::abs(lines->mincurv), std::abs(lines->maxcurv));
    }
    dewarpaDestroy(&model);
    return bend;
}

// Whether the text lines bend: flat pages and scans measured at most 10, curled pages from 55.
// A curled page whose text fills less than half of it is measured on its text rows.
bool curled(Pix* grey) {
    std::optional<int> bend = curvature(grey);
    if (!bend)
        if (const PixPtr text = textRows(grey)) bend = curvature(text.get());
    return bend && *bend >= 30;
}

// Which grey to make of a colour image: -1 for the usual luminance, or the colour channel (0 red,
// 1 green, 2 blue) that varies most when it varies at least four times as much as the luminance,
// which then varies by less than 10 levels. Text and ground of about the same grey but of another
// hue (violet on green) kept only their outlines in luminance. Colourful grounds under black or
// white text vary in luminance too and keep it. Measured on a grid of some 250000 pixels.
int channelOf(const QImage& rgb) {
    const int step = std::max(1, int(std::sqrt(double(rgb.width()) * rgb.height() / 250000)));
    std::array<double, 4> sum{}, squares{};
    double n = 0;
    for (int y = 0; y < rgb.height(); y += step) {
        const auto* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); x += step) {
            const std::array<double, 4> value{double(qRed(in[x])), double(qGreen(in[x])), double(qBlue(in[x])),
                                              0.299 * qRed(in[x]) + 0.587 * qGreen(in[x]) + 0.114 * qBlue(in[x])};
            for (int c = 0; c < 4; ++c) {
                sum[c] += value[c];
                squares[c] += value[c] * value[c];
            }
            ++n;
        }
    }
    std::array<double, 4> spread{};
    for (int c = 0; c < 4; ++c) spread[c] = std::sqrt(std::max(0.0, squares[c] / n - sum[c] * sum[c] / n / n));
    const int most = int(std::max_element(spread.begin(), spread.begin() + 3) - spread.begin());
    return spread[3] < 10 && spread[most] >= 4 * spread[3] ? most : -1;
}

}  // namespace

// Built straight from the bitmap: a 32-bit copy first would double the memory of a huge image.
PixPtr greyOf(const QImage& bitmap) {
    const bool isGrey = bitmap.format() == QImage::Format_Grayscale8;
    const QImage rgb = isGrey || bitmap.format() == QImage::Format_RGB32 ? bitmap
                                                                         : bitmap.convertToFormat(QImage::Format_RGB32);
    if (rgb.isNull()) return nullptr;
    PixPtr grey(pixCreateNoInit(rgb.width(), rgb.height(), 8));
    if (!grey) return nullptr;
    const int channel = isGrey ? -1 : channelOf(rgb);
    const l_int32 wordsPerLine = pixGetWpl(grey.get());
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* line = rgb.constScanLine(y);
        const auto* in = reinterpret_cast<const QRgb*>(line);
        l_uint32* out = pixGetData(grey.get()) + static_cast<std::ptrdiff_t>(y) * wordsPerLine;
        if (isGrey) std::memcpy(out, line, std::size_t(rgb.width()));
        else
            for (int x = 0; x < rgb.width(); ++x)
                SET_DATA_BYTE(out, x, channel < 0 ? qGray(in[x]) : (in[x] >> (16 - 8 * channel)) & 0xff);
    }
    // Copied in memory order; Leptonica reads the bytes of each 32-bit word in the machine's order.
    if (isGrey) pixEndianByteSwap(grey.get());
    return grey;
}

double xHeightOf(Pix* prepared) { return pixGetXRes(prepared) / dpiPerXHeight; }

PixPtr prepareForRecognition(const QImage& bitmap, std::vector<Region>* sideBars) {
    PixPtr grey = greyOf(bitmap);
    if (!grey) return nullptr;
    // Polarity first: the text measure and the page outline look for dark text on light.
    grey = invertIfDark(std::move(grey));
    std::vector<Region> bars;
    grey = invertLightText(std::move(grey), bars);
    double x = 0;
    grey = scaleText(std::move(grey), x);
    const std::optional<Quad> page = findPage(grey.get());
    if (page) grey = straighten(std::move(grey), *page);
    grey = flattenBackground(std::move(grey));
    // A new image where a step moved the text: the side bars no longer stand where they stood.
    bool moved = page.has_value();
    const auto step = [&](PixPtr (*apply)(PixPtr)) {
        const Pix* before = grey.get();
        grey = apply(std::move(grey));
        moved = moved || grey.get() != before;
    };
    // After flattening: a shadow left dark in the threshold hid the slant of the lines.
    if (!page) step(deskew);
    // On a page found in a photo, or where the lines bend: run on flat scans and screenshots
    // it made things worse.
    if (page || curled(grey.get())) step(dewarp);
    if (sideBars && !moved) *sideBars = std::move(bars);
    // The resolution the text size stands for.
    // Without one Tesseract guessed, and read the columns of a table one after the other
    // instead of row by row; at 300 dpi and less it read rows of symbols as words.
    if (x > 0) {
        const l_int32 dpi = std::clamp(l_int32(std::lround(dpiPerXHeight * x)), 100, 1200);
        pixSetResolution(grey.get(), dpi, dpi);
    }
    return grey;
}
