// varnel-newdesk FOLDER [IMAGES]: lays out a new working folder for the program.
#include "base/Errors.h"
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
            << "Lays out FOLDER with the empty tables and images/, or adds the history table to a "
               "folder of books that has none (images from IMAGES, by default "
            << varnel::ShippedImagesDir() << ").\n";
        return 2;
    }
    varnel::Laid laid;
    try {
        laid = args.size() == 3 ? varnel::LayOutWorkingFolder(args[1], args[2])
                                : varnel::LayOutWorkingFolder(args[1]);
    } catch (const varnel::EVarnelError& error) {
        err << error.message() << '\n';
        return 1;
    }
    const QString where = QDir(args[1]).absolutePath();
    QTextStream out(stdout);
    switch (laid) {
    case varnel::Laid::Folder:
        out << "Рабочая папка готова: " << where << '\n';
        break;
    case varnel::Laid::History:
        out << "В рабочую папку добавлена таблица истории HISTORY.DBF: " << where << '\n';
        break;
    case varnel::Laid::Nothing:
        out << "В рабочей папке уже есть все таблицы, ничего не изменено: " << where << '\n';
        break;
    }
    return 0;
}
