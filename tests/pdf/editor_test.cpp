// The palette, the editor window and painting, in-process on the offscreen platform.
#include <gtest/gtest.h>

#include <QLayout>
#include <QScrollBar>

#include "editor_support.h"
#include "palette.h"

namespace {

TEST(Palette, ColoursAreTheHexDigitsOverTwoHundredFiftyFive) {
    ASSERT_EQ(palette.size(), 10u);
    for (const auto &[name, hex] : palette) {
        const QColor c = color(hex);
        EXPECT_EQ(c, QColor::fromRgbF(hex.mid(1, 2).toInt(nullptr, 16) / 255.0f, hex.mid(3, 2).toInt(nullptr, 16) / 255.0f,
                                      hex.mid(5, 2).toInt(nullptr, 16) / 255.0f))
            << name.toStdString();
        EXPECT_EQ(c.alphaF(), 1.0f);
    }
    EXPECT_NEAR(color("#ffef9e").greenF(), 239 / 255.0, 1e-6);
    EXPECT_EQ(color(palette[2].second), color(palette[2].second));
    EXPECT_NE(color(palette[2].second), color(palette[3].second));
    // The first character goes whatever it is; only the last six digits count; no digit is black.
    EXPECT_EQ(color("ffef9e"), QColor(0x0f, 0xef, 0x9e));
    EXPECT_EQ(color("#123456ffef9e"), color("#ffef9e"));
    EXPECT_EQ(color("#"), QColor(0, 0, 0));
    EXPECT_EQ(color(""), QColor(0, 0, 0));
}

TEST_F(EditorTest, WindowShowsTheStripAboveThePages) {
    open({{"One page of text"}});
    QWidget *w = editor->window.get();
    EXPECT_EQ(w->windowTitle(), "note");
    EXPECT_EQ(w->size(), QSize(980, 1000));
    ASSERT_EQ(editor->buttons.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        const Swatch *s = editor->buttons[size_t(i)];
        EXPECT_EQ(s->tag(), i);
        EXPECT_EQ(s->fill(), color(palette[size_t(i)].second));
        EXPECT_EQ(s->size(), QSize(22, 22));
        EXPECT_EQ(s->ringWidth(), 1.0);
    }
    EXPECT_EQ(editor->buttons[9]->toolTip(), "Highlight gray: select text, then click; click again to keep it on");
    // Left to right: swatches, Erase, Undo, the status, a gap, Cancel, Save; the view fills the rest below.
    QStringList order;
    auto *strip = w->layout()->itemAt(0)->layout();
    for (int i = 10; i < strip->count(); ++i) {
        QWidget *item = strip->itemAt(i)->widget();
        order << (!item ? "gap" : item == editor->status ? "status" : static_cast<QPushButton *>(item)->text());
    }
    EXPECT_EQ(order, QStringList({"Erase", "Undo", "status", "gap", "Cancel", "Save"}));
    EXPECT_EQ(editor->eraseBtn->toolTip(), "Click a highlight to remove it");
    EXPECT_EQ(status(), "Select text, then pick a color");
    EXPECT_FALSE(editor->armed || editor->erasing || editor->changed);
    EXPECT_GT(editor->view->y(), 8);
    EXPECT_EQ(editor->view->width(), 980);
}

TEST_F(EditorTest, PaintMakesOneHighlightPerLinePieceAndOneGroupPerPage) {
    open({{"alpha beta gamma", "delta epsilon"}, {"zeta eta theta"}});
    const QColor green = color(palette[1].second);
    const PDFSelection sel = editor->doc->findFirst("gamma delta");
    ASSERT_EQ(sel.lines.size(), 2);
    editor->paint(sel, green);
    ASSERT_EQ(editor->added.size(), 1u);
    EXPECT_EQ(editor->added[0].annotations.size(), 2u);
    EXPECT_TRUE(editor->changed);
    const auto &a = editor->added[0].annotations[0];
    EXPECT_EQ(a->color(), green);
    const QRectF b = a->bounds();
    EXPECT_EQ(b, sel.lines[0].bounds);
    EXPECT_EQ(a->quadrilateralPoints(),
              QVector<QPointF>({{0, b.height()}, {b.width(), b.height()}, {0, 0}, {b.width(), 0}}));
    EXPECT_EQ(editor->doc->page(0)->annotations().back(), editor->added[0].annotations[1]);

    // Across two pages: a group for each; pieces under one point are skipped and change nothing.
    PDFSelection across = editor->doc->findFirst("epsilon");
    across.lines += editor->doc->findFirst("zeta").lines;
    editor->paint(across, green);
    ASSERT_EQ(editor->added.size(), 3u);
    EXPECT_EQ(editor->added[1].page, editor->doc->page(0));
    EXPECT_EQ(editor->added[2].page, editor->doc->page(1));

    editor->changed = false;
    PDFSelection thin = across;
    thin.lines[0].bounds.setWidth(0.5);
    thin.lines[1].bounds.setHeight(0.5);
    editor->paint(thin, green);
    EXPECT_EQ(editor->added.size(), 3u);
    EXPECT_FALSE(editor->changed);
    thin.lines[0].bounds.setSize({1.0, 1.0});
    editor->paint(thin, green);
    EXPECT_EQ(editor->added.size(), 4u);
}

}  // namespace

namespace {

// Pages of absurd shape are drawn (coarser), not allocated into gigabytes; selection across them holds.
TEST_F(EditorTest, OddPagesAreDrawnAndSelectable) {
    const QString in = dir.filePath("odd.pdf");
    // The narrowest pages set the scale: a point of width becomes the view's whole width.
    fixtures::writeRawPdf(in, {{{0, 0, 1, 14400}, 0, {{0, 7000, "a needle"}}, {}},
                               {{0, 0, 1, 400}, 0, {{0, 200, "the last page"}}, {}}});
    openFile(in);
    PDFView *view = editor->view;
    for (int step = 0; step <= 4; ++step) {
        view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum() * step / 4);
        EXPECT_FALSE(view->viewport()->grab().isNull());
    }
    const PDFSelection all = editor->doc->selection(editor->doc->page(0), {0, 14400}, editor->doc->page(1), {1, 0});
    EXPECT_FALSE(all.isEmpty());
}

}  // namespace
