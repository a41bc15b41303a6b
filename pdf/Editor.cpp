#include "Editor.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QWindow>
#include <cstdio>
#include <climits>
#include <cstdlib>

#include "FindBar.h"
#include "PDFView.h"
#include "Swatch.h"
#include "palette.h"

namespace {

// Ends the process from inside the deciding action, without tearing anything down: the window and the
// application are still on the stack below this call.
[[noreturn]] void quit(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}

// Sees every event of the application before it is delivered: a left-button release in the editor's
// window reaches mouseUp on a later turn of the loop, once the view has finished its selection, and
// Ctrl+Z undoes at once and is swallowed.
class Monitors : public QObject {
public:
    explicit Monitors(Editor *editor) : QObject(qApp), editor_(editor) {}

protected:
    bool eventFilter(QObject *receiver, QEvent *event) override {
        if (!editor_) return false;
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->modifiers().testFlag(Qt::ControlModifier) && !key->modifiers().testFlag(Qt::ShiftModifier) &&
                key->key() == Qt::Key_Z) {
                editor_->undoLast();
                return true;
            }
            return false;
        }
        if (event->type() != QEvent::MouseButtonRelease) return false;
        const auto *mouse = static_cast<QMouseEvent *>(event);
        // Widgets only: the window forwards each release to the widget under the pointer, and unhandled ones
        // climb to the parents as copies with the same time stamp; each release is acted on once.
        const auto *widget = qobject_cast<QWidget *>(receiver);
        if (mouse->button() != Qt::LeftButton || !widget || widget->window() != editor_->window.get())
            return false;
        if (mouse->timestamp() == lastTimestamp_ && mouse->globalPosition() == lastPosition_) return false;
        lastTimestamp_ = mouse->timestamp();
        lastPosition_ = mouse->globalPosition();
        std::shared_ptr<QMouseEvent> copy(static_cast<QMouseEvent *>(mouse->clone()));
        QMetaObject::invokeMethod(
            editor_, [editor = editor_, copy] { if (editor) editor->mouseUp(*copy); }, Qt::QueuedConnection);
        return false;
    }

private:
    QPointer<Editor> editor_;
    quint64 lastTimestamp_ = 0;
    QPointF lastPosition_;
};

QPushButton *button(const QString &title, QWidget *parent) { return new QPushButton(title, parent); }

}  // namespace

Editor::Editor(const QString &input, const QString &output, std::shared_ptr<PDFDocument> doc, const QString &title)
    : input(input),
      output(output),
      doc(std::move(doc)),
      window(std::make_unique<QWidget>()),
      view(new PDFView(window.get())),
      eraseBtn(button("Erase", window.get())),
      status(new QLabel(window.get())) {
    window->setWindowTitle(title);
    window->installEventFilter(this);  // the close request
    view->setDocument(this->doc.get());

    auto *strip = new QHBoxLayout;
    strip->setSpacing(6);
    strip->setContentsMargins(10, 8, 10, 8);
    for (int i = 0; i < int(palette.size()); ++i) {
        auto *swatch = new Swatch(i, color(palette[size_t(i)].second), window.get());
        swatch->setToolTip("Highlight " + palette[size_t(i)].first + ": select text, then click; click again to keep it on");
        swatch->setAccessibleName("Highlight " + palette[size_t(i)].first);
        // Checked while armed: a screen reader says the state.
        swatch->setCheckable(true);
        connect(swatch, &QPushButton::clicked, this, [this, swatch] { pick(swatch); });
        buttons.push_back(swatch);
        strip->addWidget(swatch);
    }
    eraseBtn->setCheckable(true);
    eraseBtn->setToolTip("Click a highlight to remove it");
    connect(eraseBtn, &QPushButton::clicked, this, &Editor::toggleErase);
    QPushButton *undo = button("Undo", window.get());
    connect(undo, &QPushButton::clicked, this, &Editor::undoLast);
    QPushButton *cancelBtn = button("Cancel", window.get());
    cancelBtn->setShortcut(Qt::Key_Escape);
    connect(cancelBtn, &QPushButton::clicked, this, &Editor::cancel);
    QPushButton *save = button("Save", window.get());
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    save->setDefault(true);
    connect(save, &QPushButton::clicked, this, &Editor::saveAndQuit);
    // Keyboard focus stays with the page view; the buttons answer to their shortcuts.
    for (QPushButton *b : {eraseBtn, undo, cancelBtn, save}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setAccessibleName(b->text());
    }
    status->setAccessibleName("Status");

    strip->addWidget(eraseBtn);
    strip->addWidget(undo);
    strip->addWidget(status);
    strip->addStretch(1);
    strip->addWidget(cancelBtn);
    strip->addWidget(save);
    QPalette labelPalette = status->palette();
    labelPalette.setColor(QPalette::WindowText, labelPalette.color(QPalette::PlaceholderText));
    status->setPalette(labelPalette);

    auto *root = new QVBoxLayout(window.get());
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    root->addLayout(strip);
    root->addWidget(view, 1);

    // What the view adds lives over it or in a dialog: the strip keeps exactly its controls.
    findBar = new FindBar(view);
    const auto shortcut = [this](QKeySequence keys, auto action) {
        connect(new QShortcut(keys, window.get()), &QShortcut::activated, this, action);
    };
    shortcut(QKeySequence::Find, [this] { findBar->open(); });
    shortcut(Qt::Key_F3, [this] { findBar->step(1); });
    shortcut(Qt::SHIFT | Qt::Key_F3, [this] { findBar->step(-1); });
    shortcut(Qt::CTRL | Qt::Key_G, &Editor::askForPage);

    window->resize(980, 1000);
    if (QScreen *screen = window->screen())
        window->move(screen->availableGeometry().center() - window->rect().center());
    window->show();
    window->raise();
    window->activateWindow();
    view->setFocus();
    refresh();
    qApp->installEventFilter(new Monitors(this));
}

Editor::~Editor() = default;

void Editor::paint(const PDFSelection &selection, const QColor &color) {
    std::vector<UndoGroup> made;  // one per page, in the order the pages were first met
    for (const PDFSelection::Line &line : selection.lines) {
        const QRectF &r = line.bounds;
        if (r.width() < 1.0 || r.height() < 1.0) continue;
        const double w = r.width(), h = r.height();
        auto highlight = std::make_shared<PDFAnnotation>(r, color, QVector<QPointF>{{0, h}, {w, h}, {0, 0}, {w, 0}});
        line.page->addAnnotation(highlight);
        auto group = std::find_if(made.begin(), made.end(), [&](const UndoGroup &g) { return g.page == line.page; });
        if (group == made.end()) group = made.insert(made.end(), UndoGroup{line.page, {}});
        group->annotations.push_back(highlight);
    }
    added.insert(added.end(), made.begin(), made.end());
    if (!made.empty()) changed = true;
}

void Editor::mouseUp(const QMouseEvent &event) {
    const QPointF p = view->convertPoint(window->mapFromGlobal(event.globalPosition()));
    if (erasing) {
        PDFPage *page = view->pageForPoint(p);
        if (!page) return;
        const QPointF q = view->convertPointToPage(p, page);
        const auto &annotations = page->annotations();
        for (auto it = annotations.rbegin(); it != annotations.rend(); ++it) {
            const QRectF b = (*it)->bounds();
            // Lower and left edges inside, upper and right edges outside.
            if ((*it)->type() == "Highlight" && q.x() >= b.left() && q.x() < b.right() && q.y() >= b.top() &&
                q.y() < b.bottom()) {
                page->removeAnnotation(*it);
                changed = true;
                refresh();
                return;
            }
        }
        return;
    }
    if (!armed) return;
    const PDFSelection selection = view->currentSelection();
    if (selection.isEmpty() || selection.string.isEmpty()) return;
    paint(selection, *armed);
    view->clearSelection();
    refresh();
}

void Editor::pick(Swatch *sender) {
    const QColor picked = color(palette.at(size_t(sender->tag())).second);
    erasing = false;
    const PDFSelection selection = view->currentSelection();
    if (!selection.isEmpty() && !selection.string.isEmpty()) {
        paint(selection, picked);
        view->clearSelection();
        armed.reset();
        refresh();
        return;
    }
    if (armed && *armed == picked)
        armed.reset();
    else
        armed = picked;
    refresh();
}

void Editor::toggleErase() {
    erasing = !erasing;
    if (erasing) armed.reset();
    refresh();
}

void Editor::undoLast() {
    if (added.empty()) return;
    const UndoGroup group = added.back();
    added.pop_back();
    for (const auto &annotation : group.annotations) group.page->removeAnnotation(annotation);
    refresh();
}

void Editor::refresh() {
    const QPalette colors = window->palette();
    for (size_t i = 0; i < buttons.size(); ++i) {
        const bool match = armed && *armed == color(palette[i].second);
        buttons[i]->setRing(match ? 3.0 : 1.0, colors.color(match ? QPalette::Highlight : QPalette::Mid));
        buttons[i]->setChecked(match);
    }
    eraseBtn->setChecked(erasing);
    size_t marks = 0;
    for (const UndoGroup &group : added) marks += group.annotations.size();
    if (erasing)
        status->setText("Click a highlight to remove it");
    else if (armed)
        status->setText("Every selection is painted");
    else if (marks > 0)
        status->setText(QString::number(marks) + " marks added");
    else
        status->setText("Select text, then pick a color");
    view->setFollowsLinks(!erasing);
    view->viewport()->update();  // pages whose highlights changed are drawn anew
}

void Editor::saveOrAlert() {
    if (doc->write(output)) quit(0);
    QMessageBox alert(window.get());
    alert.setText("The PDF could not be saved");
    alert.exec();
}

void Editor::askForPage() {
    const int count = doc->pageCount();
    if (count == 0) return;
    QInputDialog ask(window.get());
    ask.setWindowTitle("Go to page");
    ask.setLabelText(QString("Page (1 to %1):").arg(count));
    ask.setInputMode(QInputDialog::IntInput);
    // Any number is taken: one out of range goes to the nearest end.
    ask.setIntRange(INT_MIN, INT_MAX);
    ask.setIntValue(view->currentPage() + 1);
    if (ask.exec() == QDialog::Accepted) view->goToPage(std::clamp(ask.intValue(), 1, count) - 1);
}

void Editor::saveAndQuit() {
    if (!changed) quit(2);
    saveOrAlert();
}

void Editor::cancel() { window->close(); }

bool Editor::windowShouldClose() {
    if (!changed) quit(2);
    QMessageBox question(window.get());
    question.setText("Save the highlights?");
    question.setInformativeText("The PDF in the note gets the new marks. The previous file stays in the note's versions.");
    // One role for all three keeps them in the order added.
    QPushButton *save = question.addButton("Save", QMessageBox::ActionRole);
    QPushButton *dontSave = question.addButton("Don't Save", QMessageBox::ActionRole);
    QPushButton *cancelBtn = question.addButton("Cancel", QMessageBox::ActionRole);
    question.setDefaultButton(save);
    question.setEscapeButton(cancelBtn);
    question.exec();
    if (question.clickedButton() == save)
        saveOrAlert();
    else if (question.clickedButton() == dontSave)
        quit(2);
    return false;
}

bool Editor::eventFilter(QObject *watched, QEvent *event) {
    // The toolkit never closes the window: every end is an exit from the deciding action.
    if (watched == window.get() && event->type() == QEvent::Close) {
        event->ignore();
        windowShouldClose();
        return true;
    }
    return false;
}
