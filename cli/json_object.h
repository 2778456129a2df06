#pragma once
// One JSON object on one line, for the --json output of orva-cli's reports: keys in the
// order they are added, numbers as numbers, a level of -infinity as null with the reason
// beside it (in "nullReasons", a key per null level).

#include <string>
#include <utility>
#include <vector>

namespace orva::cli {

class JsonObject {
public:
    /// A string value; bytes that are not UTF-8 (a path may hold any) become U+FFFD.
    JsonObject& Text(const char* key, const std::string& value);
    /// A whole number.
    JsonObject& Integer(const char* key, long long value);
    /// A number written as printf's `format` writes it (a JSON number).
    JsonObject& Number(const char* key, double value, const char* format);
    /// A level in dB with two decimals, as the key=value output writes it; -infinity (or NaN)
    /// is null, and `reason` (a short code such as "silent") says why.
    JsonObject& Level(const char* key, double db, const char* reason);
    /// A value written out already (true, false, another object).
    JsonObject& Raw(const char* key, const std::string& json);

    /// The object as one line, with its newline.
    std::string Line() const;

private:
    std::vector<std::pair<std::string, std::string>> members_;
    std::vector<std::pair<std::string, std::string>> reasons_;
};

/// `text` as a JSON string literal, quotes included.
std::string JsonString(const std::string& text);

}  // namespace orva::cli
