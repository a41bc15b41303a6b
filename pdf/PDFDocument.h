#pragma once

#include <QByteArray>
#include <QPointF>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "PDFPage.h"
#include "PDFSelection.h"

namespace Poppler {
class Document;
}

enum class TextUnit { Word, Line };

class PDFDocument {
public:
    // None for a missing, unreadable, non-PDF or password-locked file.
    static std::unique_ptr<PDFDocument> open(const QString &path);
    // The same with a password (the user's or the owner's); none while it is wrong.
    static std::unique_ptr<PDFDocument> open(const QString &path, const QByteArray &password);
    // Whether the file is a PDF that opens only with a password.
    static bool needsPassword(const QString &path);
    ~PDFDocument();
    PDFDocument(const PDFDocument &) = delete;
    PDFDocument &operator=(const PDFDocument &) = delete;

    int pageCount() const { return int(pages_.size()); }
    PDFPage *page(int index) const { return pages_[size_t(index)].get(); }

    // The first case-insensitive match in reading order, across line breaks; empty when there is none.
    PDFSelection findFirst(const QString &text) const;
    // The same matcher on one page: every match there in reading order, or only the first.
    std::vector<PDFSelection> find(int page, const QString &text, bool firstOnly = false) const;
    // The text between two page-space points, in reading order, in either direction.
    PDFSelection selection(PDFPage *fromPage, QPointF from, PDFPage *toPage, QPointF to) const;
    // The word or the line under a page-space point; empty where no text lies there.
    PDFSelection selectionAt(PDFPage *page, QPointF point, TextUnit unit) const;

    // The whole document with its annotations. Nothing at the path changes unless the write succeeds.
    bool write(const QString &path) const;

private:
    PDFDocument() = default;
    mutable PopplerLock lock_;  // outlives the pages and the document it guards
    std::unique_ptr<Poppler::Document> doc_;
    std::vector<std::unique_ptr<PDFPage>> pages_;
    // Each page's folded letters once read: a search as the user types reads every page again and again.
    mutable std::vector<std::optional<QString>> letters_;

    bool mayHold(int page, const QString &letters) const;
};
