#include "PDFPage.h"

#include <poppler-qt6.h>

#include <QUuid>

namespace {

QTransform ctm(Poppler::Page &page, int rotate) {
    // Poppler adds the page's own /Rotate to the rotation asked for.
    double m[6];
    page.defaultCTM(m, 72.0, 72.0, rotate, true);
    return QTransform(m[0], m[1], m[2], m[3], m[4], m[5]);
}

QString typeName(const Poppler::Annotation &a) {
    switch (a.subType()) {
        case Poppler::Annotation::AHighlight:
            switch (static_cast<const Poppler::HighlightAnnotation &>(a).highlightType()) {
                case Poppler::HighlightAnnotation::Highlight: return "Highlight";
                case Poppler::HighlightAnnotation::Squiggly: return "Squiggly";
                case Poppler::HighlightAnnotation::Underline: return "Underline";
                case Poppler::HighlightAnnotation::StrikeOut: return "StrikeOut";
            }
            return {};
        case Poppler::Annotation::AText: return "Text";
        case Poppler::Annotation::ALine: return "Line";
        case Poppler::Annotation::AGeom: return "Square";
        case Poppler::Annotation::AStamp: return "Stamp";
        case Poppler::Annotation::AInk: return "Ink";
        case Poppler::Annotation::ALink: return "Link";
        case Poppler::Annotation::ACaret: return "Caret";
        case Poppler::Annotation::AFileAttachment: return "FileAttachment";
        case Poppler::Annotation::ASound: return "Sound";
        case Poppler::Annotation::AMovie: return "Movie";
        case Poppler::Annotation::AScreen: return "Screen";
        case Poppler::Annotation::AWidget: return "Widget";
        default: return {};
    }
}

// Lines that follow each other in reading order, overlap horizontally and lie less than 1.5 line heights
// apart form a block: a column or a paragraph.
std::vector<TextBlock> blocksOf(const std::vector<TextLine> &lines) {
    std::vector<TextBlock> blocks;
    for (int i = 0; i < int(lines.size()); ++i) {
        const QRectF &box = lines[i].box;
        if (!blocks.empty()) {
            TextBlock &b = blocks.back();
            const QRectF &prev = lines[b.last].box;
            const double gap = box.top() - prev.bottom();
            const bool overlaps = box.left() < prev.right() && prev.left() < box.right();
            if (overlaps && gap > -box.height() && gap < 1.5 * std::max(box.height(), prev.height())) {
                b.last = i;
                b.box |= box;
                continue;
            }
        }
        blocks.push_back({i, i, box});
    }
    return blocks;
}

// Whether most of the text runs up the page as shown. Poppler lists the lines of such text in reverse order
// (pdftotext does the same); text that runs any other way it lists in reading order.
bool runsUp(const std::vector<std::unique_ptr<Poppler::TextBox>> &words) {
    int votes[4] = {};  // right, down, left, up
    for (const auto &word : words) {
        const int n = int(word->text().toUcs4().size());
        if (n < 2) continue;
        const QPointF run = word->charBoundingBox(n - 1).center() - word->charBoundingBox(0).center();
        votes[std::abs(run.x()) >= std::abs(run.y()) ? (run.x() > 0 ? 0 : 2) : (run.y() > 0 ? 1 : 3)] += n;
    }
    return std::max_element(votes, votes + 4) - votes == 3;
}

TextLine finished(TextLine line) {
    const QPointF run = line.chars.back().box.center() - line.chars.front().box.center();
    line.vertical = std::abs(run.y()) > std::abs(run.x());
    return line;
}

struct Abandon {
    const PopplerLock &lock;
    const std::function<bool()> &abandon;
    bool given = false;  // once true, the image is incomplete
};

// Poppler asks between drawing operations.
bool shouldAbandon(const QVariant &closure) {
    auto *a = static_cast<Abandon *>(closure.value<void *>());
    a->given = a->given || a->lock.contended() || (a->abandon && a->abandon());
    return a->given;
}

}  // namespace

PDFAnnotation::PDFAnnotation(const QRectF &bounds, const QColor &color, const QVector<QPointF> &quads)
    : type_("Highlight"), bounds_(bounds), color_(color), quads_(quads) {}

PDFAnnotation::~PDFAnnotation() = default;

PDFPage::PDFPage(std::unique_ptr<Poppler::Page> page, int index, PopplerLock &lock)
    : page_(std::move(page)), index_(index), lock_(lock) {
    displaySize_ = page_->pageSizeF();
    toDisplay_ = ctm(*page_, 0);
}

PDFPage::~PDFPage() = default;

std::optional<QImage> PDFPage::render(double pixelsPerPoint, const QRect &part, const std::function<bool()> &abandon,
                                      int *generation) const {
    Abandon state{lock_, abandon};
    const auto hold = lock_.take();
    if (generation) *generation = generation_;
    const double dpi = 72.0 * pixelsPerPoint;
    const QRect r = part.isNull() ? QRect(-1, -1, -1, -1) : part;  // Poppler's -1s: the whole page
    QImage image = page_->renderToImage(dpi, dpi, r.x(), r.y(), r.width(), r.height(), Poppler::Page::Rotate0, nullptr,
                                        nullptr, shouldAbandon, QVariant::fromValue(static_cast<void *>(&state)));
    if (!state.given) return image;
    lock_.gaveWay();
    return std::nullopt;
}

const TextModel &PDFPage::text() const {
    if (!text_) text_ = extractText();
    return *text_;
}

TextModel PDFPage::extractText() const {
    const auto hold = lock_.interrupt();
    // As shown, whatever the page's /Rotate: a page is rotated to be read, so its text almost always runs
    // left to right on screen. Text that runs up is read a quarter turn clockwise, where it runs left to right.
    auto words = page_->textList(Poppler::Page::Rotate0);
    QTransform textToDisplay;
    if (runsUp(words)) {
        words = page_->textList(Poppler::Page::Rotate90);
        // From the turned frame to page space, then on to display space.
        textToDisplay = ctm(*page_, 90).inverted() * toDisplay_;
    }
    TextModel model;
    TextLine line;
    for (const auto &word : words) {
        const QList<uint> codes = word->text().toUcs4();
        for (int i = 0; i < codes.size(); ++i) {
            const QRectF box = textToDisplay.mapRect(word->charBoundingBox(i));
            line.chars.push_back({QString::fromUcs4(reinterpret_cast<const char32_t *>(&codes[i]), 1), box});
            line.box |= box;
        }
        if (word->nextWord()) {
            if (word->hasSpaceAfter()) line.chars.push_back({" ", {}});
        } else if (!line.chars.isEmpty()) {
            model.lines.push_back(finished(std::move(line)));
            line = {};
        }
    }
    if (!line.chars.isEmpty()) model.lines.push_back(finished(std::move(line)));
    model.blocks = blocksOf(model.lines);
    return model;
}

// Poppler clips a null rectangle to the crop box taken unrotated, which loses text on landscape-rotated
// pages: ask for everything instead.
QString PDFPage::plainText() const {
    const auto hold = lock_.interrupt();
    return page_->text(QRectF(-1e6, -1e6, 2e6, 2e6));
}

void PDFPage::loadAnnotations() const {
    if (annotations_) return;
    annotations_.emplace();
    const QTransform fromNormalized =
        QTransform::fromScale(displaySize_.width(), displaySize_.height()) * toDisplay_.inverted();
    const auto hold = lock_.interrupt();
    for (auto &a : page_->annotations()) {
        auto wrapped = std::shared_ptr<PDFAnnotation>(new PDFAnnotation);
        wrapped->type_ = typeName(*a);
        wrapped->bounds_ = fromNormalized.mapRect(a->boundary());
        wrapped->color_ = a->style().color();
        if (a->subType() == Poppler::Annotation::ALink) {
            const Poppler::Link *link = static_cast<Poppler::LinkAnnotation &>(*a).linkDestination();
            if (link && link->linkType() == Poppler::Link::Browse) {
                wrapped->url_ = static_cast<const Poppler::LinkBrowse *>(link)->url();
            } else if (link && link->linkType() == Poppler::Link::Goto) {
                const auto *go = static_cast<const Poppler::LinkGoto *>(link);
                const Poppler::LinkDestination to = go->destination();
                // Poppler gives the top as a fraction of the target page's height.
                if (!go->isExternal()) wrapped->destination_ = {to.pageNumber() - 1, to.isChangeTop() ? to.top() : -1};
            }
        }
        wrapped->poppler_ = std::move(a);
        annotations_->push_back(std::move(wrapped));
    }
}

const std::vector<std::shared_ptr<PDFAnnotation>> &PDFPage::annotations() const {
    loadAnnotations();
    return *annotations_;
}

void PDFPage::addAnnotation(const std::shared_ptr<PDFAnnotation> &annotation) {
    if (!annotation || annotation->poppler_) return;  // already on a page
    loadAnnotations();
    // Poppler takes its geometry in display space scaled to 0..1.
    const QTransform toNormalized =
        toDisplay_ * QTransform::fromScale(1.0 / displaySize_.width(), 1.0 / displaySize_.height());
    const QRectF &r = annotation->bounds_;
    auto highlight = std::make_unique<Poppler::HighlightAnnotation>();
    highlight->setBoundary(toNormalized.mapRect(r));
    // Poppler writes the quad's points 0, 1, 3, 2 to /QuadPoints: this gives upper left, upper right,
    // lower left, lower right in the file.
    Poppler::HighlightAnnotation::Quad quad{};
    const QVector<QPointF> &q = annotation->quads_;
    if (q.size() == 4) {
        const QPointF o = r.topLeft();  // QRectF's top is page space's lower y
        quad.points[0] = toNormalized.map(o + q[0]);
        quad.points[1] = toNormalized.map(o + q[1]);
        quad.points[3] = toNormalized.map(o + q[2]);
        quad.points[2] = toNormalized.map(o + q[3]);
    }
    quad.feather = 0.1;
    highlight->setHighlightQuads({quad});
    Poppler::Annotation::Style style;
    style.setColor(annotation->color_);
    highlight->setStyle(style);
    highlight->setUniqueName(QUuid::createUuid().toString(QUuid::WithoutBraces));
    {
        const auto hold = lock_.interrupt();
        page_->addAnnotation(highlight.get());
        ++generation_;
    }
    annotation->poppler_ = std::move(highlight);
    annotations_->push_back(annotation);
    changes_.push_back({generation_, annotation, true});
}

void PDFPage::removeAnnotation(std::shared_ptr<PDFAnnotation> annotation) {
    if (!annotations_) return;
    auto it = std::find(annotations_->begin(), annotations_->end(), annotation);
    if (it == annotations_->end()) return;
    annotations_->erase(it);
    {
        const auto hold = lock_.interrupt();
        // Poppler deletes the object it is handed, also when the removal fails: hand it over exactly once.
        page_->removeAnnotation(annotation->poppler_.release());
        ++generation_;
    }
    changes_.push_back({generation_, annotation, false});
}
