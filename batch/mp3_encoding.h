#pragma once
// What the batch job's MP3 step calls after each normalized file. The desktop program and
// orva-cli hand the job the real encoding step; tests hand it a recorder.

#include <string>

namespace orva {

/// Encodes one normalized WAV file to MP3; both calls block the batch worker thread until
/// the encoding has ended and return 0 in every case.
class Mp3Encoding {
public:
    virtual ~Mp3Encoding() = default;
    /// In-process encoding through the encoder library.
    virtual int EncodeWithGogo(const std::string& source, const std::string& destination) = 0;
    /// Encoding by the external encoder program named in the settings.
    virtual int EncodeWithExternalEncoder(const std::string& source, const std::string& destination) = 0;
};

}  // namespace orva
