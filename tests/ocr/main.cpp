#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QGuiApplication>

// The tests draw their images with DejaVu fonts, which needs a GUI application;
// the offscreen platform lets them run without a display.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    for (const char* file : {"DejaVuSans.ttf", "DejaVuSerif.ttf", "DejaVuSansMono.ttf"}) {
        QFontDatabase::addApplicationFont(QString("/usr/share/fonts/truetype/dejavu/") + file);
    }
    return RUN_ALL_TESTS();
}
