#include "platform/atomic_file.h"
#include "support/scratch_folder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace pelmira::platform {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::ScratchFolder;

void writeText(Sink& sink, const std::string& text) {
    ASSERT_TRUE(sink.write(text.data(), text.size()));
}

// The failure replaceFile throws, caught; fails the test when it succeeds.
ReplaceError failureOf(const fs::path& target, const std::function<void(Sink&)>& write,
                       const ReplaceOptions& options = {}) {
    try {
        replaceFile(target, write, options);
    } catch (const ReplaceError& e) {
        return e;
    }
    ADD_FAILURE() << "replaceFile(" << target << ") did not fail";
    return ReplaceError({ReplaceStage::Write, ""}, "");
}

TEST(ReplaceFile, WritesTheNewContentAndLeavesNothingElse) {
    ScratchFolder dir;
    const fs::path target = dir.write("centro.xml", "old");
    replaceFile(target, [](Sink& sink) { writeText(sink, "new content"); });
    EXPECT_EQ(readFile(target), "new content");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"centro.xml"});
}

TEST(ReplaceFile, CreatesAMissingFile) {
    ScratchFolder dir;
    replaceFile(dir / "Horvex.ini", [](Sink& sink) { writeText(sink, "[a]\n"); });
    EXPECT_EQ(readFile(dir / "Horvex.ini"), "[a]\n");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"Horvex.ini"});
}

// Many small writes, one larger than the sink's buffer, and empty ones, in order.
TEST(ReplaceFile, KeepsTheOrderOfWritesOfEverySize) {
    ScratchFolder dir;
    const fs::path target = dir / "big.xml";
    std::string expected;
    replaceFile(target, [&](Sink& sink) {
        for (int i = 0; i < 20000; ++i) {
            const std::string piece = std::to_string(i) + ",";
            writeText(sink, piece);
            expected += piece;
        }
        const std::string large(300000, 'x');
        writeText(sink, large);
        expected += large;
        EXPECT_TRUE(sink.write(nullptr, 0));
        writeText(sink, "end");
        expected += "end";
    });
    EXPECT_EQ(readFile(target), expected);
}

TEST(ReplaceFile, AFailingWriterKeepsTheOldFileAndLeavesNoTemporary) {
    ScratchFolder dir;
    const fs::path target = dir.write("centro.xml", "old");
    EXPECT_THROW(replaceFile(target,
                             [](Sink& sink) {
                                 writeText(sink, std::string(200000, 'n'));
                                 throw Error("no se puede escribir en la codificación X");
                             }),
                 Error);
    EXPECT_EQ(readFile(target), "old");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"centro.xml"});
}

TEST(ReplaceFile, ReplacesASymbolicLinkAndNotTheFileItNames) {
    ScratchFolder dir;
    const fs::path real = dir.write("real.xml", "kept");
    const fs::path link = dir / "link.xml";
    fs::create_symlink(real, link);
    replaceFile(link, [](Sink& sink) { writeText(sink, "new"); });
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(readFile(link), "new");
    EXPECT_EQ(readFile(real), "kept");
}

TEST(ReplaceFile, ReplacesALinkToAFolderAsALink) {
    ScratchFolder dir;
    fs::create_directory(dir / "folder");
    fs::create_directory_symlink(dir / "folder", dir / "link");
    replaceFile(dir / "link", [](Sink& sink) { writeText(sink, "new"); });
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "link")));
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
}

TEST(ReplaceFile, RefusesAFolder) {
    ScratchFolder dir;
    fs::create_directory(dir / "centro.xml");
    const ReplaceError e = failureOf(dir / "centro.xml", [](Sink&) {});
    EXPECT_EQ(e.stage(), ReplaceStage::Directory);
    EXPECT_EQ(std::string(e.what()), "No se puede guardar el archivo " +
                                         (dir / "centro.xml").string() + ": es una carpeta");
    EXPECT_TRUE(fs::is_directory(dir / "centro.xml"));
    EXPECT_EQ(dir.names(), std::vector<std::string>{"centro.xml"});
}

TEST(ReplaceFile, ReportsAFolderThatDoesNotExist) {
    ScratchFolder dir;
    const fs::path target = dir / "missing" / "centro.xml";
    const ReplaceError e = failureOf(target, [](Sink&) { ADD_FAILURE() << "nothing to write"; });
    EXPECT_EQ(e.stage(), ReplaceStage::Temporary);
    EXPECT_EQ(e.reason(), "no existe el archivo o la carpeta");
    EXPECT_EQ(std::string(e.what()),
              "No se puede guardar el archivo " + target.string() +
                  ": no se puede crear el archivo temporal (no existe el archivo o la carpeta)");
}

TEST(ReplaceFile, WordsTheMessageAsTheCallerAsks) {
    ScratchFolder dir;
    const fs::path target = dir / "missing" / "Horvex.ini";
    ReplaceOptions options;
    options.describe = [&](const ReplaceFailure& f) {
        EXPECT_EQ(f.stage, ReplaceStage::Temporary);
        return "Unable to write to " + target.string();
    };
    const ReplaceError e = failureOf(
        target, [](Sink&) {}, options);
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + target.string());
}

TEST(ReplaceFile, KeepsThePermissionsOfTheReplacedFileWhenAsked) {
    ScratchFolder dir;
    const fs::path target = dir.write("Horvex.ini", "old");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ReplaceOptions options;
    options.keepPermissions = true;
    replaceFile(
        target, [](Sink& sink) { writeText(sink, "new"); }, options);
    EXPECT_EQ(fs::status(target).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

struct MessageCase {
    const char* name;
    ReplaceStage stage;
    const char* reason;
    const char* expected;
};

class SaveFailureMessage : public ::testing::TestWithParam<MessageCase> {};

TEST_P(SaveFailureMessage, NamesTheFileAndTheReason) {
    const MessageCase& c = GetParam();
    EXPECT_EQ(saveFailureMessage("/x/centro.xml", {c.stage, c.reason}), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Stages, SaveFailureMessage,
    ::testing::Values(
        MessageCase{"Directory", ReplaceStage::Directory, "es una carpeta",
                    "No se puede guardar el archivo /x/centro.xml: es una carpeta"},
        MessageCase{"Temporary", ReplaceStage::Temporary, "permiso denegado",
                    "No se puede guardar el archivo /x/centro.xml: no se puede crear el archivo "
                    "temporal (permiso denegado)"},
        MessageCase{"Write", ReplaceStage::Write, "no queda espacio en el disco",
                    "No se puede guardar el archivo /x/centro.xml: no queda espacio en el disco"},
        MessageCase{"Rename", ReplaceStage::Rename, "permiso denegado",
                    "No se puede guardar el archivo /x/centro.xml: permiso denegado"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace pelmira::platform
