// The export run's driver and the builders of ASIGNOMT, PROFT, AULAT, CURSOST, GRUPOST and
// DIASHORAST, each run on a small centre document and read back through the table engine.

#include "export/export_run.h"
#include "horvex/day_hour_slots.h"
#include "horvex/schemas.h"
#include "itaca/chooser.h"
#include "itaca/document.h"
#include "support/error_of.h"
#include "support/scripted_interaction.h"
#include "support/temp_dir.h"
#include "text/error.h"
#include "text/text.h"
#include "worktables/table.h"
#include "worktables/workfolder.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using namespace pelmira;
using exporting::ExportRun;
using pelmira::testing::errorOf;
using pelmira::testing::ScriptedInteraction;
using pelmira::testing::TempDir;
using run::RunOutcome;
using run::RunState;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using worktables::Table;
using worktables::WorkFolder;

namespace {

const fs::path kData = PELMIRA_EXPORT_DATA;

using Attrs = std::initializer_list<std::pair<std::string_view, std::string_view>>;
using Row = std::vector<std::string>;
using Rows = std::vector<Row>;

std::string escaped(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\t':
            out += "&#9;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// One element with its attributes, in the given order.
std::string el(std::string_view name, Attrs attrs) {
    std::string out = "<" + std::string(name);
    for (const auto& [k, v] : attrs)
        out += " " + std::string(k) + "=\"" + escaped(v) + "\"";
    return out + "/>";
}

std::string section(std::string_view name, std::initializer_list<std::string> elements) {
    std::string out = "<" + std::string(name) + ">";
    for (const auto& e : elements)
        out += e;
    return out + "</" + std::string(name) + ">";
}

std::string centro(std::string_view body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<centro codigo=\"46000000\">" +
           std::string(body) + "</centro>\n";
}

std::string subject(std::string_view code, std::string_view cas, std::string_view val,
                    std::string_view course = "C1") {
    return el("contenido",
              {{"curso", course}, {"codigo", code}, {"nombre_cas", cas}, {"nombre_val", val}});
}
std::string duty(std::string_view code, std::string_view cas, std::string_view val) {
    return el("ocupacion", {{"codigo", code}, {"nombre_cas", cas}, {"nombre_val", val}});
}
std::string teacher(std::string_view a1, std::string_view a2, std::string_view n,
                    std::string_view dni = "00000000T", std::string_view since = "01/09/2000",
                    std::string_view programme = "3012") {
    return el("docente", {{"apellido1", a1},
                          {"apellido2", a2},
                          {"nombre", n},
                          {"fecha_ingreso", since},
                          {"documento", dni},
                          {"ensenanza", programme}});
}
std::string room(std::string_view name, std::string_view code) {
    return el("aula", {{"nombre", name}, {"codigo", code}});
}
std::string course(std::string_view parent, std::string_view abbrev, std::string_view code,
                   std::string_view programme) {
    return el(
        "curso",
        {{"padre", parent}, {"abreviatura", abbrev}, {"codigo", code}, {"ensenanza", programme}});
}
std::string programme(std::string_view code, std::string_view abbrev) {
    return el("ensenanza", {{"ensenanza", code}, {"abreviatura", abbrev}});
}
std::string link(std::string_view group, std::string_view course) {
    return el("curso_grupo", {{"grupo", group}, {"curso", course}});
}
std::string group(std::string_view code, std::string_view tutor1 = " ",
                  std::string_view tutor2 = " ", std::string_view programme = "3012",
                  std::string_view shift = "Matí", std::string_view name = "Grupo") {
    return el("grupo", {{"codigo", code},
                        {"nombre", name},
                        {"turno", shift},
                        {"ensenanza", programme},
                        {"tutor_ppal", tutor1},
                        {"tutor_sec", tutor2}});
}

fs::path makeDir(const fs::path& p) {
    fs::create_directories(p);
    return p;
}

// The chosen fields of every live row, as UTF-8.
Rows rows(const WorkFolder& folder, std::string_view table, std::vector<std::string> fields) {
    Table t = Table::open(folder, table);
    Rows out;
    for (bool ok = t.first(); ok; ok = t.next()) {
        Row r;
        for (const auto& f : fields)
            r.push_back(text::toUtf8(t.text(f)));
        out.push_back(std::move(r));
    }
    return out;
}

std::vector<std::string> column(const WorkFolder& folder, std::string_view table,
                                const std::string& field) {
    std::vector<std::string> out;
    for (auto& r : rows(folder, table, {field}))
        out.push_back(r[0]);
    return out;
}

std::vector<std::string> fieldNames(const WorkFolder& folder, std::string_view table) {
    Table t = Table::open(folder, table);
    std::vector<std::string> out;
    for (const auto& f : t.fields())
        out.push_back(f.name);
    return out;
}

std::vector<std::string> schemaNames(const worktables::Schema& schema) {
    std::vector<std::string> out;
    for (const auto& f : schema)
        out.push_back(f.name);
    return out;
}

class Builders : public ::testing::Test {
protected:
    TempDir tmp;
    WorkFolder folder{makeDir(tmp / "HTEMP")};
    RunState state;
    exporting::ExportState exportState;
    ScriptedInteraction ui;
    ExportRun run{state, exportState, ui, folder};

    void load(std::string_view body) {
        run.setDocument(itaca::ItacaDocument::load(tmp.write("centro.xml", centro(body))));
    }
    Rows table(std::string_view name, std::vector<std::string> fields) {
        return rows(folder, name, std::move(fields));
    }
    bool exists(std::string_view fileName) const { return folder.exists(fileName); }
};

// ---------------------------------------------------------------------------------------------
// ASIGNOMT

TEST_F(Builders, SubjectNamesWithoutSectionsGiveAnEmptyTableWithAllFields) {
    load("");
    run.BuildSubjectNames();
    run.AddDutyNames();
    EXPECT_THAT(fieldNames(folder, "ASIGNOMT"),
                ElementsAreArray(schemaNames(horvex::schemas::asignomt())));
    EXPECT_TRUE(table("ASIGNOMT", {"COD"}).empty());
}

TEST_F(Builders, SingleSubjectIsIgnoredAndItsNameNotRecorded) {
    load(section("contenidos", {subject("MAT", "Guardia", "Guàrdia")}) +
         section("ocupaciones", {duty("12345", "Guardia", "Guàrdia"), duty("2", "Otra", "Altra")}));
    state.language = text::kCastilian;
    run.BuildSubjectNames();
    EXPECT_TRUE(table("ASIGNOMT", {"COD"}).empty());
    run.AddDutyNames();
    EXPECT_THAT(column(folder, "ASIGNOMT", "NOMBRE"), ElementsAre("Guardia", "Otra"));
}

TEST_F(Builders, SubjectRowsFollowTheCodeAndNameRules) {
    load(section("contenidos",
                 {
                     subject("MAT1", "Matemáticas I", "Matemàtiques I"),
                     subject("MAT1", "Matemáticas", "Matemàtiques"), // repeated code: no row
                     subject("ABCDEFGHIJKL", "Latín", "Llatí"),      // new name: shortened
                     subject("ABCDEFGHXXKL", "Griego", "Grec"),      // shortens onto the same
                     subject("LONGCODE12345", "Latín", "Llatí"),     // name met: not shortened
                     subject("  MUS \t", "Música con nombre muy largo", "Música"),
                     subject("MUS2", "MÚSICA", "MÚSICA"), // differs in letter case
                 }) +
         section("ocupaciones", {duty("1", "Matemáticas", "x"), duty("2", "Guardia", "y")}));
    state.language = text::kCastilian;
    run.BuildSubjectNames();
    EXPECT_THAT(
        table("ASIGNOMT",
              {"COD", "CODLARGO", "NOMBRE", "MATERIA", "CODTAREA", "ESTAREA", "ABREV_ITACA"}),
        ElementsAre(Row{"MAT1", "Matemática", "Matemáticas I", "", "", "F", "MAT1"},
                    Row{"ABCDEFGHKL", "Latín", "Latín", "", "", "F", "ABCDEFGHIJ"},
                    Row{"LONGCODE12", "Latín", "Latín", "", "", "F", "LONGCODE12"},
                    Row{"MUS", "Música con", "Música con nombre muy largo", "", "", "F", "MUS"},
                    Row{"MUS2", "MÚSICA", "MÚSICA", "", "", "F", "MUS2"}));
    // "Matemáticas" was recorded although it gave no row: the duty of that name is dropped.
    run.AddDutyNames();
    EXPECT_THAT(column(folder, "ASIGNOMT", "NOMBRE"),
                ElementsAre("Matemáticas I", "Latín", "Latín", "Música con nombre muy largo",
                            "MÚSICA", "Guardia"));
}

TEST_F(Builders, CodlargoCountsCharactersNotBytes) {
    load(section("contenidos", {subject("A", "ÀÉÍÓÚàéíóúñ", "x"), subject("B", "b", "y")}));
    state.language = text::kCastilian;
    run.BuildSubjectNames();
    EXPECT_THAT(column(folder, "ASIGNOMT", "CODLARGO"), ElementsAre("ÀÉÍÓÚàéíóú", "b"));
}

TEST_F(Builders, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    load(section("contenidos", {subject("A", "Ωmega €", "x"), subject("B", "b", "y")}));
    state.language = text::kCastilian;
    run.BuildSubjectNames();
    EXPECT_THAT(column(folder, "ASIGNOMT", "NOMBRE"), ElementsAre("?mega €", "b"));
}

TEST_F(Builders, LanguageSelectorChoosesTheNameAttribute) {
    struct Case {
        std::string language; // UTF-8
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {"VALENCIÁ", {"Matemàtiques", "Música", "Guàrdia"}},
        {"CASTELLANO", {"Matemáticas", "Música", "Guardia", "Recreo"}},
        {"castellano", {"Matemáticas", "Música", "Guardia", "Recreo"}},
        {"VALENCIA", {"Matemáticas", "Música", "Guardia", "Recreo"}},
    };
    load(section("contenidos", {subject("MAT", "Matemáticas", "Matemàtiques"),
                                subject("MUS", "Música", "Música")}) +
         section("ocupaciones",
                 {duty("101", "Guardia", "Guàrdia"), duty("102", "Recreo", "Música")}));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        state.language = text::toCp1252(c.language);
        run.BuildSubjectNames();
        run.AddDutyNames();
        EXPECT_THAT(column(folder, "ASIGNOMT", "NOMBRE"), ElementsAreArray(c.names));
    }
}

TEST_F(Builders, DutyCodesTakeTheLastThreeCharactersAndFreeLetters) {
    load(section("contenidos", {subject("*345", "Álgebra", "x"), subject("B", "Física", "y")}) +
         section("ocupaciones", {
                                    duty("12345", "Guardia", "a"),
                                    duty("99345", "Guardia de patio", "b"), // *345 taken
                                    duty("55345", "Reunión", "c"), duty("7", "Tutoría", "d"),
                                    duty("x7", "Tutoría 2", "e"), // *x7 free
                                    duty("87", "Tutoría 3", "f"), // *87
                                    duty("7", "Coordinación TIC de centro", "g"),
                                    duty("", "Sin código", "h"), duty("", "Sin código 2", "i"),
                                    duty("4567", "Guardia", "j"), // name met: dropped
                                    duty("4568", "Física", "k"),  // a subject's name: dropped
                                    duty("4569", "FÍSICA", "l"),  // differs in case: kept
                                }));
    state.language = text::kCastilian;
    run.BuildSubjectNames();
    run.AddDutyNames();
    const Rows all = table(
        "ASIGNOMT", {"COD", "CODLARGO", "NOMBRE", "MATERIA", "CODTAREA", "ESTAREA", "ABREV_ITACA"});
    ASSERT_EQ(all.size(), 12u);
    EXPECT_EQ(all[0], (Row{"*345", "Álgebra", "Álgebra", "", "", "F", "*345"}));
    const Rows duties(all.begin() + 2, all.end());
    EXPECT_THAT(duties,
                ElementsAre(Row{"*34A", "Guardia", "Guardia", "", "12345", "T", "12345"},
                            Row{"*34B", "Guardia", "Guardia de patio", "", "99345", "T", "99345"},
                            Row{"*34C", "Reunión", "Reunión", "", "55345", "T", "55345"},
                            Row{"*7", "Tutoría", "Tutoría", "", "7", "T", "7"},
                            Row{"*x7", "Tutoría", "Tutoría 2", "", "x7", "T", "x7"},
                            Row{"*87", "Tutoría", "Tutoría 3", "", "87", "T", "87"},
                            Row{"*7A", "Coordina", "Coordinación TIC de centro", "", "7", "T", "7"},
                            Row{"*", "Sin códi", "Sin código", "", "", "T", ""},
                            Row{"*A", "Sin códi", "Sin código 2", "", "", "T", ""},
                            Row{"*569", "FÍSICA", "FÍSICA", "", "4569", "T", "4569"}));
}

TEST_F(Builders, DutyLetterSequenceEndsWithAnErrorPastCode255) {
    // *345 and then *34A ... *34\xFF: 1 + 191 codes; the next duty finds none free.
    std::string duties = "<ocupaciones>";
    for (int i = 0; i < 193; ++i)
        duties += duty(std::to_string(1000 + i) + "345", "Guardia " + std::to_string(i), "x");
    duties += "</ocupaciones>";
    load(duties);
    state.language = text::kCastilian;
    run.BuildSubjectNames();
    const std::string message = errorOf([&] { run.AddDutyNames(); });
    EXPECT_THAT(message, HasSubstr("'1192345'"));
    EXPECT_THAT(message, HasSubstr("Guardia 192"));
    // The rows posted before the error stay.
    const auto codes = column(folder, "ASIGNOMT", "COD");
    ASSERT_EQ(codes.size(), 192u);
    EXPECT_EQ(codes[1], "*34A");
    EXPECT_EQ(codes[191], text::toUtf8("*34\xFF"));
}

TEST_F(Builders, SharedListsAreEmptiedAtTheStartAndReleasedAtTheEnd) {
    load(section("contenidos", {subject("MAT", "Matemáticas", "x"), subject("B", "Física", "y")}));
    state.language = text::kCastilian;
    // What an earlier run that ended on an error may have left.
    exportState.usedCodes.add("MAT");
    exportState.usedNames.add("Física");
    run.BuildSubjectNames();
    EXPECT_THAT(column(folder, "ASIGNOMT", "COD"), ElementsAre("MAT", "B"));
    EXPECT_EQ(exportState.usedCodes.size(), 2u);
    run.AddDutyNames();
    EXPECT_EQ(exportState.usedCodes.size(), 0u);
    EXPECT_EQ(exportState.usedNames.size(), 0u);
}

TEST_F(Builders, SubjectNamesReplaceAnOldTableAndItsIndex) {
    Table old = Table::rebuild(folder, "ASIGNOMT", {{"X", worktables::FieldType::Text, 3}});
    old.append();
    old.setText("X", "old");
    old.post();
    old.close();
    tmp.write("HTEMP/asignomt.mdx", "stale index");
    load("");
    run.BuildSubjectNames();
    EXPECT_FALSE(exists("ASIGNOMT.MDX"));
    EXPECT_THAT(fieldNames(folder, "ASIGNOMT"),
                ElementsAreArray(schemaNames(horvex::schemas::asignomt())));
    EXPECT_TRUE(table("ASIGNOMT", {"COD"}).empty());
}

TEST_F(Builders, MissingSubjectOrDutyAttributeEndsTheStep) {
    struct Case {
        std::string body;
        bool duties;
        std::vector<std::string> expected; // substrings of the message
    };
    const std::vector<Case> cases = {
        {section("contenidos",
                 {subject("A", "a", "a"), el("contenido", {{"curso", "C"}, {"nombre_val", "b"}})}),
         false,
         {"'codigo'", "contenido 2"}},
        // codigo is read before the name.
        {section("contenidos", {subject("A", "a", "a"), el("contenido", {{"curso", "C"}})}),
         false,
         {"'codigo'"}},
        {section("contenidos",
                 {subject("A", "a", "a"), el("contenido", {{"codigo", "B"}, {"nombre_cas", "b"}})}),
         false,
         {"'nombre_val'", "contenido 2"}},
        {section("ocupaciones", {duty("1", "a", "a"), el("ocupacion", {{"codigo", "2"}})}),
         true,
         {"'nombre_val'", "ocupacion 2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        load(c.body);
        const std::string message = errorOf([&] {
            run.BuildSubjectNames();
            run.AddDutyNames();
        });
        for (const auto& s : c.expected)
            EXPECT_THAT(message, HasSubstr(s));
        // The rows before the faulty element stay.
        EXPECT_EQ(table("ASIGNOMT", {"COD"}).size(), 1u);
    }
}

// ---------------------------------------------------------------------------------------------
// PROFT

TEST_F(Builders, TeachersGetInitialsNumberedIgnoringCase) {
    load(section("docentes",
                 {
                     teacher("García", "López", "Ana", "11111111A"),
                     teacher("Gómez", "Lara", "Antonio", "22222222B"),
                     teacher("gil", "lloret", "amparo", "33333333C"),
                     teacher("Gil", "Lloret", "Amparo", "33333333C"), // same document: own row
                     teacher("Pérez", "", "Júlia", "44444444D", "2019-09-01"),
                     teacher("Àlvarez", "Sanchis", "Òscar", "X12345678901234567",
                             "01/09/2021 00:00", "3012345"),
                     teacher("  Martí \t", " Ferrer", "Vicent  ", "5"),
                     teacher("", "", "", "", "", ""),
                     teacher("Giménez", "Lara", "Alba"),
                 }));
    run.BuildTeachers();
    EXPECT_THAT(
        table("PROFT",
              {"ABREV", "NOMBRE", "DEPART", "DNI", "X_EMPLEADO", "F_TOMAPOS", "ENSENANZA"}),
        ElementsAre(
            Row{"GLA", "García López, Ana", "", "11111111A", "", "01/09/2000", "3012"},
            Row{"GLA1", "Gómez Lara, Antonio", "", "22222222B", "", "01/09/2000", "3012"},
            Row{"gla2", "gil lloret, amparo", "", "33333333C", "", "01/09/2000", "3012"},
            Row{"GLA3", "Gil Lloret, Amparo", "", "33333333C", "", "01/09/2000", "3012"},
            Row{"PJ", "Pérez , Júlia", "", "44444444D", "", "2019-09-01", "3012"},
            Row{"ÀSÒ", "Àlvarez Sanchis, Òscar", "", "X1234567890123", "", "01/09/2021", "30123"},
            Row{"MFV", "Martí Ferrer, Vicent", "", "5", "", "01/09/2000", "3012"},
            Row{"", " ,", "", "", "", "", ""},
            Row{"GLA4", "Giménez Lara, Alba", "", "00000000T", "", "01/09/2000", "3012"}));
}

TEST_F(Builders, ManyTeachersWithTheSameInitialsAreNumberedInOrder) {
    std::string body = "<docentes>";
    for (int i = 0; i < 25; ++i)
        body += teacher("García", "López", i % 2 ? "ana" : "Ana");
    body += "</docentes>";
    load(body);
    run.BuildTeachers();
    const auto abbrevs = column(folder, "PROFT", "ABREV");
    ASSERT_EQ(abbrevs.size(), 25u);
    EXPECT_EQ(abbrevs[0], "GLA");
    EXPECT_EQ(abbrevs[1], "GLa1");
    EXPECT_EQ(abbrevs[24], "GLA24");
}

TEST_F(Builders, SingleTeacherGivesAnEmptyTable) {
    load(section("docentes", {teacher("García", "López", "Ana")}));
    run.BuildTeachers();
    EXPECT_THAT(fieldNames(folder, "PROFT"),
                ElementsAreArray(schemaNames(horvex::schemas::proft())));
    EXPECT_TRUE(table("PROFT", {"ABREV"}).empty());
}

TEST_F(Builders, MissingTeacherAttributeNamesTheFirstOneRead) {
    struct Case {
        std::string element;
        std::string attribute;
    };
    const std::vector<Case> cases = {
        {el("docente", {{"apellido2", "b"}, {"nombre", "c"}}), "'apellido1'"},
        {el("docente", {{"apellido1", "a"}, {"nombre", "c"}, {"documento", "1"}}), "'apellido2'"},
        {el("docente", {{"apellido1", "a"}, {"apellido2", "b"}, {"documento", "1"}}), "'nombre'"},
        // The row takes documento before fecha_ingreso and ensenanza.
        {el("docente", {{"apellido1", "a"}, {"apellido2", "b"}, {"nombre", "c"}}), "'documento'"},
        {el("docente",
            {{"apellido1", "a"}, {"apellido2", "b"}, {"nombre", "c"}, {"documento", "1"}}),
         "'fecha_ingreso'"},
        {el("docente", {{"apellido1", "a"},
                        {"apellido2", "b"},
                        {"nombre", "c"},
                        {"documento", "1"},
                        {"fecha_ingreso", "x"}}),
         "'ensenanza'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.attribute);
        load(section("docentes", {teacher("García", "López", "Ana"), c.element}));
        const std::string message = errorOf([&] { run.BuildTeachers(); });
        EXPECT_THAT(message, HasSubstr(c.attribute));
        EXPECT_THAT(message, HasSubstr("docente 2"));
        EXPECT_THAT(column(folder, "PROFT", "ABREV"), ElementsAre("GLA"));
    }
}

// ---------------------------------------------------------------------------------------------
// AULAT

TEST_F(Builders, RoomAbbreviationRules) {
    load(section("aulas", {
                              room("Aula 1", "A01"),
                              room("Aula 1 bis", "A01"),
                              room("Aula 1 ter", "A01"),
                              room("Laboratorio 1", "LABORATORIO1"),
                              room("Laboratorio 2", "LABORATORIO2"),
                              room("Laboratorio 1 bis", "LABORATORIO1"),
                              room("Diez", "ABCDEFGHIJ"),
                              room("Diez bis", "ABCDEFGHIJ"),
                              room("Gimnasio", ""),
                              room("Música", "a01"),
                              room("Gimnasio", " "),
                              room("Aula de dibujo con un nombre larguísimo", "ABCDEFGH1"),
                          }));
    run.BuildRooms();
    EXPECT_THAT(
        table("AULAT", {"ABREV", "NOMBRE", "EDIFICIO", "MAXALUM", "DEPCENTRO", "ABREV_ITACA"}),
        ElementsAre(
            Row{"A01", "Aula 1", "", "", "", "A01"}, Row{"A011", "Aula 1 bis", "", "", "", "A01"},
            Row{"A012", "Aula 1 ter", "", "", "", "A01"},
            Row{"LABORATO1", "Laboratorio 1", "", "", "", "LABORATORI"},
            Row{"LABORATO2", "Laboratorio 2", "", "", "", "LABORATORI"},
            Row{"LABORATO3", "Laboratorio 1 bis", "", "", "", "LABORATORI"},
            Row{"ABCDEFGHIJ", "Diez", "", "", "", "ABCDEFGHIJ"},
            Row{"ABCDEFGH1", "Diez bis", "", "", "", "ABCDEFGHIJ"},
            Row{"Gimn", "Gimnasio", "", "", "", ""}, Row{"a013", "Música", "", "", "", "a01"},
            Row{"Gimn1", "Gimnasio", "", "", "", ""},
            Row{"ABCDEFGH11", "Aula de dibujo con un nombre larguísimo", "", "", "", "ABCDEFGH1"}));
}

TEST_F(Builders, SingleRoomGivesAnEmptyTableAndMissingAttributesEndTheStep) {
    load(section("aulas", {room("Aula 1", "A01")}));
    run.BuildRooms();
    EXPECT_THAT(fieldNames(folder, "AULAT"),
                ElementsAreArray(schemaNames(horvex::schemas::aulat())));
    EXPECT_TRUE(table("AULAT", {"ABREV"}).empty());

    load(section("aulas", {room("Aula 1", "A01"), el("aula", {{"codigo", "B"}})}));
    EXPECT_THAT(errorOf([&] { run.BuildRooms(); }), HasSubstr("'nombre'"));
    load(section("aulas", {room("Aula 1", "A01"), el("aula", {{"nombre", "B"}})}));
    EXPECT_THAT(errorOf([&] { run.BuildRooms(); }), HasSubstr("'codigo'"));
    EXPECT_THAT(column(folder, "AULAT", "ABREV"), ElementsAre("A01"));
}

TEST_F(Builders, RoomsOfTwoSectionsAreWalkedInDocumentOrder) {
    load(section("aulas", {room("Uno", "A")}) + section("docentes", {}) +
         section("aulas", {room("Dos", "A")}));
    run.BuildRooms();
    EXPECT_THAT(column(folder, "AULAT", "ABREV"), ElementsAre("A", "A1"));
}

// ---------------------------------------------------------------------------------------------
// CURSOST and GRUPOST

class CoursesAndGroups : public Builders {
protected:
    // PROFT as BuildTeachers leaves it, from the given docentes.
    void loadWithTeachers(const std::string& body) {
        load(section("docentes", {teacher("García", "López", "Ana", "11111111A"),
                                  teacher("Gómez", "Lara", "Antonio", "22222222B"),
                                  teacher("Sin", "Documento", "Nadie", ""),
                                  teacher("Largo", "Documento", "Luis", "123456789012345678")}) +
             body);
        run.BuildTeachers();
    }
    const std::vector<std::string> groupFields = {"ABREV",     "TURNO", "NIVEL",      "CURSO",
                                                  "GRUPO",     "CLAVE", "CLAVECURSO", "DESCRIP",
                                                  "ENSENANZA", "TUTOR"};
};

TEST_F(CoursesAndGroups, CoursesFollowTheParentRuleAndTheLevelLookup) {
    loadWithTeachers(
        section("cursos", {course("", "ESO", "3012000", "3012"),      // no digit: skipped
                           course("", "ESO1", "X", "3012"),           // skipped
                           course("", "1ESO", "3012001", "3012"),     //
                           course("3012000", "ESO1", "3012009", "9"), // parent: kept
                           course("P", "Bachillerato de Ciencias y Tecnología, modalidad general",
                                  "30170011234", "3017"),
                           course("P", "", "E", "")}) +
        section("ensenanzas", {programme("3012", "ESO"), programme("3017", "BACHILL"),
                               programme("3012", "DUPL"), programme("", "VACIO")}));
    exportState.templateShift = text::toCp1252("Matí");
    run.BuildCoursesAndGroups();
    EXPECT_THAT(table("CURSOST", {"ABREV", "TURNO", "NIVEL", "CURSO", "CLAVE", "ESTUD"}),
                ElementsAre(Row{"1ES", "M", "ESO", "1", "3012001", "1ESO"},
                            Row{"ESO", "M", "", "E", "3012009", "ESO1"},
                            Row{"Bac", "M", "BACHI", "B", "3017001123",
                                "Bachillerato de Ciencias y Tecnología, m"},
                            Row{"", "M", "VACIO", "", "E", ""}));
    EXPECT_THAT(fieldNames(folder, "GRUPOST"),
                ElementsAreArray(schemaNames(horvex::schemas::grupost())));
}

TEST_F(CoursesAndGroups, SingleElementSectionsFindNothing) {
    loadWithTeachers(section("cursos", {course("P", "1ESO", "3012001", "3012")}) +
                     section("ensenanzas", {programme("3012", "ESO")}) +
                     section("cursos_grupo", {link("1A", "3012001")}) +
                     section("grupos", {group("1A", "11111111A"), group("1B", "22222222B")}));
    run.BuildCoursesAndGroups();
    EXPECT_TRUE(table("CURSOST", {"ABREV"}).empty());
    EXPECT_THAT(table("GRUPOST", {"ABREV", "NIVEL", "CLAVECURSO", "TUTOR"}),
                ElementsAre(Row{"1A", "", "", "GLA"}, Row{"1B", "", "", "GLA1"}));
}

TEST_F(CoursesAndGroups, GroupRowsTakeLevelCourseLinkTutorAndAbbreviation) {
    loadWithTeachers(
        section("ensenanzas", {programme("3012", "ESO"), programme("3017", "BAT")}) +
        section("cursos_grupo", {link("1ESOA", "3012001"), link("1ESOB", "3012001"),
                                 link("1ESOA", "3012099"), link("", "SINGRUPO")}) +
        section("grupos", {
                              group("1ESOA", "11111111A", " ", "3012", "Matí", "1º ESO A"),
                              group("1ESOB", " ", "22222222B", "3012", "Vesprada", "1º ESO B"),
                              group("1esoa", "99999999Z", "22222222B", "3017"), // unknown tutor
                              group("  1ESOA ", "", "", "9999", ""),            // blank DNI matches
                              group("2ESODIVERSIFICACION", "123456789012345678"),
                              group("X"),
                          }));
    run.BuildCoursesAndGroups();
    EXPECT_THAT(
        table("GRUPOST", groupFields),
        ElementsAre(
            Row{"1ESOA", "M", "ESO", "1", "A", "1ESOA", "3012001", "1º ESO A", "3012", "GLA"},
            Row{"1ESOB", "V", "ESO", "1", "B", "1ESOB", "3012001", "1º ESO B", "3012", "GLA1"},
            Row{"1esoa1", "M", "BAT", "1", "a", "1esoa", "", "Grupo", "3017", ""},
            Row{"1ESOA2", "", "", "1", "A", "1ESOA", "3012001", "Grupo", "9999", "SDN"},
            Row{"2ESODIVEON", "M", "ESO", "2", "N", "2ESODIVERS", "", "Grupo", "3012", ""},
            Row{"X", "M", "ESO", "X", "X", "X", "", "Grupo", "3012", "SDN"}));
}

TEST_F(CoursesAndGroups, GroupAbbreviationRules) {
    std::vector<std::string> groups = {"1A",         "1A",         "1A",          "1a",
                                       "ABCDEFGHIJ", "ABCDEFGHIJ", "ABCDEFGHIJKL"};
    for (int i = 0; i < 11; ++i)
        groups.push_back("ABCDEFGHI");
    std::string body = "<grupos>";
    for (const auto& g : groups)
        body += group(g);
    body += "</grupos>";
    loadWithTeachers(body);
    run.BuildCoursesAndGroups();
    const auto abbrevs = column(folder, "GRUPOST", "ABREV");
    ASSERT_EQ(abbrevs.size(), groups.size());
    EXPECT_THAT(std::vector<std::string>(abbrevs.begin(), abbrevs.begin() + 9),
                ElementsAre("1A", "1A1", "1A2", "1a3", "ABCDEFGHIJ", "ABCDEFGHI1", "ABCDEFGHKL",
                            "ABCDEFGHI", "ABCDEFGHI2"));
    // ABCDEFGHI1 was taken by the repeated 10-character code, so the repeats of ABCDEFGHI
    // run from 2; ABCDEFGHI10 is cut to ABCDEFGH10. The cut form is not checked against the
    // list, so the next repeat arrives at ABCDEFGHI10 again and gives the same abbreviation.
    EXPECT_EQ(abbrevs[15], "ABCDEFGHI9");
    EXPECT_EQ(abbrevs[16], "ABCDEFGH10");
    EXPECT_EQ(abbrevs[17], "ABCDEFGH10");
}

TEST_F(CoursesAndGroups, TenthRepeatOfANineCharacterCode) {
    std::string body = "<grupos>";
    for (int i = 0; i < 11; ++i)
        body += group("ABCDEFGHI");
    body += "</grupos>";
    loadWithTeachers(body);
    run.BuildCoursesAndGroups();
    const auto abbrevs = column(folder, "GRUPOST", "ABREV");
    ASSERT_EQ(abbrevs.size(), 11u);
    EXPECT_EQ(abbrevs[9], "ABCDEFGHI9");
    EXPECT_EQ(abbrevs[10], "ABCDEFGH10");
}

TEST_F(CoursesAndGroups, NoTemplateShiftLeavesTurnoBlank) {
    loadWithTeachers(
        section("cursos", {course("", "1ESO", "A", "x"), course("", "2ESO", "B", "x")}));
    run.BuildCoursesAndGroups();
    EXPECT_THAT(column(folder, "CURSOST", "TURNO"), ElementsAre("", ""));
}

// Which attribute a lookup reads decides which missing one ends the step.
TEST_F(CoursesAndGroups, LookupsReadAttributesUpToTheFirstMatch) {
    struct Case {
        std::string name;
        std::string body;
        std::string error; // empty: no error; else a substring of the message
        Rows groups;       // ABREV, NIVEL, CLAVECURSO of the rows written
    };
    const std::string programmes =
        section("ensenanzas", {programme("3012", "ESO"), el("ensenanza", {{"abreviatura", "X"}}),
                               programme("3017", "BAT"), el("ensenanza", {{"ensenanza", "3040"}})});
    const std::string links =
        section("cursos_grupo", {link("1A", "C1"), el("curso_grupo", {{"curso", "C2"}}),
                                 link("1B", "C3"), el("curso_grupo", {{"grupo", "1C"}})});
    const std::vector<Case> cases = {
        {"found before the faulty element",
         programmes + links + section("grupos", {group("1A"), group("1A")}),
         "",
         {{"1A", "ESO", "C1"}, {"1A1", "ESO", "C1"}}},
        {"level lookup passes an element without ensenanza",
         programmes + section("grupos", {group("1A"), group("1B", " ", " ", "3017")}),
         "ensenanza 2",
         {{"1A", "ESO", ""}}},
        {"level lookup matches an element without abreviatura",
         section("ensenanzas", {programme("3012", "ESO"), programme("3017", "BAT"),
                                el("ensenanza", {{"ensenanza", "3040"}})}) +
             section("grupos",
                     {group("1A"), group("1B", " ", " ", "9999"), group("1C", " ", " ", "3040")}),
         "'abreviatura'",
         {{"1A", "ESO", ""}, {"1B", "", ""}}},
        {"course link passes an element without grupo",
         links + section("grupos", {group("1A"), group("1B")}),
         "curso_grupo 2",
         {{"1A", "", "C1"}}},
        {"course link matches an element without curso",
         section("cursos_grupo", {link("1A", "C1"), el("curso_grupo", {{"grupo", "1C"}})}) +
             section("grupos", {group("1A"), group("1C")}),
         "'curso'",
         {{"1A", "", "C1"}}},
        {"a course skipped by its parent is not read further",
         section("ensenanzas", {programme("3012", "ESO"), programme("3017", "BAT")}) +
             section("cursos", {el("curso", {{"padre", ""}, {"abreviatura", "ESO"}}),
                                course("", "1ESO", "C1", "3012")}),
         "",
         {}},
        {"the ensenanza of a course is not read without a programme section",
         section("cursos",
                 {el("curso", {{"padre", "P"}, {"abreviatura", "1ESO"}, {"codigo", "C1"}}),
                  course("", "1ESO", "C1", "3012")}),
         "",
         {}},
        {"the ensenanza of a course is read with a programme section",
         section("ensenanzas", {programme("3012", "ESO"), programme("3017", "BAT")}) +
             section("cursos",
                     {el("curso", {{"padre", "P"}, {"abreviatura", "1ESO"}, {"codigo", "C1"}}),
                      course("", "1ESO", "C1", "3012")}),
         "'ensenanza'",
         {}},
        {"the level is read before the code",
         section("ensenanzas", {programme("3012", "ESO"), programme("3017", "BAT")}) +
             section("cursos",
                     {el("curso", {{"padre", "P"}, {"abreviatura", "1ESO"}, {"ensenanza", "1"}}),
                      course("", "1ESO", "C1", "3012")}),
         "'codigo'",
         {}},
        {"tutor_sec is read only when tutor_ppal is empty",
         section("grupos", {el("grupo", {{"codigo", "1A"},
                                         {"nombre", "n"},
                                         {"turno", "M"},
                                         {"ensenanza", "e"},
                                         {"tutor_ppal", "11111111A"}}),
                            el("grupo", {{"codigo", "1B"},
                                         {"nombre", "n"},
                                         {"turno", "M"},
                                         {"ensenanza", "e"},
                                         {"tutor_ppal", ""}})}),
         "'tutor_sec'",
         {{"1A", "", ""}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        loadWithTeachers(c.body);
        const std::string message = errorOf([&] { run.BuildCoursesAndGroups(); });
        if (c.error.empty())
            EXPECT_EQ(message, "(no error)");
        else
            EXPECT_THAT(message, HasSubstr(c.error));
        EXPECT_EQ(table("GRUPOST", {"ABREV", "NIVEL", "CLAVECURSO"}), c.groups);
    }
}

TEST_F(CoursesAndGroups, MissingTeachersTableEndsTheStepAfterTheCourses) {
    load(section("cursos", {course("", "1ESO", "A", "x"), course("", "2ESO", "B", "x")}) +
         section("grupos", {group("1A"), group("1B")}));
    const std::string message = errorOf([&] { run.BuildCoursesAndGroups(); });
    EXPECT_THAT(message, HasSubstr("PROFT"));
    EXPECT_THAT(column(folder, "CURSOST", "ABREV"), ElementsAre("1ES", "2ES"));
    EXPECT_TRUE(table("GRUPOST", {"ABREV"}).empty());
}

// ---------------------------------------------------------------------------------------------
// DIASHORAST

class DayHourSlots : public Builders {
protected:
    Rows slots() {
        return table("DIASHORAST",
                     {"DIHO", "CODDIHO", "DIA", "TEXTODIA", "HORA", "TEXTOHOR", "HORADESDE",
                      "HORAHASTA", "MINUTOS", "SESION_ORDEN", "PLANTILLA"});
    }
};

TEST_F(DayHourSlots, EmptyPeriodListGivesAnEmptyTableAndReplacesTheOldIndex) {
    tmp.write("HTEMP/DIASHORAST.MDX", "stale");
    horvex::BuildDayHourSlots(state, folder);
    EXPECT_FALSE(exists("DIASHORAST.MDX"));
    EXPECT_THAT(fieldNames(folder, "DIASHORAST"),
                ElementsAreArray(schemaNames(horvex::schemas::diashorast())));
    EXPECT_TRUE(slots().empty());
}

TEST_F(DayHourSlots, EveryPeriodOnSevenDays) {
    state.periodList = {" 3 de 09:50 a 10:45", " 3 de 11:15 a 12:10", "12 de 13:00 a 12:30"};
    state.templateCode = "PMATI";
    state.language = text::kCastilian;
    horvex::BuildDayHourSlots(state, folder);
    const Rows all = slots();
    ASSERT_EQ(all.size(), 21u);
    const char* days[] = {"Lunes", "Martes", "Miércoles", "Jueves", "Viernes", "Sábado", "Domingo"};
    for (int d = 0; d < 7; ++d) {
        EXPECT_EQ(all[d], (Row{std::to_string(d + 1) + "1", "", std::to_string(d + 1), days[d], "1",
                               "3", "09:50", "10:45", "55", "3", "PMATI"}));
        EXPECT_EQ(all[7 + d][0], std::to_string(d + 1) + "2");
        EXPECT_EQ(all[7 + d][5], "3");
        EXPECT_EQ(all[14 + d][4], "3");
    }
    // An end before the start gives a negative length.
    EXPECT_EQ(all[14],
              (Row{"13", "", "1", "Lunes", "3", "12", "13:00", "12:30", "-30", "12", "PMATI"}));
}

TEST_F(DayHourSlots, SlotNumbersCountTheLinesOfTheList) {
    for (int i = 1; i <= 11; ++i)
        state.periodList.push_back(
            text::toCp1252(itaca::periodLine(std::to_string(i), "08:00", "08:55")));
    horvex::BuildDayHourSlots(state, folder);
    const auto diho = column(folder, "DIASHORAST", "DIHO");
    ASSERT_EQ(diho.size(), 77u);
    EXPECT_EQ(diho[63], "110");
    EXPECT_EQ(diho[69], "710");
    EXPECT_EQ(column(folder, "DIASHORAST", "HORA")[63], "10");
}

TEST_F(DayHourSlots, DayNamesAreCastilianOnlyForTheExactItem) {
    struct Case {
        std::string language;
        std::string wednesday;
    };
    const std::vector<Case> cases = {{"CASTELLANO", "Miércoles"},
                                     {"VALENCIÁ", "Dimecres"},
                                     {"castellano", "Dimecres"},
                                     {"CASTELLANO ", "Dimecres"}};
    state.periodList = {" 1 de 08:00 a 08:55"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        state.language = text::toCp1252(c.language);
        horvex::BuildDayHourSlots(state, folder);
        EXPECT_EQ(column(folder, "DIASHORAST", "TEXTODIA")[2], c.wednesday);
    }
    // The member step uses the run's state.
    state.language = text::kValencian;
    run.BuildDayHourSlots();
    EXPECT_EQ(column(folder, "DIASHORAST", "TEXTODIA")[5], "Dissabte");
}

TEST_F(DayHourSlots, APeriodLineWithoutNumbersEndsTheStepKeepingEarlierLines) {
    struct Case {
        std::string line;
        std::string message;
    };
    const std::vector<Case> cases = {
        {" 2 de 8:00 a 08:55", "'8:' no es un valor entero válido"},
        {" 2 de 08:00 a 9:5", "'9:' no es un valor entero válido"},
        {" 2 de 08:00 a 09", "'' no es un valor entero válido"},
        {"xx de 08:00 a 08:55", "'xx' no es un valor entero válido"},
        {"100 de 08:00 a 08:55", "':0' no es un valor entero válido"}, // shifted one place
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        state.periodList = {" 1 de 08:00 a 08:55", c.line};
        EXPECT_EQ(errorOf([&] { horvex::BuildDayHourSlots(state, folder); }), c.message);
        EXPECT_EQ(slots().size(), 7u);
    }
}

// ---------------------------------------------------------------------------------------------
// The run's driver

class Run : public Builders {
protected:
    const fs::path escuela = kData / ".." / ".." / "data" / "escuela.xml";

    std::vector<std::string> tables() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(folder.dir()))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST_F(Run, CancelledDialogWithoutAnEarlierFileReportsTheMissingFile) {
    for (bool embedded : {false, true}) {
        SCOPED_TRACE(embedded);
        RunState s;
        s.embedded = embedded;
        ScriptedInteraction u;
        ExportRun r(s, u, folder);
        EXPECT_EQ(r.run(), RunOutcome::InputMissing);
        EXPECT_THAT(u.messages, ElementsAre("No existe archivo"));
        EXPECT_EQ(s.transferResult, embedded ? -1 : 0);
        EXPECT_EQ(u.chooserShown, 0);
        EXPECT_TRUE(tables().empty());
    }
}

TEST_F(Run, MissingFileOrAFolderInsteadOfAFile) {
    for (const fs::path& p : {tmp / "gone.xml", tmp.path()}) {
        SCOPED_TRACE(p);
        ui.file = p;
        ui.messages.clear();
        EXPECT_EQ(run.run(), RunOutcome::InputMissing);
        EXPECT_THAT(ui.messages, ElementsAre("No existe archivo"));
        EXPECT_EQ(state.xmlFileName, p);
    }
}

TEST_F(Run, FileThatIsNoCentreDocumentTouchesNoTable) {
    struct Case {
        fs::path file;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {kData / "builders_not_xml.xml", {"builders_not_xml.xml", "1"}},
        {kData / "builders_wrong_root.xml", {"builders_wrong_root.xml", "centro"}},
        {tmp.write("empty.xml", ""), {"empty.xml"}},
        {tmp.write("truncated.xml",
                   "<?xml version=\"1.0\"?>\n<centro>\n<aulas>\n<aula nombre=\"A\""),
         {"truncated.xml", "4"}},
    };
    tmp.write("HTEMP/PROFT.DBF", "an old table that must stay");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        ui.file = c.file;
        state.transferResult = 0;
        const std::string message = errorOf([&] { run.run(); });
        for (const auto& s : c.expected)
            EXPECT_THAT(message, HasSubstr(s));
        EXPECT_EQ(state.transferResult, 0);
        EXPECT_THAT(tables(), ElementsAre("PROFT.DBF"));
        EXPECT_EQ(ui.busyDepth, 0);
        EXPECT_TRUE(ui.messages.empty());
    }
}

TEST_F(Run, MissingWorkFolderEndsTheRunAtTheFirstTable) {
    fs::remove(folder.dir());
    ui.file = kData / "builders_no_templates.xml";
    const std::string message = errorOf([&] { run.run(); });
    EXPECT_NE(message, "(no error)");
    EXPECT_EQ(state.transferResult, 0);
    EXPECT_EQ(ui.busyDepth, 0);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(fs::exists(folder.dir()));
}

TEST_F(Run, DocumentWithoutTemplatesRunsAllStepsWithoutTheChooser) {
    ui.file = kData / "builders_no_templates.xml";
    state.templateCode = "KEPT";
    exportState.usedCodes.add("MAT"); // left by an unfinished run
    EXPECT_EQ(run.run(), RunOutcome::Completed);
    EXPECT_EQ(ui.chooserShown, 0);
    EXPECT_EQ(exportState.templateCount, 0);
    EXPECT_EQ(state.templateCode, "KEPT");
    EXPECT_EQ(state.transferResult, 1);
    EXPECT_THAT(ui.messages, ElementsAre("Proceso finalizado"));
    EXPECT_EQ(ui.busyDepth, 0);
    EXPECT_EQ(exportState.usedCodes.size(), 0u);
    EXPECT_EQ(exportState.usedNames.size(), 0u);
    // ISO-8859-1 input: the names reach the tables as cp1252.
    EXPECT_THAT(table("ASIGNOMT", {"COD", "NOMBRE"}),
                ElementsAre(Row{"MAT", "Matemàtiques"}, Row{"MUS", "Música"},
                            Row{"*101", "Guàrdia"}, Row{"*102", "Pati"}));
    EXPECT_THAT(table("CURSOST", {"ABREV", "TURNO", "NIVEL"}),
                ElementsAre(Row{"1PR", "", "PRIM"}, Row{"2PR", "", "PRIM"}));
    EXPECT_THAT(table("GRUPOST", {"ABREV", "TUTOR", "CLAVECURSO"}),
                ElementsAre(Row{"1A", "GLA", "C1"}, Row{"2A", "GLA1", "C2"}));
    EXPECT_TRUE(table("DIASHORAST", {"DIHO"}).empty());
    EXPECT_THAT(tables(), ElementsAre("ASIGNOMT.DBF", "ASIGT.DBF", "AULAT.DBF", "CURSOST.DBF",
                                      "DIASHORAST.DBF", "GRUPOST.DBF", "PROFT.DBF"));
}

TEST_F(Run, CancelledDialogKeepsTheEarlierFile) {
    state.xmlFileName = kData / "builders_no_templates.xml";
    EXPECT_EQ(run.run(), RunOutcome::Completed);
    EXPECT_EQ(state.xmlFileName, kData / "builders_no_templates.xml");
}

TEST_F(Run, ChooserResultsAreTakenIntoTheRunState) {
    ui.file = escuela;
    state.templateCode = "OLD";
    std::string codeWhileChoosing;
    ui.chooser = [&](itaca::TemplateChooser& c) {
        codeWhileChoosing = state.templateCode;
        EXPECT_EQ(c.languageText(), std::string(text::kValencian));
        c.setLanguageText(std::string(text::kCastilian));
        c.setTemplateText("PVESP");
    };
    EXPECT_EQ(run.run(), RunOutcome::Completed);
    EXPECT_EQ(ui.chooserShown, 1);
    EXPECT_TRUE(ui.chooserErrors.empty());
    EXPECT_EQ(codeWhileChoosing, "");
    EXPECT_EQ(exportState.templateCount, 3);
    EXPECT_EQ(state.templateCode, "PVESP");
    EXPECT_EQ(exportState.templateShift, "Vesprada");
    EXPECT_EQ(state.language, std::string(text::kCastilian));
    EXPECT_THAT(state.periodList, ElementsAre(" 1 de 15:00 a 15:55", " 2 de 15:55 a 16:50",
                                              " 3 de 17:10 a 18:05", " 4 de 18:05 a 19:00"));
    EXPECT_THAT(column(folder, "CURSOST", "TURNO"), ::testing::Each("V"));
    EXPECT_EQ(column(folder, "DIASHORAST", "TEXTODIA")[0], "Lunes");
    EXPECT_EQ(column(folder, "DIASHORAST", "PLANTILLA")[0], "PVESP");
    EXPECT_THAT(ui.messages, ElementsAre("Proceso finalizado"));
}

// The main window keeps the export state between attempts: a document without templates shows
// no chooser and keeps the shift an earlier attempt took from one. A run with an export state of
// its own starts without any.
TEST_F(Run, ShiftOfAnEarlierAttemptStaysForADocumentWithoutTemplates) {
    ui.file = escuela;
    ui.chooser = [](itaca::TemplateChooser& c) { c.setTemplateText("PVESP"); };
    ASSERT_EQ(run.run(), RunOutcome::Completed);
    ASSERT_EQ(exportState.templateShift, "Vesprada");

    ui.file = kData / "builders_no_templates.xml";
    ExportRun again(state, exportState, ui, folder);
    EXPECT_EQ(again.run(), RunOutcome::Completed);
    EXPECT_THAT(column(folder, "CURSOST", "TURNO"), ElementsAre("V", "V"));

    ExportRun ownState(state, ui, folder);
    EXPECT_EQ(ownState.run(), RunOutcome::Completed);
    EXPECT_EQ(ownState.exportState().templateShift, "");
    EXPECT_THAT(column(folder, "CURSOST", "TURNO"), ElementsAre("", ""));
}

TEST_F(Run, SingleTemplateStillShowsTheChooser) {
    ui.file = tmp.write(
        "one.xml",
        centro(section("plantillas_horario", {el("plantilla_horario", {{"codigo", "P1"},
                                                                       {"descripcion_val", "d"},
                                                                       {"descripcion_cas", "d"},
                                                                       {"turno", "Matí"}})})));
    EXPECT_EQ(run.run(), RunOutcome::Completed);
    EXPECT_EQ(ui.chooserShown, 1);
    EXPECT_EQ(state.templateCode, "P1");
    EXPECT_EQ(exportState.templateShift, "-"); // a single template leaves the labels at "-"
}

// A missing attribute in each section ends the run with its message; the tables of the earlier
// steps stay complete, the table being written keeps its earlier rows, later ones are not made.
TEST_F(Run, MissingAttributeEndsTheRunWhereItIsRead) {
    struct Case {
        std::string body;
        std::string message;
        std::string table;    // the table being written
        std::size_t rowsKept; // its rows posted before the error
        std::vector<std::string> files;
    };
    const std::string subjects =
        section("contenidos", {subject("A", "a", "a"), subject("B", "b", "b")});
    const std::string teachers =
        section("docentes", {teacher("García", "López", "Ana"), teacher("Gómez", "Lara", "Jon")});
    const std::vector<Case> cases = {
        {section("contenidos", {subject("A", "a", "a"), el("contenido", {{"curso", "C"}})}),
         "'codigo'",
         "ASIGNOMT",
         1,
         {"ASIGNOMT.DBF"}},
        {subjects +
             section("ocupaciones", {duty("1", "x", "x"), el("ocupacion", {{"codigo", "2"}})}),
         "ocupacion 2",
         "ASIGNOMT",
         3,
         {"ASIGNOMT.DBF"}},
        {subjects + section("docentes", {teacher("García", "López", "Ana"),
                                         el("docente", {{"apellido1", "x"}})}),
         "docente 2",
         "PROFT",
         1,
         {"ASIGNOMT.DBF", "PROFT.DBF"}},
        {section("aulas", {room("A", "A"), room("B", "B"), el("aula", {{"nombre", "C"}})}),
         "aula 3",
         "AULAT",
         2,
         {"ASIGNOMT.DBF", "AULAT.DBF", "PROFT.DBF"}},
        {section("cursos", {course("", "1A", "A", "x"), el("curso", {{"padre", "x"}})}),
         "'abreviatura'",
         "CURSOST",
         1,
         {"ASIGNOMT.DBF", "AULAT.DBF", "CURSOST.DBF", "GRUPOST.DBF", "PROFT.DBF"}},
        {teachers + section("grupos", {group("1A"), el("grupo", {{"codigo", "1B"}})}),
         "'nombre'",
         "GRUPOST",
         1,
         {"ASIGNOMT.DBF", "AULAT.DBF", "CURSOST.DBF", "GRUPOST.DBF", "PROFT.DBF"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        TempDir t;
        WorkFolder f(makeDir(t / "HTEMP"));
        RunState s;
        ScriptedInteraction u;
        u.file = t.write("c.xml", centro(c.body));
        ExportRun r(s, u, f);
        const std::string message = errorOf([&] { r.run(); });
        EXPECT_THAT(message, HasSubstr(c.message));
        EXPECT_EQ(s.transferResult, 0);
        EXPECT_EQ(u.busyDepth, 0);
        EXPECT_TRUE(u.messages.empty());
        std::vector<std::string> files;
        for (const auto& e : fs::directory_iterator(f.dir()))
            files.push_back(e.path().filename().string());
        std::sort(files.begin(), files.end());
        EXPECT_EQ(files, c.files);
        EXPECT_EQ(rows(f, c.table, {fieldNames(f, c.table)[0]}).size(), c.rowsKept);
    }
}

// A table that another program holds ends the run with the engine's message.
TEST_F(Run, LockedTableEndsTheRunWithTheEnginesMessage) {
    ui.file = kData / "builders_no_templates.xml";
    Table::rebuild(folder, "AULAT", horvex::schemas::aulat()).close();

    int toChild[2];
    int fromChild[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(fromChild), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(toChild[1]);
        close(fromChild[0]);
        int status = 0;
        try {
            Table held = Table::open(folder, "AULAT");
            (void)!write(fromChild[1], "k", 1);
            char c;
            (void)!read(toChild[0], &c, 1); // until the parent is done
        } catch (...) {
            status = 1;
        }
        _exit(status);
    }
    close(toChild[0]);
    close(fromChild[1]);
    char c = 0;
    ASSERT_EQ(read(fromChild[0], &c, 1), 1);

    const std::string message = errorOf([&] { run.run(); });
    close(toChild[1]);
    int status = 0;
    waitpid(child, &status, 0);
    close(fromChild[0]);

    EXPECT_THAT(message, HasSubstr("AULAT"));
    EXPECT_THAT(message, HasSubstr("está en uso por otro programa"));
    EXPECT_EQ(state.transferResult, 0);
    EXPECT_EQ(ui.busyDepth, 0);
    // The steps before it completed.
    EXPECT_EQ(column(folder, "PROFT", "ABREV").size(), 2u);
    EXPECT_FALSE(exists("CURSOST.DBF"));
}

} // namespace
