// Two runs on one work folder at the same time, slowed down by the fault library so that their
// steps overlap. Neither may mix its writes with the other's: the second fails with the engine's
// "en uso" message, or the folder ends up exactly as one run alone leaves it; every table left
// is sound.

#include "fault_support.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <iostream>
#include <map>

namespace pelmira::faults {
namespace {

using Tables = std::map<std::string, std::string>;

Tables tablesOf(const fs::path& work) {
    Tables t;
    for (const auto& name : kWorkTables)
        if (fs::exists(work / (name + ".DBF")))
            t[name] = readFile(work / (name + ".DBF"));
    return t;
}

constexpr int kRounds = 8;

// Runs `a` and `b` at once kRounds times, each round from the previous tables, and checks the
// outcome against the tables each leaves when it runs alone.
void raceRuns(const std::vector<std::string>& a, const std::vector<std::string>& b,
              const fs::path& work, const std::function<void()>& reset, const char* what) {
    reset();
    ASSERT_EQ(cli(a).status, 0);
    const Tables aloneA = tablesOf(work);
    reset();
    ASSERT_EQ(cli(b).status, 0);
    const Tables aloneB = tablesOf(work);
    ASSERT_NE(aloneA, aloneB) << "the two runs must leave different tables";

    int bothCompleted = 0, oneInUse = 0, mixed = 0;
    for (int round = 0; round < kRounds; ++round) {
        reset();
        const std::string where = std::string(what) + ", round " + std::to_string(round);
        // Each step of a run takes a few milliseconds longer; the second run starts a little
        // later each round, so that it meets the first at a different step.
        const RunOptions slow = faulty("PELMIRA_FAULT_DELAY_US", "3000");
        std::vector<std::string> argvA{PELMIRA_CLI}, argvB{PELMIRA_CLI};
        argvA.insert(argvA.end(), a.begin(), a.end());
        argvB.insert(argvB.end(), b.begin(), b.end());
        const Started first = start(argvA, slow);
        usleep(static_cast<useconds_t>(round * 25000));
        const Started second = start(argvB, slow);
        const Ran ra = finish(first);
        const Ran rb = finish(second);

        for (const Ran* r : {&ra, &rb}) {
            EXPECT_EQ(r->signal, 0) << where;
            if (r->status != 0) {
                EXPECT_EQ(r->status, 1) << where << ": " << r->err;
                EXPECT_NE(r->err.find("en uso"), std::string::npos) << where << ": " << r->err;
            }
        }
        for (const auto& t : kWorkTables) {
            if (fs::exists(work / (t + ".DBF"))) {
                EXPECT_EQ(tableProblem(work / (t + ".DBF")), "") << where << ": " << t;
            }
        }

        const Tables now = tablesOf(work);
        if (ra.status == 0 && rb.status == 0) {
            ++bothCompleted;
            if (now != aloneA && now != aloneB) {
                ++mixed;
                ADD_FAILURE() << where << ": both completed, the tables are a mixture of both";
            }
        } else if (ra.status == 0 || rb.status == 0) {
            ++oneInUse;
            const Tables& winner = ra.status == 0 ? aloneA : aloneB;
            if (now != winner) {
                ++mixed;
                std::string which;
                for (const auto& t : kWorkTables)
                    if (!now.contains(t) || now.at(t) != winner.at(t))
                        which += " " + t;
                ADD_FAILURE() << where
                              << ": the run that failed changed tables of the other:" << which
                              << "\n"
                              << (ra.status == 0 ? rb.err : ra.err);
            }
        }
    }
    std::cout << "[concurrent] " << what << ": " << kRounds << " rounds, both completed "
              << bothCompleted << ", one stopped with 'en uso' " << oneInUse << ", mixed " << mixed
              << "\n";
}

TEST(ConcurrentRuns, TwoExportsNeverMixTheirTables) {
    const pelmira::testing::ScratchFolder root;
    const fs::path work = root / "HTEMP";
    const auto reset = [&] {
        fs::remove_all(work);
        copyFolder(previousTables(), work);
    };
    raceRuns({"export", school().string(), "--workdir", work.string(), "--template", "PMATI"},
             {"export", previous().string(), "--workdir", work.string()}, work, reset,
             "export against export");
}

TEST(ConcurrentRuns, ExportAndImportNeverMixTheirTables) {
    const pelmira::testing::ScratchFolder root;
    const fs::path work = root / "HTEMP";
    const fs::path itaca = root / "itaca";
    fs::create_directories(itaca);
    fs::copy_file(school(), itaca / "escuela.xml");
    const auto reset = [&] {
        fs::remove_all(work);
        copyFolder(importReady(), work);
    };
    raceRuns({"import", (itaca / "escuela.xml").string(), "--workdir", work.string(), "--language",
              "CASTELLANO"},
             {"export", previous().string(), "--workdir", work.string()}, work, reset,
             "import against export");
}

} // namespace
} // namespace pelmira::faults
