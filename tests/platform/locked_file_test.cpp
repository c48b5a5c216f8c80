#include "platform/locked_file.h"
#include "support/error_of.h"
#include "support/scratch_folder.h"
#include "text/error.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace pelmira::platform {
namespace {

namespace fs = std::filesystem;
using testing::errorOf;
using testing::readFile;
using testing::ScratchFolder;

// Runs `attempt` in another process: what it threw (its message), "" when it returned.
std::string inOtherProcess(const std::function<void()>& attempt) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        throw std::runtime_error("pipe");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        std::string message;
        try {
            attempt();
        } catch (const std::exception& e) {
            message = e.what();
        }
        (void)!::write(pipeFds[1], message.data(), message.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string message;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        message.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return message;
}

TEST(LockedFile, AnOpenFileIsRefusedToAnotherProcessUntilClosed) {
    ScratchFolder dir;
    const fs::path file = dir.write("PROFT.DBF", "x");
    LockedFile held = LockedFile::openExisting(file, "A");
    const auto open = [&] { (void)LockedFile::openExisting(file, "No se puede abrir la tabla T"); };
    EXPECT_EQ(inOtherProcess(open), "No se puede abrir la tabla T: está en uso por otro programa");
    held.close();
    EXPECT_EQ(inOtherProcess(open), "");
}

TEST(LockedFile, AHeldFolderIsRefusedToAnotherProcess) {
    ScratchFolder dir;
    LockedFile held = LockedFile::lockFolder(dir.path(), "A");
    EXPECT_TRUE(held.isOpen());
    const auto lock = [&] { (void)LockedFile::lockFolder(dir.path(), "Carpeta"); };
    EXPECT_EQ(inOtherProcess(lock), "Carpeta: está en uso por otro programa");
    held.close();
    EXPECT_EQ(inOtherProcess(lock), "");
}

TEST(LockedFile, AFolderThatCannotBeOpenedHoldsNothing) {
    ScratchFolder dir;
    EXPECT_FALSE(LockedFile::lockFolder(dir / "missing", "Carpeta").isOpen());
}

// The replaced file keeps the lock: nobody gets in between the save and the next use.
TEST(LockedFile, AReplacedFileStaysLockedAndTheOldOneIsGone) {
    ScratchFolder dir;
    const fs::path target = dir.write("PROFT.DBF", "old");
    LockedFile previous = LockedFile::openExisting(target, "A");
    LockedFile fresh = LockedFile::createTemporary(dir.path(), "PROFT.DBF", "A");
    const std::string content = "new";
    fresh.writeAllAndSync({{reinterpret_cast<const unsigned char*>(content.data()), 2},
                           {reinterpret_cast<const unsigned char*>(content.data()) + 2, 1}},
                          "A");
    fresh.copyPermissionsFrom(previous);
    fresh.replace(target, previous, "A");
    EXPECT_FALSE(previous.isOpen());
    EXPECT_EQ(fresh.path(), target);
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"PROFT.DBF"});
    const auto open = [&] { (void)LockedFile::openExisting(target, "B"); };
    EXPECT_EQ(inOtherProcess(open), "B: está en uso por otro programa");
}

TEST(LockedFile, ATemporaryFileNeverPutInPlaceIsRemoved) {
    ScratchFolder dir;
    {
        LockedFile temp = LockedFile::createTemporary(dir.path(), "ASIGT.DBF", "A");
        EXPECT_EQ(temp.path().filename().string().substr(0, 11), "~ASIGT.DBF.");
        EXPECT_EQ(dir.names().size(), 1u);
    }
    EXPECT_TRUE(dir.names().empty());
}

TEST(LockedFile, ReadsTheWholeFile) {
    ScratchFolder dir;
    const std::string content(100000, 'a');
    const LockedFile file = LockedFile::openExisting(dir.write("T.DBF", content), "A");
    const std::vector<unsigned char> bytes = file.readAll("A");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), content);
}

TEST(LockedFile, SaysWhyItCannotOpenOrCreate) {
    ScratchFolder dir;
    fs::create_directory(dir / "folder");
    EXPECT_EQ(errorOf([&] { (void)LockedFile::openExisting(dir / "NONE.DBF", "T"); }),
              "T: no existe");
    EXPECT_EQ(errorOf([&] { (void)LockedFile::openExisting(dir / "folder", "T"); }),
              "T: no es un archivo");
    EXPECT_EQ(errorOf([&] { (void)LockedFile::createTemporary(dir / "none", "T.DBF", "T"); }),
              "T: no existe la carpeta " + (dir / "none").string());
}

} // namespace
} // namespace pelmira::platform
