#include "notify/sstp.h"

#include "settings/sjis.h"
#include "tests/notify/loopback_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>

namespace orva {
namespace {

using test::LoopbackServer;
using Behaviour = LoopbackServer::Behaviour;
using Clock = std::chrono::steady_clock;

const std::string kHead = "SEND SSTP/1.0\r\nSender: ORVA\r\nScript: ";
const std::string kTail = "\\e\r\n\r\n";

Settings EnabledSettings(const LoopbackServer& server)
{
    Settings settings;
    settings.SstpEnabled = 1;
    settings.SstpPort = std::to_string(server.port());
    return settings;
}

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

/// A port on which nobody listens (bound once, then released).
int FreePort()
{
    LoopbackServer probe(Behaviour::CloseAtOnce);
    return probe.port();
}

TEST(SstpRequest, DefaultTemplateWithAFileName)
{
    LoopbackServer server(Behaviour::AnswerAndClose);
    SendSstpFileMessage(EnabledSettings(server), "a.wav");
    const auto requests = server.requests(1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0],
              kHead
                  + "\x81\x75"
                    "a.wav\x81\x76\x82\xcc\x90\xb3\x8b\x4b\x89\xbb\x82\xaa\x8f\x49"
                    "\x97\xb9\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x49"
                  + kTail);
}

TEST(SstpRequest, TemplateExpansion)
{
    struct Case {
        const char* templ;
        const char* expected;
    };
    const Case cases[] = {
        { "$S$S", "a.wava.wav" },
        { "[$s]", "[$s]" },
        { "cost $", "cost $" },
        { "$ S", "$ S" },
        { "$", "$" },
        { "", "" },
        { "\t$S", "\t$S" },  // a control byte takes the "$" as its pair
        { "\x82\xa0$S",
          "\x82\xa0"
          "a.wav" },             // a double-byte character does not hinder
        { "\x83$S", "\x83$S" },  // "$" is the second byte of a (bad) pair
        { "x\x82", "x\x82" },    // lead byte at the end
        { "\x8e\xa6$S!",
          "\x8e\xa6"
          "a.wav!" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExpandSstpTemplate(c.templ, "a.wav"), c.expected) << c.templ;

    // Over the wire: the file name becomes Shift-JIS; what it cannot hold becomes "?".
    LoopbackServer server(Behaviour::AnswerAndClose);
    Settings settings = EnabledSettings(server);
    settings.SstpFileMessage = "あ$S";
    SendSstpFileMessage(settings, "曲ö.wav");
    settings.SstpFileMessage = "";
    SendSstpFileMessage(settings, "a.wav");
    settings.SstpAllMessage = "\t$S 完了";  // the end-of-batch script goes unchanged
    SendSstpAllMessage(settings);
    const auto requests = server.requests(3);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0], kHead + "\x82\xa0\x8b\xc8?.wav" + kTail);
    EXPECT_EQ(requests[1], kHead + kTail);  // an empty template still sends
    EXPECT_EQ(requests[2], kHead + "\t$S \x8a\xae\x97\xb9" + kTail);
}

TEST(SstpRequest, FileNamesCannotAddHeaderLinesOrScriptTags)
{
    struct Case {
        std::string name;  // CP932
        std::string sent;
    };
    const Case cases[] = {
        { "a\r\nIfGhost: x\r\n\\![raise,OnEvil].wav", "a  IfGhost: x  \\\\![raise,OnEvil].wav" },
        { std::string("t\tz\x7f\0.wav", 9), "t z  .wav" },
        { "\x83\x5c\\e", "\x83\x5c\\\\e" },  // "ソ" ends in 0x5C and stays one character
        { "\x83\n", "\x83 " },               // a lead byte without its pair hides no control byte
        { "\\\\", "\\\\\\\\" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(EscapeSstpFileName(c.name), c.sent) << c.name;

    // On the wire, byte for byte; the template's own tags and escapes stay as typed.
    LoopbackServer server(Behaviour::AnswerAndClose);
    Settings settings = EnabledSettings(server);
    settings.SstpFileMessage = "\\h\\s[5]$S\\n";
    SendSstpFileMessage(settings, "a\r\nIfGhost: x\r\n\\![raise,OnEvil]ソ.wav");
    const auto requests = server.requests(1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], kHead + "\\h\\s[5]a  IfGhost: x  \\\\![raise,OnEvil]\x83\x5c.wav\\n" + kTail);

    // A cut never leaves an escaping "\" alone at the end, where it would escape "\e".
    EXPECT_EQ(BuildSstpRequest(std::string(467, 'x') + "\\\\yy"), kHead + std::string(467, 'x') + kTail);
    EXPECT_EQ(BuildSstpRequest(std::string(466, 'x') + "\\\\yy"),
              kHead + std::string(466, 'x') + "\\\\" + kTail);
    EXPECT_EQ(BuildSstpRequest(std::string(466, 'x') + "\x83\x5c\\"),
              kHead + std::string(466, 'x') + "\x83\x5c" + kTail);
}

TEST(SstpRequest, LongScriptsAreCutAtACharacterBoundary)
{
    // 512-byte buffer with its zero: 511 bytes at most.
    EXPECT_EQ(BuildSstpRequest(std::string(600, 'x')), kHead + std::string(468, 'x') + kTail);
    EXPECT_EQ(BuildSstpRequest(std::string(468, 'y')), kHead + std::string(468, 'y') + kTail);
    std::string wide = "x";  // double-byte characters from an odd offset: cut after 467 bytes
    for (int i = 0; i < 300; ++i)
        wide += "\x95\x5c";
    EXPECT_EQ(BuildSstpRequest(wide), kHead + wide.substr(0, 467) + kTail);

    LoopbackServer server(Behaviour::AnswerAndClose);
    SendSstpFileMessage(EnabledSettings(server), std::string(460, 'n') + "表表表表.wav");
    const auto requests = server.requests(1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], kHead + "\x81\x75" + std::string(460, 'n') + "\x95\x5c\x95\x5c\x95\x5c" + kTail);
}

TEST(SstpPort, LeadingNumberAndOnlyPositivePortsSend)
{
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        { "9801", 9801 },   { "0", 0 },
        { "-1", -1 },       { "abc", 0 },
        { "", 0 },          { "  80", 80 },
        { "+81", 81 },      { "9801abc", 9801 },
        { "75337", 75337 }, { "99999999999", 2147483647 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseSstpPort(c.text), c.expected) << c.text;

    LoopbackServer server(Behaviour::AnswerAndClose);
    for (const char* port : { "0", "-1", "abc", "-65536" }) {
        Settings settings = EnabledSettings(server);
        settings.SstpPort = port;
        SendSstpFileMessage(settings, "a.wav");
        SendSstpAllMessage(settings);
    }
    for (const int enabled : { 0, 2, -1 }) {
        Settings settings = EnabledSettings(server);
        settings.SstpEnabled = enabled;
        SendSstpFileMessage(settings, "a.wav");
        SendSstpAllMessage(settings);
    }
    EXPECT_EQ(server.connections(), 0);

    // Only the low 16 bits count: 65536 + port reaches the port.
    Settings settings = EnabledSettings(server);
    settings.SstpPort = std::to_string(65536 + server.port());
    SendSstpAllMessage(settings);
    EXPECT_EQ(server.requests(1).size(), 1u);
}

TEST(SstpExchange, ReturnsAtTheEndOfAnAnswerThatIsNotFollowedByAClose)
{
    LoopbackServer server(Behaviour::AnswerAndStayOpen);
    const auto start = Clock::now();
    const auto answer = SendSstpRequest("127.0.0.1", server.port(), BuildSstpRequest("hi"));
    EXPECT_LT(SecondsSince(start), 2.5);  // far below the 5 s limit
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, "SSTP/1.0 200 OK\r\nX-Note: a\r\n\r\n");
}

TEST(SstpExchange, ReturnsAtTheServersClose)
{
    LoopbackServer server(Behaviour::AnswerAndClose);
    const auto answer = SendSstpRequest("localhost", server.port(), BuildSstpRequest("hi"));
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, "SSTP/1.4 200 OK\r\nCharset: Shift_JIS\r\n\r\n");
    EXPECT_EQ(server.requests(1).at(0), kHead + "hi" + kTail);
}

TEST(SstpExchange, ASilentServerHoldsTheCallerOnlyUntilTheLimit)
{
    LoopbackServer server(Behaviour::Silent);
    auto start = Clock::now();
    const auto answer =
        SendSstpRequest("127.0.0.1", server.port(), BuildSstpRequest("hi"), std::chrono::milliseconds(300));
    EXPECT_LT(SecondsSince(start), 2.5);
    ASSERT_TRUE(answer.has_value());  // connected, nothing answered
    EXPECT_EQ(*answer, "");

    start = Clock::now();
    SendSstpAllMessage(EnabledSettings(server));  // with the real limit
    const double seconds = SecondsSince(start);
    EXPECT_GE(seconds, 4.5);
    EXPECT_LT(seconds, 8.0);
    EXPECT_EQ(server.requests(2).size(), 2u);
}

TEST(SstpExchange, FailuresEndTheCallAtOnceAndSilently)
{
    const auto start = Clock::now();
    EXPECT_FALSE(SendSstpRequest("127.0.0.1", FreePort(), BuildSstpRequest("x")).has_value());
    EXPECT_FALSE(SendSstpRequest("no-such-host.invalid", 9801, BuildSstpRequest("x")).has_value());
    EXPECT_FALSE(SendSstpRequest("", 9801, BuildSstpRequest("x")).has_value());
    EXPECT_FALSE(SendSstpRequest("999.1.1.1", 9801, BuildSstpRequest("x")).has_value());
    EXPECT_LT(SecondsSince(start), 2.5);

    // Writing into a connection the server has closed does not kill the program.
    LoopbackServer server(Behaviour::CloseAtOnce);
    const std::string huge(4 << 20, 'z');
    for (int i = 0; i < 3; ++i)
        SendSstpRequest("127.0.0.1", server.port(), huge, std::chrono::milliseconds(500));
    EXPECT_EQ(server.connections(), 3);
}

TEST(SstpExchange, NameResolutionIsBoundedByTheLimit)
{
    // A lookup that never answers (a name server that does not reply) is given up.
    auto release = std::make_shared<std::promise<void>>();
    const std::shared_future<void> released = release->get_future().share();
    const SstpResolver hanging = [released](const std::string&) -> std::optional<std::uint32_t> {
        released.wait();
        return 0x0100007f;
    };
    EXPECT_FALSE(ResolveSstpServer("never.example", std::chrono::milliseconds(50), hanging).has_value());
    release->set_value();

    const SstpResolver none = [](const std::string&) -> std::optional<std::uint32_t> { return std::nullopt; };
    EXPECT_FALSE(ResolveSstpServer("x", kSstpWaitLimit, none).has_value());
    EXPECT_EQ(ResolveSstpServer("127.0.0.1", kSstpWaitLimit),
              std::optional<std::uint32_t>(htonl(0x7f000001)));
    EXPECT_EQ(ResolveSstpServerNow("localhost"), std::optional<std::uint32_t>(htonl(0x7f000001)));
}

TEST(SstpCli, NotifySendsThroughTheSettingsFile)
{
#ifndef ORVA_CLI_PATH
    GTEST_SKIP() << "orva-cli is not part of this build";
#else
    const std::string cli = ORVA_CLI_PATH;

    LoopbackServer server(Behaviour::AnswerAndStayOpen);
    const std::string ini =
        (std::filesystem::temp_directory_path() / ("orva-notify-" + std::to_string(::getpid()) + ".ini"))
            .string();
    std::ofstream(ini, std::ios::binary)
        << "[SSTP]\r\nSTATE=1\r\nONE=<$S>\r\nALL=\x8f\x49\x82\xed\x82\xe8\r\nPORT=" << server.port()
        << "\r\n";
    const std::string command = "'" + cli + "' notify --settings '" + ini + "'";
    EXPECT_EQ(std::system((command + " --file 'b c.wav'").c_str()), 0);
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::filesystem::remove(ini);

    const auto requests = server.requests(2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], kHead + "<b c.wav>" + kTail);
    EXPECT_EQ(requests[1], kHead + "\x8f\x49\x82\xed\x82\xe8" + kTail);
#endif
}

}  // namespace
}  // namespace orva
