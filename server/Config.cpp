#include "server/Config.h"

#include "base/Errors.h"
#include "store/FolderConfig.h"

namespace varnel {

QString ServerConninfoOf(const QString& folder) {
    const FolderConfig config(folder);
    if (!config.Has(QStringLiteral("server")))
        return {};
    const QString conninfo =
        config.Value(QStringLiteral("server"), QStringLiteral("conninfo")).value_or(QString());
    if (conninfo.isEmpty())
        throw EDatabaseError(QStringLiteral("В файле «%1» в разделе [server] нет строки "
                                            "conninfo=… с адресом сервера книг.")
                                 .arg(config.Shown()));
    return conninfo;
}

} // namespace varnel
