#include "tools/newdesk/NewDesk.h"

#include "base/Errors.h"
#include "store/Tables.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace varnel {

QString ShippedImagesDir() {
    // An installed program finds the bitmaps where the package put them, relative to itself
    // so that any prefix works; run from the build tree (the tests too) it takes the source
    // tree's, which it was built from.
    if (QCoreApplication::instance()) {
        const QString installed = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                                  QStringLiteral("/" VARNEL_IMAGES_FROM_BIN));
        if (QDir(installed).exists())
            return installed;
    }
    return QStringLiteral(VARNEL_IMAGES_DIR);
}

Laid LayOutWorkingFolder(const QString& folder, const QString& imagesFrom) {
    if (!QDir().mkpath(folder))
        throw EDatabaseError(QStringLiteral("Не удалось создать папку «%1».").arg(folder));
    // A folder of books kept before the history was: the history is added, the books stay.
    Laid laid = Laid::Folder;
    const QDir dir(folder);
    if (QFileInfo::exists(dir.filePath(CompitTable().file)))
        laid = AddHistoryTable(folder) ? Laid::History : Laid::Nothing;
    else
        CreateEmptyTables(folder);

    const QDir target(folder);
    if (!target.mkpath(QStringLiteral("images")))
        throw EDatabaseError(QStringLiteral("Не удалось создать папку «%1».")
                                 .arg(target.filePath(QStringLiteral("images"))));
    const QDir source(imagesFrom);
    const QStringList bitmaps =
        source.entryList({QStringLiteral("*.bmp")}, QDir::Files, QDir::Name);
    for (const QString& name : bitmaps) {
        const QString to = target.filePath(QStringLiteral("images/") + name);
        if (QFile::exists(to))
            continue;
        if (!QFile::copy(source.filePath(name), to))
            throw EDatabaseError(QStringLiteral("Не удалось скопировать рисунок «%1» в «%2».")
                                     .arg(source.filePath(name), to));
    }
    return laid;
}

} // namespace varnel
