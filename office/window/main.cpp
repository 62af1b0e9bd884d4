#include "base/Report.h"
#include "office/window/OfficeWindow.h"

#include <QApplication>
#include <QLocale>

using namespace varnel;
using namespace varnel::office;

// varnel-office [FOLDER]: the folder named, else the current directory when it holds the
// books or names their server in its varnel.conf (the launcher starts the program there), else
// the last one used, else one asked for.
int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Varnel"));
    QApplication::setApplicationName(QStringLiteral("varnel-office"));
    QApplication::setApplicationVersion(QStringLiteral(VARNEL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("varnel-office"));
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));

    OfficeWindow window;
    window.show();
    // The first reading comes before the event loop, outside any handler: the same boundary.
    RunHandler([&] {
        const QString folder = OfficeWindow::StartFolder(application.arguments().mid(1));
        if (folder.isEmpty() || !window.OpenFolder(folder))
            window.ChooseFolder();
    });
    return application.exec();
}
