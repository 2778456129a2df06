// orva-cli analyze and normalize to a target, end to end: the levels of the outputs.

#include "tests/core/orva_cli.h"
#include "tests/core/wave_builder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <sstream>

namespace orva {
namespace {

using namespace orva::test;

/// The key=value lines of one analysis as numbers.
std::map<std::string, double> Levels(const std::string& path)
{
    std::istringstream lines(OrvaCli("analyze '" + path + "'").second);
    std::map<std::string, double> levels;
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos && line.compare(0, eq, "file") != 0 && line.compare(0, eq, "layout") != 0)
            levels[line.substr(0, eq)] = std::strtod(line.c_str() + eq + 1, nullptr);
    }
    return levels;
}

/// Stereo at 48 kHz, a 997 Hz sine at `dbfs` in one of the wider formats: "s24", "s32",
/// "f32" or "f64" (float may pass full scale).
Bytes WideTone(const std::string& format, double seconds, double dbfs)
{
    const bool isFloat = format[0] == 'f';
    const int bits = std::stoi(format.substr(1));
    const double a = std::pow(10.0, dbfs / 20.0), scale = std::ldexp(1.0, bits - 1);
    Bytes samples;
    for (int i = 0; i < int(seconds * 48000) * 2; ++i) {
        const double x = a * std::sin(2.0 * M_PI * 997.0 * (i / 2) / 48000.0 + 0.4);
        uint64_t word = 0;
        if (bits == 32 && isFloat) {
            const float f = float(x);
            std::memcpy(&word, &f, 4);
        } else if (isFloat) {
            std::memcpy(&word, &x, 8);
        } else {
            word = uint64_t(int64_t(std::lround(std::min(x * scale, scale - 1))));
        }
        for (int b = 0; b < bits / 8; ++b)
            samples.push_back(uint8_t(word >> (8 * b)));
    }
    Bytes chunks;
    AddChunk(chunks, "fmt ", FmtBody(isFloat ? 3 : 1, 2, 48000, uint16_t(bits)));
    AddChunk(chunks, "data", samples);
    return Riff(chunks);
}

/// 16-bit stereo at 48 kHz: a 997 Hz sine at `dbfs`, with one sample at `spike` (0: none).
Bytes Tone(double seconds, double dbfs, int spike = 0)
{
    std::vector<int> words;
    const double a = 32768.0 * std::pow(10.0, dbfs / 20.0);
    const int frames = int(seconds * 48000);
    for (int i = 0; i < frames; ++i) {
        const int v = int(std::lround(a * std::sin(2.0 * M_PI * 997.0 * i / 48000.0 + 0.4)));
        words.push_back(i == frames / 2 && spike != 0 ? spike : v);
        words.push_back(v);
    }
    return PcmWave(2, 48000, 16, Words(words));
}

/// 16-bit extensible at 48 kHz with the channel mask `mask`: a 997 Hz sine, channel c at
/// channelDbfs[c] (below -100: silent).
Bytes LayoutTone(uint32_t mask, const std::vector<double>& channelDbfs)
{
    const auto channels = uint16_t(channelDbfs.size());
    std::vector<int> words;
    for (int i = 0; i < 5 * 48000; ++i) {
        for (const double dbfs : channelDbfs)
            words.push_back(dbfs < -100 ? 0
                                        : int(std::lround(32768.0 * std::pow(10.0, dbfs / 20.0)
                                                          * std::sin(2.0 * M_PI * 997.0 * i / 48000.0))));
    }
    Bytes format = FmtBody(0xFFFE, channels, 48000, 16, 18, 22);
    Put16(format, 16), Put32(format, mask), Put16(format, 1), Put16(format, 0);
    format.insert(format.end(), { 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71 });
    Bytes chunks;
    AddChunk(chunks, "fmt ", format);
    AddChunk(chunks, "data", Words(words));
    return Riff(chunks);
}

class CliLoudness : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::access(OrvaCliPath().c_str(), X_OK) != 0)
            GTEST_SKIP() << "orva-cli is not built";
    }
    TempDir dir;
};

TEST_F(CliLoudness, AnalyzePrintsEachFileAndTheAlbum)
{
    const std::string tone = dir.Write("tone.wav", Tone(4, -20)),
                      silence = dir.Write("silence.wav", Tone(1, -200));
    const auto [status, out] = OrvaCli("analyze '" + silence + "' '" + tone + "'");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out.substr(0, out.find("\n\n") + 2),
              "file=" + silence
                  + "\nsamplePeakDbfs=-inf\ntruePeakDbtp=-inf\nloudnessLufs=-inf\nloudnessRangeLu=-inf\n"
                    "momentaryMaxLufs=-inf\nshortTermMaxLufs=-inf\nlayout=stereo\n\n");
    // Every key in its place; the album of a tone and silence is the tone.
    std::istringstream lines(out);
    std::string keys;
    std::map<std::string, double> last;
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        keys += line.substr(0, eq) + ",";
        if (eq != std::string::npos)
            last[line.substr(0, eq)] = std::strtod(line.c_str() + eq + 1, nullptr);
    }
    const std::string block = "file,samplePeakDbfs,truePeakDbtp,loudnessLufs,loudnessRangeLu,"
                              "momentaryMaxLufs,shortTermMaxLufs,layout,,";
    const std::string album = "albumSamplePeakDbfs,albumTruePeakDbtp,albumLoudnessLufs,albumLoudnessRangeLu,";
    EXPECT_EQ(keys, block + block + album);
    for (const char* key :
         { "samplePeakDbfs", "truePeakDbtp", "loudnessLufs", "momentaryMaxLufs", "shortTermMaxLufs",
           "albumSamplePeakDbfs", "albumTruePeakDbtp", "albumLoudnessLufs" })
        EXPECT_NEAR(last[key], -20.0, 0.05) << key;
    EXPECT_EQ(last["albumLoudnessRangeLu"], 0.0);
    // --album: the album's figures for one file too.
    const std::string one = OrvaCli("analyze --album '" + tone + "'").second;
    EXPECT_NE(one.find("layout=stereo\n\nalbumSamplePeakDbfs=-20.0"), std::string::npos) << one;
    // JSON: an object per file and one for the album; a level with nothing to measure is
    // null, with the reason.
    const auto [jsonStatus, json] = OrvaCli("analyze --json '" + silence + "' '" + tone + "'");
    EXPECT_EQ(jsonStatus, 0);
    EXPECT_EQ(
        json.substr(0, json.find('\n') + 1),
        "{\"file\":\"" + silence
            + R"(","samplePeakDbfs":null,"truePeakDbtp":null,"loudnessLufs":null,"loudnessRangeLu":null,)"
              R"("momentaryMaxLufs":null,"shortTermMaxLufs":null,"layout":"stereo","channels":2,)"
              R"("sampleRate":48000,"nullReasons":{"samplePeakDbfs":"silent","truePeakDbtp":"silent",)"
              R"("loudnessLufs":"belowGate","loudnessRangeLu":"tooShort","momentaryMaxLufs":"silent",)"
              R"("shortTermMaxLufs":"tooShort"}})"
              "\n");
    EXPECT_NE(json.find("\n{\"file\":\"" + tone + R"(","samplePeakDbfs":-20.0)"), std::string::npos) << json;
    EXPECT_NE(json.find("}\n{\"albumFiles\":2,\"albumSamplePeakDbfs\":-20.0"), std::string::npos) << json;
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 3);
    // Too low a rate for the K-weighting filter: no loudness, and the reason says so.
    std::vector<int> low;
    for (int i = 0; i < 2 * 2000 * 5; ++i)
        low.push_back(int(3000 * std::sin(2.0 * M_PI * 300.0 * (i / 2) / 2000.0)));
    const std::string lowRate = dir.Write("low.wav", PcmWave(2, 2000, 16, Words(low)));
    const std::string lowJson = OrvaCli("analyze --json '" + lowRate + "'").second;
    EXPECT_NE(lowJson.find(R"("loudnessLufs":null,)"), std::string::npos) << lowJson;
    EXPECT_NE(lowJson.find(R"("nullReasons":{"loudnessLufs":"unsupportedRate",)"), std::string::npos)
        << lowJson;
    // A file that does not probe is worded by its code, as the other commands do.
    EXPECT_EQ(OrvaCli("analyze '" + dir.File("none.wav") + "' '" + tone + "'", dir.File("err")).first, 1);
    const Bytes err = ReadFile(dir.File("err"));
    EXPECT_EQ(std::string(err.begin(), err.end()), dir.File("none.wav") + ": ファイルが開けません\n");
    EXPECT_EQ(OrvaCli("analyze").first, 2);
}

TEST_F(CliLoudness, NormalizeReachesEachTarget)
{
    const std::string tone = dir.Write("tone.wav", Tone(5, -17.3));
    const std::string spiky = dir.Write("spiky.wav", Tone(5, -40.0, 16000));
    const std::string s24 = dir.Write("s24.wav", WideTone("s24", 5, -17.3)),
                      s32 = dir.Write("s32.wav", WideTone("s32", 5, -25.0)),
                      f32 = dir.Write("f32.wav", WideTone("f32", 5, 4.5)),
                      f64 = dir.Write("f64.wav", WideTone("f64", 5, -30.0));
    // Layouts whose LFE or side channels the default channel order would weigh wrongly.
    const double x = -200;
    const std::string tone21 = dir.Write("21.wav", LayoutTone(0xB, { -30, -30, -10 })),
                      tone41 = dir.Write("41.wav", LayoutTone(0x3B, { -30, -30, -10, x, x })),
                      sides71 = dir.Write("71.wav", LayoutTone(0x63F, { x, x, x, x, x, x, -30, -30 })),
                      back60 = dir.Write("60.wav", LayoutTone(0x707, { x, x, x, -30, x, x }));
    const std::string out = dir.File("out.wav");
    struct Case {
        std::string source, args, key;
        double level;  // expected value of `key` in the output, within 0.1 dB
    };
    const Case cases[] = {
        { tone, "--mode sample --target -6", "samplePeakDbfs", -6.0 },
        { tone, "--mode true --target -1", "truePeakDbtp", -1.0 },
        { tone, "--mode true --target -1.5", "truePeakDbtp", -1.5 },
        { tone, "--mode loudness --target -14", "loudnessLufs", -14.0 },
        { tone, "--mode loudness", "loudnessLufs", -23.0 },
        // The spike would pass the ceiling at -20 LUFS: the gain stops at the ceiling.
        { spiky, "--mode loudness --target -20 --ceiling -2", "truePeakDbtp", -2.0 },
        // Every sample format, float above full scale included, scaled by its own rules.
        { s24, "--mode loudness --target -14", "loudnessLufs", -14.0 },
        { s24, "--mode true --target -1", "truePeakDbtp", -1.0 },
        { s32, "--mode sample --target -6", "samplePeakDbfs", -6.0 },
        { f32, "--mode loudness --target -16", "loudnessLufs", -16.0 },
        { f32, "--mode true --target -1", "truePeakDbtp", -1.0 },
        { f64, "--mode loudness --target -18", "loudnessLufs", -18.0 },
        { tone21, "--mode loudness --target -23", "loudnessLufs", -23.0 },
        { tone41, "--mode loudness --target -23", "loudnessLufs", -23.0 },
        { sides71, "--mode loudness --target -23", "loudnessLufs", -23.0 },
        { back60, "--mode loudness --target -23", "loudnessLufs", -23.0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        ASSERT_EQ(OrvaCli("normalize '" + c.source + "' '" + out + "' " + c.args).first, 0);
        const auto levels = Levels(out);
        EXPECT_NEAR(levels.at(c.key), c.level, 0.1);
        EXPECT_LE(levels.at("truePeakDbtp"), c.key == "truePeakDbtp" ? c.level + 0.1 : 0.0);
        EXPECT_EQ(ReadFile(out).size(), ReadFile(c.source).size());
    }
    for (const auto& [file, layout] : { std::pair(tone21, "2.1"), std::pair(sides71, "7.1"),
                                        std::pair(back60, "6.0"), std::pair(tone, "stereo") })
        EXPECT_NE(OrvaCli("analyze '" + file + "'").second.find(std::string("\nlayout=") + layout + "\n"),
                  std::string::npos)
            << layout;
}

TEST_F(CliLoudness, DefaultTargetIsTheClassicNormalizationAndSilenceIsCopied)
{
    const std::string tone = dir.Write("tone.wav", Tone(1, -7.7));
    const std::string classic = dir.File("classic.wav"), target = dir.File("target.wav");
    ASSERT_EQ(OrvaCli("normalize '" + tone + "' '" + classic + "'").first, 0);
    ASSERT_EQ(OrvaCli("normalize '" + tone + "' '" + target + "' --mode sample --target 0").first, 0);
    EXPECT_EQ(ReadFile(target), ReadFile(classic));

    const std::string quiet = dir.Write("quiet.wav", Tone(1, -90));
    const std::string err = dir.File("err.txt");
    EXPECT_EQ(OrvaCli("normalize '" + quiet + "' '" + target + "' --mode loudness", err).first, 0);
    EXPECT_EQ(ReadFile(target), ReadFile(quiet));
    EXPECT_FALSE(ReadFile(err).empty());

    for (const char* bad : { "--mode peak", "--target 1", "--mode loudness --target -3", "--ceiling 0.5",
                             "--mode true --peak 100", "--target" }) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(OrvaCli("normalize '" + tone + "' '" + target + "' " + bad).first, 2);
    }
}

}  // namespace
}  // namespace orva
