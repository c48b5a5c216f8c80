// The import run from the reminder to the saved result, with scripted answers.

#include "import/import_run.h"
#include "import_fixture.h"
#include "itaca/chooser.h"
#include "platform/local_time.h"
#include "run/report.h"
#include "support/scripted_interaction.h"
#include "support/temp_dir.h"
#include "text/text.h"
#include "xml_reader.h"

#include <ctime>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>

namespace pelmira::testing {
namespace {

namespace fs = std::filesystem;
using run::RunOutcome;
using worktables::Table;
using worktables::WorkFolder;

const std::string kReminder =
    "Deber\xC3\xA1 Abrir el fichero XML de ITACA,\r\ndesde el cual realiz\xC3\xB3 la "
    "Importaci\xC3\xB3n a Horvex";
const std::string kMissing = "No existe archivo XML o Soluci\xC3\xB3n.";
const std::string kFinished = "Proceso finalizado";

const char* const kTables[] = {"SOLUC", "GRUPOST",  "CURSOST",    "PROFT",
                               "AULAT", "ASIGNOMT", "DIASHORAST", "ASIGT"};

std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> folderEntries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Attributes groupLine(const std::string& plantilla, const importing::ClassLine& l) {
    auto u = [](const std::string& s) { return text::toUtf8(s); };
    return {{"plantilla", plantilla},
            {"dia_semana", u(l.dia_semana)},
            {"sesion_orden", l.sesion_orden},
            {"hora_desde", l.hora_desde},
            {"hora_hasta", l.hora_hasta},
            {"grupo", u(l.grupo)},
            {"ensenanza", u(l.ensenanza)},
            {"curso", u(l.curso)},
            {"contenido", u(l.contenido)},
            {"docente", u(l.docente)},
            {"aula", u(l.aula)},
            {"idioma", ""}};
}

Attributes dutyLine(const std::string& plantilla, const importing::DutyLine& l) {
    auto u = [](const std::string& s) { return text::toUtf8(s); };
    return {{"plantilla", plantilla},         {"dia_semana", u(l.dia_semana)},
            {"sesion_orden", l.sesion_orden}, {"hora_desde", l.hora_desde},
            {"hora_hasta", l.hora_hasta},     {"docente", u(l.docente)},
            {"ensenanza", u(l.ensenanza)},    {"ocupacion", u(l.ocupacion)}};
}

std::vector<Attributes> attributesOf(const XmlElement& section) {
    std::vector<Attributes> lines;
    for (const auto& c : section.children)
        lines.push_back(c.attributes);
    return lines;
}

class ImportRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(work);
        fs::create_directories(itacaDir);
        fs::copy_file(importData("centro.xml"), xml);
        writeWorkTables(folder);
        writeDayHourSlots(folder, "T1");
        copySoluc("soluc_cases.dbf", work);
        ui.file = xml;
    }

    RunOutcome runImport() { return importing::ImportRun(state, ui, folder).run(); }

    // Every table of the run can be opened again: nothing is left holding one.
    void expectTablesReleased() {
        for (const char* name : kTables) {
            if (!folder.exists(std::string(name) + ".DBF"))
                continue;
            EXPECT_NO_THROW(Table::open(folder, name)) << name;
        }
    }

    TempDir dir;
    fs::path work = dir / "HTEMP";
    fs::path itacaDir = dir / "itaca";
    fs::path xml = itacaDir / "horario.xml";
    fs::path result = itacaDir / "ResultadoHorvexhorario.xml";
    WorkFolder folder{work};
    run::RunState state;
    ScriptedInteraction ui;
};

TEST_F(ImportRunTest, CompletedRunWritesEveryTranslatedRecordInSolucOrder) {
    std::string proposed;
    ui.chooser = [&](itaca::TemplateChooser& c) {
        proposed = c.templateText();
        // The chooser holds DIASHORAST until it is done.
        EXPECT_THROW(Table::open(folder, "DIASHORAST"), Error);
    };
    const std::time_t before = std::time(nullptr);
    EXPECT_EQ(runImport(), RunOutcome::Completed);
    const std::time_t after = std::time(nullptr);

    EXPECT_EQ(ui.messages, (std::vector<std::string>{kReminder, kFinished}));
    EXPECT_EQ(ui.chooserShown, 1);
    EXPECT_TRUE(ui.chooserErrors.empty());
    EXPECT_EQ(proposed, "T1") << "the template recorded in DIASHORAST is proposed";
    EXPECT_EQ(state.templateCode, "T1");
    EXPECT_EQ(state.periodList.size(), 3u);
    EXPECT_EQ(state.transferResult, 1);
    EXPECT_EQ(ui.busyDepth, 0);
    expectTablesReleased();

    std::vector<Attributes> groups, duties;
    for (const SolutionCase& c : solutionCases()) {
        if (c.classLine)
            groups.push_back(groupLine("T1", *c.classLine));
        if (c.dutyLine)
            duties.push_back(dutyLine("T1", *c.dutyLine));
    }
    const XmlFile f = readXmlFile(result);
    ASSERT_EQ(f.root.children.size(), 2u);
    EXPECT_EQ(f.root.children[0].name, "horarios_grupo");
    EXPECT_EQ(f.root.children[1].name, "horarios_ocupaciones");
    for (const auto& g : f.root.children[0].children)
        EXPECT_EQ(g.name, "horario_grupo");
    for (const auto& d : f.root.children[1].children)
        EXPECT_EQ(d.name, "horario_ocupacion");
    EXPECT_EQ(attributesOf(f.root.children[0]), groups);
    EXPECT_EQ(attributesOf(f.root.children[1]), duties);

    // The root: identity copied and trimmed, a new time stamp, nothing else.
    EXPECT_EQ(names(f.root.attributes), (std::vector<std::string>{"codigo", "denominacion", "curso",
                                                                  "fecha_exportacion", "version"}));
    EXPECT_EQ(value(f.root.attributes, "codigo"), "46000001");
    const std::string stamp = value(f.root.attributes, "fecha_exportacion");
    EXPECT_NE(stamp, "01/01/2020 00:00:00");
    // The local date and time of the run, in the system's text for them.
    bool stampOfTheRun = false;
    for (std::time_t t = before; t <= after && !stampOfTheRun; ++t)
        stampOfTheRun = stamp == platform::localDateTimeText(platform::localTime(t));
    EXPECT_TRUE(stampOfTheRun) << stamp;

    // DIASHORAST was rebuilt for the template chosen in this run.
    Table slots = Table::open(folder, "DIASHORAST");
    EXPECT_EQ(slots.recordCount(), 21u);
}

TEST_F(ImportRunTest, AnObserverIsToldWhyRecordsGiveNoLineOrEmptyValues) {
    ASSERT_EQ(runImport(), RunOutcome::Completed);
    const std::string withoutObserver = readBytes(result);
    const std::string slotsWithoutObserver = readBytes(work / "DIASHORAST.DBF");

    run::RunReport report;
    state.observer = &report;
    ASSERT_EQ(runImport(), RunOutcome::Completed);

    // Class walk first, then the duty walk, each in record order.
    const std::vector<std::pair<int, std::string>> expected{
        {3, "no_colocado"},
        {4, "no_colocado"},
        {5, "no_colocado"},
        {6, "no_colocado"},
        {8, "dia_fuera"},
        {9, "dia_fuera"},
        {10, "docente_no_encontrado"},
        {12, "aula_no_encontrada"},
        {13, "aula_no_encontrada"},
        {14, "grupo_no_encontrado"},
        {15, "grupo_no_encontrado"},
        {16, "contenido_no_encontrado"},
        {17, "docente_no_encontrado"},
        {19, "sesion_no_encontrada"},
        {20, "sesion_no_encontrada"},
        {32, "contenido_no_encontrado"},
        {7, "no_colocado"},
        {11, "docente_no_encontrado"},
        {18, "ocupacion_no_encontrada"},
        {29, "ocupacion_no_encontrada"},
        {30, "sesion_no_encontrada"},
    };
    std::vector<std::pair<int, std::string>> got;
    for (const auto& e : report.events()) {
        if (e.step != "Importar")
            continue;
        EXPECT_EQ(e.location.rfind("SOLUC registro ", 0), 0u) << e.location;
        got.emplace_back(std::stoi(e.location.substr(15)), e.kind);
        EXPECT_FALSE(e.message.empty());
    }
    EXPECT_EQ(got, expected);

    // The result is the same with or without an observer (but for the time stamp).
    auto withoutStamp = [](std::string xmlText) {
        const auto at = xmlText.find("fecha_exportacion=\"");
        return xmlText.erase(at, xmlText.find('"', at + 19) - at);
    };
    EXPECT_EQ(withoutStamp(readBytes(result)), withoutStamp(withoutObserver));
    EXPECT_EQ(readBytes(work / "DIASHORAST.DBF"), slotsWithoutObserver);
}

// The texts the report shows: the record, what happened and why.
TEST_F(ImportRunTest, TheObserverIsToldWhatHappenedToARecordAndWhy) {
    run::RunReport report;
    state.observer = &report;
    ASSERT_EQ(runImport(), RunOutcome::Completed);
    std::map<std::string, std::string> firstOfKind; // kind -> "location: message"
    for (const auto& e : report.events())
        firstOfKind.try_emplace(e.kind, e.line());
    const std::map<std::string, std::string> expected{
        {"no_colocado", "SOLUC registro 3: se descarta, no está colocado (DIA 0, HORA 1)"},
        {"dia_fuera", "SOLUC registro 8: el DIA 8 no es un día de 1 a 7; dia_semana queda vacío"},
        {"docente_no_encontrado",
         "SOLUC registro 10: el profesor XXX no está en PROFT; docente queda vacío"},
        {"aula_no_encontrada",
         "SOLUC registro 12: el aula A999 no está en AULAT; aula queda vacía"},
        {"grupo_no_encontrado",
         "SOLUC registro 14: se descarta, el grupo 3ESOZ no está en GRUPOST"},
        {"contenido_no_encontrado",
         "SOLUC registro 16: se descarta, el contenido mat no está en ASIGNOMT"},
        {"sesion_no_encontrada",
         "SOLUC registro 19: se descarta, la sesión 4 no está en la plantilla"},
        {"ocupacion_no_encontrada",
         "SOLUC registro 18: se descarta, la ocupación gua no está en ASIGNOMT"},
    };
    EXPECT_EQ(firstOfKind, expected);
    for (const auto& e : report.events())
        EXPECT_EQ(e.step, "Importar");

    // A duty record needs its teacher: the same lookup drops it.
    std::vector<std::string> dutyTeacher;
    for (const auto& e : report.events())
        if (e.location == "SOLUC registro 11")
            dutyTeacher.push_back(e.message);
    EXPECT_EQ(dutyTeacher,
              std::vector<std::string>{"se descarta, el profesor XXX no está en PROFT"});

    // The report as pelmira-cli and the window show it: grouped, with a count per kind.
    const std::string text = run::formatReport(report.events(), "Informe");
    EXPECT_NE(text.find("\nImportar (21 avisos)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  Registros no colocados (DIA u HORA 0), que se descartan "
                        "[no_colocado]: 5\n    SOLUC registro 3: "),
              std::string::npos)
        << text;
}

TEST_F(ImportRunTest, AnObserverIsToldOfATemplateWithoutPeriods) {
    run::RunReport report;
    state.observer = &report;
    ui.chooser = [](itaca::TemplateChooser& c) { c.setTemplateText("NINGUNA"); };
    ASSERT_EQ(runImport(), RunOutcome::Completed);
    EXPECT_EQ(report.count("plantilla_sin_sesiones"), 1u);
    EXPECT_EQ(report.events().front().line(),
              "plantilla NINGUNA: no tiene sesiones de lunes; DIASHORAST queda vacía y ningún "
              "registro da línea");
    // Every record that gets as far as its period is dropped there: the 17 that give a line with
    // T1 and the 3 that T1 drops there too (records 19, 20 and 30).
    EXPECT_EQ(report.count("sesion_no_encontrada"), 20u);
    const XmlFile f = readXmlFile(result);
    EXPECT_TRUE(f.root.children.at(0).children.empty());
    EXPECT_TRUE(f.root.children.at(1).children.empty());
}

TEST_F(ImportRunTest, TheTemplateChosenInTheChooserDecidesThePeriods) {
    ui.chooser = [](itaca::TemplateChooser& c) { c.setTemplateText("T2"); };
    EXPECT_EQ(runImport(), RunOutcome::Completed);
    EXPECT_EQ(state.templateCode, "T2");

    // T2 has a single period: only the records of slot 1 give lines, with T2's times.
    std::vector<Attributes> groups, duties;
    for (const SolutionCase& c : solutionCases()) {
        if (c.classLine && c.classLine->hora_desde == "08:00") {
            auto l = *c.classLine;
            l.hora_desde = "15:00";
            l.hora_hasta = "15:55";
            groups.push_back(groupLine("T2", l));
        }
        if (c.dutyLine && c.dutyLine->hora_desde == "08:00") {
            auto l = *c.dutyLine;
            l.hora_desde = "15:00";
            l.hora_hasta = "15:55";
            duties.push_back(dutyLine("T2", l));
        }
    }
    ASSERT_FALSE(groups.empty());
    const XmlFile f = readXmlFile(result);
    EXPECT_EQ(attributesOf(f.root.children.at(0)), groups);
    EXPECT_EQ(attributesOf(f.root.children.at(1)), duties);

    Table slots = Table::open(folder, "DIASHORAST");
    EXPECT_EQ(slots.recordCount(), 7u);
    ASSERT_TRUE(slots.first());
    EXPECT_EQ(slots.text("PLANTILLA"), "T2");
}

TEST_F(ImportRunTest, TheMainWindowsLanguageNamesTheDays) {
    const std::pair<std::string, std::string> cases[] = {
        {std::string(text::kValencian), "Dilluns"},
        {std::string(text::kCastilian), "Lunes"},
        {"castellano", "Dilluns"},
    };
    for (const auto& [language, monday] : cases) {
        SCOPED_TRACE(language);
        state.language = language;
        fs::remove(result);
        EXPECT_EQ(runImport(), RunOutcome::Completed);
        EXPECT_EQ(state.language, language) << "the chooser's selector is not taken back";
        Table slots = Table::open(folder, "DIASHORAST");
        ASSERT_TRUE(slots.first());
        EXPECT_EQ(slots.text("TEXTODIA"), monday);
    }
}

TEST_F(ImportRunTest, MissingInputs) {
    struct Case {
        const char* what;
        bool xmlPresent;
        bool solucPresent;
        bool dialogCancelled;
        bool embedded;
    };
    const Case cases[] = {
        {"no XML file", false, true, false, false},
        {"no SOLUC.DBF", true, false, false, false},
        {"neither", false, false, false, false},
        {"dialog cancelled, nothing chosen before", true, true, true, false},
        {"no XML file, embedded", false, true, false, true},
        {"no SOLUC.DBF, embedded", true, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir d;
        fs::create_directories(d / "HTEMP");
        WorkFolder f(d / "HTEMP");
        writeWorkTables(f);
        writeDayHourSlots(f);
        if (c.solucPresent)
            copySoluc("soluc_cases.dbf", d / "HTEMP");
        if (c.xmlPresent)
            fs::copy_file(importData("centro.xml"), d / "horario.xml");
        const std::string slotsBefore = readBytes(d / "HTEMP" / "DIASHORAST.DBF");

        run::RunState s;
        s.embedded = c.embedded;
        ScriptedInteraction u;
        if (!c.dialogCancelled)
            u.file = d / "horario.xml";
        EXPECT_EQ(importing::ImportRun(s, u, f).run(), RunOutcome::InputMissing);
        EXPECT_EQ(u.messages, (std::vector<std::string>{kReminder, kMissing}));
        EXPECT_EQ(u.chooserShown, 0);
        EXPECT_EQ(s.transferResult, c.embedded ? -1 : 0);
        EXPECT_FALSE(fs::exists(d / "ResultadoHorvexhorario.xml"));
        EXPECT_EQ(readBytes(d / "HTEMP" / "DIASHORAST.DBF"), slotsBefore);
    }
}

TEST_F(ImportRunTest, SolucIsFoundWhateverTheLetterCaseOfItsName) {
    fs::remove(work / "SOLUC.DBF");
    copySoluc("soluc_cases.dbf", work, "soluc.dbf");
    EXPECT_EQ(runImport(), RunOutcome::Completed);
    EXPECT_TRUE(fs::exists(result));
}

TEST_F(ImportRunTest, CancelledDialogKeepsTheFileOfAnEarlierAttempt) {
    state.xmlFileName = xml;
    ui.file.reset();
    EXPECT_EQ(runImport(), RunOutcome::Completed);
    EXPECT_TRUE(fs::exists(result));
}

TEST_F(ImportRunTest, InputThatIsNoCentreDocumentStopsBeforeAnythingChanges) {
    const std::pair<const char*, std::string> cases[] = {
        {"not XML", "esto no es XML\n"},
        {"truncated", "<?xml version=\"1.0\"?>\n<centro codigo=\"1\" denominacion=\"x\""},
        {"empty file", ""},
        {"root is not centro", "<?xml version=\"1.0\"?>\n<escuela codigo=\"1\"/>\n"},
    };
    for (const auto& [what, content] : cases) {
        SCOPED_TRACE(what);
        { std::ofstream(xml, std::ios::binary | std::ios::trunc) << content; }
        const std::string slotsBefore = readBytes(work / "DIASHORAST.DBF");
        ScriptedInteraction u;
        u.file = xml;
        run::RunState s;
        s.embedded = true;
        try {
            importing::ImportRun(s, u, folder).run();
            ADD_FAILURE() << "no error";
        } catch (const itaca::LoadError& e) {
            EXPECT_NE(std::string(e.what()).find("horario.xml"), std::string::npos) << e.what();
        }
        EXPECT_EQ(u.messages, (std::vector<std::string>{kReminder}));
        EXPECT_EQ(u.chooserShown, 0);
        EXPECT_EQ(s.transferResult, 0);
        EXPECT_EQ(readBytes(work / "DIASHORAST.DBF"), slotsBefore);
        EXPECT_FALSE(fs::exists(result));
        expectTablesReleased();
    }
}

TEST_F(ImportRunTest, MissingCursostEndsTheRunWithoutAResult) {
    fs::remove(work / "CURSOST.DBF");
    state.embedded = true;
    EXPECT_THROW(runImport(), Error);
    EXPECT_FALSE(fs::exists(result));
    EXPECT_EQ(state.transferResult, 0);
    EXPECT_EQ(ui.messages, (std::vector<std::string>{kReminder}));
    EXPECT_EQ(ui.busyDepth, 0);
    expectTablesReleased();
}

TEST_F(ImportRunTest, SolucLackingAFieldEndsTheRunWithoutAResult) {
    copySoluc("soluc_no_aula.dbf", work);
    EXPECT_THROW(runImport(), Error);
    EXPECT_FALSE(fs::exists(result));
    EXPECT_EQ(state.transferResult, 0);
    expectTablesReleased();
}

TEST_F(ImportRunTest, InputRootLackingAnAttributeEndsTheRunWithoutAResult) {
    std::ofstream(xml, std::ios::binary | std::ios::trunc)
        << "<?xml version=\"1.0\"?>\n<centro codigo=\"1\" denominacion=\"x\" curso=\"2\"/>\n";
    EXPECT_THROW(runImport(), Error);
    EXPECT_FALSE(fs::exists(result));
    EXPECT_EQ(state.transferResult, 0);
    expectTablesReleased();
}

TEST_F(ImportRunTest, EmptySolucGivesTwoEmptySections) {
    copySoluc("soluc_empty.dbf", work);
    EXPECT_EQ(runImport(), RunOutcome::Completed);
    const XmlFile f = readXmlFile(result);
    ASSERT_EQ(f.root.children.size(), 2u);
    EXPECT_EQ(f.root.children[0].name, "horarios_grupo");
    EXPECT_EQ(f.root.children[1].name, "horarios_ocupaciones");
    EXPECT_TRUE(f.root.children[0].children.empty());
    EXPECT_TRUE(f.root.children[1].children.empty());
}

TEST_F(ImportRunTest, DayHourTableMissingAtTheStart) {
    // The chooser cannot propose a template and shows the engine's error; with no template
    // typed the period list is empty, DIASHORAST is rebuilt without rows and no line is found.
    fs::remove(work / "DIASHORAST.DBF");
    EXPECT_EQ(runImport(), RunOutcome::Completed);
    EXPECT_EQ(ui.chooserErrors.size(), 1u);
    EXPECT_EQ(state.templateCode, "");
    const XmlFile f = readXmlFile(result);
    EXPECT_TRUE(f.root.children.at(0).children.empty());
    EXPECT_TRUE(f.root.children.at(1).children.empty());
    Table slots = Table::open(folder, "DIASHORAST");
    EXPECT_EQ(slots.recordCount(), 0u);
}

TEST_F(ImportRunTest, ReplacesAnEarlierResult) {
    std::ofstream(result, std::ios::binary) << "resultado anterior";
    EXPECT_EQ(runImport(), RunOutcome::Completed);
    EXPECT_EQ(readXmlFile(result).root.name, "centro");
}

TEST_F(ImportRunTest, FailedSaveLeavesNoResultAndNoTemporaryFile) {
    fs::create_directory(result);
    EXPECT_THROW(runImport(), Error);
    EXPECT_TRUE(fs::is_directory(result));
    EXPECT_TRUE(fs::is_empty(result));
    EXPECT_EQ(folderEntries(itacaDir),
              (std::vector<std::string>{"ResultadoHorvexhorario.xml", "horario.xml"}));
    EXPECT_EQ(state.transferResult, 0);
    EXPECT_EQ(ui.messages, (std::vector<std::string>{kReminder}));
    EXPECT_EQ(ui.busyDepth, 0);
    expectTablesReleased();
}

TEST_F(ImportRunTest, InputWithoutExtension) {
    const fs::path bare = itacaDir / "horario";
    fs::copy_file(xml, bare);
    ui.file = bare;
    EXPECT_EQ(runImport(), RunOutcome::Completed);
    EXPECT_TRUE(fs::is_regular_file(itacaDir / "ResultadoHorvexhorario"));
    EXPECT_FALSE(fs::exists(result));
}

TEST(ResultFileName, ResultadoHorvexBeforeTheFileNameInItsFolder) {
    const std::pair<fs::path, fs::path> cases[] = {
        {"/a/b/horario.xml", "/a/b/ResultadoHorvexhorario.xml"},
        {"horario.xml", "ResultadoHorvexhorario.xml"},
        {"/a/horario", "/a/ResultadoHorvexhorario"},
        {"/a/b.c/Centro 2026.XML", "/a/b.c/ResultadoHorvexCentro 2026.XML"},
        {"rel/dir/x.y.xml", "rel/dir/ResultadoHorvexx.y.xml"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(importing::resultFileName(in), out) << in;
}

} // namespace
} // namespace pelmira::testing
