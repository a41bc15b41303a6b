// The palette, painting and odd pages, in-process on the offscreen platform.
#include <gtest/gtest.h>

#include <QScrollBar>

#include "editor_support.h"

namespace {

TEST(Palette, ColoursAreReadFromTheirLastSixHexDigits) {
    ASSERT_EQ(palette.size(), 10u);
    EXPECT_EQ(color(palette[0].second), QColor::fromRgbF(1.0f, 239 / 255.0f, 158 / 255.0f));
    EXPECT_EQ(color("ffef9e"), QColor(0x0f, 0xef, 0x9e));  // the first character goes whatever it is
    EXPECT_EQ(color("#123456ffef9e"), color("#ffef9e"));
    EXPECT_EQ(color(""), QColor(0, 0, 0));
}

TEST_F(EditorTest, PaintMakesOneHighlightPerLinePieceAndOneGroupPerPage) {
    open({{"alpha beta gamma", "delta epsilon"}, {"zeta eta theta"}});
    const QColor green = color(palette[1].second);
    const PDFSelection sel = editor->doc->findFirst("gamma delta");
    ASSERT_EQ(sel.lines.size(), 2);
    editor->paint(sel, green);
    ASSERT_EQ(editor->added.size(), 1u);
    ASSERT_EQ(editor->added[0].annotations.size(), 2u);
    EXPECT_TRUE(editor->changed);
    const auto &a = editor->added[0].annotations[0];
    const QRectF b = a->bounds();
    EXPECT_EQ(a->color(), green);
    EXPECT_EQ(b, sel.lines[0].bounds);
    EXPECT_EQ(a->quadrilateralPoints(),
              QVector<QPointF>({{0, b.height()}, {b.width(), b.height()}, {0, 0}, {b.width(), 0}}));

    // Across two pages: a group for each; pieces under one point are skipped and change nothing.
    PDFSelection across = editor->doc->findFirst("epsilon");
    across.lines += editor->doc->findFirst("zeta").lines;
    editor->paint(across, green);
    ASSERT_EQ(editor->added.size(), 3u);
    EXPECT_EQ(editor->added[2].page, editor->doc->page(1));
    editor->changed = false;
    across.lines[0].bounds.setWidth(0.5);
    across.lines[1].bounds.setHeight(0.5);
    editor->paint(across, green);
    EXPECT_EQ(editor->added.size(), 3u);
    EXPECT_FALSE(editor->changed);
}

// Pages of absurd shape are drawn (coarser), not allocated into gigabytes; selection across them holds.
TEST_F(EditorTest, OddPagesAreDrawnAndSelectable) {
    const QString in = dir.filePath("odd.pdf");
    // The narrowest pages set the scale: a point of width becomes the view's whole width.
    fixtures::writeRawPdf(in, {{{0, 0, 1, 14400}, 0, {{0, 7000, "a needle"}}, {}},
                               {{0, 0, 1, 400}, 0, {{0, 200, "the last page"}}, {}}});
    openFile(in);
    QScrollBar *bar = editor->view->verticalScrollBar();
    for (int step = 0; step <= 4; ++step) {
        bar->setValue(bar->maximum() * step / 4);
        EXPECT_FALSE(viewport()->grab().isNull());
    }
    EXPECT_FALSE(editor->doc->selection(editor->doc->page(0), {0, 14400}, editor->doc->page(1), {1, 0}).isEmpty());
}

}  // namespace
