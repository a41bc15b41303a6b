#pragma once

#include "fixtures.h"

// A document of `count` pages of filler whose only occurrence of `needle` is on the last page.
inline void writeLongPdf(const QString &path, int count, const QString &needle) {
    std::vector<fixtures::RawPage> pages(static_cast<size_t>(count));
    for (int p = 0; p < count; ++p) {
        for (int l = 0; l < 40; ++l)
            pages[size_t(p)].texts.push_back(
                {72, 740.0 - 16 * l, QString("Page %1 line %2: the quick brown fox jumps over the lazy dog").arg(p + 1).arg(l + 1)});
    }
    pages.back().texts.push_back({72, 60, needle});
    fixtures::writeRawPdf(path, pages);
}
