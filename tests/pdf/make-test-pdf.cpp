// make-test-pdf long OUT PAGES NEEDLE  |  make-test-pdf text OUT LINE...
#include <QGuiApplication>
#include <cstdio>

#include "fixtures.h"

int main(int argc, char *argv[]) {
    std::vector<char *> qtArgs{argv[0], const_cast<char *>("-platform"), const_cast<char *>("offscreen"), nullptr};
    int qtCount = 3;
    QGuiApplication app(qtCount, qtArgs.data());
    QStringList rest;
    for (int i = 1; i < argc; ++i) rest << QString::fromLocal8Bit(argv[i]);
    if (rest.size() == 4 && rest[0] == "long") {
        fixtures::writeLongPdf(rest[1], rest[2].toInt(), rest[3]);
        return 0;
    }
    if (rest.size() >= 3 && rest[0] == "text") {
        fixtures::writeTextPdf(rest[1], {rest.mid(2)});
        return 0;
    }
    std::fputs("usage: make-test-pdf long OUT PAGES NEEDLE | text OUT LINE...\n", stderr);
    return 1;
}
