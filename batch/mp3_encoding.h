#pragma once
// What the batch job's MP3 step calls after each normalized file. The desktop program and
// orva-cli hand the job the real encoding step; tests hand it a recorder.

#include <functional>
#include <string>

namespace orva {

/// Encodes one normalized WAV file to MP3; both calls block the batch worker thread until
/// the encoding has ended. The MP3 file appears under `destination` only when it is
/// complete; a failed encoding leaves the name as it was.
class Mp3Encoding {
public:
    /// The job's cancel point, called on the worker thread while an encoding runs and a
    /// cancel is requested: it returns when the user withdrew the request and leaves by an
    /// exception when they confirmed it (the encoding is then stopped and its output removed
    /// before the exception passes on).
    using CancelPoint = std::function<void()>;

    virtual ~Mp3Encoding() = default;
    /// In-process encoding through the encoder library. 0 when the MP3 file is complete,
    /// -1 when the encoding failed (after showing why).
    virtual int EncodeWithGogo(const std::string& source, const std::string& destination,
                               const CancelPoint& cancelPoint) = 0;
    /// Encoding by the external encoder program named in the settings; results as above.
    virtual int EncodeWithExternalEncoder(const std::string& source, const std::string& destination,
                                          const CancelPoint& cancelPoint) = 0;
};

}  // namespace orva
