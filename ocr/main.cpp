// tavrin-ocr: prints the text recognised in each image file named on the command
// line, one record per readable file, in argument order.

#include <fcntl.h>
#include <unistd.h>

#include <QtGlobal>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "TesseractRecognizer.h"
#include "recognize.h"

// Kept in step with the man page.
enum class ExitStatus : int {
    Success = 0,       // at least one file yielded a text, an empty one included
    OutputFailed = 1,  // standard output could not be written
    Usage = 2,         // no file was named
    AllFailed = 3,     // no file yielded a text
};

namespace {

using Text = std::optional<std::string>;

std::vector<std::string> files;
std::int64_t failed = 0;

// U+2026 HORIZONTAL ELLIPSIS, three bytes; 35 bytes in all.
constexpr char usage[] = "usage: tavrin-ocr <file> [file\xE2\x80\xA6]\n";
static_assert(sizeof usage - 1 == 35);

int finish(ExitStatus status) { return static_cast<int>(status); }

// Standard error carries the usage text and nothing else, but libpng (Qt hands it no
// error function), Tesseract and the decoders print there. Pointed at /dev/null once
// for the whole run: redirecting the process-wide descriptor per file races between
// the workers.
void silenceStandardError() {
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0 || null == STDERR_FILENO) return;
    ::dup2(null, STDERR_FILENO);
    ::close(null);
}

// One record, flushed at once so that a caller can read it while the run goes on.
// False when standard output failed.
bool print(const Text& text) {
    if (!text) {
        ++failed;
        return true;
    }
    std::fwrite(text->data(), 1, text->size(), stdout);
    std::fputc('\n', stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

// The texts of the workers, handed out in argument order as they become ready.
class Records {
public:
    explicit Records(std::size_t count) : texts_(count), done_(count, false) {}
    void put(std::size_t i, Text text) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            texts_[i] = std::move(text);
            done_[i] = true;
        }
        ready_.notify_one();
    }
    Text take(std::size_t i) {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [&] { return done_[i]; });
        return std::move(texts_[i]);
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<Text> texts_;
    std::vector<bool> done_;
};

bool recognizeOneByOne() {
    // A single file may have a second core for the lower part of its page.
    TesseractRecognizer recognizer(files.size() == 1 && std::thread::hardware_concurrency() > 1);
    for (const auto& path : files) {
        if (!print(recognize(path, recognizer))) return false;
    }
    return true;
}

// One engine per core, each on one file at a time, so that at most that many images
// are held at once. False when standard output failed; the files not yet started are
// then left.
bool recognizeInParallel(std::size_t workers) {
    Records records(files.size());
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (std::size_t w = 0; w < workers; ++w) {
        try {
            threads.emplace_back([&] {
                // Made in its own thread: the engine turns off OpenMP for the calling thread.
                TesseractRecognizer recognizer;
                for (std::size_t i; !stop && (i = next++) < files.size();)
                    records.put(i, recognize(files[i], recognizer));
            });
        } catch (const std::system_error&) {
            break;  // out of threads: fewer workers
        }
    }
    if (threads.empty()) return recognizeOneByOne();
    bool written = true;
    for (std::size_t i = 0; written && i < files.size(); ++i) written = print(records.take(i));
    stop = true;
    for (auto& thread : threads) thread.join();
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    // Qt's image plugins would warn about damaged files.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});

    for (int i = 1; i < argc; ++i) files.emplace_back(argv[i]);

    if (files.empty()) {
        // One unbuffered write, so the line arrives whole.
        while (::write(STDERR_FILENO, usage, sizeof usage - 1) < 0 && errno == EINTR) {
        }
        return finish(ExitStatus::Usage);
    }
    silenceStandardError();

    failed = 0;
    const std::size_t workers = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, files.size());
    // A caller must not take lost records for a finished run.
    if (!(workers > 1 ? recognizeInParallel(workers) : recognizeOneByOne())) return finish(ExitStatus::OutputFailed);
    return finish(failed == static_cast<std::int64_t>(files.size()) ? ExitStatus::AllFailed
                                                                    : ExitStatus::Success);
}
