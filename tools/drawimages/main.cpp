// varnel-drawimages OUTDIR
//
// Redraws every bitmap the program's windows load and writes them into OUTDIR
// as 24-bit BMP files, and the programs' icons into OUTDIR/icons as PNG files
// (NAME-SIZE.png, one per size of the icon theme). Output is fully determined
// by this code and the DejaVu fonts, so running it twice gives identical files.

#include "tools/drawimages/icons.h"
#include "tools/drawimages/painting.h"
#include "tools/drawimages/pictures.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QTextStream>

#include <cstdio>
#include <vector>

namespace {

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

// Registering the faces by file means we never silently fall back to some
// other sans serif that happens to be installed, which would change every
// picture with text on it.
bool loadFonts() {
    const QStringList dirs{
        QStringLiteral("/usr/share/fonts/truetype/dejavu"),
        QStringLiteral("/usr/share/fonts/dejavu"),
        QStringLiteral("/usr/share/fonts/TTF"),
    };
    const QStringList files{
        QStringLiteral("DejaVuSans.ttf"),
        QStringLiteral("DejaVuSans-Bold.ttf"),
        QStringLiteral("DejaVuSansCondensed-Bold.ttf"),
    };
    for (const QString& file : files) {
        bool found = false;
        for (const QString& dir : dirs) {
            const QString path = dir + QLatin1Char('/') + file;
            if (QFile::exists(path) && QFontDatabase::addApplicationFont(path) >= 0) {
                found = true;
                break;
            }
        }
        if (!found) {
            err() << "varnel-drawimages: нет шрифта " << file
                  << " (пакет Debian fonts-dejavu-core)\n";
            return false;
        }
    }
    const QFontInfo info(drawimages::dejaVu(14, true, true));
    if (info.family() != QLatin1String("DejaVu Sans") &&
        info.family() != QLatin1String("DejaVu Sans Condensed")) {
        err() << "varnel-drawimages: вместо DejaVu Sans нашёлся шрифт " << info.family() << '\n';
        return false;
    }
    return true;
}

// Reads the bit count straight from the BMP header: QImage would happily load
// a 32-bit file too, but the windows expect plain 24-bit bitmaps.
int bmpBitsPerPixel(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray head = f.read(30);
    if (head.size() < 30 || !head.startsWith("BM"))
        return -1;
    return quint8(head[28]) | (quint8(head[29]) << 8);
}

bool isPlain(const QImage& img, const QRect& area, const QColor& colour) {
    const QRgb want = colour.rgb();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (img.pixel(x, y) != want)
                return false;
    return true;
}

// The desktop shows an icon on any background, so whatever lies outside the rounded tile must
// be see-through; a corner that came out opaque means the picture lost its alpha channel. (At
// 16 pixels the antialiased rim still touches the corner pixel a little.)
bool hasClearCorner(const QImage& img) {
    return img.hasAlphaChannel() && qAlpha(img.pixel(0, 0)) < 128;
}

int writeIcons(const QDir& out) {
    if (!out.mkpath(QStringLiteral("icons"))) {
        err() << "varnel-drawimages: не создаётся папка " << out.filePath(QStringLiteral("icons"))
              << '\n';
        return 1;
    }
    int failures = 0;
    for (const drawimages::Icon& icon : drawimages::allIcons()) {
        const std::vector<int> sizes =
            icon.window
                ? std::vector<int>(drawimages::windowIconSizes.begin(),
                                   drawimages::windowIconSizes.end())
                : std::vector<int>(drawimages::iconSizes.begin(), drawimages::iconSizes.end());
        for (const int size : sizes) {
            const QImage img = icon.draw(size).convertToFormat(QImage::Format_ARGB32);
            const QString path =
                out.filePath(QStringLiteral("icons/%1-%2.png").arg(icon.name).arg(size));
            if (img.width() != size || img.height() != size || !hasClearCorner(img)) {
                err() << path << ": нарисовано " << img.width() << 'x' << img.height()
                      << (hasClearCorner(img) ? "" : " с непрозрачным углом") << ", а нужно "
                      << size << 'x' << size << " с прозрачным\n";
                ++failures;
                continue;
            }
            if (!img.save(path, "PNG")) {
                err() << "varnel-drawimages: не записывается " << path << '\n';
                ++failures;
                continue;
            }
            const QImage back(path);
            if (back.size() != img.size() || !hasClearCorner(back)) {
                err() << path << ": записанный файл " << back.width() << 'x' << back.height()
                      << (back.hasAlphaChannel() ? "" : " без прозрачности") << '\n';
                ++failures;
                continue;
            }
            QTextStream(stdout) << path << '\n';
        }
    }
    return failures;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 2) {
        err() << "Использование: varnel-drawimages ПАПКА\n"
                 "Рисует в ПАПКУ рисунки окон (*.bmp) и значки (icons/*.png).\n";
        return 2;
    }
    if (!loadFonts())
        return 1;

    const QDir out(args.at(1));
    if (!QDir().mkpath(out.path())) {
        err() << "varnel-drawimages: не создаётся папка " << out.path() << '\n';
        return 1;
    }

    int failures = 0;
    for (const drawimages::Picture& pic : drawimages::allPictures()) {
        const QImage img = pic.draw().convertToFormat(QImage::Format_RGB888);
        const QString path = out.filePath(pic.fileName);
        if (img.width() != pic.width || img.height() != pic.height) {
            err() << pic.fileName << ": нарисовано " << img.width() << 'x' << img.height()
                  << ", а нужно " << pic.width << 'x' << pic.height << '\n';
            ++failures;
            continue;
        }
        if (!pic.plainArea.isEmpty() && !isPlain(img, pic.plainArea, pic.plainColour)) {
            err() << pic.fileName << ": нарисовано на месте, оставленном для надписей\n";
            ++failures;
            continue;
        }
        if (!img.save(path, "BMP")) {
            err() << "varnel-drawimages: не записывается " << path << '\n';
            ++failures;
            continue;
        }
        const QImage back(path);
        const int bpp = bmpBitsPerPixel(path);
        if (back.size() != img.size() || bpp != 24) {
            err() << path << ": записанный файл " << back.width() << 'x' << back.height() << ", "
                  << bpp << " бит на точку\n";
            ++failures;
            continue;
        }
        QTextStream(stdout) << path << '\n';
    }
    failures += writeIcons(out);
    return failures == 0 ? 0 : 1;
}
