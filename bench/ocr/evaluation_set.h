#pragma once

#include <QDir>
#include <QString>
#include <cstdint>
#include <vector>

// One image of the evaluation set and the text drawn on it, in reading order.
struct Sample {
    QString kind;
    int number = 0;  // within its kind
    QString file;    // in the set's folder
    QString truth;   // empty until drawn
};

// Every image of the set, kind by kind, without drawing them: scans, photos of pages and
// screenshots of Debian FAQ text in English and Russian. What each shows is drawn at random
// from the seed and the image's place, so that any subset is the same images as in the whole.
std::vector<Sample> evaluationPlan();

// Draws the sample's image for seed into dir and returns the text on it.
QString drawSample(const QDir& dir, std::uint32_t seed, const Sample& sample);

// A white PNG of side × side pixels, for the cost of an image with nothing to read.
QString makeBlankPng(const QDir& dir, int side);
