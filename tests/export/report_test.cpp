// The report of what the export run drops, cuts and leaves empty: the text of every kind of
// event on fixtures that produce each at least once, the report's layout, and that the tables
// written with an observer listening are byte for byte those written without one.

#include "export/export_run.h"
#include "horvex/schemas.h"
#include "itaca/chooser.h"
#include "itaca/document.h"
#include "run/report.h"
#include "support/scripted_interaction.h"
#include "support/temp_dir.h"
#include "text/error.h"
#include "text/text.h"
#include "worktables/table.h"
#include "worktables/workfolder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace pelmira;
using exporting::ExportRun;
using run::ReportEvent;
using run::RunReport;
using run::RunState;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using worktables::Table;
using worktables::WorkFolder;

const fs::path kData = PELMIRA_EXPORT_DATA;
const fs::path kCentre = kData / "report_centre.xml";
const fs::path kSmall = kData / "report_small.xml";
const fs::path kSchool = fs::path(PELMIRA_TEST_DATA) / "escuela.xml";

// "step | kind | location: message" of every event, in the order reported.
std::vector<std::string> lines(const RunReport& report) {
    std::vector<std::string> out;
    for (const auto& e : report.events())
        out.push_back(e.step + " | " + e.kind + " | " + e.line());
    return out;
}

// Every file of a folder, by name, with its bytes.
std::map<std::string, std::string> contents(const fs::path& dir) {
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        out[entry.path().filename().string()] = bytes.str();
    }
    return out;
}

struct Answers {
    std::string templateCode = "P1";
    bool allTemplates = false;
    bool prune = true;
};

// One whole export run of a file into a folder of its own, with or without an observer.
struct Export {
    pelmira::testing::TempDir tmp;
    fs::path dir = tmp / "HTEMP";
    RunState state;
    pelmira::testing::ScriptedInteraction ui;
    RunReport report;
    std::string error;

    Export(const fs::path& xml, bool observe, const Answers& answers = {}) {
        fs::create_directories(dir);
        if (observe)
            state.observer = &report;
        ui.file = xml;
        ui.allTemplatesAnswer = answers.allTemplates;
        ui.pruneAnswer = answers.prune;
        ui.chooser = [answers](itaca::TemplateChooser& c) {
            c.setLanguageText(std::string(text::kCastilian));
            c.setTemplateText(answers.templateCode);
        };
        state.language = std::string(text::kCastilian);
        try {
            ExportRun(state, ui, WorkFolder(dir)).run();
        } catch (const Error& e) {
            error = e.what();
        }
    }
};

// The texts of every kind of event that a whole run can produce, on one centre.
const std::vector<std::string> kCentreEvents = {
    "BuildSubjectNames | codigo_repetido | contenido 2 (MAT1): no se escribe, el código ya "
    "se usó en el contenido 1",
    "BuildSubjectNames | recorte | contenido 3 (ABCDEFGHIJKL): ABREV_ITACA ABCDEFGHIJKL "
    "recortado a 10 caracteres",
    "BuildSubjectNames | codigo_abreviado_repetido | contenido 4 (ABCDEFGHXXKL): no se "
    "escribe, el código abreviado ABCDEFGHKL ya se usó en el contenido 3",
    "AddDutyNames | nombre_repetido | ocupacion 2 (999): no se escribe, el nombre Lengua ya "
    "se usó en el contenido 6",
    "BuildTeachers | recorte | docente 3: DNI 123456789012345 recortado a 14 caracteres",
    "BuildTeachers | clave_repetida | docente 5: DNI 222 ya es del docente 2; las búsquedas "
    "por DNI solo encuentran el docente 2",
    "BuildRooms | clave_repetida | aula 3 (A01): código A01 ya es del aula 1; las búsquedas "
    "por código solo encuentran el aula 1",
    "BuildCoursesAndGroups | curso_sin_padre | curso 1 (ESO): no se escribe, no tiene padre "
    "y su abreviatura no empieza por una cifra",
    "BuildCoursesAndGroups | nivel_no_encontrado | curso 3 (2ESO): NIVEL queda vacío, la "
    "enseñanza 9999 no está en ensenanzas",
    "BuildCoursesAndGroups | curso_grupo_no_encontrado | grupo 3 (2X): CLAVECURSO queda "
    "vacío, el grupo no está en cursos_grupo",
    "BuildCoursesAndGroups | tutor_no_encontrado | grupo 3 (2X): TUTOR queda vacío, no hay "
    "docente con DNI 99999999Z en PROFT",
    "BuildAssignments | recorte | contenido 3 (ABCDEFGHIJKL): ASIG_ITACA ABCDEFGHIJKL "
    "recortado a 10 caracteres",
    "BuildAssignments | contenido_sin_asignomt | contenido 4 (ABCDEFGHXXKL): no da filas en "
    "ASIGT, el código no está en ASIGNOMT (ASIGNOMT guarda solo 10 caracteres del código) "
    "ni tampoco su nombre Griego",
    "BuildAssignments | contenido_sin_grupos | contenido 5 (FIS): no da filas en ASIGT, "
    "ningún grupo de GRUPOST tiene CLAVECURSO E9",
    "ApplyGroupTimetables | docente_no_encontrado | horario_grupo 3: el docente 555 no está "
    "en PROFT; la línea cuenta sin profesor",
    "ApplyGroupTimetables | aula_no_encontrada | horario_grupo 4: el aula AULA9 no está en "
    "AULAT; la línea no da aula a su fila",
    "ApplyGroupTimetables | sin_fila_base | horario_grupo 5: se descarta, no hay fila en "
    "ASIGT para grupo 1A, curso C1, contenido NOEXIST (no hay ningún contenido NOEXIST del "
    "curso C1)",
    "ApplyGroupTimetables | sin_fila_base | horario_grupo 6: se descarta, no hay fila en "
    "ASIGT para grupo 9Z, curso C1, contenido MAT1 (el grupo no está en GRUPOST)",
    "ApplyGroupTimetables | sin_fila_base | horario_grupo 7: se descarta, no hay fila en "
    "ASIGT para grupo 1A, curso C1, contenido ABCDEFGHXXKL (el contenido no está en "
    "ASIGNOMT)",
    "ApplyGroupTimetables | otra_plantilla | horario_grupo 8: no se cuenta, es de la "
    "plantilla P2 y no de la elegida P1",
    "ApplyGroupTimetables | sin_fila_base | horario_grupo 10: se descarta, no hay fila en "
    "ASIGT para grupo 1A, curso C1, contenido ABCDEFGHIJKL (un código tiene más de 10 "
    "caracteres y ASIGT guarda solo 10)",
    "ApplyGroupTimetables | sin_fila_base | horario_grupo 11: se descarta, no hay fila en "
    "ASIGT para grupo 1B, curso E9, contenido FIS (ningún grupo de GRUPOST es del curso E9)",
    // The second base row of the repeated contenido MAT1 and the rows of subjects no line uses.
    "ApplyGroupTimetables | fila_borrada | ASIGT registro 2: se borra la fila de grupo 1B, "
    "contenido MAT1, ninguna línea de la plantilla P1 la usa",
    "ApplyGroupTimetables | fila_borrada | ASIGT registro 3: se borra la fila de grupo 1A, "
    "contenido MAT1, ninguna línea de la plantilla P1 la usa",
    "ApplyGroupTimetables | fila_borrada | ASIGT registro 4: se borra la fila de grupo 1B, "
    "contenido MAT1, ninguna línea de la plantilla P1 la usa",
    "ApplyGroupTimetables | fila_borrada | ASIGT registro 5: se borra la fila de grupo 1A, "
    "contenido ABCDEFGHIJ, ninguna línea de la plantilla P1 la usa",
    "ApplyGroupTimetables | fila_borrada | ASIGT registro 6: se borra la fila de grupo 1B, "
    "contenido ABCDEFGHIJ, ninguna línea de la plantilla P1 la usa",
    "ApplyDutyTimetables | ocupacion_no_encontrada | horario_ocupacion 2: la ocupación 999 "
    "no está en ASIGNOMT (no se escribió: el nombre Lengua ya se usó en el contenido 6); "
    "CASIG y CTAREA de su fila quedan vacíos",
    "ApplyDutyTimetables | docente_no_encontrado | horario_ocupacion 3: el docente 666 no "
    "está en PROFT; la línea cuenta sin profesor",
    "ApplyDutyTimetables | otra_plantilla | horario_ocupacion 4: no se cuenta, es de la "
    "plantilla P2 y no de la elegida P1",
    "PruneUnusedGroupsAndTeachers | grupo_quitado | GRUPOST registro 3 (2X): se borra, el "
    "grupo no tiene filas en ASIGT",
    "PruneUnusedGroupsAndTeachers | docente_quitado | PROFT registro 3 (SME): se borra, el "
    "profesor no tiene filas en ASIGT",
    "PruneUnusedGroupsAndTeachers | docente_quitado | PROFT registro 4 (VRL): se borra, el "
    "profesor no tiene filas en ASIGT",
    "PruneUnusedGroupsAndTeachers | docente_quitado | PROFT registro 5 (RGM): se borra, el "
    "profesor no tiene filas en ASIGT",
    "PruneUnusedGroupsAndTeachers | tutor_quitado | grupo 1B: su TUTOR VRL se ha quitado de "
    "PROFT y sigue en GRUPOST",
    "BuildDayHourSlots | duracion_negativa | sesión 2 (2 de 10:00 a 09:30): MINUTOS -30, "
    "acaba antes de empezar",
};

const std::vector<std::string> kSmallEvents = {
    "BuildSubjectNames | seccion_insuficiente | contenidos: tiene un solo elemento; no se escribe "
    "ninguna fila de contenido en ASIGNOMT",
    "AddDutyNames | seccion_insuficiente | ocupaciones: tiene un solo elemento; no se escribe "
    "ninguna fila de ocupación en ASIGNOMT",
    "BuildTeachers | seccion_insuficiente | docentes: tiene un solo elemento; PROFT queda sin "
    "filas",
    "BuildRooms | seccion_insuficiente | aulas: tiene un solo elemento; AULAT queda sin filas",
    "BuildCoursesAndGroups | seccion_insuficiente | cursos: tiene un solo elemento; CURSOST queda "
    "sin filas",
    "BuildCoursesAndGroups | seccion_insuficiente | ensenanzas: tiene un solo elemento; NIVEL "
    "queda "
    "vacío en todos los cursos y grupos",
    "BuildCoursesAndGroups | seccion_insuficiente | cursos_grupo: tiene un solo elemento; "
    "CLAVECURSO queda vacío en todos los grupos",
    // PROFT is empty: neither group finds its tutor.
    "BuildCoursesAndGroups | tutor_no_encontrado | grupo 1 (1A): TUTOR queda vacío, no hay docente "
    "con DNI 111 en PROFT",
    "BuildCoursesAndGroups | tutor_no_encontrado | grupo 2 (1B): TUTOR queda vacío, no hay docente "
    "con DNI 111 en PROFT",
    "BuildAssignments | seccion_insuficiente | contenidos: tiene un solo elemento; ASIGT queda sin "
    "filas",
    "ApplyGroupTimetables | seccion_insuficiente | horarios_grupo: tiene un solo elemento; no se "
    "cuenta ninguna línea y se borran todas las filas de clase de ASIGT",
    "PruneUnusedGroupsAndTeachers | grupo_quitado | GRUPOST registro 1 (1A): se borra, el grupo no "
    "tiene filas en ASIGT",
    "PruneUnusedGroupsAndTeachers | grupo_quitado | GRUPOST registro 2 (1B): se borra, el grupo no "
    "tiene filas en ASIGT",
};

TEST(ExportReport, EveryKindOfEventOfAWholeRunIsReportedWithItsText) {
    const Export run(kCentre, true);
    ASSERT_EQ(run.error, "");
    EXPECT_THAT(lines(run.report), ElementsAreArray(kCentreEvents));
}

TEST(ExportReport, SectionsOfOneElementAreReported) {
    const Export run(kSmall, true);
    ASSERT_EQ(run.error, "");
    EXPECT_THAT(lines(run.report), ElementsAreArray(kSmallEvents));
}

// With every answer, on every fixture and on the sample school: the observer changes nothing
// that the run writes.
TEST(ExportReport, TablesAreByteForByteTheSameWithAndWithoutAnObserver) {
    struct Case {
        fs::path xml;
        Answers answers;
    };
    const std::vector<Case> cases = {
        {kCentre, {"P1", false, true}},     {kCentre, {"P1", false, false}},
        {kCentre, {"P1", true, true}},      {kCentre, {"P2", false, true}},
        {kSmall, {"", false, true}},        {kSchool, {"PMATI", false, true}},
        {kSchool, {"PVESP", false, false}}, {kSchool, {"PMATI", true, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml.filename().string() + " " + c.answers.templateCode);
        const Export quiet(c.xml, false, c.answers);
        const Export observed(c.xml, true, c.answers);
        ASSERT_EQ(quiet.error, "");
        ASSERT_EQ(observed.error, "");
        EXPECT_FALSE(observed.report.empty());
        EXPECT_TRUE(quiet.report.empty());
        const auto a = contents(quiet.dir);
        const auto b = contents(observed.dir);
        ASSERT_EQ(a.size(), 7u); // the seven work tables
        EXPECT_TRUE(a == b);
        EXPECT_EQ(quiet.ui.messages, observed.ui.messages);
        EXPECT_EQ(quiet.ui.questions, observed.ui.questions);
    }
}

// A step run alone, on tables written by hand, for what a whole run never produces: a base row
// whose group is not in GRUPOST.
TEST(ExportReport, AFurtherTeachersLineLostForAGroupMissingFromGrupostIsReported) {
    pelmira::testing::TempDir tmp;
    fs::create_directories(tmp / "HTEMP");
    const WorkFolder folder(tmp / "HTEMP");
    const auto put = [&](std::string_view name, const worktables::Schema& schema,
                         const std::vector<std::map<std::string, std::string>>& rows) {
        auto t = Table::rebuild(folder, name, schema);
        for (const auto& row : rows) {
            t.append();
            for (const auto& [field, value] : row)
                field == "HORAS" ? t.setNumber(field, std::stod(value)) : t.setText(field, value);
            t.post();
        }
        t.close();
    };
    put("ASIGT", horvex::schemas::asigt(),
        {{{"CASIG", "MAT"},
          {"CGRUP", "GONE"},
          {"HORAS", "4"},
          {"CLAVE", "1A"},
          {"CLAVECURSO", "C1"},
          {"ASIG_ITACA", "MAT1"}}});
    put("GRUPOST", horvex::schemas::grupost(), {{{"ABREV", "1A"}, {"CLAVE", "1A"}}});
    put("PROFT", horvex::schemas::proft(),
        {{{"ABREV", "T1"}, {"DNI", "111"}}, {{"ABREV", "T2"}, {"DNI", "222"}}});
    put("AULAT", horvex::schemas::aulat(), {});

    const auto xml =
        tmp.write("centro.xml",
                  "<centro><horarios_grupo>"
                  "<horario_grupo plantilla=\"P1\" grupo=\"1A\" curso=\"C1\" contenido=\"MAT1\" "
                  "docente=\"111\" aula=\"\"/>"
                  "<horario_grupo plantilla=\"P1\" grupo=\"1A\" curso=\"C1\" contenido=\"MAT1\" "
                  "docente=\"222\" aula=\"\"/>"
                  "<horario_grupo plantilla=\"P1\" grupo=\"1A\" curso=\"C2\" contenido=\"MAT1\" "
                  "docente=\"222\" aula=\"\"/>"
                  "</horarios_grupo></centro>");
    RunState state;
    state.templateCode = "P1";
    RunReport report;
    state.observer = &report;
    pelmira::testing::ScriptedInteraction ui;
    ui.allTemplatesAnswer = false;
    ExportRun run(state, ui, folder);
    run.setDocument(itaca::ItacaDocument::load(xml));
    run.ApplyGroupTimetables();
    EXPECT_THAT(lines(report),
                ElementsAre("ApplyGroupTimetables | grupo_no_encontrado | horario_grupo 2: se "
                            "pierde, el grupo GONE de la fila base no está en GRUPOST y no se "
                            "puede añadir la fila del profesor T2",
                            // Without BuildAssignments in this run, GRUPOST tells why.
                            "ApplyGroupTimetables | sin_fila_base | horario_grupo 3: se descarta, "
                            "no hay fila en ASIGT para grupo 1A, curso C2, contenido MAT1 (en "
                            "GRUPOST el grupo es del curso (vacío))"));
}

TEST(ExportReport, EveryExportKindIsProducedByTheFixtures) {
    std::set<std::string> seen;
    for (const auto* fixture : {&kCentre, &kSmall}) {
        const Export run(*fixture, true);
        for (const auto& e : run.report.events())
            seen.insert(e.kind);
    }
    seen.insert("grupo_no_encontrado"); // produced by the step alone, above
    const std::set<std::string> importOnly = {"plantilla_sin_sesiones", "no_colocado", "dia_fuera",
                                              "contenido_no_encontrado", "sesion_no_encontrada"};
    for (const auto& kind : run::reportKinds()) {
        const std::string code(kind.code);
        if (!importOnly.contains(code))
            EXPECT_TRUE(seen.contains(code)) << code;
        else
            EXPECT_FALSE(seen.contains(code)) << code;
    }
    // Every kind reported has a heading of its own.
    for (const auto& kind : seen)
        EXPECT_NE(run::kindHeading(kind), kind) << kind;
}

TEST(ExportReport, TheReportGroupsEventsByStepAndKindWithTheirCounts) {
    const std::vector<ReportEvent> events = {
        {"BuildTeachers", "recorte", "docente 12", "DNI 123456789012345 recortado a 14 caracteres"},
        {"ApplyGroupTimetables", "otra_plantilla", "horario_grupo 1", "no se cuenta"},
        {"BuildTeachers", "seccion_insuficiente", "docentes", "tiene un solo elemento"},
        {"BuildTeachers", "recorte", "docente 13",
         "DNI 1234567890123456 recortado a 14 caracteres"},
    };
    EXPECT_EQ(run::formatReport(events, "Informe"),
              "Informe\n"
              "\n"
              "BuildTeachers (3 avisos)\n"
              "  Textos recortados al ancho de su campo [recorte]: 2\n"
              "    docente 12: DNI 123456789012345 recortado a 14 caracteres\n"
              "    docente 13: DNI 1234567890123456 recortado a 14 caracteres\n"
              "  Secciones con menos de dos elementos, que no se leen [seccion_insuficiente]: 1\n"
              "    docentes: tiene un solo elemento\n"
              "\n"
              "ApplyGroupTimetables (1 aviso)\n"
              "  Líneas de otra plantilla, que no se cuentan [otra_plantilla]: 1\n"
              "    horario_grupo 1: no se cuenta\n"
              "\n"
              "Total: 4 avisos.\n");
    EXPECT_EQ(run::formatReport({}, "Informe"),
              "Informe\nSin avisos: no se ha descartado, recortado ni dejado vacío nada.\n");
}

// An error ends the run; what was reported before it stays.
TEST(ExportReport, EventsBeforeAnErrorAreKept) {
    pelmira::testing::TempDir tmp;
    std::ifstream in(kCentre, std::ios::binary);
    std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The fourth line of the chosen template loses its room: ApplyGroupTimetables stops there.
    const std::string line4 = "contenido=\"LEN\" docente=\"111\" aula=\"AULA9\"";
    ASSERT_NE(xml.find(line4), std::string::npos);
    xml.replace(xml.find(line4), line4.size(), "contenido=\"LEN\" docente=\"111\"");
    const Export run(tmp.write("centro.xml", xml), true);
    EXPECT_THAT(run.error, ::testing::HasSubstr("Falta el atributo 'aula'"));
    const auto got = lines(run.report);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.front(), kCentreEvents.front());
    EXPECT_EQ(got.back(), kCentreEvents[14]); // horario_grupo 3, the last line before the error
}

} // namespace
