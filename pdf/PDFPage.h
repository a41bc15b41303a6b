#pragma once

#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QTransform>
#include <QVector>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "PDFAnnotation.h"

namespace Poppler {
class Page;
}

// The page's text as the layer reasons about it: boxes in display points (top left of the crop box,
// page rotation applied, y down), lines in reading order, lines grouped into blocks for hit-testing.
struct TextChar {
    QString text;
    QRectF box;  // empty for the space between two words
};
struct TextLine {
    QVector<TextChar> chars;
    QRectF box;
    bool vertical = false;  // runs down or up the screen, as on a turned page
};
struct TextBlock {
    int first = 0, last = 0;  // line indices, inclusive
    QRectF box;
};
struct TextModel {
    std::vector<TextLine> lines;
    std::vector<TextBlock> blocks;
};

// Every Poppler call holds this lock: pages render on a worker thread while the main thread selects, edits
// and writes. The main thread takes it through `interrupt`, which makes a render in progress give up at its
// next check, so an edit or a write waits milliseconds instead of the seconds a heavy page can take.
class PopplerLock {
public:
    std::unique_lock<std::mutex> interrupt() {
        ++waiting_;
        std::unique_lock<std::mutex> hold(mutex_);
        --waiting_;
        lastInterrupt_ = now();
        return hold;
    }
    // For the renderer. A mutex is not fair: a render that gave way and took the lock straight back would
    // starve the main thread, and one restarted between every two of its reads (a search, a drag) would
    // spend the time on Poppler's page-sized clear. So it waits while the main thread wants the lock and,
    // after giving way, until the main thread has left the document alone for a moment.
    std::unique_lock<std::mutex> take() {
        for (;;) {
            const auto quiet = std::chrono::nanoseconds(now() - lastInterrupt_.load());
            if (!contended() && (!gaveWay_ || quiet >= kQuiet)) {
                gaveWay_ = false;
                return std::unique_lock<std::mutex>(mutex_);
            }
            std::this_thread::sleep_for(contended() ? std::chrono::milliseconds(1) : kQuiet - quiet);
        }
    }
    void gaveWay() { gaveWay_ = true; }
    bool contended() const { return waiting_ > 0; }

private:
    std::mutex mutex_;
    std::atomic<int> waiting_{0};
    std::atomic<std::int64_t> lastInterrupt_{0};
    bool gaveWay_ = false;  // the renderer's own
    static constexpr std::chrono::nanoseconds kQuiet = std::chrono::milliseconds(25);
    static std::int64_t now() {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

// One change of a page's annotations, so that a view can show it over an image rendered before it.
struct AnnotationChange {
    int generation;  // the page's generation once the change was made
    std::shared_ptr<PDFAnnotation> annotation;
    bool added;
};

// Every method but `render` is for the main thread only.
class PDFPage {
public:
    PDFPage(std::unique_ptr<Poppler::Page> page, int index, PopplerLock &lock);
    ~PDFPage();
    PDFPage(const PDFPage &) = delete;
    PDFPage &operator=(const PDFPage &) = delete;

    int index() const { return index_; }
    // Size as shown, in points, rotation applied.
    QSizeF displaySize() const { return displaySize_; }
    // Page space (points, origin lower left of the media box, y up, before rotation) to display points.
    const QTransform &toDisplay() const { return toDisplay_; }
    // The page at this resolution, or only the part of it given in pixels of that resolution, and the
    // generation it shows; a null image when Poppler cannot render it. Safe on any thread. None when it
    // gave up: `abandon` said so, or the main thread wanted the lock meanwhile.
    std::optional<QImage> render(double pixelsPerPoint, const QRect &part, const std::function<bool()> &abandon,
                                 int *generation) const;

    // Built once and kept: selection asks for it on every mouse move.
    const TextModel &text() const;
    // Built afresh and not kept, for a single pass over a long document.
    TextModel extractText() const;
    // The words in reading order without their boxes: much cheaper than the model.
    QString plainText() const;

    // In page order; a highlight added last is last.
    const std::vector<std::shared_ptr<PDFAnnotation>> &annotations() const;
    void addAnnotation(const std::shared_ptr<PDFAnnotation> &annotation);
    // A no-op when the annotation is not on this page (any more).
    void removeAnnotation(std::shared_ptr<PDFAnnotation> annotation);  // by value: callers pass list elements
    // Raised on every change of the annotations, so a view knows its image is stale.
    int generation() const { return generation_; }
    // Every change of the annotations, oldest first.
    const std::vector<AnnotationChange> &changes() const { return changes_; }

private:
    void loadAnnotations() const;

    std::unique_ptr<Poppler::Page> page_;
    int index_;
    PopplerLock &lock_;
    QSizeF displaySize_;
    QTransform toDisplay_;
    mutable std::optional<TextModel> text_;
    mutable std::optional<std::vector<std::shared_ptr<PDFAnnotation>>> annotations_;
    int generation_ = 0;  // written under the lock, so the renderer may read it there
    std::vector<AnnotationChange> changes_;
};
