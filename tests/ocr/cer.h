#pragma once

#include <QString>
#include <algorithm>
#include <utility>
#include <vector>

// Levenshtein distance between two texts.
inline int editDistance(const QString& a, const QString& b) {
    std::vector<int> r(size_t(a.size()) + 1);
    for (size_t j = 0; j < r.size(); ++j) r[j] = int(j);
    for (int i = 0; i < b.size(); ++i) {
        int d = std::exchange(r[0], i + 1);
        for (int j = 0; j < a.size(); ++j)
            d = std::exchange(r[size_t(j) + 1], std::min({r[size_t(j) + 1] + 1, r[size_t(j)] + 1, d + (a[j] != b[i])}));
    }
    return r.back();
}

// Character error rate: edit distance over the reference's length.
inline double cer(const QString& hypothesis, const QString& reference) {
    return reference.isEmpty() ? 0.0 : double(editDistance(hypothesis, reference)) / reference.size();
}
