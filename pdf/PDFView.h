#pragma once

#include <QAbstractScrollArea>
#include <QCache>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "PDFDocument.h"

class PageRenderer;

// Every page of a document one below the other in one continuous scroll, fitted to the width and zoomable,
// with text selection by dragging and clicking, copy, links and keyboard movement. Pages render in the
// background, only where they are visible, into a bounded cache.
class PDFView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit PDFView(QWidget *parent = nullptr);
    ~PDFView() override;

    void setDocument(PDFDocument *document);
    PDFDocument *document() const { return doc_; }

    // Empty when nothing is selected.
    PDFSelection currentSelection() const { return selection_; }
    void clearSelection();
    // Selects a found match and scrolls it into view.
    void showSelection(const PDFSelection &selection);
    // Further rectangles (page space) marked lightly on the pages shown, such as the other matches.
    void setMarks(std::function<QVector<QRectF>(int page)> marks);

    // From the coordinates of the view's window to those of the view (its viewport).
    QPointF convertPoint(QPointF windowPoint) const;
    // The page under a view point, or none.
    PDFPage *pageForPoint(QPointF viewPoint) const;
    QPointF convertPointToPage(QPointF viewPoint, const PDFPage *page) const;
    // Where a page lies in the view's coordinates.
    QRectF pageRect(const PDFPage *page) const;

    // 1 fits the widest page to the width; from a quarter of that to eight times it.
    double zoom() const { return zoom_; }
    // Keeps what lies under the view point where it is.
    void setZoom(double zoom, QPointF viewPoint);
    // A click on a link follows it; off in erase mode, where a click erases and follows nothing.
    void setFollowsLinks(bool follows) { followsLinks_ = follows; }
    // Shows a page from its top, or from this many display points below its top.
    void goToPage(int index, double top = -1);
    // The page that fills the middle of the view (the last one once scrolled to the end), and how far down
    // it the view's top lies, in display points.
    int currentPage() const;
    double topWithin(int page) const;
    // Whether a render is under way or waiting.
    bool rendering() const;

signals:
    // An image of this page has landed and is about to be drawn.
    void pageRendered(int index);

protected:
    bool viewportEvent(QEvent *) override;
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent *) override;
    void mouseDoubleClickEvent(QMouseEvent *) override;
    void mouseMoveEvent(QMouseEvent *) override;
    void mouseReleaseEvent(QMouseEvent *) override;
    void keyPressEvent(QKeyEvent *) override;
    void wheelEvent(QWheelEvent *) override;

private:
    // An image of a page, or of a part of it, as the renderer made it.
    struct Tile {
        QImage image;           // null when Poppler could not render the page
        double pixelsPerPoint;  // device pixels
        QRect part;             // what of the page it shows, in its own pixels
        int generation;
    };
    // A point of a page, to keep in place while the layout changes.
    struct Anchor {
        int page = -1;
        QPointF display;  // display points from the page's top left
    };

    void layoutPages();
    void showPageNumber();
    Anchor anchorAt(QPointF viewPoint) const;
    void restore(const Anchor &anchor, QPointF viewPoint);
    void stepZoom(int direction);
    // Device pixels per point that a page renders at.
    double resolution(const PDFPage &page) const;
    // Page space to the view's coordinates, for a page that lies at `pageRect`.
    QTransform pageToView(const PDFPage &page, const QRectF &pageRect) const;
    void drawTile(QPainter &painter, const PDFPage &page, const QRectF &pageRect, const Tile &tile) const;
    void takeRendered();
    void select(QPointF viewPoint);
    void selectAt(QPointF viewPoint, TextUnit unit);
    void publishSelection();
    void autoScroll();
    const PDFAnnotation *linkAt(QPointF viewPoint) const;
    void followLink(const PDFAnnotation &link);
    void updateCursor(QPointF viewPoint);
    PDFPage *nearestPage(QPointF viewPoint) const;

    PDFDocument *doc_ = nullptr;
    std::unique_ptr<PageRenderer> renderer_;
    double widest_ = 1;           // the widest page, in points
    double totalHeight_ = 1;      // all pages one below the other, in points
    double zoom_ = 1;
    double scale_ = 1;            // logical pixels per point
    std::vector<double> tops_;    // each page's top in content coordinates
    double contentWidth_ = 0, contentHeight_ = 0;
    QCache<int, Tile> cache_;     // two per page: 2i the whole page, 2i + 1 a part of it
    QTimer settle_;               // re-render only once a resize has settled
    QTimer scroller_;             // a drag held past an edge scrolls on
    QLabel *pageNumber_;          // "12 / 311", shown for a moment after each scroll
    QTimer fade_;
    std::function<QVector<QRectF>(int)> marks_;
    bool followsLinks_ = true;

    PDFSelection selection_;
    PDFPage *anchorPage_ = nullptr;
    QPointF anchor_;              // page space: where the selection starts
    QPointF pressPoint_, lastPoint_;  // view coordinates
    bool dragging_ = false;
    bool moved_ = false;
    QElapsedTimer sinceDoubleClick_;  // a press soon after a double-click is the third click
    QPointF doubleClickPoint_;
};
