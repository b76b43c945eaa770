#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

#include "app/SettingsFolder.h"
#include "platform/UserFolders.h"
#include "tests/platform/TempDir.h"
#include "tests/support/OrdinaryUser.h"

namespace {

namespace fs = std::filesystem;

class SettingsFolderTest : public ::testing::Test {
protected:
    SettingsFolderTest()
    {
        fs::create_directory(ProgramDir());
        fs::create_directory(Home());
    }

    std::string ProgramDir() const { return m_root.File("program"); }
    std::string Home() const { return m_root.File("home"); }
    SettingsEnvironment Environment() const { return {"", Home()}; }
    std::string UserFolder() const { return Home() + "/.config/serialdebug"; }

    static void MakeReadOnly(const std::string& path) { fs::permissions(path, fs::perms::owner_read | fs::perms::owner_exec); }

    // The outcome of SetUpSettingsFolder as one line, for results that come back from a child.
    static std::string Describe(const SettingsFolder& folder)
    {
        return folder.path + " problem " + std::to_string(static_cast<int>(folder.problem)) + " error " +
               std::to_string(folder.error);
    }
    static std::string Described(const std::string& path, SettingsFolderProblem problem, int error = 0)
    {
        return Describe(SettingsFolder{path, problem, error});
    }

    TempDir m_root;
};

TEST_F(SettingsFolderTest, AWritableProgramFolderKeepsTheFilesBesideTheProgram)
{
    const SettingsFolder folder = SetUpSettingsFolder(ProgramDir(), Environment(), std::nullopt);
    EXPECT_EQ(Describe(folder), Described(ProgramDir(), SettingsFolderProblem::None));
    EXPECT_FALSE(fs::exists(Home() + "/.config"));
}

TEST_F(SettingsFolderTest, AReadOnlyProgramFolderSendsTheFilesToTheUsersFolderCreatedPrivate)
{
    MakeReadOnly(ProgramDir());
    const std::string outcome = RunAsOrdinaryUser({m_root.Path()}, [&] {
        return Describe(SetUpSettingsFolder(ProgramDir(), Environment(), std::nullopt));
    });
    EXPECT_EQ(outcome, Described(UserFolder(), SettingsFolderProblem::None));
    ASSERT_TRUE(fs::is_directory(UserFolder()));
    EXPECT_EQ(fs::status(UserFolder()).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(fs::status(Home() + "/.config").permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(SettingsFolderTest, AnInstalledProgramUsesTheUsersFolderEvenWhereItMayWrite)
{
    EXPECT_EQ(ChooseSettingsFolder("/usr/bin", Environment(), std::nullopt), UserFolder());
    EXPECT_EQ(ChooseSettingsFolder("/usr/local/bin", Environment(), std::nullopt), UserFolder());
}

TEST_F(SettingsFolderTest, AnAbsoluteXdgConfigHomeIsFollowedAndARelativeOneIgnored)
{
    EXPECT_EQ(ChooseSettingsFolder("/usr/bin", {"/srv/conf", Home()}, std::nullopt), "/srv/conf/serialdebug");
    EXPECT_EQ(ChooseSettingsFolder("/usr/bin", {"conf", Home()}, std::nullopt), UserFolder());
    EXPECT_EQ(ChooseSettingsFolder("/usr/bin", {"", "/"}, std::nullopt), "/.config/serialdebug");
}

TEST_F(SettingsFolderTest, ConfigDirWinsAndIsCreatedWithItsParents)
{
    const std::string wanted = m_root.File("a/b/配置 目录");
    const SettingsFolder folder = SetUpSettingsFolder(ProgramDir(), Environment(), wanted);
    EXPECT_EQ(Describe(folder), Described(wanted, SettingsFolderProblem::None));
    EXPECT_TRUE(fs::is_directory(wanted));
    EXPECT_FALSE(fs::exists(Home() + "/.config"));
}

TEST_F(SettingsFolderTest, ConfigDirNamingAFileIsRefused)
{
    WriteFile(m_root.File("file"), "x");
    EXPECT_EQ(Describe(SetUpSettingsFolder(ProgramDir(), Environment(), m_root.File("file"))),
              Described(m_root.File("file"), SettingsFolderProblem::NotAFolder));
    EXPECT_EQ(Describe(SetUpSettingsFolder(ProgramDir(), Environment(), m_root.File("file/sub"))),
              Described(m_root.File("file/sub"), SettingsFolderProblem::CannotCreate, ENOTDIR));
    EXPECT_EQ(ReadFile(m_root.File("file")), "x");
}

TEST_F(SettingsFolderTest, AFolderThatCannotBeCreatedOrWrittenIsReported)
{
    const std::string locked = m_root.File("locked");
    fs::create_directory(locked);
    MakeReadOnly(locked);
    const std::string outcome = RunAsOrdinaryUser({m_root.Path()}, [&] {
        return Describe(SetUpSettingsFolder(ProgramDir(), Environment(), locked + "/new")) + "; " +
               Describe(SetUpSettingsFolder(ProgramDir(), Environment(), locked));
    });
    EXPECT_EQ(outcome, Described(locked + "/new", SettingsFolderProblem::CannotCreate, EACCES) + "; " +
                           Described(locked, SettingsFolderProblem::NotWritable));
    EXPECT_FALSE(fs::exists(locked + "/new"));
}

TEST_F(SettingsFolderTest, WithoutAnyHomeFolderTheProgramFolderIsReadAndTheProblemReported)
{
    EXPECT_EQ(Describe(SetUpSettingsFolder("/usr/bin", {"", ""}, std::nullopt)),
              Described("/usr/bin", SettingsFolderProblem::NoUserFolder));
}

TEST_F(SettingsFolderTest, AnUnsetHomeFallsBackToTheAccountsHomeFolder)
{
    const std::string saved = EnvironmentValue("HOME");
    ::unsetenv("HOME");
    const SettingsEnvironment environment = SettingsEnvironment::OfThisProcess();
    ::setenv("HOME", saved.c_str(), 1);
    EXPECT_EQ(environment.home, AccountHomeFolder());
    EXPECT_FALSE(environment.home.empty());
}

}  // namespace
