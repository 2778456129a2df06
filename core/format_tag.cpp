#include "core/format_tag.h"

#include <algorithm>
#include <iterator>

namespace orva {
namespace {

struct TagName {
    unsigned tag;
    const char* name;
};

// Registered WAVE format tags with the names codec drivers usually give them; sorted by tag.
constexpr TagName kTagNames[] = {
    { 0x0001, "PCM" },
    { 0x0002, "Microsoft ADPCM" },
    { 0x0003, "IEEE Float" },
    { 0x0005, "IBM CVSD" },
    { 0x0006, "CCITT A-Law" },
    { 0x0007, "CCITT u-Law" },
    { 0x0008, "Microsoft DTS" },
    { 0x0009, "Microsoft DRM" },
    { 0x000A, "Windows Media Audio 9 Voice" },
    { 0x0010, "OKI ADPCM" },
    { 0x0011, "IMA ADPCM" },
    { 0x0012, "Videologic MediaSpace ADPCM" },
    { 0x0013, "Sierra ADPCM" },
    { 0x0014, "Antex G.723 ADPCM" },
    { 0x0015, "DSP Solutions DIGISTD" },
    { 0x0016, "DSP Solutions DIGIFIX" },
    { 0x0017, "Dialogic OKI ADPCM" },
    { 0x0020, "Yamaha ADPCM" },
    { 0x0021, "Speech Compression SONARC" },
    { 0x0022, "DSP Group TrueSpeech" },
    { 0x0023, "Echo Speech EchoSC1" },
    { 0x0030, "Dolby AC-2" },
    { 0x0031, "GSM 6.10" },
    { 0x0032, "MSN Audio" },
    { 0x0040, "Antex G.721 ADPCM" },
    { 0x0041, "Antex G.728 CELP" },
    { 0x0042, "Microsoft G.723.1" },
    { 0x0050, "MPEG" },
    { 0x0055, "MPEG Layer-3" },
    { 0x0064, "G.726 ADPCM" },
    { 0x0065, "G.722 ADPCM" },
    { 0x0092, "Dolby AC3 SPDIF" },
    { 0x0160, "Windows Media Audio" },
    { 0x0161, "Windows Media Audio 9" },
    { 0x0162, "Windows Media Audio 9 Professional" },
    { 0x0163, "Windows Media Audio 9 Lossless" },
    { 0x0200, "Creative Labs ADPCM" },
    { 0x0300, "Fujitsu FM Towns Snd" },
    { 0x1000, "Olivetti GSM" },
    { 0x1600, "MPEG-2 AAC (ADTS)" },
    { 0x1610, "MPEG-4 HE-AAC" },
    { 0x2000, "Dolby AC3" },
    { 0xF1AC, "FLAC" },
    { 0xFFFE, "Extensible" },
};

}  // namespace

std::string FormatTagName(unsigned formatTag)
{
    const auto it = std::lower_bound(std::begin(kTagNames), std::end(kTagNames), formatTag,
                                     [](const TagName& entry, unsigned tag) { return entry.tag < tag; });
    if (it != std::end(kTagNames) && it->tag == formatTag)
        return it->name;
    return "Unknown";
}

}  // namespace orva
