#include "store/engine/FolderLock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace varnel {

FolderLock::~FolderLock() {
    Unlock();
}

bool FolderLock::TryLock(const QString& folder) {
    Unlock();
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void FolderLock::Unlock() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace varnel
