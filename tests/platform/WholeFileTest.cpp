#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/WholeFile.h"
#include "tests/platform/TempDir.h"

namespace {

namespace fs = std::filesystem;

std::set<std::string> NamesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

mode_t ModeOf(const std::string& path)
{
    struct stat status {};
    ::stat(path.c_str(), &status);
    return status.st_mode & 07777;
}

class WholeFile : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.File("Config.ini");
};

TEST_F(WholeFile, ReplacingWritesTheBytesAndLeavesNoTemporaryFile)
{
    const std::string bytes("[Setting]\r\n\0\xB0\xA1", 14);
    ASSERT_FALSE(ReplaceWholeFile(path, bytes));
    EXPECT_EQ(ReadFile(path), bytes);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(ModeOf(path), 0666 & ~mask) << "a new file gets the mode of any new file";

    ::chmod(path.c_str(), 0640);
    ASSERT_FALSE(ReplaceWholeFile(path, ""));
    EXPECT_EQ(ReadFile(path), "");
    EXPECT_EQ(ModeOf(path), 0640u) << "an existing file keeps its permissions";
    EXPECT_EQ(NamesIn(dir.Path()), std::set<std::string>{"Config.ini"});

    std::string read;
    ASSERT_FALSE(ReadWholeFile(path, read));
    EXPECT_EQ(read, "");
}

TEST_F(WholeFile, ALinkKeepsPointingAtTheReplacedFile)
{
    fs::create_directory(dir.File("real"));
    const std::string target = dir.File("real/settings.ini");
    WriteFile(target, "old");
    fs::create_symlink("real/settings.ini", path);
    ASSERT_FALSE(ReplaceWholeFile(path, "new"));
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(ReadFile(target), "new");

    const std::string dangling = dir.File("Default.pol");
    fs::create_symlink("real/made-later.pol", dangling);
    ASSERT_FALSE(ReplaceWholeFile(dangling, "made"));
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_EQ(ReadFile(dir.File("real/made-later.pol")), "made");
    EXPECT_EQ(NamesIn(dir.File("real")), (std::set<std::string>{"made-later.pol", "settings.ini"}));

    fs::create_symlink("loop", dir.File("loop"));
    EXPECT_EQ(ReplaceWholeFile(dir.File("loop"), "x"), std::errc::too_many_symbolic_link_levels);
}

TEST_F(WholeFile, TargetsThatMayNotBeWrittenAreRefused)
{
    fs::create_directory(dir.File("folder"));
    EXPECT_EQ(ReplaceWholeFile(dir.File("folder"), "x"), std::errc::is_a_directory);
    EXPECT_TRUE(fs::is_empty(dir.File("folder")));
    EXPECT_EQ(ReplaceWholeFile(dir.File("missing/Config.ini"), "x"), std::errc::no_such_file_or_directory);
    std::string read;
    EXPECT_EQ(ReadWholeFile(dir.File("missing.ini"), read), std::errc::no_such_file_or_directory);
    EXPECT_EQ(ReadWholeFile(dir.File("folder"), read), std::errc::is_a_directory);
    WriteFile(path, "0123456789");
    EXPECT_EQ(ReadWholeFile(path, read, 9), std::errc::file_too_large);

    ::chmod(path.c_str(), 0444);
    if (::access(path.c_str(), W_OK) == 0) {
        GTEST_SKIP() << "permissions do not bind this user (root)";
    }
    EXPECT_EQ(ReplaceWholeFile(path, "new"), std::errc::permission_denied);
    EXPECT_EQ(ReadFile(path), "0123456789");
    EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"Config.ini", "folder"}));
}

TEST(TemporaryFileNames, OnlyOurOwnPatternsAndTheEarlierNamesCount)
{
    for (const char* ours : {".Config.ini.aZ09xY.serialdebug-tmp", ".x.AAAAAA.serialdebug-tmp", "Default.pol.saving",
                             "Config.ini.tmp1234.0", "Config.ini.tmp7.15"}) {
        EXPECT_TRUE(IsTemporaryFileName(ours)) << ours;
    }
    for (const char* foreign :
         {"Config.ini", "Default.pol", "Default.pol.bak", "..aZ09xY.serialdebug-tmp", ".Config.ini.aZ09x.serialdebug-tmp",
          ".Config.ini.aZ0-xY.serialdebug-tmp", "Config.ini.aZ09xY.serialdebug-tmp", ".Config.iniaZ09xYZ.serialdebug-tmp",
          ".Config.ini.aZ09xY.serialdebug-tmp.txt", "x.pol.saving", "Default.pol.saving2", "Config.ini.tmp",
          "Config.ini.tmp12", "Config.ini.tmp12.", "Config.ini.tmp.3", "Config.ini.tmp1a.2", "config.ini.tmp1.2"}) {
        EXPECT_FALSE(IsTemporaryFileName(foreign)) << foreign;
    }
}

TEST_F(WholeFile, CleaningUpRemovesOnlyStaleTemporaryFiles)
{
    WriteFile(path, "settings");
    const std::string stale[] = {".Config.ini.aZ09xY.serialdebug-tmp", "Default.pol.saving", "Config.ini.tmp4242.3"};
    for (const std::string& name : stale) {
        WriteFile(dir.File(name), "left by a killed run");
    }
    const std::string held = ".Default.pol.HeLd00.serialdebug-tmp";
    WriteFile(dir.File(held), "being written");
    const int writer = ::open(dir.File(held).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(writer, LOCK_EX), 0);
    fs::create_directory(dir.File(".Config.ini.FoLdEr.serialdebug-tmp"));
    fs::create_symlink("Config.ini", dir.File(".Config.ini.LiNkEd.serialdebug-tmp"));
    ASSERT_EQ(::mkfifo(dir.File(".Config.ini.FiFo00.serialdebug-tmp").c_str(), 0600), 0);
    WriteFile(dir.File("Config.ini.tmp12"), "not ours");

    EXPECT_EQ(RemoveStaleTemporaryFiles(dir.Path()), 3);

    EXPECT_EQ(NamesIn(dir.Path()),
              (std::set<std::string>{"Config.ini", held, ".Config.ini.FoLdEr.serialdebug-tmp",
                                     ".Config.ini.LiNkEd.serialdebug-tmp", ".Config.ini.FiFo00.serialdebug-tmp",
                                     "Config.ini.tmp12"}));
    EXPECT_EQ(ReadFile(path), "settings");
    ::close(writer);
    EXPECT_EQ(RemoveStaleTemporaryFiles(dir.Path()), 1) << "a writer that is gone holds nothing";
    EXPECT_EQ(RemoveStaleTemporaryFiles(dir.File("missing")), 0);
}

}  // namespace
