#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <utility>

#include <sys/resource.h>
#include <unistd.h>

#include "log/Logger.h"
#include "support/CommandRunner.h"
#include "support/TextSupport.h"
#include "text/DataBuffer.h"
#include "file/FileAccess.h"
#include "text/StringBuffer.h"

namespace fs = std::filesystem;
using namespace tarvex;
using tarvex_test::logText;
using tarvex_test::randomBytes;

namespace {

class FileAccessTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    size_t entriesInDir() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }

    tarvex_test::ScratchDir scratch_{"files"};
    const fs::path& dir_ = scratch_.path();
};

}  // namespace

TEST_F(FileAccessTest, RoundTripReplacesContentExactly) {
    std::string target = path("doc.xml");
    tarvex_test::writeAll(target, std::string(5000, 'o'));  // longer old content must not survive
    const std::string bytes = std::string("<a>\0\xff\xfe\r\n</a>", 13) + randomBytes(6 * 1024 * 1024 + 123, 1);
    Logger log;
    ASSERT_TRUE(writeFile(target.c_str(), bytes.data(), static_cast<uint32_t>(bytes.size()), &log));
    EXPECT_EQ(tarvex_test::readAll(target), bytes);
    EXPECT_EQ(entriesInDir(), 1u);  // no temporary file left behind

    DataBuffer data;
    ASSERT_TRUE(loadFile(target.c_str(), data, &log));
    ASSERT_EQ(data.getSize(), bytes.size());
    EXPECT_TRUE(std::memcmp(data.getData(), bytes.data(), bytes.size()) == 0);  // read whole

    std::u16string wideName(target.begin(), target.end());
    ASSERT_TRUE(loadFileWide(wideName.c_str(), data, &log));
    EXPECT_EQ(data.getSize(), bytes.size());
}

TEST_F(FileAccessTest, EmptyFilesLoadAndWrite) {
    std::string target = path("empty.txt");
    tarvex_test::writeAll(target, "previous");
    Logger log;
    ASSERT_TRUE(writeFile(target.c_str(), nullptr, 0, &log));
    EXPECT_EQ(fs::file_size(target), 0u);

    DataBuffer data;
    data.append("stale", 5);
    ASSERT_TRUE(loadFile(target.c_str(), data, &log));
    EXPECT_EQ(data.getSize(), 0u);

    EXPECT_FALSE(writeFile("", "x", 1, &log));
    EXPECT_FALSE(writeFile(nullptr, "x", 1, &log));
}

TEST_F(FileAccessTest, NonAnsiNamesTakeTheWideRoute) {
    // Not representable in the ANSI code page: opened by the UTF-8 name.
    std::string target = path("\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.xml");
    Logger log;
    DataBuffer data;
    ASSERT_TRUE(writeFile(target.c_str(), "abc", 3, &log));
    ASSERT_TRUE(loadFile(target.c_str(), data, &log));
    EXPECT_EQ(data.getSize(), 3u);

    // Representable in the ANSI code page: still found under its UTF-8 name.
    std::string accented = path("caf\xC3\xA9.xml");
    ASSERT_TRUE(writeFile(accented.c_str(), "de", 2, &log));
    EXPECT_EQ(tarvex_test::readAll(accented), "de");

    Logger missingLog;
    std::string missing = path("\xE6\x96\x87.xml");
    EXPECT_FALSE(loadFile(missing.c_str(), data, &missingLog));
    std::string text = logText(missingLog);
    EXPECT_NE(text.find("Failed to open file (3)"), std::string::npos) << text;
    EXPECT_NE(text.find("utf8Filename"), std::string::npos) << text;
}

TEST_F(FileAccessTest, FailedWriteLeavesOldFileIntact) {
    std::string target = path("keep.xml");
    const std::string old = randomBytes(3000, 2);
    tarvex_test::writeAll(target, old);

    // The file system refuses to let this process write more than 4 KB.
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string bytes = randomBytes(100000, 3);
    Logger log;
    bool ok = writeFile(target.c_str(), bytes.data(), static_cast<uint32_t>(bytes.size()), &log);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(ok);
    EXPECT_EQ(tarvex_test::readAll(target), old);
    EXPECT_EQ(entriesInDir(), 1u);
    std::string text = logText(log);
    EXPECT_NE(text.find("Failed to write complete file (1)"), std::string::npos) << text;
    EXPECT_NE(text.find("keep.xml"), std::string::npos) << text;
}

TEST_F(FileAccessTest, FailureLogsInOrder) {
    // Loading a missing file.
    std::string missing = path("missing.xml");
    Logger loadLog;
    DataBuffer data;
    EXPECT_FALSE(loadFile(missing.c_str(), data, &loadLog));
    EXPECT_EQ(logText(loadLog), "OstrandLog:\r\n"
                                "  Failed to open file (2)\r\n"
                                "  filename: " + missing + "\r\n"
                                "  osErrorInfo: No such file or directory\r\n");

    // Writing where the target cannot be opened names the target, never a
    // temporary file beside it.
    const std::string folder = path("sub");
    fs::create_directory(folder);
    const std::pair<std::string, std::string> targets[] = {{path("no-such-folder/out.xml"), "No such file or directory"},
                                                           {folder, "Is a directory"}};
    for (const auto& t : targets) {
        Logger writeLog;
        EXPECT_FALSE(writeFile(t.first.c_str(), "x", 1, &writeLog));
        EXPECT_EQ(logText(writeLog), "OstrandLog:\r\n  Failed to open file (2)\r\n  filename: " + t.first +
                                         "\r\n  osErrorInfo: " + t.second + "\r\n  filename: " + t.first +
                                         "\r\n  Failed to write complete file (7)\r\n");
    }
    EXPECT_EQ(entriesInDir(), 1u);  // no temporary file left behind

    // Nor can a folder be loaded, or an empty name; without a log: just false.
    Logger loadDirLog;
    EXPECT_FALSE(loadFile(folder.c_str(), data, &loadDirLog));
    EXPECT_NE(logText(loadDirLog).find("Failed to open file (2)"), std::string::npos);
    Logger emptyLog;
    EXPECT_FALSE(loadFile("", data, &emptyLog));
    EXPECT_EQ(logText(emptyLog), "OstrandLog:\r\n  Cannot open file, filename is empty.\r\n");
    EXPECT_FALSE(loadFile(missing.c_str(), data, nullptr));
}

TEST_F(FileAccessTest, ReadOnlyFileIsNotReplaced) {
    if (geteuid() == 0) GTEST_SKIP() << "the superuser may write to any file";
    std::string target = path("locked.xml");
    tarvex_test::writeAll(target, "old");
    fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    Logger log;
    EXPECT_FALSE(writeFile(target.c_str(), "new", 3, &log));
    EXPECT_EQ(tarvex_test::readAll(target), "old");
    EXPECT_EQ(entriesInDir(), 1u);
    EXPECT_NE(logText(log).find("Failed to write complete file (7)"), std::string::npos) << logText(log);
}

TEST_F(FileAccessTest, SavingThroughALinkKeepsTheLink) {
    fs::create_directory(dir_ / "real");
    const std::string real = path("real/doc.xml");
    tarvex_test::writeAll(real, "old");
    const std::string link = path("doc.xml");
    fs::create_symlink("real/doc.xml", link);          // relative, as users make them
    const std::string dangling = path("new.xml");
    fs::create_symlink("real/new.xml", dangling);      // names a file yet to exist

    Logger log;
    ASSERT_TRUE(writeFile(link.c_str(), "new", 3, &log));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(tarvex_test::readAll(real), "new");
    ASSERT_TRUE(writeFile(dangling.c_str(), "fresh", 5, &log));
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_EQ(tarvex_test::readAll(path("real/new.xml")), "fresh");
}
