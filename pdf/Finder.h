#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

#include "PDFDocument.h"

// Find as you type, with the batch mode's matcher, a page at a time in short slices between events, so
// that neither finding nor counting holds up the window on a long document. Pages are read from the
// starting page on, round to the page before it.
class Finder : public QObject {
    Q_OBJECT
public:
    // `mayCount` says whether counting may go on now; finding the first match never waits for it.
    Finder(const PDFDocument &doc, std::function<bool()> mayCount);

    // Searches anew: the first match at or below `top` (display points) on `page`, else the next one on.
    void find(const QString &text, int page, double top);
    // The next match (1) or the previous one (-1), round the ends. Waits while the pages in between are unread.
    void step(int direction);

    const QString &text() const { return text_; }
    const PDFSelection *current() const;
    // The matches on a page read so far, for marking.
    const std::vector<PDFSelection> &on(int page) const;
    // What the find field says: which match is shown and how many there are, or that there is none.
    QString summary() const;

signals:
    void moved();    // another match is current
    void counted();  // more pages were read

private:
    struct Match {
        int page = -1, index = 0;
    };
    void slice();
    void retryStep();
    bool done() const { return read_ == int(hits_.size()); }
    // Pages are read in turn from `start_`, round the end.
    bool isRead(int page) const { return (page - start_ + int(hits_.size())) % int(hits_.size()) < read_; }

    const PDFDocument &doc_;
    std::function<bool()> mayCount_;
    QTimer timer_;
    QString text_;
    int start_ = 0;
    double top_ = 0;
    int read_ = 0;  // pages read, from `start_` on
    std::vector<std::vector<PDFSelection>> hits_;
    int total_ = 0;
    std::optional<Match> current_;
    int pending_ = 0;  // a step waiting for unread pages
};
