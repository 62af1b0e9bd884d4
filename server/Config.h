#pragma once

#include "store/FolderConfig.h"

#include <QString>

namespace varnel {

// The working folder's varnel.conf, when it names the books' server:
//     [server]
//     conninfo=host=… port=… dbname=… user=…
// The connection string as written (libpq's: its sslmode, certificates, ~/.pgpass and PG*
// variables apply); empty when the folder has no such file or section, and its books are its
// table files. A file that cannot be read, or a [server] section without a conninfo, throws an
// EDatabaseError saying so.
QString ServerConninfoOf(const QString& folder);

} // namespace varnel
