// varnel-newdesk FOLDER [IMAGES]: lays out a new working folder for the program.
#include "store/engine/Errors.h"
#include "tools/newdesk/NewDesk.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QTextStream err(stderr);
    if (args.size() < 2 || args.size() > 3 || args[1].startsWith(QLatin1Char('-'))) {
        err << "usage: varnel-newdesk FOLDER [IMAGES]\n"
            << "Lays out FOLDER with the four empty tables and images/ (from IMAGES, by default "
            << varnel::ShippedImagesDir() << ").\n";
        return 2;
    }
    try {
        if (args.size() == 3)
            varnel::LayOutWorkingFolder(args[1], args[2]);
        else
            varnel::LayOutWorkingFolder(args[1]);
    } catch (const varnel::EVarnelError& error) {
        err << error.message() << '\n';
        return 1;
    }
    QTextStream(stdout) << "Рабочая папка готова: " << QDir(args[1]).absolutePath() << '\n';
    return 0;
}
