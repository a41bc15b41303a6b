// tavrin-ocr: prints the text recognised in each image file named on the command
// line, one record per readable file, in argument order.

#include <unistd.h>

#include <QtGlobal>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "recognize.h"

// Kept in step with the man page.
enum class ExitStatus : int {
    Success = 0,       // at least one file yielded a text, an empty one included
    OutputFailed = 1,  // standard output could not be written
    Usage = 2,         // no file was named
    AllFailed = 3,     // no file yielded a text
};

namespace {

std::vector<std::string> files;
std::int64_t failed = 0;

// U+2026 HORIZONTAL ELLIPSIS, three bytes; 35 bytes in all.
constexpr char usage[] = "usage: tavrin-ocr <file> [file\xE2\x80\xA6]\n";
static_assert(sizeof usage - 1 == 35);

int finish(ExitStatus status) { return static_cast<int>(status); }

}  // namespace

int main(int argc, char** argv) {
    // Standard error carries the usage text and nothing else; Qt's image
    // plugins would warn about damaged files there.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});

    for (int i = 1; i < argc; ++i) files.emplace_back(argv[i]);

    if (files.empty()) {
        // One unbuffered write, so the line arrives whole.
        while (::write(STDERR_FILENO, usage, sizeof usage - 1) < 0 && errno == EINTR) {
        }
        return finish(ExitStatus::Usage);
    }

    failed = 0;
    for (const auto& path : files) {
        const auto text = recognize(path);
        if (!text) {
            ++failed;
            continue;
        }
        std::fwrite(text->data(), 1, text->size(), stdout);
        std::fputc('\n', stdout);
    }

    // A caller must not take lost records for a finished run.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) return finish(ExitStatus::OutputFailed);
    return finish(failed == static_cast<std::int64_t>(files.size()) ? ExitStatus::AllFailed
                                                                    : ExitStatus::Success);
}
