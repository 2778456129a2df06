// libgogo.so: an MP3 encoder library with the nine MPGE_* entry points, encoding with LAME.
// Each encoder handle (MPGE_createEncoder) keeps its own configuration and encoding, so that
// handles encode on different threads at once; the nine classic entry points work on one
// process-wide handle. Per handle, the configuration calls come from one thread, then
// MPGE_processFrame, MPGE_closeCoder and MPGE_endCoder from the encoding thread, one after
// the other, never at the same time.

#include "gogo/gogo_api.h"
#include "gogo/wave_input.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include <sys/stat.h>

#define GOGO_EXPORT extern "C" __attribute__((visibility("default")))

namespace gogo {
namespace {

constexpr std::uint32_t VersionCode = 560;

/// Everything MPGE_setConfigure stores; the library keeps copies of all texts and tags.
struct Configuration {
    int inputKind = GOGO_INPUT_FILE;
    std::string inputPath;
    GogoMemoryInput memoryInput {};
    std::string outputPath;
    int mode = 2;        // joint stereo
    int bitrate = 128;   // kbps
    int outputRate = 0;  // Hz, 0: the input's rate
    bool psy = true;
    bool lpf16 = false;
    int vbrLevel = -1;  // -1: constant bitrate
    int emphasis = 0;
    int format = 0;  // MP3
    bool haveVbrRange = false;
    int vbrLow = 0;
    int vbrHigh = 0;
    bool haveFilter = false;
    int filterLow = 0;
    int filterHigh = 0;
    std::vector<std::uint8_t> id3Tag;
    std::vector<std::vector<std::uint8_t>> riffInfo;  // kept; MP3 output has no RIFF chunks
};

/// A prepared or running encoding.
struct Encoding {
    ~Encoding()
    {
        if (lame)
            lame_close(lame);
        if (output)
            std::fclose(output);
    }
    PcmInput input;
    lame_t lame = nullptr;
    std::FILE* output = nullptr;
    long frameSamples = 1152;     // input sample frames per MPGE_processFrame call
    std::int32_t totalCalls = 0;  // 0 when the input length is not known
    long tagOffset = 0;           // where the LAME tag frame goes (after a leading ID3 tag)
    bool appendId3 = false;       // an ID3v1 block goes after the audio
    bool complete = false;
    std::vector<std::int16_t> pcm;
    std::vector<std::int32_t> intLeft, intRight;  // wide integer input, one buffer per channel
    std::vector<float> floatLeft, floatRight;     // float input, one buffer per channel
    std::vector<unsigned char> mp3;
};

}  // namespace
}  // namespace gogo

/// One encoder handle: its configuration and its prepared or running encoding.
struct GogoEncoder {
    gogo::Configuration configuration;
    std::unique_ptr<gogo::Encoding> encoding;
};

namespace gogo {
namespace {

using Encoder = GogoEncoder;

/// The handle behind the classic entry points.
Encoder processEncoder;

/// LAME fills process-wide tables the first time an encoder is set up; two set-ups at once
/// would race on them.
std::mutex lameSetupLock;

bool WriteAll(std::FILE* file, const void* data, std::size_t size)
{
    return size == 0 || std::fwrite(data, 1, size, file) == size;
}

/// The MPEG sample rate an input rate is encoded at: itself when MPEG has it, else the next
/// one above (LAME resamples), at most 48000.
int MpegRate(int inputRate)
{
    static constexpr int rates[] = { 8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000 };
    for (int rate : rates)
        if (rate >= inputRate)
            return rate;
    return 48000;
}

std::uint32_t ProcessorUnits()
{
    std::uint32_t bits = GOGO_UNIT_FPU;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("mmx"))
        bits |= GOGO_UNIT_MMX;
    if (__builtin_cpu_supports("sse"))
        bits |= GOGO_UNIT_SSE;
    if (__builtin_cpu_supports("sse2"))
        bits |= GOGO_UNIT_SSE2;
#endif
    return bits;
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat first {};
    struct stat second {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev
        && first.st_ino == second.st_ino;
}

int Prepare(Encoder& encoder)
{
    const Configuration& configuration = encoder.configuration;
    encoder.encoding.reset();
    if (configuration.format != 0)
        return GOGO_ERR_FORMAT;
    if (configuration.outputPath.empty())
        return GOGO_ERR_OUTPUT;
    auto next = std::make_unique<Encoding>();
    int result = configuration.inputKind == GOGO_INPUT_FILE ? next->input.OpenFile(configuration.inputPath)
        : configuration.inputKind == GOGO_INPUT_MEMORY ? next->input.OpenMemory(configuration.memoryInput)
                                                       : GOGO_ERR_PARAMETER;
    if (result != GOGO_OK)
        return result;
    const PcmLayout& layout = next->input.Layout();

    std::unique_lock setup(lameSetupLock);
    next->lame = lame_init();
    if (!next->lame)
        return GOGO_ERR_MEMORY;
    lame_t lame = next->lame;
    lame_set_num_channels(lame, layout.channels);
    lame_set_in_samplerate(lame, layout.sampleRate);
    // Pinned, or LAME picks a lower rate of its own at low bitrates.
    const int outputRate =
        configuration.outputRate > 0 ? MpegRate(configuration.outputRate) : MpegRate(layout.sampleRate);
    lame_set_out_samplerate(lame, outputRate);
    MPEG_mode mode = JOINT_STEREO;
    switch (configuration.mode) {
    case 0:
        mode = MONO;
        break;
    case 1:
        mode = STEREO;
        break;
    case 2:
        mode = JOINT_STEREO;
        break;
    case 3:
        mode = JOINT_STEREO;
        lame_set_force_ms(lame, 1);
        break;
    case 4:
        mode = STEREO;
        break;  // LAME has no dual-channel encoding
    default:
        return GOGO_ERR_PARAMETER;
    }
    if (layout.channels == 1)
        mode = MONO;
    lame_set_mode(lame, mode);
    if (configuration.vbrLevel >= 0) {
        lame_set_VBR(lame, vbr_default);
        lame_set_VBR_q(lame, std::clamp(configuration.vbrLevel, 0, 9));
        if (configuration.haveVbrRange) {
            if (configuration.vbrLow > 0)
                lame_set_VBR_min_bitrate_kbps(lame, configuration.vbrLow);
            if (configuration.vbrHigh > 0)
                lame_set_VBR_max_bitrate_kbps(lame, configuration.vbrHigh);
        }
    } else {
        if (configuration.bitrate <= 0)
            return GOGO_ERR_BITRATE;
        lame_set_VBR(lame, vbr_off);
        lame_set_brate(lame, configuration.bitrate);
    }
    // Without the psychoacoustic model LAME's fast mode: no noise shaping.
    if (!configuration.psy)
        lame_set_quality(lame, 7);
    const int nyquist = outputRate / 2;
    if (configuration.haveFilter && configuration.filterHigh > 0) {
        const int high = nyquist * configuration.filterHigh / 100;
        const int low = nyquist * std::min(configuration.filterLow, configuration.filterHigh) / 100;
        lame_set_lowpassfreq(lame, (low + high) / 2);
        lame_set_lowpasswidth(lame, std::max(1, high - low));
    } else if (configuration.lpf16 && nyquist > 16000) {
        lame_set_lowpassfreq(lame, 16000);
    }
    lame_set_emphasis(lame, configuration.emphasis);
    lame_set_write_id3tag_automatic(lame, 0);
    lame_set_bWriteVbrTag(lame, 1);
    if (lame_init_params(lame) < 0)
        return GOGO_ERR_PARAMETER;
    setup.unlock();

    next->frameSamples = std::max(1, lame_get_framesize(lame));
    const std::int64_t total = next->input.TotalFrames();
    if (total >= 0) {
        const std::int64_t blocks = (total + next->frameSamples - 1) / next->frameSamples;
        next->totalCalls = static_cast<std::int32_t>(std::clamp<std::int64_t>(blocks, 1, INT32_MAX));
    }
    next->pcm.resize(static_cast<std::size_t>(next->frameSamples * layout.channels));
    if (!layout.Narrow()) {
        const auto frames = static_cast<std::size_t>(next->frameSamples);
        next->intLeft.resize(frames), next->intRight.resize(frames);
        next->floatLeft.resize(frames), next->floatRight.resize(frames);
    }
    next->mp3.resize(static_cast<std::size_t>(next->frameSamples * 5 / 4 + 7200));

    if (configuration.inputKind == GOGO_INPUT_FILE
        && SameFile(configuration.inputPath, configuration.outputPath))
        return GOGO_ERR_OUTPUT;  // opening the output would empty the input
    next->output = std::fopen(configuration.outputPath.c_str(), "wb");
    if (!next->output)
        return GOGO_ERR_OUTPUT;
    std::setvbuf(next->output, nullptr, _IOFBF, 1 << 16);
    const auto& tag = configuration.id3Tag;
    next->appendId3 = tag.size() == 128 && std::memcmp(tag.data(), "TAG", 3) == 0;
    if (!tag.empty() && !next->appendId3) {
        if (!WriteAll(next->output, tag.data(), tag.size()))
            return GOGO_ERR_WRITE;
        next->tagOffset = static_cast<long>(tag.size());
    }
    encoder.encoding = std::move(next);
    return GOGO_OK;
}

/// Flushes LAME, adds a trailing tag and the LAME tag frame, and closes the file.
int Finish(Encoding& state, const Configuration& configuration)
{
    const int flushed = lame_encode_flush(state.lame, state.mp3.data(), static_cast<int>(state.mp3.size()));
    if (flushed < 0)
        return GOGO_ERR_INTERNAL;
    if (!WriteAll(state.output, state.mp3.data(), static_cast<std::size_t>(flushed)))
        return GOGO_ERR_WRITE;
    if (state.appendId3 && !WriteAll(state.output, configuration.id3Tag.data(), configuration.id3Tag.size()))
        return GOGO_ERR_WRITE;
    unsigned char tagFrame[2880];
    const std::size_t tagSize = lame_get_lametag_frame(state.lame, tagFrame, sizeof tagFrame);
    if (tagSize > 0 && tagSize <= sizeof tagFrame) {
        if (std::fseek(state.output, state.tagOffset, SEEK_SET) != 0
            || !WriteAll(state.output, tagFrame, tagSize))
            return GOGO_ERR_WRITE;
    }
    const int closed = std::fclose(state.output);
    state.output = nullptr;
    state.complete = true;
    return closed == 0 ? GOGO_OK : GOGO_ERR_WRITE;
}

int EncodeOneFrame(Encoder& encoder)
{
    const std::unique_ptr<Encoding>& encoding = encoder.encoding;
    if (!encoding || !encoding->output)
        return encoding && encoding->complete ? GOGO_DONE : GOGO_ERR_INTERNAL;
    Encoding& state = *encoding;
    const PcmLayout& layout = state.input.Layout();
    const long frames = layout.Narrow()
        ? state.input.Read(state.pcm.data(), state.frameSamples)
        : state.input.ReadWide(state.intLeft.data(), state.intRight.data(), state.floatLeft.data(),
                               state.floatRight.data(), state.frameSamples);
    if (frames < 0)
        return GOGO_ERR_INPUT;
    if (frames > 0) {
        const bool mono = layout.channels == 1;
        const int n = static_cast<int>(frames);
        unsigned char* out = state.mp3.data();
        const int room = static_cast<int>(state.mp3.size());
        int bytes;
        if (layout.isFloat)
            bytes = lame_encode_buffer_ieee_float(state.lame, state.floatLeft.data(),
                                                  mono ? nullptr : state.floatRight.data(), n, out, room);
        else if (!layout.Narrow())
            bytes = lame_encode_buffer_int(state.lame, state.intLeft.data(),
                                           mono ? nullptr : state.intRight.data(), n, out, room);
        else if (mono)
            bytes = lame_encode_buffer(state.lame, state.pcm.data(), nullptr, n, out, room);
        else
            bytes = lame_encode_buffer_interleaved(state.lame, state.pcm.data(), n, out, room);
        if (bytes < 0)
            return GOGO_ERR_INTERNAL;
        if (!WriteAll(state.output, state.mp3.data(), static_cast<std::size_t>(bytes)))
            return GOGO_ERR_WRITE;
    }
    // The call that reads the last samples (or finds none left) completes the file.
    if (frames < state.frameSamples || state.input.AtEnd()) {
        const int finished = Finish(state, encoder.configuration);
        return finished == GOGO_OK ? GOGO_DONE : finished;
    }
    return GOGO_OK;
}

/// Closes an unfinished output as it stands and releases LAME.
void Close(Encoder& encoder)
{
    const std::unique_ptr<Encoding>& encoding = encoder.encoding;
    if (!encoding)
        return;
    if (encoding->output) {
        std::fclose(encoding->output);
        encoding->output = nullptr;
    }
    if (encoding->lame) {
        lame_close(encoding->lame);
        encoding->lame = nullptr;
    }
}

std::int32_t PointerNumber(const void* pointer)
{
    return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(pointer));
}

int InitializeWork(Encoder& encoder)
{
    encoder.encoding.reset();
    encoder.configuration = Configuration {};
    return GOGO_OK;
}

int SetConfigure(Encoder& encoder, int32_t item, int32_t value, void* pointer)
{
    auto& c = encoder.configuration;
    switch (item) {
    case GOGO_ITEM_INPUT:
        c.inputKind = value;
        if (value == GOGO_INPUT_FILE) {
            if (!pointer)
                return GOGO_ERR_PARAMETER;
            c.inputPath = static_cast<const char*>(pointer);
        } else if (value == GOGO_INPUT_MEMORY) {
            if (!pointer)
                return GOGO_ERR_PARAMETER;
            c.memoryInput = *static_cast<const GogoMemoryInput*>(pointer);
        } else {
            return GOGO_ERR_PARAMETER;
        }
        return GOGO_OK;
    case GOGO_ITEM_OUTPUT:
        if (!pointer)
            return GOGO_ERR_PARAMETER;
        c.outputPath = static_cast<const char*>(pointer);
        return GOGO_OK;
    case GOGO_ITEM_MODE:
        c.mode = value;
        return GOGO_OK;
    case GOGO_ITEM_BITRATE:
        c.bitrate = value;
        return GOGO_OK;
    case GOGO_ITEM_OUTPUT_RATE:
        c.outputRate = value;
        return GOGO_OK;
    case GOGO_ITEM_PSY:
        c.psy = value != 0;
        return GOGO_OK;
    case GOGO_ITEM_LPF16:
        c.lpf16 = value != 0;
        return GOGO_OK;
    case GOGO_ITEM_EMPHASIS:
        c.emphasis = (value == 1 || value == 3) ? value : 0;
        return GOGO_OK;
    case GOGO_ITEM_VBR:
        c.vbrLevel = value;
        return GOGO_OK;
    case GOGO_ITEM_FORMAT:
        c.format = value;
        return GOGO_OK;
    case GOGO_ITEM_VBR_RANGE:
        c.haveVbrRange = true;
        c.vbrLow = value;
        c.vbrHigh = gogo::PointerNumber(pointer);
        return GOGO_OK;
    case GOGO_ITEM_FILTER:
        c.haveFilter = true;
        c.filterLow = std::clamp(value, 0, 100);
        c.filterHigh = std::clamp(gogo::PointerNumber(pointer), 0, 100);
        return GOGO_OK;
    case GOGO_ITEM_ID3_TAG:
        if (value <= 0 || !pointer)
            return GOGO_ERR_PARAMETER;
        c.id3Tag.assign(static_cast<const std::uint8_t*>(pointer),
                        static_cast<const std::uint8_t*>(pointer) + value);
        return GOGO_OK;
    case GOGO_ITEM_RIFF_INFO:
        if (value <= 0 || !pointer)
            return GOGO_ERR_PARAMETER;
        c.riffInfo.emplace_back(static_cast<const std::uint8_t*>(pointer),
                                static_cast<const std::uint8_t*>(pointer) + value);
        return GOGO_OK;
    case GOGO_ITEM_MS_SETTING:  // accepted; LAME switches mid-side by its own analysis
    case GOGO_ITEM_THREADS:     // accepted; LAME encodes on the calling thread
        return GOGO_OK;
    default:
        if (item >= GOGO_ITEM_UNIT_FIRST && item <= GOGO_ITEM_UNIT_LAST)
            return GOGO_OK;  // LAME picks its own code paths
        return GOGO_ERR_PARAMETER;
    }
}

int GetConfigure(const Encoder& encoder, int32_t item, void* cell)
{
    if (!cell)
        return GOGO_ERR_PARAMETER;
    if (item == GOGO_QUERY_FRAMES) {
        const std::int32_t frames = encoder.encoding ? encoder.encoding->totalCalls : 0;
        std::memcpy(cell, &frames, sizeof frames);
        return GOGO_OK;
    }
    return GOGO_ERR_PARAMETER;
}

int DetectConfigure(Encoder& encoder)
{
    const int result = Prepare(encoder);
    if (result != GOGO_OK)
        encoder.encoding.reset();
    return result;
}

int EndCoder(Encoder& encoder)
{
    Close(encoder);
    encoder.encoding.reset();
    encoder.configuration.id3Tag.clear();
    encoder.configuration.riffInfo.clear();
    return GOGO_OK;
}

}  // namespace
}  // namespace gogo

using gogo::processEncoder;

GOGO_EXPORT int32_t MPGE_initializeWork(void) { return gogo::InitializeWork(processEncoder); }

GOGO_EXPORT int32_t MPGE_setConfigure(int32_t item, int32_t value, void* pointer)
{
    return gogo::SetConfigure(processEncoder, item, value, pointer);
}

GOGO_EXPORT int32_t MPGE_getConfigure(int32_t item, void* cell)
{
    return gogo::GetConfigure(processEncoder, item, cell);
}

GOGO_EXPORT int32_t MPGE_detectConfigure(void) { return gogo::DetectConfigure(processEncoder); }

GOGO_EXPORT int32_t MPGE_processFrame(void) { return gogo::EncodeOneFrame(processEncoder); }

GOGO_EXPORT int32_t MPGE_closeCoder(void)
{
    gogo::Close(processEncoder);
    return GOGO_OK;
}

GOGO_EXPORT int32_t MPGE_endCoder(void) { return gogo::EndCoder(processEncoder); }

GOGO_EXPORT GogoEncoder* MPGE_createEncoder(void) { return new (std::nothrow) GogoEncoder; }

GOGO_EXPORT void MPGE_destroyEncoder(GogoEncoder* encoder) { delete encoder; }

GOGO_EXPORT int32_t MPGE_initializeWork_r(GogoEncoder* encoder)
{
    return encoder ? gogo::InitializeWork(*encoder) : GOGO_ERR_PARAMETER;
}

GOGO_EXPORT int32_t MPGE_setConfigure_r(GogoEncoder* encoder, int32_t item, int32_t value, void* pointer)
{
    return encoder ? gogo::SetConfigure(*encoder, item, value, pointer) : GOGO_ERR_PARAMETER;
}

GOGO_EXPORT int32_t MPGE_getConfigure_r(GogoEncoder* encoder, int32_t item, void* cell)
{
    return encoder ? gogo::GetConfigure(*encoder, item, cell) : GOGO_ERR_PARAMETER;
}

GOGO_EXPORT int32_t MPGE_detectConfigure_r(GogoEncoder* encoder)
{
    return encoder ? gogo::DetectConfigure(*encoder) : GOGO_ERR_PARAMETER;
}

GOGO_EXPORT int32_t MPGE_processFrame_r(GogoEncoder* encoder)
{
    return encoder ? gogo::EncodeOneFrame(*encoder) : GOGO_ERR_PARAMETER;
}

GOGO_EXPORT int32_t MPGE_closeCoder_r(GogoEncoder* encoder)
{
    if (!encoder)
        return GOGO_ERR_PARAMETER;
    gogo::Close(*encoder);
    return GOGO_OK;
}

GOGO_EXPORT int32_t MPGE_endCoder_r(GogoEncoder* encoder)
{
    return encoder ? gogo::EndCoder(*encoder) : GOGO_ERR_PARAMETER;
}

GOGO_EXPORT int32_t MPGE_getUnitStates(uint32_t* unitBits)
{
    if (!unitBits)
        return GOGO_ERR_PARAMETER;
    *unitBits = gogo::ProcessorUnits();
    return GOGO_OK;
}

GOGO_EXPORT int32_t MPGE_getVersion(uint32_t* versionCode, char* text)
{
    if (!versionCode || !text)
        return GOGO_ERR_PARAMETER;
    *versionCode = gogo::VersionCode;
    std::snprintf(text, GOGO_VERSION_TEXT_SIZE, "libgogo 5.60 for ORVA (LAME %s)", get_lame_version());
    return GOGO_OK;
}
