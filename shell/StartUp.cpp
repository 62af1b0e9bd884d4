#include "StartUp.h"

#include "Application.h"
#include "DataModule6.h"
#include "FolderLock.h"
#include "Report.h"
#include "Zastavka.h"

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

    application.CreateForm(Zastavka);
    application.CreateForm(DataModule6);
    return true;
}

} // namespace varnel
