#include "batch/file_ops.h"

#include "core/output_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

namespace orva {
namespace {

bool FsyncPath(const std::string& path, int flags)
{
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    return (::close(fd) == 0) && synced;
}

}  // namespace

bool RegularFileExists(const std::string& path)
{
    struct stat status {};
    return !path.empty() && ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool PathExists(const std::string& path)
{
    struct stat status {};
    return !path.empty() && ::lstat(path.c_str(), &status) == 0;
}

bool DeleteFileAt(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool RenameWithoutReplace(const std::string& from, const std::string& to)
{
    // A hard link fails when the target exists, so nothing is ever replaced; the source
    // name is then removed. Where links are not supported, fall back to a checked rename.
    if (::link(from.c_str(), to.c_str()) == 0) {
        if (::unlink(from.c_str()) == 0)
            return true;
        ::unlink(to.c_str());
        return false;
    }
    if (errno == EEXIST || PathExists(to))
        return false;
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool FlushToStableStorage(const std::string& path)
{
    return FsyncPath(path, O_RDONLY) && FsyncPath(FolderOf(path), O_RDONLY | O_DIRECTORY);
}

namespace {

FileIdentity IdentityOf(const struct stat& status)
{
    FileIdentity identity;
    identity.device = static_cast<uint64_t>(status.st_dev);
    identity.inode = static_cast<uint64_t>(status.st_ino);
    identity.size = static_cast<int64_t>(status.st_size);
    identity.modified = static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return identity;
}

}  // namespace

bool ReadFileIdentity(const std::string& path, FileIdentity& identity)
{
    struct stat status {};
    if (path.empty() || ::stat(path.c_str(), &status) != 0)
        return false;
    identity = IdentityOf(status);
    return true;
}

int64_t FileSizeAt(const std::string& path)
{
    struct stat status {};
    if (path.empty() || ::stat(path.c_str(), &status) != 0)
        return -1;
    return static_cast<int64_t>(status.st_size);
}

SourceLock::~SourceLock() { Release(); }

SourceLock::SourceLock(SourceLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

SourceLock& SourceLock::operator=(SourceLock&& other) noexcept
{
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

namespace {

// Lifts the soft limit of open descriptors to the hard one; false when it was there already.
bool RaiseOpenFileLimit()
{
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max)
        return false;
    limit.rlim_cur = limit.rlim_max;
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

}  // namespace

SourceLock::Result SourceLock::Lock(const std::string& path, FileIdentity& identity)
{
    Release();
    // Not blocking on a named pipe; the lock follows the file through a rename.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    // The common-peak mode holds every source's lock at once: a long list can outgrow the
    // default soft limit of open descriptors, which the hard limit usually leaves room for.
    if (fd < 0 && errno == EMFILE && RaiseOpenFileLimit())
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        if (fd >= 0)
            ::close(fd);
        return Unopenable;
    }
    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        return Busy;
    }
    // A file system without locks cannot stop a second batch; the identity checks still do
    // their part.
    fd_ = fd;
    identity = IdentityOf(status);
    return Locked;
}

void SourceLock::Release()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

ScopedFileRemoval::~ScopedFileRemoval()
{
    if (!path_.empty())
        ::unlink(path_.c_str());
}

}  // namespace orva
