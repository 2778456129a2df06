#pragma once
// Sample-rate conversion of a PCM WAV file into a fresh-header WAV file (libsoxr, high quality).

#include "core/progress.h"

#include <string>

namespace orva {

/// Converts the samples of source to rate Hz and writes them to destination (replaced whole)
/// with a fresh 46-byte header. bitsPerSample (8 or 16) and channels are the source's.
/// Returns 0, or -1 without a message; a failed conversion removes its partial output.
/// Reports on row2 ("ｻﾝﾌﾟﾘﾝｸﾞﾚｰﾄ変換中") after every 51st 4,096-byte block.
/// Runs on the batch worker thread.
int ConvertSampleRate(ProgressRow& row2, const std::string& source, const std::string& destination, int rate,
                      int bitsPerSample, int channels);

}  // namespace orva
