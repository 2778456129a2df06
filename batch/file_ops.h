#pragma once
// The file-system operations of the batch job, on UTF-8 paths with "/" separators.

#include <string>

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

}  // namespace orva
