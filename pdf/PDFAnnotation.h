#pragma once

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QVector>
#include <memory>

namespace Poppler {
class Annotation;
}

// One annotation of a page. The same object stands for the same annotation for the life of the document,
// so the undo history can hold it. Geometry is in page space: points, origin lower left, y up.
class PDFAnnotation {
public:
    // A highlight not yet on any page; PDFPage::addAnnotation puts it there.
    PDFAnnotation(const QRectF &bounds, const QColor &color, const QVector<QPointF> &quadrilateralPoints);
    ~PDFAnnotation();
    PDFAnnotation(const PDFAnnotation &) = delete;
    PDFAnnotation &operator=(const PDFAnnotation &) = delete;

    // The subtype name ("Highlight", "Underline", "Text", ...), empty when unknown.
    QString type() const { return type_; }
    QRectF bounds() const { return bounds_; }
    QColor color() const { return color_; }
    // Relative to the bounds' origin.
    QVector<QPointF> quadrilateralPoints() const { return quads_; }

    // Where a link leads inside the document: a page index, and how far down that page to show, as a
    // fraction of its height (negative: its top). Page -1 when the link leads nowhere inside the document.
    struct Destination {
        int page = -1;
        double top = -1;
    };
    Destination destination() const { return destination_; }
    // A link's address (a URI action); empty for every other annotation.
    QString url() const { return url_; }

private:
    friend class PDFPage;
    PDFAnnotation() = default;

    QString type_;
    QRectF bounds_;
    QColor color_;
    QVector<QPointF> quads_;
    Destination destination_;
    QString url_;
    // Poppler's object while the annotation lies on a page; Poppler deletes it on removal.
    std::unique_ptr<Poppler::Annotation> poppler_;
};
