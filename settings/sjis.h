#pragma once
// Shift-JIS (Windows code page 932) at the program's boundaries: the settings file and the
// SSTP wire hold CP932 bytes, everything else in the program is UTF-8.
// All functions are thread-safe (each thread keeps its own converters).

#include <cstddef>
#include <string>
#include <string_view>

namespace orva {

/// Longest text, in CP932 bytes, that a text setting holds (a 256-byte field with its zero).
inline constexpr std::size_t kMaxShiftJisTextBytes = 255;

/// UTF-8 to CP932. A character CP932 cannot hold, and every byte of malformed UTF-8,
/// becomes one "?".
std::string ToShiftJis(std::string_view utf8);

/// CP932 to UTF-8. A byte (or byte pair) that is not valid CP932 becomes one "?".
std::string FromShiftJis(std::string_view shiftJis);

/// Length in bytes of the UTF-8 text once converted to CP932 (what ToShiftJis would give).
std::size_t ShiftJisLength(std::string_view utf8);

/// The longest leading part of the UTF-8 text whose CP932 form has at most maxBytes bytes;
/// it never ends inside a character.
std::string CutToShiftJisLength(std::string_view utf8, std::size_t maxBytes);

/// True when the UTF-8 text converts to CP932 and back unchanged (no "?" in its place).
bool FitsShiftJis(std::string_view utf8);

/// True for a CP932 lead byte (0x81-0x9F, 0xE0-0xFC): the first byte of a double-byte character.
bool IsShiftJisLeadByte(unsigned char byte);

/// The longest leading part of CP932 bytes with at most maxBytes bytes that does not end
/// between the two bytes of a double-byte character.
std::string_view CutShiftJis(std::string_view shiftJis, std::size_t maxBytes);

}  // namespace orva
