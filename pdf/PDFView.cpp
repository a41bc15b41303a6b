#include "PDFView.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QScrollBar>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "PageRenderer.h"

namespace {
constexpr double kGap = 8;                 // between pages and around them, in logical pixels
constexpr int kCacheBytes = 64 << 20;      // the visible pages at least; more only costs memory
constexpr double kWholePixels = 4e6;       // a page larger than this renders in parts
constexpr double kPartPixels = 4e6;        // a part with its margin, unless the view alone is larger
constexpr double kMinZoom = 0.25, kMaxZoom = 8;
// Past these Poppler fails to render (and says so on standard error): 12.5 million pixels on a side, or
// glyphs of thousands of pixels. Pages of absurd size or magnification render coarser and are drawn scaled.
constexpr double kMaxPixelsPerPoint = 256, kMaxSide = 4e6;
constexpr double kZoomSteps[] = {0.25, 0.33, 0.5, 0.67, 0.8, 1, 1.25, 1.5, 2, 3, 4, 6, 8};
constexpr int kPageNumberMs = 1500;        // the page number covers the corner this long after a scroll

// A page's size in pixels at a resolution.
QSize pixelSize(const PDFPage &page, double pixelsPerPoint) {
    return (page.displaySize() * pixelsPerPoint).toSize().expandedTo({1, 1});
}

QRect outward(const QRectF &r) {
    return QRect(QPoint(int(std::floor(r.left())), int(std::floor(r.top()))),
                 QPoint(int(std::ceil(r.right())) - 1, int(std::ceil(r.bottom())) - 1));
}

// The part of a page to render for what is shown of it: with a margin, so that scrolling on finds it ready,
// and on a grid, so that a small scroll asks for nothing new.
QRect partAround(const QRect &shown, const QSize &full, double margin) {
    while (margin > 16 && (shown.width() + 2 * margin) * (shown.height() + 2 * margin) > kPartPixels) margin /= 2;
    const int grid = 256, m = int(margin);
    const QRect grown = shown.adjusted(-m, -m, m, m);
    const QRect part = QRect(QPoint(grown.left() / grid * grid, grown.top() / grid * grid),
                             QPoint((grown.right() / grid + 1) * grid - 1, (grown.bottom() / grid + 1) * grid - 1))
                           .intersected(QRect(QPoint(), full));
    return part.contains(shown) ? part : shown;
}
}  // namespace

PDFView::PDFView(QWidget *parent)
    : QAbstractScrollArea(parent), cache_(kCacheBytes), pageNumber_(new QLabel(viewport())) {
    pageNumber_->setAccessibleName("Page number");
    pageNumber_->setAttribute(Qt::WA_TransparentForMouseEvents);
    pageNumber_->setStyleSheet("background: rgba(0, 0, 0, 150); color: white; padding: 3px 8px; border-radius: 4px;");
    pageNumber_->hide();
    fade_.setSingleShot(true);
    fade_.setInterval(kPageNumberMs);
    connect(&fade_, &QTimer::timeout, pageNumber_, &QWidget::hide);
    viewport()->setMouseTracking(true);  // the cursor follows what lies under the pointer
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    settle_.setSingleShot(true);
    settle_.setInterval(120);
    connect(&settle_, &QTimer::timeout, viewport(), qOverload<>(&QWidget::update));
    scroller_.setInterval(30);
    connect(&scroller_, &QTimer::timeout, this, &PDFView::autoScroll);
}

// The renderer goes first: it may be using the document.
PDFView::~PDFView() { renderer_.reset(); }

void PDFView::setDocument(PDFDocument *document) {
    renderer_.reset();
    doc_ = document;
    cache_.clear();
    selection_ = {};
    widest_ = 1;
    if (doc_) {
        totalHeight_ = 1;
        for (int i = 0; i < doc_->pageCount(); ++i) {
            widest_ = std::max(widest_, doc_->page(i)->displaySize().width());
            totalHeight_ += doc_->page(i)->displaySize().height();
        }
        renderer_ = std::make_unique<PageRenderer>(*doc_);
        connect(renderer_.get(), &PageRenderer::ready, this, &PDFView::takeRendered);
    }
    layoutPages();
    viewport()->update();
}

bool PDFView::rendering() const { return renderer_ && renderer_->busy(); }

void PDFView::layoutPages() {
    tops_.clear();
    contentHeight_ = kGap;
    if (!doc_) return;
    scale_ = std::max(0.01, (viewport()->width() - 2 * kGap) / widest_) * zoom_;
    // Scroll positions are ints: pages of absurd shape get a smaller scale rather than an overflow.
    scale_ = std::min(scale_, 2e9 / totalHeight_);
    for (int i = 0; i < doc_->pageCount(); ++i) {
        tops_.push_back(contentHeight_);
        contentHeight_ += std::round(doc_->page(i)->displaySize().height() * scale_) + kGap;
    }
    contentWidth_ = widest_ * scale_ + 2 * kGap;
    QScrollBar *v = verticalScrollBar(), *h = horizontalScrollBar();
    v->setRange(0, std::max(0, int(std::ceil(contentHeight_)) - viewport()->height()));
    v->setPageStep(viewport()->height());
    v->setSingleStep(40);
    h->setRange(0, std::max(0, int(std::ceil(contentWidth_)) - viewport()->width()));
    h->setPageStep(viewport()->width());
    h->setSingleStep(40);
}

QRectF PDFView::pageRect(const PDFPage *page) const {
    if (!page || page->index() >= int(tops_.size())) return {};
    const QSizeF size = page->displaySize() * scale_;
    const double width = std::max<double>(contentWidth_, viewport()->width());
    // Whole pixels, so that an image at the view's resolution is drawn unscaled.
    const double left = std::round((width - size.width()) / 2) - horizontalScrollBar()->value();
    return QRectF(QPointF(left, tops_[size_t(page->index())] - verticalScrollBar()->value()), size);
}

PDFView::Anchor PDFView::anchorAt(QPointF viewPoint) const {
    const PDFPage *page = nearestPage(viewPoint);
    if (!page) return {};
    return {page->index(), (viewPoint - pageRect(page).topLeft()) / scale_};
}

void PDFView::restore(const Anchor &anchor, QPointF viewPoint) {
    if (anchor.page < 0) return;
    const QPointF now = pageRect(doc_->page(anchor.page)).topLeft() + anchor.display * scale_;
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + int(std::lround(now.x() - viewPoint.x())));
    verticalScrollBar()->setValue(verticalScrollBar()->value() + int(std::lround(now.y() - viewPoint.y())));
}

void PDFView::setZoom(double zoom, QPointF viewPoint) {
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    if (!doc_ || zoom == zoom_) return;
    const Anchor anchor = anchorAt(viewPoint);
    zoom_ = zoom;
    layoutPages();
    restore(anchor, viewPoint);
    viewport()->update();
}

void PDFView::stepZoom(int direction) {
    double next = zoom_;
    if (direction > 0) {
        const auto *step = std::find_if(std::begin(kZoomSteps), std::end(kZoomSteps), [&](double z) { return z > zoom_ * 1.01; });
        next = step == std::end(kZoomSteps) ? kMaxZoom : *step;
    } else {
        for (double z : kZoomSteps)
            if (z < zoom_ / 1.01) next = z;
        next = std::min(next, zoom_);
    }
    setZoom(next, QRectF(viewport()->rect()).center());
}

void PDFView::goToPage(int index, double top) {
    if (!doc_ || index < 0 || index >= int(tops_.size())) return;
    verticalScrollBar()->setValue(int(tops_[size_t(index)] + (top >= 0 ? top * scale_ : -kGap)));
}

int PDFView::currentPage() const {
    const QScrollBar *bar = verticalScrollBar();
    if (tops_.empty() || bar->value() == 0) return 0;
    if (bar->value() >= bar->maximum()) return int(tops_.size()) - 1;
    const auto it = std::upper_bound(tops_.begin(), tops_.end(), bar->value() + viewport()->height() / 2.0);
    return std::max(0, int(it - tops_.begin()) - 1);
}

double PDFView::topWithin(int page) const {
    if (page < 0 || page >= int(tops_.size())) return 0;
    return (verticalScrollBar()->value() - tops_[size_t(page)]) / scale_;
}

void PDFView::showPageNumber() {
    if (!doc_ || doc_->pageCount() == 0) return;
    pageNumber_->setText(QString("%1 / %2").arg(currentPage() + 1).arg(doc_->pageCount()));
    pageNumber_->adjustSize();
    pageNumber_->move(viewport()->width() - pageNumber_->width() - 12, viewport()->height() - pageNumber_->height() - 12);
    pageNumber_->show();
    fade_.start();
}

double PDFView::resolution(const PDFPage &page) const {
    const QSizeF size = page.displaySize();
    return std::min({scale_ * devicePixelRatioF(), kMaxPixelsPerPoint, kMaxSide / std::max({size.width(), size.height(), 1.0})});
}

QTransform PDFView::pageToView(const PDFPage &page, const QRectF &pageRect) const {
    return page.toDisplay() * QTransform::fromScale(scale_, scale_) * QTransform::fromTranslate(pageRect.left(), pageRect.top());
}

void PDFView::drawTile(QPainter &painter, const PDFPage &page, const QRectF &rect, const Tile &tile) const {
    if (tile.image.isNull()) return;
    // The tile's pixels to the view's: its part of the page, at the view's scale.
    const double factor = scale_ / tile.pixelsPerPoint;
    const QRectF target(rect.topLeft() + QPointF(tile.part.topLeft()) * factor, QSizeF(tile.part.size()) * factor);
    painter.drawImage(target, tile.image);
    // Changes made since the image was rendered show at once, until the new image lands: a new highlight
    // multiplies its colour in, as the renderer draws it, and a removed one divides it out again.
    painter.save();
    painter.setClipRect(target);
    const QTransform toView = pageToView(page, rect);
    for (const AnnotationChange &change : page.changes()) {
        if (change.generation <= tile.generation || change.annotation->type() != "Highlight") continue;
        const QColor c = change.annotation->color();
        painter.setCompositionMode(change.added ? QPainter::CompositionMode_Multiply
                                                : QPainter::CompositionMode_ColorDodge);
        painter.fillRect(toView.mapRect(change.annotation->bounds()),
                         change.added ? c : QColor(255 - c.red(), 255 - c.green(), 255 - c.blue()));
    }
    painter.restore();
}

void PDFView::paintEvent(QPaintEvent *) {
    if (!doc_) return;
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF view = viewport()->rect();
    std::vector<PageRenderer::Job> wanted;
    qsizetype visibleBytes = 0;
    // An image of the page as it is now, at this resolution, showing at least `needed`.
    const auto upToDate = [](const Tile *tile, const PDFPage &page, double pixelsPerPoint, const QRect &needed) {
        return tile && tile->pixelsPerPoint == pixelsPerPoint && tile->generation == page.generation() &&
               tile->part.contains(needed);
    };

    // From the first page whose bottom is below the top of the view.
    auto it = std::upper_bound(tops_.begin(), tops_.end(), double(verticalScrollBar()->value()));
    const int first = std::max(0, int(it - tops_.begin()) - 1);
    int last = first;
    for (int i = first; i < doc_->pageCount(); ++i) {
        const PDFPage *page = doc_->page(i);
        const QRectF rect = pageRect(page);
        if (rect.top() > view.bottom()) break;
        last = i;
        if (!rect.intersects(view)) continue;
        painter.fillRect(rect, Qt::white);

        const double pixelsPerPoint = resolution(*page), toPixels = pixelsPerPoint / scale_;
        const QSize full = pixelSize(*page, pixelsPerPoint);
        const bool inParts = double(full.width()) * full.height() > kWholePixels;
        // What the view shows of the page, in pixels of the page at the view's resolution.
        const QRectF shown = (rect & view).translated(-rect.topLeft());
        const QRect needed = inParts ? outward(QRectF(shown.topLeft() * toPixels, shown.size() * toPixels)).intersected(QRect(QPoint(), full))
                                     : QRect(QPoint(), full);
        visibleBytes += qsizetype(needed.width()) * needed.height() * 4;

        const Tile *whole = cache_.object(2 * i);
        const Tile *part = cache_.object(2 * i + 1);
        if (whole) drawTile(painter, *page, rect, *whole);
        if (part && (inParts || !whole || whole->pixelsPerPoint != pixelsPerPoint)) drawTile(painter, *page, rect, *part);

        // While a resize goes on, whatever image there is is drawn scaled; the new one is made once it settles.
        if (upToDate(inParts ? part : whole, *page, pixelsPerPoint, needed) || (settle_.isActive() && (whole || part) && (whole ? whole : part)->generation == page->generation()))
            continue;
        wanted.push_back({i, pixelsPerPoint, inParts ? partAround(needed, full, view.height() * toPixels / 2) : QRect()});
    }
    // The pages just above and below come next, so that scrolling on finds them ready.
    for (int i : {last + 1, first - 1}) {
        if (i < 0 || i >= doc_->pageCount()) continue;
        const PDFPage &page = *doc_->page(i);
        const double pixelsPerPoint = resolution(page);
        const QSize full = pixelSize(page, pixelsPerPoint);
        if (double(full.width()) * full.height() <= kWholePixels && !settle_.isActive() &&
            !upToDate(cache_.object(2 * i), page, pixelsPerPoint, QRect(QPoint(), full)))
            wanted.push_back({i, pixelsPerPoint, {}});
    }
    // Never so small that the visible pages push each other out.
    cache_.setMaxCost(std::max<qsizetype>(kCacheBytes, 3 * visibleBytes));
    renderer_->request(std::move(wanted));

    QColor tint = palette().color(QPalette::Highlight);
    tint.setAlphaF(0.15f);
    for (int i = first; marks_ && i <= last; ++i) {
        const PDFPage &page = *doc_->page(i);
        const QTransform toView = pageToView(page, pageRect(&page));
        for (const QRectF &mark : marks_(i)) painter.fillRect(toView.mapRect(mark), tint);
    }
    tint.setAlphaF(0.35f);
    for (const auto &line : selection_.lines) {
        const QRectF r = pageRect(line.page);
        if (!r.intersects(view)) continue;
        painter.fillRect(pageToView(*line.page, r).mapRect(line.bounds), tint);
    }
}

void PDFView::takeRendered() {
    if (!renderer_) return;
    for (PageRenderer::Result &r : renderer_->take()) {
        const bool whole = r.job.part.isNull();
        // A part rendered for another zoom is of no use any more.
        if (!whole && r.job.pixelsPerPoint != resolution(*doc_->page(r.job.page))) continue;
        // A page Poppler cannot render keeps its failure, so that it is not asked for again and again.
        const QRect part = whole ? QRect(QPoint(), pixelSize(*doc_->page(r.job.page), r.job.pixelsPerPoint)) : r.job.part;
        cache_.insert(2 * r.job.page + (whole ? 0 : 1), new Tile{r.image, r.job.pixelsPerPoint, part, r.generation},
                      std::max<qsizetype>(1, r.image.sizeInBytes()));
        emit pageRendered(r.job.page);
    }
    viewport()->update();
}

void PDFView::resizeEvent(QResizeEvent *event) {
    const QPointF top(viewport()->width() / 2.0, 0);
    const Anchor anchor = anchorAt(top);
    QAbstractScrollArea::resizeEvent(event);
    layoutPages();
    restore(anchor, top);
    settle_.start();
    if (pageNumber_->isVisible()) showPageNumber();
}

void PDFView::scrollContentsBy(int, int) {
    viewport()->update();
    showPageNumber();
}

bool PDFView::viewportEvent(QEvent *event) {
    // A touchpad pinch.
    if (event->type() == QEvent::NativeGesture) {
        const auto *gesture = static_cast<QNativeGestureEvent *>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture) {
            setZoom(zoom_ * (1 + gesture->value()), gesture->position());
            return true;
        }
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void PDFView::wheelEvent(QWheelEvent *event) {
    if (event->modifiers().testFlag(Qt::ControlModifier)) {
        setZoom(zoom_ * std::pow(1.2, event->angleDelta().y() / 120.0), event->position());
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

void PDFView::keyPressEvent(QKeyEvent *event) {
    const bool control = event->modifiers().testFlag(Qt::ControlModifier);
    QScrollBar *bar = verticalScrollBar();
    if (event->matches(QKeySequence::Copy)) {
        if (!selection_.string.isEmpty()) QGuiApplication::clipboard()->setText(selection_.string);
        return;
    }
    switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            if (control) return stepZoom(1);
            break;
        case Qt::Key_Minus:
            if (control) return stepZoom(-1);
            break;
        case Qt::Key_0:
            if (control) return setZoom(1, QRectF(viewport()->rect()).center());
            break;
        case Qt::Key_Space:
            // A line's worth less than a screen, so that the reader keeps their place.
            bar->setValue(bar->value() + (event->modifiers().testFlag(Qt::ShiftModifier) ? -1 : 1) *
                                             std::max(bar->singleStep(), bar->pageStep() - bar->singleStep()));
            return;
        case Qt::Key_Home:
            bar->setValue(0);
            horizontalScrollBar()->setValue(0);
            return;
        case Qt::Key_End:
            bar->setValue(bar->maximum());
            return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

QPointF PDFView::convertPoint(QPointF windowPoint) const { return viewport()->mapFrom(window(), windowPoint); }

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

void PDFView::showSelection(const PDFSelection &selection) {
    selection_ = selection;
    viewport()->update();
    if (selection.isEmpty()) return;
    const PDFSelection::Line &line = selection.lines.front();
    const QRectF shown = pageToView(*line.page, pageRect(line.page)).mapRect(line.bounds);
    const QRectF view = viewport()->rect();
    // A third of the way down, where the eye looks for it; left alone when it is in sight already.
    if (shown.top() < 0 || shown.bottom() > view.height())
        verticalScrollBar()->setValue(verticalScrollBar()->value() + int(shown.top() - view.height() / 3));
    if (shown.left() < 0 || shown.right() > view.width())
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() + int(shown.center().x() - view.width() / 2));
}

void PDFView::setMarks(std::function<QVector<QRectF>(int)> marks) {
    marks_ = std::move(marks);
    viewport()->update();
}

void PDFView::select(QPointF viewPoint) {
    PDFPage *page = nearestPage(viewPoint);
    selection_ = doc_->selection(anchorPage_, anchor_, page, convertPointToPage(viewPoint, page));
    viewport()->update();
}

void PDFView::selectAt(QPointF viewPoint, TextUnit unit) {
    PDFPage *page = pageForPoint(viewPoint);
    selection_ = doc_->selectionAt(page, convertPointToPage(viewPoint, page), unit);
    if (!selection_.isEmpty()) {
        // Shift+click extends it from its start.
        const PDFSelection::Line &start = selection_.lines.front();
        const QRectF shown = start.page->toDisplay().mapRect(start.bounds);
        anchorPage_ = start.page;
        anchor_ = start.page->toDisplay().inverted().map(QPointF(shown.left() + 0.01, shown.center().y()));
    }
    viewport()->update();
}

// X users paste the last selection with the middle button.
void PDFView::publishSelection() {
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection() && !selection_.string.isEmpty())
        clipboard->setText(selection_.string, QClipboard::Selection);
}

void PDFView::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton || !doc_) return;
    const QPointF at = event->position();
    pressPoint_ = lastPoint_ = at;
    moved_ = false;
    if (sinceDoubleClick_.isValid() && sinceDoubleClick_.elapsed() < QApplication::doubleClickInterval() &&
        (at - doubleClickPoint_).manhattanLength() < QApplication::startDragDistance()) {
        sinceDoubleClick_.invalidate();
        dragging_ = false;
        selectAt(at, TextUnit::Line);
        return;
    }
    if (event->modifiers().testFlag(Qt::ShiftModifier) && !selection_.isEmpty() && anchorPage_) {
        dragging_ = true;
        moved_ = true;  // every move and the release extend it
        select(at);
        return;
    }
    clearSelection();
    anchorPage_ = nearestPage(at);
    anchor_ = convertPointToPage(at, anchorPage_);
    dragging_ = anchorPage_ != nullptr;
}

void PDFView::mouseDoubleClickEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton || !doc_) return;
    dragging_ = false;
    sinceDoubleClick_.start();
    doubleClickPoint_ = event->position();
    selectAt(event->position(), TextUnit::Word);
}

void PDFView::mouseMoveEvent(QMouseEvent *event) {
    const QPointF at = event->position();
    if (!dragging_) return updateCursor(at);
    lastPoint_ = at;
    moved_ = moved_ || (at - pressPoint_).manhattanLength() >= 2;
    if (!moved_) return;
    // Past an edge the view scrolls on, also while the pointer is held still, so a selection can run
    // across many pages.
    if (!viewport()->rect().contains(at.toPoint()) && !scroller_.isActive()) {
        scroller_.start();
        autoScroll();
    }
    select(at);
}

void PDFView::autoScroll() {
    const QRectF view = viewport()->rect();
    const double dy = lastPoint_.y() < 0 ? lastPoint_.y() : std::max(0.0, lastPoint_.y() - view.height());
    const double dx = lastPoint_.x() < 0 ? lastPoint_.x() : std::max(0.0, lastPoint_.x() - view.width());
    if (!dragging_ || (dx == 0 && dy == 0)) {
        scroller_.stop();
        return;
    }
    // Faster the further out, never slower than a few pixels a step.
    const auto step = [](double d) { return d == 0 ? 0 : int(std::copysign(std::max(8.0, std::abs(d)), d)); };
    verticalScrollBar()->setValue(verticalScrollBar()->value() + step(dy));
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + step(dx));
    select(lastPoint_);
}

void PDFView::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton || !doc_) return;
    scroller_.stop();
    if (dragging_) {
        dragging_ = false;
        const bool click = !moved_ && (event->position() - pressPoint_).manhattanLength() < 2;
        if (!click) {
            select(event->position());
        } else if (followsLinks_) {
            if (const PDFAnnotation *link = linkAt(event->position())) followLink(*link);
        }
    }
    publishSelection();
}

const PDFAnnotation *PDFView::linkAt(QPointF viewPoint) const {
    const PDFPage *page = pageForPoint(viewPoint);
    if (!page) return nullptr;
    const QPointF q = convertPointToPage(viewPoint, page);
    const auto &annotations = page->annotations();
    for (auto it = annotations.rbegin(); it != annotations.rend(); ++it)
        if ((*it)->type() == "Link" && (*it)->bounds().contains(q)) return it->get();
    return nullptr;
}

void PDFView::followLink(const PDFAnnotation &link) {
    const PDFAnnotation::Destination to = link.destination();
    if (to.page >= 0 && to.page < doc_->pageCount())
        return goToPage(to.page, to.top < 0 ? -1 : to.top * doc_->page(to.page)->displaySize().height());
    // Web and mail addresses go to the desktop's handler; anything else (a file, a program) is not opened.
    const QUrl url(link.url());
    if (url.scheme() == "http" || url.scheme() == "https" || url.scheme() == "mailto") QDesktopServices::openUrl(url);
}

void PDFView::updateCursor(QPointF viewPoint) {
    Qt::CursorShape shape = Qt::ArrowCursor;
    if (PDFPage *page = pageForPoint(viewPoint)) {
        const QPointF p = page->toDisplay().map(convertPointToPage(viewPoint, page));
        if (linkAt(viewPoint)) {
            shape = Qt::PointingHandCursor;
        } else {
            for (const TextLine &line : page->text().lines)
                if (line.box.contains(p)) shape = Qt::IBeamCursor;
        }
    }
    if (viewport()->cursor().shape() != shape) viewport()->setCursor(shape);
}
