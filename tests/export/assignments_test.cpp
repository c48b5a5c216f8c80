// The assignment table ASIGT: its base rows, the fitting to the chosen template's group
// timetable, the duty rows with the SESIONES rebuild, and the pruning of groups and teachers
// without classes.

#include "export/export_run.h"
#include "horvex/schemas.h"
#include "itaca/document.h"
#include "support/scripted_interaction.h"
#include "support/temp_dir.h"
#include "text/error.h"
#include "text/text.h"
#include "worktables/table.h"
#include "worktables/workfolder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace pelmira;
using exporting::ExportRun;
using exporting::SplitIntoBlocks;
using run::Interaction;
using worktables::FieldType;
using worktables::Schema;
using worktables::Table;
using worktables::WorkFolder;
namespace schemas = horvex::schemas;

using Row = std::map<std::string, std::string>; // field -> value, UTF-8 (cp1252 in the table)

// ---------------------------------------------------------------------------------------------
// Building documents and tables

using Attrs = std::vector<std::pair<std::string, std::string>>;

std::string element(const std::string& name, const Attrs& attrs) {
    std::string xml = "<" + name;
    for (const auto& [key, value] : attrs)
        xml += " " + key + "=\"" + value + "\"";
    return xml + "/>";
}

std::string section(const std::string& name, const std::vector<std::string>& elements) {
    std::string xml = "<" + name + ">";
    for (const auto& e : elements)
        xml += e;
    return xml + "</" + name + ">";
}

std::string contenido(const std::string& curso, const std::string& codigo) {
    return element("contenido", {{"curso", curso}, {"codigo", codigo}});
}

std::string groupLine(const std::string& plantilla, const std::string& grupo,
                      const std::string& curso, const std::string& subject,
                      const std::string& docente, const std::string& aula) {
    return element("horario_grupo", {{"plantilla", plantilla},
                                     {"grupo", grupo},
                                     {"curso", curso},
                                     {"contenido", subject},
                                     {"docente", docente},
                                     {"aula", aula}});
}

std::string dutyLine(const std::string& ocupacion, const std::string& docente,
                     const std::string& plantilla) {
    return element("horario_ocupacion",
                   {{"ocupacion", ocupacion}, {"docente", docente}, {"plantilla", plantilla}});
}

void writeTable(const WorkFolder& folder, std::string_view name, const Schema& schema,
                const std::vector<Row>& rows) {
    auto table = Table::rebuild(folder, name, schema);
    for (const auto& row : rows) {
        table.append();
        for (const auto& [field, value] : row) {
            FieldType type = FieldType::Text;
            for (const auto& fieldSpec : schema)
                if (fieldSpec.name == field)
                    type = fieldSpec.type;
            switch (type) {
            case FieldType::Float:
                table.setNumber(field, std::stod(value));
                break;
            case FieldType::Integer:
                table.setInteger(field, std::stoi(value));
                break;
            case FieldType::Logical:
                table.setLogical(field, value == "T");
                break;
            case FieldType::Text:
                table.setText(field, text::toCp1252(value));
                break;
            }
        }
        table.post();
    }
    table.close();
}

// The live records of a table, each as the given fields joined by '|', in stored order.
std::vector<std::string> readRows(const WorkFolder& folder, std::string_view name,
                                  const std::vector<std::string>& fields) {
    auto table = Table::open(folder, name);
    std::vector<std::string> rows;
    for (bool more = table.first(); more; more = table.next()) {
        std::string row;
        for (std::size_t i = 0; i < fields.size(); ++i)
            row += (i ? "|" : "") + text::toUtf8(table.text(fields[i]));
        rows.push_back(row);
    }
    return rows;
}

// Every record of the file is live: deletions were compacted away.
void expectNoDeletedRecords(const WorkFolder& folder, std::string_view name) {
    auto table = Table::open(folder, name);
    for (std::uint32_t recNo = 1; recNo <= table.recordCount(); ++recNo) {
        table.go(recNo);
        EXPECT_FALSE(table.isDeleted()) << name << " record " << recNo;
    }
}

const std::string kBanner =
    std::string(23, ' ') + "!!! I M P O R T A N T E !!!" + std::string(25, ' ');

// One export run's surroundings: a work folder, the run state, scripted answers.
struct Centre {
    pelmira::testing::TempDir tmp;
    WorkFolder folder{[this] {
        std::filesystem::create_directories(tmp / "HTEMP");
        return tmp / "HTEMP";
    }()};
    run::RunState state;
    exporting::ExportState exportState;
    pelmira::testing::ScriptedInteraction ui;
    ExportRun run{state, exportState, ui, folder};

    Centre() {
        state.language = std::string(text::kCastilian);
        state.templateCode = "P1";
    }

    void load(const std::string& body) {
        const auto file = tmp.write("centro.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                                  "<centro>" +
                                                      body + "</centro>\n");
        run.setDocument(itaca::ItacaDocument::load(file));
    }

    // The tables the earlier steps of the run leave: subjects and duties, teachers, rooms and
    // groups of a small centre.
    void writeInputTables() {
        writeTable(folder, "ASIGNOMT", schemas::asignomt(),
                   {
                       {{"COD", "MAT"}, {"NOMBRE", "Matemáticas"}, {"ABREV_ITACA", "MAT01"}},
                       {{"COD", "LEN"}, {"NOMBRE", "Lengua"}, {"ABREV_ITACA", "LEN01"}},
                       {{"COD", "FIS"}, {"NOMBRE", "Física"}, {"ABREV_ITACA", "FIS01"}},
                       {{"COD", "FIQ"}, {"NOMBRE", "Física i Química"}, {"ABREV_ITACA", "FIQ01"}},
                       {{"COD", ""}, {"NOMBRE", "Sin código"}, {"ABREV_ITACA", "BLANK"}},
                       {{"COD", "TEC"}, {"NOMBRE", "Tecnología"}, {"ABREV_ITACA", "TEC01"}},
                       {{"COD", "*345"},
                        {"NOMBRE", "Guardia"},
                        {"CODTAREA", "12345"},
                        {"ESTAREA", "T"},
                        {"ABREV_ITACA", "12345"}},
                       {{"COD", "*346"},
                        {"NOMBRE", "Biblioteca"},
                        {"CODTAREA", "12346"},
                        {"ESTAREA", "T"},
                        {"ABREV_ITACA", "12346"}},
                   });
        writeTable(folder, "PROFT", schemas::proft(),
                   {
                       {{"ABREV", "T1"}, {"NOMBRE", "Uno , Ana"}, {"DNI", "111"}},
                       {{"ABREV", "T2"}, {"NOMBRE", "Dos , Bea"}, {"DNI", "222"}},
                       {{"ABREV", "T3"}, {"NOMBRE", "Tres , Carla"}, {"DNI", "333"}},
                       {{"ABREV", "T4"}, {"NOMBRE", "Cuatro , Dora"}, {"DNI", "444"}},
                   });
        writeTable(folder, "AULAT", schemas::aulat(),
                   {
                       {{"ABREV", "A01"}, {"NOMBRE", "Aula 1"}, {"ABREV_ITACA", "AULA1"}},
                       {{"ABREV", "A02"}, {"NOMBRE", "Aula 2"}, {"ABREV_ITACA", "AULA2"}},
                   });
        writeTable(folder, "GRUPOST", schemas::grupost(),
                   {
                       {{"ABREV", "1A"},
                        {"TURNO", "M"},
                        {"NIVEL", "ESO"},
                        {"CURSO", "1"},
                        {"GRUPO", "A"},
                        {"CLAVE", "1A"},
                        {"CLAVECURSO", "C1"},
                        {"TUTOR", "T3"}},
                       {{"ABREV", "1B"},
                        {"TURNO", "M"},
                        {"NIVEL", "ESO"},
                        {"CURSO", "1"},
                        {"GRUPO", "B"},
                        {"CLAVE", "1B"},
                        {"CLAVECURSO", "C1"}},
                       {{"ABREV", "2A"},
                        {"TURNO", "T"},
                        {"NIVEL", "BAT"},
                        {"CURSO", "2"},
                        {"GRUPO", "A"},
                        {"CLAVE", "2A"},
                        {"CLAVECURSO", "C2"}},
                       {{"ABREV", "SC"},
                        {"CURSO", "S"},
                        {"GRUPO", "C"},
                        {"CLAVE", "SC"},
                        {"CLAVECURSO", ""}},
                   });
    }

    std::vector<std::string> asigt(const std::vector<std::string>& fields) const {
        return readRows(folder, "ASIGT", fields);
    }
};

// Runs `step` and returns the message of the error it throws ("" when it throws none).
template <typename Step> std::string errorOf(Step&& step) {
    try {
        step();
    } catch (const Error& e) {
        return e.what();
    }
    return {};
}

// ---------------------------------------------------------------------------------------------
// SplitIntoBlocks

TEST(SplitIntoBlocks, GivesOneDigitPerBlock) {
    const std::vector<std::pair<int, std::string>> cases = {
        {1, "1"},
        {2, "11"},
        {4, "1111"},
        {13, "1111111111111"},
        {14, "11111111111111"},
        {15, "21111111111111"},
        {16, "31111111111111"},
        {22, "91111111111111"},
        {23, "92111111111111"},
        {24, "93111111111111"},
        {27, "96111111111111"},
        {28, "22222222222222"},
        {29, "32222222222222"},
        {36, "93222222222222"},
        {42, "33333333333333"},
        {50, "95333333333333"},
        {54, "99333333333333"},
        {56, "44444444444444"},
        // From 55 on the carried-over block is written with two digits, as Horvex's original
        // rule does; the string then no longer adds up to the count.
        {55, "91033333333333"},
        {140, "101111111111111"},
    };
    for (const auto& [count, expected] : cases)
        EXPECT_EQ(SplitIntoBlocks(count), expected) << "count " << count;
}

TEST(SplitIntoBlocks, GivesNoBlockForNoPeriod) {
    EXPECT_EQ(SplitIntoBlocks(0), "");
    EXPECT_EQ(SplitIntoBlocks(-3), "");
}

// ---------------------------------------------------------------------------------------------
// BuildAssignments

const std::vector<std::string> kBaseFields = {"CASIG", "CGRUP", "CLAVE", "CLAVECURSO",
                                              "ASIG_ITACA"};

TEST(BuildAssignments, WritesEverySubjectOfACourseForEachOfItsGroups) {
    struct Case {
        std::string name;
        std::string language;
        std::vector<std::string> contenidos;
        std::vector<std::string> expected; // CASIG|CGRUP|CLAVE|CLAVECURSO|ASIG_ITACA
    };
    const std::string castilian(text::kCastilian);
    const std::string valencian(text::kValencian);
    const std::string fq = element("contenido", {{"curso", "C2"},
                                                 {"codigo", "FQ2024XXXXXX"},
                                                 {"nombre_cas", "Física"},
                                                 {"nombre_val", "Física i Química"}});
    const std::vector<Case> cases = {
        {"a single contenido yields no row", castilian, {contenido("C1", "MAT01")}, {}},
        {"by contenido in document order, then by group in GRUPOST order",
         castilian,
         {contenido("C1", "MAT01"), contenido("C1", "LEN01"), contenido("C2", "MAT01")},
         {"MAT|1A|1A|C1|MAT01", "MAT|1B|1B|C1|MAT01", "LEN|1A|1A|C1|LEN01", "LEN|1B|1B|C1|LEN01",
          "MAT|2A|2A|C2|MAT01"}},
        {"a code not found falls back on the Castilian name; ASIG_ITACA keeps 10 characters",
         castilian,
         {fq, contenido("C2", "MAT01")},
         {"FIS|2A|2A|C2|FQ2024XXXX", "MAT|2A|2A|C2|MAT01"}},
        {"a code not found falls back on the Valencian name",
         valencian,
         {fq, contenido("C2", "MAT01")},
         {"FIQ|2A|2A|C2|FQ2024XXXX", "MAT|2A|2A|C2|MAT01"}},
        {"a language text that is neither item makes no name lookup",
         "castellano",
         {fq, contenido("C2", "MAT01")},
         {"MAT|2A|2A|C2|MAT01"}},
        {"a code found on a row with a blank COD falls back on the name",
         castilian,
         {element("contenido",
                  {{"curso", "C2"}, {"codigo", "BLANK"}, {"nombre_cas", "Tecnología"}}),
          contenido("C2", "MAT01")},
         {"TEC|2A|2A|C2|BLANK", "MAT|2A|2A|C2|MAT01"}},
        {"a subject neither code nor name finds yields no row",
         castilian,
         {element("contenido", {{"curso", "C2"}, {"codigo", "NOPE"}, {"nombre_cas", "Nada"}}),
          contenido("C2", "MAT01")},
         {"MAT|2A|2A|C2|MAT01"}},
        {"a course without groups yields no row; an empty course matches a blank CLAVECURSO",
         castilian,
         {contenido("C9", "MAT01"), contenido("", "LEN01")},
         {"LEN|SC|SC||LEN01"}},
        {"a contenido listed twice yields its rows twice",
         castilian,
         {contenido("C2", "MAT01"), contenido("C2", "MAT01")},
         {"MAT|2A|2A|C2|MAT01", "MAT|2A|2A|C2|MAT01"}},
        {"names are not read when the code is found",
         valencian,
         {contenido("C2", "MAT01"), contenido("C2", "LEN01")},
         {"MAT|2A|2A|C2|MAT01", "LEN|2A|2A|C2|LEN01"}},
        {"names are not read when no name lookup is made",
         "castellano",
         {contenido("C2", "NOPE"), contenido("C2", "LEN01")},
         {"LEN|2A|2A|C2|LEN01"}},
        {"values are trimmed",
         castilian,
         {contenido("  C2 ", "\tMAT01 "), contenido("C2", "LEN01")},
         {"MAT|2A|2A|C2|MAT01", "LEN|2A|2A|C2|LEN01"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Centre centre;
        centre.writeInputTables();
        // A table left by an earlier run never survives.
        writeTable(centre.folder, "ASIGT", schemas::asigt(), {{{"CASIG", "OLD"}}});
        centre.state.language = c.language;
        centre.load(section("contenidos", c.contenidos));
        centre.run.BuildAssignments();
        EXPECT_EQ(centre.asigt(kBaseFields), c.expected);
    }
}

TEST(BuildAssignments, BaseRowsCarryTheGroupAndTheDefaultLoad) {
    Centre centre;
    centre.writeInputTables();
    centre.load(section("contenidos", {contenido("C1", "MAT01"), contenido("C2", "LEN01")}));
    centre.run.BuildAssignments();

    auto table = Table::open(centre.folder, "ASIGT");
    std::vector<std::string> names;
    for (const auto& f : table.fields())
        names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<std::string>{"CASIG", "CPROF", "CGRUP", "CAULA", "TURNO", "NIVEL",
                                               "CURSO", "GRUPO", "HORAS", "SESIONES", "CLAVE",
                                               "CLAVECURSO", "CTAREA", "ASIG_ITACA"}));
    table.close();

    EXPECT_EQ(centre.asigt({"CASIG", "CPROF", "CGRUP", "CAULA", "TURNO", "NIVEL", "CURSO", "GRUPO",
                            "HORAS", "SESIONES", "CLAVE", "CLAVECURSO", "CTAREA", "ASIG_ITACA"}),
              (std::vector<std::string>{
                  "MAT||1A||M|ESO|1|A|4|1111|1A|C1|*479|MAT01",
                  "MAT||1B||M|ESO|1|B|4|1111|1B|C1|*479|MAT01",
                  "LEN||2A||T|BAT|2|A|4|1111|2A|C2|*479|LEN01",
              }));
}

TEST(BuildAssignments, AMissingAttributeEndsTheStepNamingIt) {
    struct Case {
        std::string name;
        std::string language;
        std::string second; // the contenido after a good one
        std::string attribute;
    };
    const std::vector<Case> cases = {
        {"curso is read first", std::string(text::kCastilian),
         element("contenido", {{"nombre_cas", "Lengua"}}), "'curso'"},
        {"then codigo", std::string(text::kCastilian), element("contenido", {{"curso", "C1"}}),
         "'codigo'"},
        {"nombre_cas when the code is not found", std::string(text::kCastilian),
         element("contenido", {{"curso", "C1"}, {"codigo", "NOPE"}, {"nombre_val", "x"}}),
         "'nombre_cas'"},
        {"nombre_val when the code is not found", std::string(text::kValencian),
         element("contenido", {{"curso", "C1"}, {"codigo", "NOPE"}, {"nombre_cas", "x"}}),
         "'nombre_val'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Centre centre;
        centre.writeInputTables();
        centre.state.language = c.language;
        centre.load(section("contenidos", {contenido("C1", "MAT01"), c.second}));
        const std::string error = errorOf([&] { centre.run.BuildAssignments(); });
        EXPECT_NE(error.find(c.attribute), std::string::npos) << error;
        // The table is released with the rows written before the error.
        EXPECT_EQ(centre.asigt({"CASIG", "CGRUP"}), (std::vector<std::string>{"MAT|1A", "MAT|1B"}));
    }
}

// ---------------------------------------------------------------------------------------------
// ApplyGroupTimetables

const std::vector<std::string> kClassFields = {"CASIG", "CPROF", "CGRUP",
                                               "CAULA", "HORAS", "SESIONES"};

// Base rows in stored order: MAT 1A, MAT 1B, LEN 1A, LEN 1B.
const std::vector<std::string> kContenidos = {contenido("C1", "MAT01"), contenido("C1", "LEN01")};

TEST(ApplyGroupTimetables, KeepingTheChosenTemplateFitsTheClassRowsToItsLines) {
    struct Case {
        std::string name;
        std::string templateCode;
        std::vector<std::string> lines;
        std::vector<std::string> expected; // CASIG|CPROF|CGRUP|CAULA|HORAS|SESIONES
        std::vector<std::string> contenidos = kContenidos;
    };
    const std::vector<Case> cases = {
        {"teachers T1, T2, T1: the base row for T1, a new row for T2",
         "P1",
         {groupLine("P1", "1A", "C1", "MAT01", "111", "AULA1"),
          groupLine("P1", "1A", "C1", "MAT01", "222", "AULA2"),
          groupLine("P1", "1A", "C1", "MAT01", "111", "AULA1")},
         {"MAT|T1|1A|A01|2|1111", "MAT|T2|1A|A02|1|1111"}},
        {"a room not in AULAT leaves CAULA to the next line's room",
         "P1",
         {groupLine("P1", "1A", "C1", "MAT01", "111", "NOPE"),
          groupLine("P1", "1A", "C1", "MAT01", "111", "AULA2"),
          groupLine("P1", "1A", "C1", "MAT01", "111", "AULA1")},
         {"MAT|T1|1A|A02|3|1111"}},
        {"a first teacher missing from PROFT leaves the base row without teacher",
         "P1",
         {groupLine("P1", "1A", "C1", "MAT01", "999", "AULA1"),
          groupLine("P1", "1A", "C1", "MAT01", "998", "AULA1"),
          groupLine("P1", "1A", "C1", "MAT01", "111", "AULA2"),
          groupLine("P1", "1A", "C1", "MAT01", "111", "AULA1")},
         {"MAT||1A|A01|2|1111", "MAT|T1|1A|A02|2|1111"}},
        {"teachers missing from PROFT after a known one add up on one row of their own",
         "P1",
         {groupLine("P1", "1A", "C1", "MAT01", "111", "AULA1"),
          groupLine("P1", "1A", "C1", "MAT01", "999", "NOPE"),
          groupLine("P1", "1A", "C1", "MAT01", "998", "AULA2")},
         {"MAT|T1|1A|A01|1|1111", "MAT||1A|A02|2|1111"}},
        {"lines of another template are ignored and their rows deleted",
         "P1",
         {groupLine("P2", "1B", "C1", "LEN01", "111", "AULA1"),
          groupLine("P1", "1A", "C1", "MAT01", "222", "AULA1"),
          groupLine("P2", "1A", "C1", "LEN01", "111", "AULA1"),
          groupLine("P1", "1A", "C1", "MAT01", "222", "AULA1")},
         {"MAT|T2|1A|A01|2|1111"}},
        {"further teachers' rows come after all base rows, in the order first met",
         "P1",
         {groupLine("P1", "1A", "C1", "MAT01", "111", "AULA1"),
          groupLine("P1", "1B", "C1", "LEN01", "222", "AULA2"),
          groupLine("P1", "1A", "C1", "MAT01", "222", "AULA2"),
          groupLine("P1", "1B", "C1", "LEN01", "111", "AULA1"),
          groupLine("P1", "1A", "C1", "MAT01", "222", "AULA1")},
         {"MAT|T1|1A|A01|1|1111", "LEN|T2|1B|A02|1|1111", "MAT|T2|1A|A02|2|1111",
          "LEN|T1|1B|A01|1|1111"}},
        {"lines without a base row are skipped",
         "P1",
         {groupLine("P1", "2A", "C1", "MAT01", "111", "AULA1"),  // group not in that course
          groupLine("P1", "1A", "C1", "FIS01", "111", "AULA1"),  // subject without rows
          groupLine("P1", "1A", "C1X", "MAT01", "111", "AULA1"), // course of no row
          groupLine("P1", "1B", "C1", "MAT01", "222", "AULA2")},
         {"MAT|T2|1B|A02|1|1111"}},
        {"the template code is compared exactly, after trimming the line's",
         "P1",
         {groupLine("p1", "1A", "C1", "MAT01", "111", "AULA1"),
          groupLine(" P1 ", "1A", "C1", "MAT01", "222", "AULA1"),
          groupLine("P1", "1B", "C1", "MAT01", "222", "AULA1")},
         {"MAT|T2|1A|A01|1|1111", "MAT|T2|1B|A01|1|1111"}},
        {"without a chosen template only lines with an empty plantilla count",
         "",
         {groupLine("P1", "1A", "C1", "MAT01", "111", "AULA1"),
          groupLine("", "1B", "C1", "LEN01", "222", "AULA1")},
         {"LEN|T2|1B|A01|1|1111"}},
        {"a single line in the whole document counts nothing: every class row goes",
         "P1",
         {groupLine("P1", "1A", "C1", "MAT01", "111", "AULA1")},
         {}},
        {"a contenido listed twice: only the first of its equal base rows is kept",
         "P1",
         {groupLine("P1", "1A", "C1", "MAT01", "111", "AULA1"),
          groupLine("P1", "1A", "C1", "MAT01", "111", "AULA1")},
         {"MAT|T1|1A|A01|2|1111"},
         {contenido("C1", "MAT01"), contenido("C1", "MAT01")}},
        {"a contenido listed twice: teachers missing from PROFT still add up on their own row",
         "P1",
         {groupLine("P1", "1A", "C1", "MAT01", "111", "AULA1"),
          groupLine("P1", "1A", "C1", "MAT01", "999", "AULA1"),
          groupLine("P1", "1A", "C1", "MAT01", "999", "AULA1")},
         {"MAT|T1|1A|A01|1|1111", "MAT||1A|A01|2|1111"},
         {contenido("C1", "MAT01"), contenido("C1", "MAT01")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Centre centre;
        centre.writeInputTables();
        centre.state.templateCode = c.templateCode;
        centre.ui.allTemplatesAnswer = false;
        centre.load(section("contenidos", c.contenidos) + section("horarios_grupo", c.lines));
        centre.run.BuildAssignments();
        centre.run.ApplyGroupTimetables();

        EXPECT_TRUE(centre.exportState.chosenTemplateOnly);
        EXPECT_EQ(centre.ui.questions,
                  std::vector<Interaction::Question>{Interaction::Question::AllTemplates});
        EXPECT_EQ(centre.asigt(kClassFields), c.expected);
        expectNoDeletedRecords(centre.folder, "ASIGT");
    }
}

TEST(ApplyGroupTimetables, ARowForAFurtherTeacherCopiesItsGroupAndKeys) {
    Centre centre;
    centre.writeInputTables();
    centre.ui.allTemplatesAnswer = false;
    centre.load(section("contenidos", {contenido("C2", "LEN01"), contenido("C1", "MAT01")}) +
                section("horarios_grupo", {groupLine("P1", "2A", "C2", "LEN01", "111", "AULA1"),
                                           groupLine("P1", "2A", "C2", "LEN01", "222", "NOPE")}));
    centre.run.BuildAssignments();
    centre.run.ApplyGroupTimetables();
    EXPECT_EQ(centre.asigt({"CASIG", "CPROF", "CGRUP", "CAULA", "TURNO", "NIVEL", "CURSO", "GRUPO",
                            "HORAS", "SESIONES", "CLAVE", "CLAVECURSO", "CTAREA", "ASIG_ITACA"}),
              (std::vector<std::string>{
                  "LEN|T1|2A|A01|T|BAT|2|A|1|1111|2A|C2|*479|LEN01",
                  "LEN|T2|2A||T|BAT|2|A|1|1111|2A|C2|*479|LEN01",
              }));
}

TEST(ApplyGroupTimetables, AsksOnceWithTheSixLinesOfTheQuestion) {
    Centre centre;
    centre.writeInputTables();
    centre.ui.allTemplatesAnswer = true;
    centre.exportState.chosenTemplateOnly = true; // left by an earlier run
    centre.load(section("contenidos", kContenidos) +
                section("horarios_grupo", {groupLine("P1", "1A", "C1", "MAT01", "111", "AULA1"),
                                           groupLine("P1", "1A", "C1", "MAT01", "111", "AULA1")}));
    centre.run.BuildAssignments();
    centre.run.ApplyGroupTimetables();

    ASSERT_EQ(centre.ui.questions,
              std::vector<Interaction::Question>{Interaction::Question::AllTemplates});
    EXPECT_EQ(centre.ui.questionTexts[0],
              kBanner + "\r\n" +
                  "Se han encontrado Datos que pueden pertenecer a varias Plantillas Horarias.\r\n"
                  "RECOMENDAMOS IMPORTAR SOLAMENTE LOS DATOS PERTENECIENTES A UNA SOLA "
                  "PLANTILLA.\r\n"
                  "Si quiere Importar los Datos de todas las Plantillas Pulse el Botón "
                  "\"Sí\".\r\n"
                  "Para Importar solo los Datos de la Plantilla seleccionada,Pulse el Botón "
                  "\"No\".\r\n"
                  "(Recomendamos Pulsar \"No\", y trabajar solo con datos de una Plantilla.)");
    // Yes: all templates' data, the base rows stay as they were.
    EXPECT_FALSE(centre.exportState.chosenTemplateOnly);
    EXPECT_EQ(centre.asigt(kClassFields),
              (std::vector<std::string>{"MAT||1A||4|1111", "MAT||1B||4|1111", "LEN||1A||4|1111",
                                        "LEN||1B||4|1111"}));
}

TEST(ApplyGroupTimetables, WithoutGroupTimetableLinesAsksNothing) {
    for (const std::string& lines : {std::string(), section("horarios_grupo", {})}) {
        Centre centre;
        centre.writeInputTables();
        centre.exportState.chosenTemplateOnly = true; // left by an earlier run
        centre.load(section("contenidos", kContenidos) + lines);
        centre.run.BuildAssignments();
        centre.run.ApplyGroupTimetables();
        EXPECT_TRUE(centre.ui.questions.empty());
        EXPECT_FALSE(centre.exportState.chosenTemplateOnly);
        EXPECT_EQ(centre.asigt({"CASIG", "HORAS"}).size(), 4u);
    }
}

TEST(ApplyGroupTimetables, AMissingAttributeOnlyMattersOnLinesOfTheChosenTemplate) {
    const std::string good = groupLine("P1", "1A", "C1", "MAT01", "111", "AULA1");
    struct Case {
        std::string name;
        std::vector<std::string> lines;
        std::string attribute; // named in the error; empty: no error
    };
    const std::vector<Case> cases = {
        {"another template's line is skipped before its other attributes are read",
         {good, element("horario_grupo", {{"plantilla", "P2"}})},
         ""},
        {"a single line is not processed at all",
         {element("horario_grupo", {{"aula", "AULA1"}})},
         ""},
        {"plantilla is read first",
         {good, element("horario_grupo", {{"grupo", "1A"}})},
         "'plantilla'"},
        {"then grupo, curso, contenido, docente and aula, in this order",
         {good,
          element("horario_grupo",
                  {{"plantilla", "P1"}, {"grupo", "1A"}, {"curso", "C1"}, {"docente", "111"}})},
         "'contenido'"},
        {"aula is read even when the line has no base row",
         {good, element("horario_grupo", {{"plantilla", "P1"},
                                          {"grupo", "9Z"},
                                          {"curso", "C1"},
                                          {"contenido", "MAT01"},
                                          {"docente", "111"}})},
         "'aula'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Centre centre;
        centre.writeInputTables();
        centre.ui.allTemplatesAnswer = false;
        centre.load(section("contenidos", kContenidos) + section("horarios_grupo", c.lines));
        centre.run.BuildAssignments();
        const std::string error = errorOf([&] { centre.run.ApplyGroupTimetables(); });
        if (c.attribute.empty()) {
            EXPECT_EQ(error, "");
        } else {
            EXPECT_NE(error.find(c.attribute), std::string::npos) << error;
            EXPECT_NE(error.find("horario_grupo"), std::string::npos) << error;
            // Released with the update of the good line and no row deleted.
            EXPECT_EQ(centre.asigt(kClassFields),
                      (std::vector<std::string>{"MAT|T1|1A|A01|1|1111", "MAT||1B||4|1111",
                                                "LEN||1A||4|1111", "LEN||1B||4|1111"}));
        }
    }
}

// ---------------------------------------------------------------------------------------------
// ApplyDutyTimetables

const std::vector<std::string> kDutyFields = {"CASIG",    "CPROF",  "CGRUP",     "HORAS",
                                              "SESIONES", "CTAREA", "ASIG_ITACA"};

// Two class rows as ApplyGroupTimetables may leave them: one of T1 counted 3 periods, one
// without teacher at the default 4.
void writeClassRows(const Centre& centre) {
    writeTable(centre.folder, "ASIGT", schemas::asigt(),
               {
                   {{"CASIG", "MAT"},
                    {"CPROF", "T1"},
                    {"CGRUP", "1A"},
                    {"HORAS", "3"},
                    {"SESIONES", "1111"},
                    {"CLAVE", "1A"},
                    {"CLAVECURSO", "C1"},
                    {"CTAREA", "*479"},
                    {"ASIG_ITACA", "MAT01"}},
                   {{"CASIG", "LEN"},
                    {"CGRUP", "1B"},
                    {"HORAS", "4"},
                    {"SESIONES", "1111"},
                    {"CLAVE", "1B"},
                    {"CLAVECURSO", "C1"},
                    {"CTAREA", "*479"},
                    {"ASIG_ITACA", "LEN01"}},
               });
}

TEST(ApplyDutyTimetables, CountsEachTeachersDutyOnOneRow) {
    struct Case {
        std::string name;
        bool chosenTemplateOnly;
        std::vector<std::string> lines;
        std::vector<std::string> expected; // CASIG|CPROF|CGRUP|HORAS|SESIONES|CTAREA|ASIG_ITACA
    };
    const std::string mat = "MAT|T1|1A|3|111|*479|MAT01";
    const std::string len = "LEN||1B|4|1111|*479|LEN01";
    const std::vector<Case> cases = {
        {"a single line gives a duty row of one period",
         true,
         {dutyLine("12345", "111", "P1")},
         {mat, len, "*345|T1||1|1|*345|12345"}},
        {"two lines of the same teacher and duty give one row of two",
         true,
         {dutyLine("12345", "222", "P1"), dutyLine("12345", "222", "P1")},
         {mat, len, "*345|T2||2|11|*345|12345"}},
        {"each teacher and duty gets its own row, in the order first met",
         true,
         {dutyLine("12345", "111", "P1"), dutyLine("12345", "222", "P1"),
          dutyLine("12346", "111", "P1"), dutyLine("12345", "111", "P1")},
         {mat, len, "*345|T1||2|11|*345|12345", "*345|T2||1|1|*345|12345",
          "*346|T1||1|1|*346|12346"}},
        {"with all templates' data, lines of every template count together",
         false,
         {dutyLine("12345", "111", "P1"), dutyLine("12345", "111", "P2"),
          dutyLine("12345", "111", "")},
         {mat, len, "*345|T1||3|111|*345|12345"}},
        {"with the chosen template only, other templates' lines are ignored",
         true,
         {dutyLine("12345", "111", "P2"), dutyLine("12345", "111", "P1"),
          dutyLine("12345", "111", "p1")},
         {mat, len, "*345|T1||1|1|*345|12345"}},
        {"a duty named like a class row's subject of the same teacher counts on that row",
         true,
         {dutyLine("MAT01", "111", "P1")},
         {"MAT|T1|1A|4|1111|*479|MAT01", len}},
        {"a duty not in ASIGNOMT and a teacher not in PROFT still count",
         true,
         {dutyLine("99999", "999", "P1"), dutyLine("99999", "998", "P1")},
         {mat, len, "|||2|11||99999"}},
        {"a teacher not in PROFT matches a class row without teacher",
         true,
         {dutyLine("LEN01", "999", "P1")},
         {mat, "LEN||1B|5|11111|*479|LEN01"}},
        {"values are trimmed",
         true,
         {dutyLine(" 12345 ", "\t111", " P1 ")},
         {mat, len, "*345|T1||1|1|*345|12345"}},
        {"without duty lines SESIONES is still rebuilt", true, {}, {mat, len}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Centre centre;
        centre.writeInputTables();
        writeClassRows(centre);
        centre.exportState.chosenTemplateOnly = c.chosenTemplateOnly;
        centre.load(section("horarios_ocupaciones", c.lines));
        centre.run.ApplyDutyTimetables();
        EXPECT_EQ(centre.asigt(kDutyFields), c.expected);
    }
}

TEST(ApplyDutyTimetables, RebuildsSesionesOfEveryRowFromItsHoras) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"1", "1"},
        {"2.5", "111"},
        {"3", "111"},
        {"4", "1111"},
        {"14", "11111111111111"},
        {"15", "21111111111111"},
        {"23", "92111111111111"},
        {"28", "22222222222222"},
        {"55", "91033333333333"},
    };
    Centre centre;
    centre.writeInputTables();
    std::vector<Row> rows;
    for (const auto& [horas, expected] : cases)
        rows.push_back({{"CASIG", "MAT"}, {"HORAS", horas}, {"SESIONES", "1111"}});
    writeTable(centre.folder, "ASIGT", schemas::asigt(), rows);
    centre.load("");
    centre.run.ApplyDutyTimetables();

    const auto sesiones = centre.asigt({"SESIONES"});
    ASSERT_EQ(sesiones.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(sesiones[i], cases[i].second) << "HORAS " << cases[i].first;
}

TEST(ApplyDutyTimetables, AMissingAttributeEndsTheStepWhateverTheLinesTemplate) {
    struct Case {
        std::string name;
        std::string bad;
        std::string attribute;
    };
    const std::vector<Case> cases = {
        {"ocupacion first", element("horario_ocupacion", {{"plantilla", "P1"}}), "'ocupacion'"},
        {"then docente, on a line of another template",
         element("horario_ocupacion", {{"ocupacion", "12345"}, {"plantilla", "P2"}}), "'docente'"},
        {"then plantilla",
         element("horario_ocupacion", {{"ocupacion", "12345"}, {"docente", "111"}}), "'plantilla'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Centre centre;
        centre.writeInputTables();
        writeClassRows(centre);
        centre.exportState.chosenTemplateOnly = true;
        centre.load(section("horarios_ocupaciones", {dutyLine("12346", "222", "P1"), c.bad}));
        const std::string error = errorOf([&] { centre.run.ApplyDutyTimetables(); });
        EXPECT_NE(error.find(c.attribute), std::string::npos) << error;
        // Released with the duty row posted before; SESIONES was not rebuilt.
        EXPECT_EQ(
            centre.asigt(kDutyFields),
            (std::vector<std::string>{"MAT|T1|1A|3|1111|*479|MAT01", "LEN||1B|4|1111|*479|LEN01",
                                      "*346|T2||1|1|*346|12346"}));
    }
}

// ---------------------------------------------------------------------------------------------
// PruneUnusedGroupsAndTeachers

// Classes for groups 1A (T1) and 1B (T2), a duty of T4; 2A, SC and T3 have nothing.
void writeFinalAssignments(const Centre& centre) {
    writeTable(centre.folder, "ASIGT", schemas::asigt(),
               {
                   {{"CASIG", "MAT"}, {"CPROF", "T1"}, {"CGRUP", "1A"}, {"HORAS", "2"}},
                   {{"CASIG", "LEN"}, {"CPROF", "T2"}, {"CGRUP", "1B"}, {"HORAS", "1"}},
                   {{"CASIG", "*345"}, {"CPROF", "T4"}, {"HORAS", "1"}, {"CTAREA", "*345"}},
               });
}

TEST(PruneUnusedGroupsAndTeachers, RemovesGroupsAndTeachersWithoutClassesWhenAllowed) {
    const std::vector<std::string> allGroups = {"1A", "1B", "2A", "SC"};
    const std::vector<std::string> allTeachers = {"T1", "T2", "T3", "T4"};
    struct Case {
        std::string name;
        bool chosenTemplateOnly;
        bool answer;
        bool onlyBusyGroups; // GRUPOST holds only groups with classes
        bool asked;
        std::vector<std::string> groups;
        std::vector<std::string> teachers;
    };
    const std::vector<Case> cases = {
        {"all templates' data: nothing asked, nothing removed", false, true, false, false,
         allGroups, allTeachers},
        {"answer No keeps every group and teacher", true, false, false, true, allGroups,
         allTeachers},
        {"answer Yes removes the idle ones; a teacher with only duties stays",
         true,
         true,
         false,
         true,
         {"1A", "1B"},
         {"T1", "T2", "T4"}},
        {"every group busy: nothing asked, idle teachers removed",
         true,
         false,
         true,
         false,
         {"1A", "1B"},
         {"T1", "T2", "T4"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Centre centre;
        centre.writeInputTables();
        if (c.onlyBusyGroups)
            writeTable(centre.folder, "GRUPOST", schemas::grupost(),
                       {{{"ABREV", "1A"}, {"TUTOR", "T3"}}, {{"ABREV", "1B"}}});
        writeFinalAssignments(centre);
        centre.exportState.chosenTemplateOnly = c.chosenTemplateOnly;
        centre.ui.pruneAnswer = c.answer;
        centre.run.PruneUnusedGroupsAndTeachers();

        EXPECT_EQ(centre.ui.questions.size(), c.asked ? 1u : 0u);
        for (const auto q : centre.ui.questions)
            EXPECT_EQ(q, Interaction::Question::PruneUnused);
        EXPECT_EQ(readRows(centre.folder, "GRUPOST", {"ABREV"}), c.groups);
        EXPECT_EQ(readRows(centre.folder, "PROFT", {"ABREV"}), c.teachers);
        expectNoDeletedRecords(centre.folder, "GRUPOST");
        expectNoDeletedRecords(centre.folder, "PROFT");
        // A removed teacher may still be the tutor of a group that stays.
        EXPECT_EQ(readRows(centre.folder, "GRUPOST", {"ABREV", "TUTOR"})[0], "1A|T3");
        EXPECT_EQ(centre.asigt({"CASIG"}).size(), 3u);
    }
}

TEST(PruneUnusedGroupsAndTeachers, AsksWithTheFourLinesOfTheQuestion) {
    Centre centre;
    centre.writeInputTables();
    writeFinalAssignments(centre);
    centre.exportState.chosenTemplateOnly = true;
    centre.run.PruneUnusedGroupsAndTeachers();
    ASSERT_EQ(centre.ui.questionTexts.size(), 1u);
    EXPECT_EQ(centre.ui.questionTexts[0],
              kBanner + "\r\n" +
                  "Existen Grupos de Clase y Profesores que NO tienen Clases en esta "
                  "Plantilla.\r\n"
                  "Tanto, QUITAR como DEJAR estos Grupos y Profesores, No afectará al Horario.\r\n"
                  "¿Quieren quitar dichos Grupos y Profesores, del Horario que se va a "
                  "Importar?.");
}

// ---------------------------------------------------------------------------------------------
// The four steps together

TEST(AssignmentSteps, ChosenTemplateOnlyCarriesTheAnswerToTheDutyAndPruningSteps) {
    const std::string body =
        section("contenidos", kContenidos) +
        section("horarios_grupo", {groupLine("P1", "1A", "C1", "MAT01", "111", "AULA1"),
                                   groupLine("P1", "1A", "C1", "MAT01", "111", "AULA1"),
                                   groupLine("P1", "1A", "C1", "MAT01", "111", "AULA1"),
                                   groupLine("P2", "1B", "C1", "LEN01", "222", "AULA2")}) +
        section("horarios_ocupaciones",
                {dutyLine("12345", "444", "P1"), dutyLine("12345", "444", "P2")});
    struct Case {
        std::string name;
        bool allTemplates;
        std::vector<std::string> asigt; // CASIG|CPROF|CGRUP|HORAS|SESIONES
        std::vector<std::string> groups;
        std::vector<std::string> teachers;
    };
    const std::vector<Case> cases = {
        {"answer Yes: base rows, duties of every template, nothing pruned",
         true,
         {"MAT||1A|4|1111", "MAT||1B|4|1111", "LEN||1A|4|1111", "LEN||1B|4|1111", "*345|T4||2|11"},
         {"1A", "1B", "2A", "SC"},
         {"T1", "T2", "T3", "T4"}},
        {"answer No: the chosen template's classes and duties, the rest pruned",
         false,
         {"MAT|T1|1A|3|111", "*345|T4||1|1"},
         {"1A"},
         {"T1", "T4"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Centre centre;
        centre.writeInputTables();
        centre.ui.allTemplatesAnswer = c.allTemplates;
        centre.ui.pruneAnswer = true;
        centre.load(body);
        centre.run.BuildAssignments();
        centre.run.ApplyGroupTimetables();
        centre.run.ApplyDutyTimetables();
        centre.run.PruneUnusedGroupsAndTeachers();
        EXPECT_EQ(centre.asigt({"CASIG", "CPROF", "CGRUP", "HORAS", "SESIONES"}), c.asigt);
        // The pruning question only follows a No to the first one.
        std::vector<Interaction::Question> asked = {Interaction::Question::AllTemplates};
        if (!c.allTemplates)
            asked.push_back(Interaction::Question::PruneUnused);
        EXPECT_EQ(centre.ui.questions, asked);
        EXPECT_EQ(readRows(centre.folder, "GRUPOST", {"ABREV"}), c.groups);
        EXPECT_EQ(readRows(centre.folder, "PROFT", {"ABREV"}), c.teachers);
    }
}

TEST(AssignmentSteps, FollowTheTablesTheEarlierStepsBuild) {
    struct Case {
        std::string name;
        bool allTemplates;
        std::vector<std::string> asigt; // CASIG|CPROF|CGRUP|CAULA|HORAS|SESIONES|CTAREA
        std::vector<std::string> groups;
        std::vector<std::string> teachers;
    };
    const std::vector<Case> cases = {
        {"all templates",
         true,
         {"MAT1||1ESOA||4|1111|*479", "MAT1||1ESOB||4|1111|*479", "LEN1||1ESOA||4|1111|*479",
          "LEN1||1ESOB||4|1111|*479", "FIS2||2BATA||4|1111|*479", "*345|VRJ|||2|11|*345",
          "*346|GLA|||1|1|*346"},
         {"1ESOA", "1ESOB", "2BATA"},
         {"GLA", "PRL", "MSR", "VRJ"}},
        {"the chosen template only",
         false,
         {"MAT1|GLA|1ESOA|101|2|11|*479", "LEN1|PRL|1ESOA|LAB|2|11|*479",
          "FIS2|PRL|2BATA|LAB|1|1|*479", "MAT1|PRL|1ESOA|101|1|1|*479", "*345|VRJ|||2|11|*345"},
         {"1ESOA", "2BATA"},
         {"GLA", "PRL", "VRJ"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Centre centre;
        centre.ui.allTemplatesAnswer = c.allTemplates;
        centre.ui.pruneAnswer = true;
        centre.run.setDocument(itaca::ItacaDocument::load(
            std::filesystem::path(PELMIRA_EXPORT_DATA) / "assign_centre.xml"));
        centre.run.BuildSubjectNames();
        centre.run.AddDutyNames();
        centre.run.BuildTeachers();
        centre.run.BuildRooms();
        centre.run.BuildCoursesAndGroups();
        centre.run.BuildAssignments();
        centre.run.ApplyGroupTimetables();
        centre.run.ApplyDutyTimetables();
        centre.run.PruneUnusedGroupsAndTeachers();

        EXPECT_EQ(centre.asigt({"CASIG", "CPROF", "CGRUP", "CAULA", "HORAS", "SESIONES", "CTAREA"}),
                  c.asigt);
        EXPECT_EQ(readRows(centre.folder, "GRUPOST", {"ABREV"}), c.groups);
        EXPECT_EQ(readRows(centre.folder, "PROFT", {"ABREV"}), c.teachers);
    }
}

} // namespace
