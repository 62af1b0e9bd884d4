#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>

#include <functional>
#include <vector>

namespace drawimages {

struct Picture {
    QString fileName; // exactly as the windows load it, case included
    int width;
    int height;
    std::function<QImage()> draw;
    // Area that other widgets are laid over and so must stay one flat colour;
    // empty when nothing sits on the picture.
    QRect plainArea = {};
    QColor plainColour = {};
};

// The about box paints its own background in this colour; the banner's free
// lower-right corner must match it exactly so the version labels blend in.
inline const QColor aboutBoxGreen{24, 104, 58};

std::vector<Picture> allPictures();

} // namespace drawimages
