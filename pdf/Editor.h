#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "PDFDocument.h"

class QLabel;
class QMouseEvent;
class QPushButton;
class QWidget;
class FindBar;
class PDFView;
class Swatch;

// The one editing object: holds the document, builds the window (a strip of controls above the page view),
// keeps the editing state and decides how the process ends.
class Editor : public QObject {
    Q_OBJECT
public:
    // What one painting put on one page, in the order made.
    struct UndoGroup {
        PDFPage *page;
        std::vector<std::shared_ptr<PDFAnnotation>> annotations;
    };

    Editor(const QString &input, const QString &output, std::shared_ptr<PDFDocument> doc, const QString &title);
    Editor() = delete;
    ~Editor() override;

    void paint(const PDFSelection &selection, const QColor &color);
    void mouseUp(const QMouseEvent &event);
    void pick(Swatch *sender);
    void toggleErase();
    void undoLast();
    void refresh();
    void saveAndQuit();
    void cancel();
    bool windowShouldClose();

    const QString input;
    const QString output;
    const std::shared_ptr<PDFDocument> doc;
    const std::unique_ptr<QWidget> window;
    PDFView *const view;
    std::optional<QColor> armed;
    bool erasing = false;
    std::vector<UndoGroup> added;
    bool changed = false;
    std::vector<Swatch *> buttons;
    QPushButton *const eraseBtn;
    QLabel *const status;
    FindBar *findBar = nullptr;  // over the view: Ctrl+F

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void saveOrAlert();
    void askForPage();
};
