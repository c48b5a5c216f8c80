// Solution records: kinds, placement and the translation through the work tables, over a SOLUC
// in dBase III form written by another tool (data/soluc_cases.dbf).

#include "import/solution_records.h"
#include "import_fixture.h"
#include "support/temp_dir.h"
#include "text/error.h"

#include <gtest/gtest.h>
#include <map>
#include <ostream>

namespace pelmira::importing {

// Readable failure output.
void PrintTo(const ClassLine& l, std::ostream* os) {
    *os << '{' << l.dia_semana << '|' << l.sesion_orden << '|' << l.hora_desde << '|'
        << l.hora_hasta << '|' << l.grupo << '|' << l.curso << '|' << l.ensenanza << '|'
        << l.contenido << '|' << l.docente << '|' << l.aula << '}';
}
void PrintTo(const DutyLine& l, std::ostream* os) {
    *os << '{' << l.dia_semana << '|' << l.sesion_orden << '|' << l.hora_desde << '|'
        << l.hora_hasta << '|' << l.docente << '|' << l.ensenanza << '|' << l.ocupacion << '}';
}

} // namespace pelmira::importing

namespace pelmira::testing {
namespace {

using importing::RecordKind;
using worktables::Table;
using worktables::WorkFolder;

TEST(DayLetter, MapsOneToSevenAndNothingElse) {
    const std::pair<int, const char*> cases[] = {{1, "L"}, {2, "M"}, {3, "X"}, {4, "J"},
                                                 {5, "V"}, {6, "S"}, {7, "D"}, {0, ""},
                                                 {8, ""},  {-1, ""}, {70, ""}};
    for (const auto& [day, letter] : cases)
        EXPECT_EQ(importing::dayLetter(day), letter) << "day " << day;
}

class SolutionRecords : public ::testing::Test {
protected:
    void SetUp() override {
        writeWorkTables(folder);
        writeDayHourSlots(folder);
        copySoluc("soluc_cases.dbf", dir.path());
    }
    TempDir dir;
    WorkFolder folder{dir.path()};
};

TEST_F(SolutionRecords, EveryCaseOfTheFixture) {
    Table soluc = Table::open(folder, "SOLUC");
    Table groups = Table::open(folder, "GRUPOST");
    Table names = Table::open(folder, "ASIGNOMT");
    Table teachers = Table::open(folder, "PROFT");
    Table rooms = Table::open(folder, "AULAT");
    Table slots = Table::open(folder, "DIASHORAST");
    const importing::LookupTables lookups{groups, names, teachers, rooms, slots};

    std::map<std::uint32_t, const SolutionCase*> expected;
    for (const SolutionCase& c : solutionCases())
        expected[c.rec] = &c;

    std::vector<std::uint32_t> visited;
    for (bool more = soluc.first(); more; more = soluc.next()) {
        const std::uint32_t rec = soluc.recNo();
        visited.push_back(rec);
        auto it = expected.find(rec);
        ASSERT_NE(it, expected.end()) << "record " << rec << " was not expected in the walk";
        const SolutionCase& c = *it->second;
        SCOPED_TRACE("record " + std::to_string(rec) + ": " + c.what);

        ASSERT_EQ(importing::recordKind(soluc), c.kind);
        if (c.kind == RecordKind::Class) {
            EXPECT_EQ(importing::translateClassRecord(soluc, lookups), c.classLine);
        } else {
            EXPECT_EQ(importing::translateDutyRecord(soluc, lookups), c.dutyLine);
        }
    }
    std::vector<std::uint32_t> all;
    for (const SolutionCase& c : solutionCases())
        all.push_back(c.rec);
    EXPECT_EQ(visited, all) << "the deleted record 28 must be skipped, nothing else";
}

TEST_F(SolutionRecords, PlacementReadsBlankAsZero) {
    Table soluc = Table::open(folder, "SOLUC");
    // Records 3 to 6: day 0, slot 0, blank day, blank slot; record 22: day 1.6.
    const std::map<std::uint32_t, bool> placed{{1, true},  {3, false}, {4, false}, {5, false},
                                               {6, false}, {7, false}, {20, true}, {22, true}};
    for (bool more = soluc.first(); more; more = soluc.next()) {
        auto it = placed.find(soluc.recNo());
        if (it != placed.end()) {
            EXPECT_EQ(importing::isPlaced(soluc), it->second) << "record " << it->first;
        }
    }
}

TEST_F(SolutionRecords, MissingWorkTableFieldIsTheEnginesError) {
    // A GRUPOST without CLAVECURSO: the first class record that finds its group fails.
    writeTable(folder, "GRUPOST",
               {{"ABREV", worktables::FieldType::Text, 10},
                {"CLAVE", worktables::FieldType::Text, 10},
                {"ENSENANZA", worktables::FieldType::Text, 10}},
               {{{"ABREV", "1ESOA"}, {"CLAVE", "1ESOA"}}});
    Table soluc = Table::open(folder, "SOLUC");
    Table groups = Table::open(folder, "GRUPOST");
    Table names = Table::open(folder, "ASIGNOMT");
    Table teachers = Table::open(folder, "PROFT");
    Table rooms = Table::open(folder, "AULAT");
    Table slots = Table::open(folder, "DIASHORAST");
    const importing::LookupTables lookups{groups, names, teachers, rooms, slots};
    ASSERT_TRUE(soluc.first());
    EXPECT_THROW(importing::translateClassRecord(soluc, lookups), Error);
}

} // namespace
} // namespace pelmira::testing
