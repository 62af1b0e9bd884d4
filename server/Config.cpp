#include "server/Config.h"

#include "base/Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace varnel {

QString ServerConninfoOf(const QString& folder) {
    const QString path = QDir(folder).filePath(QLatin1String(kFolderConfig));
    if (!QFileInfo::exists(path))
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EDatabaseError(QStringLiteral("Файл «%1» не читается: %2.")
                                 .arg(QDir::toNativeSeparators(path), file.errorString()));
    // Read by hand, not as QSettings reads an INI file: a connection string keeps its commas,
    // quotes and backslashes as libpq means them.
    QString section;
    bool inServer = false;
    bool named = false;
    QString conninfo;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2).trimmed();
            inServer = section.compare(QLatin1String("server"), Qt::CaseInsensitive) == 0;
            named = named || inServer;
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (inServer && eq > 0 &&
            line.left(eq).trimmed().compare(QLatin1String("conninfo"), Qt::CaseInsensitive) == 0)
            conninfo = line.mid(eq + 1).trimmed();
    }
    if (named && conninfo.isEmpty())
        throw EDatabaseError(QStringLiteral("В файле «%1» в разделе [server] нет строки "
                                            "conninfo=… с адресом сервера книг.")
                                 .arg(QDir::toNativeSeparators(path)));
    return conninfo;
}

} // namespace varnel
