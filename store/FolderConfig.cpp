#include "store/FolderConfig.h"

#include "base/Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace varnel {

FolderConfig::FolderConfig(const QString& folder)
    : m_path(QDir(folder).filePath(QLatin1String(kFolderConfig))) {
    if (!QFileInfo::exists(m_path))
        return;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        throw EDatabaseError(
            QStringLiteral("Файл «%1» не читается: %2.").arg(Shown(), file.errorString()));
    QString section;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2).trimmed().toLower();
            m_sections[section];
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            m_sections[section][line.left(eq).trimmed().toLower()] = line.mid(eq + 1).trimmed();
    }
}

std::optional<QString> FolderConfig::Value(const QString& section, const QString& key) const {
    const auto found = m_sections.constFind(section.toLower());
    if (found == m_sections.cend() || !found->contains(key.toLower()))
        return std::nullopt;
    return found->value(key.toLower());
}

bool FolderConfig::Has(const QString& section) const {
    return m_sections.contains(section.toLower());
}

QString FolderConfig::Shown() const {
    return QDir::toNativeSeparators(m_path);
}

} // namespace varnel
