#include "FindBar.h"

#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include "PDFView.h"

FindBar::FindBar(PDFView *view)
    : QWidget(view->viewport()),
      view_(view),
      field_(new QLineEdit(this)),
      summary_(new QLabel(this)),
      finder_(*view->document(), [view] { return !view->rendering(); }) {
    setAutoFillBackground(true);
    field_->setAccessibleName("Find");
    field_->setPlaceholderText("Find");
    field_->setMinimumWidth(220);
    field_->installEventFilter(this);
    summary_->setAccessibleName("Find result");
    summary_->setMinimumWidth(110);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->addWidget(field_);
    layout->addWidget(summary_);
    view->viewport()->installEventFilter(this);  // stays in its corner as the view is resized
    hide();

    connect(field_, &QLineEdit::textChanged, this, [this](const QString &text) {
        finder_.find(text, fromPage_, fromTop_);
    });
    connect(&finder_, &Finder::moved, this, [this] {
        if (const PDFSelection *match = finder_.current())
            view_->showSelection(*match);
        else
            view_->clearSelection();
        summary_->setText(finder_.summary());
    });
    connect(&finder_, &Finder::counted, this, [this] {
        // Most slices read pages without a match: nothing to mark, and a repaint of the view after each
        // one would slow the search.
        const QString summary = finder_.summary();
        if (summary == summary_->text()) return;
        summary_->setText(summary);
        view_->viewport()->update();  // marks on the pages just read
    });
}

void FindBar::open() {
    fromPage_ = view_->currentPage();
    fromTop_ = view_->topWithin(fromPage_);
    view_->setMarks([this](int page) {
        QVector<QRectF> marks;
        for (const PDFSelection &match : finder_.on(page))
            for (const PDFSelection::Line &line : match.lines) marks.push_back(line.bounds);
        return marks;
    });
    place();
    show();
    raise();
    field_->setFocus();
    field_->selectAll();
}

void FindBar::close() {
    hide();
    view_->setMarks({});
    view_->setFocus();
}

void FindBar::step(int direction) { finder_.step(direction); }

void FindBar::place() {
    adjustSize();
    move(view_->viewport()->width() - width() - 12, 8);
}

bool FindBar::eventFilter(QObject *watched, QEvent *event) {
    if (watched == view_->viewport()) {
        if (event->type() == QEvent::Resize) place();
        return false;
    }
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress) return false;
    auto *key = static_cast<QKeyEvent *>(event);
    const bool copyMatch = key->matches(QKeySequence::Copy) && !field_->hasSelectedText();
    // Escape here closes the field rather than reaching Cancel; Ctrl+C with nothing selected in the field
    // copies the match.
    if (key->key() != Qt::Key_Escape && key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter && !copyMatch)
        return false;
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    if (copyMatch) {
        const QString text = view_->currentSelection().string;
        if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
    } else if (key->key() == Qt::Key_Escape) {
        close();
    } else {
        step(key->modifiers().testFlag(Qt::ShiftModifier) ? -1 : 1);
    }
    return true;
}
