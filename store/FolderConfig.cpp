#include "store/FolderConfig.h"

#include "base/Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

namespace varnel {

namespace {

// Every section's keys and values, the names in lower case; a section named with no keys is
// there, empty.
QHash<QString, QHash<QString, QString>> readConfig(const QString& folder) {
    QHash<QString, QHash<QString, QString>> sections;
    const QString path = QDir(folder).filePath(QLatin1String(kFolderConfig));
    if (!QFileInfo::exists(path))
        return sections;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EDatabaseError(QStringLiteral("Файл «%1» не читается: %2.")
                                 .arg(QDir::toNativeSeparators(path), file.errorString()));
    QString section;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2).trimmed().toLower();
            sections[section];
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            sections[section][line.left(eq).trimmed().toLower()] = line.mid(eq + 1).trimmed();
    }
    return sections;
}

} // namespace

std::optional<QString> FolderConfigValue(const QString& folder, const QString& section,
                                         const QString& key) {
    const auto sections = readConfig(folder);
    const auto found = sections.constFind(section.toLower());
    if (found == sections.cend() || !found->contains(key.toLower()))
        return std::nullopt;
    return found->value(key.toLower());
}

bool FolderConfigHas(const QString& folder, const QString& section) {
    return readConfig(folder).contains(section.toLower());
}

} // namespace varnel
