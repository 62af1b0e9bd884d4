#include "base/Report.h"
#include "controls/Login.h"
#include "office/window/OfficeWindow.h"
#include "server/Config.h"
#include "toolkit/Application.h"

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
    LoadQtRussian();

    OfficeWindow window;
    QString folder;
    RunHandler([&] { folder = OfficeWindow::StartFolder(application.arguments().mid(1)); });
    // A server that asks for a password has the operator log in before the window shows;
    // cancelled, the program ends. A varnel.conf that cannot be read is told by OpenFolder.
    QString conninfo;
    try {
        conninfo = folder.isEmpty() ? QString() : ServerConninfoOf(folder);
    } catch (const EDatabaseError&) {
    }
    if (!conninfo.isEmpty() && !LogInToServer(conninfo))
        return 1;
    window.show();
    // The first reading comes before the event loop, outside any handler: the same boundary.
    RunHandler([&] {
        if (folder.isEmpty() || !window.OpenFolder(folder))
            window.ChooseFolder();
    });
    return application.exec();
}
