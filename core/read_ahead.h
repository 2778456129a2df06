#pragma once
// Reading a file ahead of its consumer. A pass that reads a piece, works on it and writes it
// out leaves the second processor core idle, and the kernel's copy of each read costs about
// as much as the work. Here a reader thread reads the next piece (and may start the work on
// it while its bytes are fresh in its cache) while the caller finishes the current one. The
// pieces, their bytes and the read failures stay exactly those of reading in a loop.

#include "core/byte_io.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace orva {

class ByteSource;

/// Reads a source in consecutive pieces, one piece ahead of the caller. Used from one thread;
/// nobody else touches the source meanwhile.
class ReadAhead {
public:
    /// Size of the piece that starts `offset` bytes after the source's position at
    /// construction (at most the buffer size); 0 ends the pieces. Called on the reader thread.
    using PieceSizes = std::function<size_t(uint64_t offset)>;
    /// Work on a piece that was read in full, done before the caller gets it: on the reader
    /// thread, or in Next() when there is none. It must not throw, nor depend on what the
    /// caller has done so far.
    using WorkAhead = std::function<void(uint8_t* data, size_t size, uint64_t offset)>;

    struct Piece {
        uint8_t* data;  ///< room for `size` bytes, the caller's until the next Next() call
        size_t size;    ///< bytes asked for; 0 after the last piece
        long long got;  ///< as ReadUntilEnd counts: fewer only at the source's end, -1 on failure
    };

    /// Pieces of the sizes pieceSizes gives, each at most bufferSize bytes; totalBytes is
    /// their sum. Smaller totals are read in Next(): a thread and its buffer would cost more
    /// than they save.
    ReadAhead(ByteSource& source, size_t bufferSize, uint64_t totalBytes, PieceSizes pieceSizes,
              WorkAhead workAhead = {});
    /// Stops the reader (it finishes at most the read under way) and waits for it.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    /// The next piece. After a short read the source counts as ended: later pieces deliver
    /// nothing, without reading. After a failed read every later piece fails.
    Piece Next();

private:
    static constexpr uint64_t kBuffers = 2;  // one with the caller, one being read ahead

    size_t BufferStride() const;
    Piece ReadPiece(uint8_t* buffer);
    void ReadPieces();

    ByteSource& source_;
    const size_t bufferSize_;
    const PieceSizes pieceSizes_;
    const WorkAhead workAhead_;
    std::optional<IoBuffer> buffers_;
    // The reader's position; the caller's once the reader has finished.
    uint64_t offset_ = 0;
    bool sourceEnded_ = false;
    bool failed_ = false;
    uint8_t* lastBuffer_;  // the buffer of the piece last handed out

    // What the reader writes and the caller reads, and the other way round, sit on cache
    // lines of their own: a caller waiting on the processor must not slow the reader down.
    alignas(64) std::mutex mutex_;
    std::condition_variable changed_;
    alignas(64) Piece pieces_[kBuffers] {};  // piece p is in pieces_[p % kBuffers]
    std::atomic<uint64_t> readCount_ = 0;    // pieces read
    std::atomic<bool> readerDone_ = true;    // no (more) pieces come from the reader thread
    alignas(64) uint64_t handedCount_ = 0;   // pieces handed to the caller
    uint64_t freeBefore_ = 0;                // pieces the caller is done with
    bool stop_ = false;
    std::thread reader_;
};

}  // namespace orva
