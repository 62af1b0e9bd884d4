#include "shell/StartUp.h"

#include "base/Errors.h"
#include "base/Report.h"
#include "controls/Login.h"
#include "server/Config.h"
#include "server/ServerHome.h"
#include "shell/Zastavka.h"
#include "store/DataModule6.h"
#include "store/engine/FolderLock.h"
#include "toolkit/Application.h"
#include "views/AboutBox.h"
#include "views/Kalend.h"
#include "views/TableCompitition.h"
#include "views/TableMoney.h"
#include "views/TableStavka.h"
#include "workflows/PayBySlip.h"
#include "workflows/PriemCompit.h"
#include "workflows/PriemResult.h"
#include "workflows/PriemStavka.h"

#include <QDir>
#include <QPointer>

namespace varnel {

bool StartUp(TApplication& application) {
    application.Initialize();
    application.SetTitle(QStringLiteral("Varnel "));

    // A folder whose varnel.conf names a server: the books are there, shared by every
    // counter; the server keeps them whole.
    QString conninfo;
    try {
        conninfo = ServerConninfoOf(QDir::currentPath());
    } catch (const EVarnelError& error) {
        ReportError(error.message());
        return false;
    }
    // An operator whose role needs a password that nothing gives logs in before anything is
    // built; cancelled, the program ends with nothing written.
    if (!conninfo.isEmpty() && !LogInToServer(conninfo))
        return false;
    // One program per working folder of table files: a second one would write the same
    // tables. The lock is held until the process ends.
    static FolderLock lock;
    if (conninfo.isEmpty() && !lock.TryLock(QDir::currentPath())) {
        ReportError(QStringLiteral("Программа уже запущена с таблицами этой папки (%1). Второй "
                                   "экземпляр закрывается, ничего не изменив.")
                        .arg(QDir::toNativeSeparators(QDir::currentPath())));
        return false;
    }

    // The bet dialog is made before the data module whose sources its boxes name; a form
    // binds its controls to the data module when it is first shown.
    application.CreateForm(Zastavka);
    application.CreateForm(AboutBox);
    application.CreateForm(Kalend);
    application.CreateForm(PriemStavka);
    if (conninfo.isEmpty())
        application.CreateForm(DataModule6);
    else
        application.CreateForm(DataModule6, [&] {
            return std::make_unique<TDataModule6>(nullptr, ServerHome(conninfo));
        });
    // Counters sharing the server's books look alike: the main screen names the login that
    // works at each, as the server stamps it on every record.
    if (!conninfo.isEmpty())
        Zastavka->ShowOperator(DataModule6->Home().Operator());
    SetStatusReporter([screen = QPointer<TZastavka>(Zastavka)](const QString& text) {
        if (screen)
            screen->ShowStatus(text);
    });
    application.CreateForm(TableCompitition);
    application.CreateForm(TableStavka);
    application.CreateForm(PriemResult);
    application.CreateForm(PayBySlip);
    application.CreateForm(TableMoney);
    application.CreateForm(PriemCompit);
    return true;
}

} // namespace varnel
