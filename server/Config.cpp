#include "server/Config.h"

#include "base/Errors.h"
#include "store/FolderConfig.h"

#include <QDir>

namespace varnel {

QString ServerConninfoOf(const QString& folder) {
    if (!FolderConfigHas(folder, QStringLiteral("server")))
        return {};
    const QString conninfo =
        FolderConfigValue(folder, QStringLiteral("server"), QStringLiteral("conninfo"))
            .value_or(QString());
    if (conninfo.isEmpty())
        throw EDatabaseError(QStringLiteral("В файле «%1» в разделе [server] нет строки "
                                            "conninfo=… с адресом сервера книг.")
                                 .arg(QDir::toNativeSeparators(
                                     QDir(folder).filePath(QLatin1String(kFolderConfig)))));
    return conninfo;
}

} // namespace varnel
