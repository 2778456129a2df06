#include "encoder/gogo_tea.h"

#include "encoder/gogo_defs.h"

#include <QMetaObject>

#include <algorithm>
#include <cfenv>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <thread>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace orva {
namespace {

/// The instance whose ring buffer the library's memory-input read function drains.
std::atomic<TGogoTea*> memoryInputInstance { nullptr };

/// Masks every floating-point exception for the lifetime of the guard (the library's
/// arithmetic must not trap) and restores the caller's environment afterwards.
class FloatingPointGuard {
public:
    FloatingPointGuard() { std::feholdexcept(&saved_); }
    ~FloatingPointGuard() { std::fesetenv(&saved_); }
    FloatingPointGuard(const FloatingPointGuard&) = delete;
    FloatingPointGuard& operator=(const FloatingPointGuard&) = delete;

private:
    std::fenv_t saved_;
};

const GogoEntryPoints& LoadedFunctions()
{
    const GogoEntryPoints* functions = GogoFunctions();
    if (!functions)
        throw EGogoLibraryMissing();
    return *functions;
}

/// The per-encoding calls, made on the component's own encoder when the library has handles
/// (so that components encode at once on their own threads), else on the library's
/// process-wide one.
class EncoderCalls {
public:
    EncoderCalls(const GogoEntryPoints& functions, GogoEncoder* encoder) : f_(functions), encoder_(encoder) {}
    std::int32_t InitializeWork() const
    {
        return encoder_ ? f_.MPGE_initializeWork_r(encoder_) : f_.MPGE_initializeWork();
    }
    std::int32_t SetConfigure(std::int32_t item, std::int32_t value, void* pointer) const
    {
        return encoder_ ? f_.MPGE_setConfigure_r(encoder_, item, value, pointer)
                        : f_.MPGE_setConfigure(item, value, pointer);
    }
    std::int32_t GetConfigure(std::int32_t item, void* cell) const
    {
        return encoder_ ? f_.MPGE_getConfigure_r(encoder_, item, cell) : f_.MPGE_getConfigure(item, cell);
    }
    std::int32_t DetectConfigure() const
    {
        return encoder_ ? f_.MPGE_detectConfigure_r(encoder_) : f_.MPGE_detectConfigure();
    }
    std::int32_t ProcessFrame() const
    {
        return encoder_ ? f_.MPGE_processFrame_r(encoder_) : f_.MPGE_processFrame();
    }
    std::int32_t CloseCoder() const
    {
        return encoder_ ? f_.MPGE_closeCoder_r(encoder_) : f_.MPGE_closeCoder();
    }
    std::int32_t EndCoder() const { return encoder_ ? f_.MPGE_endCoder_r(encoder_) : f_.MPGE_endCoder(); }

private:
    const GogoEntryPoints& f_;
    GogoEncoder* encoder_;
};

/// Calls a library entry point with exceptions masked; anything thrown counts as result 10.
template <typename Call> int GuardedCall(Call call)
{
    FloatingPointGuard guard;
    try {
        return call();
    } catch (...) {
        return GOGO_ERR_EXCEPTION;
    }
}

/// Nice offset from the process's own nice value standing for a thread priority (Linux
/// applies nice per thread).
int NiceOffsetFor(TThreadPriority priority)
{
    switch (priority) {
    case TThreadPriority::tpIdle:
        return 19;
    case TThreadPriority::tpLowest:
        return 15;
    case TThreadPriority::tpLower:
        return 10;
    case TThreadPriority::tpNormal:
        return 0;
    case TThreadPriority::tpHigher:
        return -5;
    case TThreadPriority::tpHighest:
        return -10;
    case TThreadPriority::tpTimeCritical:
        return -15;
    }
    return 0;
}

const char* RefusalText(GogoTeaRefusal reason)
{
    switch (reason) {
    case GogoTeaRefusal::Busy:
        return "settings cannot change while encoding";
    case GogoTeaRefusal::OutOfRange:
        return "value out of range";
    case GogoTeaRefusal::NoFpu:
        return "encoder work area did not initialise (no FPU)";
    case GogoTeaRefusal::BadConfiguration:
        return "encoder refused the configuration";
    }
    return "refused";
}

}  // namespace

EGogoTeaError::EGogoTeaError(GogoTeaRefusal reason) : std::runtime_error(RefusalText(reason)), reason_(reason)
{
}

// ---------------------------------------------------------------------------------------
// TEncodeThread: runs the frame loop. It takes thread messages from its own queue and
// talks to the owner only through TGogoTea::PostToOwner.

class TEncodeThread {
public:
    explicit TEncodeThread(TGogoTea& owner) : owner_(owner) {}
    ~TEncodeThread() { Join(); }

    void Resume()
    {
        thread_ = std::thread([this] { Execute(); });
    }

    void Post(int message, std::intptr_t wParam = 0, std::intptr_t lParam = 0)
    {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(Message { message, wParam, lParam });
        }
        wake_.notify_one();
    }

    void Terminate()
    {
        {
            std::lock_guard lock(mutex_);
            terminated_ = true;
        }
        wake_.notify_one();
    }

    void Join()
    {
        if (thread_.joinable())
            thread_.join();
    }

    /// Applies a priority to the thread's scheduling (any thread). A request the system
    /// refuses (raising priority needs privileges) is ignored.
    void ApplyPriority(TThreadPriority priority)
    {
        const pid_t tid = tid_.load();
        if (tid == 0)
            return;
        const int nice = std::clamp(baseNice_.load() + NiceOffsetFor(priority), -20, 19);
        if (appliedNice_.exchange(nice) == nice)
            return;
        setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
    }

private:
    struct Message {
        int message;
        std::intptr_t wParam;
        std::intptr_t lParam;
    };

    void Execute();
    void CloseEncoder();

    TGogoTea& owner_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Message> queue_;
    bool terminated_ = false;
    std::thread thread_;
    std::atomic<pid_t> tid_ { 0 };
    std::atomic<int> baseNice_ { 0 };
    std::atomic<int> appliedNice_ { INT_MIN };
    std::fenv_t defaultEnvironment_ {};
};

void TEncodeThread::CloseEncoder()
{
    // Closing runs with exceptions masked like the frames; the default environment is
    // restored even when the library throws.
    if (const GogoEntryPoints* functions = GogoFunctions()) {
        try {
            const EncoderCalls calls(*functions, owner_.encoder_);
            calls.CloseCoder();
            calls.EndCoder();
        } catch (...) {
        }
    }
    std::fesetenv(&defaultEnvironment_);
}

void TEncodeThread::Execute()
{
    baseNice_.store(getpriority(PRIO_PROCESS, 0));
    appliedNice_.store(baseNice_.load());
    tid_.store(static_cast<pid_t>(syscall(SYS_gettid)));
    std::fegetenv(&defaultEnvironment_);
    // The thread sleeps while idle, so its idle priority is not applied to the system:
    // Linux does not let an unprivileged thread raise its priority again afterwards.
    int counter = 0;
    int interval = 1;
    int allFrames = 0;
    bool encoding = false;
    bool quit = false;

    std::deque<Message> pending;
    while (!quit) {
        {
            std::unique_lock lock(mutex_);
            if (terminated_)
                break;
            if (!encoding && queue_.empty())
                wake_.wait_for(lock, std::chrono::milliseconds(100));
            if (terminated_)
                break;
            pending.swap(queue_);
        }
        for (const Message& message : pending) {
            if (message.message == GT_START) {
                if (encoding)
                    continue;
                interval = std::max<int>(1, static_cast<int>(message.lParam));
                allFrames = static_cast<int>(message.wParam);
                counter = 0;
                encoding = true;
                std::fenv_t unused;
                std::feholdexcept(&unused);  // all floating-point exceptions masked
                owner_.PostToOwner(GT_PROGRESS, 0, allFrames);
            } else if (message.message == GT_ABORT || message.message == GT_QUIT) {
                const bool wasEncoding = encoding;
                if (encoding)
                    CloseEncoder();
                encoding = false;
                if (message.message == GT_QUIT) {
                    quit = true;
                    break;
                }
                // An abort that comes after the encoding ended on its own finds its finish
                // posted already; a second one would end the wait for the next encoding.
                if (wasEncoding)
                    owner_.PostToOwner(GT_FINISH, -1, 0);
            }
        }
        pending.clear();
        if (quit || !encoding)
            continue;

        int result = GOGO_ERR_EXCEPTION;
        if (const GogoEntryPoints* functions = GogoFunctions()) {
            try {
                result = EncoderCalls(*functions, owner_.encoder_).ProcessFrame();
            } catch (...) {
                result = GOGO_ERR_EXCEPTION;
            }
        }
        ++counter;
        if (result == GOGO_OK) {
            if (counter % interval == 0)
                owner_.PostToOwner(GT_PROGRESS, counter, allFrames);
            continue;
        }
        if (result == GOGO_DONE) {
            owner_.PostToOwner(GT_STREAM_END, 0, 0);
            owner_.PostToOwner(GT_PROGRESS, allFrames, allFrames);
        } else {
            owner_.PostToOwner(GT_ERROR, result, 0);
        }
        CloseEncoder();
        encoding = false;
        owner_.PostToOwner(GT_FINISH, result == GOGO_DONE ? 0 : -1, 0);
        counter = 0;
    }
    if (encoding) {
        // Told to terminate in the middle of an encoding.
        CloseEncoder();
        if (owner_.active_.load())
            owner_.PostToOwner(GT_FINISH, -1, 0);  // not complete
    }
}

// ---------------------------------------------------------------------------------------
// Memory-input read function, called by the library on its encoding thread.

std::int32_t GogoTeaMemoryRead(void* buffer, std::uint32_t byteCount)
{
    TGogoTea* tea = memoryInputInstance.load();
    // Without an active instance there is no input to give: report its end, so that the
    // library stops instead of encoding an unfilled buffer.
    if (!tea)
        return GOGO_DONE;
    const int length = static_cast<int>(std::min<std::uint32_t>(byteCount, INT_MAX));
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::unique_lock lock(tea->ringLock_);
    // Woken by each write, by the end of the input and by the component going away.
    tea->ringChanged_.wait(lock, [tea, length] {
        return !tea->active_.load() || tea->inputEnded_ || tea->ring_.Available() >= length;
    });
    if (!tea->active_.load())
        return GOGO_DONE;
    if (tea->ring_.Read(bytes, length))
        return GOGO_OK;
    const int count = tea->ring_.ReadSome(bytes, length);
    std::memset(bytes + count, 0, static_cast<std::size_t>(length - count));
    return count > 0 ? GOGO_OK : GOGO_DONE;
}

// ---------------------------------------------------------------------------------------
// TGogoTea

TGogoTea::TGogoTea(QObject* owner) : QObject(owner)
{
    memoryInputInstance.store(nullptr);
    Initialize();
    InitGogoDefs();  // the component works without the library; calls needing it throw
    dllPath_ = GogoDLLPath();
    if (const GogoEntryPoints* functions = GogoFunctions(); functions && functions->MPGE_createEncoder)
        encoder_ = functions->MPGE_createEncoder();
    worker_ = std::make_unique<TEncodeThread>(*this);
    memoryInputInstance.store(this);
    active_.store(true);
    worker_->Resume();
}

TGogoTea::~TGogoTea()
{
    {
        std::lock_guard lock(ringLock_);
        active_.store(false);
    }
    ringChanged_.notify_all();
    TGogoTea* self = this;
    memoryInputInstance.compare_exchange_strong(self, nullptr);
    worker_->Post(GT_QUIT);
    worker_->Terminate();
    worker_->Join();
    worker_.reset();
    if (const GogoEntryPoints* functions = GogoFunctions(); functions && encoder_)
        functions->MPGE_destroyEncoder(encoder_);
    DeallocateGogoDLL();
}

void TGogoTea::PostToOwner(int message, std::intptr_t wParam, std::intptr_t lParam)
{
    // Queued calls to one receiver are delivered in the order posted, on its thread.
    QMetaObject::invokeMethod(
        this, [this, message, wParam, lParam] { WndProc(message, wParam, lParam); }, Qt::QueuedConnection);
}

void TGogoTea::WndProc(int message, std::intptr_t wParam, std::intptr_t lParam)
{
    switch (message) {
    case GT_STREAM_END:
        break;
    case GT_ERROR:
        isEncoding_.store(false);
        prepared_.store(false);
        encodeResult_.store(static_cast<int>(wParam));
        Q_EMIT OnError(this, static_cast<int>(wParam));
        break;
    case GT_FINISH:
        isEncoding_.store(false);
        prepared_.store(false);
        {
            std::lock_guard lock(finishLock_);
            finishPending_ = false;
            lastComplete_ = wParam == 0;
        }
        finished_.notify_all();
        Q_EMIT OnFinish(this, wParam != 0);
        break;
    case GT_PROGRESS:
        Q_EMIT OnProgress(this, static_cast<int>(wParam), static_cast<int>(lParam));
        break;
    default:
        break;
    }
}

// --- library-backed properties -----------------------------------------------------------

std::uint32_t TGogoTea::UnitStates() const
{
    const GogoEntryPoints& functions = LoadedFunctions();
    std::uint32_t bits = 0;
    FloatingPointGuard guard;
    return functions.MPGE_getUnitStates(&bits) == GOGO_OK ? bits : 0;
}

std::string TGogoTea::VersionString() const
{
    const GogoEntryPoints& functions = LoadedFunctions();
    char text[GOGO_VERSION_TEXT_SIZE] = {};
    std::uint32_t code = 0;
    FloatingPointGuard guard;
    if (functions.MPGE_getVersion(&code, text) != GOGO_OK)
        return {};
    text[GOGO_VERSION_TEXT_SIZE - 1] = '\0';
    return text;
}

std::uint32_t TGogoTea::VersionCode() const
{
    const GogoEntryPoints& functions = LoadedFunctions();
    char text[GOGO_VERSION_TEXT_SIZE] = {};
    std::uint32_t code = 0;
    FloatingPointGuard guard;
    return functions.MPGE_getVersion(&code, text) == GOGO_OK ? code : 0;
}

// --- setters ------------------------------------------------------------------------------

void TGogoTea::ThrowIfEncoding() const
{
    if (isEncoding_.load())
        throw EGogoTeaError(GogoTeaRefusal::Busy);
}

void TGogoTea::SetPriority(TThreadPriority value)
{
    priority_.store(value);
    if (isEncoding_.load() && worker_)
        worker_->ApplyPriority(value);
}

void TGogoTea::SetFrequency(int value)
{
    ThrowIfEncoding();
    if (value <= 0)
        throw EGogoTeaError(GogoTeaRefusal::OutOfRange);
    frequency_ = value;
}

void TGogoTea::SetSourceFile(const std::string& value)
{
    ThrowIfEncoding();
    sourceFile_ = value;
}

void TGogoTea::SetDestFile(const std::string& value)
{
    ThrowIfEncoding();
    destinationFile_ = value;
}

void TGogoTea::SetProcessors(int value)
{
    ThrowIfEncoding();
    processors_ = value;
}

void TGogoTea::SetEmphasis(TEmphasis value)
{
    ThrowIfEncoding();
    emphasis_ = value;
}

void TGogoTea::SetUsePsy(bool value)
{
    ThrowIfEncoding();
    usePsy_ = value;
}

void TGogoTea::SetUseLPF16(bool value)
{
    ThrowIfEncoding();
    useLpf_ = value;
}

void TGogoTea::SetUseVBR(bool value)
{
    ThrowIfEncoding();
    useVbr_ = value;
}

void TGogoTea::SetVBRLevel(int value)
{
    ThrowIfEncoding();
    if (value < 0 || value > 9)
        throw EGogoTeaError(GogoTeaRefusal::OutOfRange);
    vbrLevel_ = value;
}

void TGogoTea::SetSetOfUseUnit(TSetOfUseUnit value)
{
    ThrowIfEncoding();
    optimization_ = value;
}

void TGogoTea::SetEncodeFormat(TEncodeFormat value)
{
    ThrowIfEncoding();
    encodeFormat_ = value;
}

void TGogoTea::SetEncodeMode(TEncodeMode value)
{
    ThrowIfEncoding();
    encodeMode_ = value;
}

void TGogoTea::SetEncodeType(TEncodeType value)
{
    ThrowIfEncoding();
    encodeType_ = value;
}

void TGogoTea::SetSameRate(bool value)
{
    ThrowIfEncoding();
    forceSameRate_ = value;
}

void TGogoTea::SetBitrate(int value)
{
    ThrowIfEncoding();
    bitRate_ = value;
}

void TGogoTea::SetExtFilter(const TExtFilter& value)
{
    ThrowIfEncoding();
    if (value.Low < 0 || value.Low > 100 || value.High < 0 || value.High > 100)
        throw EGogoTeaError(GogoTeaRefusal::OutOfRange);
    extFilter_ = value;
}

void TGogoTea::SetVBRBitrate(const TVBRBitrate& value)
{
    ThrowIfEncoding();
    if (value.Low < 0 || value.High < 0)
        throw EGogoTeaError(GogoTeaRefusal::OutOfRange);
    vbrBitrate_ = value;
}

void TGogoTea::SetMSSetting(const TMSSetting& value)
{
    ThrowIfEncoding();
    if (value.Threshold < 0 || value.Threshold > 100 || value.Power < 0 || value.Power > 100)
        throw EGogoTeaError(GogoTeaRefusal::OutOfRange);
    msSetting_ = value;
}

// --- configuration and control ------------------------------------------------------------

void TGogoTea::Initialize()
{
    {
        std::lock_guard lock(ringLock_);
        ring_.Clear();
        inputEnded_ = false;
    }
    DisposeTags();
    SetPriority(TThreadPriority::tpIdle);
    SetFrequency(100);
    SetSourceFile({});
    SetDestFile({});
    SetProcessors(1);
    SetEmphasis(TEmphasis::_NO_EMPH);
    SetUsePsy(false);
    SetUseLPF16(false);
    SetUseVBR(false);
    SetVBRLevel(5);
    SetSetOfUseUnit(
        { TUseUnit::_USE_MMX, TUseUnit::_USE_3DNOW, TUseUnit::_USE_KNI, TUseUnit::_USE_EX_3DNOW });
    SetEncodeFormat(TEncodeFormat::_FORMAT_OF_MP3);
    SetEncodeMode(TEncodeMode::_FILE);
    SetEncodeType(TEncodeType::_JOINT);
    SetSameRate(false);
    SetBitrate(128);
    allFrames_ = 0;
    encodeResult_.store(0);
    extFilter_ = TExtFilter {};
    vbrBitrate_ = TVBRBitrate {};
    msSetting_ = TMSSetting {};
}

void TGogoTea::QuerySettings()
{
    if (isEncoding_.load() || prepared_.load())
        throw EGogoTeaError(GogoTeaRefusal::Busy);
    {
        std::lock_guard lock(ringLock_);
        inputEnded_ = false;
    }
    const EncoderCalls calls(LoadedFunctions(), encoder_);
    FloatingPointGuard guard;
    const auto set = [&calls](int item, std::intptr_t value, const void* pointer = nullptr) {
        calls.SetConfigure(item, static_cast<std::int32_t>(value), const_cast<void*>(pointer));
    };
    const auto number = [](std::int32_t value) {
        return reinterpret_cast<const void*>(static_cast<std::intptr_t>(value));
    };

    encodeResult_.store(calls.InitializeWork());
    if (encodeResult_.load() != GOGO_OK)
        throw EGogoTeaError(GogoTeaRefusal::NoFpu);

    if (encodeMode_ == TEncodeMode::_FILE) {
        set(GOGO_ITEM_INPUT, GOGO_INPUT_FILE, sourceFile_.c_str());
    } else {
        memoryInput_ = GogoMemoryInput { &GogoTeaMemoryRead, -1, 16, 44100, 2 };
        set(GOGO_ITEM_INPUT, GOGO_INPUT_MEMORY, &memoryInput_);
    }
    set(GOGO_ITEM_OUTPUT, 0, destinationFile_.c_str());
    set(GOGO_ITEM_PSY, usePsy_ ? 1 : 0);
    set(GOGO_ITEM_BITRATE, bitRate_);
    set(GOGO_ITEM_LPF16, useLpf_ ? 1 : 0);
    if (useVbr_)
        set(GOGO_ITEM_VBR, vbrLevel_);

    // Only the units this processor has; the library's unit bits are asked for each test.
    TSetOfUseUnit units = optimization_;
    const struct {
        TUseUnit unit;
        std::uint32_t bit;
    } filters[] = { { TUseUnit::_USE_MMX, 0x2 },
                    { TUseUnit::_USE_3DNOW, 0x4 },
                    { TUseUnit::_USE_KNI, 0x8 },
                    { TUseUnit::_USE_EX_3DNOW, 0x20 } };
    for (const auto& filter : filters) {
        if ((UnitStates() & filter.bit) == 0)
            units.Exclude(filter.unit);
    }
    for (int ordinal = 0; ordinal <= 5; ++ordinal) {
        set(GOGO_ITEM_UNIT_FIRST + ordinal, units.Contains(static_cast<TUseUnit>(ordinal)) ? 1 : 0);
    }

    static constexpr int emphasisValues[] = { 0, 1, 3 };
    set(GOGO_ITEM_EMPHASIS, emphasisValues[static_cast<int>(emphasis_) % 3]);
    set(GOGO_ITEM_MODE, static_cast<int>(encodeType_));
    set(GOGO_ITEM_THREADS, processors_);
    if (forceSameRate_)
        set(GOGO_ITEM_OUTPUT_RATE, 44100);

    if (VersionCode() >= 560) {
        if (extFilter_.Enabled)
            set(GOGO_ITEM_FILTER, extFilter_.Low, number(extFilter_.High));
        if (vbrBitrate_.Enabled && useVbr_)
            set(GOGO_ITEM_VBR_RANGE, vbrBitrate_.Low, number(vbrBitrate_.High));
        if (msSetting_.Enabled)
            set(GOGO_ITEM_MS_SETTING, msSetting_.Threshold, number(msSetting_.Power));
    }
    if (VersionCode() >= 550) {
        switch (encodeFormat_) {
        case TEncodeFormat::_FORMAT_OF_MP3:
            set(GOGO_ITEM_FORMAT, 0);
            if (!id3Tag_.empty())
                set(GOGO_ITEM_ID3_TAG, static_cast<std::intptr_t>(id3Tag_.size()), id3Tag_.data());
            break;
        case TEncodeFormat::_FORMAT_OF_RIFF_WAVE:
        case TEncodeFormat::_FORMAT_OF_RIFF_RMP:
            set(GOGO_ITEM_FORMAT, encodeFormat_ == TEncodeFormat::_FORMAT_OF_RIFF_WAVE ? 1 : 2);
            for (const auto& tag : rmpTags_)
                set(GOGO_ITEM_RIFF_INFO, static_cast<std::intptr_t>(tag.size()), tag.data());
            break;
        }
    }
    DisposeTags();  // the library has taken its own copies

    int detected = GOGO_ERR_EXCEPTION;
    try {
        detected = calls.DetectConfigure();
    } catch (...) {
        detected = GOGO_ERR_EXCEPTION;
    }
    encodeResult_.store(detected);
    if (detected != GOGO_OK) {
        prepared_.store(false);
        throw EGogoTeaError(GogoTeaRefusal::BadConfiguration);
    }
    {
        std::lock_guard lock(ringLock_);
        ring_.Clear();
    }
    std::int32_t frames = 0;
    calls.GetConfigure(GOGO_QUERY_FRAMES, &frames);
    allFrames_ = frames;
    prepared_.store(true);
}

void TGogoTea::Execute()
{
    if (encodeMode_ == TEncodeMode::_FILE) {
        QuerySettings();
    } else {
        LoadedFunctions();  // the frame loop needs the library
    }
    encodeResult_.store(0);
    worker_->ApplyPriority(priority_.load());
    isEncoding_.store(true);
    {
        std::lock_guard lock(finishLock_);
        finishPending_ = true;
        lastComplete_ = false;
    }
    worker_->Post(GT_START, allFrames_, frequency_);
}

void TGogoTea::AbortEncode()
{
    if (isEncoding_.load())
        worker_->Post(GT_ABORT);
}

bool TGogoTea::WaitForFinish(std::chrono::milliseconds limit)
{
    std::unique_lock lock(finishLock_);
    return finished_.wait_for(lock, limit, [this] { return !finishPending_; });
}

bool TGogoTea::LastEncodingComplete() const
{
    std::lock_guard lock(finishLock_);
    return lastComplete_;
}

// --- ring buffer ----------------------------------------------------------------------------

bool TGogoTea::WriteBuffer(const void* data, int length)
{
    if (encodeMode_ != TEncodeMode::_MEMORY)
        return true;
    {
        std::lock_guard lock(ringLock_);
        if (!data) {
            inputEnded_ = true;
        } else if (length > 0) {
            // A write that would fill the ring to its last byte is refused as well.
            if (length >= ring_.Free())
                return false;
            ring_.Write(data, length);
        } else {
            return true;
        }
    }
    ringChanged_.notify_all();
    return true;
}

bool TGogoTea::ReadBuffer(void* data, int length)
{
    if (encodeMode_ != TEncodeMode::_MEMORY)
        return true;
    if (length <= 0)
        return true;
    std::lock_guard lock(ringLock_);
    return ring_.Read(data, length);
}

int TGogoTea::ReadBufferEx(void* data, int length)
{
    if (encodeMode_ != TEncodeMode::_MEMORY)
        return 0;
    if (length <= 0)
        return 0;
    std::lock_guard lock(ringLock_);
    const int count = ring_.ReadSome(data, length);
    std::memset(static_cast<std::uint8_t*>(data) + count, 0, static_cast<std::size_t>(length - count));
    return count;
}

// --- tags -----------------------------------------------------------------------------------

void TGogoTea::AddRmpTagInfo(const TTagInfoPac& tag)
{
    if (tag.length <= 0 || !tag.data)
        throw EGogoTeaError(GogoTeaRefusal::OutOfRange);
    const auto* bytes = static_cast<const std::uint8_t*>(tag.data);
    rmpTags_.emplace_back(bytes, bytes + tag.length);
}

void TGogoTea::SetID3TagInfo(const TTagInfoPac& tag)
{
    if (tag.length <= 0 || !tag.data)
        throw EGogoTeaError(GogoTeaRefusal::OutOfRange);
    const auto* bytes = static_cast<const std::uint8_t*>(tag.data);
    id3Tag_.assign(bytes, bytes + tag.length);
}

void TGogoTea::DisposeTags()
{
    rmpTags_.clear();
    rmpTags_.shrink_to_fit();
    id3Tag_.clear();
    id3Tag_.shrink_to_fit();
}

// --- pass-throughs --------------------------------------------------------------------------

int TGogoTea::EncodeFrames()
{
    const GogoEntryPoints& functions = LoadedFunctions();
    return GuardedCall([&] { return EncoderCalls(functions, encoder_).ProcessFrame(); });
}

int TGogoTea::CloseEncoder()
{
    const GogoEntryPoints& functions = LoadedFunctions();
    FloatingPointGuard guard;
    return EncoderCalls(functions, encoder_).CloseCoder();
}

int TGogoTea::EndEncoder()
{
    const GogoEntryPoints& functions = LoadedFunctions();
    FloatingPointGuard guard;
    return EncoderCalls(functions, encoder_).EndCoder();
}

int TGogoTea::GetConfigure(int item, void* cell)
{
    const GogoEntryPoints& functions = LoadedFunctions();
    FloatingPointGuard guard;
    return EncoderCalls(functions, encoder_).GetConfigure(item, cell);
}

int TGogoTea::SetConfigure(int item, int value, void* pointer)
{
    const GogoEntryPoints& functions = LoadedFunctions();
    FloatingPointGuard guard;
    return EncoderCalls(functions, encoder_).SetConfigure(item, value, pointer);
}

int TGogoTea::DetectConfigure()
{
    const GogoEntryPoints& functions = LoadedFunctions();
    return GuardedCall([&] { return EncoderCalls(functions, encoder_).DetectConfigure(); });
}

}  // namespace orva
