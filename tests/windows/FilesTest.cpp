// Files and folders through the Windows implementations, with names outside ASCII (the program
// hands the system UTF-8; Windows wants UTF-16).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/CaptureFile.h"
#include "platform/CodePage.h"
#include "platform/ProgramDir.h"
#include "platform/TemporaryNames.h"
#include "platform/UserFolders.h"
#include "platform/WholeFile.h"

#include <windows.h>

namespace {

namespace fs = std::filesystem;

// A fresh folder with a Chinese name under the system's temporary folder.
class Folder : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = (fs::temp_directory_path() / fs::path(u8"串口调试-测试")).u8string();
        fs::remove_all(fs::path(root));
        ASSERT_EQ(CreateFolderPath(Path(u8"设置/深层")), 0);
    }
    void TearDown() override { fs::remove_all(fs::path(root)); }

    std::string Path(const std::u8string& name) const
    {
        return std::string(reinterpret_cast<const char*>(root.data()), root.size()) + "/" +
               std::string(reinterpret_cast<const char*>(name.data()), name.size());
    }

    std::u8string root;
};

}  // namespace

TEST(Paths, TellAbsolutePathsOfWindows)
{
    const struct {
        const char* path;
        bool absolute;
    } cases[] = {
        {"C:\\Users\\x", true}, {"c:/x", true},   {"\\\\server\\share", true}, {"//server/share", true},
        {"C:x", false},         {"x\\y", false},  {"\\x", false},             {"", false},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(IsAbsolutePath(each.path), each.absolute) << each.path;
    }
}

TEST(Paths, ProgramFolderUsesForwardSlashes)
{
    const std::string folder = ProgramDirectory();
    EXPECT_EQ(folder.find('\\'), std::string::npos) << folder;
    EXPECT_TRUE(IsAbsolutePath(folder)) << folder;
    EXPECT_TRUE(IsFolder(folder));
}

TEST_F(Folder, CreatesNestedFoldersWithChineseNames)
{
    EXPECT_TRUE(IsFolder(Path(u8"设置")));
    EXPECT_TRUE(IsFolder(Path(u8"设置/深层")));
    EXPECT_TRUE(IsWritableFolder(Path(u8"设置/深层")));
    EXPECT_FALSE(IsFolder(Path(u8"没有")));
    EXPECT_EQ(CreateFolderPath(Path(u8"设置/深层")), 0) << "an existing folder is fine";
}

TEST_F(Folder, ReplacesAndReadsWholeFilesLeavingNoTemporaryFile)
{
    const std::string file = Path(u8"设置/Config.ini");
    for (const std::string& contents : {std::string(), std::string("[Main]\r\nA=1\r\n"), std::string(100000, '\xFF')}) {
        ASSERT_FALSE(ReplaceWholeFile(file, contents));
        std::string read;
        ASSERT_FALSE(ReadWholeFile(file, read));
        EXPECT_EQ(read, contents);
    }
    std::string read;
    EXPECT_EQ(ReadWholeFile(file, read, 99999), std::errc::file_too_large);
    EXPECT_FALSE(ReadWholeFile(file, read, 100000));
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(fs::path(root) / u8"设置")) {
        ++entries;
    }
    EXPECT_EQ(entries, 2) << "the file and the folder 深层";
    EXPECT_EQ(ReplaceWholeFile(Path(u8"设置/深层"), "x"), std::errc::is_a_directory);
    EXPECT_TRUE(ReadWholeFile(Path(u8"没有"), read));
}

TEST_F(Folder, RemovesStaleTemporaryFilesButNotOneAWriterHolds)
{
    const std::string folder = Path(u8"设置");
    const std::string stale = folder + "/" + TemporaryNameFor("Config.ini");
    ASSERT_FALSE(ReplaceWholeFile(stale, "left behind"));
    ASSERT_FALSE(ReplaceWholeFile(folder + "/Default.pol", "kept"));
    // Held the way a writer holds its temporary file: not shared.
    const fs::path heldName = fs::path(root) / (u8"设置/" + fs::path(TemporaryNameFor("Default.pol")).u8string());
    const HANDLE held = ::CreateFileW(heldName.wstring().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(RemoveStaleTemporaryFiles(folder), 1);
    ::CloseHandle(held);
    EXPECT_TRUE(fs::exists(heldName));
    std::string read;
    EXPECT_TRUE(ReadWholeFile(stale, read));
    EXPECT_FALSE(ReadWholeFile(folder + "/Default.pol", read));
}

TEST_F(Folder, CaptureFilesAppendAndTellWhenTheirFileIsGone)
{
    const std::string path = Path(u8"记录.txt");
    const struct {
        CaptureOpen mode;
        int error;
        const char* written;
        const char* after;
    } steps[] = {
        {CaptureOpen::CreateNew, 0, "ab", "ab"},
        {CaptureOpen::CreateNew, EEXIST, "", "ab"},
        {CaptureOpen::Append, 0, "cd", "abcd"},
        {CaptureOpen::Truncate, 0, "e", "e"},
    };
    for (const auto& step : steps) {
        CaptureFile file;
        std::uint64_t size = 0;
        ASSERT_EQ(file.Open(path, step.mode, size), step.error);
        if (step.error == 0) {
            EXPECT_EQ(file.Write(step.written, std::strlen(step.written)), static_cast<long>(std::strlen(step.written)));
            EXPECT_TRUE(file.StillThere());
            EXPECT_EQ(file.Close(), 0);
        }
        std::string read;
        ASSERT_FALSE(ReadWholeFile(path, read));
        EXPECT_EQ(read, step.after);
    }
    CaptureFile file;
    std::uint64_t size = 0;
    ASSERT_EQ(file.Open(path, CaptureOpen::Append, size), 0);
    EXPECT_EQ(size, 1u);
    // Windows removes no open file; it may be renamed away.
    fs::rename(fs::path(root) / u8"记录.txt", fs::path(root) / u8"改名.txt");
    EXPECT_FALSE(file.StillThere());
    std::FILE* stream = nullptr;
    EXPECT_EQ(OpenRegularFile(Path(u8"设置"), stream, size), std::errc::not_supported);
}
