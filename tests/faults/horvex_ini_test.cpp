// Horvex.ini, which Horvex also keeps its own settings in: the write of the outcome killed at
// every step, and starved by a full disk at every byte, leaves the old file or the complete new
// one, never a shorter one.

#include "fault_support.h"
#include "support/scratch_folder.h"

#include <csignal>
#include <gtest/gtest.h>
#include <iostream>
#include <sstream>

namespace pelmira::faults {
namespace {

const std::string kOld = "[Horvex]\r\nRuta=C:\\HORVEX\r\nIdioma=1\r\n\r\n[Transformadores]\r\n"
                         "Transformado=0\r\nOtro=7\r\n\r\n[Ventana]\r\nAncho=800\r\n";
const std::string kNew = "[Horvex]\r\nRuta=C:\\HORVEX\r\nIdioma=1\r\n\r\n[Transformadores]\r\n"
                         "Transformado=1\r\nOtro=7\r\n\r\n[Ventana]\r\nAncho=800\r\n";

Ran writeIni(const fs::path& ini, const RunOptions& options) {
    return run({PELMIRA_HORVEX_INI_DRIVER, ini.string(), "1"}, options);
}

std::pair<long long, long long> counted(const fs::path& countFile) {
    std::istringstream in(readFile(countFile));
    long long steps = 0, bytes = 0;
    in >> steps >> bytes;
    return {steps, bytes};
}

TEST(HorvexIni, KilledAtEveryStepLeavesTheOldFileOrTheNewOne) {
    const pelmira::testing::ScratchFolder dir;
    const fs::path ini = dir / "Horvex.ini";
    writeFile(ini, kOld);
    ASSERT_EQ(writeIni(ini, faulty("PELMIRA_FAULT_COUNT_FILE", (dir / "count").string())).status,
              0);
    ASSERT_EQ(readFile(ini), kNew);
    const long long steps = counted(dir / "count").first;
    ASSERT_GT(steps, 1);

    int old = 0, fresh = 0;
    for (long long k = 1; k <= steps; ++k) {
        writeFile(ini, kOld);
        const Ran r = writeIni(ini, faulty("PELMIRA_FAULT_KILL_AT", std::to_string(k)));
        ASSERT_EQ(r.signal, SIGKILL) << "step " << k;
        const std::string now = readFile(ini);
        if (now == kOld)
            ++old;
        else if (now == kNew)
            ++fresh;
        else
            ADD_FAILURE() << "killed at step " << k << ": Horvex.ini holds " << now.size()
                          << " bytes";
    }
    std::cout << "[kill points] Horvex.ini: " << steps << " kill points; old " << old << ", new "
              << fresh << "\n";
}

TEST(HorvexIni, FullDiskKeepsTheOldFile) {
    const pelmira::testing::ScratchFolder dir;
    const fs::path ini = dir / "Horvex.ini";
    for (long long limit = 0; limit < static_cast<long long>(kNew.size()); limit += 7) {
        writeFile(ini, kOld);
        const Ran r = writeIni(ini, faulty("PELMIRA_FAULT_ENOSPC_AFTER", std::to_string(limit)));
        EXPECT_EQ(r.status, 1) << "disk full after " << limit << " bytes";
        EXPECT_NE(r.err.find("Unable to write to"), std::string::npos) << r.err;
        EXPECT_EQ(readFile(ini), kOld) << "disk full after " << limit << " bytes";
        for (const auto& e : fs::directory_iterator(dir.path()))
            EXPECT_EQ(e.path().filename(), "Horvex.ini") << "left " << e.path().filename();
    }
}

} // namespace
} // namespace pelmira::faults
