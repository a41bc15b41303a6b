#include <gtest/gtest.h>

#include <QGuiApplication>

// The tests draw their images with system fonts, which needs a GUI application;
// the offscreen platform lets them run without a display.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
