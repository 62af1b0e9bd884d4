#pragma once

#include <QString>

namespace varnel {

// Holds a working folder for this process alone, so that two programs never write the
// same tables. The lock lives on the folder itself (no lock file is left behind) and the
// system drops it when the process ends, however it ends.
class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // False when another process holds the folder; throws nothing.
    bool TryLock(const QString& folder);
    void Unlock();

private:
    int m_fd = -1;
};

} // namespace varnel
