#pragma once
// Builds WAV file images for the core's tests (RIFF header, chunks in any order and size,
// sample data, all little-endian) and a temporary folder to write them into.

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace orva::test {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& out, uint32_t v) { out.insert(out.end(), { uint8_t(v), uint8_t(v >> 8) }); }
inline void Put32(Bytes& out, uint32_t v) { Put16(out, v), Put16(out, v >> 16); }
inline uint16_t Get16(const Bytes& in, size_t at) { return uint16_t(in[at] | in[at + 1] << 8); }
inline uint32_t Get32(const Bytes& in, size_t at)
{
    return Get16(in, at) | uint32_t(Get16(in, at + 2)) << 16;
}

/// A chunk with its declared size (default: the body length); an odd body gets its pad byte.
inline void AddChunk(Bytes& out, const char* id, const Bytes& body, int64_t declaredSize = -1)
{
    out.insert(out.end(), id, id + 4);
    Put32(out, uint32_t(declaredSize >= 0 ? declaredSize : int64_t(body.size())));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() % 2)
        out.push_back(0);
}

/// The body of a `fmt ` chunk of bodySize bytes (bytes 16-17 hold extraSize when present).
inline Bytes FmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, size_t bodySize = 16,
                     uint16_t extraSize = 0)
{
    Bytes body;
    const uint16_t blockAlign = uint16_t(channels * (bits / 8));
    Put16(body, tag), Put16(body, channels), Put32(body, rate), Put32(body, rate * blockAlign);
    Put16(body, blockAlign), Put16(body, bits), Put16(body, extraSize);
    body.resize(bodySize, 0);
    return body;
}

/// "RIFF" <size> "WAVE" and the chunks; riffSize -1 means the real length minus 8.
inline Bytes Riff(const Bytes& chunks, int64_t riffSize = -1)
{
    Bytes out { 'R', 'I', 'F', 'F' };
    Put32(out, uint32_t(riffSize >= 0 ? riffSize : int64_t(chunks.size() + 4)));
    out.insert(out.end(), { 'W', 'A', 'V', 'E' });
    out.insert(out.end(), chunks.begin(), chunks.end());
    return out;
}

/// A canonical PCM file (44-byte header), optionally followed by more chunks.
inline Bytes PcmWave(uint16_t channels, uint32_t rate, uint16_t bits, const Bytes& samples,
                     const Bytes& trailing = {})
{
    Bytes chunks;
    AddChunk(chunks, "fmt ", FmtBody(1, channels, rate, bits));
    AddChunk(chunks, "data", samples);
    chunks.insert(chunks.end(), trailing.begin(), trailing.end());
    return Riff(chunks);
}

inline Bytes Words(const std::vector<int>& words)
{
    Bytes out;
    for (int w : words)
        Put16(out, uint32_t(w));
    return out;
}

inline std::vector<int> WordsOf(const Bytes& bytes, size_t from, size_t count)
{
    std::vector<int> words;
    for (size_t i = 0; i < count; ++i)
        words.push_back(int16_t(Get16(bytes, from + 2 * i)));
    return words;
}

inline Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// A fresh temporary folder, removed with the object.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "orva-core-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    std::string Write(const std::string& name, const Bytes& bytes) const
    {
        std::ofstream(File(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
        return File(name);
    }

private:
    std::string path_;
};

}  // namespace orva::test
