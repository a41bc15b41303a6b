#pragma once

#include <QWidget>

#include "Finder.h"

class QLabel;
class QLineEdit;
class PDFView;

// The find field over the top right corner of the page view. Each match found becomes the view's selection,
// so that a swatch paints it and Ctrl+C copies it; the others on the pages shown are marked lightly.
class FindBar : public QWidget {
    Q_OBJECT
public:
    explicit FindBar(PDFView *view);

    // Shows the field with the keyboard focus; a search starts from the top of the view as it is now.
    void open();
    // Hides it and gives the focus back to the view; the match stays selected.
    void close();
    // The next match (1) or the previous one (-1).
    void step(int direction);

    QLineEdit *field() const { return field_; }
    QLabel *summary() const { return summary_; }
    Finder &finder() { return finder_; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();

    PDFView *view_;
    QLineEdit *field_;
    QLabel *summary_;
    Finder finder_;
    int fromPage_ = 0;
    double fromTop_ = 0;
};
