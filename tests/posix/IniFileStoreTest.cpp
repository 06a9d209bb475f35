#include "platform/posix/IniFileStore.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "core/settings/IniText.h"

// Sanitizers reserve terabytes of address space up front, so a limit on it
// cannot tell a big allocation from their own.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PELKORA_ADDRESS_LIMIT_UNUSABLE 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define PELKORA_ADDRESS_LIMIT_UNUSABLE 1
#endif
#endif

namespace pelkora {
namespace {

namespace fs = std::filesystem;

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A file of head, then size - head.size() - tail.size() zero bytes that take
// no disk space, then tail.
void writeSparse(const std::string& path, const std::string& head, off_t size,
                 const std::string& tail) {
    writeText(path, head);
    ASSERT_EQ(truncate(path.c_str(), size - static_cast<off_t>(tail.size())), 0);
    std::ofstream(path, std::ios::binary | std::ios::app) << tail;
}

// Runs body in a child process whose address space may grow by at most
// extraBytes; true when body returned true (an allocation beyond the limit
// throws, and the child fails).
bool withinAddressLimit(std::size_t extraBytes, const std::function<bool()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        std::size_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const auto limit = static_cast<rlim_t>(
            pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) + extraBytes);
        const rlimit cap{limit, limit};
        bool ok = false;
        try {
            ok = setrlimit(RLIMIT_AS, &cap) == 0 && body();
        } catch (...) {
        }
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

std::size_t entryCount(const std::string& dir) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

class IniFileStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "pelkora-ini-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        iniPath_ = dir_ + "/pelkora.ini";
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string dir_;
    std::string iniPath_;
};

TEST_F(IniFileStoreTest, MissingFileReadsDefaultAndCreatesNothing) {
    IniFileStore store(dir_ + "/not/there");
    EXPECT_EQ(store.readString("pelkora.ini", "Keyer", "Delay", "def"), "def");
    EXPECT_FALSE(fs::exists(dir_ + "/not"));
}

TEST_F(IniFileStoreTest, WriteCreatesDirectoryAndFile) {
    const std::string configDir = dir_ + "/config/pelkora/";
    IniFileStore store(configDir);
    store.writeString("pelkora.ini", "Keyer", "Delay", "5");
    EXPECT_TRUE(fs::is_directory(configDir));
    EXPECT_EQ(readText(configDir + "pelkora.ini"), "[Keyer]\nDelay=5\n");
    EXPECT_EQ(store.readString("pelkora.ini", "keyer", "delay", "def"), "5");
}

TEST_F(IniFileStoreTest, WriteChangesNoOtherLineAndKeepsCrLf) {
    const std::string original =
        "; logger settings\r\n[Radio]\r\nPort = COM2\r\n\r\n[Keyer]\r\n"
        "Delay=1\r\nName=\xE4\r\n";
    writeText(iniPath_, original);
    IniFileStore store(dir_);
    store.writeString("pelkora.ini", "KEYER", "delay", "250");
    store.writeString("pelkora.ini", "Radio", "Baud", "9600");
    EXPECT_EQ(readText(iniPath_),
              "; logger settings\r\n[Radio]\r\nPort = COM2\r\nBaud=9600\r\n\r\n[Keyer]\r\n"
              "Delay=250\r\nName=\xE4\r\n");
}

TEST_F(IniFileStoreTest, RefusedWritesThrowAndLeaveTheFileAlone) {
    const std::string original = "[Keyer]\nDelay=1\n";
    writeText(iniPath_, original);
    IniFileStore store(dir_);
    try {
        store.writeString("pelkora.ini", "Keyer", "Delay", "2\n[Evil]");
        FAIL() << "line break accepted";
    } catch (const ProfileWriteError& error) {
        EXPECT_STREQ(error.what(), ("Unable to write to " + iniPath_).c_str());
        EXPECT_EQ(error.path(), iniPath_);
    }
    EXPECT_EQ(readText(iniPath_), original);
    EXPECT_EQ(entryCount(dir_), 1u) << "a temporary file was left behind";
}

TEST_F(IniFileStoreTest, UnwritablePlacesAreRefused) {
    // Tests may run as root, where permission bits do not stop a write; a
    // regular file where a directory should be, or a directory where the
    // file should be, stops everyone.
    writeText(dir_ + "/plain", "not a directory");
    fs::create_directory(dir_ + "/folder.ini");
    IniFileStore underFile(dir_ + "/plain");
    IniFileStore beside(dir_);
    EXPECT_THROW(underFile.writeString("pelkora.ini", "A", "k", "v"), ProfileWriteError);
    EXPECT_THROW(beside.writeString(dir_ + "/plain/deeper/x.ini", "A", "k", "v"),
                 ProfileWriteError);
    try {
        beside.writeString("folder.ini", "A", "k", "v");
        FAIL() << "a directory was written as a file";
    } catch (const ProfileWriteError& error) {
        EXPECT_STREQ(error.what(), ("Unable to write to " + dir_ + "/folder.ini").c_str());
    }
    EXPECT_EQ(readText(dir_ + "/plain"), "not a directory");
    EXPECT_EQ(underFile.readString("pelkora.ini", "A", "k", "def"), "def");
}

TEST_F(IniFileStoreTest, BareNamesLiveInTheStartDirectory) {
    IniFileStore store(dir_ + "/");
    EXPECT_EQ(store.resolve("pelkora.ini"), iniPath_);
    EXPECT_EQ(IniFileStore(dir_).resolve("pelkora.ini"), iniPath_);

    const std::string elsewhere = dir_ + "/logger/log.ini";
    EXPECT_EQ(store.resolve(elsewhere), elsewhere);
    store.writeString(elsewhere, "Voice", "Key", "F1");
    EXPECT_EQ(readText(elsewhere), "[Voice]\nKey=F1\n");
    EXPECT_FALSE(fs::exists(iniPath_));
}

TEST_F(IniFileStoreTest, SymlinkStaysALink) {
    writeText(dir_ + "/real.ini", "[A]\nk=1\n");
    fs::create_symlink("real.ini", iniPath_);
    fs::create_symlink("nowhere/dangling.ini", dir_ + "/dangling.ini");
    IniFileStore store(dir_);
    store.writeString("pelkora.ini", "A", "k", "2");
    store.writeString("dangling.ini", "A", "k", "3");
    EXPECT_TRUE(fs::is_symlink(iniPath_));
    EXPECT_EQ(readText(dir_ + "/real.ini"), "[A]\nk=2\n");
    EXPECT_TRUE(fs::is_symlink(dir_ + "/dangling.ini"));
    EXPECT_EQ(readText(dir_ + "/nowhere/dangling.ini"), "[A]\nk=3\n");
}

TEST_F(IniFileStoreTest, PermissionBitsAreKept) {
    writeText(iniPath_, "[A]\nk=1\n");
    ASSERT_EQ(chmod(iniPath_.c_str(), 0640), 0);
    IniFileStore(dir_).writeString("pelkora.ini", "A", "k", "2");
    struct stat info {};
    ASSERT_EQ(stat(iniPath_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(IniFileStoreTest, EditsByOtherProgramsAreSeen) {
    IniFileStore store(dir_);
    writeText(iniPath_, "[A]\nk=1\n");
    EXPECT_EQ(store.readString("pelkora.ini", "A", "k", "def"), "1");
    writeText(iniPath_, "[A]\nk=2\nj=x\n");
    EXPECT_EQ(store.readString("pelkora.ini", "A", "k", "def"), "2");
    store.writeString("pelkora.ini", "A", "k", "3");
    EXPECT_EQ(readText(iniPath_), "[A]\nk=3\nj=x\n");
}

TEST_F(IniFileStoreTest, FifoInPlaceOfTheFileNeitherHangsNorIsWritten) {
    ASSERT_EQ(mkfifo(iniPath_.c_str(), 0600), 0);
    IniFileStore store(dir_);
    EXPECT_EQ(store.readString("pelkora.ini", "A", "k", "def"), "def");
    EXPECT_THROW(store.writeString("pelkora.ini", "A", "k", "v"), ProfileWriteError);
}

TEST_F(IniFileStoreTest, CrEndingTheLastLineIsNoPartOfTheValue) {
    writeText(iniPath_, "[Config]\r\nPTTPort=2\r\nPTTLine=3\r");
    IniFileStore store(dir_);
    EXPECT_EQ(store.readString("pelkora.ini", "Config", "PTTLine", "def"), "3");
    store.writeString("pelkora.ini", "Config", "PTTLine", "3");
    EXPECT_EQ(readText(iniPath_), "[Config]\r\nPTTPort=2\r\nPTTLine=3\r") << "rewritten needlessly";
}

TEST_F(IniFileStoreTest, WritesToAFileOfManyBlocksChangeOnlyTheKey) {
    std::string original = "\xEF\xBB\xBF; logger\r\n[Macroses]\r\n";
    for (int i = 0; i < 20000; ++i) {
        original += "Macro" + std::to_string(i) + "=~[f" + std::to_string(i) + ".wav]\r\n";
    }
    original += "[Config]\r\nPTTLine=1\r\n\r\n[Paths]\r\nSoundDir=/s/";
    struct Change {
        const char *section, *key, *value;
    };
    const std::vector<Change> changes = {{"Macroses", "Macro12345", "~[ec]"},
                                         {"macroses", "Macro0", ""},
                                         {"Config", "PTTPort", "4"},
                                         {"Paths", "SoundDir", "/home/op/sound/"},
                                         {"Buttons", "Caption3", "QRZ?"}};
    IniFileStore store(dir_);
    std::string expected = original;
    writeText(iniPath_, original);
    for (const Change& c : changes) {
        SCOPED_TRACE(c.key);
        store.writeString("pelkora.ini", c.section, c.key, c.value);
        expected = IniText::withValue(expected, c.section, c.key, c.value);
        EXPECT_EQ(readText(iniPath_), expected);
        EXPECT_EQ(store.readString("pelkora.ini", c.section, c.key, "def"), c.value);
    }
    EXPECT_EQ(entryCount(dir_), 1u) << "a temporary file was left behind";
}

struct FileReadCase {
    const char* name;
    std::string content;
    const char* section;
    const char* key;
    std::string expected;
};

// Files from Windows and from old Macintosh editors, read through a real file.
TEST_F(IniFileStoreTest, ReadsQuotesAndEveryLineEnding) {
    // After the head and pad, the next byte is the last of the first block read.
    const std::string pad(IniLineReader::kBlockSize - 6, ';');
    const std::vector<FileReadCase> cases = {
        {"quotes dropped", "[QSO]\r\nCall=\"  DL1ABC  \"\r\n", "QSO", "Call", "  DL1ABC  "},
        {"unmatched quotes kept", "[QSO]\r\nCall=\"x'\r\n", "QSO", "Call", "\"x'"},
        {"CR only", "[Config]\rPTTPort=2\rPTTLine=3\r[QSO]\rCall=K1A\r", "QSO", "Call", "K1A"},
        {"mixed", "[Config]\r\nPTTPort=2\rPTTLine=3\n[QSO]\rCall=K1A", "QSO", "Call", "K1A"},
        {"CR at the end", "[Config]\nPTTLine=3\r", "Config", "PTTLine", "3"},
        {"CR LF across blocks", "[A]\r\n" + pad + "\r\nk=1\r\n", "A", "k", "1"},
        {"CR, CR across blocks", "[A]\r\n" + pad + "\r\rk=1\r", "A", "k", "1"},
    };
    IniFileStore store(dir_);
    for (const FileReadCase& c : cases) {
        writeText(iniPath_, c.content);
        EXPECT_EQ(store.readString("pelkora.ini", c.section, c.key, "def"), c.expected) << c.name;
    }
}

TEST_F(IniFileStoreTest, WriteIntoACrOnlyFileKeepsEveryOtherByte) {
    const std::string original = "[Config]\rPTTPort=2\rPTTLine=1\r\r[QSO]\rCall=K1A\r";
    writeText(iniPath_, original);
    IniFileStore store(dir_);
    store.writeString("pelkora.ini", "Config", "PTTLine", "3");
    store.writeString("pelkora.ini", "Config", "ButtonRows", "2");
    store.writeString("pelkora.ini", "Paths", "SoundDir", "/s/");
    EXPECT_EQ(readText(iniPath_),
              "[Config]\rPTTPort=2\rPTTLine=3\rButtonRows=2\r\r[QSO]\rCall=K1A\r"
              "\r[Paths]\rSoundDir=/s/\r");
    const std::vector<std::vector<const char*>> keys = {{"Config", "PTTPort", "2"},
                                                        {"Config", "PTTLine", "3"},
                                                        {"Config", "ButtonRows", "2"},
                                                        {"QSO", "Call", "K1A"},
                                                        {"Paths", "SoundDir", "/s/"}};
    for (const auto& key : keys) {
        EXPECT_EQ(store.readString("pelkora.ini", key[0], key[1], "def"), key[2]) << key[1];
    }
}

std::vector<ProfileEntry> macroFormSave(const std::string& tag) {
    std::vector<ProfileEntry> entries{{"Paths", "SoundDir", "/home/op/sound/"}};
    for (int key = 1; key <= 12; ++key) {
        entries.push_back({"Macroses", "Macro" + std::to_string(key), tag + std::to_string(key)});
    }
    for (int key = 1; key <= 12; ++key) {
        entries.push_back({"Buttons", "Caption" + std::to_string(key), key % 2 ? tag : ""});
    }
    return entries;
}

TEST_F(IniFileStoreTest, BatchWriteEqualsWritingEachKeyInTurn) {
    std::string manyBlocks = "[Macroses]\r\n";
    for (int i = 0; i < 20000; ++i) {
        manyBlocks += "Other" + std::to_string(i) + "=~[f" + std::to_string(i) + ".wav]\r\n";
    }
    manyBlocks += "Macro7=old\r\n[Buttons]\r\nCaption1=CQ";
    const std::vector<std::string> contents = {
        "",
        "[Config]\r\nPTTPort=2\r\n",
        "[Buttons]\rCaption3=QRZ\r[Macroses]\rMacro1=~[iCall]\r",
        "[Paths]\nSoundDir=/s/\r\n[Buttons]\r\nCaption2=x\r",
        manyBlocks,
    };
    const std::string batchPath = dir_ + "/batch.ini";
    IniFileStore store(dir_);
    for (const std::string& content : contents) {
        SCOPED_TRACE(content.substr(0, 30));
        writeText(iniPath_, content);
        writeText(batchPath, content);
        for (const std::string tag : {"a", "b"}) {  // a second save over the first
            const std::vector<ProfileEntry> entries = macroFormSave(tag);
            for (const ProfileEntry& e : entries) {
                store.writeString("pelkora.ini", e.section, e.key, e.value);
            }
            store.writeStrings("batch.ini", entries);
            EXPECT_EQ(readText(batchPath), readText(iniPath_));
        }
        EXPECT_EQ(store.readString("batch.ini", "Macroses", "Macro12", "def"), "b12");
    }
    EXPECT_EQ(entryCount(dir_), 2u) << "a temporary file was left behind";
}

TEST_F(IniFileStoreTest, RefusedBatchWriteLeavesTheFileAsItWas) {
    const std::string original = "[Paths]\r\nSoundDir=/s/\r\n[Macroses]\r\nMacro1=~[f1.wav]\r\n";
    writeText(iniPath_, original);
    fs::create_directory(dir_ + "/folder.ini");
    IniFileStore store(dir_);
    std::vector<ProfileEntry> lineBreakLast = macroFormSave("new");
    lineBreakLast.push_back({"Buttons", "Caption12", "two\nlines"});
    struct Refusal {
        const char* name;
        const char* file;
        std::vector<ProfileEntry> entries;
    };
    const std::vector<Refusal> refusals = {
        {"a line break in the last value", "pelkora.ini", lineBreakLast},
        {"a key that would read as a section",
         "pelkora.ini",
         {{"Paths", "SoundDir", "/t/"}, {"Macroses", "[Macro2", "x"}}},
        {"a directory in the file's place", "folder.ini", macroFormSave("new")},
    };
    for (const Refusal& r : refusals) {
        try {
            store.writeStrings(r.file, r.entries);
            ADD_FAILURE() << r.name << ": accepted";
        } catch (const ProfileWriteError& error) {
            EXPECT_EQ(error.path(), dir_ + "/" + r.file) << r.name;
            EXPECT_STREQ(error.what(), ("Unable to write to " + dir_ + "/" + r.file).c_str());
        }
        EXPECT_EQ(readText(iniPath_), original) << r.name;
    }
    EXPECT_EQ(entryCount(dir_), 2u) << "a temporary file was left behind";
}

// A settings file far larger than the memory the store may use: a value is
// read and written all the same, at the cost of one block, never the file.
TEST_F(IniFileStoreTest, HugeFileIsNeverHeldInMemory) {
#ifdef PELKORA_ADDRESS_LIMIT_UNUSABLE
    GTEST_SKIP() << "address space cannot be limited under a sanitizer";
#endif
    constexpr std::size_t kHeadroom = 24u << 20;
    const std::string bigRead = dir_ + "/big-read.ini";
    const std::string bigWrite = dir_ + "/big-write.ini";
    writeSparse(bigRead, "[A]\nfirst=1\n", off_t{1} << 30, "\n[B]\nlast=2\n");
    writeSparse(bigWrite, "[A]\nk=1\n", off_t{48} << 20, "\nlast=2\n");
    IniFileStore store(dir_);
    EXPECT_TRUE(withinAddressLimit(kHeadroom, [&] {
        return store.readString(bigRead, "A", "first", "def") == "1";
    })) << "the key near the top";
    EXPECT_TRUE(withinAddressLimit(kHeadroom, [&] {
        return store.readString(bigWrite, "A", "last", "def") == "2";
    })) << "the key behind a line of 48 MiB";
    EXPECT_TRUE(withinAddressLimit(kHeadroom, [&] {
        store.writeString(bigWrite, "A", "k", "22");
        return true;
    }));
    EXPECT_EQ(fs::file_size(bigWrite), (std::uintmax_t{48} << 20) + 1);
    EXPECT_EQ(store.readString(bigWrite, "a", "K", "def"), "22");
    EXPECT_EQ(store.readString(bigWrite, "A", "last", "def"), "2");
}

}  // namespace
}  // namespace pelkora
