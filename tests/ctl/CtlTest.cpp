#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "CtlParser.h"
#include "CtlRunner.h"
#include "ctl/FakeKeyerLink.h"

namespace pelkora {
namespace {

using test::FakeKeyerLink;
using Outcome = KeyerLink::Reply::Outcome;

struct LineResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// The whole way of a command line: parsed, then carried out on the fake.
LineResult runLine(const std::vector<std::string>& args, FakeKeyerLink& link) {
    std::ostringstream out;
    std::ostringstream err;
    const auto parsed = CtlParser::parse(args, out, err);
    LineResult run;
    run.exitCode =
        parsed.request ? CtlRunner(link, out, err).run(*parsed.request) : parsed.exitCode;
    run.out = out.str();
    run.err = err.str();
    return run;
}

struct MappingCase {
    std::vector<std::string> args;
    std::vector<std::string> calls;
};

TEST(CtlMapping, EachVerbMakesItsCalls) {
    const MappingCase cases[] = {
        {{"play", "~[tx]~[ec]~[rx]", "--call", "DL1ABC", "--rs", "59"},
         {"PlayMacros('~[tx]~[ec]~[rx]', 'DL1ABC', '59')"}},
        // Empty fields leave the keyer's call and report as they are.
        {{"play", "~[fcq.wav]"}, {"PlayMacros('~[fcq.wav]', '', '')"}},
        {{"play", "--rs", "57", "~[er]"}, {"PlayMacros('~[er]', '', '57')"}},
        {{"key", "F1"}, {"Control(1)"}},
        {{"key", "f5"}, {"Control(5)"}},
        {{"key", "12"}, {"Control(12)"}},
        {{"tx", "on"}, {"StartPlay()"}},
        {{"tx", "off"}, {"StopPlay()"}},
        {{"pause"}, {"Control(101)"}},
        {{"resume"}, {"Control(100)"}},
        {{"code", "111"}, {"Control(111)"}},
        {{"code", "-7"}, {"Control(-7)"}},
        {{"code", "2147483647"}, {"Control(2147483647)"}},
        {{"code", "-2147483648"}, {"Control(-2147483648)"}},
        {{"show"}, {"Show()"}},
        {{"hide"}, {"Hide()"}},
        {{"set-start-dir", "/home/op/pelkora dir"}, {"SetStartDir('/home/op/pelkora dir')"}},
        {{"geometry"}, {"get Left", "get Top", "get Width", "get Height"}},
        {{"geometry", "-20", "10", "552", "349"},
         {"set Left=-20", "set Top=10", "set Width=552", "set Height=349"}},
        {{"monitor"}, {"monitor"}},
    };
    for (const MappingCase& c : cases) {
        SCOPED_TRACE(c.args.front() + (c.args.size() > 1 ? " " + c.args[1] : ""));
        FakeKeyerLink link;
        const LineResult run = runLine(c.args, link);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(link.calls, c.calls);
        EXPECT_EQ(run.err, "");
    }
}

struct UsageCase {
    std::vector<std::string> args;
    std::string message;  // a piece of the one-line reason
};

TEST(CtlMapping, BadLinesAreRefusedBeforeAnythingIsSent) {
    const UsageCase cases[] = {
        {{}, "subcommand is required"},
        {{"transmit"}, "transmit"},
        {{"play"}, "MACRO is required"},
        {{"play", "~[tx]", "--call"}, "--call"},
        {{"key", "F0"}, "'F0' is not F1..F12"},
        {{"key", "F13"}, "'F13' is not F1..F12"},
        {{"key", "G5"}, "'G5'"},
        {{"key", "F"}, "'F'"},
        {{"key", "5x"}, "'5x'"},
        {{"tx", "maybe"}, "'maybe' is not on or off"},
        {{"tx"}, "STATE is required"},
        {{"code", "abc"}, "'abc' is not a whole number"},
        {{"code", "12.5"}, "'12.5'"},
        {{"code", "2147483648"}, "'2147483648'"},
        {{"code", "-2147483649"}, "'-2147483649'"},
        {{"code", ""}, "''"},
        {{"code", "+5"}, "'+5'"},
        {{"geometry", "1", "2"}, "all four"},
        {{"geometry", "1", "2", "3", "x"}, "'x'"},
        {{"geometry", "1", "2", "3", "4", "5"}, ""},
        {{"set-start-dir"}, "DIR is required"},
        {{"show", "now"}, "now"},
        {{"pause", "--call", "X"}, "--call"},
    };
    for (const UsageCase& c : cases) {
        std::string line;
        for (const std::string& arg : c.args) {
            line += arg + " ";
        }
        SCOPED_TRACE(line);
        FakeKeyerLink link;
        const LineResult run = runLine(c.args, link);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(link.calls.empty());
        EXPECT_EQ(run.err.rfind("pelkora-ctl: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST(CtlMapping, HelpAndVersionPrintAndSendNothing) {
    for (const std::string flag : {"--help", "-h", "--version"}) {
        SCOPED_TRACE(flag);
        FakeKeyerLink link;
        const LineResult run = runLine({flag}, link);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(link.calls.empty());
        EXPECT_NE(run.out.find(flag == "--version" ? "pelkora-ctl " : "Exit status"),
                  std::string::npos)
            << run.out;
    }
}

struct OutcomeCase {
    KeyerLink::Reply reply;
    int exitCode;
    std::string message;
};

TEST(CtlOutcome, ReplyDecidesTheExitStatusAndTheMessage) {
    const OutcomeCase cases[] = {
        {{Outcome::Ok, false, "", 0}, 0, ""},
        {{Outcome::NoKeyer, false, "", 0},
         3,
         "pelkora-ctl: no keyer is running on the session bus (org.pelkora.Pelkora)\n"},
        {{Outcome::Failed, false, "org.pelkora.Pelkora.Error.TooLong: too long", 0},
         4,
         "pelkora-ctl: the call failed: org.pelkora.Pelkora.Error.TooLong: too long\n"},
        {{Outcome::NoBus, false, "no socket", 0}, 5, "pelkora-ctl: no session bus: no socket\n"},
    };
    for (const OutcomeCase& c : cases) {
        SCOPED_TRACE(c.exitCode);
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {"hide"}, {"geometry"}, {"geometry", "1", "2", "3", "4"}}) {
            FakeKeyerLink link;
            link.replies = {{"Hide", c.reply}, {"Left", c.reply}};
            const LineResult run = runLine(args, link);
            EXPECT_EQ(run.exitCode, c.exitCode);
            EXPECT_EQ(run.err, c.message);
            // A refused property ends the command: nothing more is sent.
            const bool allFour = args.front() == "geometry" && c.exitCode == 0;
            EXPECT_EQ(link.calls.size(), allFour ? 4u : 1u);
        }
    }
}

TEST(CtlOutcome, UnansweredKeyingIsTakenBack) {
    KeyerLink::Reply timedOut{Outcome::Failed, true, "org.freedesktop.DBus.Error.NoReply: late", 0};
    const MappingCase cases[] = {
        {{"play", "~[tx]~[ec]"}, {"PlayMacros('~[tx]~[ec]', '', '')", "StopPlay()"}},
        {{"tx", "on"}, {"StartPlay()", "StopPlay()"}},
        {{"key", "F3"}, {"Control(3)", "StopPlay()"}},
        {{"code", "111"}, {"Control(111)", "StopPlay()"}},
        // Releasing and pausing cannot key: nothing follows them.
        {{"code", "110"}, {"Control(110)"}},
        {{"pause"}, {"Control(101)"}},
        {{"tx", "off"}, {"StopPlay()"}},
    };
    for (const MappingCase& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args[1 % c.args.size()]);
        FakeKeyerLink link;
        link.replies = {{"PlayMacros", timedOut},
                        {"StartPlay", timedOut},
                        {"Control", timedOut},
                        {"StopPlay", timedOut}};
        const LineResult run = runLine(c.args, link);
        EXPECT_EQ(run.exitCode, 4);
        EXPECT_EQ(link.calls, c.calls);
        EXPECT_NE(run.err.find("NoReply: late"), std::string::npos) << run.err;
    }
}

TEST(CtlOutcome, RefusedKeyingIsNotFollowedByARelease) {
    // The keyer answered: it queued nothing, and a transmitter the logger
    // keyed before stays as the logger left it.
    FakeKeyerLink link;
    link.replies["PlayMacros"] = {Outcome::Failed, false, "org.x.Error: refused", 0};
    const LineResult run = runLine({"play", "~[tx]"}, link);
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_EQ(link.calls, std::vector<std::string>{"PlayMacros('~[tx]', '', '')"});
}

TEST(CtlOutput, GeometryPrintsLeftTopWidthHeight) {
    FakeKeyerLink link;
    link.properties = {{"Left", -4}, {"Top", 30}, {"Width", 552}, {"Height", 349}};
    const LineResult run = runLine({"geometry"}, link);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "-4 30 552 349\n");
}

TEST(CtlOutput, MonitorPrintsOneLinePerStateAndEndsAsTheLinkSays) {
    const struct {
        KeyerLink::Reply end;
        int exitCode;
        std::string err;
    } ends[] = {
        {{}, 0, ""},
        {{Outcome::NoKeyer, false, "the keyer left the session bus (org.pelkora.Pelkora)", 0},
         3,
         "pelkora-ctl: the keyer left the session bus (org.pelkora.Pelkora)\n"},
    };
    for (const auto& e : ends) {
        FakeKeyerLink link;
        link.states = {111, 101, 100, 110, 7};
        link.monitorEnd = e.end;
        const LineResult run = runLine({"monitor"}, link);
        EXPECT_EQ(run.exitCode, e.exitCode);
        EXPECT_EQ(run.out, "111 tx-on\n101 paused\n100 resumed\n110 tx-off\n7\n");
        EXPECT_EQ(run.err, e.err);
    }
}

}  // namespace
}  // namespace pelkora
