#pragma once
// Byte sources and sinks through which the audio core reads and writes. The core uses the
// file-backed ones; tests and the fuzzer feed it from memory.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

/// Reads from a byte range owned by the caller; optionally fails at a given offset.
class MemorySource final : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t length) : data_(data), length_(length) {}
    explicit MemorySource(const std::vector<uint8_t>& bytes) : MemorySource(bytes.data(), bytes.size()) {}
    long long Read(void* buffer, size_t byteCount) override;
    /// Every read that would deliver the byte at this offset or a later one fails (for tests
    /// of read errors); reads that end before it succeed.
    void FailFrom(size_t offset) { failFrom_ = offset; }

private:
    const uint8_t* data_;
    size_t length_;
    size_t position_ = 0;
    size_t failFrom_ = SIZE_MAX;
};

/// Collects the output in memory; can be told to fail once a size limit is exceeded
/// (a full disk) or to fail on close (an error that shows only when flushed).
class MemorySink final : public ByteSink {
public:
    bool Write(const void* buffer, size_t byteCount) override;
    bool Seek(uint64_t offset) override;
    bool Close() override { return !failOnClose_; }

    std::vector<uint8_t>& Bytes() { return bytes_; }
    void LimitTo(size_t byteCount) { limit_ = byteCount; }
    void FailOnClose() { failOnClose_ = true; }
    /// Counts bytes without keeping them (for huge outputs in fuzzing).
    void DiscardBytes() { discard_ = true; }
    uint64_t WrittenCount() const { return written_; }

private:
    std::vector<uint8_t> bytes_;
    size_t position_ = 0;
    size_t limit_ = SIZE_MAX;
    uint64_t written_ = 0;
    bool failOnClose_ = false;
    bool discard_ = false;
};

}  // namespace orva
