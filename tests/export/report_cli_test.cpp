// pelmira-cli check and pelmira-cli export --report: the report on standard output, the real
// work tables left alone by check, its scratch folder removed, the tables of export the same
// with and without --report, and the report of a run that ends on an error.

#include "support/run_program.h"
#include "support/temp_dir.h"
#include "worktables/table.h"
#include "worktables/workfolder.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

const fs::path kCentre = fs::path(PELMIRA_EXPORT_DATA) / "report_centre.xml";

using Result = pelmira::testing::ProgramResult;
using pelmira::testing::slurp;

std::map<std::string, std::string> contents(const fs::path& dir) {
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::directory_iterator(dir))
        out[entry.path().filename().string()] = slurp(entry.path());
    return out;
}

// A folder for one test: the Wine prefix whose C:\HTEMP is the real work folder, a temporary
// folder (TMPDIR) and the captured output of pelmira-cli.
class ReportCli : public ::testing::Test {
protected:
    pelmira::testing::TempDir tmp;
    fs::path wine = tmp / "wine";
    fs::path realWork = wine / "drive_c" / "HTEMP";
    fs::path scratch = tmp / "tmp";

    void SetUp() override {
        fs::create_directories(realWork);
        fs::create_directories(scratch);
    }

    Result cli(std::vector<std::string> args) {
        args.insert(args.begin(), PELMIRA_CLI);
        return pelmira::testing::runProgram(
            std::move(args), tmp.path(),
            {{"WINEPREFIX", wine.string()}, {"TMPDIR", scratch.string()}});
    }
};

const std::vector<std::string> kAnswers = {
    "--template",       "P1", "--language",       "CASTELLANO",
    "--group-question", "no", "--prune-question", "si"};

std::vector<std::string> with(std::vector<std::string> head, const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST_F(ReportCli, CheckPrintsTheReportAndTouchesNoWorkTable) {
    std::ofstream(realWork / "ASIGT.DBF") << "not touched";
    const Result r = cli(with({"check", kCentre.string()}, kAnswers));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, IsEmpty());
    EXPECT_THAT(r.out, StartsWith("Informe de la comprobación (no se han tocado las tablas de "
                                  "trabajo)\n\nBuildSubjectNames (3 avisos)\n"));
    EXPECT_THAT(r.out, HasSubstr("  Líneas sin fila en ASIGT, que se descartan [sin_fila_base]: "
                                 "5\n    horario_grupo 5: se descarta, no hay fila en ASIGT para "
                                 "grupo 1A, curso C1, contenido NOEXIST (no hay ningún contenido "
                                 "NOEXIST del curso C1)\n"));
    EXPECT_THAT(r.out, HasSubstr("\nTotal: 36 avisos.\n"));
    // Neither the run's messages nor its questions: only the report.
    EXPECT_THAT(r.out, Not(HasSubstr("Proceso finalizado")));
    EXPECT_THAT(contents(realWork),
                ::testing::ElementsAre(::testing::Pair("ASIGT.DBF", "not touched")));
    EXPECT_TRUE(fs::is_empty(scratch)); // the scratch folder is gone
}

TEST_F(ReportCli, CheckOfAMissingFileSaysSoAndEndsWithStatus3) {
    const Result r = cli({"check", (tmp / "none.xml").string()});
    EXPECT_EQ(r.status, 3);
    EXPECT_THAT(r.err, HasSubstr("No existe archivo"));
    EXPECT_THAT(r.out, IsEmpty());
    EXPECT_TRUE(fs::is_empty(scratch));
}

TEST_F(ReportCli, CheckTakesNeitherAWorkFolderNorReport) {
    for (const char* option : {"--workdir", "--report"}) {
        const Result r = cli({"check", kCentre.string(), option, "x"});
        EXPECT_EQ(r.status, 2) << option;
        EXPECT_THAT(r.err, HasSubstr(std::string("pelmira-cli check: opción desconocida '") +
                                     option + "'"));
    }
}

TEST_F(ReportCli, ExportWithReportWritesTheSameTablesAndPrintsTheReportAfterTheRun) {
    const fs::path plain = tmp / "plain";
    const fs::path reported = tmp / "reported";
    fs::create_directories(plain);
    fs::create_directories(reported);
    const Result a = cli(with({"export", kCentre.string(), "--workdir", plain.string()}, kAnswers));
    const Result b = cli(
        with({"export", kCentre.string(), "--workdir", reported.string(), "--report"}, kAnswers));
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_TRUE(contents(plain) == contents(reported));
    EXPECT_EQ(contents(plain).size(), 7u);
    // The run's own output first, unchanged, then the report.
    EXPECT_THAT(b.out, StartsWith(a.out));
    EXPECT_THAT(b.out.substr(a.out.size()),
                StartsWith("Informe de la exportación\n\nBuildSubjectNames (3 avisos)\n"));
    EXPECT_THAT(b.out, HasSubstr("\nTotal: 36 avisos.\n"));
    EXPECT_THAT(a.out, Not(HasSubstr("Informe")));
}

TEST_F(ReportCli, ExportEndingOnAnErrorReportsWhatCameBeforeIt) {
    std::string xml = slurp(kCentre);
    const std::string line4 = "contenido=\"LEN\" docente=\"111\" aula=\"AULA9\"";
    ASSERT_NE(xml.find(line4), std::string::npos);
    xml.replace(xml.find(line4), line4.size(), "contenido=\"LEN\" docente=\"111\"");
    const fs::path file = tmp.write("roto.xml", xml);
    const fs::path work = tmp / "work";
    fs::create_directories(work);
    const Result r =
        cli(with({"export", file.string(), "--workdir", work.string(), "--report"}, kAnswers));
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("Falta el atributo 'aula'"));
    EXPECT_THAT(r.out, HasSubstr("Informe de la exportación\n"));
    EXPECT_THAT(r.out, HasSubstr("horario_grupo 3: el docente 555 no está en PROFT"));
    EXPECT_THAT(r.out, Not(HasSubstr("ApplyDutyTimetables")));
    EXPECT_THAT(r.out, Not(HasSubstr("Proceso finalizado")));

    // check says the same and leaves nothing behind.
    const Result c = cli(with({"check", file.string()}, kAnswers));
    EXPECT_EQ(c.status, 1);
    EXPECT_THAT(c.err, HasSubstr("Falta el atributo 'aula'"));
    EXPECT_THAT(c.out, HasSubstr("horario_grupo 3: el docente 555 no está en PROFT"));
    EXPECT_TRUE(fs::is_empty(scratch));
}

// SOLUC as Horvex leaves it, for the tables the export of the centre wrote: a placed class record
// that translates, one not placed, one whose slot the template does not have.
void writeSoluc(const fs::path& dir) {
    using pelmira::worktables::FieldType;
    auto t = pelmira::worktables::Table::rebuild(pelmira::worktables::WorkFolder(dir), "SOLUC",
                                                 {{"ASIG", FieldType::Text, 10},
                                                  {"TAREA", FieldType::Text, 10},
                                                  {"DIA", FieldType::Integer},
                                                  {"HORA", FieldType::Float},
                                                  {"CODGRUPO", FieldType::Text, 10},
                                                  {"PROF", FieldType::Text, 10},
                                                  {"AULA", FieldType::Text, 10}});
    const struct {
        int day;
        double slot;
    } records[] = {{1, 1}, {0, 1}, {2, 9}};
    for (const auto& r : records) {
        t.append();
        t.setText("ASIG", "MAT1");
        t.setText("TAREA", "*479");
        t.setInteger("DIA", r.day);
        t.setNumber("HORA", r.slot);
        t.setText("CODGRUPO", "1A");
        t.setText("PROF", "GLA");
        t.setText("AULA", "A01");
        t.post();
    }
    t.close();
}

std::string withoutStamp(std::string xml) {
    const auto at = xml.find("fecha_exportacion=\"");
    return at == std::string::npos ? xml : xml.erase(at, xml.find('"', at + 19) - at);
}

TEST_F(ReportCli, ImportWithReportWritesTheSameResultAndPrintsTheReportAfterTheRun) {
    const fs::path work = tmp / "work";
    fs::create_directories(work);
    const fs::path xml = tmp / "centro.xml";
    fs::copy_file(kCentre, xml);
    ASSERT_EQ(cli(with({"export", xml.string(), "--workdir", work.string()}, kAnswers)).status, 0);
    writeSoluc(work);
    const fs::path result = tmp / "ResultadoHorvexcentro.xml";
    const std::vector<std::string> import = {"import",      xml.string(), "--workdir",
                                             work.string(), "--template", "P1"};

    const Result a = cli(import);
    ASSERT_EQ(a.status, 0) << a.err;
    const std::string plain = slurp(result);
    const Result b = cli(with(import, {"--report"}));
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(withoutStamp(slurp(result)), withoutStamp(plain));
    EXPECT_NE(plain.find("<horario_grupo"), std::string::npos);

    EXPECT_THAT(b.out, StartsWith(a.out));
    EXPECT_EQ(b.out.substr(a.out.size()),
              "Informe de la importación\n"
              "\n"
              // DIASHORAST is rebuilt for the template, with its faulty period.
              "BuildDayHourSlots (1 aviso)\n"
              "  Sesiones que acaban antes de empezar [duracion_negativa]: 1\n"
              "    sesión 2 (2 de 10:00 a 09:30): MINUTOS -30, acaba antes de empezar\n"
              "\n"
              "Importar (2 avisos)\n"
              "  Registros no colocados (DIA u HORA 0), que se descartan [no_colocado]: 1\n"
              "    SOLUC registro 2: se descarta, no está colocado (DIA 0, HORA 1)\n"
              "  Sesiones que no están en la plantilla [sesion_no_encontrada]: 1\n"
              "    SOLUC registro 3: se descarta, la sesión 9 no está en la plantilla\n"
              "\n"
              "Total: 3 avisos.\n");

    // An import that ends on an error still prints its report.
    fs::remove(work / "CURSOST.DBF");
    const Result c = cli(with(import, {"--report"}));
    EXPECT_EQ(c.status, 1);
    EXPECT_THAT(c.err, Not(IsEmpty()));
    EXPECT_THAT(c.out, HasSubstr("Informe de la importación\n\nBuildDayHourSlots (1 aviso)\n"));
    EXPECT_THAT(c.out, HasSubstr("\nTotal: 1 aviso.\n"));
}

TEST_F(ReportCli, UsageNamesCheckAndReport) {
    const Result r = cli({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.out, HasSubstr("pelmira-cli check XML"));
    EXPECT_THAT(r.out, HasSubstr("[--report]"));
}

} // namespace
