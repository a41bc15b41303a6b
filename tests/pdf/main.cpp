#include <gtest/gtest.h>

#include <QApplication>

// Tests run on Qt's screen-less platform: fixtures are drawn and windows built without a display.
int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
    char *qtArgs[] = {argv[0], const_cast<char *>("-platform"), const_cast<char *>("offscreen"), nullptr};
    int qtCount = 3;
    QApplication app(qtCount, qtArgs);
    return RUN_ALL_TESTS();
}
