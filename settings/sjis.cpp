// CP932 conversions through iconv (glibc's "CP932" module, which holds the Windows
// extensions such as "～" U+FF5E and "①" that plain SHIFT_JIS lacks).

#include "settings/sjis.h"

#include <iconv.h>

#include <cerrno>

namespace orva {
namespace {

/// One iconv descriptor per thread and direction, opened on first use, closed at thread exit.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (Valid())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    /// Converts one unit of input (a whole character) into out; false when it cannot.
    bool ConvertUnit(std::string_view in, std::string& out)
    {
        if (!Valid())
            return false;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        char buffer[16];
        char* inPtr = const_cast<char*>(in.data());
        std::size_t inLeft = in.size();
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0)
            return false;
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        return true;
    }

private:
    iconv_t cd_;
};

Converter& ToShiftJisConverter()
{
    thread_local Converter converter("CP932", "UTF-8");
    return converter;
}

Converter& FromShiftJisConverter()
{
    thread_local Converter converter("UTF-8", "CP932");
    return converter;
}

/// Length of the well-formed UTF-8 character at the start of text, 0 when malformed.
std::size_t Utf8CharLength(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    else
        return 0;
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
    }
    // Overlong forms, surrogates and code points above U+10FFFF.
    if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) > 0x9F)
        || (lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) > 0x8F))
        return 0;
    return length;
}

/// Walks UTF-8 text character by character, calling sink(utf8Char, cp932Bytes) for each;
/// stops early when sink returns false.
template <typename Sink> void ForEachShiftJisChar(std::string_view utf8, Sink sink)
{
    Converter& converter = ToShiftJisConverter();
    std::string converted;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const std::size_t length = Utf8CharLength(utf8.substr(pos));
        const std::string_view unit = utf8.substr(pos, length == 0 ? 1 : length);
        converted.clear();
        if (length == 1) {
            converted.push_back(unit[0]);  // ASCII is the same in CP932
        } else if (length == 0 || !converter.ConvertUnit(unit, converted)) {
            converted = "?";
        }
        if (!sink(unit, std::string_view(converted)))
            return;
        pos += unit.size();
    }
}

}  // namespace

bool IsShiftJisLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

std::string ToShiftJis(std::string_view utf8)
{
    std::string result;
    result.reserve(utf8.size());
    ForEachShiftJisChar(utf8, [&](std::string_view, std::string_view sjis) {
        result.append(sjis);
        return true;
    });
    return result;
}

std::size_t ShiftJisLength(std::string_view utf8)
{
    std::size_t length = 0;
    ForEachShiftJisChar(utf8, [&](std::string_view, std::string_view sjis) {
        length += sjis.size();
        return true;
    });
    return length;
}

bool FitsShiftJis(std::string_view utf8)
{
    // Round trip rather than a search for "?": a character CP932 holds only as another one
    // (several Unicode forms share one CP932 code) does not come back either.
    return FromShiftJis(ToShiftJis(utf8)) == utf8;
}

std::string CutToShiftJisLength(std::string_view utf8, std::size_t maxBytes)
{
    std::size_t sjisLength = 0;
    std::size_t utf8Length = 0;
    ForEachShiftJisChar(utf8, [&](std::string_view unit, std::string_view sjis) {
        if (sjisLength + sjis.size() > maxBytes)
            return false;
        sjisLength += sjis.size();
        utf8Length += unit.size();
        return true;
    });
    return std::string(utf8.substr(0, utf8Length));
}

std::string FromShiftJis(std::string_view shiftJis)
{
    Converter& converter = FromShiftJisConverter();
    std::string result;
    result.reserve(shiftJis.size() * 3 / 2);
    std::size_t pos = 0;
    while (pos < shiftJis.size()) {
        const auto lead = static_cast<unsigned char>(shiftJis[pos]);
        if (lead < 0x80) {
            result.push_back(static_cast<char>(lead));
            ++pos;
            continue;
        }
        const std::size_t length = IsShiftJisLeadByte(lead) && pos + 1 < shiftJis.size() ? 2 : 1;
        if (converter.ConvertUnit(shiftJis.substr(pos, length), result)) {
            pos += length;
        } else {
            // Not CP932: one "?" for the byte; a failed pair gives its second byte its own try
            // only when that byte could not belong to the pair (ASCII control or blank).
            result.push_back('?');
            const bool trailIsPlainAscii =
                length == 2 && static_cast<unsigned char>(shiftJis[pos + 1]) < 0x40;
            pos += (length == 2 && !trailIsPlainAscii) ? 2 : 1;
        }
    }
    return result;
}

std::string_view CutShiftJis(std::string_view shiftJis, std::size_t maxBytes)
{
    if (shiftJis.size() <= maxBytes)
        return shiftJis;
    std::size_t pos = 0;
    while (pos < maxBytes) {
        const std::size_t length = IsShiftJisLeadByte(static_cast<unsigned char>(shiftJis[pos])) ? 2 : 1;
        if (pos + length > maxBytes)
            break;
        pos += length;
    }
    return shiftJis.substr(0, pos);
}

}  // namespace orva
