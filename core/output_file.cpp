#include "core/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orva {
namespace {

thread_local ReplaceGuard* t_guard = nullptr;

ReplaceGuard::Identity IdentityOf(const struct stat& status)
{
    ReplaceGuard::Identity identity;
    identity.device = static_cast<uint64_t>(status.st_dev);
    identity.inode = static_cast<uint64_t>(status.st_ino);
    identity.size = static_cast<int64_t>(status.st_size);
    identity.modified = static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return identity;
}

std::string NameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// True when the folder lists an entry spelled exactly like the last part of path.
bool SpelledInFolder(const std::string& path)
{
    DIR* folder = ::opendir(FolderOf(path).c_str());
    if (folder == nullptr)
        return false;
    const std::string name = NameOf(path);
    bool found = false;
    while (const dirent* entry = ::readdir(folder)) {
        if (name == entry->d_name) {
            found = true;
            break;
        }
    }
    ::closedir(folder);
    return found;
}

// The guard's verdict on the name an output is about to take; sets errno when it refuses.
bool GuardForbids(const std::string& path)
{
    if (t_guard == nullptr || !t_guard->Forbids(path))
        return false;
    errno = EEXIST;
    return true;
}

constexpr const char* kTemporaryPrefix = ".orva-";
constexpr const char* kTemporarySuffix = ".tmp";

// A candidate hidden name in folder: pid, a process-wide counter and clock bits, so that
// two batches (or two threads) rarely pick the same one; creation with O_EXCL (or linkat,
// which never replaces) settles the rare collision by trying the next.
std::string CandidateName(const std::string& folder)
{
    static std::atomic<unsigned> counter { 0 };
    const auto ticks =
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    char name[96];
    std::snprintf(name, sizeof name, "%s%d-%u-%llx%s", kTemporaryPrefix, static_cast<int>(::getpid()),
                  counter.fetch_add(1), ticks & 0xFFFFFFFFFFull, kTemporarySuffix);
    return folder == "/" ? "/" + std::string(name) : folder + "/" + name;
}

constexpr int kNameAttempts = 100;

// Creates a hidden file exclusively; returns its descriptor (open for writing) and name.
int CreateHiddenFile(const std::string& finalPath, std::string& name)
{
    const std::string folder = FolderOf(finalPath);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        name = CandidateName(folder);
        int fd;
        do {
            fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

bool IsDeviceOrPipe(const struct stat& status)
{
    return S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode) || S_ISFIFO(status.st_mode);
}

// An anonymous file in the folder (O_TMPFILE); -1 where the file system or kernel lacks it,
// or where /proc is missing, without which it could not be given a name later.
int OpenAnonymousFile(const std::string& finalPath)
{
    if (::access("/proc/self/fd", X_OK) != 0)
        return -1;
    int fd;
    do {
        fd = ::open(FolderOf(finalPath).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Open(const std::string& path)
{
    Discard();
    path_ = path;
    failed_ = false;
    position_ = 0;
    end_ = 0;
    struct stat status {};
    const bool exists = ::lstat(path.c_str(), &status) == 0;
    // A folder under the name could never be replaced by the finished file.
    if (exists && S_ISDIR(status.st_mode)) {
        errno = EISDIR;
        return false;
    }
    // A device or pipe is written directly, also through a link (/dev/stdout): there is no
    // file to replace, and a link in /dev must never be replaced by one.
    struct stat target {};
    direct_ = exists
        && (IsDeviceOrPipe(status)
            || (S_ISLNK(status.st_mode) && ::stat(path.c_str(), &target) == 0 && IsDeviceOrPipe(target)));
    if (direct_) {
        // Devices and pipes: no page cache to keep tidy and nothing to cut to length.
        int fd;
        do {
            fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0)
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        fd_ = fd;
        return fd_ >= 0;
    }
    if (GuardForbids(path))
        return false;
    fd_ = OpenAnonymousFile(path);
    if (fd_ < 0)
        fd_ = CreateHiddenFile(path, temporaryPath_);
    if (fd_ < 0)
        temporaryPath_.clear();
    // Held until the output is published or dropped: a later batch sees the file in use.
    if (fd_ >= 0 && !temporaryPath_.empty())
        ::flock(fd_, LOCK_EX | LOCK_NB);
    return fd_ >= 0;
}

bool OutputFile::Write(const void* buffer, size_t byteCount)
{
    if (fd_ < 0 || failed_)
        return false;
    if (!WriteAll(fd_, buffer, byteCount)) {
        failed_ = true;
        return false;
    }
    position_ += byteCount;
    end_ = std::max(end_, position_);
    return true;
}

bool OutputFile::Seek(uint64_t offset)
{
    if (fd_ < 0 || failed_)
        return false;
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
        failed_ = true;
        return false;
    }
    position_ = offset;
    return true;
}

bool OutputFile::Publish()
{
    if (temporaryPath_.empty()) {
        // An anonymous file gets its name through its /proc entry (linkat with AT_EMPTY_PATH
        // would need a capability). linkat never replaces: a free name is taken at once; an
        // existing one is replaced through a hidden name, renamed over it only once the file
        // closed cleanly, so that a failing close leaves what stood there.
        char procPath[64];
        std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", fd_);
        std::unique_lock<std::recursive_mutex> guardLock;
        if (t_guard != nullptr)
            guardLock = t_guard->Lock();
        if (GuardForbids(path_)) {
            Discard();
            return false;
        }
        if (::linkat(AT_FDCWD, procPath, AT_FDCWD, path_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            const bool closed = ::close(fd_) == 0;
            fd_ = -1;
            // What reached the file is uncertain: it must not stand as a complete output.
            if (!closed)
                ::unlink(path_.c_str());
            else if (t_guard != nullptr)
                t_guard->AddOutput(path_);
            return closed;
        }
        if (errno == EEXIST) {
            const std::string folder = FolderOf(path_);
            for (int attempt = 0; attempt < kNameAttempts && temporaryPath_.empty(); ++attempt) {
                const std::string hidden = CandidateName(folder);
                if (::linkat(AT_FDCWD, procPath, AT_FDCWD, hidden.c_str(), AT_SYMLINK_FOLLOW) == 0)
                    temporaryPath_ = hidden;
                else if (errno != EEXIST)
                    break;
            }
        }
        if (temporaryPath_.empty()) {
            Discard();
            return false;
        }
    }
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!closed)
        ::unlink(temporaryPath_.c_str());
    const bool published = closed && PublishTemporaryFile(temporaryPath_, path_);
    temporaryPath_.clear();
    return published;
}

bool OutputFile::Close()
{
    if (fd_ < 0)
        return false;
    if (direct_) {
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        return closed && !failed_;
    }
    if (failed_) {
        Discard();
        return false;
    }
    return Publish();
}

void OutputFile::Discard()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temporaryPath_.empty())
        ::unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
}

std::string MakeTemporaryPath(const std::string& finalPath)
{
    std::string name;
    const int fd = CreateHiddenFile(finalPath, name);
    if (fd < 0)
        return {};
    ::close(fd);
    return name;
}

bool PublishTemporaryFile(const std::string& temporaryPath, const std::string& finalPath)
{
    // rename() replaces the directory entry itself: a link standing at finalPath is
    // dropped, and the file it pointed at stays as it was.
    std::unique_lock<std::recursive_mutex> guardLock;
    if (t_guard != nullptr)
        guardLock = t_guard->Lock();
    if (!GuardForbids(finalPath) && std::rename(temporaryPath.c_str(), finalPath.c_str()) == 0) {
        if (t_guard != nullptr)
            t_guard->AddOutput(finalPath);
        return true;
    }
    ::unlink(temporaryPath.c_str());
    return false;
}

bool IsTemporaryName(const std::string& fileName)
{
    const auto slash = fileName.rfind('/');
    const std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    const size_t prefix = std::strlen(kTemporaryPrefix);
    const size_t suffix = std::strlen(kTemporarySuffix);
    return name.size() > prefix + suffix && name.compare(0, prefix, kTemporaryPrefix) == 0
        && name.compare(name.size() - suffix, suffix, kTemporarySuffix) == 0;
}

int RemoveStaleTemporaries(const std::string& folder)
{
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr)
        return 0;
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    const size_t prefix = std::strlen(kTemporaryPrefix);
    int removed = 0;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (!IsTemporaryName(name))
            continue;
        // ".orva-" pid "-" ...: a process that still runs (or that we may not signal) keeps
        // its files, whatever they look like.
        char* end = nullptr;
        const long pid = std::strtol(name.c_str() + prefix, &end, 10);
        if (end == name.c_str() + prefix || *end != '-' || pid <= 0 || pid == ::getpid())
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue;
        // A process of another machine or namespace sharing the folder shows by its lock.
        const std::string path = base + name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat status {};
        if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0
            && ::unlink(path.c_str()) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(listing);
    return removed;
}

ReplaceGuard::ReplaceGuard(const std::vector<std::string>& sources) : previous_(t_guard)
{
    for (const std::string& source : sources) {
        struct stat status {};
        if (::stat(source.c_str(), &status) == 0)
            files_.push_back(IdentityOf(status));
    }
    t_guard = this;
}

ReplaceGuard::~ReplaceGuard() { t_guard = previous_; }

ReplaceGuard::Share::Share(ReplaceGuard* guard) : previous_(t_guard) { t_guard = guard; }

ReplaceGuard::Share::~Share() { t_guard = previous_; }

ReplaceGuard* ReplaceGuard::Current() { return t_guard; }

bool ReplaceGuard::Forbids(const std::string& path, const std::string& ownSource) const
{
    // Hidden temporaries are created exclusively, so they are the caller's own; the inode of
    // one deleted earlier may have been handed on to the next.
    struct stat status {};
    if (IsTemporaryName(path) || ::lstat(path.c_str(), &status) != 0)
        return false;
    const auto lock = Lock();
    struct stat own {};
    if (!ownSource.empty() && ::stat(ownSource.c_str(), &own) == 0 && own.st_dev == status.st_dev
        && own.st_ino == status.st_ino)
        return false;
    // The original an earlier run set aside may be the only copy of its audio.
    if (NameOf(path).rfind('_', 0) == 0)
        return true;
    const Identity there = IdentityOf(status);
    bool alike = false;
    for (const Identity& file : files_) {
        if (file.device != there.device)
            continue;
        if (file.inode == there.inode)
            return true;
        alike = alike || (file.size == there.size && file.modified == there.modified);
    }
    return alike && !SpelledInFolder(path);
}

void ReplaceGuard::AddOutput(const std::string& path)
{
    struct stat status {};
    if (!IsTemporaryName(path) && ::lstat(path.c_str(), &status) == 0) {
        const auto lock = Lock();
        files_.push_back(IdentityOf(status));
    }
}

}  // namespace orva
