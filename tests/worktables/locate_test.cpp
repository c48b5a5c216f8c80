// locate() against a plain scan of the table after random appends, edits, deletes and packs.

#include "test_support.h"

#include <gtest/gtest.h>
#include <random>

namespace pelmira::worktables {
namespace {

using test::ScratchFolder;
using test::workFolder;

// The first live record, in stored order, whose fields read exactly as the criteria say; 0 when
// there is none.
std::uint32_t scan(Table& t, const std::vector<std::pair<std::string, std::string>>& criteria) {
    for (std::uint32_t recNo = 1; recNo <= t.recordCount(); ++recNo) {
        t.go(recNo);
        if (t.isDeleted())
            continue;
        bool all = true;
        for (const auto& [field, value] : criteria)
            all = all && t.text(field) == value;
        if (all)
            return recNo;
    }
    return 0;
}

TEST(LocateRandomized, AgreesWithAPlainScan) {
    ScratchFolder dir;
    const Schema schema = {{"A", FieldType::Text, 2},
                           {"B", FieldType::Text, 1},
                           {"N", FieldType::Integer, 0},
                           {"F", FieldType::Float, 0},
                           {"L", FieldType::Logical, 0}};
    auto t = Table::rebuild(workFolder(dir), "RANDOM", schema);
    std::mt19937 rng(20261210);
    const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    // Few distinct values so that keys repeat; "" leaves the field blank. "abc" does not fit A
    // and is cut to "ab".
    const std::vector<std::string> textValues = {"", "a", "b", "ab", "abc", "A"};
    const auto fill = [&] {
        if (pick(4) != 0)
            t.setText("A", textValues[static_cast<std::size_t>(pick(6))]);
        if (pick(3) != 0)
            t.setText("B", textValues[static_cast<std::size_t>(pick(3))]);
        if (pick(3) != 0)
            t.setInteger("N", pick(4) - 1);
        if (pick(3) != 0)
            t.setNumber("F", pick(3) * 0.5);
        if (pick(2) != 0)
            t.setLogical("L", pick(2) == 0);
    };
    const std::vector<std::vector<std::string>> fieldSets = {
        {"A"},      {"B"},      {"N"},           {"F"},      {"L"},
        {"A", "B"}, {"B", "A"}, {"A", "N", "F"}, {"N", "L"}, {"A", "B", "N", "F", "L"}};
    const std::vector<std::string> probeValues = {"",  "a",  "b", "ab",  "abc", "A", "0",
                                                  "1", "-1", "2", "0.5", "1.5", "T", "F"};
    int found = 0;
    for (int step = 0; step < 3000; ++step) {
        const int op = pick(100);
        if (op < 30 || t.recordCount() == 0) {
            t.append();
            fill();
            t.post();
        } else if (op < 45) {
            t.go(static_cast<std::uint32_t>(pick(static_cast<int>(t.recordCount())) + 1));
            t.edit();
            fill();
            t.post();
        } else if (op < 55) {
            t.go(static_cast<std::uint32_t>(pick(static_cast<int>(t.recordCount())) + 1));
            t.deleteRecord();
        } else if (op < 57) {
            t.pack();
        } else if (op < 58) {
            t.close();
            t = Table::open(workFolder(dir), "RANDOM");
        } else {
            std::vector<std::pair<std::string, std::string>> criteria;
            for (const auto& f : fieldSets[static_cast<std::size_t>(pick(10))])
                criteria.emplace_back(f, probeValues[static_cast<std::size_t>(pick(14))]);
            const std::uint32_t expected = scan(t, criteria);
            const std::uint32_t before =
                t.recordCount() == 0
                    ? 0
                    : static_cast<std::uint32_t>(pick(static_cast<int>(t.recordCount())) + 1);
            if (before != 0)
                t.go(before);
            const bool hit = t.locate(criteria);
            SCOPED_TRACE("step " + std::to_string(step));
            ASSERT_EQ(hit, expected != 0);
            ASSERT_EQ(t.recNo(), hit ? expected : before);
            found += hit ? 1 : 0;
        }
    }
    EXPECT_GT(found, 100); // the probes do hit records, so both outcomes are exercised
}

} // namespace
} // namespace pelmira::worktables
