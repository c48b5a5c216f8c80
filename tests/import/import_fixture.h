#pragma once

// The small school the import tests work on: the work tables an export run would have left
// (written with the engine), the SOLUC fixtures (dBase III, written by python3-dbf, see
// data/README.md) and the outcome expected for every record of data/soluc_cases.dbf.

#include "horvex/schemas.h"
#include "import/solution_records.h"
#include "worktables/table.h"
#include "worktables/workfolder.h"

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pelmira::testing {

inline std::filesystem::path importData(const std::string& name) {
    return std::filesystem::path(PELMIRA_IMPORT_DATA) / name;
}

using Row = std::vector<std::pair<std::string, std::string>>;

inline void writeTable(const worktables::WorkFolder& folder, const std::string& name,
                       const worktables::Schema& schema, const std::vector<Row>& rows) {
    auto t = worktables::Table::rebuild(folder, name, schema);
    for (const Row& row : rows) {
        t.append();
        for (const auto& [field, value] : row) {
            if (field == "SESION_ORDEN")
                t.setInteger(field, std::stoi(value));
            else
                t.setText(field, value);
        }
        t.post();
    }
    t.close();
}

// The periods of template T1: slot 1 is order 1, slot 2 order 2, slot 3 order 4 (order 3 has
// no Monday period). The same as data/centro.xml gives for T1.
struct Slot {
    const char* order;
    const char* from;
    const char* to;
};
inline const std::vector<Slot>& slotsT1() {
    static const std::vector<Slot> s{
        {"1", "08:00", "08:55"}, {"2", "08:55", "09:50"}, {"4", "10:15", "11:10"}};
    return s;
}

// DIASHORAST as the export run leaves it for template T1 (Valencian day names).
inline void writeDayHourSlots(const worktables::WorkFolder& folder,
                              const std::string& templateCode = "T1") {
    static const char* days[] = {"Dilluns",   "Dimarts",  "Dimecres", "Dijous",
                                 "Divendres", "Dissabte", "Diumenge"};
    std::vector<Row> rows;
    int k = 0;
    for (const Slot& s : slotsT1()) {
        ++k;
        for (int d = 1; d <= 7; ++d)
            rows.push_back({{"DIHO", std::to_string(d) + std::to_string(k)},
                            {"DIA", std::to_string(d)},
                            {"TEXTODIA", days[d - 1]},
                            {"HORA", std::to_string(k)},
                            {"TEXTOHOR", s.order},
                            {"HORADESDE", s.from},
                            {"HORAHASTA", s.to},
                            {"MINUTOS", "55"},
                            {"SESION_ORDEN", s.order},
                            {"PLANTILLA", templateCode}});
    }
    writeTable(folder, "DIASHORAST", horvex::schemas::diashorast(), rows);
}

// Every work table but DIASHORAST and SOLUC.
inline void writeWorkTables(const worktables::WorkFolder& folder) {
    namespace s = horvex::schemas;
    writeTable(
        folder, "GRUPOST", s::grupost(),
        {
            {{"ABREV", "1ESOA"},
             {"CLAVE", "1ESOA"},
             {"CLAVECURSO", "3012001"},
             {"ENSENANZA", "3012"}},
            {{"ABREV", "2ESOA"},
             {"CLAVE", "2ESOA"},
             {"CLAVECURSO", "3012002"},
             {"ENSENANZA", "3012"}},
            // A second row with the same code: lookups take the first.
            {{"ABREV", "1ESOA"}, {"CLAVE", "DUPLICADO"}, {"CLAVECURSO", "X"}, {"ENSENANZA", "X"}},
        });
    writeTable(folder, "ASIGNOMT", s::asignomt(),
               {
                   {{"COD", "MAT"}, {"ABREV_ITACA", "MAT1"}},
                   {{"COD", "VAL"}, {"ABREV_ITACA", "VAL1"}},
                   {{"COD", "GUA"}, {"ABREV_ITACA", "12345"}},
                   {{"COD", "TUT"}, {"ABREV_ITACA", "7"}},
                   // A row whose code was left blank: an empty lookup value finds it.
                   {{"NOMBRE", "Sin codigo"}, {"ABREV_ITACA", "VACIA"}},
               });
    writeTable(folder, "PROFT", s::proft(),
               {
                   {{"ABREV", "AGL"}, {"DNI", "11111111A"}, {"ENSENANZA", "3012"}},
                   {{"ABREV", "AGO"}, {"DNI", "22222222B"}, {"ENSENANZA", "3012"}},
                   {{"ABREV", "SINDNI"}, {"ENSENANZA", "3017"}},
               });
    writeTable(folder, "AULAT", s::aulat(),
               {
                   {{"ABREV", "A101"}, {"ABREV_ITACA", "A101"}},
                   {{"ABREV", "LAB1"}, {"ABREV_ITACA", "LAB01"}},
               });
    writeTable(folder, "CURSOST", s::cursost(), {{{"ABREV", "1E"}, {"CLAVE", "3012001"}}});
    writeTable(folder, "ASIGT", s::asigt(), {{{"CASIG", "MAT"}, {"CPROF", "AGL"}}});
}

inline void copySoluc(const std::string& fixture, const std::filesystem::path& dir,
                      const std::string& as = "SOLUC.DBF") {
    std::filesystem::copy_file(importData(fixture), dir / as,
                               std::filesystem::copy_options::overwrite_existing);
}

// The outcome of every record of data/soluc_cases.dbf, in record order.
struct SolutionCase {
    std::uint32_t rec;
    const char* what;
    importing::RecordKind kind;
    std::optional<importing::ClassLine> classLine; // for class records: nullopt = dropped
    std::optional<importing::DutyLine> dutyLine;   // for duty records: nullopt = dropped
};

inline const std::vector<SolutionCase>& solutionCases() {
    using importing::ClassLine;
    using importing::DutyLine;
    using K = importing::RecordKind;
    auto cls = [](std::string day, int slot, std::string teacher = "11111111A",
                  std::string room = "A101", std::string subject = "MAT1") {
        const Slot& s = slotsT1()[slot - 1];
        return ClassLine{day,       s.order, s.from,  s.to,    "1ESOA",
                         "3012001", "3012",  subject, teacher, room};
    };
    static const std::vector<SolutionCase> cases{
        {1, "class, everything found", K::Class, cls("L", 1), {}},
        {2,
         "duty, everything found",
         K::Duty,
         {},
         DutyLine{"M", "2", "08:55", "09:50", "22222222B", "3012", "12345"}},
        {3, "class, day 0", K::Class, {}, {}},
        {4, "class, slot 0", K::Class, {}, {}},
        {5, "class, blank day", K::Class, {}, {}},
        {6, "class, blank slot", K::Class, {}, {}},
        {7, "duty, day 0", K::Duty, {}, {}},
        {8, "class, day 8: empty day letter", K::Class, cls("", 1), {}},
        {9, "class, day -1: empty day letter", K::Class, cls("", 1), {}},
        {10, "class, unknown teacher: empty docente", K::Class, cls("L", 2, ""), {}},
        {11, "duty, unknown teacher: dropped", K::Duty, {}, {}},
        {12, "class, unknown room: empty aula", K::Class, cls("L", 1, "11111111A", ""), {}},
        {13, "class, empty room: empty aula", K::Class, cls("L", 1, "11111111A", ""), {}},
        {14, "class, unknown group", K::Class, {}, {}},
        {15, "class, group code in other case", K::Class, {}, {}},
        {16, "class, subject code in other case", K::Class, {}, {}},
        {17, "class, teacher code in other case", K::Class, cls("L", 1, ""), {}},
        {18, "duty, duty code in other case", K::Duty, {}, {}},
        {19, "class, slot past the period list", K::Class, {}, {}},
        {20, "class, slot 3.5", K::Class, {}, {}},
        {21, "class, slot 3 holds order 4", K::Class, cls("J", 3), {}},
        {22, "class, day 1.6 reads 2", K::Class, cls("M", 1), {}},
        {23, "class, teacher without DNI", K::Class, cls("V", 1, ""), {}},
        {24,
         "class, first of two duplicates",
         K::Class,
         ClassLine{"V", "2", "08:55", "09:50", "2ESOA", "3012002", "3012", "VAL1", "22222222B",
                   "LAB01"},
         {}},
        {25,
         "class, second of two duplicates",
         K::Class,
         ClassLine{"V", "2", "08:55", "09:50", "2ESOA", "3012002", "3012", "VAL1", "22222222B",
                   "LAB01"},
         {}},
        {26,
         "duty, ASIG and TAREA both empty",
         K::Duty,
         {},
         DutyLine{"X", "1", "08:00", "08:55", "11111111A", "3012", "VACIA"}},
        {27,
         "class: ASIG and TAREA differ only in case",
         K::Class,
         cls("M", 1, "11111111A", "A101", "12345"),
         {}},
        // 28 is marked deleted: no walk visits it.
        {29, "duty, unknown duty code", K::Duty, {}, {}},
        {30, "duty, slot past the period list", K::Duty, {}, {}},
        {31,
         "duty, teacher without DNI",
         K::Duty,
         {},
         DutyLine{"S", "4", "10:15", "11:10", "", "3017", "7"}},
        {32, "class, unknown subject", K::Class, {}, {}},
        {33, "class, Sunday", K::Class, cls("D", 2, "22222222B", "LAB01"), {}},
    };
    return cases;
}

} // namespace pelmira::testing
