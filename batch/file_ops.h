#pragma once
// The file-system operations of the batch job, on UTF-8 paths with "/" separators.

#include "core/wave_source.h"

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

/// The size of the file at path in bytes, or -1.
int64_t FileSizeAt(const std::string& path);

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
