#pragma once
// SSTP notifier: tells a desktop-mascot server that a file or a whole batch is done.
// One TCP connection per message ("SEND SSTP/1.0", Shift-JIS, no charset header).
// Runs on the batch worker thread and blocks it for a bounded time; every failure is silent.

#include "settings/settings.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace orva {

/// Upper bound of each wait of one message: the connect, and the wait for the answer.
inline constexpr std::chrono::milliseconds kSstpWaitLimit { 5000 };

/// Longest script (CP932 bytes) a request holds: 512-byte buffer, its zero, 43 fixed bytes.
inline constexpr std::size_t kMaxSstpScriptBytes = 468;

/// Port from its text: leading blanks, optional sign, digits up to the first other
/// character; no number gives 0.
int ParseSstpPort(std::string_view portText);

/// Replaces "$S" in a CP932 template with the CP932 file name. A byte whose signed value
/// is below 0x20 (control bytes, bytes 0x80 and up) takes the byte after it unexamined.
std::string ExpandSstpTemplate(std::string_view templateShiftJis, std::string_view fileNameShiftJis);

/// A CP932 file name made safe to stand inside a script: CR, LF and every other control
/// byte become a blank (they would end the header line and start another) and "\" goes as
/// "\\" (alone it would start a script tag). Double-byte characters pass whole, so a second
/// byte 0x5C (as in the character 0x95 0x5C) stays as it is.
std::string EscapeSstpFileName(std::string_view fileNameShiftJis);

/// The complete request for a CP932 script; a script longer than kMaxSstpScriptBytes is
/// cut at a character boundary first, and never between a "\" and the byte it escapes,
/// so the request always ends with "\\e\r\n\r\n".
std::string BuildSstpRequest(std::string_view scriptShiftJis);

/// Looks a server name up; the IPv4 address in network byte order, nullopt when none.
using SstpResolver = std::function<std::optional<std::uint32_t>(const std::string& server)>;

/// The system's lookup: a dotted IPv4 address as it is, otherwise name resolution.
std::optional<std::uint32_t> ResolveSstpServerNow(const std::string& server);

/// Runs `resolve` on a thread of its own and gives up after `waitLimit` (the system's own
/// retries can take far longer); a lookup still running then ends in the background.
std::optional<std::uint32_t> ResolveSstpServer(const std::string& server, std::chrono::milliseconds waitLimit,
                                               const SstpResolver& resolve = ResolveSstpServerNow);

/// Sends one request to server:port (only the low 16 bits of port count): resolves the name
/// and connects (each within waitLimit), then waits for the server's close, the empty line
/// ending its answer, a read error or waitLimit. Returns what the server answered once a
/// connection stood, nullopt when none was made.
std::optional<std::string> SendSstpRequest(const std::string& server, int port, std::string_view request,
                                           std::chrono::milliseconds waitLimit = kSstpWaitLimit);

/// Per-file message: SstpFileMessage with "$S" standing for the file name (UTF-8, the list
/// entry's caption; escaped by EscapeSstpFileName, while the template the user typed goes
/// as it is). Does nothing unless SstpEnabled is 1 and the port is positive.
void SendSstpFileMessage(const Settings& settings, const std::string& fileNameUtf8);

/// End-of-batch message: SstpAllMessage as it is. Same conditions as the per-file message.
void SendSstpAllMessage(const Settings& settings);

}  // namespace orva
