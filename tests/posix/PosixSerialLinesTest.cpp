#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/posix/PortDevices.h"
#include "platform/posix/PosixSerialLines.h"
#include "posix/IoctlInterposer.h"

namespace pelkora {
namespace {

namespace fs = std::filesystem;
using Line = SerialLines::Line;
using OpenStatus = SerialLines::OpenStatus;

// ---------------------------------------------------------------- helpers

class MapProfileStore : public ProfileStore {
  public:
    std::string readString(const std::string& file, const std::string& section,
                           const std::string& key, const std::string& def) override {
        auto found = values_.find(keyOf(file, section, key));
        return found == values_.end() ? def : found->second;
    }
    void writeString(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value) override {
        values_[keyOf(file, section, key)] = value;
    }
    void erase(const std::string& file, const std::string& section, const std::string& key) {
        values_.erase(keyOf(file, section, key));
    }

  private:
    using Key = std::tuple<std::string, std::string, std::string>;
    static std::string lower(std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    }
    static Key keyOf(const std::string& file, const std::string& section, const std::string& key) {
        return {file, lower(section), lower(key)};
    }
    std::map<Key, std::string> values_;
};

// A pseudo-terminal pair; the slave stands in for a serial port.
class Pty {
  public:
    Pty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            slavePath_ = ptsname(master_);
        }
    }
    ~Pty() {
        if (master_ >= 0) {
            ::close(master_);
        }
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& slavePath() const { return slavePath_; }

  private:
    int master_ = -1;
    std::string slavePath_;
};

// A descriptor of our own on a device, as another program would hold it.
class Probe {
  public:
    explicit Probe(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
    ~Probe() {
        if (fd_ >= 0) {
            ::ioctl(fd_, TIOCNXCL);
            ::close(fd_);
        }
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    int fd() const { return fd_; }
    bool canLock() const {
        const bool locked = ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
        if (locked) {
            ::flock(fd_, LOCK_UN);
        }
        return locked;
    }
    bool terminalIsExclusive() const {
        int exclusive = 0;
        return ::ioctl(fd_, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
    }

  private:
    int fd_;
};

// Descriptors of this process that refer to path.
std::vector<int> descriptorsOn(const std::string& path) {
    std::vector<int> found;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(entry.path(), error) == path) {
            found.push_back(std::stoi(entry.path().filename().string()));
        }
    }
    return found;
}

bool sameSettings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::equal(a.c_cc, a.c_cc + NCCS, b.c_cc) &&
           cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b);
}

PosixSerialLines::DeviceResolver nameIsPath() {
    return [](const std::string& name) { return name; };
}

// ---------------------------------------------------------------- PortDevices

constexpr const char* kSettings = "/home/op/.config/pelkora/pelkora.ini";

TEST(PortDevicesTest, MapsPortNamesToDevices) {
    struct Row {
        std::string portName;
        std::optional<std::string> configured;  // [Ports] value for portName
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"COM1", std::nullopt, "/dev/ttyS0"},
        {"COM8", std::nullopt, "/dev/ttyS7"},
        {"COM99", std::nullopt, "/dev/ttyS98"},
        {"com3", std::nullopt, "/dev/ttyS2"},
        {"COM1", "/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"COM12", " /dev/ttyACM1\t", "/dev/ttyACM1"},
        {"COM2", "", "/dev/ttyS1"},
        {"COM2", "   ", "/dev/ttyS1"},
        {"/dev/ttyUSB3", std::nullopt, "/dev/ttyUSB3"},
        {"/dev/ttyUSB3", "/dev/ttyS5", "/dev/ttyUSB3"},
        {"COM0", "/dev/ttyUSB0", ""},
        {"COM100", std::nullopt, ""},
        {"COM01", std::nullopt, ""},
        {"COM", std::nullopt, ""},
        {"COM1x", std::nullopt, ""},
        {"COM-1", std::nullopt, ""},
        {"COM 1", std::nullopt, ""},
        {"LPT1", std::nullopt, ""},
        {"ttyS0", std::nullopt, ""},
        {"", std::nullopt, ""},
    };
    for (const Row& row : rows) {
        MapProfileStore store;
        if (row.configured) {
            store.writeString(kSettings, "Ports", row.portName, *row.configured);
        }
        EXPECT_EQ(PortDevices(store, kSettings).devicePath(row.portName), row.expected)
            << "port '" << row.portName << "', configured '" << row.configured.value_or("(none)")
            << "'";
    }
}

TEST(PortDevicesTest, ReadsTheSettingAfreshOnEveryCall) {
    MapProfileStore store;
    const PortDevices devices(store, kSettings);
    EXPECT_EQ(devices.devicePath("COM4"), "/dev/ttyS3");
    store.writeString(kSettings, "ports", "com4", "/dev/ttyUSB1");
    EXPECT_EQ(devices.devicePath("COM4"), "/dev/ttyUSB1");
    store.erase(kSettings, "Ports", "COM4");
    EXPECT_EQ(devices.devicePath("COM4"), "/dev/ttyS3");
}

TEST(PortDevicesTest, IgnoresOtherFilesAndSections) {
    MapProfileStore store;
    store.writeString("/elsewhere/pelkora.ini", "Ports", "COM1", "/dev/ttyUSB0");
    store.writeString(kSettings, "Radio", "COM1", "/dev/ttyUSB1");
    EXPECT_EQ(PortDevices(store, kSettings).devicePath("COM1"), "/dev/ttyS0");
}

// ---------------------------------------------------------------- PosixSerialLines

class PosixSerialLinesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(pty_.slavePath().empty()) << "no pseudo-terminal available";
        IoctlInterposer::reset();
    }
    void TearDown() override { IoctlInterposer::reset(); }

    // Opens the pty through lines_ and emulates the modem bits of its descriptor.
    int openEmulated(int initialBits = 0) {
        if (lines_.open(pty_.slavePath()) != OpenStatus::Opened) {
            return -1;
        }
        const std::vector<int> fds = descriptorsOn(pty_.slavePath());
        if (fds.size() != 1) {
            return -1;
        }
        IoctlInterposer::emulate(fds.front(), initialBits);
        return fds.front();
    }

    Pty pty_;
    PosixSerialLines lines_{nameIsPath()};
};

TEST_F(PosixSerialLinesTest, OpensAPseudoTerminalThroughTheResolver) {
    std::vector<std::string> asked;
    PosixSerialLines lines([&](const std::string& name) {
        asked.push_back(name);
        return name == "COM3" ? pty_.slavePath() : std::string();
    });
    EXPECT_EQ(lines.open("COM3"), OpenStatus::Opened);
    EXPECT_TRUE(lines.isOpen());
    EXPECT_EQ(asked, std::vector<std::string>{"COM3"});
    EXPECT_EQ(lines.open("COM77"), OpenStatus::CannotOpen);
    EXPECT_FALSE(lines.isOpen());
}

TEST_F(PosixSerialLinesTest, RefusesWhatIsNotAnOpenableSerialPort) {
    const fs::path folder =
        fs::temp_directory_path() / ("pelkora-serial-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string plainFile = (folder / "COM1").string();
    std::ofstream(plainFile) << "not a port\n";
    const std::vector<std::pair<std::string, OpenStatus>> rows = {
        {"", OpenStatus::CannotOpen},
        {(folder / "missing").string(), OpenStatus::CannotOpen},
        {folder.string(), OpenStatus::CannotOpen},
        {plainFile, OpenStatus::NotASerialPort},
        {"/dev/null", OpenStatus::NotASerialPort},
    };
    for (const auto& [path, expected] : rows) {
        const std::size_t heldBefore = path.empty() ? 0 : descriptorsOn(path).size();
        EXPECT_EQ(lines_.open(path), expected) << path;
        EXPECT_FALSE(lines_.isOpen()) << path;
        if (!path.empty()) {
            EXPECT_EQ(descriptorsOn(path).size(), heldBefore) << path << " left open";
        }
    }
    EXPECT_EQ(fs::file_size(plainFile), 11u) << "the file was written to";
    fs::remove_all(folder);
}

TEST_F(PosixSerialLinesTest, HoldsThePortExclusivelyUntilClosed) {
    Probe other(pty_.slavePath());
    ASSERT_EQ(lines_.open(pty_.slavePath()), OpenStatus::Opened);
    EXPECT_FALSE(other.canLock());
    EXPECT_TRUE(other.terminalIsExclusive());
    PosixSerialLines second(nameIsPath());
    EXPECT_EQ(second.open(pty_.slavePath()), OpenStatus::CannotOpen);
    EXPECT_TRUE(lines_.isOpen());
    EXPECT_TRUE(other.terminalIsExclusive()) << "the failed open undid the holder's claim";

    lines_.close();
    EXPECT_FALSE(lines_.isOpen());
    EXPECT_TRUE(other.canLock());
    EXPECT_FALSE(other.terminalIsExclusive());
    EXPECT_EQ(second.open(pty_.slavePath()), OpenStatus::Opened);
}

TEST_F(PosixSerialLinesTest, DestructorReleasesThePort) {
    {
        PosixSerialLines scoped(nameIsPath());
        ASSERT_EQ(scoped.open(pty_.slavePath()), OpenStatus::Opened);
    }
    EXPECT_TRUE(descriptorsOn(pty_.slavePath()).empty());
    EXPECT_EQ(lines_.open(pty_.slavePath()), OpenStatus::Opened);
}

TEST_F(PosixSerialLinesTest, RefusesAPortAnotherProgramHolds) {
    Probe locker(pty_.slavePath());
    ASSERT_EQ(::flock(locker.fd(), LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(lines_.open(pty_.slavePath()), OpenStatus::CannotOpen);
    EXPECT_FALSE(lines_.isOpen());
    EXPECT_FALSE(locker.terminalIsExclusive()) << "claimed a port somebody else holds";

    Probe exclusive(pty_.slavePath());
    ::flock(locker.fd(), LOCK_UN);
    ASSERT_EQ(::ioctl(exclusive.fd(), TIOCEXCL), 0);
    EXPECT_EQ(lines_.open(pty_.slavePath()), OpenStatus::CannotOpen);
    EXPECT_TRUE(exclusive.terminalIsExclusive()) << "cleared another program's claim";
}

TEST_F(PosixSerialLinesTest, OpeningAnotherPortReleasesTheFirst) {
    Pty second;
    ASSERT_EQ(lines_.open(pty_.slavePath()), OpenStatus::Opened);
    ASSERT_EQ(lines_.open(second.slavePath()), OpenStatus::Opened);
    EXPECT_TRUE(descriptorsOn(pty_.slavePath()).empty());

    EXPECT_EQ(lines_.open("/nonexistent/ttyS9"), OpenStatus::CannotOpen);
    EXPECT_FALSE(lines_.isOpen());
    EXPECT_TRUE(descriptorsOn(second.slavePath()).empty());
}

// Nothing but HUPCL changes: the kernel then drops the lines on the last
// close, whatever ends the program (a crash, SIGKILL).
TEST_F(PosixSerialLinesTest, LeavesTheSettingsAsTheyAreButHangsUpOnClose) {
    for (const bool hangUpBefore : {false, true}) {
        SCOPED_TRACE(hangUpBefore ? "HUPCL set before" : "HUPCL clear before");
        // A fresh terminal each time: one hung up by HUPCL refuses new settings.
        const Pty pty;
        PosixSerialLines lines(nameIsPath());
        Probe other(pty.slavePath());
        termios unusual{};
        ASSERT_EQ(tcgetattr(other.fd(), &unusual), 0);
        cfmakeraw(&unusual);
        unusual.c_cflag |= CSTOPB | PARENB;
        unusual.c_cflag = hangUpBefore ? unusual.c_cflag | HUPCL : unusual.c_cflag & ~HUPCL;
        unusual.c_cc[VMIN] = 7;
        cfsetspeed(&unusual, B1200);
        ASSERT_EQ(tcsetattr(other.fd(), TCSANOW, &unusual), 0);
        termios before{};
        ASSERT_EQ(tcgetattr(other.fd(), &before), 0);
        ASSERT_EQ((before.c_cflag & HUPCL) != 0, hangUpBefore);

        ASSERT_EQ(lines.open(pty.slavePath()), OpenStatus::Opened);
        termios whileOpen{};
        ASSERT_EQ(tcgetattr(other.fd(), &whileOpen), 0);
        lines.close();
        termios after{};
        ASSERT_EQ(tcgetattr(other.fd(), &after), 0);
        EXPECT_NE(whileOpen.c_cflag & HUPCL, 0u);
        before.c_cflag |= HUPCL;
        EXPECT_TRUE(sameSettings(before, whileOpen));
        EXPECT_TRUE(sameSettings(before, after));
    }
}

TEST_F(PosixSerialLinesTest, RaisesAndLowersTheLinesItIsTold) {
    struct Step {
        Line line;
        bool raised;
        ModemLineCall expected;  // fd filled in below
    };
    const std::vector<Step> steps = {
        {Line::Rts, true, {0, TIOCMBIS, TIOCM_RTS}},  {Line::Dtr, true, {0, TIOCMBIS, TIOCM_DTR}},
        {Line::Rts, false, {0, TIOCMBIC, TIOCM_RTS}}, {Line::Rts, true, {0, TIOCMBIS, TIOCM_RTS}},
        {Line::Dtr, false, {0, TIOCMBIC, TIOCM_DTR}},
    };
    const int fd = openEmulated(TIOCM_CTS | TIOCM_DSR);
    ASSERT_GE(fd, 0);
    std::vector<ModemLineCall> expected;
    for (const Step& step : steps) {
        EXPECT_TRUE(lines_.setLine(step.line, step.raised));
        expected.push_back({fd, step.expected.request, step.expected.bits});
    }
    EXPECT_EQ(IoctlInterposer::calls(), expected);
    EXPECT_EQ(IoctlInterposer::modemBits(fd), TIOCM_CTS | TIOCM_DSR | TIOCM_RTS);
}

TEST_F(PosixSerialLinesTest, ClosingLeavesTheLinesAlone) {
    const int fd = openEmulated();
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(lines_.setLine(Line::Dtr, true));
    IoctlInterposer::clearCalls();
    lines_.close();
    EXPECT_TRUE(IoctlInterposer::calls().empty());
    EXPECT_EQ(IoctlInterposer::modemBits(fd), TIOCM_DTR);
}

TEST_F(PosixSerialLinesTest, FaultHandlerDropsBothLinesAndTheClaimOfTheOpenPortOnly) {
    PosixSerialLines::dropLinesAfterFault();  // nothing open: nothing to touch
    EXPECT_TRUE(IoctlInterposer::calls().empty());

    const int fd = openEmulated(TIOCM_CTS);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(lines_.setLine(Line::Rts, true));
    ASSERT_TRUE(lines_.setLine(Line::Dtr, true));
    IoctlInterposer::clearCalls();
    PosixSerialLines::dropLinesAfterFault();
    EXPECT_EQ(IoctlInterposer::calls(),
              (std::vector<ModemLineCall>{{fd, TIOCMBIC, TIOCM_RTS | TIOCM_DTR}}));
    EXPECT_EQ(IoctlInterposer::modemBits(fd), TIOCM_CTS);
    Probe other(pty_.slavePath());
    EXPECT_FALSE(other.terminalIsExclusive()) << "the next run would find the port locked";

    lines_.close();
    IoctlInterposer::clearCalls();
    PosixSerialLines::dropLinesAfterFault();
    EXPECT_TRUE(IoctlInterposer::calls().empty()) << "touched a descriptor that was closed";
}

TEST_F(PosixSerialLinesTest, SetLineFailsWithoutAnOpenPort) {
    EXPECT_FALSE(lines_.setLine(Line::Rts, true));
    EXPECT_FALSE(lines_.setLine(Line::Dtr, false));
    ASSERT_EQ(lines_.open(pty_.slavePath()), OpenStatus::Opened);
    lines_.close();
    EXPECT_FALSE(lines_.setLine(Line::Rts, false));
}

TEST_F(PosixSerialLinesTest, SetLineReportsAFailingIoctl) {
    ASSERT_EQ(lines_.open(pty_.slavePath()), OpenStatus::Opened);
    EXPECT_FALSE(lines_.setLine(Line::Rts, true)) << "a pty has no modem lines";
    lines_.close();

    const int fd = openEmulated();
    ASSERT_GE(fd, 0);
    IoctlInterposer::failNextCall(EIO);
    EXPECT_FALSE(lines_.setLine(Line::Dtr, true));
    EXPECT_EQ(IoctlInterposer::modemBits(fd), 0);
    EXPECT_TRUE(lines_.setLine(Line::Dtr, true));
}

// ---------------------------------------------------------------- why an open failed

TEST(PosixSerialLinesReasonTest, NamesTheCauseAndWhatTheOperatorCanDo) {
    struct Row {
        int errorNumber;
        std::string group;
        std::string expected;
    };
    const std::string dev = "/dev/ttyUSB0";
    const std::vector<Row> rows = {
        {EACCES, "dialout",
         "You may not open /dev/ttyUSB0: your user must be in the group \"dialout\" (sudo "
         "usermod -aG dialout $USER), then log out and in again."},
        {EPERM, "uucp",
         "You may not open /dev/ttyUSB0: your user must be in the group \"uucp\" (sudo usermod "
         "-aG uucp $USER), then log out and in again."},
        {EACCES, "",
         "You may not open /dev/ttyUSB0: your user must be in the group that owns the device, "
         "then log out and in again."},
        {EACCES, "root",
         "Only root may open /dev/ttyUSB0: a udev rule must give the device to a group you are "
         "in, such as dialout."},
        {ENOENT, "", "/dev/ttyUSB0 does not exist: the interface is not plugged in."},
        {ENODEV, "", "/dev/ttyUSB0 does not exist: the interface is not plugged in."},
        {ENXIO, "dialout", "/dev/ttyUSB0 does not exist: the interface is not plugged in."},
        {EBUSY, "", "Another program holds /dev/ttyUSB0: close it, or choose another port."},
        {ENOTTY, "", "/dev/ttyUSB0 is not a serial port."},
        {EIO, "", "/dev/ttyUSB0: Input/output error."},
        {EISDIR, "", "/dev/ttyUSB0: Is a directory."},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(PosixSerialLines::describeOpenFailure(dev, row.errorNumber, row.group),
                  row.expected)
            << "errno " << row.errorNumber;
    }
}

// A folder of its own for files that stand in for devices.
class ScratchFolder {
  public:
    ScratchFolder()
        : path_(fs::temp_directory_path() / ("pelkora-why-" + std::to_string(getpid()))) {
        fs::create_directories(path_);
        fs::permissions(path_, fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

// A socket on the file system: open() answers ENXIO, as for a device node
// whose hardware is gone.
bool bindSocketAt(const std::string& path, int& fd) {
    fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= sizeof(address.sun_path)) {
        return false;
    }
    std::copy(path.begin(), path.end(), address.sun_path);
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
}

TEST_F(PosixSerialLinesTest, TellsWhyARealOpenFailedAndForgetsItAfterASuccess) {
    const ScratchFolder folder;
    const std::string plainFile = folder.file("plain");
    std::ofstream(plainFile) << "not a port\n";
    const std::string socketPath = folder.file("gone");
    int socketFd = -1;
    ASSERT_TRUE(bindSocketAt(socketPath, socketFd));
    Probe locker(pty_.slavePath());
    ASSERT_EQ(::flock(locker.fd(), LOCK_EX | LOCK_NB), 0);

    const std::vector<std::pair<std::string, std::string>> rows = {
        {folder.file("ttyUSB7"), folder.file("ttyUSB7") + " does not exist: the interface is "
                                                          "not plugged in."},
        {socketPath, socketPath + " does not exist: the interface is not plugged in."},
        {pty_.slavePath(),
         "Another program holds " + pty_.slavePath() + ": close it, or choose another port."},
        {plainFile, plainFile + " is not a serial port."},
        {"/dev/null", "/dev/null is not a serial port."},
        {folder.file(""), folder.file("") + ": Is a directory."},
    };
    for (const auto& [path, expected] : rows) {
        EXPECT_NE(lines_.open(path), OpenStatus::Opened) << path;
        EXPECT_EQ(lines_.openFailureReason(), expected) << path;
    }
    ::close(socketFd);

    PosixSerialLines unnamed([](const std::string&) { return std::string(); });
    EXPECT_EQ(unnamed.open("LPT1"), OpenStatus::CannotOpen);
    EXPECT_EQ(unnamed.openFailureReason(), "No device is set for \"LPT1\".");

    ::flock(locker.fd(), LOCK_UN);
    ASSERT_EQ(lines_.open(pty_.slavePath()), OpenStatus::Opened);
    EXPECT_EQ(lines_.openFailureReason(), "") << "a success kept the last failure's reason";
}

// The reason an open as uid gives, from a child that has become that user:
// root passes file permissions unchecked, so it cannot be asked itself.
std::string reasonAsUser(const std::string& path, uid_t uid, gid_t gid) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return "(no pipe)";
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) {
            ::_exit(2);
        }
        PosixSerialLines lines(nameIsPath());
        lines.open(path);
        const std::string reason = lines.openFailureReason();
        const bool written = ::write(pipeFds[1], reason.data(), reason.size()) ==
                             static_cast<ssize_t>(reason.size());
        ::_exit(written ? 0 : 3);
    }
    ::close(pipeFds[1]);
    std::string reason;
    char buffer[512];
    ssize_t got = 0;
    while ((got = ::read(pipeFds[0], buffer, sizeof(buffer))) > 0) {
        reason.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? reason : "(child failed)";
}

TEST(PosixSerialLinesReasonTest, NamesTheGroupThatOwnsADeviceTheUserMayNotOpen) {
    const ScratchFolder folder;
    const std::string device = folder.file("ttyUSB0");
    std::ofstream(device) << "";
    std::string reason;
    std::string group;
    if (::geteuid() == 0) {
        const ::group* dialout = ::getgrnam("dialout");
        const gid_t gid = dialout != nullptr ? dialout->gr_gid : 20;
        group = dialout != nullptr ? "dialout" : std::string(::getgrgid(gid)->gr_name);
        ASSERT_EQ(::chown(device.c_str(), 0, gid), 0);
        ASSERT_EQ(::chmod(device.c_str(), 0660), 0);
        constexpr uid_t kNobody = 65534;
        reason = reasonAsUser(device, kNobody, kNobody);
    } else {
        const ::group* own = ::getgrgid(::getegid());
        ASSERT_NE(own, nullptr);
        group = own->gr_name;
        ASSERT_EQ(::chmod(device.c_str(), 0), 0);
        PosixSerialLines lines(nameIsPath());
        EXPECT_EQ(lines.open(device), OpenStatus::CannotOpen);
        reason = lines.openFailureReason();
    }
    EXPECT_EQ(reason, "You may not open " + device + ": your user must be in the group \"" + group +
                          "\" (sudo usermod -aG " + group + " $USER), then log out and in again.");
}

}  // namespace
}  // namespace pelkora
