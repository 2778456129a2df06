// Profile (INI) files kept as their raw bytes: lookups parse the lines on demand, writes
// splice the bytes in place, so everything a write does not touch stays as it was.

#include "settings/profile.h"

#include "settings/sjis.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace orva {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

/// Blanks as the profile functions trim them (C-locale space characters and Ctrl-Z).
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == '\x1a';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

/// Case-insensitive for ASCII letters; the second byte of a double-byte CP932 character
/// (which may look like a letter) is compared exactly.
bool NamesEqual(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (IsShiftJisLeadByte(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1])
                return false;
            ++i;
        } else if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

/// One pair of matching surrounding quotes (" or ') is removed, as Windows does.
std::string_view Unquote(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

/// How a value is stored so that it reads back as given: line breaks would end the line
/// and become blanks; surrounding blanks or quotes would be stripped, so then the value
/// goes inside one more pair of quotes (which Windows strips the same way).
std::string EncodeValue(std::string_view value)
{
    std::string stored(value);
    for (char& c : stored) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    if (!stored.empty()
        && (IsBlank(stored.front()) || IsBlank(stored.back()) || Unquote(stored).size() != stored.size()))
        stored = '"' + stored + '"';
    return stored;
}

bool ReadWholeFile(const std::string& path, std::string& content, bool& readable)
{
    content.clear();
    readable = true;
    // O_NONBLOCK: a FIFO at the path must not hang the program; only regular files count.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        readable = (errno == ENOENT || errno == ENOTDIR);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        readable = false;
        return false;
    }
    char buffer[16384];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count == 0)
            break;
        if (count < 0) {
            if (errno == EINTR)
                continue;
            readable = false;
            content.clear();
            break;
        }
        content.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    return readable;
}

bool WriteAll(int fd, const std::string& data)
{
    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t count = ::write(fd, data.data() + written, data.size() - written);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        written += static_cast<std::size_t>(count);
    }
    return true;
}

std::string DirectoryOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

struct ProfileFile::Entry {
    bool sectionFound = false;
    bool keyFound = false;
    std::size_t insertLine = 0;  ///< index of the section's last non-blank line
    std::size_t valueBegin = 0;  ///< offsets of the raw value (after "=" and its blanks)
    std::size_t valueEnd = 0;    ///< end of the line's text
    std::string_view value;      ///< trimmed value, quotes still on
};

ProfileFile::ProfileFile(std::string path, std::string newLineEnd)
    : path_(std::move(path)), newLineEnd_(std::move(newLineEnd))
{
    ReadWholeFile(path_, content_, readable_);
}

std::vector<ProfileFile::Line> ProfileFile::SplitLines() const
{
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < content_.size()) {
        const std::size_t newline = content_.find('\n', pos);
        Line line;
        line.begin = pos;
        if (newline == std::string::npos) {
            line.end = line.next = content_.size();
        } else {
            line.end = (newline > pos && content_[newline - 1] == '\r') ? newline - 1 : newline;
            line.next = newline + 1;
        }
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

bool ProfileFile::FindEntry(std::string_view section, std::string_view key, Entry& entry) const
{
    entry = Entry {};
    const std::vector<Line> lines = SplitLines();
    const std::string_view content(content_);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::size_t rawBegin = lines[i].begin;
        if (i == 0 && content.substr(0, lines[i].end).starts_with(kUtf8Mark))
            rawBegin += kUtf8Mark.size();  // the UTF-8 mark is not part of the first section name
        const std::string_view raw = content.substr(rawBegin, lines[i].end - rawBegin);
        const std::string_view text = Trim(raw);
        if (text.empty())
            continue;
        if (text.front() == '[') {
            const std::size_t close = text.rfind(']');
            if (close != std::string_view::npos) {
                if (entry.sectionFound)
                    return false;  // only the first section of a name counts
                if (NamesEqual(Trim(text.substr(1, close - 1)), section)) {
                    entry.sectionFound = true;
                    entry.insertLine = i;
                }
                continue;
            }
        }
        if (!entry.sectionFound)
            continue;
        entry.insertLine = i;
        if (text.front() == ';')
            continue;  // comment
        const std::size_t equals = raw.find('=');
        if (equals == std::string_view::npos || !NamesEqual(Trim(raw.substr(0, equals)), key))
            continue;
        std::size_t valueBegin = equals + 1;
        while (valueBegin < raw.size() && IsBlank(raw[valueBegin]))
            ++valueBegin;
        entry.keyFound = true;
        entry.valueBegin = rawBegin + valueBegin;
        entry.valueEnd = lines[i].end;
        entry.value = Trim(raw.substr(valueBegin));
        return true;
    }
    return false;
}

std::string ProfileFile::LineEnd() const
{
    const std::size_t newline = content_.find('\n');
    if (newline == std::string::npos)
        return newLineEnd_;  // nothing to follow yet; "\r\n" (what Windows writes) by default
    return (newline > 0 && content_[newline - 1] == '\r') ? "\r\n" : "\n";
}

bool ProfileFile::Contains(std::string_view section, std::string_view key) const
{
    Entry entry;
    return FindEntry(section, key, entry);
}

int ProfileFile::GetInt(std::string_view section, std::string_view key, int defaultValue) const
{
    Entry entry;
    if (!FindEntry(section, key, entry))
        return defaultValue;
    const std::string_view value = Unquote(entry.value);
    if (value.empty())
        return defaultValue;
    return ParseProfileInt(value);
}

std::string ProfileFile::GetString(std::string_view section, std::string_view key,
                                   std::string_view defaultValue) const
{
    Entry entry;
    if (!FindEntry(section, key, entry)) {
        while (!defaultValue.empty() && IsBlank(defaultValue.back()))
            defaultValue.remove_suffix(1);  // Windows strips a default's trailing blanks
        return std::string(defaultValue);
    }
    return std::string(Unquote(entry.value));
}

void ProfileFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    const std::string stored = EncodeValue(value);
    Entry entry;
    FindEntry(section, key, entry);
    if (entry.keyFound) {
        content_.replace(entry.valueBegin, entry.valueEnd - entry.valueBegin, stored);
        return;
    }
    const std::string lineEnd = LineEnd();
    const std::string keyLine = std::string(key) + "=" + stored;
    if (entry.sectionFound) {
        const Line after = SplitLines()[entry.insertLine];
        if (after.next == after.end)  // last line of the file, without a line end
            content_.insert(after.end, lineEnd + keyLine);
        else
            content_.insert(after.next, keyLine + lineEnd);
        return;
    }
    if (!content_.empty() && content_.back() != '\n' && content_ != kUtf8Mark)
        content_ += lineEnd;
    content_ += "[" + std::string(section) + "]" + lineEnd + keyLine + lineEnd;
}

bool ProfileFile::IsUtf8() const { return std::string_view(content_).starts_with(kUtf8Mark); }

void ProfileFile::ConvertToUtf8()
{
    if (!IsUtf8())
        content_ = std::string(kUtf8Mark) + FromShiftJis(content_);
}

bool ProfileFile::Save() const
{
    if (!readable_)
        return false;  // never replace a file whose content we could not see

    // Write through a symbolic link to the file it names, not over the link.
    std::string target = path_;
    struct stat info {};
    if (::lstat(path_.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* resolved = ::realpath(path_.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    }
    const bool exists = ::stat(target.c_str(), &info) == 0;
    // A read-only settings file stays as it is, even for root (who could write it anyway).
    if (exists
        && (!S_ISREG(info.st_mode) || (info.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0))
        return false;

    static std::atomic<unsigned> counter { 0 };
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    bool ok = true;
    if (exists) {
        ok = ::fchmod(fd, info.st_mode & 07777) == 0;
        if (ok && ::fchown(fd, info.st_uid, info.st_gid) != 0) {
            // Not the owner: the file keeps our ownership, its permission bits are kept.
        }
    }
    ok = ok && WriteAll(fd, content_) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    const int dir = ::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

int ParseProfileInt(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size() && IsBlank(text[pos]))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        negative = text[pos] == '-';
        ++pos;
    }
    std::uint32_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos)
        value = value * 10u + static_cast<std::uint32_t>(text[pos] - '0');
    if (negative)
        value = 0u - value;
    return static_cast<int>(value);  // two's complement: wraps like a 32-bit int
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                         const std::string& path)
{
    return ProfileFile(path).GetInt(section, key, defaultValue);
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, const std::string& path)
{
    return ProfileFile(path).GetString(section, key, defaultValue);
}

bool WritePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               const std::string& path)
{
    ProfileFile file(path);
    file.WriteString(section, key, value);
    return file.Save();
}

}  // namespace orva
