// Runs of pelmira-cli killed (SIGKILL) at every step that changes a file, counted by the
// preloaded fault library. After each kill every work table must be absent, the complete
// previous table, the complete new one, or a sound table; the result document must be the old
// file or the complete new one. A run started afterwards must complete as if nothing happened.

#include "fault_support.h"
#include "support/scratch_folder.h"

#include <csignal>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <sstream>

namespace pelmira::faults {
namespace {

struct Tally {
    int absent = 0, previous = 0, complete = 0, partial = 0, damaged = 0;
    void add(const Tally& t) {
        absent += t.absent;
        previous += t.previous;
        complete += t.complete;
        partial += t.partial;
        damaged += t.damaged;
    }
    std::string str() const {
        std::ostringstream s;
        s << "absent " << absent << ", previous " << previous << ", complete " << complete
          << ", other sound " << partial << ", damaged " << damaged;
        return s.str();
    }
};

// The state of one table file after a kill, checked and counted.
void classify(const fs::path& file, const std::optional<std::string>& before,
              const std::string& complete, Tally& tally, const std::string& where) {
    if (!fs::exists(file)) {
        ++tally.absent;
        return;
    }
    const std::string now = readFile(file);
    if (before && now == *before) {
        ++tally.previous;
    } else if (now == complete) {
        ++tally.complete;
    } else if (const std::string problem = tableProblem(file); problem.empty()) {
        ++tally.partial;
    } else {
        ++tally.damaged;
        ADD_FAILURE() << where << ": " << file.filename() << " damaged: " << problem;
    }
}

std::pair<long long, long long> counted(const fs::path& countFile) {
    std::istringstream in(readFile(countFile));
    long long steps = 0, bytes = 0;
    in >> steps >> bytes;
    return {steps, bytes};
}

// Nothing but the tables, SOLUC.DBF and temporary files of interrupted saves.
void onlyKnownFiles(const fs::path& work, const std::string& where) {
    for (const auto& e : fs::directory_iterator(work)) {
        const std::string name = e.path().filename().string();
        const bool table = name.ends_with(".DBF") &&
                           std::find(kWorkTables.begin(), kWorkTables.end(),
                                     name.substr(0, name.size() - 4)) != kWorkTables.end();
        EXPECT_TRUE(table || name == "SOLUC.DBF" ||
                    (name.starts_with("~") && name.ends_with(".tmp")))
            << where << ": unexpected file " << name;
    }
}

TEST(KillPoints, ExportLeavesEveryTableWholeAtEveryStep) {
    const pelmira::testing::ScratchFolder root;
    const fs::path work = root / "HTEMP";
    const fs::path xml = root / "escuela.xml";
    fs::copy_file(school(), xml);
    const std::vector<std::string> args{
        "export", xml.string(),       "--workdir", work.string(),      "--template",
        "PMATI",  "--group-question", "no",        "--prune-question", "si"};
    const auto reset = [&] {
        fs::remove_all(work);
        copyFolder(previousTables(), work);
    };

    std::map<std::string, std::string> before, complete;
    reset();
    for (const auto& t : kWorkTables)
        before[t] = readFile(work / (t + ".DBF"));
    const Ran whole = cli(args, faulty("PELMIRA_FAULT_COUNT_FILE", (root / "count").string()));
    ASSERT_EQ(whole.status, 0) << whole.err;
    for (const auto& t : kWorkTables)
        complete[t] = readFile(work / (t + ".DBF"));
    const long long steps = counted(root / "count").first;
    ASSERT_GT(steps, 20);

    Tally tally;
    int killed = 0;
    for (long long k = 1; k <= steps; ++k) {
        reset();
        const std::string where = "killed at step " + std::to_string(k);
        const Ran r = cli(args, faulty("PELMIRA_FAULT_KILL_AT", std::to_string(k)));
        ASSERT_EQ(r.signal, SIGKILL) << where << ": " << r.status << r.err;
        ++killed;
        for (const auto& t : kWorkTables)
            classify(work / (t + ".DBF"), before[t], complete[t], tally, where);
        onlyKnownFiles(work, where);

        // The user runs the export again: it completes and gives the same tables.
        const Ran again = cli(args);
        ASSERT_EQ(again.status, 0) << where << ", run again: " << again.err;
        for (const auto& t : kWorkTables)
            EXPECT_EQ(readFile(work / (t + ".DBF")), complete[t]) << where << ", run again: " << t;
    }
    std::cout << "[kill points] export: " << killed << " kill points, " << kWorkTables.size()
              << " tables each: " << tally.str() << "\n";
    RecordProperty("export_kill_points", killed);
    EXPECT_EQ(tally.damaged, 0);
}

TEST(KillPoints, ImportLeavesOldOrCompleteResultAtEveryStep) {
    const pelmira::testing::ScratchFolder root;
    const fs::path work = root / "HTEMP";
    const fs::path itaca = root / "itaca";
    const fs::path xml = itaca / "escuela.xml";
    const fs::path result = itaca / "ResultadoHorvexescuela.xml";
    const std::string oldResult = "<?xml version=\"1.0\"?>\n<centro codigo=\"anterior\"/>\n";
    const std::vector<std::string> args{"import", xml.string(), "--workdir", work.string()};
    const auto reset = [&] {
        fs::remove_all(work);
        fs::remove_all(itaca);
        copyFolder(importReady(), work);
        fs::create_directories(itaca);
        fs::copy_file(school(), xml);
        writeFile(result, oldResult);
    };

    reset();
    std::map<std::string, std::string> before;
    for (const auto& e : fs::directory_iterator(work))
        before[e.path().filename().string()] = readFile(e.path());
    const Ran whole = cli(args, faulty("PELMIRA_FAULT_COUNT_FILE", (root / "count").string()));
    ASSERT_EQ(whole.status, 0) << whole.err;
    const std::string newResult = withoutExportDate(readFile(result));
    const std::string newSlots = readFile(work / "DIASHORAST.DBF");
    const long long steps = counted(root / "count").first;
    ASSERT_GT(steps, 5);

    Tally slots;
    int old = 0, fresh = 0, other = 0, killed = 0;
    for (long long k = 1; k <= steps; ++k) {
        reset();
        const std::string where = "killed at step " + std::to_string(k);
        const Ran r = cli(args, faulty("PELMIRA_FAULT_KILL_AT", std::to_string(k)));
        ASSERT_EQ(r.signal, SIGKILL) << where << ": " << r.status << r.err;
        ++killed;

        const std::string now = readFile(result);
        if (now == oldResult)
            ++old;
        else if (withoutExportDate(now) == newResult)
            ++fresh;
        else {
            ++other;
            ADD_FAILURE() << where << ": the result is neither the old file nor the new one ("
                          << now.size() << " bytes)";
        }
        for (const auto& e : fs::directory_iterator(itaca)) {
            const std::string name = e.path().filename().string();
            EXPECT_TRUE(name == "escuela.xml" || name == result.filename() ||
                        name.ends_with(".tmp"))
                << where << ": unexpected file " << name;
        }
        classify(work / "DIASHORAST.DBF", before["DIASHORAST.DBF"], newSlots, slots, where);
        for (const auto& [name, bytes] : before) {
            if (name != "DIASHORAST.DBF") {
                EXPECT_EQ(readFile(work / name), bytes) << where << ": " << name << " changed";
            }
        }
        onlyKnownFiles(work, where);
    }
    std::cout << "[kill points] import: " << killed << " kill points; result old " << old
              << ", new " << fresh << ", damaged " << other << "; DIASHORAST " << slots.str()
              << "\n";
    EXPECT_EQ(other, 0);
    EXPECT_EQ(slots.damaged, 0);
}

} // namespace
} // namespace pelmira::faults
