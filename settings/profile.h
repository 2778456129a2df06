#pragma once
// A profile (INI) file store that reads and writes the files of the Windows profile
// functions the same way, so ORVA.INI moves between both worlds unchanged.
//
// Rules: section and key names match regardless of ASCII letter case; the first section
// of a name is the one used; a value loses surrounding blanks and then one pair of
// matching surrounding quotes (" or '); an integer value is its leading decimal number
// with an optional sign ("12abc" is 12, "abc" is 0; a missing key or empty value gives
// the default). A write replaces a value in place, appends a new key after the last line
// of its section and a new section at the end of the file, and keeps every other byte
// (comments, unknown keys and sections, line ends) as it was.
//
// Names and values are byte strings exactly as in the file: CP932 for ORVA.INI, or UTF-8
// when the file starts with the UTF-8 byte-order mark.
// Not thread-safe per object; the settings file is used from the GUI thread only.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orva {

/// One profile file held in memory: read once, changed in memory, saved atomically.
class ProfileFile {
public:
    /// Reads the file now. A missing file reads as empty; a file that exists but cannot
    /// be read reads as empty too and is then never overwritten by Save(). `newLineEnd` is
    /// what lines end with while the content has no line end to follow (a new file).
    explicit ProfileFile(std::string path, std::string newLineEnd = "\r\n");

    /// Path given to the constructor.
    const std::string& Path() const { return path_; }

    /// True when the value was found (section and key present).
    bool Contains(std::string_view section, std::string_view key) const;

    /// GetPrivateProfileInt: the value's leading decimal number, or defaultValue when the
    /// key is missing or its value empty.
    int GetInt(std::string_view section, std::string_view key, int defaultValue) const;

    /// GetPrivateProfileString: the value trimmed and unquoted, or defaultValue when the
    /// key is missing. Not cut: the caller limits the length.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view defaultValue) const;

    /// WritePrivateProfileString, in memory only. Line breaks in the value become blanks
    /// (they would end the line); a value that would not read back as written (surrounding
    /// blanks or quotes) is written inside one pair of double quotes.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);

    /// Writes the content beside the file and renames it over the file, keeping the file's
    /// permission bits. Returns false, leaving the file untouched, when the file is
    /// read-only, the folder is not writable, or the file could not be read at start.
    bool Save() const;

    /// True when the content starts with the UTF-8 byte-order mark: its texts are UTF-8.
    bool IsUtf8() const;

    /// Turns CP932 content into UTF-8 with the byte-order mark in front (in memory only);
    /// content that is UTF-8 already stays as it is.
    void ConvertToUtf8();

    /// The whole file content as it would be saved.
    const std::string& Content() const { return content_; }

private:
    struct Line {
        std::size_t begin;  ///< offset of the line's first byte in content_
        std::size_t end;    ///< offset just past the line's text (before its line end)
        std::size_t next;   ///< offset of the next line (past the line end)
    };
    struct Entry;
    bool FindEntry(std::string_view section, std::string_view key, Entry& entry) const;
    std::vector<Line> SplitLines() const;
    std::string LineEnd() const;

    std::string path_;
    std::string content_;
    std::string newLineEnd_;
    bool readable_ = true;  ///< false when the file exists but could not be read
};

/// GetPrivateProfileIntA over a file path.
int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                         const std::string& path);

/// GetPrivateProfileStringA over a file path (whole value, not cut).
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, const std::string& path);

/// WritePrivateProfileStringA over a file path; saves at once (atomically). False on failure.
bool WritePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               const std::string& path);

/// The leading decimal number of a text as the profile functions read it: leading blanks,
/// an optional sign, digits up to the first other byte (none: 0); wraps like a 32-bit
/// unsigned accumulator on overflow.
int ParseProfileInt(std::string_view text);

}  // namespace orva
