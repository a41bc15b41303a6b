#pragma once

#include <QRectF>
#include <QString>
#include <QVector>

class PDFPage;

// A stretch of text: one rectangle per line and page in reading order, and the text itself.
struct PDFSelection {
    struct Line {
        PDFPage *page = nullptr;
        QRectF bounds;  // page space
    };
    QVector<Line> lines;
    QString string;  // lines joined by line feeds

    bool isEmpty() const { return lines.isEmpty(); }
};
