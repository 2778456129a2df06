#include "cli/json_object.h"

#include <cmath>
#include <cstdio>

namespace orva::cli {
namespace {

// The length of the UTF-8 sequence at text[at], or 0 when it is not one (overlong forms,
// surrogates and values past U+10FFFF included).
size_t Utf8Length(const std::string& text, size_t at)
{
    const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned lead = byte(at);
    size_t length = 0;
    unsigned value = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, value = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, value = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, value = lead & 0x07;
    else
        return 0;
    if (at + length > text.size())
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        value = value << 6 | (byte(at + i) & 0x3F);
    }
    if ((length == 3 && (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF)))
        || (length == 4 && (value < 0x10000 || value > 0x10FFFF)))
        return 0;
    return length;
}

}  // namespace

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (size_t at = 0; at < text.size();) {
        const size_t length = Utf8Length(text, at);
        const char c = text[at];
        if (length == 0) {
            out += "\\ufffd";
            ++at;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x",
                          static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += escaped;
        } else {
            out.append(text, at, length);
        }
        at += length;
    }
    return out + "\"";
}

JsonObject& JsonObject::Text(const char* key, const std::string& value)
{
    return Raw(key, JsonString(value));
}

JsonObject& JsonObject::Integer(const char* key, long long value) { return Raw(key, std::to_string(value)); }

JsonObject& JsonObject::Number(const char* key, double value, const char* format)
{
    if (!std::isfinite(value))
        return Raw(key, "null");
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return Raw(key, text);
}

JsonObject& JsonObject::Level(const char* key, double db, const char* reason)
{
    if (!std::isfinite(db)) {
        reasons_.emplace_back(key, JsonString(reason));
        return Raw(key, "null");
    }
    return Number(key, db, "%.2f");
}

JsonObject& JsonObject::Raw(const char* key, const std::string& json)
{
    members_.emplace_back(key, json);
    return *this;
}

std::string JsonObject::Line() const
{
    const auto join = [](const std::vector<std::pair<std::string, std::string>>& members) {
        std::string out = "{";
        for (const auto& [key, value] : members) {
            if (out.size() > 1)
                out += ',';
            out += JsonString(key) + ':' + value;
        }
        return out + '}';
    };
    std::string line = join(members_);
    if (!reasons_.empty())
        line.insert(line.size() - 1,
                    std::string(members_.empty() ? "" : ",") + "\"nullReasons\":" + join(reasons_));
    return line + '\n';
}

}  // namespace orva::cli
