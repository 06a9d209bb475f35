#include "platform/hamlib/HamlibPttDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "hamlib/FakeKenwoodRadio.h"
#include "hamlib/RigctldServer.h"
#include "pulse/QueuePoster.h"

namespace pelkora {
namespace {

using namespace std::chrono_literals;
using test::QueuePoster;
using test::RigctldServer;
using Outcome = PttDevice::Outcome;
using Status = PttDevice::Status;

// Runs one operation of the device and the test's loop until its
// completion arrives; nullopt when it never does.
std::optional<Outcome> await(QueuePoster& loop, const std::function<void(PttDevice::Done)>& run,
                             std::chrono::milliseconds timeout = 15s) {
    std::optional<Outcome> outcome;
    run([&](const Outcome& result) { outcome = result; });
    loop.runUntil([&] { return outcome.has_value(); }, timeout);
    return outcome;
}

std::optional<Outcome> openDevice(QueuePoster& loop, PttDevice& device,
                                  std::chrono::milliseconds timeout = 15s) {
    return await(
        loop, [&](PttDevice::Done done) { device.open(std::move(done)); }, timeout);
}

std::optional<Outcome> setPtt(QueuePoster& loop, PttDevice& device, bool on) {
    return await(loop, [&](PttDevice::Done done) { device.setPtt(on, 1, std::move(done)); });
}

PortRoute rigctldAt(int port, std::string host = "localhost") {
    PortRoute route;
    route.kind = PortRoute::Kind::Rigctld;
    route.host = std::move(host);
    route.tcpPort = port;
    return route;
}

// What a second client sees, asked until it matches or a few seconds pass:
// a close() completes nothing, so the test cannot wait for its end.
bool becomes(const RigctldServer& server, bool keyed) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (server.pttAsRigctlSees() == keyed) {
            return true;
        }
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

class RigctldPttTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!RigctldServer::installed()) {
            GTEST_SKIP() << "rigctld is not installed (Debian package libhamlib-utils)";
        }
        ASSERT_EQ(server_.start(), "");
        device_ = std::make_unique<HamlibPttDevice>(rigctldAt(server_.port()), loop_);
    }

    void openAndKey() {
        const auto opened = openDevice(loop_, *device_);
        ASSERT_TRUE(opened && opened->ok()) << (opened ? opened->reason : "no completion");
        const auto keyed = setPtt(loop_, *device_, true);
        ASSERT_TRUE(keyed && keyed->ok()) << (keyed ? keyed->reason : "no completion");
        ASSERT_EQ(server_.pttAsRigctlSees(), true);
    }

    QueuePoster loop_;
    RigctldServer server_;
    std::unique_ptr<HamlibPttDevice> device_;
};

TEST_F(RigctldPttTest, KeyingAndReleasingAreWhatAnotherClientSees) {
    ASSERT_EQ(server_.pttAsRigctlSees(), false);
    openAndKey();
    EXPECT_TRUE(device_->isOpen());
    const auto released = setPtt(loop_, *device_, false);
    ASSERT_TRUE(released && released->ok());
    EXPECT_EQ(server_.pttAsRigctlSees(), false);
}

TEST_F(RigctldPttTest, OpeningLeavesAnotherProgramsTransmissionAlone) {
    ASSERT_TRUE(server_.setPttWithRigctl(true));
    const auto opened = openDevice(loop_, *device_);
    ASSERT_TRUE(opened && opened->ok());
    EXPECT_EQ(server_.pttAsRigctlSees(), true);
}

TEST_F(RigctldPttTest, CloseWhileKeyedReleases) {
    openAndKey();
    device_->close();
    EXPECT_FALSE(device_->isOpen());
    EXPECT_TRUE(becomes(server_, false));
}

TEST_F(RigctldPttTest, DestroyingWhileKeyedReleasesBeforeReturning) {
    openAndKey();
    device_.reset();
    EXPECT_EQ(server_.pttAsRigctlSees(), false);
}

TEST_F(RigctldPttTest, CompletionsRunOnTheLoopInTheOrderAsked) {
    std::vector<std::string> order;
    const auto note = [&](std::string name) {
        return [&order, name, loopThread = std::this_thread::get_id()](const Outcome& outcome) {
            EXPECT_EQ(std::this_thread::get_id(), loopThread) << name;
            EXPECT_TRUE(outcome.ok()) << name << ": " << outcome.reason;
            order.push_back(name);
        };
    };
    device_->open(note("open"));
    device_->setPtt(true, 1, note("key"));
    device_->setPtt(false, 1, note("release"));
    device_->setPtt(true, 1, note("key again"));
    EXPECT_TRUE(order.empty()) << "the calls waited for the rig";
    ASSERT_TRUE(loop_.runUntil([&] { return order.size() == 4; }, 15s));
    EXPECT_EQ(order, (std::vector<std::string>{"open", "key", "release", "key again"}));
    EXPECT_EQ(server_.pttAsRigctlSees(), true);
}

TEST_F(RigctldPttTest, AnOpenOvertakenByCloseLeavesTheDeviceClosed) {
    std::optional<Outcome> opened;
    device_->open([&](const Outcome& outcome) { opened = outcome; });
    device_->close();
    ASSERT_TRUE(loop_.runUntil([&] { return opened.has_value(); }, 15s));
    EXPECT_FALSE(device_->isOpen());
    // Not open: a key request completes and keys nothing.
    const auto keyed = setPtt(loop_, *device_, true);
    ASSERT_TRUE(keyed && keyed->ok());
    EXPECT_EQ(server_.pttAsRigctlSees(), false);
}

TEST_F(RigctldPttTest, FaultReleaseUnkeysThroughTheOpenSocket) {
    openAndKey();
    HamlibPttDevice::releaseAfterFault();
    EXPECT_TRUE(becomes(server_, false));
}

TEST_F(RigctldPttTest, FaultReleaseLeavesAReleasedRigAlone) {
    openAndKey();
    ASSERT_TRUE(setPtt(loop_, *device_, false)->ok());
    // Keyed by another program after this device released: not ours to drop.
    ASSERT_TRUE(server_.setPttWithRigctl(true));
    HamlibPttDevice::releaseAfterFault();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(server_.pttAsRigctlSees(), true);
}

TEST_F(RigctldPttTest, RigctldGoneAfterOpenFailsTheKeyingWithAReason) {
    const auto opened = openDevice(loop_, *device_);
    ASSERT_TRUE(opened && opened->ok());
    server_.stop();
    const auto keyed = setPtt(loop_, *device_, true);
    ASSERT_TRUE(keyed.has_value()) << "no completion";
    EXPECT_EQ(keyed->status, Status::Failed);
    EXPECT_NE(keyed->reason.find("rigctld at localhost:" + std::to_string(server_.port())),
              std::string::npos)
        << keyed->reason;
    EXPECT_NE(keyed->reason.find("failed: IO error."), std::string::npos) << keyed->reason;
}

// Failures to open, with the words the operator reads.
struct OpenFailure {
    const char* name;
    std::function<PortRoute()> route;
    std::function<std::string()> expectedWords;
};

class OpenFailureTest : public ::testing::TestWithParam<OpenFailure> {};

std::string regularFile() {
    const auto path = std::filesystem::temp_directory_path() / "pelkora-not-a-hidraw";
    std::ofstream(path) << "not a device\n";
    return path.string();
}

PortRoute cm108(std::string device, int gpio = 3) {
    PortRoute route;
    route.kind = PortRoute::Kind::Cm108;
    route.device = std::move(device);
    route.gpio = gpio;
    return route;
}

PortRoute catRig(int model, std::string device) {
    PortRoute route;
    route.kind = PortRoute::Kind::HamlibRig;
    route.rigModel = model;
    route.device = std::move(device);
    return route;
}

const int kClosedPort = test::freeTcpPort();

const OpenFailure kOpenFailures[] = {
    {"RigctldNotRunning", [] { return rigctldAt(kClosedPort); },
     [] {
         return "rigctld at localhost:" + std::to_string(kClosedPort) +
                " does not answer: connection refused";
     }},
    {"RigctldHostUnknown", [] { return rigctldAt(4532, "no-such-host.invalid"); },
     [] { return std::string("rigctld at no-such-host.invalid:4532 does not answer"); }},
    {"RigModelUnknown", [] { return catRig(999999, "/dev/null"); },
     [] { return std::string("Hamlib has no radio model 999999"); }},
    {"CatPortMissing", [] { return catRig(1035, "/dev/pelkora-no-such-tty"); },
     [] { return std::string("/dev/pelkora-no-such-tty cannot be opened: no such file"); }},
    {"CatPortNotSerial", [] { return catRig(2014, "/dev/null"); },
     [] { return std::string("/dev/null is not a serial port"); }},
    {"Cm108Missing", [] { return cm108("/dev/pelkora-no-such-hidraw"); },
     [] { return std::string("/dev/pelkora-no-such-hidraw cannot be opened: no such file"); }},
    {"Cm108RegularFile", [] { return cm108(regularFile()); },
     [] { return regularFile() + " is not a hidraw device"; }},
    {"Cm108NotHidraw", [] { return cm108("/dev/null"); },
     [] { return std::string("/dev/null is not a hidraw device"); }},
    {"Cm108NoSuchGpio", [] { return cm108("/dev/null", 9); },
     [] { return std::string("GPIO 9 does not exist"); }},
};

TEST_P(OpenFailureTest, CannotOpenWithTheReasonAndKeysNothingAfter) {
    QueuePoster loop;
    HamlibPttDevice device(GetParam().route(), loop);
    const auto opened = openDevice(loop, device);
    ASSERT_TRUE(opened.has_value()) << "no completion";
    EXPECT_EQ(opened->status, Status::CannotOpen);
    EXPECT_NE(opened->reason.find(GetParam().expectedWords()), std::string::npos) << opened->reason;
    EXPECT_FALSE(device.isOpen());
    const auto keyed = setPtt(loop, device, true);
    ASSERT_TRUE(keyed.has_value());
    EXPECT_TRUE(keyed->ok());
}

INSTANTIATE_TEST_SUITE_P(HamlibPtt, OpenFailureTest, ::testing::ValuesIn(kOpenFailures),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(SilentRigctldTest, OpenFailsAndCompletesInsteadOfHanging) {
    QueuePoster loop;
    test::SilentTcpServer silent;
    HamlibPttDevice device(rigctldAt(silent.port()), loop);
    const auto opened = openDevice(loop, device, 30s);
    ASSERT_TRUE(opened.has_value()) << "no completion";
    EXPECT_EQ(opened->status, Status::CannotOpen);
    EXPECT_NE(opened->reason.find("does not answer: communication timed out"), std::string::npos)
        << opened->reason;
}

TEST(SilentRigctldTest, DestroyingWithOperationsPendingPostsNothingAfterwards) {
    QueuePoster loop;
    test::SilentTcpServer silent;
    int completions = 0;
    auto device = std::make_unique<HamlibPttDevice>(rigctldAt(silent.port()), loop);
    device->open([&](const Outcome&) { ++completions; });
    device->setPtt(true, 1, [&](const Outcome&) { ++completions; });
    std::this_thread::sleep_for(200ms);  // the worker is inside Hamlib's open now
    const auto start = std::chrono::steady_clock::now();
    device.reset();
    // Bounded, not fast: a silent rig must never hang the program's exit.
    EXPECT_LT(std::chrono::steady_clock::now() - start, HamlibPttDevice::kCloseWait + 2s);
    loop.runFor(3s);
    EXPECT_EQ(completions, 0);
}

class CatRigTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(radio_.device(), "");
        const auto opened = openDevice(loop_, device_);
        ASSERT_TRUE(opened && opened->ok()) << (opened ? opened->reason : "no completion");
    }

    QueuePoster loop_;
    test::FakeKenwoodRadio radio_;
    HamlibPttDevice device_{catRig(2014, radio_.device()), loop_};
};

TEST_F(CatRigTest, KeysAndReleasesByCatCommand) {
    EXPECT_FALSE(radio_.received("TX;")) << "opening keyed the radio";
    const auto keyed = setPtt(loop_, device_, true);
    ASSERT_TRUE(keyed && keyed->ok()) << (keyed ? keyed->reason : "no completion");
    EXPECT_TRUE(radio_.transmitting());
    const auto released = setPtt(loop_, device_, false);
    ASSERT_TRUE(released && released->ok());
    EXPECT_FALSE(radio_.transmitting());
}

TEST_F(CatRigTest, CloseWhileKeyedReleasesByCatCommand) {
    ASSERT_TRUE(setPtt(loop_, device_, true)->ok());
    device_.close();
    for (int i = 0; i < 100 && radio_.transmitting(); ++i) {
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_FALSE(radio_.transmitting());
}

TEST_F(CatRigTest, ARadioThatFallsSilentFailsTheKeyingWithTheModelNamed) {
    radio_.fallSilent();
    const auto keyed = setPtt(loop_, device_, true);
    ASSERT_TRUE(keyed.has_value()) << "no completion";
    EXPECT_EQ(keyed->status, Status::Failed);
    EXPECT_NE(keyed->reason.find("Keying radio model 2014 on " + radio_.device()),
              std::string::npos)
        << keyed->reason;
}

}  // namespace
}  // namespace pelkora
