#include "core/wave_source.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace orva {
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

// Lifts the soft limit of open descriptors to the hard one; false when it was there already.
bool RaiseOpenFileLimit()
{
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max)
        return false;
    limit.rlim_cur = limit.rlim_max;
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

int OpenForReading(const std::string& path)
{
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
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

WaveSource::~WaveSource() { Close(); }

WaveSource::WaveSource(WaveSource&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)), identity_(other.identity_),
      info_(other.info_)
{
}

WaveSource& WaveSource::operator=(WaveSource&& other) noexcept
{
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        identity_ = other.identity_;
        info_ = other.info_;
    }
    return *this;
}

Result<WaveSource> WaveSource::Open(const std::string& path, Locking locking)
{
    // The common-peak mode holds every source open at once: a long list can outgrow the
    // default soft limit of open descriptors, which the hard limit usually leaves room for.
    int fd = OpenForReading(path);
    if (fd < 0 && errno == EMFILE && RaiseOpenFileLimit())
        fd = OpenForReading(path);
    struct stat status {};
    // A named pipe is no file that can be read twice; it is refused before any read blocks.
    if (fd < 0 || ::fstat(fd, &status) != 0 || S_ISFIFO(status.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        return Failure { Problem::CannotRead, path, kProbeCannotOpen };
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (locking == Locking::Exclusive) {
        int locked;
        do {
            locked = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (locked != 0 && errno == EINTR);
        // A file system without locks cannot stop a second batch; the identity checks still
        // do their part.
        if (locked != 0 && errno == EWOULDBLOCK) {
            ::close(fd);
            return Failure { Problem::SourceBusy, path };
        }
    }
    // Every step reads the file from front to back.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    WaveSource source;
    source.fd_ = fd;
    source.path_ = path;
    source.identity_ = IdentityOf(status);
    return source;
}

Result<WaveSource> WaveSource::OpenProbed(const std::string& path, Locking locking)
{
    Result<WaveSource> source = Open(path, locking);
    if (!source)
        return source;
    if (Result<Done> probed = source->Probe(); !probed)
        return probed.Error();
    return source;
}

Result<Done> WaveSource::Probe()
{
    struct stat status {};
    if (fd_ < 0 || ::fstat(fd_, &status) != 0)
        return Failure { Problem::CannotRead, path_, kProbeCannotOpen };
    // A folder opens and has a length but fails to read, as it always did.
    const uint64_t length = S_ISREG(status.st_mode) ? static_cast<uint64_t>(status.st_size) : 64 * 1024;
    DescriptorReader reader = ReaderAt(0);
    const int64_t probed =
        reader.IsOpen() ? ProbeWaveSource(reader, length, info_) : int64_t { kProbeCannotRead };
    if (probed < 0)
        return Failure { Problem::CannotRead, path_, static_cast<int>(probed) };
    return Done {};
}

bool WaveSource::Unchanged() const
{
    struct stat status {};
    return fd_ >= 0 && ::fstat(fd_, &status) == 0 && IdentityOf(status) == identity_;
}

bool WaveSource::IsFileAt(const std::string& name) const
{
    FileIdentity named;
    return ReadFileIdentity(name, named) && named == identity_ && Unchanged();
}

void WaveSource::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

}  // namespace orva
