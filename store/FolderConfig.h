#pragma once

#include <QString>

#include <optional>

namespace varnel {

// The working folder's varnel.conf: sections in brackets, `key=value` lines, `#` and `;`
// comments, names in any case. Read by hand, not as QSettings reads an INI file: a value keeps
// its commas, quotes and backslashes as written.
inline constexpr char kFolderConfig[] = "varnel.conf";

// The value of `key` in `section`, trimmed; nothing when the folder has no varnel.conf or the
// file says nothing of it. A file that cannot be read throws an EDatabaseError saying so.
std::optional<QString> FolderConfigValue(const QString& folder, const QString& section,
                                         const QString& key);
// Whether the file has the section at all.
bool FolderConfigHas(const QString& folder, const QString& section);

} // namespace varnel
