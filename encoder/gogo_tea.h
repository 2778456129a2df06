#pragma once
// TGogoTea: the MP3 encoder component. It holds the encoding options as properties, turns
// them into library configuration calls (QuerySettings), runs the library's frame loop on a
// worker thread of its own (TEncodeThread) and reports back as the Qt signals OnProgress,
// OnError and OnFinish, emitted on the thread that constructed it (the owner thread, which
// must run a Qt event loop or process events).
//
// Threads: the owner thread constructs and destroys the component and receives its signals;
// another thread (the batch worker) may set the properties and call Execute / QuerySettings
// and wait for the finish (WaitForFinish); the worker thread makes the frame calls.
// IsEncoding is set by Execute and cleared only when the owner thread has handled the finish
// or error message.

#include "encoder/byte_ring.h"
#include "gogo/gogo_api.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace orva {

enum class TEncodeMode : std::uint8_t { _FILE = 0, _MEMORY = 1 };
enum class TEncodeType : std::uint8_t { _MONO = 0, _STEREO = 1, _JOINT = 2, _MSSTEREO = 3, _DUALCHANNEL = 4 };
enum class TEmphasis : std::uint8_t { _NO_EMPH = 0, _5015MS_EMPH = 1, _CCITT_EMPH = 2 };
enum class TUseUnit : std::uint8_t {
    _USE_MMX = 0,
    _USE_3DNOW = 1,
    _USE_KNI = 2,
    _USE_EX_3DNOW = 3,
    _USE_SPC1 = 4,
    _USE_SPC2 = 5
};
enum class TEncodeFormat : std::uint8_t {
    _FORMAT_OF_MP3 = 0,
    _FORMAT_OF_RIFF_WAVE = 1,
    _FORMAT_OF_RIFF_RMP = 2
};
enum class TThreadPriority : std::uint8_t {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};

/// A set of TUseUnit in one byte, bit n standing for ordinal n.
class TSetOfUseUnit {
public:
    constexpr TSetOfUseUnit() = default;
    constexpr TSetOfUseUnit(std::initializer_list<TUseUnit> units)
    {
        for (TUseUnit unit : units)
            Include(unit);
    }
    constexpr bool Contains(TUseUnit unit) const { return (bits_ & Bit(unit)) != 0; }
    constexpr void Include(TUseUnit unit) { bits_ = static_cast<std::uint8_t>(bits_ | Bit(unit)); }
    constexpr void Exclude(TUseUnit unit) { bits_ = static_cast<std::uint8_t>(bits_ & ~Bit(unit)); }
    constexpr std::uint8_t Bits() const { return bits_; }
    constexpr bool operator==(const TSetOfUseUnit&) const = default;

private:
    static constexpr std::uint8_t Bit(TUseUnit unit)
    {
        return static_cast<std::uint8_t>(1u << static_cast<unsigned>(unit));
    }
    std::uint8_t bits_ = 0;
};

/// Enhanced low-pass filter band, each bound 0..100.
struct TExtFilter {
    std::int32_t Low = 55;
    std::int32_t High = 70;
    bool Enabled = false;
};

/// VBR bitrate range in kbps, each bound 0 or more.
struct TVBRBitrate {
    bool Enabled = false;
    std::int32_t Low = 40;
    std::int32_t High = 128;
};

/// Mid-side stereo switching, each field 0..100.
struct TMSSetting {
    bool Enabled = false;
    std::int32_t Threshold = 75;
    std::int32_t Power = 66;
};

/// A tag handed to the component: `length` bytes at `data`. The component copies the bytes.
struct TTagInfoPac {
    std::int32_t length = 0;
    const void* data = nullptr;
};

/// Why the component refused a call.
enum class GogoTeaRefusal {
    Busy,              ///< a setting or a query while an encoding is prepared or running
    OutOfRange,        ///< a value outside what the property takes
    NoFpu,             ///< the library's work area did not initialise
    BadConfiguration,  ///< the library refused the configuration (or its check threw)
};

/// A refused configuration or value: Reason() says which; what() is an English text for logs.
class EGogoTeaError : public std::runtime_error {
public:
    explicit EGogoTeaError(GogoTeaRefusal reason);
    GogoTeaRefusal Reason() const { return reason_; }

private:
    GogoTeaRefusal reason_;
};

/// An operation that needs the encoder library while it is not loaded.
class EGogoLibraryMissing : public std::runtime_error {
public:
    EGogoLibraryMissing() : std::runtime_error("libgogo.so is not loaded") {}
};

/// Messages the component posts to its worker thread.
enum GogoThreadMessage : int { GT_START = 1280, GT_ABORT = 1281, GT_QUIT = 1282 };
/// Messages the worker posts to the owner thread, handled there in the order posted.
enum GogoOwnerMessage : int { GT_STREAM_END = 1536, GT_ERROR = 1537, GT_FINISH = 1538, GT_PROGRESS = 1539 };

class TEncodeThread;

class TGogoTea : public QObject {
    Q_OBJECT

public:
    /// Constructs on the calling (owner) thread: loads the library (going on without it),
    /// starts the worker and makes this instance the one that serves memory input.
    explicit TGogoTea(QObject* owner = nullptr);
    /// Stops and joins the worker (closing a running encoding) and releases the library.
    ~TGogoTea() override;

    TGogoTea(const TGogoTea&) = delete;
    TGogoTea& operator=(const TGogoTea&) = delete;

    // Properties (read). UnitStates, VersionString and VersionCode ask the library and throw
    // EGogoLibraryMissing when it is not loaded.
    TThreadPriority Priority() const { return priority_.load(); }
    std::uint32_t UnitStates() const;
    std::string VersionString() const;
    std::uint32_t VersionCode() const;
    /// The key store path the library was loaded from (copied at construction).
    const std::string& DLLPath() const { return dllPath_; }
    int AllFrames() const { return allFrames_; }
    int Frequency() const { return frequency_; }
    const std::string& SourceFile() const { return sourceFile_; }
    const std::string& DestinationFile() const { return destinationFile_; }
    bool IsEncoding() const { return isEncoding_.load(); }
    int Processors() const { return processors_; }
    TEmphasis Emphasis() const { return emphasis_; }
    bool UsePsyAnalize() const { return usePsy_; }
    bool UseLPF() const { return useLpf_; }
    bool UseVBR() const { return useVbr_; }
    int VBRLevel() const { return vbrLevel_; }
    TSetOfUseUnit Optimization() const { return optimization_; }
    TEncodeFormat EncodeFormat() const { return encodeFormat_; }
    TEncodeMode EncodeMode() const { return encodeMode_; }
    TEncodeType EncodeType() const { return encodeType_; }
    int EncodeResult() const { return encodeResult_.load(); }
    bool ForceSameRate() const { return forceSameRate_; }
    int BitRate() const { return bitRate_; }
    TExtFilter ExtFilter() const { return extFilter_; }
    TVBRBitrate VBRBitrate() const { return vbrBitrate_; }
    TMSSetting MSSetting() const { return msSetting_; }

    // Setters. All but SetPriority throw EGogoTeaError (Busy) while IsEncoding, then
    // EGogoTeaError (OutOfRange) for a value out of range; the old value stays.
    /// Stores the priority and applies it to a running encoding at once; never throws.
    void SetPriority(TThreadPriority value);
    void SetFrequency(int value);  ///< above 0
    void SetSourceFile(const std::string& value);
    void SetDestFile(const std::string& value);
    void SetProcessors(int value);
    void SetEmphasis(TEmphasis value);
    void SetUsePsy(bool value);
    void SetUseLPF16(bool value);
    void SetUseVBR(bool value);
    void SetVBRLevel(int value);  ///< 0..9
    void SetSetOfUseUnit(TSetOfUseUnit value);
    void SetEncodeFormat(TEncodeFormat value);
    void SetEncodeMode(TEncodeMode value);
    void SetEncodeType(TEncodeType value);
    void SetSameRate(bool value);
    void SetBitrate(int value);
    void SetExtFilter(const TExtFilter& value);    ///< Low and High each 0..100
    void SetVBRBitrate(const TVBRBitrate& value);  ///< Low and High each 0 or more
    void SetMSSetting(const TMSSetting& value);    ///< Threshold and Power each 0..100

    /// Empties the ring buffer, drops held tags and sets every property to its initial value.
    void Initialize();
    /// Configures the library from the properties and prepares an encoding; throws
    /// EGogoTeaError (or EGogoLibraryMissing). Called by Execute in _FILE mode.
    void QuerySettings();
    /// Starts the prepared encoding on the worker and returns at once (calls QuerySettings
    /// first in _FILE mode; its exception passes to the caller).
    void Execute();
    /// Asks the worker to stop the running encoding; does nothing when none runs.
    void AbortEncode();
    /// Blocks the calling thread, which must not be the owner thread (that thread delivers
    /// the finish), until the encoding of the last Execute has finished and the owner thread
    /// has handled that, or until `limit` has passed. True when no encoding is pending.
    bool WaitForFinish(std::chrono::milliseconds limit);
    /// True when the last finished encoding ended complete (OnFinish with IsAborted false).
    bool LastEncodingComplete() const;

    // Memory-input ring buffer of 1 MiB (any thread). Outside _MEMORY mode these do nothing
    // and report success (WriteBuffer/ReadBuffer true, ReadBufferEx 0).
    /// Copies all `length` bytes in if they fit (length < free); null `data` ends the input.
    bool WriteBuffer(const void* data, int length);
    /// Copies exactly `length` bytes out if that many are available.
    bool ReadBuffer(void* data, int length);
    /// Copies up to `length` bytes out, zero-fills the rest, returns the bytes copied.
    int ReadBufferEx(void* data, int length);

    /// Adds a copy of a RIFF information tag; throws OutOfRange for an empty tag.
    void AddRmpTagInfo(const TTagInfoPac& tag);
    /// Replaces the held ID3 tag with a copy; throws OutOfRange for an empty tag.
    void SetID3TagInfo(const TTagInfoPac& tag);
    /// Frees every held tag copy.
    void DisposeTags();

    // Library pass-throughs; each calls one entry point and returns its result.
    int EncodeFrames();
    int CloseEncoder();
    int EndEncoder();
    int GetConfigure(int item, void* cell);
    int SetConfigure(int item, int value, void* pointer);
    int DetectConfigure();

Q_SIGNALS:
    /// Every Frequency frames, first (0, all) and last (all, all); owner thread.
    void OnProgress(orva::TGogoTea* Sender, int nowFrames, int AllFrames);
    /// The library reported ErrorCode while encoding; OnFinish(true) follows.
    void OnError(orva::TGogoTea* Sender, int ErrorCode);
    /// The encoding has ended; IsAborted is false only when the output is complete.
    void OnFinish(orva::TGogoTea* Sender, bool IsAborted);

private:
    friend class TEncodeThread;
    friend std::int32_t GogoTeaMemoryRead(void* buffer, std::uint32_t byteCount);

    /// Delivers a worker message on the owner thread (the hidden window's procedure).
    void WndProc(int message, std::intptr_t wParam, std::intptr_t lParam);
    /// Posts a message to the owner thread, queued behind those posted before.
    void PostToOwner(int message, std::intptr_t wParam, std::intptr_t lParam);
    void ThrowIfEncoding() const;

    std::atomic<TThreadPriority> priority_ { TThreadPriority::tpIdle };
    std::string dllPath_;
    int allFrames_ = 0;
    int frequency_ = 100;
    std::string sourceFile_;
    std::string destinationFile_;
    std::atomic<bool> isEncoding_ { false };
    std::atomic<bool> prepared_ { false };
    // An Execute whose finish the owner thread has not handled yet; under finishLock_.
    mutable std::mutex finishLock_;
    std::condition_variable finished_;
    bool finishPending_ = false;
    bool lastComplete_ = false;
    int processors_ = 1;
    TEmphasis emphasis_ = TEmphasis::_NO_EMPH;
    bool usePsy_ = false;
    bool useLpf_ = false;
    bool useVbr_ = false;
    int vbrLevel_ = 5;
    TSetOfUseUnit optimization_ { TUseUnit::_USE_MMX, TUseUnit::_USE_3DNOW, TUseUnit::_USE_KNI,
                                  TUseUnit::_USE_EX_3DNOW };
    TEncodeFormat encodeFormat_ = TEncodeFormat::_FORMAT_OF_MP3;
    TEncodeMode encodeMode_ = TEncodeMode::_FILE;
    TEncodeType encodeType_ = TEncodeType::_JOINT;
    std::atomic<int> encodeResult_ { 0 };
    bool forceSameRate_ = false;
    int bitRate_ = 128;
    TExtFilter extFilter_;
    TVBRBitrate vbrBitrate_;
    TMSSetting msSetting_;

    // Memory input: the ring and the end flag, under ringLock_; ringChanged_ is signalled
    // when bytes come, the input ends or the component goes.
    std::mutex ringLock_;
    std::condition_variable ringChanged_;
    ByteRing ring_ { 0x100000 };
    bool inputEnded_ = false;
    std::atomic<bool> active_ { false };
    GogoMemoryInput memoryInput_ {};

    // Held tag copies, owned here until QuerySettings has handed them to the library.
    std::vector<std::vector<std::uint8_t>> rmpTags_;
    std::vector<std::uint8_t> id3Tag_;

    /// The component's own encoder in the library; null when the library has none to give
    /// (it then encodes on its process-wide one). Made at construction, freed at destruction.
    GogoEncoder* encoder_ = nullptr;
    std::unique_ptr<TEncodeThread> worker_;
};

}  // namespace orva
