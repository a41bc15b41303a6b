#include "TesseractRecognizer.h"

#include <leptonica/allheaders.h>
#include <omp.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <climits>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>

#include "prepare.h"
#include "recognize.h"

namespace {

struct Language {
    const char* tag;
    const char* model;
};
constexpr Language languages[] = {{"ru-RU", "rus"}, {"en-US", "eng"}};

// Every model we have a tag for. Tesseract skips a missing one after the first
// and fails only when none loads.
constexpr const char* allModels = "rus+eng";

const char* modelFor(const std::string& tag) {
    for (const auto& language : languages) {
        if (tag == language.tag) return language.model;
    }
    return nullptr;
}

using TextPtr = std::unique_ptr<char[]>;  // GetUTF8Text hands out new[] memory
struct BoxDeleter {
    void operator()(Box* box) const { boxDestroy(&box); }
    void operator()(Boxa* boxa) const { boxaDestroy(&boxa); }
};
using BoxPtr = std::unique_ptr<Box, BoxDeleter>;
using BoxaPtr = std::unique_ptr<Boxa, BoxDeleter>;

bool isBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
    });
}

std::unique_ptr<tesseract::TessBaseAPI> started(const std::string& models) {
    auto engine = std::make_unique<tesseract::TessBaseAPI>();
    // Tesseract prints its warnings to this file, to standard error by default. A global of its
    // own, not the engine's: set once, or engines loading in parallel race on it.
    static std::once_flag quiet;
    std::call_once(quiet, [&] { engine->SetVariable("debug_file", "/dev/null"); });
    // Never an empty list: Init accepts it and Recognize then crashes.
    if (models.empty() || engine->Init(nullptr, models.c_str(), tesseract::OEM_LSTM_ONLY) != 0) return nullptr;
    return engine;
}

// Whether the page may be read in parts. Parts of a screenshot, whose small text was enlarged,
// were laid out unlike the whole (a chat read its bubbles in another order); pages of photos and
// scans read the same. Small pages save less than the split costs.
constexpr double leastSplitPixels = 4e6;
double pixelsOf(const QImage& bitmap) { return double(bitmap.width()) * bitmap.height(); }

// Images up to a large screenshot's size are read a second time, as they are, when the reading
// is doubtful or has fewer sure characters than this.
constexpr double plainReadPixels = 5e6;
constexpr double fewCharacters = 50;

// The characters read, each counted at its line's confidence.
double sureText(const std::vector<TextObservation>& lines) {
    double sure = 0;
    for (const TextObservation& l : lines) {
        if (l.candidates.empty()) continue;
        const std::string& text = l.candidates.front().string;
        const auto characters = std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; });
        sure += double(characters) * l.candidates.front().confidence;
    }
    return sure;
}

// The bitmap in colour, as Tesseract reads an image file itself: it thresholds each colour apart.
PixPtr pixOf(const QImage& bitmap) {
    if (bitmap.format() == QImage::Format_Grayscale8) return greyOf(bitmap);
    if (bitmap.format() != QImage::Format_RGB32) return nullptr;
    PixPtr pix(pixCreateNoInit(bitmap.width(), bitmap.height(), 32));
    if (!pix) return nullptr;
    for (int y = 0; y < bitmap.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(bitmap.constScanLine(y));
        l_uint32* out = pixGetData(pix.get()) + static_cast<std::ptrdiff_t>(y) * pixGetWpl(pix.get());
        for (int x = 0; x < bitmap.width(); ++x) composeRGBPixel(qRed(in[x]), qGreen(in[x]), qBlue(in[x]), &out[x]);
    }
    return pix;
}

bool mayBeSplit(Pix* page, const QImage& bitmap) {
    const double pixels = double(pixGetWidth(page)) * pixGetHeight(page);
    return pixels >= leastSplitPixels && pixels <= pixelsOf(bitmap);
}

// The row that parts the page's blocks, in Tesseract's reading order, into two runs of much
// the same size, every block of the first above every block of the second: the two parts can
// then be read at once and their lines put one after the other. 0 when there is none, as on
// pages whose columns stand side by side.
int splitRow(tesseract::TessBaseAPI& engine) {
    // The layout stays with the engine: read whole, the page is not analysed again.
    const std::unique_ptr<tesseract::PageIterator> block(engine.AnalyseLayout());
    if (!block || block->Empty(tesseract::RIL_BLOCK)) return 0;
    struct Span {
        int top, bottom;
        double area;
    };
    std::vector<Span> spans;
    double total = 0;
    do {
        int left = 0, top = 0, right = 0, bottom = 0;
        if (!block->BoundingBox(tesseract::RIL_BLOCK, &left, &top, &right, &bottom)) continue;
        spans.push_back({top, bottom, double(right - left) * (bottom - top)});
        total += spans.back().area;
    } while (block->Next(tesseract::RIL_BLOCK));
    std::vector<int> topAfter(spans.size() + 1, std::numeric_limits<int>::max());
    for (std::size_t i = spans.size(); i-- > 0;) topAfter[i] = std::min(topAfter[i + 1], spans[i].top);
    int lowest = 0, row = 0;
    double above = 0, best = 1.0 / 3;  // each part holds at least a third of the text
    for (std::size_t k = 0; k + 1 < spans.size(); ++k) {
        lowest = std::max(lowest, spans[k].bottom);
        above += spans[k].area;
        const double balance = std::min(above, total - above) / total;
        if (lowest < topAfter[k + 1] && balance >= best) best = balance, row = (lowest + topAfter[k + 1]) / 2;
    }
    return row;
}

struct Word {
    std::string text;
    float confidence;
    int left, top, right, bottom;
};

struct Line {
    std::string text;
    float confidence;
    int left, top, right, bottom;
    int baseline, baselineRight;  // the baseline's height at the line's two ends
    std::size_t block;            // counted from 1 in Tesseract's order
    bool joined = false;          // into the line it continues
    std::vector<Word> words;
};

// Words written out as a line.
std::string textOf(const std::vector<Word>& words) {
    std::string text;
    for (const Word& w : words) text += (text.empty() ? "" : " ") + w.text;
    return text;
}

// The median gap between the words of a line.
int wordGap(tesseract::TessBaseAPI& engine) {
    const std::unique_ptr<tesseract::ResultIterator> word(engine.GetIterator());
    std::vector<int> gaps;
    int right = 0;
    if (word && !word->Empty(tesseract::RIL_WORD)) do {
            int left = 0, top = 0, end = 0, bottom = 0;
            if (!word->BoundingBox(tesseract::RIL_WORD, &left, &top, &end, &bottom)) continue;
            if (!word->IsAtBeginningOf(tesseract::RIL_TEXTLINE)) gaps.push_back(left - right);
            right = end;
        } while (word->Next(tesseract::RIL_WORD));
    if (gaps.empty()) return 0;
    std::nth_element(gaps.begin(), gaps.begin() + std::ptrdiff_t(gaps.size() / 2), gaps.end());
    return gaps[gaps.size() / 2];
}

// A block that holds columns split at the gutters between them: Tesseract took a side bar's
// entries and the body beside it for one block, and joined each entry to the body line nearest
// it. A gutter is a band at least three word gaps wide that no word of the block crosses.
void splitColumns(std::vector<Line>& lines, std::size_t& blocks, int gap) {
    std::vector<std::vector<std::size_t>> members(blocks + 1);
    for (std::size_t i = 0; i < lines.size(); ++i) members[lines[i].block].push_back(i);
    // Whether the gutter at cut, width wide, parts two columns rather than the cells of a table,
    // whose rows straddle it level: some line straddles it with its two sides half a line apart,
    // as lines of unlike spacing do, or, past eight word gaps, half as many lines stand on one
    // side only as straddle it, the entries of a side bar being fewer than the lines beside them.
    const auto parts = [&](const std::vector<std::size_t>& block, int cut, int width) {
        int straddling = 0, oneSided = 0;
        for (const std::size_t i : block) {
            int top[2] = {INT_MAX, INT_MAX}, bottom[2] = {INT_MIN, INT_MIN};
            for (const Word& w : lines[i].words) {
                const int side = w.left > cut;
                top[side] = std::min(top[side], w.top), bottom[side] = std::max(bottom[side], w.bottom);
            }
            if (top[0] == INT_MAX || top[1] == INT_MAX) {
                ++oneSided;
                continue;
            }
            const int height = std::min(bottom[0] - top[0], bottom[1] - top[1]);
            if (std::abs(top[0] + bottom[0] - top[1] - bottom[1]) > height) return true;
            ++straddling;
        }
        return width >= 8 * gap && straddling > 0 && 2 * oneSided >= straddling;
    };
    std::vector<Line> split;
    std::size_t number = 0;
    for (std::size_t b = 1; b <= blocks; ++b) {
        std::vector<std::pair<int, int>> spans;
        for (const std::size_t i : members[b])
            for (const Word& w : lines[i].words)
                if (w.right - w.left >= gap || w.bottom - w.top >= gap) spans.emplace_back(w.left, w.right);  // not a speck
        std::sort(spans.begin(), spans.end());
        std::vector<int> cuts;  // halfway across each gutter, from the left
        int reach = spans.empty() ? 0 : spans.front().second;
        for (const auto& [left, right] : spans) {
            if (left - reach >= 3 * gap && parts(members[b], (reach + left) / 2, left - reach)) cuts.push_back((reach + left) / 2);
            reach = std::max(reach, right);
        }
        cuts.push_back(INT_MAX);
        const std::size_t first = number + 1;
        number += cuts.size();
        const auto column = [&](int left) {
            return std::size_t(std::lower_bound(cuts.begin(), cuts.end(), left) - cuts.begin());
        };
        for (const std::size_t i : members[b]) {
            Line& l = lines[i];
            const bool whole = std::all_of(l.words.begin(), l.words.end(),
                                           [&](const Word& w) { return column(w.left) == column(l.left); });
            if (whole) {
                l.block = first + column(l.left);
                split.push_back(std::move(l));
                continue;
            }
            // The line in a piece per column, each made of its words.
            for (std::size_t c = 0; c < cuts.size(); ++c) {
                Line piece{{}, 0, INT_MAX, INT_MAX, INT_MIN, INT_MIN, l.baseline, l.baseline, first + c, false, {}};
                for (const Word& w : l.words) {
                    if (column(w.left) != c) continue;
                    piece.confidence += w.confidence;
                    piece.left = std::min(piece.left, w.left), piece.top = std::min(piece.top, w.top);
                    piece.right = std::max(piece.right, w.right), piece.bottom = std::max(piece.bottom, w.bottom);
                    piece.words.push_back(w);
                }
                if (piece.words.empty()) continue;
                piece.text = textOf(piece.words);
                piece.confidence /= float(piece.words.size());
                split.push_back(std::move(piece));
            }
        }
    }
    lines = std::move(split);
    blocks = number;
}

// A line that Tesseract cut in two, putting the pieces in blocks of their own, joined again: the
// keywords at the start of lines of code were taken for a column, and a title for two. The
// second piece stands a word's gap away on the same baseline; columns stand much further apart.
void joinPieces(std::vector<Line>& lines, int gap) {
    std::vector<std::size_t> byLeft(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) byLeft[i] = i;
    std::sort(byLeft.begin(), byLeft.end(), [&](std::size_t a, std::size_t b) { return lines[a].left < lines[b].left; });
    for (const std::size_t i : byLeft) {
        Line& piece = lines[i];
        for (Line& rest : lines) {
            const int height = std::min(piece.bottom - piece.top, rest.bottom - rest.top);
            if (rest.joined || rest.block == piece.block || rest.left - piece.right > 2 * gap ||
                rest.left <= piece.right - gap || std::abs(rest.baseline - piece.baselineRight) > height / 4)
                continue;
            const std::size_t a = piece.text.size(), b = rest.text.size();
            rest.confidence = float((piece.confidence * a + rest.confidence * b) / double(a + b));
            rest.text = piece.text + ' ' + rest.text;
            rest.left = piece.left;
            rest.top = std::min(rest.top, piece.top);
            rest.bottom = std::max(rest.bottom, piece.bottom);
            piece.joined = true;
            break;
        }
    }
}

// What an engine read of a page or of a part of it: its lines, its blocks numbered from 1 in its
// order, the median gap between its words, and the sum and count of its word confidences.
struct Reading {
    std::vector<Line> lines;
    std::size_t blocks = 0;
    int gap = 0;
    double confidences = 0;
    int words = 0;
};

// A line and its words moved by (dx, dy).
void move(Line& l, int dx, int dy) {
    l.left += dx, l.right += dx, l.top += dy, l.bottom += dy, l.baseline += dy, l.baselineRight += dy;
    for (Word& w : l.words) w.left += dx, w.right += dx, w.top += dy, w.bottom += dy;
}

// Ink pixels in the rectangle from (left, top) to (right, bottom), all included.
int inkIn(Pix* ink, int left, int top, int right, int bottom) {
    l_int32 n = 0;
    const BoxPtr box(boxCreate(left, top, right - left + 1, bottom - top + 1));
    return box && pixCountPixelsInRect(ink, box.get(), &n, nullptr) == 0 ? n : 0;
}

// Whether the gap between two words of a line holds an underscore, which Tesseract reads as a
// space in enlarged monospace text: a thin run of ink below the baseline across most of the
// gap, nothing else in it, and not going on under the words as an underline does. The gap
// runs between the words' letters: a word's box may take in the underscore. x is the x-height,
// baseline the line's baseline at the gap.
bool underscoreBetween(Pix* ink, const Word& a, const Word& b, int baseline, double x) {
    const int speck = std::max(1, int(x / 12));  // an edge's stray pixels, the baseline's slope
    const int top = std::min(a.top, b.top), foot = baseline + speck;
    const auto inkAbove = [&](int column) { return inkIn(ink, column, top, column, foot - 1); };
    int left = a.right, right = b.left - 1;
    if (right < left) {
        // Boxes that overlap, one of them over the underscore: the gap is the widest run of
        // columns clear above the baseline that meets the overlap.
        int start = -1, widest = 0;
        for (int c = a.left; c <= b.right; ++c) {
            const bool clear = c < b.right && inkAbove(c) <= speck;
            if (clear && start < 0) start = c;
            if (clear || start < 0) continue;
            if (c > b.left && start <= a.right && c - start > widest) widest = c - start, left = start, right = c - 1;
            start = -1;
        }
        if (widest == 0) return false;
    } else {
        while (left > a.left && inkAbove(left - 1) <= speck) --left;
        while (right < b.right - 1 && inkAbove(right + 1) <= speck) ++right;
    }
    // Not the stray tip of a letter at either end.
    while (left < right && inkAbove(left) > 0) ++left;
    while (right > left && inkAbove(right) > 0) --right;
    const int width = right - left + 1;
    if (width < x / 2 || width > 3 * x) return false;  // about a letter wide
    // Half an x-height down at most, and clear below: where lines stand close, the next line's
    // capitals reach up to there.
    int rows = 0, last = 0;
    for (int y = top; y <= baseline + int(x / 2); ++y) {
        const int n = inkIn(ink, left, y, right, y);
        if (n <= speck) continue;
        if (10 * n < 6 * width || y < foot || 2 * inkIn(ink, a.left, y, left - 1, y) > left - a.left ||
            2 * inkIn(ink, right + 1, y, b.right - 1, y) > b.right - 1 - right)
            return false;
        ++rows, last = y;
    }
    return rows > 0 && rows <= std::max(2.0, x / 3) && inkIn(ink, left, last + 1, right, last + 1) <= speck;
}

// The engine's lines, moved by (dx, dy), their blocks numbered on. x is the x-height of the text.
void addLines(tesseract::TessBaseAPI& engine, int dx, int dy, double x, Reading& reading) {
    const std::unique_ptr<tesseract::ResultIterator> line(engine.GetIterator());
    if (!line || line->Empty(tesseract::RIL_TEXTLINE)) return;
    const PixPtr ink(x > 0 ? engine.GetThresholdedImage() : nullptr);
    do {
        if (line->IsAtBeginningOf(tesseract::RIL_BLOCK)) ++reading.blocks;
        const TextPtr text(line->GetUTF8Text(tesseract::RIL_TEXTLINE));
        if (!text) continue;
        // Lines end in one or two line feeds of Tesseract's own.
        std::string string(text.get());
        while (!string.empty() && string.back() == '\n') string.pop_back();
        // Tesseract also reports blank pseudo-lines, with high confidence.
        if (isBlank(string)) continue;
        Line l{std::move(string), line->Confidence(tesseract::RIL_TEXTLINE) / 100.0f, 0, 0, 0, 0, 0, 0, reading.blocks, false, {}};
        int x1 = 0, x2 = 0;
        line->BoundingBox(tesseract::RIL_TEXTLINE, &l.left, &l.top, &l.right, &l.bottom);
        line->Baseline(tesseract::RIL_TEXTLINE, &x1, &l.baseline, &x2, &l.baselineRight);
        tesseract::ResultIterator word(*line);
        do {
            const TextPtr wordText(word.GetUTF8Text(tesseract::RIL_WORD));
            Word w{wordText ? wordText.get() : "", word.Confidence(tesseract::RIL_WORD) / 100.0f, 0, 0, 0, 0};
            if (isBlank(w.text) || !word.BoundingBox(tesseract::RIL_WORD, &w.left, &w.top, &w.right, &w.bottom)) continue;
            l.words.push_back(std::move(w));
        } while (!word.IsAtFinalElement(tesseract::RIL_TEXTLINE, tesseract::RIL_WORD) && word.Next(tesseract::RIL_WORD));
        // Words parted by an underscore made one again, and the line written anew from its words.
        bool joined = false;
        for (std::size_t i = 1; ink && i < l.words.size(); ++i) {
            Word &a = l.words[i - 1], &b = l.words[i];
            const int span = std::max(1, l.right - l.left);
            const int baseline = l.baseline + (l.baselineRight - l.baseline) * (a.right - l.left) / span;
            if (!underscoreBetween(ink.get(), a, b, baseline, x)) continue;
            // Tesseract may have read the underscore itself, and only put a space beside it.
            a.text += (a.text.back() == '_' || b.text.front() == '_' ? "" : "_") + b.text;
            a.confidence = std::min(a.confidence, b.confidence);
            a.right = b.right, a.top = std::min(a.top, b.top), a.bottom = std::max(a.bottom, b.bottom);
            l.words.erase(l.words.begin() + std::ptrdiff_t(i--));
            joined = true;
        }
        if (joined) l.text = textOf(l.words);
        move(l, dx, dy);
        reading.lines.push_back(std::move(l));
    } while (line->Next(tesseract::RIL_TEXTLINE));
}

// The sum and count of the engine's word confidences.
std::pair<double, int> confidencesOf(tesseract::TessBaseAPI& engine) {
    const std::unique_ptr<int[]> confidence(engine.AllWordConfidences());
    std::pair<double, int> sum{0, 0};
    for (int i = 0; confidence && confidence[i] >= 0; ++i) sum.first += confidence[i], ++sum.second;
    return sum;
}

// Text that Tesseract's layout left out, read again as blocks of plain lines: dense bold text of
// a photographed page was taken for a picture and dropped, whole paragraphs of it, and read in
// full when Tesseract was told it holds lines. A region is at least ten letters wide and two
// lines high; what it reads is kept only when read as surely as text: pictures read as doubtful
// strings. x is the x-height of the text.
void recover(tesseract::TessBaseAPI& engine, Pix* part, double x, Reading& reading) {
    constexpr double surely = 80;
    const PixPtr ink(x > 0 ? engine.GetThresholdedImage() : nullptr);
    if (!ink) return;
    const int margin = int(x);
    for (const Line& l : reading.lines) {
        const BoxPtr box(boxCreate(l.left - margin, l.top - margin, l.right - l.left + 2 * margin,
                                   l.bottom - l.top + 2 * margin));
        if (box) pixClearInRect(ink.get(), box.get());
    }
    // At a quarter of the size: letters joined into lines and lines into paragraphs, specks gone.
    const PixPtr small(pixReduceRankBinaryCascade(ink.get(), 1, 1, 0, 0));
    const int step = std::max(1, int(x / 4));
    if (!small || !pixCloseSafeBrick(small.get(), small.get(), 2 * step + 1, 2 * step + 1) ||
        !pixOpenBrick(small.get(), small.get(), step + 1, step + 1))
        return;
    // The largest first, and only a few: a textured picture falls into many regions, each read in vain.
    constexpr int mostRegions = 12;
    const BoxaPtr found(pixConnCompBB(small.get(), 8));
    const BoxaPtr regions(found ? boxaSort(found.get(), L_SORT_BY_AREA, L_SORT_DECREASING, nullptr) : nullptr);
    if (!regions) return;
    engine.SetPageSegMode(tesseract::PSM_SINGLE_BLOCK);
    for (int i = 0; i < std::min(mostRegions, boxaGetCount(regions.get())); ++i) {
        l_int32 bx = 0, by = 0, bw = 0, bh = 0;
        boxaGetBoxGeometry(regions.get(), i, &bx, &by, &bw, &bh);
        if (4 * bw < 10 * x || 4 * bh < 2 * x) continue;
        const BoxPtr box(boxCreate(4 * bx - margin, 4 * by - margin, 4 * bw + 2 * margin, 4 * bh + 2 * margin));
        Box* raw = nullptr;
        const PixPtr crop(box ? pixClipRectangle(part, box.get(), &raw) : nullptr);
        const BoxPtr clipped(raw);
        if (!crop || !clipped) continue;
        // Letters cover a tenth to a third of the lines they stand in; a textured picture half.
        const PixPtr inked(pixClipRectangle(ink.get(), clipped.get(), nullptr));
        l_float32 cover = 1;
        if (!inked || pixForegroundFraction(inked.get(), &cover) != 0 || cover > 0.35f) continue;
        engine.SetImage(crop.get());
        if (engine.Recognize(nullptr) != 0) continue;
        const auto [sum, words] = confidencesOf(engine);
        if (words > 0 && sum >= surely * words) addLines(engine, clipped->x, clipped->y, x, reading);
    }
    engine.SetPageSegMode(tesseract::PSM_AUTO);
}

// A line read too doubtfully to be kept is read again on its own, framed in its ground's shade.
// Within the page Tesseract set spaces into monospace code after full stops ("name. indicates ()")
// and doubted the whole line down to nothing; alone, the same line read plainly. The second
// reading stands only when it is fairly sure: lines of text read alone at 0.48 and more, rows of
// marks at most 0.32, a speck beside a bubble 0.40. x is the x-height of the text.
void reread(tesseract::TessBaseAPI& engine, Pix* part, double x, Reading& reading) {
    constexpr float fairlySure = 0.45f;
    const int margin = std::max(4, int(x));
    for (Line& l : reading.lines) {
        if (l.confidence >= minConfidence) continue;
        const BoxPtr box(boxCreate(l.left, l.top, l.right - l.left, l.bottom - l.top));
        const PixPtr crop(box ? pixClipRectangle(part, box.get(), nullptr) : nullptr);
        l_uint32 ground = 255;
        if (!crop || pixGetRankValue(crop.get(), 1, 0.5f, &ground) != 0) continue;
        const PixPtr framed(pixAddBorder(crop.get(), margin, ground));
        if (!framed) continue;
        engine.SetImage(framed.get());
        engine.SetPageSegMode(tesseract::PSM_SINGLE_LINE);
        Reading again;
        if (engine.Recognize(nullptr) == 0) addLines(engine, l.left - margin, l.top - margin, x, again);
        if (again.lines.size() != 1 || !(again.lines.front().confidence >= fairlySure)) continue;
        again.lines.front().block = l.block;
        l = std::move(again.lines.front());
    }
    engine.SetPageSegMode(tesseract::PSM_AUTO);
}

// Read what the engine was given: its words' confidences, its lines, what its layout left out,
// and its doubtful lines once more.
bool readPart(tesseract::TessBaseAPI& engine, Pix* part, double x, Reading& reading) {
    if (engine.Recognize(nullptr) != 0) return false;
    std::tie(reading.confidences, reading.words) = confidencesOf(engine);
    reading.gap = wordGap(engine);
    addLines(engine, 0, 0, x, reading);
    recover(engine, part, x, reading);
    reread(engine, part, x, reading);
    return true;
}

// The lines in reading order. Tesseract sometimes reads a block before text that stands above it
// (a centred title read after the body it heads): a block is put after every block above it that
// it shares columns with or that heads the page, and otherwise keeps Tesseract's order, so that
// side-by-side columns stay as they are.
void order(std::vector<Line>& lines, std::size_t blocks, int gap, std::vector<TextObservation>& observations) {
    struct Box {
        int left = std::numeric_limits<int>::max(), top = left, right = std::numeric_limits<int>::min(), bottom = right;
    };
    std::vector<Box> box(blocks + 1);
    std::vector<bool> done(blocks + 1, true);
    for (const Line& l : lines) {
        if (l.joined) continue;
        Box& b = box[l.block];
        b = {std::min(b.left, l.left), std::min(b.top, l.top), std::max(b.right, l.right), std::max(b.bottom, l.bottom)};
        done[l.block] = false;
    }
    // A block over all the others heads them whatever its columns, like a window's title. Where
    // no block stands beside another, as the bubbles of a chat, all are read from the top down.
    std::vector<bool> heads(box.size());
    bool stacked = true;
    for (std::size_t a = 0; a < box.size(); ++a) {
        heads[a] = !done[a];
        for (std::size_t b = 0; b < box.size(); ++b) {
            if (b == a || done[a] || done[b]) continue;
            if (box[a].bottom > box[b].top) heads[a] = false;
            if (box[a].top < box[b].bottom && box[b].top < box[a].bottom) stacked = false;
        }
    }
    const auto above = [&](std::size_t a, std::size_t b) {
        return box[a].bottom <= box[b].top && box[a].top < box[b].top &&
               (stacked || heads[a] || (box[a].left < box[b].right && box[b].left < box[a].right));
    };
    // How many blocks not yet read stand above each one.
    std::vector<int> under(box.size());
    for (std::size_t a = 0; a < box.size(); ++a)
        for (std::size_t b = 0; b < box.size(); ++b) under[b] += !done[a] && !done[b] && above(a, b);
    std::size_t last = 0;
    while (true) {
        // The first in Tesseract's order with nothing left above it. But where that one goes back
        // up beside the block just read, first the block that goes on down its column, starting
        // where it starts, when nothing else lies wholly between the two: a side bar's entries,
        // which Tesseract read among the lines beside them.
        const auto ready = [&](std::size_t b) { return !done[b] && under[b] == 0; };
        std::size_t next = 0;
        while (next < box.size() && !ready(next)) ++next;
        if (next == box.size()) break;
        const bool beside = last > 0 && box[next].top < box[last].bottom &&
                            (box[next].left >= box[last].right || box[next].right <= box[last].left);
        std::size_t down = box.size();
        for (std::size_t b = 0; b < box.size() && beside; ++b)
            if (ready(b) && above(last, b) && std::abs(box[b].left - box[last].left) <= 2 * gap &&
                (down == box.size() || box[b].top < box[down].top))
                down = b;
        for (std::size_t k = 0; k < box.size() && down < box.size(); ++k)
            if (!done[k] && k != down && box[k].top >= box[last].bottom && box[k].bottom <= box[down].top) down = box.size();
        if (down < box.size()) next = down;
        last = next;
        done[next] = true;
        for (std::size_t b = 0; b < box.size(); ++b) under[b] -= !done[b] && above(next, b);
        for (Line& l : lines)
            if (l.block == next && !l.joined) observations.push_back({{{std::move(l.text), l.confidence}}});
    }
}

}  // namespace

TesseractRecognizer::TesseractRecognizer(bool spareCore) : spareCore_(spareCore) {
    // Tesseract's own OpenMP threads made recognition about 4.5 times slower on
    // two cores. Done here rather than through OMP_THREAD_LIMIT: the program
    // takes nothing from its environment.
    omp_set_max_active_levels(0);
    // Standard error belongs to the program's caller.
    setMsgSeverity(L_SEVERITY_NONE);
}

TesseractRecognizer::~TesseractRecognizer() = default;

bool TesseractRecognizer::load(const std::string& models) {
    if (engine_ && loaded_ == models) return true;
    engine_ = started(models);
    loaded_ = engine_ ? models : std::string();
    return engine_ != nullptr;
}

std::optional<std::vector<std::string>> TesseractRecognizer::installedModels() {
    // Tesseract lists its models only once an engine runs. Start with every model
    // we have a tag for: that is what a request almost always asks for next.
    if (!engine_ && !load(allModels)) return std::nullopt;
    std::vector<std::string> models;
    engine_->GetAvailableLanguagesAsVector(&models);
    return models;
}

std::optional<std::vector<std::string>> TesseractRecognizer::supportedLanguages(const TextRequest&) {
    const auto models = installedModels();
    if (!models) return std::nullopt;
    std::vector<std::string> tags;
    for (const auto& language : languages) {
        if (std::find(models->begin(), models->end(), language.model) != models->end()) {
            tags.emplace_back(language.tag);
        }
    }
    return tags;
}

bool TesseractRecognizer::perform(TextRequest& request, const QImage& bitmap) {
    std::string models;
    for (const auto& tag : request.recognitionLanguages) {
        const char* model = modelFor(tag);
        if (!model) return false;
        if (models.find(model) != std::string::npos) continue;
        if (!models.empty()) models += '+';
        models += model;
    }
    if (models.empty()) {
        const auto installed = installedModels();
        if (!installed) return false;
        // osd only finds the page's orientation; it reads no text.
        const auto usable = [](const std::string& model) { return model != "osd"; };
        if (std::find(installed->begin(), installed->end(), "eng") != installed->end()) {
            models = "eng";
        } else if (const auto it = std::find_if(installed->begin(), installed->end(), usable);
                   it != installed->end()) {
            models = *it;
        } else {
            return false;
        }
    }
    if (!load(models)) return false;
    // The second engine loads on the spare core while the image is prepared; a bitmap too small
    // to give a page that may be split does not load it.
    std::thread loading;
    if (spareCore_ && pixelsOf(bitmap) >= leastSplitPixels && (!helper_ || helperLoaded_ != models)) {
        try {
            loading = std::thread([&] {
                helper_ = started(models);
                helperLoaded_ = helper_ ? models : std::string();
            });
        } catch (const std::system_error&) {
            helper_.reset();  // out of threads: the page is read whole
        }
    }
    std::vector<Region> sideBars;
    const PixPtr pix = prepareForRecognition(bitmap, &sideBars);
    if (loading.joinable()) loading.join();
    if (!pix) return false;

    // Both levels take the same path: Tesseract's LSTM engine has one. Language
    // correction is the models' dictionary in the beam search.
    for (tesseract::TessBaseAPI* engine : {engine_.get(), helper_.get()}) {
        if (!engine) continue;
        engine->SetVariable("lstm_use_matrix", request.usesLanguageCorrection ? "1" : "0");
        // The default, a single block, mixes the lines of side-by-side columns.
        engine->SetPageSegMode(tesseract::PSM_AUTO);
    }
    std::vector<TextObservation> observations;
    double meanConfidence = 0;
    const bool split = helper_ && mayBeSplit(pix.get(), bitmap);
    if (!read(pix.get(), split, sideBars, observations, meanConfidence)) return false;
    // Text standing sideways or upside down reads as doubtful: only then is the page turned
    // and read again, so that upright pages never pay for the orientation model.
    if (meanConfidence < Orienter::doubtfulReading) {
        if (const PixPtr turned = orienter_.turned(pix.get())) {
            observations.clear();
            if (!read(turned.get(), split, {}, observations, meanConfidence)) return false;
        }
    }
    // A small image read doubtfully, or hardly at all, is also read as it is, as Tesseract alone
    // would read it: where the preparation went wrong (white letters outlined in black over a
    // picture lost their fill when the ground was evened out) it read far more. The reading with
    // clearly more sure text stands.
    if ((meanConfidence < Orienter::doubtfulReading || sureText(observations) < fewCharacters) &&
        pixelsOf(bitmap) <= plainReadPixels) {
        std::vector<TextObservation> plain;
        double plainConfidence = 0;
        const PixPtr asItIs = pixOf(bitmap);
        if (asItIs && read(asItIs.get(), false, {}, plain, plainConfidence) &&
            sureText(plain) > 1.25 * sureText(observations))
            observations = std::move(plain);
    }
    request.results = std::move(observations);
    return true;
}

bool TesseractRecognizer::read(Pix* page, bool mayBeSplit, const std::vector<Region>& sideBars,
                               std::vector<TextObservation>& observations, double& meanConfidence) {
    const int width = pixGetWidth(page), height = pixGetHeight(page);
    // The side bars are read on their own, and the rest with them left out, in the ground's shade.
    std::vector<BoxPtr> bars;
    PixPtr rest(sideBars.empty() ? nullptr : pixCopy(nullptr, page));
    l_uint32 ground = 255;
    if (rest && pixGetRankValue(page, 1, 0.5f, &ground) != 0) ground = 255;
    for (const Region& r : sideBars) {
        const int left = int(std::lround(r.left * width)), top = int(std::lround(r.top * height));
        bars.emplace_back(boxCreate(left, top, int(std::lround(r.right * width)) - left,
                                    int(std::lround(r.bottom * height)) - top));
        if (!rest || !bars.back() || pixSetInRectArbitrary(rest.get(), bars.back().get(), ground) != 0) return false;
    }
    Pix* const body = rest ? rest.get() : page;
    engine_->SetImage(body);
    const int row = mayBeSplit ? splitRow(*engine_) : 0;
    // Each part cut out: Tesseract 5.3 misreads the part of an image that SetRectangle marks.
    const auto part = [&](int top, int rows) {
        const BoxPtr box(boxCreate(0, top, width, rows));
        return PixPtr(box ? pixClipRectangle(body, box.get(), nullptr) : nullptr);
    };
    const PixPtr upper(row > 0 ? part(0, row) : nullptr), lower(row > 0 ? part(row, height - row) : nullptr);
    const bool split = upper && lower;
    const double x = xHeightOf(page);
    Reading whole, second;
    bool lowerRead = true;
    const auto readLower = [&] {
        omp_set_max_active_levels(0);  // as in the engine's own thread
        lowerRead = readPart(*helper_, lower.get(), x, second);
    };
    std::thread reading;
    if (split) {
        engine_->SetImage(upper.get());
        helper_->SetImage(lower.get());
        try {
            reading = std::thread(readLower);
        } catch (const std::system_error&) {
            readLower();  // out of threads: one part after the other
        }
    }
    const bool upperRead = readPart(*engine_, split ? upper.get() : body, x, whole);
    if (reading.joinable()) reading.join();
    // Each side bar read as one column of lines: laid out by Tesseract, its few short entries were
    // taken for specks, or not, as a pixel's shift decided. Its lines come before the rest's.
    Reading side;
    bool barsRead = true;
    for (const BoxPtr& bar : bars) {
        Reading one;
        const PixPtr crop(pixClipRectangle(page, bar.get(), nullptr));
        if (!crop) continue;
        engine_->SetImage(crop.get());
        engine_->SetPageSegMode(tesseract::PSM_SINGLE_BLOCK);
        barsRead = barsRead && readPart(*engine_, crop.get(), x, one);
        engine_->SetPageSegMode(tesseract::PSM_AUTO);
        for (Line& l : one.lines) {
            move(l, bar->x, bar->y);
            l.block += side.blocks;
            side.lines.push_back(std::move(l));
        }
        side.blocks += one.blocks;
        side.confidences += one.confidences, side.words += one.words;
    }
    const double confidences = whole.confidences + second.confidences + side.confidences;
    const int words = whole.words + second.words + side.words;
    if (upperRead && lowerRead && barsRead) {
        for (Line& l : second.lines) {
            move(l, 0, row);  // words too: the side-bar split places its pieces by them
            l.block += whole.blocks;
            whole.lines.push_back(std::move(l));
        }
        whole.blocks += second.blocks;
        for (Line& l : whole.lines) l.block += side.blocks;
        whole.lines.insert(whole.lines.begin(), std::make_move_iterator(side.lines.begin()),
                           std::make_move_iterator(side.lines.end()));
        whole.blocks += side.blocks;
        if (whole.gap > 0) {
            splitColumns(whole.lines, whole.blocks, whole.gap);
            joinPieces(whole.lines, whole.gap);
        }
        order(whole.lines, whole.blocks, whole.gap, observations);
    }
    meanConfidence = words > 0 ? confidences / words : 0;
    engine_->Clear();
    if (split) helper_->Clear();
    return upperRead && lowerRead && barsRead;
}
