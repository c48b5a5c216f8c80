// Hostile input through the real pelmira-cli: each case checks the exit status, that stderr names
// the problem in Spanish, and that nothing outside what the case allows has changed (the work
// folder, the ITACA folder and an unrelated folder are compared before and after).

#include "fault_support.h"
#include "support/scratch_folder.h"

#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <regex>
#include <sys/file.h>
#include <unistd.h>

namespace pelmira::faults {
namespace {

// Holds an exclusive lock on a file, as Horvex does on the tables it has open, or on the work
// folder, as a run of another copy of the program does.
class HeldLock {
public:
    explicit HeldLock(const fs::path& file)
        : fd_(::open(file.c_str(), fs::is_directory(file) ? O_RDONLY : O_RDWR)) {
        if (fd_ < 0 || ::flock(fd_, LOCK_EX | LOCK_NB) != 0)
            throw std::runtime_error("cannot lock " + file.string());
    }
    ~HeldLock() { ::close(fd_); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

private:
    int fd_;
};

// What a case needs besides the CLI: a folder made read-only in a private mount namespace.
// The folders of one case: root/HTEMP (work tables), root/itaca (the ITACA file and its result),
// root/otra (files that belong to nobody in the run).
struct Place {
    pelmira::testing::ScratchFolder root;
    fs::path work = root / "HTEMP";
    fs::path itaca = root / "itaca";
    fs::path other = root / "otra";
    std::unique_ptr<HeldLock> lock; // a table held by "another program" during the run
    Place() {
        fs::create_directories(work);
        fs::create_directories(itaca);
        fs::create_directories(other);
        writeFile(other / "ajeno.xml", "<ajeno>de otro programa</ajeno>\n");
    }
    fs::path putSchool(const std::string& name, const std::string& bytes) const {
        writeFile(itaca / name, bytes);
        return itaca / name;
    }
};

enum class Needs { Nothing, ReadOnlyWorkFolder, ReadOnlyItacaFolder };

struct Case {
    const char* name;
    // Prepares the place and returns the pelmira-cli arguments.
    std::function<std::vector<std::string>(Place&)> setUp;
    int status;
    std::vector<std::string> inStderr; // each must appear (UTF-8)
    std::string mayChange;             // regular expression over relative paths; empty: nothing
    Needs needs = Needs::Nothing;
    // Extra checks after the run.
    std::function<void(const Place&, const Ran&)> check = {};
};

std::string school8() {
    return readFile(school());
}

std::string replaceOnce(std::string s, const std::string& from, const std::string& to) {
    const auto at = s.find(from);
    if (at == std::string::npos)
        throw std::runtime_error("fixture text not found: " + from);
    return s.replace(at, from.size(), to);
}

std::string utf16(const std::string& utf8, bool bigEndian) {
    // The sample school is Latin text: every character below U+0800 (no surrogates needed).
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        unsigned cp;
        if (c < 0x80) {
            cp = c;
            i += 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = ((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F);
            i += 2;
        } else {
            cp = ((c & 0x0F) << 12) | ((static_cast<unsigned char>(utf8[i + 1]) & 0x3F) << 6) |
                 (static_cast<unsigned char>(utf8[i + 2]) & 0x3F);
            i += 3;
        }
        const char hi = static_cast<char>(cp >> 8), lo = static_cast<char>(cp & 0xFF);
        out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

std::vector<std::string> exportArgs(const Place& p, const fs::path& xml) {
    copyFolder(previousTables(), p.work);
    return {"export", xml.string(),       "--workdir", p.work.string(),    "--template",
            "PMATI",  "--group-question", "no",        "--prune-question", "no"};
}

std::vector<std::string> importArgs(const Place& p, const fs::path& xml) {
    copyFolder(importReady(), p.work);
    return {"import", xml.string(), "--workdir", p.work.string()};
}

// The tables of a plain export of the sample school, for the cases that must give the same.
void sameTablesAsPlainSchool(const Place& p, const Ran&) {
    Place plain;
    const Ran r = cli(exportArgs(plain, plain.putSchool("escuela.xml", school8())));
    ASSERT_EQ(r.status, 0) << r.err;
    for (const auto& t : kWorkTables)
        EXPECT_EQ(readFile(p.work / (t + ".DBF")), readFile(plain.work / (t + ".DBF"))) << t;
}

void resultIsNewFile(const Place& p, const std::string& name) {
    const fs::path result = p.itaca / name;
    ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(result))) << result;
    const std::string xml = readFile(result);
    EXPECT_NE(xml.find("<horarios_grupo>"), std::string::npos);
    EXPECT_NE(xml.find("</centro>"), std::string::npos);
}

std::string soluc(const std::vector<SolucField>& fields, std::size_t records) {
    std::vector<std::vector<std::string>> rows;
    for (std::size_t i = 0; i < records; ++i)
        rows.push_back({"MAT", "C01", "1", "1", "1ESOA", "GLA", "A101"});
    return dbase3(fields, rows);
}

std::vector<SolucField> fieldsWith(const std::string& name, char type, int length) {
    auto fields = solucFields();
    for (auto& f : fields)
        if (f.name == name) {
            f.type = type;
            f.length = length;
        }
    return fields;
}

const std::string kTables = "HTEMP/[A-Z]+\\.DBF";
const std::string kDaySlots = "HTEMP/DIASHORAST\\.DBF";

const Case kCases[] = {
    // ---- the centre document ----
    {"TruncatedXml",
     [](Place& p) {
         const std::string s = school8();
         return exportArgs(p, p.putSchool("cortado.xml", s.substr(0, s.size() / 2)));
     },
     1,
     {"cortado.xml", "no es un documento XML válido"},
     ""},
    {"Utf16LittleEndianWithoutBom",
     [](Place& p) { return exportArgs(p, p.putSchool("u16le.xml", utf16(school8(), false))); },
     0,
     {},
     kTables,
     Needs::Nothing,
     sameTablesAsPlainSchool},
    {"Utf16BigEndianWithoutBom",
     [](Place& p) { return exportArgs(p, p.putSchool("u16be.xml", utf16(school8(), true))); },
     0,
     {},
     kTables,
     Needs::Nothing,
     sameTablesAsPlainSchool},
    {"AttributeOfOneMegabyte",
     [](Place& p) {
         const std::string big(1 << 20, 'x');
         std::string s =
             replaceOnce(school8(), "nombre=\"Aula 1.01\"", "nombre=\"Aula 1.01" + big + "\"");
         s = replaceOnce(s, "apellido1=\"García\"", "apellido1=\"García" + big + "\"");
         return exportArgs(p, p.putSchool("grande.xml", s));
     },
     0,
     {},
     kTables,
     Needs::Nothing,
     [](const Place& p, const Ran&) {
         EXPECT_EQ(tableProblem(p.work / "AULAT.DBF"), "");
         EXPECT_LT(fs::file_size(p.work / "AULAT.DBF"), 4096u); // cut to the field, not grown
     }},
    {"HundredThousandTemplates",
     [](Place& p) {
         std::string many;
         for (int k = 0; k < 100000; ++k)
             many += "<plantilla_horario codigo=\"T" + std::to_string(k) +
                     "\" descripcion_val=\"d\" descripcion_cas=\"d\" turno=\"M\"/>";
         return exportArgs(
             p, p.putSchool("plantillas.xml", replaceOnce(school8(), "<plantillas_horario>",
                                                          "<plantillas_horario>" + many)));
     },
     0,
     {},
     kTables},
    {"PeriodTimeWithoutLeadingZero",
     [](Place& p) {
         std::string s = school8();
         s = std::regex_replace(s, std::regex("hora_desde=\"08:00\""), "hora_desde=\"8:00\"");
         return exportArgs(p, p.putSchool("hora.xml", s));
     },
     1,
     {"'8:' no es un valor entero válido"},
     // The steps before the day-hour slots complete; DIASHORAST may hold the rows posted before.
     kTables,
     Needs::Nothing,
     [](const Place& p, const Ran& r) {
         EXPECT_EQ(r.out.find("Proceso finalizado"), std::string::npos);
         for (const auto& t : kWorkTables)
             EXPECT_EQ(tableProblem(p.work / (t + ".DBF")), "") << t;
     }},
    {"MissingXmlFile",
     [](Place& p) { return exportArgs(p, p.itaca / "no_existe.xml"); },
     3,
     {},
     "",
     Needs::Nothing,
     [](const Place&, const Ran& r) {
         EXPECT_NE(r.out.find("No existe archivo"), std::string::npos) << r.out;
     }},
    {"XmlNameWithAccentsAndBlanks",
     [](Place& p) { return exportArgs(p, p.putSchool("Horari d'àlgebra ñ 2ª.xml", school8())); },
     0,
     {},
     kTables,
     Needs::Nothing,
     sameTablesAsPlainSchool},
    {"XmlThroughSymbolicLink",
     [](Place& p) {
         writeFile(p.other / "escuela.xml", school8());
         fs::create_symlink(p.other / "escuela.xml", p.itaca / "enlace.xml");
         return exportArgs(p, p.itaca / "enlace.xml");
     },
     0,
     {},
     kTables,
     Needs::Nothing,
     sameTablesAsPlainSchool},

    // ---- the work folder ----
    {"ExportWithTableHeldByAnotherProgram",
     [](Place& p) {
         auto args = exportArgs(p, p.putSchool("escuela.xml", school8()));
         p.lock = std::make_unique<HeldLock>(p.work / "PROFT.DBF");
         return args;
     },
     1,
     {"PROFT.DBF", "está en uso por otro programa"},
     // Subject names are rebuilt before the teachers.
     "HTEMP/ASIGNOMT\\.DBF"},
    {"ExportWithGroupsTableHeldByAnotherProgram",
     [](Place& p) {
         auto args = exportArgs(p, p.putSchool("escuela.xml", school8()));
         p.lock = std::make_unique<HeldLock>(p.work / "GRUPOST.DBF");
         return args;
     },
     1,
     {"GRUPOST.DBF", "está en uso por otro programa"},
     // The tables of the steps before, and the courses, rebuilt just before the groups.
     "HTEMP/(ASIGNOMT|PROFT|AULAT|CURSOST)\\.DBF"},
    {"ExportWhileAnotherRunHoldsTheWorkFolder",
     [](Place& p) {
         auto args = exportArgs(p, p.putSchool("escuela.xml", school8()));
         p.lock = std::make_unique<HeldLock>(p.work);
         return args;
     },
     1,
     {"carpeta de trabajo", "HTEMP", "está en uso por otro programa"},
     ""},
    {"ImportWhileAnotherRunHoldsTheWorkFolder",
     [](Place& p) {
         auto args = importArgs(p, p.putSchool("escuela.xml", school8()));
         p.lock = std::make_unique<HeldLock>(p.work);
         return args;
     },
     1,
     {"carpeta de trabajo", "HTEMP", "está en uso por otro programa"},
     ""},
    {"MissingWorkFolder",
     [](Place& p) {
         auto args = exportArgs(p, p.putSchool("escuela.xml", school8()));
         fs::remove_all(p.work);
         return args;
     },
     1,
     {"no existe la carpeta", "HTEMP"},
     ""},
    {"ReadOnlyWorkFolderOnExport",
     [](Place& p) { return exportArgs(p, p.putSchool("escuela.xml", school8())); },
     1,
     {"no se puede escribir en la carpeta", "HTEMP"},
     "",
     Needs::ReadOnlyWorkFolder},
    {"ReadOnlyWorkFolderOnImport",
     [](Place& p) { return importArgs(p, p.putSchool("escuela.xml", school8())); },
     1,
     {"no se puede escribir en la carpeta", "HTEMP"},
     "",
     Needs::ReadOnlyWorkFolder},

    // ---- SOLUC.DBF ----
    {"SolucPromisesMoreRecordsThanItHolds",
     [](Place& p) {
         auto args = importArgs(p, p.putSchool("escuela.xml", school8()));
         std::string bytes = soluc(solucFields(), 3);
         bytes[4] = 9; // nine records promised, three present
         writeFile(p.work / "SOLUC.DBF", bytes);
         return args;
     },
     1,
     {"SOLUC.DBF", "dañada"},
     kDaySlots},
    {"SolucWithUnknownFieldType",
     [](Place& p) {
         auto args = importArgs(p, p.putSchool("escuela.xml", school8()));
         writeFile(p.work / "SOLUC.DBF", soluc(fieldsWith("DIA", 'Q', 4), 3));
         return args;
     },
     1,
     {"SOLUC.DBF", "DIA"},
     kDaySlots},
    {"SolucWithoutHora",
     [](Place& p) {
         auto args = importArgs(p, p.putSchool("escuela.xml", school8()));
         auto fields = solucFields();
         fields.erase(fields.begin() + 3);
         std::vector<std::vector<std::string>> rows(2, {"MAT", "C01", "1", "1ESOA", "GLA", "A1"});
         writeFile(p.work / "SOLUC.DBF", dbase3(fields, rows));
         return args;
     },
     1,
     {"SOLUC", "no tiene el campo HORA"},
     kDaySlots},
    {"SolucOfZeroBytes",
     [](Place& p) {
         auto args = importArgs(p, p.putSchool("escuela.xml", school8()));
         writeFile(p.work / "SOLUC.DBF", "");
         return args;
     },
     1,
     {"SOLUC.DBF", "vacío"},
     kDaySlots},
    {"MissingSoluc",
     [](Place& p) {
         auto args = importArgs(p, p.putSchool("escuela.xml", school8()));
         fs::remove(p.work / "SOLUC.DBF");
         return args;
     },
     3,
     {},
     "",
     Needs::Nothing,
     [](const Place&, const Ran& r) {
         EXPECT_NE(r.out.find("No existe archivo XML o Solución."), std::string::npos) << r.out;
     }},
    {"ImportWithTableHeldByAnotherProgram",
     [](Place& p) {
         auto args = importArgs(p, p.putSchool("escuela.xml", school8()));
         p.lock = std::make_unique<HeldLock>(p.work / "GRUPOST.DBF");
         return args;
     },
     1,
     {"GRUPOST.DBF", "está en uso por otro programa"},
     kDaySlots},

    // ---- the result document ----
    {"ResultIsSymbolicLinkToFileElsewhere",
     [](Place& p) {
         fs::create_symlink(p.other / "ajeno.xml", p.itaca / "ResultadoHorvexescuela.xml");
         return importArgs(p, p.putSchool("escuela.xml", school8()));
     },
     0,
     {},
     kDaySlots + "|itaca/ResultadoHorvexescuela\\.xml",
     Needs::Nothing,
     [](const Place& p, const Ran&) { resultIsNewFile(p, "ResultadoHorvexescuela.xml"); }},
    {"ImportOfXmlNameWithAccentsAndBlanks",
     [](Place& p) { return importArgs(p, p.putSchool("Centre d'Alzira ñ 2ª.xml", school8())); },
     0,
     {},
     kDaySlots + "|itaca/ResultadoHorvexCentre d'Alzira ñ 2ª\\.xml",
     Needs::Nothing,
     [](const Place& p, const Ran&) {
         resultIsNewFile(p, "ResultadoHorvexCentre d'Alzira ñ 2ª.xml");
     }},
    {"ImportOfXmlThroughSymbolicLink",
     [](Place& p) {
         writeFile(p.other / "escuela.xml", school8());
         fs::create_symlink(p.other / "escuela.xml", p.itaca / "enlace.xml");
         return importArgs(p, p.itaca / "enlace.xml");
     },
     0,
     {},
     kDaySlots + "|itaca/ResultadoHorvexenlace\\.xml",
     Needs::Nothing,
     [](const Place& p, const Ran&) { resultIsNewFile(p, "ResultadoHorvexenlace.xml"); }},
    {"ResultFolderReadOnly",
     [](Place& p) {
         writeFile(p.itaca / "ResultadoHorvexescuela.xml", "<anterior/>\n");
         return importArgs(p, p.putSchool("escuela.xml", school8()));
     },
     1,
     {"No se puede guardar el archivo", "ResultadoHorvexescuela.xml"},
     kDaySlots,
     Needs::ReadOnlyItacaFolder},
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class BadInput : public ::testing::TestWithParam<Case> {};

TEST_P(BadInput, ClearMessageAndNothingElseChanged) {
    const Case& c = GetParam();
    Place place;
    const std::vector<std::string> args = c.setUp(place);
    const Snapshot before = snapshot(place.root.path());

    Ran r;
    if (c.needs != Needs::Nothing) {
        if (!mountNamespacesWork())
            GTEST_SKIP() << "no private mount namespace here (unshare -m, mount): the read-only "
                            "folder cannot be made";
        // The folder the case makes read-only: the ITACA folder when the result cannot be
        // written, else the work folder.
        const fs::path ro = c.needs == Needs::ReadOnlyItacaFolder ? place.itaca : place.work;
        std::vector<std::string> nsArgs{ro.string(), PELMIRA_CLI};
        nsArgs.insert(nsArgs.end(), args.begin(), args.end());
        r = inMountNamespace("mount --bind \"$1\" \"$1\" && mount -o remount,bind,ro \"$1\" "
                             "|| exit 97; shift; exec \"$@\"",
                             nsArgs);
        if (r.status == 97)
            GTEST_SKIP() << "a read-only bind mount cannot be made here: " << r.err;
    } else {
        r = cli(args);
    }

    place.lock.reset(); // "the other program" lets the table go before the checks

    EXPECT_EQ(r.signal, 0) << "ended by a signal\n" << r.err;
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    for (const auto& text : c.inStderr)
        EXPECT_NE(r.err.find(text), std::string::npos) << "'" << text << "' not in: " << r.err;
    if (c.status == 1) {
        EXPECT_EQ(r.out.find("Proceso finalizado"), std::string::npos) << r.out;
        EXPECT_EQ(r.err.find("Error inesperado"), std::string::npos) << r.err;
    }

    const Snapshot after = snapshot(place.root.path());
    const std::regex allowed(c.mayChange.empty() ? std::string("$^") : c.mayChange);
    for (const auto& path : changes(before, after)) {
        EXPECT_TRUE(std::regex_match(path, allowed)) << "changed: " << path;
        EXPECT_FALSE(path.ends_with(".tmp")) << "temporary file left: " << path;
    }
    for (const auto& t : kWorkTables) {
        if (fs::exists(place.work / (t + ".DBF"))) {
            EXPECT_EQ(tableProblem(place.work / (t + ".DBF")), "") << t;
        }
    }
    if (c.check)
        c.check(place, r);
}

INSTANTIATE_TEST_SUITE_P(Cli, BadInput, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace pelmira::faults
