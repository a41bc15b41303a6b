#include "PDFDocument.h"

#include <poppler-qt6.h>

#include <QFileInfo>
#include <QSaveFile>

namespace {

// Where a piece of text starts or ends: a page, a line on it and a position between two characters.
struct Position {
    int page = 0, line = 0, ch = 0;
    bool operator<(const Position &o) const {
        return std::tie(page, line, ch) < std::tie(o.page, o.line, o.ch);
    }
};

// Text made comparable: compatibility forms (ligatures such as "ﬁ") spelt out, case folded, white space
// as single spaces, lines joined by a space. `source` maps each unit back to its line and character.
struct FoldedText {
    QString text;
    std::vector<std::pair<int, int>> source;

    void append(const QString &units, int line, int ch) {
        for (QChar c : units) {
            if (c.isSpace()) {
                if (text.isEmpty() || text.back() == ' ') continue;
                c = ' ';
            }
            text.append(c);
            source.emplace_back(line, ch);
        }
    }
};

QString fold(const QString &s) { return s.normalized(QString::NormalizationForm_KC).toCaseFolded(); }

// Folded text without any white space, for a quick look at a whole page. Plain ASCII, the bulk of most
// documents, is folded here; anything else goes the slow way.
QString foldedLetters(const QString &s) {
    QString result;
    result.reserve(s.size());
    bool ascii = true;
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (u < 0x80) {
            if (u > ' ') result.append(QChar(u >= 'A' && u <= 'Z' ? u + 32 : u));
        } else {
            ascii = false;
            if (!c.isSpace()) result.append(c);
        }
    }
    if (ascii) return result;
    result = fold(result);
    result.removeIf([](QChar c) { return c.isSpace(); });
    return result;
}

FoldedText fold(const TextModel &model) {
    FoldedText folded;
    for (int l = 0; l < int(model.lines.size()); ++l) {
        folded.append(" ", l, -1);
        const auto &chars = model.lines[size_t(l)].chars;
        for (int c = 0; c < chars.size(); ++c) folded.append(fold(chars[c].text), l, c);
    }
    return folded;
}

// Characters [from, to) of a line as one piece of the selection: as wide as those characters, as high as
// the whole line.
void appendPiece(PDFSelection &selection, PDFPage *page, const TextLine &line, int from, int to) {
    // Spaces between words have no box: a piece neither starts nor ends with one.
    while (from < to && line.chars[from].box.isEmpty()) ++from;
    while (to > from && line.chars[to - 1].box.isEmpty()) --to;
    QRectF box;
    QString text;
    for (int c = from; c < to; ++c) {
        box |= line.chars[c].box;
        text += line.chars[c].text;
    }
    if (box.isEmpty()) return;  // only spaces
    if (line.vertical) {
        box.setLeft(line.box.left());
        box.setRight(line.box.right());
    } else {
        box.setTop(line.box.top());
        box.setBottom(line.box.bottom());
    }
    if (!selection.lines.isEmpty()) selection.string += '\n';
    selection.string += text;
    selection.lines.push_back({page, page->toDisplay().inverted().mapRect(box)});
}

double distance(const QRectF &box, QPointF p) {
    const double dx = std::max({box.left() - p.x(), 0.0, p.x() - box.right()});
    const double dy = std::max({box.top() - p.y(), 0.0, p.y() - box.bottom()});
    return dy * 1e4 + dx;  // vertical distance first: two columns may have different line spacing
}

// The nearest block, then its nearest line, then the gap between characters by their centres.
Position hit(const PDFPage &page, QPointF pagePoint) {
    const TextModel &model = page.text();
    Position pos{page.index(), 0, 0};
    if (model.lines.empty()) return pos;
    const QPointF p = page.toDisplay().map(pagePoint);
    // The index in [first, last] whose box lies nearest.
    const auto nearest = [&](int first, int last, auto boxOf) {
        int best = first;
        for (int i = first + 1; i <= last; ++i)
            if (distance(boxOf(i), p) < distance(boxOf(best), p)) best = i;
        return best;
    };
    const TextBlock &block = model.blocks[size_t(
        nearest(0, int(model.blocks.size()) - 1, [&](int i) { return model.blocks[size_t(i)].box; }))];
    pos.line = nearest(block.first, block.last, [&](int i) { return model.lines[size_t(i)].box; });
    const TextLine &line = model.lines[size_t(pos.line)];
    const auto &chars = line.chars;
    pos.ch = int(chars.size());
    const bool down = line.vertical && chars.front().box.top() < chars.back().box.top();
    const bool up = line.vertical && !down;
    for (int c = 0; c < chars.size(); ++c) {
        const QPointF centre = chars[c].box.center();
        const bool past = up ? centre.y() < p.y() : down ? centre.y() > p.y() : centre.x() > p.x();
        if (!chars[c].box.isEmpty() && past) {
            pos.ch = c;
            break;
        }
    }
    return pos;
}

}  // namespace

namespace {

std::unique_ptr<Poppler::Document> load(const QString &path, const QByteArray &password) {
    // Poppler's own messages would reach the caller's standard error.
    static const bool silenced = (Poppler::setDebugErrorFunction([](const QString &, const QVariant &) {}, {}), true);
    (void)silenced;
    // Only regular files: Poppler would block on a FIFO.
    if (!QFileInfo(path).isFile()) return nullptr;
    return Poppler::Document::load(path, password, password);
}

}  // namespace

bool PDFDocument::needsPassword(const QString &path) {
    const auto doc = load(path, {});
    return doc && doc->isLocked();
}

std::unique_ptr<PDFDocument> PDFDocument::open(const QString &path) { return open(path, {}); }

std::unique_ptr<PDFDocument> PDFDocument::open(const QString &path, const QByteArray &password) {
    std::unique_ptr<PDFDocument> d(new PDFDocument);
    d->doc_ = load(path, password);
    // Nothing but isLocked may be asked of a locked document: numPages crashes on it.
    if (!d->doc_ || d->doc_->isLocked()) return nullptr;
    d->doc_->setRenderHint(Poppler::Document::Antialiasing);
    d->doc_->setRenderHint(Poppler::Document::TextAntialiasing);
    const int count = d->doc_->numPages();
    for (int i = 0; i < count; ++i) {
        // A page that Poppler cannot make (a broken page tree) is left out.
        if (auto page = d->doc_->page(i)) d->pages_.push_back(std::make_unique<PDFPage>(std::move(page), int(d->pages_.size()), d->lock_));
    }
    d->letters_.resize(d->pages_.size());
    return d;
}

PDFDocument::~PDFDocument() {
    pages_.clear();  // before the document they belong to
}

bool PDFDocument::mayHold(int index, const QString &letters) const {
    std::optional<QString> &kept = letters_[size_t(index)];
    if (!kept) kept = foldedLetters(pages_[size_t(index)]->plainText());
    return kept->contains(letters);
}

std::vector<PDFSelection> PDFDocument::find(int index, const QString &text, bool firstOnly) const {
    std::vector<PDFSelection> found;
    const QString query = fold(text).simplified();
    // The plain text costs a third of the text model: only pages that hold the letters of the query in a row,
    // spaces aside, are looked at closely.
    if (query.isEmpty() || !mayHold(index, foldedLetters(query))) return found;
    PDFPage *page = pages_[size_t(index)].get();
    // A long document is searched once: keep no text models for it.
    const TextModel model = page->extractText();
    const FoldedText folded = fold(model);
    for (int at = folded.text.indexOf(query); at >= 0; at = folded.text.indexOf(query, at + query.size())) {
        PDFSelection &match = found.emplace_back();
        int line = -1, from = 0, to = 0;
        for (int i = at; i < at + query.size(); ++i) {
            const auto [l, c] = folded.source[size_t(i)];
            if (c < 0) continue;
            if (l != line) {
                if (line >= 0) appendPiece(match, page, model.lines[size_t(line)], from, to);
                line = l;
                from = c;
            }
            to = c + 1;
        }
        if (line >= 0) appendPiece(match, page, model.lines[size_t(line)], from, to);
        if (match.isEmpty()) found.pop_back();
        if (firstOnly && !found.empty()) break;
    }
    return found;
}

PDFSelection PDFDocument::findFirst(const QString &text) const {
    for (int i = 0; i < pageCount(); ++i) {
        const std::vector<PDFSelection> found = find(i, text, true);
        if (!found.empty()) return found.front();
    }
    return {};
}

PDFSelection PDFDocument::selection(PDFPage *fromPage, QPointF from, PDFPage *toPage, QPointF to) const {
    PDFSelection selection;
    if (!fromPage || !toPage) return selection;
    Position a = hit(*fromPage, from), b = hit(*toPage, to);
    if (b < a) std::swap(a, b);
    for (int p = a.page; p <= b.page; ++p) {
        PDFPage *page = pages_[size_t(p)].get();
        const auto &lines = page->text().lines;
        const int first = p == a.page ? a.line : 0;
        const int last = p == b.page ? b.line : int(lines.size()) - 1;
        for (int l = first; l <= last && l < int(lines.size()); ++l) {
            const TextLine &line = lines[size_t(l)];
            const int start = (p == a.page && l == a.line) ? a.ch : 0;
            const int end = (p == b.page && l == b.line) ? b.ch : int(line.chars.size());
            if (start < end) appendPiece(selection, page, line, start, end);
        }
    }
    return selection;
}

PDFSelection PDFDocument::selectionAt(PDFPage *page, QPointF point, TextUnit unit) const {
    PDFSelection selection;
    if (!page) return selection;
    const QPointF p = page->toDisplay().map(point);
    for (const TextLine &line : page->text().lines) {
        if (!line.box.adjusted(-1, -1, 1, 1).contains(p)) continue;
        int from = 0, to = int(line.chars.size());
        if (unit == TextUnit::Word) {
            int at = -1;
            for (int c = 0; c < to; ++c)
                if (!line.chars[c].box.isEmpty() && (at < 0 || distance(line.chars[c].box, p) < distance(line.chars[at].box, p)))
                    at = c;
            if (at < 0) continue;
            // Out to the spaces on either side.
            for (from = at; from > 0 && !line.chars[from - 1].box.isEmpty();) --from;
            for (to = at + 1; to < int(line.chars.size()) && !line.chars[to].box.isEmpty();) ++to;
        }
        appendPiece(selection, page, line, from, to);
        return selection;
    }
    return selection;
}

bool PDFDocument::write(const QString &path) const {
    // A link stays a link: its target receives the document.
    QString target = path;
    for (int depth = 0; depth < 64 && QFileInfo(target).isSymLink(); ++depth)
        target = QFileInfo(target).symLinkTarget();
    const QFileInfo info(target);
    // A device or a directory is never replaced by a file.
    if (info.exists() && !info.isFile()) return false;

    // Poppler reports success on a full disk or a cut-off write, and writing onto the file it reads from
    // empties it: write beside the target and move into place only when everything is out.
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const auto hold = lock_.interrupt();
    auto converter = doc_->pdfConverter();
    converter->setOutputDevice(&file);
    // Without WithChanges Poppler writes the original file unchanged.
    converter->setPDFOptions(Poppler::PDFConverter::WithChanges);
    if (!converter->convert() || !file.flush() || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
