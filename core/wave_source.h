#pragma once
// One WAV file opened once for all the work on it: the descriptor, the identity of the file
// it reaches, the advisory lock that keeps other batches off it and the probe's findings.
// Every later read goes through that descriptor, so what is read is the file that was
// probed and measured, whatever happens to its name meanwhile. Plain POSIX.

#include "core/byte_io.h"
#include "core/result.h"
#include "core/wave_file.h"

#include <cstdint>
#include <string>

namespace orva {

/// What tells that a file is still the one that was opened: where it lives, its length and
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

class WaveSource {
public:
    enum class Locking {
        None,       ///< a file of our own (a conversion's working file)
        Exclusive,  ///< a source: flock without waiting, SourceBusy when another batch has it
    };

    WaveSource() = default;
    ~WaveSource();
    WaveSource(WaveSource&& other) noexcept;
    WaveSource& operator=(WaveSource&& other) noexcept;
    WaveSource(const WaveSource&) = delete;
    WaveSource& operator=(const WaveSource&) = delete;

    /// Opens path for reading (a named pipe does not block it) and takes the lock. Fails with
    /// SourceBusy, or CannotRead when it does not open.
    static Result<WaveSource> Open(const std::string& path, Locking locking);
    /// Opens and probes in one go.
    static Result<WaveSource> OpenProbed(const std::string& path, Locking locking);

    /// Reads the header once; CannotRead with the ProbeResult as detail when it is no WAV file
    /// (a file of an unsupported sample format probes: the steps that need one refuse it).
    Result<Done> Probe();

    /// The name the file was opened under, or was given since by its owner's rename.
    const std::string& Path() const { return path_; }
    /// The owner renamed the file: failures name it where it is now.
    void SetPath(const std::string& path) { path_ = path; }
    /// The probe's findings (valid after a successful Probe()).
    const WaveFileInfo& Info() const { return info_; }
    /// The identity of the open file when it was opened.
    const FileIdentity& Identity() const { return identity_; }
    bool IsOpen() const { return fd_ >= 0; }

    /// True while the open file is as it was opened (same length and modification time).
    bool Unchanged() const;
    /// True when name leads to the very file held open, and that file is unchanged: the check
    /// before the name is renamed or deleted.
    bool IsFileAt(const std::string& name) const;

    /// A reader from byte offset on. Readers share the descriptor's position: one at a time.
    DescriptorReader ReaderAt(uint64_t offset) const { return DescriptorReader(fd_, offset); }

    /// Closes the file and gives up its lock.
    void Close();

private:
    int fd_ = -1;
    std::string path_;
    FileIdentity identity_;
    WaveFileInfo info_ {};
};

}  // namespace orva
