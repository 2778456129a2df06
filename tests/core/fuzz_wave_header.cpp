// libFuzzer target: any byte string as a WAV file through the probe, the scan and the
// normalization, all from memory. Built only with -DORVA_FUZZ=ON and clang:
//   build-fuzz/tests/fuzz_wave_header -max_total_time=60

#include "core/byte_io.h"
#include "core/normalize.h"
#include "core/peak_scan.h"
#include "core/wave_file.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace orva;
    WaveFileInfo info {};
    const size_t imageLength = std::min(size, kHeaderImageSize);
    if (ParseWaveHeader(info, data, imageLength) < 0)
        return 0;
    if (info.dataSize < 0 || info.dataOffset < 0
        || static_cast<size_t>(info.dataOffset) > kHeaderImageSize + 8)
        std::abort();
    // Declared sizes up to 2 GiB are legal; keep each input fast.
    if (info.dataSize > (1 << 24) || info.riffSize > (1 << 24))
        return 0;

    NullStageEvents row;
    MemorySource scanSource(data, size);
    std::vector<uint8_t> header(static_cast<size_t>(info.dataOffset));
    scanSource.Read(header.data(), header.size());
    const int peak = ScanPeakData(row, scanSource, info).peak;
    if (peak < 1 || peak > 32768)
        std::abort();

    MemorySource source(data, size);
    MemorySink sink;
    sink.DiscardBytes();
    if (NormalizeData(row, source, sink, info, peak) != 0)
        std::abort();
    const uint64_t declared =
        std::max<uint64_t>(static_cast<uint64_t>(info.dataOffset) + static_cast<uint64_t>(info.dataSize),
                           static_cast<uint64_t>(info.riffSize) + 8);
    if (sink.WrittenCount() != declared)
        std::abort();
    return 0;
}
