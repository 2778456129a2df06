#pragma once
// The file-system operations of the batch job, on UTF-8 paths with "/" separators.

#include <cstdint>
#include <string>
#include <utility>

namespace orva {

/// True when the path names an existing regular file (or a link to one); "" gives false.
bool RegularFileExists(const std::string& path);
/// True when something (file, folder, dangling link) exists under the name.
bool PathExists(const std::string& path);
/// Deletes a file; false when it could not be deleted.
bool DeleteFileAt(const std::string& path);
/// Renames a file without replacing an existing target; false on any failure.
bool RenameWithoutReplace(const std::string& from, const std::string& to);
/// Writes a file's data and its folder entry to stable storage (fsync of both).
bool FlushToStableStorage(const std::string& path);

/// What tells that a file is still the one that was scanned: where it lives, its length and
/// its modification time (nanoseconds since the epoch).
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = -1;
    int64_t modified = 0;
    bool operator==(const FileIdentity&) const = default;
};

/// The identity of the file at path (links followed); false when there is none.
bool ReadFileIdentity(const std::string& path, FileIdentity& identity);

/// The size of the file at path in bytes, or -1.
int64_t FileSizeAt(const std::string& path);

/// An advisory lock (flock) on one source file, held from the scan to the end of the entry's
/// steps, so that a second batch cannot work on the same file. Released when destroyed.
class SourceLock {
public:
    enum Result {
        Locked,      ///< held; identity filled in
        Busy,        ///< another batch holds it
        Unopenable,  ///< the file cannot be opened (the steps report that themselves)
    };
    SourceLock() = default;
    ~SourceLock();
    SourceLock(SourceLock&& other) noexcept;
    SourceLock& operator=(SourceLock&& other) noexcept;
    SourceLock(const SourceLock&) = delete;
    SourceLock& operator=(const SourceLock&) = delete;

    /// Takes the lock without waiting and reads the identity of the locked file.
    Result Lock(const std::string& path, FileIdentity& identity);
    void Release();

private:
    int fd_ = -1;
};

/// Removes a file when it goes out of scope, on every path unless it was kept (a
/// conversion's or an encoding's temporary file).
class ScopedFileRemoval {
public:
    ScopedFileRemoval() = default;
    explicit ScopedFileRemoval(std::string path) : path_(std::move(path)) {}
    ~ScopedFileRemoval();
    ScopedFileRemoval(const ScopedFileRemoval&) = delete;
    ScopedFileRemoval& operator=(const ScopedFileRemoval&) = delete;
    void Set(const std::string& path) { path_ = path; }
    const std::string& Path() const { return path_; }
    /// The file has been published under its final name: it stays.
    void Keep() { path_.clear(); }

private:
    std::string path_;
};

}  // namespace orva
