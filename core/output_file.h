#pragma once
// Outputs that appear under their name only when complete. Every output (normalized WAV,
// converted WAV, MP3) is written to a temporary file in the folder of its final name and
// then renamed over that name: a killed or failed run never leaves a partial file under the
// output's name, and a hard or symbolic link standing there is replaced, never written
// through into the file it points at. Plain POSIX; usable from core/ and batch/ alike.

#include "core/byte_io.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

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

/// Removes the hidden temporaries (MakeTemporaryPath's names) in folder that a killed run
/// left: those whose process no longer runs and whose lock nobody holds. Returns how many
/// went.
int RemoveStaleTemporaries(const std::string& folder);

/// The files a batch must never replace with an output, while it lives on the thread that
/// made it and on the threads it is shared with (see Share): every file the batch reads,
/// every output it has published, and any existing file whose name starts with "_".
/// Files are told apart by device and inode, not by the spelling of their names: in a
/// case-insensitive folder "TAKE.wav" is "take.wav". Where a file system makes up inode
/// numbers per name (FUSE), a name spelled otherwise than any entry of its folder that
/// leads to a file of the same device, size and modification time counts as that file.
class ReplaceGuard {
public:
    /// Guards the outputs of this thread until destroyed; sources are read as given.
    explicit ReplaceGuard(const std::vector<std::string>& sources);
    ~ReplaceGuard();
    ReplaceGuard(const ReplaceGuard&) = delete;
    ReplaceGuard& operator=(const ReplaceGuard&) = delete;

    /// The guard of the calling thread, or null.
    static ReplaceGuard* Current();
    /// True when an output must not replace what stands under path now. `ownSource` (when
    /// not empty) is a source that is about to be set aside: its name is free then.
    bool Forbids(const std::string& path, const std::string& ownSource = {}) const;
    /// Records the file now standing under path as an output of the batch.
    void AddOutput(const std::string& path);
    /// Held across a check and the publishing it allows, so that two threads of one batch
    /// cannot both find a name free and both publish under it.
    std::unique_lock<std::recursive_mutex> Lock() const { return std::unique_lock(mutex_); }

    /// Makes a guard the calling thread's own for its lifetime (a batch's worker threads).
    class Share {
    public:
        explicit Share(ReplaceGuard* guard);
        ~Share();
        Share(const Share&) = delete;
        Share& operator=(const Share&) = delete;

    private:
        ReplaceGuard* previous_;
    };

    /// Device, inode, size and modification time (nanoseconds) of one file.
    struct Identity {
        uint64_t device = 0;
        uint64_t inode = 0;
        int64_t size = 0;
        int64_t modified = 0;
    };

private:
    mutable std::recursive_mutex mutex_;
    std::vector<Identity> files_;
    ReplaceGuard* previous_;
};

}  // namespace orva
