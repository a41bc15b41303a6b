#pragma once

#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QTransform>
#include <QVector>
#include <memory>
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

class PDFPage {
public:
    PDFPage(std::unique_ptr<Poppler::Page> page, int index);
    ~PDFPage();
    PDFPage(const PDFPage &) = delete;
    PDFPage &operator=(const PDFPage &) = delete;

    int index() const { return index_; }
    // Size as shown, in points, rotation applied.
    QSizeF displaySize() const { return displaySize_; }
    // Page space (points, origin lower left of the media box, y up, before rotation) to display points.
    const QTransform &toDisplay() const { return toDisplay_; }
    QImage render(double pixelsPerPoint) const;

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

private:
    void loadAnnotations() const;

    std::unique_ptr<Poppler::Page> page_;
    int index_;
    int rotation_ = 0;
    QSizeF displaySize_;
    QTransform toDisplay_;
    QTransform textToDisplay_;
    mutable std::optional<TextModel> text_;
    mutable std::optional<std::vector<std::shared_ptr<PDFAnnotation>>> annotations_;
    int generation_ = 0;
};
