#include "core/read_ahead.h"

#include "core/byte_io.h"

#include <chrono>
#include <system_error>

namespace orva {
namespace {

// Below this many bytes the reads run on the caller's thread: the thread and above all the
// fresh memory of a second buffer (page faults are dear on virtual machines) cost more than
// the overlap saves. Measured break-even: about 16 MiB of 16-bit normalization.
constexpr uint64_t kThreadFromBytes = 16 << 20;
// A sleeping caller takes longer to wake (on a virtual machine above all) than a piece takes
// to read: it waits for the reader on the processor for up to this long before it sleeps.
constexpr auto kSpinFor = std::chrono::microseconds(200);
// Each piece lies in its buffer as far from the buffer's start as it lies from a multiple
// of this in the source, as IoBuffer places its room (pieces may have any size).
constexpr size_t kCopyAlignment = IoBuffer::kPlacement;

void Pause()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

}  // namespace

ReadAhead::ReadAhead(ByteSource& source, size_t bufferSize, uint64_t totalBytes, PieceSizes pieceSizes,
                     WorkAhead workAhead)
    : source_(source), bufferSize_(bufferSize), pieceSizes_(std::move(pieceSizes)),
      workAhead_(std::move(workAhead))
{
    const bool threaded = totalBytes >= kThreadFromBytes && totalBytes > bufferSize;
    buffers_.emplace((threaded ? kBuffers : 1) * BufferStride());
    lastBuffer_ = buffers_->data();
    if (!threaded)
        return;
    readerDone_ = false;
    try {
        reader_ = std::thread(&ReadAhead::ReadPieces, this);
    } catch (const std::system_error&) {
        readerDone_ = true;  // no thread to be had: Next() reads
    }
}

ReadAhead::~ReadAhead()
{
    if (!reader_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    reader_.join();
}

size_t ReadAhead::BufferStride() const { return bufferSize_ + kCopyAlignment; }

ReadAhead::Piece ReadAhead::ReadPiece(uint8_t* buffer)
{
    buffer += offset_ % kCopyAlignment;
    const size_t size = pieceSizes_(offset_);
    long long got = -1;
    if (size == 0)
        got = 0;
    else if (!failed_)
        got = ReadUntilEnd(source_, buffer, size, sourceEnded_);
    failed_ = got < 0;
    if (size > 0 && got == static_cast<long long>(size) && workAhead_)
        workAhead_(buffer, size, offset_);
    offset_ += size;
    return Piece { buffer, size, got };
}

// The reader thread: fills the buffers the caller is done with, until the last piece, a
// short or failed read (the caller makes up the pieces after those), or the stop.
void ReadAhead::ReadPieces()
{
    for (uint64_t p = 0;; ++p) {
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stop_ || p < freeBefore_ + kBuffers; });
            if (stop_) {
                readerDone_ = true;
                return;
            }
        }
        const Piece piece = ReadPiece(buffers_->data() + p % kBuffers * BufferStride());
        const bool last = piece.size == 0 || piece.got < static_cast<long long>(piece.size);
        {
            std::lock_guard lock(mutex_);
            pieces_[p % kBuffers] = piece;
            readCount_ = p + 1;
            readerDone_ = last;
        }
        changed_.notify_all();
        if (last)
            return;
    }
}

ReadAhead::Piece ReadAhead::Next()
{
    if (reader_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            freeBefore_ = handedCount_;
        }
        changed_.notify_all();
        const auto ready = [&] { return readCount_ > handedCount_ || readerDone_; };
        const auto until = std::chrono::steady_clock::now() + kSpinFor;
        for (int i = 1; !ready() && (i % 64 != 0 || std::chrono::steady_clock::now() < until); ++i)
            Pause();
        std::unique_lock lock(mutex_);
        changed_.wait(lock, ready);
        if (readCount_ > handedCount_) {
            lastBuffer_ = buffers_->data() + handedCount_ % kBuffers * BufferStride();
            const Piece piece = pieces_[handedCount_++ % kBuffers];
            return piece;
        }
    }
    // Without a reader thread, or once it has finished: the pieces past the source's end
    // need no read and share one buffer.
    return ReadPiece(lastBuffer_);
}

}  // namespace orva
