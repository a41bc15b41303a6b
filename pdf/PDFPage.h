#pragma once

#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QTransform>
#include <QVector>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
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
        if (held_) return {};  // inside hold(): already ours
        ++waiting_;
        std::unique_lock<std::mutex> hold(mutex_);
        --waiting_;
        return hold;
    }
    // For the main thread: the lock over several calls, so that a render under way is stopped once for
    // all of them rather than once for each.
    class Hold {
    public:
        explicit Hold(PopplerLock &lock) : lock_(lock), hold_(lock.interrupt()) { lock_.held_ = true; }
        ~Hold() { lock_.held_ = false; }
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

    private:
        PopplerLock &lock_;
        std::unique_lock<std::mutex> hold_;
    };
    std::unique_lock<std::mutex> take() { return std::unique_lock<std::mutex>(mutex_); }
    bool contended() const { return waiting_ > 0; }

private:
    std::mutex mutex_;
    std::atomic<int> waiting_{0};
    bool held_ = false;  // by the main thread, through Hold; only it reads this
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
