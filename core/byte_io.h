#pragma once
// Byte sources and sinks through which the audio core reads and writes: file-backed here;
// tests and the fuzzer feed the core from memory through the same interfaces.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace orva {

/// Sequential reader of a file's bytes.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    /// Reads up to byteCount bytes; returns the count delivered (fewer only at the end of
    /// the source, 0 there), or -1 when the read fails. A failure is never reported as an
    /// end: bytes a failed read may have delivered are not counted.
    virtual long long Read(void* buffer, size_t byteCount) = 0;
    /// True when Skip() moves forward without reading.
    virtual bool CanSkip() const { return false; }
    /// Skips byteCount bytes forward from the current position; false where it cannot.
    virtual bool Skip(uint64_t) { return false; }
};

/// Writer of an output file: sequential writes, plus one seek for patching a header.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    /// Writes all byteCount bytes or reports failure.
    virtual bool Write(const void* buffer, size_t byteCount) = 0;
    /// Moves the write position to an absolute byte offset.
    virtual bool Seek(uint64_t offset) = 0;
    /// Ends the output; false when anything written so far did not reach its storage.
    virtual bool Close() = 0;
};

/// Reads a file through a POSIX descriptor (no text conversion, read-only).
class FileSource final : public ByteSource {
public:
    FileSource() = default;
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    /// Opens the file; false when it cannot be opened for reading.
    bool Open(const std::string& path);
    bool CanSkip() const override { return true; }
    bool Skip(uint64_t byteCount) override;
    long long Read(void* buffer, size_t byteCount) override;
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

/// Reads through a descriptor someone else owns (a WaveSource's), from a byte offset on.
/// Readers of one descriptor share its file position: only one of them reads at a time.
class DescriptorReader final : public ByteSource {
public:
    /// Positions the descriptor at offset; IsOpen() is false when that failed.
    DescriptorReader(int fd, uint64_t offset);
    bool CanSkip() const override { return true; }
    bool Skip(uint64_t byteCount) override;
    long long Read(void* buffer, size_t byteCount) override;
    bool IsOpen() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

/// Room for reads and writes. Some processors copy a page-cache page at half the speed into
/// memory that lies a few bytes further into a page than the file offset it comes from, so
/// the room starts as far past a page boundary as the file offset it is read at lies past a
/// multiple of kPlacement; reads whose sizes are multiples of that stay placed so.
class IoBuffer {
public:
    static constexpr size_t kPlacement = 64;

    /// size bytes for reads from fileOffset on; throws std::bad_alloc when there is no room.
    explicit IoBuffer(size_t size, uint64_t fileOffset = 0);
    uint8_t* data() const { return bytes_.get() + fileOffset_ % kPlacement; }

private:
    struct Free {
        void operator()(uint8_t* bytes) const;
    };
    std::unique_ptr<uint8_t, Free> bytes_;
    uint64_t fileOffset_;
};

/// Reads up to n bytes and returns how many arrived, or -1 when the read failed. Once a read
/// comes up short the source counts as ended and later calls return 0 without reading.
long long ReadUntilEnd(ByteSource& source, void* buffer, size_t n, bool& sourceEnded);

/// Results of the copies over a source and a sink (normalization, conversion) besides 0.
enum CopyResult : int {
    kCopyWriteFailed = -1,  ///< the sink refused a write (or the input could not be used)
    kCopyReadFailed = -2,   ///< a read of the source failed (not its end)
};

/// True when both paths name one existing file (the same inode, through links or not).
/// Writers check it because they replace their output whole before reading their source.
bool IsSameFile(const std::string& a, const std::string& b);

/// True when the name `output` stands for the same file as `source` itself: the same inode
/// reached without following a symbolic link at `output` (the same name, or a hard link).
/// Writers refuse such an output: publishing it would replace the source.
bool IsSameEntry(const std::string& source, const std::string& output);

/// Writes all byteCount bytes to a descriptor, going on after interrupted or partial
/// writes; false when the descriptor takes no more (a full disk, an I/O error).
bool WriteAll(int fd, const void* buffer, size_t byteCount);

}  // namespace orva
