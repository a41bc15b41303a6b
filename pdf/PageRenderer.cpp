#include "PageRenderer.h"

#include <algorithm>

#include "PDFDocument.h"

PageRenderer::PageRenderer(const PDFDocument &document) : doc_(document), thread_([this] { run(); }) {}

PageRenderer::~PageRenderer() {
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        stop_ = true;
        abandon_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void PageRenderer::request(std::vector<Job> jobs) {
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        if (current_) {
            const auto running = std::find(jobs.begin(), jobs.end(), *current_);
            if (running == jobs.end())
                abandon_ = true;
            else
                jobs.erase(running);
        }
        queue_ = std::move(jobs);
    }
    wake_.notify_one();
}

std::vector<PageRenderer::Result> PageRenderer::take() {
    const std::lock_guard<std::mutex> hold(mutex_);
    return std::move(results_);
}

bool PageRenderer::busy() const {
    const std::lock_guard<std::mutex> hold(mutex_);
    return current_ || !queue_.empty();
}

void PageRenderer::run() {
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
        wake_.wait(hold, [this] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        const Job job = queue_.front();
        queue_.erase(queue_.begin());
        current_ = job;
        abandon_ = false;
        hold.unlock();

        Result result{job, {}, 0};
        bool finished = true;
        if (job.page >= 0 && job.page < doc_.pageCount()) {
            auto image = doc_.page(job.page)->render(job.pixelsPerPoint, job.part, [this] { return abandon_.load(); },
                                                     &result.generation);
            finished = image.has_value();
            if (image) result.image = std::move(*image);
        }

        hold.lock();
        current_.reset();
        if (!finished && !abandon_ && !stop_) {
            // It gave way to the main thread, not because it was unwanted: it comes first again.
            queue_.insert(queue_.begin(), job);
        } else if (finished) {
            const bool wasEmpty = results_.empty();
            results_.push_back(std::move(result));
            // One wake-up for any number of results the main thread has not taken yet.
            if (wasEmpty) QMetaObject::invokeMethod(this, &PageRenderer::ready, Qt::QueuedConnection);
        }
    }
}
