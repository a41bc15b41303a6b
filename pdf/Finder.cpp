#include "Finder.h"

#include <QElapsedTimer>
#include <climits>

namespace {
// A slice ends once it has taken this long, after the page in hand: the window stays responsive.
constexpr int kSliceMs = 10;
// How often counting asks again once it gave way.
constexpr int kWaitMs = 10;
}  // namespace

Finder::Finder(const PDFDocument &doc, std::function<bool()> mayCount) : doc_(doc), mayCount_(std::move(mayCount)) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &Finder::slice);
}

void Finder::find(const QString &text, int page, double top) {
    text_ = text;
    start_ = std::clamp(page, 0, std::max(0, doc_.pageCount() - 1));
    top_ = top;
    read_ = 0;
    hits_.assign(size_t(doc_.pageCount()), {});
    total_ = 0;
    current_.reset();
    pending_ = 0;
    if (text.trimmed().isEmpty()) read_ = doc_.pageCount();
    timer_.start(0);
    emit moved();
}

const PDFSelection *Finder::current() const {
    return current_ ? &hits_[size_t(current_->page)][size_t(current_->index)] : nullptr;
}

const std::vector<PDFSelection> &Finder::on(int page) const {
    static const std::vector<PDFSelection> none;
    return page >= 0 && page < int(hits_.size()) ? hits_[size_t(page)] : none;
}

void Finder::slice() {
    // The first match is what the user waits for; counting the rest gives way to the pages being drawn.
    if (current_ && mayCount_ && !mayCount_()) return timer_.start(kWaitMs);
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < kSliceMs) {
        const int page = (start_ + read_) % int(hits_.size());
        std::vector<PDFSelection> &hits = hits_[size_t(page)];
        hits = doc_.find(page, text_);
        ++read_;
        total_ += int(hits.size());
        if (!current_ && !hits.empty()) {
            // On the starting page, only what lies at or below the top of the view counts at first.
            for (int i = 0; i < int(hits.size()) && !current_; ++i) {
                const PDFSelection::Line &line = hits[size_t(i)].lines.front();
                if (page != start_ || line.page->toDisplay().mapRect(line.bounds).center().y() >= top_)
                    current_ = Match{page, i};
            }
            if (current_) {
                emit moved();
                break;  // shown before anything else is read
            }
        }
        if (pending_) retryStep();
    }
    if (done() && !current_ && total_ > 0) {
        current_ = Match{start_, 0};  // only above the top of the view: round the end
        emit moved();
    }
    if (done() && pending_) retryStep();
    emit counted();
    if (!done()) timer_.start(0);
}

void Finder::retryStep() {
    const int direction = pending_;
    pending_ = 0;
    step(direction);
}

void Finder::step(int direction) {
    if (!current_ || hits_.empty()) return;  // the first match, when it comes, is the one wanted
    const int pages = int(hits_.size());
    int page = current_->page, index = current_->index + direction;
    for (int n = 0; n <= pages; ++n) {
        if (!isRead(page)) {
            pending_ = direction;
            return;
        }
        const int count = int(hits_[size_t(page)].size());
        if (index == INT_MAX) index = count - 1;
        if (index >= 0 && index < count) {
            current_ = Match{page, index};
            emit moved();
            return;
        }
        page = (page + direction + pages) % pages;
        index = direction > 0 ? 0 : INT_MAX;
    }
}

QString Finder::summary() const {
    if (text_.trimmed().isEmpty()) return {};
    if (total_ == 0) return done() ? "No match" : "Searching\u2026";
    // Which match this is in the document is known once every page before it has been read.
    int number = current_ ? current_->index + 1 : 0;
    for (int p = 0; current_ && p < current_->page && number > 0; ++p)
        number = isRead(p) ? number + int(hits_[size_t(p)].size()) : 0;
    if (number == 0) return QString("%1 found so far").arg(total_);
    return done() ? QString("%1 of %2").arg(number).arg(total_) : QString("%1 of %2 so far").arg(number).arg(total_);
}
