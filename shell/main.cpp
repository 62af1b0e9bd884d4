#include "Application.h"
#include "DataModule6.h"
#include "FolderLock.h"
#include "Zastavka.h"

#include <QDir>

using namespace varnel;

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    application.Initialize();
    application.SetTitle(QStringLiteral("Varnel "));

    // One program per working folder: a second one would write the same tables.
    FolderLock lock;
    if (!lock.TryLock(QDir::currentPath())) {
        TApplication::ShowError(
            QStringLiteral("Программа уже запущена с таблицами этой папки (%1). Второй экземпляр "
                           "закрывается, ничего не изменив.")
                .arg(QDir::toNativeSeparators(QDir::currentPath())));
        return 1;
    }

    application.CreateForm(Zastavka);
    application.CreateForm(DataModule6);
    application.Run();
    TApplication::Halt(0);
}
