#include "batch/file_ops.h"

#include "core/output_file.h"

#include <fcntl.h>
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

int64_t FileSizeAt(const std::string& path)
{
    struct stat status {};
    if (path.empty() || ::stat(path.c_str(), &status) != 0)
        return -1;
    return static_cast<int64_t>(status.st_size);
}

ScopedFileRemoval::~ScopedFileRemoval()
{
    if (!path_.empty())
        ::unlink(path_.c_str());
}

}  // namespace orva
