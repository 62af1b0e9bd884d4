#pragma once

#include <QHash>
#include <QString>

#include <optional>

namespace varnel {

// The working folder's varnel.conf: sections in brackets, `key=value` lines, `#` and `;`
// comments, names in any case. Read by hand, not as QSettings reads an INI file: a value keeps
// its commas, quotes and backslashes as written.
inline constexpr char kFolderConfig[] = "varnel.conf";

class FolderConfig {
public:
    // The folder's file read once; a folder without one has no sections. A file that cannot
    // be read throws an EDatabaseError saying so.
    explicit FolderConfig(const QString& folder);

    // The value of `key` in `section`, trimmed; nothing when the file says nothing of it.
    std::optional<QString> Value(const QString& section, const QString& key) const;
    // Whether the file has the section at all.
    bool Has(const QString& section) const;
    // The file's path, as a message names it.
    QString Shown() const;

private:
    QString m_path;
    QHash<QString, QHash<QString, QString>> m_sections; // names in lower case
};

} // namespace varnel
