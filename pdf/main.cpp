// tavrin-pdf: marks up one PDF with text highlights.
//   tavrin-pdf <in.pdf> <out.pdf> [title]            the editor window
//   tavrin-pdf <in.pdf> <out.pdf> ... --test TEXT     paint the first match of TEXT, write, exit
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <xcb/xcb.h>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "Editor.h"
#include "PDFDocument.h"
#include "PasswordPrompt.h"
#include "palette.h"

namespace {

// In step with the man page.
enum class Status : int {
    Written = 0,      // batch mode wrote the output; or the event loop returned
    Failed = 1,       // usage, unreadable input, batch write failed, no display
    NotWritten = 2,   // the editor ended without writing (exited from inside it), or the password prompt was cancelled
    NotFound = 3,     // batch mode: the text does not occur
};

// The command line as given, read before QApplication can take anything out of argv.
std::vector<std::string> args;
QString input;
QString output;
std::unique_ptr<QApplication> app;
std::unique_ptr<Editor> editor;

int finish(Status status) { return static_cast<int>(status); }

// The caller reads standard error: each message is one write of its exact bytes.
void say(const std::string &message) {
    ssize_t ignored = write(STDERR_FILENO, message.data(), message.size());
    (void)ignored;  // nothing is left to do when standard error is gone
}

// Qt aborts when its platform plugin cannot reach a display: find out first.
bool displayAvailable() {
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const bool ok = connection && !xcb_connection_has_error(connection);
    if (connection) xcb_disconnect(connection);
    return ok;
}

// QApplication gets an argument list of its own: the caller's arguments are paths, never Qt options.
std::unique_ptr<QApplication> makeApplication(std::vector<char *> &qtArgs) {
    static int count;
    count = int(qtArgs.size());
    qtArgs.push_back(nullptr);
    return std::make_unique<QApplication>(count, qtArgs.data());
}

}  // namespace

int main(int argc, char *argv[]) {
    // Qt's own messages would reach the caller's standard error.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    // A write cut off by the file-size limit fails like any other (and cleans up after itself) instead of
    // killing the process halfway.
    std::signal(SIGXFSZ, SIG_IGN);
    args.assign(argv, argv + argc);
    if (args.size() < 3) {
        say("usage: tavrin-pdf <in.pdf> <out.pdf> [title]\n");
        return finish(Status::Failed);
    }
    input = QFile::decodeName(args[1].c_str());
    output = QFile::decodeName(args[2].c_str());

    const auto flag = std::find(args.begin(), args.end(), std::string("--test"));
    const bool batch = flag != args.end() && flag + 1 != args.end();
    std::shared_ptr<PDFDocument> doc = PDFDocument::open(input);
    // Only the interactive mode on a display can ask for a password; otherwise no one is there to ask.
    const bool ask = !doc && !batch && PDFDocument::needsPassword(input) && displayAvailable();
    if (!doc && !ask) {
        say("not a PDF: " + args[1] + "\n");
        return finish(Status::Failed);
    }

    if (batch) {
        const PDFSelection match = doc->findFirst(QString::fromLocal8Bit((flag + 1)->c_str()));
        if (match.isEmpty()) return finish(Status::NotFound);
        // The batch mode builds the same editor, on a screen of its own: it runs where no display exists.
        std::vector<char *> qtArgs{argv[0], const_cast<char *>("-platform"), const_cast<char *>("offscreen")};
        auto batchApp = makeApplication(qtArgs);
        Editor tester(input, output, doc, "test");
        tester.paint(match, color(palette[0].second));
        tester.window->hide();
        return finish(doc->write(output) ? Status::Written : Status::Failed);
    }

    if (!displayAvailable()) {
        say("tavrin-pdf: cannot open the editor window: no display\n");
        return finish(Status::Failed);
    }
    std::vector<char *> qtArgs{argv[0]};
    app = makeApplication(qtArgs);
    if (ask) {
        doc = askPassword(input);
        // Ends as the editor does, without tearing the application down.
        if (!doc) std::_Exit(finish(Status::NotWritten));
    }
    const QString title = args.size() >= 4 ? QString::fromLocal8Bit(args[3].c_str()) : QFileInfo(input).fileName();
    editor = std::make_unique<Editor>(input, output, doc, title);
    app->exec();
    return finish(Status::Written);
}
