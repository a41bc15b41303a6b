// make-long-pdf OUT PAGES NEEDLE: the document the batch-mode benchmark searches.
#include <QGuiApplication>
#include <cstdio>

#include "long_pdf.h"

int main(int argc, char *argv[]) {
    if (argc != 4) {
        std::fputs("usage: make-long-pdf OUT PAGES NEEDLE\n", stderr);
        return 1;
    }
    std::vector<char *> qtArgs{argv[0], const_cast<char *>("-platform"), const_cast<char *>("offscreen"), nullptr};
    int qtCount = 3;
    QGuiApplication app(qtCount, qtArgs.data());
    writeLongPdf(QString::fromLocal8Bit(argv[1]), atoi(argv[2]), QString::fromLocal8Bit(argv[3]));
    return 0;
}
