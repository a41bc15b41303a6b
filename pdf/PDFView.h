#pragma once

#include <QAbstractScrollArea>
#include <QCache>
#include <QImage>
#include <QTimer>
#include <vector>

#include "PDFDocument.h"

// Every page of a document one below the other in one continuous scroll, scaled to the width, with text
// selection by dragging. Only visible pages are rendered, into a bounded cache.
class PDFView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit PDFView(QWidget *parent = nullptr);

    void setDocument(PDFDocument *document);
    PDFDocument *document() const { return doc_; }

    // Empty when nothing is selected.
    PDFSelection currentSelection() const { return selection_; }
    void clearSelection();

    // From the coordinates of the view's window to those of the view (its viewport).
    QPointF convertPoint(QPointF windowPoint) const;
    // The page under a view point, or none.
    PDFPage *pageForPoint(QPointF viewPoint) const;
    QPointF convertPointToPage(QPointF viewPoint, const PDFPage *page) const;
    // Where a page lies in the view's coordinates.
    QRectF pageRect(const PDFPage *page) const;

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent *) override;
    void mouseMoveEvent(QMouseEvent *) override;
    void mouseReleaseEvent(QMouseEvent *) override;

private:
    struct Rendered {
        QImage image;
        double width = 0;  // in logical pixels
        int generation = 0;
    };
    void layoutPages();
    void select(QPointF viewPoint);
    PDFPage *nearestPage(QPointF viewPoint) const;

    PDFDocument *doc_ = nullptr;
    double scale_ = 1.0;          // logical pixels per point
    std::vector<double> tops_;    // each page's top in content coordinates
    double contentHeight_ = 0;
    QCache<int, Rendered> cache_;
    QTimer settle_;               // re-render only once a resize has settled
    PDFSelection selection_;
    PDFPage *anchorPage_ = nullptr;
    QPointF anchor_;              // page space
    QPointF pressPoint_;          // view coordinates
    bool dragging_ = false;
    bool moved_ = false;
};
