#include "shell/StartUp.h"

#include "base/Report.h"
#include "shell/Zastavka.h"
#include "store/DataModule6.h"
#include "store/engine/FolderLock.h"
#include "toolkit/Application.h"
#include "views/AboutBox.h"
#include "views/Kalend.h"
#include "views/TableCompitition.h"
#include "views/TableMoney.h"
#include "views/TableStavka.h"
#include "workflows/PriemCompit.h"
#include "workflows/PriemResult.h"
#include "workflows/PriemStavka.h"

#include <QDir>

namespace varnel {

bool StartUp(TApplication& application) {
    application.Initialize();
    application.SetTitle(QStringLiteral("Varnel "));

    // One program per working folder: a second one would write the same tables. The lock
    // is held until the process ends.
    static FolderLock lock;
    if (!lock.TryLock(QDir::currentPath())) {
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
    application.CreateForm(DataModule6);
    application.CreateForm(TableCompitition);
    application.CreateForm(TableStavka);
    application.CreateForm(PriemResult);
    application.CreateForm(TableMoney);
    application.CreateForm(PriemCompit);
    return true;
}

} // namespace varnel
