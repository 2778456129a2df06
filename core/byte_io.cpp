#include "core/byte_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

namespace orva {

FileSource::~FileSource() { Close(); }

namespace {

// A named pipe in place of a sound file must not hang the batch: opened without blocking, a
// pipe with nobody at the other end fails at once (writing) or reads as empty (reading).
// Reads and writes then block as usual.
int OpenWithoutBlocking(const std::string& path, int flags)
{
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace

IoBuffer::IoBuffer(size_t size, uint64_t fileOffset) : fileOffset_(fileOffset)
{
    constexpr size_t kPage = 4096;
    const size_t room = size + kPlacement;
    const size_t rounded = (room + kPage - 1) / kPage * kPage;
    if (room < size || rounded < room)
        throw std::bad_alloc();
    bytes_.reset(static_cast<uint8_t*>(std::aligned_alloc(kPage, rounded)));
    if (!bytes_)
        throw std::bad_alloc();
}

void IoBuffer::Free::operator()(uint8_t* bytes) const { std::free(bytes); }

bool FileSource::Open(const std::string& path)
{
    Close();
    fd_ = OpenWithoutBlocking(path, O_RDONLY);
    if (fd_ < 0)
        return false;
    // The core reads every file once from front to back.
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}

namespace {

bool SkipOn(int fd, uint64_t byteCount)
{
    return fd >= 0 && ::lseek(fd, static_cast<off_t>(byteCount), SEEK_CUR) >= 0;
}

long long ReadFrom(int fd, void* buffer, size_t byteCount)
{
    if (fd < 0)
        return -1;
    // Fill the request as far as the file allows, so that a short read means the end. A
    // failing read fails the whole request: a caller must never take it for the end.
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < byteCount) {
        const ssize_t n = ::read(fd, out + done, byteCount - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<long long>(done);
}

}  // namespace

bool FileSource::Skip(uint64_t byteCount) { return SkipOn(fd_, byteCount); }

long long FileSource::Read(void* buffer, size_t byteCount) { return ReadFrom(fd_, buffer, byteCount); }

DescriptorReader::DescriptorReader(int fd, uint64_t offset)
{
    if (fd >= 0 && ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) >= 0)
        fd_ = fd;
}

bool DescriptorReader::Skip(uint64_t byteCount) { return SkipOn(fd_, byteCount); }

long long DescriptorReader::Read(void* buffer, size_t byteCount) { return ReadFrom(fd_, buffer, byteCount); }

void FileSource::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool WriteAll(int fd, const void* buffer, size_t byteCount)
{
    const auto* in = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < byteCount) {
        const ssize_t n = ::write(fd, in + done, byteCount - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

long long ReadUntilEnd(ByteSource& source, void* buffer, size_t n, bool& sourceEnded)
{
    const long long got = sourceEnded ? 0 : source.Read(buffer, n);
    if (got < 0)
        return -1;
    if (static_cast<size_t>(got) < n)
        sourceEnded = true;
    return got;
}

bool IsSameFile(const std::string& a, const std::string& b)
{
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev
        && first.st_ino == second.st_ino;
}

bool IsSameEntry(const std::string& source, const std::string& output)
{
    struct stat first {};
    struct stat second {};
    return ::stat(source.c_str(), &first) == 0 && ::lstat(output.c_str(), &second) == 0
        && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace orva
