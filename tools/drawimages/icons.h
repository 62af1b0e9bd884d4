#pragma once

#include <QImage>
#include <QString>

#include <array>
#include <functional>
#include <vector>

namespace drawimages {

// The sizes of the hicolor theme that desktops ask for most; each is drawn on its own
// pixel grid rather than scaled from the largest, so the small ones stay sharp.
inline constexpr std::array<int, 6> iconSizes{16, 32, 48, 64, 128, 256};

// The sizes a window's title bar and task bar button ask for.
inline constexpr std::array<int, 3> windowIconSizes{16, 32, 48};

struct Icon {
    QString name; // the icon name of the desktop entry: NAME-SIZE.png is written
    std::function<QImage(int size)> draw;
    bool window = false; // a window's icon, at windowIconSizes only
};

std::vector<Icon> allIcons();

} // namespace drawimages
