// The commands of pelmira-cli run in-process, with their output and error streams captured: the
// exit status and what each stream shows for every way of calling them, the language selector of
// --language, and the interaction a command is given.

#include "cli/commands.h"
#include "cli/parser.h"
#include "itaca/chooser.h"
#include "support/temp_dir.h"
#include "text/text.h"
#include "worktables/table.h"
#include "worktables/workfolder.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace pelmira::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

const fs::path kSchool = fs::path(PELMIRA_TEST_DATA) / "escuela.xml"; // three templates
const fs::path kWithoutTemplates = fs::path(PELMIRA_CLI_DATA) / "sin_plantillas.xml";
const fs::path kEmptySolution = fs::path(PELMIRA_IMPORT_DATA) / "soluc_empty.dbf";

struct Ran {
    int status = -1;
    std::string out;
    std::string err;
};

Ran runIn(const Args& args, InteractionFactory interaction = {}) {
    std::ostringstream out;
    std::ostringstream err;
    Environment env{out, err, std::move(interaction)};
    Ran r;
    r.status = runCli(args, env);
    r.out = out.str();
    r.err = err.str();
    return r;
}

std::vector<std::string> column(const worktables::WorkFolder& folder, std::string_view table,
                                std::string_view field) {
    auto t = worktables::Table::open(folder, table);
    std::vector<std::string> values;
    for (bool more = t.first(); more; more = t.next())
        values.push_back(text::toUtf8(t.text(field)));
    return values;
}

// A folder with the school's document, the work folder the runs are pointed at (filled by an
// export of the school, with an empty solution, when the case asks for it) and nothing else.
class Scene {
public:
    explicit Scene(bool exported) {
        fs::create_directories(work());
        fs::copy_file(kSchool, school());
        if (exported) {
            const Ran r = runIn({"export", school().string(), "--workdir", work().string()});
            EXPECT_EQ(r.status, 0) << r.err;
            fs::copy_file(kEmptySolution, work() / "SOLUC.DBF");
        }
    }
    fs::path school() const { return tmp_ / "escuela.xml"; }
    fs::path work() const { return tmp_ / "HTEMP"; }

    // The arguments with {school}, {work}, {table} and {nowhere} put in.
    Args expand(const Args& args) const {
        Args out;
        for (const std::string& a : args) {
            if (a == "{school}")
                out.push_back(school().string());
            else if (a == "{work}")
                out.push_back(work().string());
            else if (a == "{table}")
                out.push_back((work() / "PROFT.DBF").string());
            else if (a == "{nowhere}")
                out.push_back((tmp_ / "nowhere").string());
            else
                out.push_back(a);
        }
        return out;
    }

private:
    testing::TempDir tmp_;
};

// ---------------------------------------------------------------------------------------------
// Every way of calling pelmira-cli: the exit status and what each stream shows.

struct CallCase {
    const char* name;
    Args args; // see Scene::expand
    bool exported;
    int status;
    std::vector<std::string> inOut; // each must appear on the output stream
    std::vector<std::string> inErr; // each must appear on the error stream; none: it stays empty
};

void PrintTo(const CallCase& c, std::ostream* os) {
    *os << c.name;
}

class Calls : public ::testing::TestWithParam<CallCase> {};

TEST_P(Calls, StatusAndStreams) {
    const CallCase& c = GetParam();
    const Scene scene(c.exported);
    const Ran r = runIn(scene.expand(c.args));
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    for (const std::string& s : c.inOut)
        EXPECT_THAT(r.out, HasSubstr(s));
    if (c.inErr.empty()) {
        EXPECT_THAT(r.err, IsEmpty());
    }
    for (const std::string& s : c.inErr)
        EXPECT_THAT(r.err, HasSubstr(s));
    if (c.status == 2) {
        EXPECT_THAT(r.err, EndsWith(usage()));
    }
    // Refused arguments and a command's help run nothing.
    const bool help = r.out.rfind("Uso: ", 0) == 0;
    if ((c.status == 2 || help) && !c.exported) {
        EXPECT_TRUE(fs::is_empty(scene.work()));
    }
}

const std::string kUsageStart = "Uso:\n  pelmira-cli export XML [--workdir DIR]";

INSTANTIATE_TEST_SUITE_P(
    Cli, Calls,
    ::testing::Values(
        // The program without a command, its general help, a command that does not exist.
        CallCase{"NoCommand", {}, false, 2, {}, {kUsageStart}},
        CallCase{"GeneralHelp",
                 {"--help"},
                 false,
                 0,
                 {kUsageStart, "\nNo se encuentra la ayuda de la ventana ("},
                 {}},
        CallCase{"GeneralHelpShort", {"-h"}, false, 0, {kUsageStart}, {}},
        CallCase{"GeneralHelpWord", {"help"}, false, 0, {kUsageStart}, {}},
        CallCase{
            "UnknownCommand", {"frob"}, false, 2, {}, {"pelmira-cli: orden desconocida 'frob'\n"}},

        // Each command's help, wherever the option stands; nothing runs.
        CallCase{"ExportHelp", {"export", "--help"}, false, 0, {"Uso: pelmira-cli export XML"}, {}},
        CallCase{"ExportShortHelp", {"export", "-h"}, false, 0, {"  -h, --help "}, {}},
        CallCase{"ExportHelpAfterArguments",
                 {"export", "{school}", "--workdir", "{work}", "--help"},
                 false,
                 0,
                 {"  --workdir DIR "},
                 {}},
        CallCase{
            "ImportShortHelp", {"import", "-h"}, false, 0, {"Uso: pelmira-cli import XML"}, {}},
        CallCase{"CheckHelp", {"check", "--help"}, false, 0, {"  --prune-question si|no "}, {}},
        CallCase{"DumpHelp", {"dump", "--help"}, false, 0, {"Uso: pelmira-cli dump TABLA.DBF"}, {}},

        // The same refusals in every command.
        CallCase{"ExportUnknownOption",
                 {"export", "{school}", "--nada", "x"},
                 false,
                 2,
                 {},
                 {"pelmira-cli export: opción desconocida '--nada'\nUso:\n"}},
        CallCase{"ExportUnknownShortOption",
                 {"export", "-x", "--workdir", "{work}"},
                 false,
                 2,
                 {},
                 {"pelmira-cli export: opción desconocida '-x'\n"}},
        CallCase{"CheckUnknownOption",
                 {"check", "{school}", "--workdir", "{work}"},
                 false,
                 2,
                 {},
                 {"pelmira-cli check: opción desconocida '--workdir'\n"}},
        CallCase{"ImportUnknownOption",
                 {"import", "{school}", "--nada"},
                 false,
                 2,
                 {},
                 {"pelmira-cli import: opción desconocida '--nada'\n"}},
        CallCase{"DumpUnknownOption",
                 {"dump", "--xml", "a.dbf"},
                 false,
                 2,
                 {},
                 {"pelmira-cli dump: opción desconocida '--xml'\n"}},
        CallCase{"ExportRepeatedOption",
                 {"export", "{school}", "--workdir", "{work}", "--workdir", "{work}"},
                 false,
                 2,
                 {},
                 {"pelmira-cli export: la opción '--workdir' está repetida\n"}},
        CallCase{"ExportRepeatedFlag",
                 {"export", "{school}", "--workdir", "{work}", "--report", "--report"},
                 false,
                 2,
                 {},
                 {"pelmira-cli export: la opción '--report' está repetida\n"}},
        CallCase{"ImportRepeatedOption",
                 {"import", "{school}", "--workdir", "{work}", "--workdir", "{work}"},
                 true,
                 2,
                 {},
                 {"pelmira-cli import: la opción '--workdir' está repetida\n"}},
        CallCase{"CheckRepeatedOption",
                 {"check", "{school}", "--template", "A", "--template", "B"},
                 false,
                 2,
                 {},
                 {"pelmira-cli check: la opción '--template' está repetida\n"}},
        CallCase{"DumpRepeatedOption",
                 {"dump", "--csv", "--csv", "{table}"},
                 true,
                 2,
                 {},
                 {"pelmira-cli dump: la opción '--csv' está repetida\n"}},
        CallCase{"ExportMissingValue",
                 {"export", "{school}", "--workdir"},
                 false,
                 2,
                 {},
                 {"pelmira-cli export: falta el valor de la opción '--workdir'\n"}},
        CallCase{"ImportMissingValue",
                 {"import", "{school}", "--template"},
                 false,
                 2,
                 {},
                 {"pelmira-cli import: falta el valor de la opción '--template'\n"}},
        CallCase{"CheckMissingValue",
                 {"check", "{school}", "--language"},
                 false,
                 2,
                 {},
                 {"pelmira-cli check: falta el valor de la opción '--language'\n"}},
        CallCase{"ExportValueNotAllowed",
                 {"export", "{school}", "--workdir", "{work}", "--group-question", "yes"},
                 false,
                 2,
                 {},
                 {"pelmira-cli export: el valor de '--group-question' debe ser si o no, no "
                  "'yes'\n"}},
        CallCase{"CheckValueNotAllowed",
                 {"check", "{school}", "--prune-question", "No"},
                 false,
                 2,
                 {},
                 {"el valor de '--prune-question' debe ser si o no, no 'No'\n"}},
        CallCase{"ExportArgumentTooMany",
                 {"export", "{school}", "{school}", "--workdir", "{work}"},
                 false,
                 2,
                 {},
                 {"pelmira-cli export: sobra el argumento '"}},
        CallCase{"DumpArgumentTooMany",
                 {"dump", "a.dbf", "b.dbf"},
                 false,
                 2,
                 {},
                 {"pelmira-cli dump: sobra el argumento 'b.dbf'\n"}},
        CallCase{"ExportWithoutFile",
                 {"export", "--workdir", "{work}"},
                 false,
                 2,
                 {},
                 {"pelmira-cli export: falta el archivo XML\n"}},
        CallCase{"CheckWithoutFile",
                 {"check"},
                 false,
                 2,
                 {},
                 {"pelmira-cli check: falta el archivo XML\n"}},
        CallCase{"ImportWithoutFile",
                 {"import"},
                 false,
                 2,
                 {},
                 {"pelmira-cli import: falta el archivo XML\n"}},
        CallCase{"DumpWithoutTable",
                 {"dump", "--csv"},
                 false,
                 2,
                 {},
                 {"pelmira-cli dump: indique una tabla .DBF\n"}},

        // After "--" every argument is a file name, one that looks like an option too.
        CallCase{"EndOfOptions",
                 {"export", "--workdir", "{work}", "--", "-h"},
                 false,
                 3,
                 {"No existe archivo\n"},
                 {}},

        // What the runs' outcomes become.
        CallCase{"ExportCompleted",
                 {"export", "{school}", "--workdir", "{work}", "--template", "PMATI"},
                 false,
                 0,
                 {"Respuesta: Si\n", "Proceso finalizado\n"},
                 {}},
        CallCase{"ExportWithReport",
                 {"export", "{school}", "--workdir", "{work}", "--report"},
                 false,
                 0,
                 {"Proceso finalizado\nInforme de la exportación\n"},
                 {}},
        CallCase{"ExportInputMissing",
                 {"export", "{nowhere}", "--workdir", "{work}"},
                 false,
                 3,
                 {"No existe archivo\n"},
                 {}},
        CallCase{"ExportEndedByAnError",
                 {"export", "{school}", "--workdir", "{nowhere}"},
                 false,
                 1,
                 {},
                 {"nowhere"}},
        CallCase{"CheckCompleted",
                 {"check", "{school}", "--group-question", "no"},
                 false,
                 0,
                 {"Informe de la comprobación (no se han tocado las tablas de trabajo)\n"},
                 {}},
        CallCase{
            "CheckInputMissing", {"check", "{nowhere}"}, false, 3, {}, {"No existe archivo\n"}},
        CallCase{"ImportCompleted",
                 {"import", "{school}", "--workdir", "{work}", "--report"},
                 true,
                 0,
                 {"Deber", "Proceso finalizado\nInforme de la importación\n"},
                 {}},
        CallCase{"ImportInputMissing",
                 {"import", "{school}", "--workdir", "{work}"},
                 false,
                 3,
                 {"No existe archivo XML o Solución.\n"},
                 {}},
        CallCase{
            "DumpCompleted", {"dump", "--csv", "{table}"}, true, 0, {"REGISTRO,BORRADO,ABREV"}, {}},
        CallCase{"DumpInputMissing", {"dump", "{nowhere}"}, false, 3, {}, {"No existe la tabla "}}),
    [](const ::testing::TestParamInfo<CallCase>& info) { return std::string(info.param.name); });

// The help of each command names every option it declares, with its value; the usage text every
// command.
TEST(Help, ListsEveryDeclaredOptionAndCommand) {
    for (const Command& c : commands()) {
        SCOPED_TRACE(c.name);
        const Ran r = runIn({c.name, "--help"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, commandHelp(c));
        for (const Positional& p : c.positionals)
            EXPECT_THAT(r.out, HasSubstr("\n  " + p.name + " "));
        for (const Option& o : c.options)
            EXPECT_THAT(r.out, HasSubstr("\n  " + o.name + (o.valueName.empty() ? "" : " ")));
        EXPECT_THAT(usage(), HasSubstr("  pelmira-cli " + c.name + " "));
    }
}

// The usage text keeps its layout: synopses wrapped under the first option, summaries indented.
TEST(Help, UsageTextLayout) {
    EXPECT_THAT(usage(),
                StartsWith("Uso:\n"
                           "  pelmira-cli export XML [--workdir DIR] [--template CODIGO] "
                           "[--language TEXTO]\n"
                           "                         [--group-question si|no] [--prune-question "
                           "si|no]\n"
                           "                         [--report]\n"
                           "      Reconstruye las tablas de trabajo de Horvex a partir de un "
                           "archivo de ITACA.\n"));
    EXPECT_THAT(usage(), HasSubstr("\n  pelmira-cli dump TABLA.DBF [--csv]\n"
                                   "      Muestra los campos y los registros de una tabla "
                                   "dBase.\n\n"
                                   "Estado de salida: 0 completado, 1 error, 2 uso incorrecto, 3 "
                                   "falta la entrada.\n"));
}

// ---------------------------------------------------------------------------------------------
// --language is the main window's language selector: without templates no chooser is shown and
// the selector alone decides the names written.

struct LanguageCase {
    const char* name;
    std::vector<std::string> options;
    std::vector<std::string> names; // ASIGNOMT's NOMBRE, in row order
};

void PrintTo(const LanguageCase& c, std::ostream* os) {
    *os << c.name;
}

class Language : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(Language, DecidesTheNamesOfASchoolWithoutTemplates) {
    const LanguageCase& c = GetParam();
    testing::TempDir tmp;
    fs::create_directories(tmp / "HTEMP");
    Args args{"export", kWithoutTemplates.string(), "--workdir", (tmp / "HTEMP").string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Ran r = runIn(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Proceso finalizado\n");
    const worktables::WorkFolder folder(tmp / "HTEMP");
    EXPECT_EQ(column(folder, "ASIGNOMT", "NOMBRE"), c.names);
    EXPECT_THAT(column(folder, "DIASHORAST", "TEXTODIA"), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Cli, Language,
    ::testing::Values(
        LanguageCase{
            "NotGiven", {}, {"Matemàtiques", "Ciències de la Naturalesa", "Guàrdia", "Pati"}},
        LanguageCase{"Valencian",
                     {"--language", "VALENCIÁ"},
                     {"Matemàtiques", "Ciències de la Naturalesa", "Guàrdia", "Pati"}},
        LanguageCase{"Castilian",
                     {"--language", "CASTELLANO"},
                     {"Matemáticas", "Ciencias de la Naturaleza", "Guardia", "Recreo"}},
        // Any text but the Valencian item takes the Castilian names.
        LanguageCase{"TypedText",
                     {"--language", "castellano"},
                     {"Matemáticas", "Ciencias de la Naturaleza", "Guardia", "Recreo"}}),
    [](const ::testing::TestParamInfo<LanguageCase>& info) {
        return std::string(info.param.name);
    });

// ---------------------------------------------------------------------------------------------
// The interaction a command is given: it receives the answers of the options, and the chooser it
// shows starts from --language.

class RecordingInteraction : public run::Interaction {
public:
    struct Seen {
        CliAnswers answers;
        std::string chooserLanguage;
        std::vector<Question> questions;
        std::vector<std::string> messages;
    };

    RecordingInteraction(const CliAnswers& answers, Seen& seen) : seen_(seen) {
        seen_.answers = answers;
    }
    std::optional<fs::path> pickXmlFile() override { return seen_.answers.xml; }
    void showChooser(itaca::TemplateChooser& chooser) override {
        chooser.activate();
        seen_.chooserLanguage = chooser.languageText();
        chooser.setTemplateText("PVESP");
    }
    bool ask(Question which, const std::string&) override {
        seen_.questions.push_back(which);
        return which == Question::AllTemplates ? seen_.answers.allTemplates
                                               : seen_.answers.pruneUnused;
    }
    void message(const std::string& text) override { seen_.messages.push_back(text); }
    void setBusy(bool) override {}

private:
    Seen& seen_;
};

TEST(Interaction, IsTheOneGivenAndTheChooserStartsFromTheLanguage) {
    testing::TempDir tmp;
    fs::create_directories(tmp / "HTEMP");
    RecordingInteraction::Seen seen;
    const Ran r = runIn({"export", kSchool.string(), "--workdir", (tmp / "HTEMP").string(),
                         "--language", "CASTELLANO", "--template", "PMATI", "--group-question",
                         "no", "--prune-question", "no"},
                        [&seen](const CliAnswers& answers, std::ostream&, std::ostream&) {
                            return std::make_unique<RecordingInteraction>(answers, seen);
                        });
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, ""); // every message went to the interaction
    EXPECT_EQ(seen.answers.xml, kSchool);
    EXPECT_EQ(seen.answers.templateText, std::optional<std::string>("PMATI"));
    EXPECT_FALSE(seen.answers.allTemplates);
    EXPECT_FALSE(seen.answers.pruneUnused);
    EXPECT_EQ(seen.chooserLanguage, std::string(text::kCastilian));
    EXPECT_THAT(seen.messages, ElementsAre("Proceso finalizado"));
    const worktables::WorkFolder folder(tmp / "HTEMP");
    EXPECT_EQ(column(folder, "DIASHORAST", "TEXTODIA").front(), "Lunes");
    EXPECT_EQ(column(folder, "DIASHORAST", "PLANTILLA").front(), "PVESP");
}

} // namespace
} // namespace pelmira::cli
