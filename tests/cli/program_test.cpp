// The real pelmira-cli: its main hands the process's arguments and standard streams to the
// commands, and their exit status back to the system.

#include "cli/commands.h"
#include "cli/parser.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "text/text.h"
#include "worktables/table.h"
#include "worktables/workfolder.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pelmira::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class Program : public ::testing::Test {
protected:
    testing::TempDir tmp;

    testing::ProgramResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), PELMIRA_CLI);
        return testing::runProgram(std::move(args), tmp.path());
    }
};

TEST_F(Program, WithoutACommandPrintsTheUsageOnStandardError) {
    const auto r = cli({});
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.out, IsEmpty());
    EXPECT_EQ(r.err, usage());
}

TEST_F(Program, GeneralHelpNamesTheWindowsHelpFileBesideTheProgram) {
    const auto r = cli({"--help"});
    EXPECT_EQ(r.status, 0);
    const fs::path beside = fs::canonical(PELMIRA_CLI).parent_path() / "ITACA.chm";
    EXPECT_EQ(r.out.substr(0, usage().size()), usage());
    EXPECT_THAT(r.out, HasSubstr(beside.string()));
    EXPECT_THAT(r.err, IsEmpty());
}

TEST_F(Program, CommandHelpAndRefusals) {
    for (const Command& c : commands()) {
        SCOPED_TRACE(c.name);
        for (const char* help : {"--help", "-h"}) {
            const auto r = cli({c.name, help});
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.out, commandHelp(c));
            EXPECT_THAT(r.err, IsEmpty());
        }
        const auto refused = cli({c.name, "--nada"});
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.err,
                  "pelmira-cli " + c.name + ": opción desconocida '--nada'\n" + usage());
    }
}

TEST_F(Program, LanguageOfASchoolWithoutTemplates) {
    fs::create_directories(tmp / "HTEMP");
    const auto r = cli({"export", (fs::path(PELMIRA_CLI_DATA) / "sin_plantillas.xml").string(),
                        "--workdir", (tmp / "HTEMP").string(), "--language", "CASTELLANO"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Proceso finalizado\n");
    auto names = worktables::Table::open(worktables::WorkFolder(tmp / "HTEMP"), "ASIGNOMT");
    ASSERT_TRUE(names.first());
    EXPECT_EQ(text::toUtf8(names.text("NOMBRE")), "Matemáticas");
}

} // namespace
} // namespace pelmira::cli
