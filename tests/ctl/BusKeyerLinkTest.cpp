#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include "BusKeyerLink.h"

// BusKeyerLink against a private dbus-daemon and a stand-in keyer served from
// a thread on its own connection: what goes on the wire, what each answer
// becomes, and how a watch ends.
namespace pelkora {
namespace {

namespace fs = std::filesystem;
using Outcome = KeyerLink::Reply::Outcome;

// The stand-in keyer: every call to its object is recorded; Stall is never
// answered, Fail answers with an error, Get/Set serve Left (int) and Name (string).
class StandInKeyer {
  public:
    StandInKeyer() {
        sd_bus_open_user(&bus_);
        sd_bus_add_object(bus_, nullptr, "/org/pelkora/Pelkora", onCall, this);
        sd_bus_request_name(bus_, "org.pelkora.Pelkora", 0);
        thread_ = std::thread([this] { serve(); });
    }
    ~StandInKeyer() {
        quit_ = true;
        thread_.join();
        sd_bus_flush_close_unref(bus_);
    }
    // Runs task on the keyer's thread.
    void post(std::function<void(sd_bus*)> task) {
        const std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    std::vector<std::string> calls() {
        const std::lock_guard lock(mutex_);
        return calls_;
    }

  private:
    static int onCall(sd_bus_message* m, void* self, sd_bus_error*) {
        return static_cast<StandInKeyer*>(self)->answer(m);
    }
    int answer(sd_bus_message* m) {
        const std::string member = sd_bus_message_get_member(m);
        const std::string signature = sd_bus_message_get_signature(m, 1);
        const char* text[3] = {"", "", ""};
        std::int32_t number = 0;
        if (signature == "ssv") {
            sd_bus_message_read(m, "ssv", &text[0], &text[1], "i", &number);
            left_ = number;
        } else if (signature == "ss") {
            sd_bus_message_read(m, "ss", &text[0], &text[1]);
        } else if (signature == "sss") {
            sd_bus_message_read(m, "sss", &text[0], &text[1], &text[2]);
        } else if (signature == "i") {
            sd_bus_message_read(m, "i", &number);
        }
        {
            const std::lock_guard lock(mutex_);
            calls_.push_back(member + " " + text[0] + "|" + text[1] + "|" + text[2] + "|" +
                             std::to_string(number));
        }
        if (member == "Stall") {
            return 1;
        }
        if (member == "Fail") {
            return sd_bus_reply_method_errorf(m, "org.pelkora.Error.Busy", "busy");
        }
        if (member == "Get" && std::string(text[1]) == "Left") {
            return sd_bus_reply_method_return(m, "v", "i", left_);
        }
        if (member == "Get") {
            return sd_bus_reply_method_return(m, "v", "s", "a name");
        }
        return sd_bus_reply_method_return(m, "");
    }
    void serve() {
        while (!quit_) {
            std::vector<std::function<void(sd_bus*)>> tasks;
            {
                const std::lock_guard lock(mutex_);
                tasks.swap(tasks_);
            }
            for (const auto& task : tasks) {
                task(bus_);
            }
            if (sd_bus_process(bus_, nullptr) == 0) {
                sd_bus_wait(bus_, 20000);
            }
        }
    }

    sd_bus* bus_ = nullptr;
    std::thread thread_;
    std::atomic<bool> quit_{false};
    std::mutex mutex_;
    std::vector<std::function<void(sd_bus*)>> tasks_;
    std::vector<std::string> calls_;
    std::int32_t left_ = 0;
};

// A dbus-daemon of the test's own, whose one activatable service would mark
// the disk if anything asked the bus to start a keyer.
class BusKeyerLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/pelkora-ctlbus.XXXXXX";
        dir_ = ::mkdtemp(pattern);
        std::ofstream(dir_ / "org.pelkora.Pelkora.service")
            << "[D-BUS Service]\nName=org.pelkora.Pelkora\nExec=/usr/bin/touch " +
                   (dir_ / "activated").string() + "\n";
        std::ofstream(dir_ / "bus.conf")
            << "<busconfig><type>session</type><listen>unix:tmpdir=" << dir_.string()
            << "</listen><servicedir>" << dir_.string() << "</servicedir>"
            << "<policy context='default'><allow send_destination='*' eavesdrop='true'/>"
            << "<allow eavesdrop='true'/><allow own='*'/>"
            << "</policy></busconfig>\n";
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        daemon_ = ::fork();
        if (daemon_ == 0) {
            ::dup2(fds[1], 3);
            // Its complaints (it may not raise its fd limit here) stay out of the test's output.
            ::dup2(::open((dir_ / "daemon.log").c_str(), O_WRONLY | O_CREAT, 0600), 2);
            ::execlp("dbus-daemon", "dbus-daemon", "--nofork", "--print-address=3",
                     ("--config-file=" + (dir_ / "bus.conf").string()).c_str(), nullptr);
            ::_exit(127);
        }
        ::close(fds[1]);
        char address[512] = {};
        const ssize_t got = ::read(fds[0], address, sizeof address - 1);
        ::close(fds[0]);
        ASSERT_GT(got, 0) << "dbus-daemon did not start";
        address[got - 1] = '\0';
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address, 1);
    }
    void TearDown() override {
        ::kill(daemon_, SIGTERM);
        ::waitpid(daemon_, nullptr, 0);
        fs::remove_all(dir_);
    }

    BusKeyerLink link_{std::chrono::milliseconds(400)};
    fs::path dir_;
    pid_t daemon_ = -1;
};

TEST_F(BusKeyerLinkTest, CallsReachTheKeyerAndAnswersMapToOutcomes) {
    StandInKeyer keyer;
    struct Case {
        std::string method;
        std::vector<KeyerLink::Argument> arguments;
        std::string recorded;
        Outcome outcome;
        bool timedOut;
        std::string error;
    };
    const std::vector<Case> cases{
        {"PlayMacros",
         {"~[tx]", "DL1ABC", "59"},
         "PlayMacros ~[tx]|DL1ABC|59|0",
         Outcome::Ok,
         false,
         ""},
        {"Control", {std::int32_t{111}}, "Control |||111", Outcome::Ok, false, ""},
        {"Fail", {}, "Fail |||0", Outcome::Failed, false, "org.pelkora.Error.Busy: busy"},
        // No answer in time: the caller must know, to release the transmitter.
        {"Stall", {}, "Stall |||0", Outcome::Failed, true, ""},
    };
    for (const Case& c : cases) {
        const std::size_t before = keyer.calls().size();
        const KeyerLink::Reply reply = link_.call(c.method, c.arguments);
        EXPECT_EQ(reply.outcome, c.outcome) << c.method << ": " << reply.error;
        EXPECT_EQ(reply.timedOut, c.timedOut) << c.method;
        if (!c.error.empty()) {
            EXPECT_EQ(reply.error, c.error);
        }
        ASSERT_EQ(keyer.calls().size(), before + 1) << c.method;
        EXPECT_EQ(keyer.calls().back(), c.recorded);
    }
}

TEST_F(BusKeyerLinkTest, PropertiesRoundTripAndOnlyInt32IsRead) {
    StandInKeyer keyer;
    ASSERT_TRUE(link_.writeProperty("Left", -17).ok());
    EXPECT_EQ(keyer.calls().back(), "Set org.pelkora.Pelkora|Left||-17");
    const KeyerLink::Reply left = link_.readProperty("Left");
    ASSERT_TRUE(left.ok()) << left.error;
    EXPECT_EQ(left.value, -17);
    const KeyerLink::Reply name = link_.readProperty("Name");
    EXPECT_EQ(name.outcome, Outcome::Failed);
    EXPECT_EQ(name.error, "the property Name is not an int32");
}

TEST_F(BusKeyerLinkTest, NoKeyerIsReportedAndNeverStarted) {
    EXPECT_EQ(link_.call("Show", {}).outcome, Outcome::NoKeyer);
    EXPECT_EQ(link_.readProperty("Left").outcome, Outcome::NoKeyer);
    const KeyerLink::Reply watched = link_.monitor([](std::int32_t) {});
    EXPECT_EQ(watched.outcome, Outcome::NoKeyer);
    EXPECT_EQ(watched.error, "");
    EXPECT_FALSE(fs::exists(dir_ / "activated")) << "the bus was asked to start a keyer";
}

TEST_F(BusKeyerLinkTest, NoBusIsReportedWithItsAddress) {
    const std::string address = "unix:path=" + (dir_ / "no-bus-here").string();
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    const std::vector<std::function<KeyerLink::Reply(BusKeyerLink&)>> uses{
        [](BusKeyerLink& link) {
            return link.call("PlayMacros", {"~[tx]", "", ""});
        },
        [](BusKeyerLink& link) { return link.monitor([](std::int32_t) {}); },
    };
    for (const auto& use : uses) {
        BusKeyerLink link(std::chrono::milliseconds(400));
        const KeyerLink::Reply reply = use(link);
        EXPECT_EQ(reply.outcome, Outcome::NoBus);
        EXPECT_NE(reply.error.find(address), std::string::npos) << reply.error;
    }
}

// The keyer repeats 111 until the watch has heard it, then says 101 and 100;
// once those are heard, the watch is ended the way the case says.
TEST_F(BusKeyerLinkTest, MonitorHandsOnStatesInOrderUntilItEnds) {
    struct Case {
        const char* name;
        std::function<void(sd_bus*)> end;
        Outcome outcome;
    };
    const std::vector<Case> cases{
        {"keyer leaves", [](sd_bus* bus) { sd_bus_release_name(bus, "org.pelkora.Pelkora"); },
         Outcome::NoKeyer},
        {"SIGTERM", [](sd_bus*) { ::kill(::getpid(), SIGTERM); }, Outcome::Ok},
        {"SIGINT", [](sd_bus*) { ::kill(::getpid(), SIGINT); }, Outcome::Ok},
    };
    for (const Case& c : cases) {
        StandInKeyer keyer;
        std::atomic<bool> heard{false};
        const auto emit = [](sd_bus* bus, std::int32_t code) {
            sd_bus_emit_signal(bus, "/org/pelkora/Pelkora", "org.pelkora.Pelkora", "State", "i",
                               code);
        };
        std::function<void(sd_bus*)> repeat = [&](sd_bus* bus) {
            if (heard) {
                emit(bus, 101);
                emit(bus, 100);
                return;
            }
            emit(bus, 111);
            keyer.post(repeat);
        };
        keyer.post(repeat);
        std::vector<std::int32_t> codes;
        // One watch per connection, as in the program.
        BusKeyerLink link(std::chrono::milliseconds(400));
        const KeyerLink::Reply reply = link.monitor([&](std::int32_t code) {
            if (codes.empty() || code != 111 || codes.back() != 111) {
                codes.push_back(code);
            }
            heard = true;
            if (code == 100) {
                keyer.post(c.end);
            }
        });
        EXPECT_EQ(reply.outcome, c.outcome) << c.name << ": " << reply.error;
        EXPECT_EQ(codes, (std::vector<std::int32_t>{111, 101, 100})) << c.name;
        if (c.outcome == Outcome::NoKeyer) {
            EXPECT_EQ(reply.error, "the keyer left the session bus (org.pelkora.Pelkora)");
        }
    }
    // The previous handlers are back once the watch is over.
    struct sigaction now {};
    ::sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

}  // namespace
}  // namespace pelkora
