#include "traffic/SaveText.h"
#include "tests/support/OrdinaryUser.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/FileSizeLimit.h"

namespace {

namespace fs = std::filesystem;

class SaveReceivedTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "save-text-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
    }
    void TearDown() override
    {
        fs::permissions(directory_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(directory_);
    }

    std::string PathOf(const std::string& name) const { return (directory_ / name).string(); }

    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static void Write(const std::string& path, const std::string& content)
    {
        std::ofstream(path, std::ios::binary) << content;
    }

    // Only the given file is left in the directory: no temporary file stays behind.
    void ExpectOnlyFile(const std::string& name) const
    {
        std::vector<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(directory_)) {
            names.push_back(entry.path().filename().string());
        }
        EXPECT_EQ(names, std::vector<std::string>{name});
    }

    fs::path directory_;
};

TEST_F(SaveReceivedTextTest, WritesTheBytesAsTheyAre)
{
    const std::string text = "Hi\r\n\xB0\xA1\r\n--end--\r\n";
    EXPECT_EQ(SaveReceivedText(PathOf("rx.txt"), text), "");
    EXPECT_EQ(Read(PathOf("rx.txt")), text);
    ExpectOnlyFile("rx.txt");
}

TEST_F(SaveReceivedTextTest, EmptyTextGivesAnEmptyFile)
{
    EXPECT_EQ(SaveReceivedText(PathOf("empty.txt"), ""), "");
    ASSERT_TRUE(fs::exists(PathOf("empty.txt")));
    EXPECT_EQ(fs::file_size(PathOf("empty.txt")), 0u);
}

TEST_F(SaveReceivedTextTest, OverwriteReplacesContentAndKeepsPermissions)
{
    const std::string path = PathOf("rx.txt");
    Write(path, "old content that is longer");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(SaveReceivedText(path, "new"), "");
    EXPECT_EQ(Read(path), "new");
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ExpectOnlyFile("rx.txt");
}

TEST_F(SaveReceivedTextTest, MissingDirectoryGivesAReason)
{
    const std::string path = PathOf("missing/rx.txt");
    EXPECT_NE(SaveReceivedText(path, "data"), "");
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(SaveReceivedTextTest, DirectoryAsTargetGivesAReason)
{
    fs::create_directory(PathOf("folder"));
    EXPECT_NE(SaveReceivedText(PathOf("folder"), "data"), "");
    EXPECT_TRUE(fs::is_directory(PathOf("folder")));
}

TEST_F(SaveReceivedTextTest, ReadOnlyDirectoryLeavesTheOldFile)
{
    const std::string path = PathOf("rx.txt");
    Write(path, "old");
    fs::permissions(directory_, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_NE(RunAsOrdinaryUser({directory_}, [&] { return SaveReceivedText(path, "new"); }), "");
    EXPECT_EQ(Read(path), "old");
    ExpectOnlyFile("rx.txt");
}

TEST_F(SaveReceivedTextTest, ReadOnlyFileIsNotReplaced)
{
    const std::string path = PathOf("rx.txt");
    Write(path, "old");
    fs::permissions(path, fs::perms::owner_read);
    EXPECT_NE(RunAsOrdinaryUser({directory_}, [&] { return SaveReceivedText(path, "new"); }), "");
    EXPECT_EQ(Read(path), "old");
    ExpectOnlyFile("rx.txt");
}

TEST_F(SaveReceivedTextTest, FailedWriteLeavesTheOldFileAndNoTemporary)
{
    const std::string path = PathOf("rx.txt");
    Write(path, "old");
    EXPECT_TRUE(WithFileSizeLimit([&] { return !SaveReceivedText(path, std::string(4096, 'n')).empty(); }))
        << "the failed write was reported as success";
    EXPECT_EQ(Read(path), "old");
    ExpectOnlyFile("rx.txt");
}

} // namespace
