#pragma once

#include <QDir>
#include <QString>
#include <vector>

// One image of the evaluation set and the text drawn on it, in reading order.
struct Sample {
    QString kind;
    QString file;  // in the set's folder
    QString truth;
};

// Writes the evaluation set into dir: pages of the Debian FAQ (English and Russian) as scans,
// simulated phone photos and screenshots, two or more images of each kind.
std::vector<Sample> makeEvaluationSet(const QDir& dir);

// A white PNG of side × side pixels, for the cost of an image with nothing to read.
QString makeBlankPng(const QDir& dir, int side);
