#pragma once

#include <QImage>
#include <QObject>
#include <QRect>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class PDFDocument;

// Renders pages on a thread of its own, one job at a time, so that a page that takes seconds never holds up
// the window. The view says which images it wants, most wanted first; a job that is no longer wanted is
// abandoned within milliseconds, and so is any job while the main thread waits for the document.
class PageRenderer : public QObject {
    Q_OBJECT
public:
    struct Job {
        int page = 0;
        double pixelsPerPoint = 0;
        QRect part;  // in pixels of that resolution; null for the whole page
        bool operator==(const Job &o) const {
            return page == o.page && pixelsPerPoint == o.pixelsPerPoint && part == o.part;
        }
    };
    struct Result {
        Job job;
        QImage image;  // null when Poppler could not render the page
        int generation = 0;
    };

    explicit PageRenderer(const PDFDocument &document);
    ~PageRenderer() override;  // waits for the job in hand to give up

    // Replaces the jobs still waiting.
    void request(std::vector<Job> jobs);
    // The images made since the last call, oldest first (main thread).
    std::vector<Result> take();
    bool busy() const;

signals:
    void ready();

private:
    void run();

    const PDFDocument &doc_;
    mutable std::mutex mutex_;  // guards everything below
    std::condition_variable wake_;
    std::vector<Job> queue_;
    std::optional<Job> current_;
    std::vector<Result> results_;
    bool stop_ = false;
    std::atomic<bool> abandon_{false};  // the job in hand is no longer wanted
    std::thread thread_;                 // last: starts once everything above exists
};
