#include "test_support.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>

namespace pelmira::worktables {
namespace {

using test::ScratchFolder;
using test::workFolder;
using test::writeBytes;

// Sets an environment variable for the life of the object and puts the old value back after.
class EnvVar {
public:
    EnvVar(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~EnvVar() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(WorkFolderMapping, UsesTheDriveLinkWhenThePrefixHasOne) {
    ScratchFolder prefix;
    fs::create_directories(prefix / "drive_c");
    fs::create_directories(prefix / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix.path() / "dosdevices" / "c:");
    EnvVar wine("WINEPREFIX", prefix.path().string());
    EXPECT_EQ(WorkFolder::standard().dir(), prefix.path() / "dosdevices" / "c:" / "HTEMP");
    EXPECT_FALSE(fs::exists(prefix / "drive_c" / "HTEMP")); // never created
}

TEST(WorkFolderMapping, FallsBackToDriveC) {
    ScratchFolder prefix;
    EnvVar wine("WINEPREFIX", prefix.path().string());
    EXPECT_EQ(WorkFolder::standard().dir(), prefix.path() / "drive_c" / "HTEMP");
}

TEST(WorkFolderMapping, DefaultPrefixIsDotWineInHome) {
    ScratchFolder home;
    EnvVar wine("WINEPREFIX", std::nullopt);
    EnvVar homeVar("HOME", home.path().string());
    EXPECT_EQ(WorkFolder::standard().dir(), home.path() / ".wine" / "drive_c" / "HTEMP");
    fs::create_directories(home / ".wine/dosdevices");
    fs::create_directory_symlink("../drive_c", home.path() / ".wine" / "dosdevices" / "c:");
    EXPECT_EQ(WorkFolder::standard().dir(), home.path() / ".wine" / "dosdevices" / "c:" / "HTEMP");
    EnvVar emptyWine("WINEPREFIX", ""); // an empty variable counts as unset
    EXPECT_EQ(WorkFolder::standard().dir(), home.path() / ".wine" / "dosdevices" / "c:" / "HTEMP");
}

TEST(WorkFolderFiles, FindsNamesInAnyLetterCase) {
    ScratchFolder dir;
    const WorkFolder folder = workFolder(dir);
    writeBytes(dir / "Soluc.Dbf", {1});
    writeBytes(dir / "proft.mdx", {1});
    EXPECT_EQ(folder.find("SOLUC.DBF"), dir / "Soluc.Dbf");
    EXPECT_EQ(folder.find("soluc.dbf"), dir / "Soluc.Dbf");
    EXPECT_TRUE(folder.exists("SOLUC.dbf"));
    EXPECT_FALSE(folder.exists("SOLUC"));
    EXPECT_FALSE(folder.exists("SOLUC.DB"));
    EXPECT_EQ(folder.pathFor("SOLUC.DBF"), dir / "Soluc.Dbf");
    EXPECT_EQ(folder.pathFor("AULAT.DBF"), dir / "AULAT.DBF");
    // the exact spelling wins when both exist
    writeBytes(dir / "SOLUC.DBF", {2});
    EXPECT_EQ(folder.find("SOLUC.DBF"), dir / "SOLUC.DBF");
    EXPECT_TRUE(folder.remove("Soluc.dbf"));
    EXPECT_FALSE(folder.exists("SOLUC.DBF"));
    EXPECT_FALSE(folder.remove("SOLUC.DBF"));
    EXPECT_EQ(dir.names(), std::vector<std::string>{"proft.mdx"});
}

TEST(WorkFolderFiles, MissingFolderFindsNothing) {
    ScratchFolder dir;
    const WorkFolder folder(dir / "HTEMP");
    EXPECT_FALSE(folder.exists("PROFT.DBF"));
    EXPECT_FALSE(folder.remove("PROFT.DBF"));
    EXPECT_FALSE(fs::exists(dir / "HTEMP"));
}

TEST(WorkFolderFiles, TablesOpenWhateverTheCaseOfTheirFile) {
    ScratchFolder dir;
    Table::rebuild(workFolder(dir), "PROFT", {{"ABREV", FieldType::Text, 10}}).close();
    fs::rename(dir / "PROFT.DBF", dir / "proft.dbf");
    auto t = Table::open(workFolder(dir), "Proft");
    EXPECT_EQ(t.path(), dir / "proft.dbf");
    t.append();
    t.post();
    t.close(); // saved under the name it has
    EXPECT_EQ(dir.names(), std::vector<std::string>{"proft.dbf"});
}

} // namespace
} // namespace pelmira::worktables
