// libFuzzer target: any byte string as a WAV file through the probe, the scan and the
// normalization, all from memory. Built only with -DORVA_FUZZ=ON and clang:
//   build-fuzz/tests/fuzz_wave_header -max_total_time=60

#include "core/byte_io.h"
#include "core/normalize.h"
#include "core/peak_scan.h"
#include "core/wave_file.h"
#include "tests/core/memory_io.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace orva;
    WaveFileInfo info {};
    if (ParseWaveHeader(info, data, size) < 0)
        return 0;
    // The samples never reach past the end of the file.
    if (info.dataOffset + info.dataSize > size)
        std::abort();
    if (info.sampleFormat == SampleFormat::None)
        return 0;

    NullStageEvents row;
    MemorySource scanSource(data, size);
    std::vector<uint8_t> header(static_cast<size_t>(info.dataOffset));
    scanSource.Read(header.data(), header.size());
    const SamplePeak peak = ScanPeakData(row, scanSource, info).value();
    if (peak.magnitude < 0 || peak.magnitude > (int64_t { 1 } << 31))
        std::abort();

    MemorySource source(data, size);
    MemorySink sink;
    sink.DiscardBytes();
    if (NormalizeData(row, source, sink, info, peak) != 0)
        std::abort();
    // Nothing is invented: the output is never longer than the input.
    if (sink.WrittenCount() > size)
        std::abort();
    return 0;
}
