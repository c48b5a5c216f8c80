// Through the real binaries: `pelmira-cli export` of the fixture school, a SOLUC.DBF in dBase III
// form (python3-dbf) that places every item of the chosen template where the school's own
// timetable has it, then `pelmira-cli import`. The result must give back the school's timetable
// lines of that template, codes that went through a narrower Horvex field coming back cut to it.

#include "support/temp_dir.h"
#include "text/text.h"
#include "worktables/table.h"
#include "xml_reader.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/wait.h>

namespace pelmira::testing {
namespace {

namespace fs = std::filesystem;
using worktables::Table;
using worktables::WorkFolder;

struct Ran {
    int status = -1;
    std::string out, err;
};

std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

Ran run(const std::vector<std::string>& argv, const fs::path& scratch) {
    std::string cmd;
    for (const auto& a : argv)
        cmd += quoted(a) + ' ';
    const fs::path out = scratch / "stdout.txt";
    const fs::path err = scratch / "stderr.txt";
    cmd += "</dev/null >" + quoted(out.string()) + " 2>" + quoted(err.string());
    const int raw = std::system(cmd.c_str());
    Ran r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = readBytes(out);
    r.err = readBytes(err);
    return r;
}

// The value trimmed as the program reads it, then cut to the Horvex field it travels through.
std::string through(const std::string& utf8, std::size_t width) {
    return std::string(text::cutUtf8(text::trim(utf8), width));
}

std::string csvField(const std::string& s) {
    std::string q = "\"";
    for (char c : s)
        q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

const XmlElement& section(const XmlElement& root, const std::string& name) {
    for (const auto& c : root.children)
        if (c.name == name)
            return c;
    throw std::runtime_error("no section " + name);
}

class RoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(work);
        fs::create_directories(dir / "itaca");
        fs::copy_file(PELMIRA_SCHOOL_XML, xml);
    }

    Ran cli(std::vector<std::string> args) {
        args.insert(args.begin(), PELMIRA_CLI);
        return run(args, dir.path());
    }

    void makeSoluc(const std::string& csv) {
        const fs::path csvFile = dir / "soluc.csv";
        std::ofstream(csvFile, std::ios::binary) << csv;
        const Ran r = run({PELMIRA_PYTHON3, PELMIRA_MAKE_SOLUC, "csv", csvFile.string(),
                           (work / "SOLUC.DBF").string()},
                          dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
    }

    TempDir dir;
    fs::path work = dir / "HTEMP";
    fs::path xml = dir / "itaca" / "escuela.xml";
    fs::path result = dir / "itaca" / "ResultadoHorvexescuela.xml";
};

TEST_F(RoundTrip, TheSchoolsTimetableComesBack) {
    const std::string kTemplate = "PMATI";
    const Ran exported = cli({"export", xml.string(), "--workdir", work.string(), "--template",
                              kTemplate, "--group-question", "no", "--prune-question", "no"});
    ASSERT_EQ(exported.status, 0) << exported.out << exported.err;

    const XmlFile school = readXmlFile(xml);
    const XmlElement& groupSection = section(school.root, "horarios_grupo");
    const XmlElement& dutySection = section(school.root, "horarios_ocupaciones");

    // SOLUC: the school's lines of the template, placed where the school has them, in Horvex's
    // codes found through the exported tables; class and duty records interleaved, with an
    // unplaced record of each kind among them.
    std::vector<Attributes> expectedGroups, expectedDuties;
    std::string csv = "ASIG,TAREA,DIA,HORA,CODGRUPO,PROF,AULA\n";
    {
        const WorkFolder folder(work);
        Table groups = Table::open(folder, "GRUPOST");
        Table names = Table::open(folder, "ASIGNOMT");
        Table teachers = Table::open(folder, "PROFT");
        Table rooms = Table::open(folder, "AULAT");
        Table slots = Table::open(folder, "DIASHORAST");
        // The Horvex code of an ITACA code: `field` of the first row whose `key` holds it.
        auto horvex = [](Table& t, const char* key, const std::string& itaca, const char* field) {
            const std::string v = text::toCp1252(itaca);
            return t.locate({{key, v}}) ? text::toUtf8(t.text(field)) : std::string("?");
        };
        auto day = [](const std::string& letter) {
            const std::string letters = "LMXJVSD";
            return std::to_string(letters.find(letter) + 1);
        };
        auto record = [&](const std::string& asig, const std::string& tarea, const std::string& dia,
                          const std::string& hora, const std::string& group,
                          const std::string& prof, const std::string& room) {
            csv += csvField(asig) + ',' + csvField(tarea) + ',' + dia + ',' + hora + ',' +
                   csvField(group) + ',' + csvField(prof) + ',' + csvField(room) + '\n';
        };

        std::size_t g = 0, d = 0;
        bool unplacedClass = false, unplacedDuty = false;
        while (g < groupSection.children.size() || d < dutySection.children.size()) {
            if (g < groupSection.children.size()) {
                const Attributes& a = groupSection.children[g++].attributes;
                if (value(a, "plantilla") == kTemplate) {
                    const std::string grupo = through(value(a, "grupo"), 10);
                    const std::string contenido = through(value(a, "contenido"), 10);
                    const std::string docente = through(value(a, "docente"), 14);
                    const std::string aula = through(value(a, "aula"), 10);
                    const std::string asig = horvex(names, "ABREV_ITACA", contenido, "COD");
                    const std::string codgrupo = horvex(groups, "CLAVE", grupo, "ABREV");
                    const std::string prof = horvex(teachers, "DNI", docente, "ABREV");
                    const std::string room = horvex(rooms, "ABREV_ITACA", aula, "ABREV");
                    const std::string dia = day(value(a, "dia_semana"));
                    std::string hora =
                        horvex(slots, "SESION_ORDEN", value(a, "sesion_orden"), "HORA");
                    if (hora == "?")
                        hora = "99";
                    record(asig, "CLASE", dia, hora, codgrupo, prof, room);
                    // Group, subject and period are needed; teacher and room are optional.
                    if (asig != "?" && codgrupo != "?" && dia != "0" && hora != "99")
                        expectedGroups.push_back({{"plantilla", kTemplate},
                                                  {"dia_semana", value(a, "dia_semana")},
                                                  {"sesion_orden", value(a, "sesion_orden")},
                                                  {"hora_desde", value(a, "hora_desde")},
                                                  {"hora_hasta", value(a, "hora_hasta")},
                                                  {"grupo", grupo},
                                                  {"ensenanza", through(value(a, "ensenanza"), 10)},
                                                  {"curso", through(value(a, "curso"), 10)},
                                                  {"contenido", contenido},
                                                  {"docente", prof == "?" ? "" : docente},
                                                  {"aula", room == "?" ? "" : aula},
                                                  {"idioma", ""}});
                    if (!unplacedClass && expectedGroups.size() == 2) {
                        unplacedClass = true;
                        record(asig, "CLASE", "0", "1", codgrupo, prof, room); // not placed
                    }
                }
            }
            if (d < dutySection.children.size()) {
                const Attributes& a = dutySection.children[d++].attributes;
                if (value(a, "plantilla") == kTemplate) {
                    const std::string ocupacion = through(value(a, "ocupacion"), 10);
                    const std::string docente = through(value(a, "docente"), 14);
                    const std::string asig = horvex(names, "ABREV_ITACA", ocupacion, "COD");
                    const std::string prof = horvex(teachers, "DNI", docente, "ABREV");
                    // A duty line's programme is its teacher's, as PROFT holds it.
                    const std::string ensenanza = horvex(teachers, "DNI", docente, "ENSENANZA");
                    const std::string dia = day(value(a, "dia_semana"));
                    std::string hora =
                        horvex(slots, "SESION_ORDEN", value(a, "sesion_orden"), "HORA");
                    if (hora == "?")
                        hora = "99";
                    record(asig, asig, dia, hora, "", prof, "");
                    // Duty, teacher and period are all needed.
                    if (asig != "?" && prof != "?" && dia != "0" && hora != "99")
                        expectedDuties.push_back({{"plantilla", kTemplate},
                                                  {"dia_semana", value(a, "dia_semana")},
                                                  {"sesion_orden", value(a, "sesion_orden")},
                                                  {"hora_desde", value(a, "hora_desde")},
                                                  {"hora_hasta", value(a, "hora_hasta")},
                                                  {"docente", docente},
                                                  {"ensenanza", ensenanza},
                                                  {"ocupacion", ocupacion}});
                    if (!unplacedDuty && expectedDuties.size() == 1) {
                        unplacedDuty = true;
                        record(asig, asig, "1", "0", "", prof, ""); // not placed
                    }
                }
            }
        }
    }
    ASSERT_GE(expectedGroups.size(), 10u) << "the fixture school lost its timetable";
    ASSERT_GE(expectedDuties.size(), 3u);
    makeSoluc(csv);

    const Ran imported = cli({"import", xml.string(), "--workdir", work.string()});
    ASSERT_EQ(imported.status, 0) << imported.out << imported.err;
    EXPECT_EQ(imported.out, "Deber\xC3\xA1 Abrir el fichero XML de ITACA,\r\ndesde el cual "
                            "realiz\xC3\xB3 la Importaci\xC3\xB3n a Horvex\nProceso finalizado\n");

    const XmlFile f = readXmlFile(result);
    EXPECT_TRUE(text::equalsIgnoreCase(f.encoding, "UTF-8")) << f.encoding;
    EXPECT_EQ(f.root.name, "centro");
    EXPECT_EQ(names(f.root.attributes), (std::vector<std::string>{"codigo", "denominacion", "curso",
                                                                  "fecha_exportacion", "version"}));
    EXPECT_EQ(value(f.root.attributes, "codigo"), "46099999");
    EXPECT_EQ(value(f.root.attributes, "denominacion"), "IES Pelmira de la Vall");
    EXPECT_EQ(value(f.root.attributes, "curso"), "2026");
    EXPECT_EQ(value(f.root.attributes, "version"), "3.2");
    ASSERT_EQ(f.root.children.size(), 2u);
    ASSERT_EQ(f.root.children[0].name, "horarios_grupo");
    ASSERT_EQ(f.root.children[1].name, "horarios_ocupaciones");

    const auto& groups = f.root.children[0].children;
    ASSERT_EQ(groups.size(), expectedGroups.size());
    for (std::size_t i = 0; i < groups.size(); ++i) {
        EXPECT_EQ(groups[i].name, "horario_grupo");
        EXPECT_EQ(groups[i].attributes, expectedGroups[i]) << "group line " << i + 1;
    }
    const auto& duties = f.root.children[1].children;
    ASSERT_EQ(duties.size(), expectedDuties.size());
    for (std::size_t i = 0; i < duties.size(); ++i) {
        EXPECT_EQ(duties[i].name, "horario_ocupacion");
        EXPECT_EQ(duties[i].attributes, expectedDuties[i]) << "duty line " << i + 1;
    }
}

TEST_F(RoundTrip, ExitStatusAndWhereMessagesGo) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        bool withSoluc;
        const char* xmlContent; // nullptr: the school
        int status;
        const char* inStdout;
        const char* inStderr;
    };
    const std::string x = xml.string();
    const std::string w = work.string();
    const Case cases[] = {
        {"no XML argument", {"import"}, true, nullptr, 2, "", "falta el archivo XML"},
        {"unknown option", {"import", x, "--nada"}, true, nullptr, 2, "", "--nada"},
        {"option without value", {"import", x, "--workdir"}, true, nullptr, 2, "", "--workdir"},
        {"two files", {"import", x, x, "--workdir", w}, true, nullptr, 2, "", "sobra"},
        {"no SOLUC.DBF",
         {"import", x, "--workdir", w},
         false,
         nullptr,
         3,
         "No existe archivo XML o Soluci\xC3\xB3n.",
         ""},
        {"no XML file",
         {"import", (dir / "itaca" / "otro.xml").string(), "--workdir", w},
         true,
         nullptr,
         3,
         "No existe archivo XML o Soluci\xC3\xB3n.",
         ""},
        {"not XML", {"import", x, "--workdir", w}, true, "no es XML", 1, "Deber", "escuela.xml"},
        {"completed with a typed template",
         {"import", x, "--workdir", w, "--template", "PVESP", "--language", "CASTELLANO"},
         true,
         nullptr,
         0,
         "Proceso finalizado",
         ""},
    };
    const Ran exported = cli({"export", x, "--workdir", w, "--template", "PMATI"});
    ASSERT_EQ(exported.status, 0) << exported.err;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(work / "SOLUC.DBF");
        if (c.withSoluc)
            makeSoluc("ASIG,TAREA,DIA,HORA,CODGRUPO,PROF,AULA\n");
        if (c.xmlContent)
            std::ofstream(xml, std::ios::binary | std::ios::trunc) << c.xmlContent;
        else
            fs::copy_file(PELMIRA_SCHOOL_XML, xml, fs::copy_options::overwrite_existing);

        const Ran r = cli(c.args);
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        EXPECT_NE(r.out.find(c.inStdout), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.inStderr), std::string::npos) << r.err;
        if (c.status == 0) {
            const XmlFile f = readXmlFile(result);
            EXPECT_TRUE(f.root.children.at(0).children.empty());
            // --language is the main window's selector: Castilian day names in DIASHORAST.
            Table slots = Table::open(WorkFolder(work), "DIASHORAST");
            ASSERT_TRUE(slots.first());
            EXPECT_EQ(slots.text("TEXTODIA"), "Lunes");
            EXPECT_EQ(slots.text("PLANTILLA"), "PVESP");
        } else {
            EXPECT_FALSE(fs::exists(result));
        }
    }
}

} // namespace
} // namespace pelmira::testing
