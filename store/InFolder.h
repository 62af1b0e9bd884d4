#pragma once

#include "base/Errors.h"

#include <QDir>
#include <QString>

namespace varnel {

// The data module opens its tables by bare name from the working directory, as the counter
// does. This enters a folder for the lifetime of the object and goes back to where it was; a
// folder that cannot be entered is refused before any table is looked for in the wrong place.
class InFolder {
public:
    explicit InFolder(const QString& folder) : m_previous(QDir::currentPath()) {
        if (!QDir::setCurrent(folder))
            throw EDatabaseError(QStringLiteral("Не удаётся перейти в папку «%1».")
                                     .arg(QDir::toNativeSeparators(folder)));
    }
    ~InFolder() { QDir::setCurrent(m_previous); }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    QString m_previous;
};

} // namespace varnel
