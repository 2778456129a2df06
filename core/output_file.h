#pragma once
// Outputs that appear under their name only when complete. Every output (normalized WAV,
// converted WAV, MP3) is written to a temporary file in the folder of its final name and
// then renamed over that name: a killed or failed run never leaves a partial file under the
// output's name, and a hard or symbolic link standing there is replaced, never written
// through into the file it points at. Plain POSIX; usable from core/ and batch/ alike.

#include "core/byte_io.h"

#include <cstdint>
#include <string>

namespace orva {

/// The folder part of a path ("." for a bare name, "/" for a file at the root).
std::string FolderOf(const std::string& path);

/// An output written through a descriptor and published under its final name by Close().
/// Where the file system has O_TMPFILE the file has no name at all until it is published
/// (a kill leaves nothing behind); elsewhere it is a hidden, uniquely named file in the same
/// folder (see MakeTemporaryPath) that is removed when the output is abandoned.
///
/// An existing character device, block device or named pipe under the final name, or a link
/// to one (/dev/null, /dev/stdout, a pipe into another program) is no file to replace: it is
/// opened and written directly.
class OutputFile final : public ByteSink {
public:
    OutputFile() = default;
    /// Abandons an output that was not closed: nothing appears under the final name.
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    /// Prepares the output for path; false when the folder cannot hold a new file (or a
    /// device under the name cannot be opened). Nothing is visible under path yet.
    bool Open(const std::string& path);
    bool Write(const void* buffer, size_t byteCount) override;
    bool Seek(uint64_t offset) override;
    /// Publishes the output under its final name, replacing what stood there. False (and
    /// nothing published, the temporary removed) when any write failed or publishing did.
    bool Close() override;
    /// Abandons the output: the temporary goes, the final name is left as it was.
    void Discard();
    bool IsOpen() const { return fd_ >= 0; }
    /// Length of the output so far: the end of the furthest write (bytes).
    uint64_t WrittenBytes() const { return end_; }

private:
    bool Publish();

    int fd_ = -1;
    bool failed_ = false;
    bool direct_ = false;        // writing straight into a device or pipe under the name
    uint64_t position_ = 0;      // where the next write lands (bytes)
    uint64_t end_ = 0;           // end of the written bytes (bytes)
    std::string path_;           // the final name
    std::string temporaryPath_;  // the hidden temporary's name; empty for O_TMPFILE
};

/// A name for a temporary file in the folder of finalPath that no user file has: a hidden
/// name (".orva-" pid, counter and random digits, ".tmp") that is created empty and
/// exclusively here, so the caller owns it. For writers that need a path, such as an
/// encoder: write there, then PublishTemporaryFile(). Empty when the folder cannot hold it.
std::string MakeTemporaryPath(const std::string& finalPath);

/// Renames a complete temporary file over finalPath (a link at finalPath is replaced, not
/// followed). On failure the temporary is removed and false returned.
bool PublishTemporaryFile(const std::string& temporaryPath, const std::string& finalPath);

/// True when the name looks like one of MakeTemporaryPath's (for clean-up and for tests).
bool IsTemporaryName(const std::string& fileName);

}  // namespace orva
