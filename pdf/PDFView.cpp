#include "PDFView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <cmath>

namespace {
constexpr double kGap = 8;     // between pages and around them, in logical pixels
constexpr int kCacheBytes = 96 << 20;  // a few ratio-2 pages; more only costs memory
constexpr double kMaxPixels = 24e6;    // the most one page image may hold
}  // namespace

PDFView::PDFView(QWidget *parent) : QAbstractScrollArea(parent), cache_(kCacheBytes) {
    viewport()->setMouseTracking(false);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    horizontalScrollBar()->setRange(0, 0);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    settle_.setSingleShot(true);
    settle_.setInterval(120);
    connect(&settle_, &QTimer::timeout, viewport(), qOverload<>(&QWidget::update));
}

void PDFView::setDocument(PDFDocument *document) {
    doc_ = document;
    cache_.clear();
    selection_ = {};
    layoutPages();
    viewport()->update();
}

void PDFView::layoutPages() {
    tops_.clear();
    contentHeight_ = kGap;
    if (!doc_) return;
    double widest = 1;
    for (int i = 0; i < doc_->pageCount(); ++i) widest = std::max(widest, doc_->page(i)->displaySize().width());
    scale_ = std::max(0.05, (viewport()->width() - 2 * kGap) / widest);
    for (int i = 0; i < doc_->pageCount(); ++i) {
        tops_.push_back(contentHeight_);
        contentHeight_ += doc_->page(i)->displaySize().height() * scale_ + kGap;
    }
    QScrollBar *bar = verticalScrollBar();
    const double fraction = bar->maximum() > 0 ? double(bar->value()) / bar->maximum() : 0;
    bar->setRange(0, std::max(0, int(contentHeight_) - viewport()->height()));
    bar->setPageStep(viewport()->height());
    bar->setSingleStep(40);
    bar->setValue(int(fraction * bar->maximum()));
}

QRectF PDFView::pageRect(const PDFPage *page) const {
    if (!page || page->index() >= int(tops_.size())) return {};
    const QSizeF size = page->displaySize() * scale_;
    const double left = std::max(kGap, (viewport()->width() - size.width()) / 2);
    return QRectF(QPointF(left, tops_[size_t(page->index())] - verticalScrollBar()->value()), size);
}

void PDFView::paintEvent(QPaintEvent *event) {
    if (!doc_) return;
    QPainter painter(viewport());
    const QRectF visible = event->rect();
    const double ratio = devicePixelRatioF();
    // The first page whose bottom is below the top of the view.
    const double top = verticalScrollBar()->value();
    auto it = std::upper_bound(tops_.begin(), tops_.end(), top);
    for (int i = std::max(0, int(it - tops_.begin()) - 1); i < doc_->pageCount(); ++i) {
        const PDFPage *page = doc_->page(i);
        const QRectF rect = pageRect(page);
        if (rect.top() > visible.bottom()) break;
        if (!rect.intersects(visible)) continue;
        Rendered *cached = cache_.object(i);
        // While a resize goes on, the old image is drawn scaled; the new one is made once it settles.
        const bool fresh = cached && cached->generation == page->generation() &&
                           (qFuzzyCompare(cached->width, rect.width()) || settle_.isActive());
        QImage image = cached ? cached->image : QImage();
        if (!fresh) {
            // A page of absurd proportions is rendered coarser rather than into gigabytes.
            const QSizeF size = page->displaySize();
            const double cap = std::sqrt(kMaxPixels / std::max(1.0, size.width() * size.height()));
            const double pixelsPerPoint = std::min(scale_ * ratio, cap);
            image = page->render(pixelsPerPoint);
            image.setDevicePixelRatio(pixelsPerPoint / scale_);
            // QCache deletes at once what does not fit: draw from our own copy.
            cache_.insert(i, new Rendered{image, rect.width(), page->generation()},
                          std::max<qsizetype>(1, image.sizeInBytes()));
        }
        painter.fillRect(rect, Qt::white);
        painter.drawImage(rect, image);
    }
    QColor tint = palette().color(QPalette::Highlight);
    tint.setAlphaF(0.35f);
    for (const auto &line : selection_.lines) {
        const QRectF r = pageRect(line.page);
        if (!r.intersects(visible)) continue;
        const QTransform toView = line.page->toDisplay() * QTransform::fromScale(scale_, scale_) *
                                  QTransform::fromTranslate(r.left(), r.top());
        painter.fillRect(toView.mapRect(line.bounds), tint);
    }
}

void PDFView::resizeEvent(QResizeEvent *event) {
    QAbstractScrollArea::resizeEvent(event);
    layoutPages();
    settle_.start();
}

void PDFView::scrollContentsBy(int, int) { viewport()->update(); }

QPointF PDFView::convertPoint(QPointF windowPoint) const {
    return viewport()->mapFrom(window(), windowPoint);
}

PDFPage *PDFView::pageForPoint(QPointF viewPoint) const {
    if (!doc_) return nullptr;
    const double y = viewPoint.y() + verticalScrollBar()->value();
    auto it = std::upper_bound(tops_.begin(), tops_.end(), y);
    if (it == tops_.begin()) return nullptr;
    PDFPage *page = doc_->page(int(it - tops_.begin()) - 1);
    return pageRect(page).contains(viewPoint) ? page : nullptr;
}

QPointF PDFView::convertPointToPage(QPointF viewPoint, const PDFPage *page) const {
    const QRectF r = pageRect(page);
    if (r.isEmpty()) return {};
    const QPointF display = (viewPoint - r.topLeft()) / scale_;
    return page->toDisplay().inverted().map(display);
}

// A drag that strays between or beyond pages selects up to the nearest page.
PDFPage *PDFView::nearestPage(QPointF viewPoint) const {
    if (!doc_ || tops_.empty()) return nullptr;
    const double y = viewPoint.y() + verticalScrollBar()->value();
    auto it = std::upper_bound(tops_.begin(), tops_.end(), y);
    return doc_->page(std::max(0, int(it - tops_.begin()) - 1));
}

void PDFView::clearSelection() {
    selection_ = {};
    viewport()->update();
}

void PDFView::select(QPointF viewPoint) {
    PDFPage *page = nearestPage(viewPoint);
    selection_ = doc_->selection(anchorPage_, anchor_, page, convertPointToPage(viewPoint, page));
    viewport()->update();
}

void PDFView::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton || !doc_) return;
    clearSelection();
    anchorPage_ = nearestPage(event->position());
    anchor_ = convertPointToPage(event->position(), anchorPage_);
    pressPoint_ = event->position();
    dragging_ = anchorPage_ != nullptr;
    moved_ = false;
}

void PDFView::mouseMoveEvent(QMouseEvent *event) {
    if (!dragging_) return;
    moved_ = moved_ || (event->position() - pressPoint_).manhattanLength() >= 2;
    if (!moved_) return;
    // Dragging past the top or the bottom scrolls on, so a selection can run across many pages.
    const double y = event->position().y();
    QScrollBar *bar = verticalScrollBar();
    if (y < 0) bar->setValue(bar->value() + int(y));
    if (y > viewport()->height()) bar->setValue(bar->value() + int(y - viewport()->height()));
    select(event->position());
}

void PDFView::mouseReleaseEvent(QMouseEvent *event) {
    if (!dragging_ || event->button() != Qt::LeftButton) return;
    dragging_ = false;
    // A click without a drag selects nothing.
    if (moved_ || (event->position() - pressPoint_).manhattanLength() >= 2) select(event->position());
}
