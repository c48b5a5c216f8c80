// pelmira-cli export on the sample school tests/data/escuela.xml: exit statuses, what is shown
// on stdout and stderr, and every row of every work table it leaves.

#include "support/run_program.h"
#include "support/temp_dir.h"
#include "text/text.h"
#include "worktables/table.h"
#include "worktables/workfolder.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace pelmira;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using worktables::Table;
using worktables::WorkFolder;

namespace {

const fs::path kSchool = fs::path(PELMIRA_TEST_DATA) / "escuela.xml";

using Row = std::vector<std::string>;
using Rows = std::vector<Row>;

using Result = pelmira::testing::ProgramResult;
using pelmira::testing::slurp;

// Runs pelmira-cli with the arguments, stdout and stderr captured.
Result cli(const pelmira::testing::TempDir& tmp, std::vector<std::string> args) {
    args.insert(args.begin(), PELMIRA_CLI);
    return pelmira::testing::runProgram(std::move(args), tmp.path());
}

// Every live row of a table with every field, as UTF-8.
Rows dump(const WorkFolder& folder, std::string_view name) {
    Table t = Table::open(folder, name);
    Rows rows;
    for (bool ok = t.first(); ok; ok = t.next()) {
        Row r;
        for (const auto& f : t.fields())
            r.push_back(text::toUtf8(t.text(f.name)));
        rows.push_back(std::move(r));
    }
    return rows;
}

std::vector<std::string> files(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

std::size_t count(const std::string& haystack, const std::string& needle) {
    std::size_t n = 0;
    for (auto p = haystack.find(needle); p != std::string::npos; p = haystack.find(needle, p + 1))
        ++n;
    return n;
}

class ExportCli : public ::testing::Test {
protected:
    pelmira::testing::TempDir tmp;
    fs::path work = tmp / "HTEMP";
    WorkFolder folder{work};
    void SetUp() override { fs::create_directories(work); }
    Result exportSchool(std::vector<std::string> options) {
        options.insert(options.begin(), {"export", kSchool.string(), "--workdir", work.string()});
        return cli(tmp, options);
    }
};

// The tables that do not depend on the answers or on the language.
const Rows kRooms = {
    {"A101", "Aula 1.01", "", "", "", "A101"},
    {"A102", "Aula 1.02", "", "", "", "A102"},
    {"A1011", "Aula 1.01 (desdoble)", "", "", "", "A101"},
    {"LABORATO1", "Laboratorio de Física y Química", "", "", "", "LABORATORI"},
    {"LABORATO2", "Laboratorio de Biología", "", "", "", "LABORATORI"},
    {"Gimn", "Gimnasio", "", "", "", ""},
    {"a1012", "Aula de Música", "", "", "", "a101"},
    {"INF", "Informàtica", "", "", "", "INF"},
};

const Rows kTeachers = {
    {"GLA", "García López, Ana", "", "11111111A", "", "01/09/2005", "3012"},
    {"GLA1", "Gómez Lara, Antonio", "", "22222222B", "", "01/09/2010", "3012"},
    {"MFV", "Martí Ferrer, Vicent", "", "33333333C", "", "15/09/1998", "3017"},
    {"PJ", "Pérez , Júlia", "", "44444444D", "", "2019-09-01", "3012"},
    {"gla2", "gil lloret, amparo", "", "55555555E", "", "01/10/2012", "3017"},
    {"ÀSÒ", "Àlvarez Sanchis, Òscar", "", "X1234567Z", "", "01/09/2021", "30400"},
    {"RNE", "Ribes Navarro, Encarnación", "", "66666666F", "", "01/09/2001", "3012"},
    {"SCP", "Soler Climent, Pau", "", "77777777777777", "", "01/09/2023", "3017"},
    {"VPR", "Vidal Peris, Rosa", "", "88888888H", "", "01/09/2015", "3012"},
};

Rows courses(const std::string& shift) {
    return {
        {"1ES", shift, "ESO", "1", "3012001", "1ESO"},
        {"2ES", shift, "ESO", "2", "3012002", "2ESO"},
        {"1BA", shift, "BAT", "1", "3017001", "1BAT"},
        {"1FP", shift, "FPBAS", "1", "3040001", "1FPB Informàtica"},
        {"PMA", shift, "", "P", "3012099", "PMAR"},
    };
}

const Rows kGroups = {
    {"1ESOA", "M", "ESO", "1", "A", "1ESOA", "3012001", "1º ESO A", "3012", "GLA"},
    {"1ESOB", "M", "ESO", "1", "B", "1ESOB", "3012001", "1º ESO B", "3012", "PJ"},
    {"2ESOA", "M", "ESO", "2", "A", "2ESOA", "3012002", "2º ESO A", "3012", ""},
    {"1BATA", "V", "BAT", "1", "A", "1BATA", "3017001", "1º Bachillerato A", "3017", "MFV"},
    {"1esoa1", "M", "ESO", "1", "a", "1esoa", "", "1º ESO A (desdoble)", "3012", ""},
    {"1FPBINFOCA", "V", "FPBAS", "1", "A", "1FPBINFORM", "3040001", "1º FP Básica Informática",
     "3040", "ÀSÒ"},
};

// A base class row: no teacher, no room, 4 periods.
Row base(const std::string& subject, const Row& group, const std::string& course,
         const std::string& itaca) {
    return {subject,  "",  group[0], "",       group[1], group[2], group[3],
            group[4], "4", "1111",   group[5], course,   "*479",   itaca};
}

Row duty(const std::string& code, const std::string& teacher, const std::string& hours,
         const std::string& sessions, const std::string& itaca) {
    return {code, teacher, "", "", "", "", "", "", hours, sessions, "", "", code, itaca};
}

Rows daySlots(const std::vector<std::vector<std::string>>& periods, const std::string& code,
              const std::vector<std::string>& days) {
    Rows out;
    for (std::size_t k = 0; k < periods.size(); ++k)
        for (int d = 1; d <= 7; ++d)
            out.push_back({std::to_string(d) + std::to_string(k + 1), "", std::to_string(d),
                           days[d - 1], std::to_string(k + 1), periods[k][0], periods[k][1],
                           periods[k][2], periods[k][3], periods[k][0], code});
    return out;
}

const std::vector<std::vector<std::string>> kMorning = {
    {"1", "08:00", "08:55", "55"}, {"2", "08:55", "09:50", "55"}, {"3", "09:50", "10:45", "55"},
    {"4", "11:15", "12:10", "55"}, {"5", "12:10", "13:05", "55"}, {"6", "13:05", "14:00", "55"},
};

TEST_F(ExportCli, AllTemplatesInValencian) {
    const Result r = exportSchool({});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // One question (all templates?), answered Si; no pruning question; the closing message.
    EXPECT_EQ(count(r.out, "!!! I M P O R T A N T E !!!"), 1u);
    EXPECT_THAT(r.out, HasSubstr("Se han encontrado Datos que pueden pertenecer a varias "
                                 "Plantillas Horarias."));
    EXPECT_THAT(r.out, HasSubstr("\nRespuesta: Si\n"));
    EXPECT_TRUE(r.out.ends_with("Respuesta: Si\nProceso finalizado\n")) << r.out;

    EXPECT_THAT(files(work), ElementsAre("ASIGNOMT.DBF", "ASIGT.DBF", "AULAT.DBF", "CURSOST.DBF",
                                         "DIASHORAST.DBF", "GRUPOST.DBF", "PROFT.DBF"));
    EXPECT_EQ(dump(folder, "ASIGNOMT"),
              (Rows{
                  {"MAT1", "Matemàtiqu", "Matemàtiques", "", "", "F", "MAT1"},
                  {"VAL1", "Valencià:", "Valencià: Llengua i Literatura", "", "", "F", "VAL1"},
                  {"CAS1", "Llengua Ca", "Llengua Castellana i Literatura", "", "", "F", "CAS1"},
                  {"EF1", "Educació F", "Educació Física", "", "", "F", "EF1"},
                  {"MUS1", "Música", "Música", "", "", "F", "MUS1"},
                  {"MAT2", "Matemàtiqu", "Matemàtiques II", "", "", "F", "MAT2"},
                  {"FQ2", "Física i Q", "Física i Química", "", "", "F", "FQ2"},
                  {"MUS2", "MÚSICA", "MÚSICA", "", "", "F", "MUS2"},
                  {"FILOSOFI01", "Filosofia", "Filosofia", "", "", "F", "FILOSOFIA0"},
                  {"FILOSOFIA0", "Filosofia", "Filosofia", "", "", "F", "FILOSOFIA0"},
                  {"HISTORIAUN", "Història d", "Història del Món Contemporani", "", "", "F",
                   "HISTORIAMU"},
                  {"MONT", "Muntatge i", "Muntatge i Manteniment de Sistemes", "", "", "F", "MONT"},
                  {"*345", "Guàrdia", "Guàrdia", "", "12345", "T", "12345"},
                  {"*34A", "Guàrdia", "Guàrdia de pati", "", "99345", "T", "99345"},
                  {"*7", "Tutoria", "Tutoria", "", "7", "T", "7"},
                  {"*34B", "Reunió d", "Reunió de departament", "", "55345", "T", "55345"},
              }));
    EXPECT_EQ(dump(folder, "PROFT"), kTeachers);
    EXPECT_EQ(dump(folder, "AULAT"), kRooms);
    EXPECT_EQ(dump(folder, "CURSOST"), courses("M"));
    EXPECT_EQ(dump(folder, "GRUPOST"), kGroups);

    const Row& g1A = kGroups[0];
    const Row& g1B = kGroups[1];
    const Row& g2A = kGroups[2];
    const Row& gBat = kGroups[3];
    const Row& gFp = kGroups[5];
    EXPECT_EQ(dump(folder, "ASIGT"),
              (Rows{
                  base("MAT1", g1A, "3012001", "MAT1"),
                  base("MAT1", g1B, "3012001", "MAT1"),
                  base("VAL1", g1A, "3012001", "VAL1"),
                  base("VAL1", g1B, "3012001", "VAL1"),
                  base("CAS1", g1A, "3012001", "CAS1"),
                  base("CAS1", g1B, "3012001", "CAS1"),
                  base("EF1", g1A, "3012001", "EF1"),
                  base("EF1", g1B, "3012001", "EF1"),
                  base("MUS1", g1A, "3012001", "MUS1"),
                  base("MUS1", g1B, "3012001", "MUS1"),
                  base("MAT2", g2A, "3012002", "MAT2"),
                  base("MAT1", g2A, "3012002", "MAT1"),
                  base("FQ2", g2A, "3012002", "FQ2"),
                  base("MUS2", g2A, "3012002", "MUS2"),
                  // Codes longer than ASIG_ITACA holds are found by their name.
                  base("FILOSOFI01", gBat, "3017001", "FILOSOFIA0"),
                  base("FILOSOFI01", gBat, "3017001", "FILOSOFIA0"),
                  base("HISTORIAUN", gBat, "3017001", "HISTORIAMU"),
                  base("MONT", gFp, "3040001", "MONT"),
                  // Duty lines of every template.
                  duty("*345", "GLA", "3", "111", "12345"),
                  duty("*34A", "GLA1", "2", "11", "99345"),
                  duty("*7", "GLA", "1", "1", "7"),
                  duty("*7", "VPR", "1", "1", "7"),
                  duty("*34B", "MFV", "2", "11", "55345"),
                  // A duty dropped from ASIGNOMT for its repeated name keeps a blank code.
                  duty("", "RNE", "1", "1", "4567"),
              }));
    EXPECT_EQ(dump(folder, "DIASHORAST"), daySlots(kMorning, "PMATI",
                                                   {"Dilluns", "Dimarts", "Dimecres", "Dijous",
                                                    "Divendres", "Dissabte", "Diumenge"}));
}

TEST_F(ExportCli, ChosenTemplateOnlyInCastilianWithPruning) {
    const Result r = exportSchool({"--template", "PMATI", "--language", "CASTELLANO",
                                   "--group-question", "no", "--prune-question", "si"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(count(r.out, "!!! I M P O R T A N T E !!!"), 2u);
    const auto first = r.out.find("Respuesta: No");
    const auto second = r.out.find("Existen Grupos de Clase y Profesores");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    EXPECT_LT(first, second);
    EXPECT_TRUE(r.out.ends_with("Respuesta: Si\nProceso finalizado\n")) << r.out;

    EXPECT_EQ(dump(folder, "ASIGNOMT"),
              (Rows{
                  {"MAT1", "Matemática", "Matemáticas", "", "", "F", "MAT1"},
                  {"VAL1", "Valenciano", "Valenciano: Lengua y Literatura", "", "", "F", "VAL1"},
                  {"CAS1", "Lengua Cas", "Lengua Castellana y Literatura", "", "", "F", "CAS1"},
                  {"EF1", "Educación", "Educación Física", "", "", "F", "EF1"},
                  {"MUS1", "Música", "Música", "", "", "F", "MUS1"},
                  {"MAT2", "Matemática", "Matemáticas II", "", "", "F", "MAT2"},
                  {"FQ2", "Física y Q", "Física y Química", "", "", "F", "FQ2"},
                  {"MUS2", "MÚSICA", "MÚSICA", "", "", "F", "MUS2"},
                  {"FILOSOFI01", "Filosofía", "Filosofía", "", "", "F", "FILOSOFIA0"},
                  {"FILOSOFIA0", "Filosofía", "Filosofía", "", "", "F", "FILOSOFIA0"},
                  {"HISTORIAUN", "Historia d", "Historia del Mundo Contemporáneo", "", "", "F",
                   "HISTORIAMU"},
                  {"MONT", "Montaje y", "Montaje y Mantenimiento de Sistemas", "", "", "F", "MONT"},
                  {"*345", "Guardia", "Guardia", "", "12345", "T", "12345"},
                  {"*34A", "Guardia", "Guardia de patio", "", "99345", "T", "99345"},
                  {"*7", "Tutoría", "Tutoría", "", "7", "T", "7"},
                  {"*34B", "Reunión", "Reunión de departamento", "", "55345", "T", "55345"},
              }));
    EXPECT_EQ(dump(folder, "AULAT"), kRooms);
    EXPECT_EQ(dump(folder, "CURSOST"), courses("M"));
    // Groups and teachers without classes in the morning template are gone.
    EXPECT_EQ(dump(folder, "GRUPOST"), (Rows{kGroups[0], kGroups[1], kGroups[2]}));
    EXPECT_EQ(dump(folder, "PROFT"), (Rows{kTeachers[0], kTeachers[1], kTeachers[3], kTeachers[4],
                                           kTeachers[6], kTeachers[8]}));

    auto fitted = [](Row row, const std::string& teacher, const std::string& room,
                     const std::string& hours, const std::string& sessions) {
        row[1] = teacher;
        row[3] = room;
        row[8] = hours;
        row[9] = sessions;
        return row;
    };
    const Row& g1A = kGroups[0];
    const Row& g1B = kGroups[1];
    const Row& g2A = kGroups[2];
    EXPECT_EQ(dump(folder, "ASIGT"),
              (Rows{
                  fitted(base("MAT1", g1A, "3012001", "MAT1"), "GLA", "A101", "4", "1111"),
                  fitted(base("MAT1", g1B, "3012001", "MAT1"), "GLA", "A101", "2", "11"),
                  fitted(base("VAL1", g1A, "3012001", "VAL1"), "GLA1", "A102", "3", "111"),
                  // A line without a room finds the room without an ITACA code.
                  fitted(base("EF1", g1A, "3012001", "EF1"), "VPR", "Gimn", "2", "11"),
                  // Room codes compare case-sensitively.
                  fitted(base("MUS1", g1B, "3012001", "MUS1"), "RNE", "a1012", "2", "11"),
                  fitted(base("MAT2", g2A, "3012002", "MAT2"), "PJ", "A102", "2", "11"),
                  // LABORATORIO1 is longer than ABREV_ITACA holds: no room.
                  fitted(base("FQ2", g2A, "3012002", "FQ2"), "gla2", "", "3", "111"),
                  // A second teacher of 1ESOB's mathematics gets a row of its own.
                  fitted(base("MAT1", g1B, "3012001", "MAT1"), "RNE", "A101", "1", "1"),
                  duty("*345", "GLA", "3", "111", "12345"),
                  duty("*34A", "GLA1", "2", "11", "99345"),
                  duty("*7", "GLA", "1", "1", "7"),
                  duty("*7", "VPR", "1", "1", "7"),
                  duty("", "RNE", "1", "1", "4567"),
              }));
    EXPECT_EQ(dump(folder, "DIASHORAST"),
              daySlots(kMorning, "PMATI",
                       {"Lunes", "Martes", "Miércoles", "Jueves", "Viernes", "Sábado", "Domingo"}));
}

TEST_F(ExportCli, AfternoonTemplateLosesTheLinesOfLongCodes) {
    // 1BATA's subjects and 1FPBINFORMATICA have ITACA codes longer than ASIGT keeps: their
    // afternoon lines find no row, so only the afternoon duties remain.
    const Result r =
        exportSchool({"--template", "PVESP", "--group-question", "no", "--prune-question", "no"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.ends_with("Respuesta: No\nProceso finalizado\n")) << r.out;
    EXPECT_EQ(dump(folder, "ASIGT"), (Rows{duty("*34B", "MFV", "2", "11", "55345")}));
    EXPECT_EQ(dump(folder, "GRUPOST"), kGroups);
    EXPECT_EQ(dump(folder, "PROFT"), kTeachers);
    EXPECT_EQ(dump(folder, "CURSOST"), courses("V"));
    const Rows slots = dump(folder, "DIASHORAST");
    ASSERT_EQ(slots.size(), 28u);
    EXPECT_EQ(slots[27],
              (Row{"74", "", "7", "Diumenge", "4", "4", "18:05", "19:00", "55", "4", "PVESP"}));
}

TEST_F(ExportCli, TemplateWithTenPeriods) {
    const Result r = exportSchool({"--template", "PINTENSIVA", "--language", "CASTELLANO"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Rows slots = dump(folder, "DIASHORAST");
    ASSERT_EQ(slots.size(), 70u);
    // " 1".." 9" sort before "10".
    EXPECT_EQ(slots[63], (Row{"110", "", "1", "Lunes", "10", "10", "16:00", "16:50", "50", "10",
                              "PINTENSIVA"}));
    EXPECT_EQ(dump(folder, "CURSOST"), courses("I"));
}

TEST_F(ExportCli, MissingFile) {
    const Result r =
        cli(tmp, {"export", (tmp / "no-such.xml").string(), "--workdir", work.string()});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "No existe archivo\n");
    EXPECT_EQ(r.err, "");
    EXPECT_THAT(files(work), IsEmpty());
}

TEST_F(ExportCli, ErrorsEndTheRunOnStderr) {
    struct Case {
        std::string name;
        std::string content; // the XML file
        std::vector<std::string> inMessage;
        std::vector<std::string> tables; // left in the work folder
    };
    const std::vector<Case> cases = {
        {"not XML", "esto no es XML\n", {"centro.xml"}, {}},
        {"truncated", slurp(kSchool).substr(0, 4000), {"centro.xml"}, {}},
        {"missing attribute",
         "<centro><aulas><aula nombre=\"A\" codigo=\"A\"/><aula codigo=\"B\"/></aulas></centro>",
         {"'nombre'", "aula 2"},
         {"ASIGNOMT.DBF", "AULAT.DBF", "PROFT.DBF"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        pelmira::testing::TempDir t;
        fs::create_directories(t / "HTEMP");
        const fs::path xml = t.write("centro.xml", c.content);
        const Result r = cli(t, {"export", xml.string(), "--workdir", (t / "HTEMP").string()});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        for (const auto& s : c.inMessage)
            EXPECT_THAT(r.err, HasSubstr(s));
        EXPECT_EQ(files(t / "HTEMP"), c.tables);
    }
}

TEST_F(ExportCli, MissingWorkFolder) {
    const Result r =
        cli(tmp, {"export", kSchool.string(), "--workdir", (tmp / "nowhere").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err, "");
    EXPECT_FALSE(fs::exists(tmp / "nowhere"));
}

TEST_F(ExportCli, BadUsage) {
    const std::vector<std::vector<std::string>> cases = {
        {"export"},
        {"export", kSchool.string(), "--frobnicate", "x"},
        {"export", kSchool.string(), "--workdir"},
        {"export", kSchool.string(), "--group-question", "yes"},
        {"export", kSchool.string(), "--prune-question", "No"},
        {"export", kSchool.string(), kSchool.string()},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.back());
        auto full = args;
        full.insert(full.end(), {"--workdir", work.string()});
        if (args.back() == "--workdir")
            full = args;
        const Result r = cli(tmp, full);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_THAT(r.err, HasSubstr("Uso:"));
        EXPECT_THAT(files(work), IsEmpty());
    }
}

TEST_F(ExportCli, TemplateAndLanguageArgumentsAreUtf8) {
    // "VALENCIÁ" typed on a UTF-8 command line is the selector's own item.
    const Result r = exportSchool({"--language", "VALENCIÁ", "--template", "PMATI"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dump(folder, "ASIGNOMT")[0][2], "Matemàtiques");
    EXPECT_EQ(dump(folder, "DIASHORAST")[0][3], "Dilluns");
    // An unknown template: an empty period list and blank shift caption "-".
    const Result unknown = exportSchool({"--template", "NOEXISTE"});
    ASSERT_EQ(unknown.status, 0) << unknown.err;
    EXPECT_THAT(dump(folder, "DIASHORAST"), IsEmpty());
    EXPECT_EQ(dump(folder, "CURSOST")[0][1], "-");
}

} // namespace
