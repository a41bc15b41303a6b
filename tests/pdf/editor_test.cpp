// The palette and painting, in-process on the offscreen platform.
#include <gtest/gtest.h>

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

    // Across two pages: a group for each; pieces under one point are skipped and change nothing, one point is enough.
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
    across.lines[0].bounds = {72, 500, 1, 1};
    editor->paint(across, green);
    EXPECT_EQ(editor->added.size(), 4u);
}

}  // namespace
