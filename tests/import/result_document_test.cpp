// The result document: the new root, the two sections and their lines, the encoding and the
// save, read back with libxml2.

#include "import/result_document.h"
#include "import_fixture.h"
#include "platform/local_time.h"
#include "support/temp_dir.h"
#include "text/text.h"
#include "xml_reader.h"

#include <csignal>
#include <ctime>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/resource.h>

namespace pelmira::testing {
namespace {

using importing::ClassLine;
using importing::DutyLine;
using importing::ResultDocument;
namespace fs = std::filesystem;

const std::vector<std::string> kRootAttributes{"codigo", "denominacion", "curso",
                                               "fecha_exportacion", "version"};
const std::vector<std::string> kGroupLineAttributes{
    "plantilla", "dia_semana", "sesion_orden", "hora_desde", "hora_hasta", "grupo",
    "ensenanza", "curso",      "contenido",    "docente",    "aula",       "idioma"};
const std::vector<std::string> kDutyLineAttributes{"plantilla",  "dia_semana", "sesion_orden",
                                                   "hora_desde", "hora_hasta", "docente",
                                                   "ensenanza",  "ocupacion"};

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

TEST(ResultDocument, RootHasExactlyTheFiveAttributesTrimmedAndOnlyTheNewSections) {
    TempDir dir;
    fs::copy_file(importData("centro.xml"), dir / "centro.xml");
    auto doc = itaca::ItacaDocument::load(dir / "centro.xml");
    ResultDocument result(*doc, "09/09/2025 14:13:17");
    result.openGroupSection();
    result.openDutySection();
    result.save(dir / "out.xml");

    const XmlFile f = readXmlFile(dir / "out.xml");
    EXPECT_EQ(f.root.name, "centro");
    EXPECT_EQ(names(f.root.attributes), kRootAttributes);
    EXPECT_EQ(values(f.root.attributes),
              (std::vector<std::string>{"46000001", "IES Prova d'Alzira, \xC3\x91", "2026-2027",
                                        "09/09/2025 14:13:17", "3.2"}));
    ASSERT_EQ(f.root.children.size(), 2u);
    EXPECT_EQ(f.root.children[0].name, "horarios_grupo");
    EXPECT_EQ(f.root.children[1].name, "horarios_ocupaciones");
    EXPECT_TRUE(f.root.children[0].children.empty()) << "the input's own lines must be gone";
    EXPECT_TRUE(f.root.children[1].children.empty());
    EXPECT_FALSE(f.root.hasTextOrOtherNodes);
    EXPECT_EQ(f.topLevelComments, 1) << "the comment before the root stays";
}

TEST(ResultDocument, LinesCarryEveryAttributeInOrderEvenWhenEmpty) {
    TempDir dir;
    fs::copy_file(importData("centro.xml"), dir / "centro.xml");
    auto doc = itaca::ItacaDocument::load(dir / "centro.xml");
    ResultDocument result(*doc, "x");
    result.openGroupSection();
    result.addGroupLine(
        "T1", ClassLine{"L", "1", "08:00", "08:55", "1ESOA", "3012001", "3012", "MAT1", "", ""});
    result.addGroupLine("T1", ClassLine{"", "4", "10:15", "11:10", "2ESOA", "3012002", "3012",
                                        "M\xC0S", "11111111A", "A101"}); // cp1252 "MÀS"
    result.openDutySection();
    result.addDutyLine("T1", DutyLine{"M", "2", "08:55", "09:50", "", "3017", "12345"});
    // A long template code and markup characters come back as they went in.
    const std::string longCode(300, 'P');
    result.addDutyLine(longCode, DutyLine{"X", "3", "a&b", "<c>", "\"d\"", "", "e'f"});
    result.save(dir / "out.xml");

    const XmlFile f = readXmlFile(dir / "out.xml");
    const auto& groups = f.root.children.at(0).children;
    const auto& duties = f.root.children.at(1).children;
    ASSERT_EQ(groups.size(), 2u);
    ASSERT_EQ(duties.size(), 2u);
    for (const auto& g : groups) {
        EXPECT_EQ(g.name, "horario_grupo");
        EXPECT_EQ(names(g.attributes), kGroupLineAttributes);
        EXPECT_EQ(value(g.attributes, "idioma"), "");
        EXPECT_TRUE(g.children.empty());
        EXPECT_FALSE(g.hasTextOrOtherNodes);
    }
    EXPECT_EQ(values(groups[0].attributes),
              (std::vector<std::string>{"T1", "L", "1", "08:00", "08:55", "1ESOA", "3012",
                                        "3012001", "MAT1", "", "", ""}));
    EXPECT_EQ(values(groups[1].attributes),
              (std::vector<std::string>{"T1", "", "4", "10:15", "11:10", "2ESOA", "3012", "3012002",
                                        "M\xC3\x80S", "11111111A", "A101", ""}));
    EXPECT_EQ(duties[0].name, "horario_ocupacion");
    EXPECT_EQ(names(duties[0].attributes), kDutyLineAttributes);
    EXPECT_EQ(values(duties[0].attributes),
              (std::vector<std::string>{"T1", "M", "2", "08:55", "09:50", "", "3017", "12345"}));
    EXPECT_EQ(values(duties[1].attributes),
              (std::vector<std::string>{longCode, "X", "3", "a&b", "<c>", "\"d\"", "", "e'f"}));
}

TEST(ResultDocument, InputRootLackingAnAttributeEndsWithAnError) {
    for (const char* missing : {"codigo", "denominacion", "curso", "version"}) {
        SCOPED_TRACE(missing);
        std::string root = "<centro";
        for (const char* a : {"codigo", "denominacion", "curso", "version"})
            if (std::string(a) != missing)
                root += std::string(" ") + a + "=\"v\"";
        TempDir dir;
        const auto file = dir.write("c.xml", root + "/>");
        auto doc = itaca::ItacaDocument::load(file);
        try {
            ResultDocument result(*doc, "x");
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
        }
    }
}

TEST(ResultDocument, KeepsTheEncodingTheInputDeclares) {
    struct Case {
        const char* what;
        std::string declaration;
        std::string denominacion; // bytes in the input's encoding
        std::string expectedEncoding;
        std::string expectedBytes; // "Ñ" as it must appear in the saved file
    };
    const Case cases[] = {
        {"ISO-8859-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n",
         "ESPA\xD1"
         "A",
         "ISO-8859-1",
         "ESPA\xD1"
         "A"},
        {"UTF-8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n",
         "ESPA\xC3\x91"
         "A",
         "UTF-8",
         "ESPA\xC3\x91"
         "A"},
        {"no declaration", "",
         "ESPA\xC3\x91"
         "A",
         "UTF-8",
         "ESPA\xC3\x91"
         "A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const auto file =
            dir.write("c.xml", c.declaration + "<centro codigo=\"1\" denominacion=\"" +
                                   c.denominacion + "\" curso=\"2026\" version=\"3\"/>");
        auto doc = itaca::ItacaDocument::load(file);
        ResultDocument result(*doc, "x");
        result.openGroupSection();
        result.openDutySection();
        result.save(dir / "out.xml");

        const XmlFile f = readXmlFile(dir / "out.xml");
        EXPECT_TRUE(text::equalsIgnoreCase(f.encoding, c.expectedEncoding)) << f.encoding;
        EXPECT_EQ(value(f.root.attributes, "denominacion"), "ESPA\xC3\x91"
                                                            "A");
        const std::string bytes = readBytes(dir / "out.xml");
        EXPECT_EQ(bytes.rfind("<?xml", 0), 0u) << "a declaration comes first";
        EXPECT_NE(bytes.find(c.expectedBytes), std::string::npos) << bytes;
    }
}

// A result that cannot be written: the previous result stays as it was, byte for byte, and no
// temporary file is left behind.
class FailedSave : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy_file(importData("centro.xml"), dir / "centro.xml");
        doc = itaca::ItacaDocument::load(dir / "centro.xml");
        result.emplace(*doc, "x");
        result->openGroupSection();
        for (int i = 0; i < 2000; ++i)
            result->addGroupLine("T1", ClassLine{"L", "1", "08:00", "08:55", "1ESOA", "3012001",
                                                 "3012", "MAT1", "11111111A", "A101"});
        result->openDutySection();
    }
    TempDir dir;
    std::shared_ptr<itaca::ItacaDocument> doc;
    std::optional<ResultDocument> result;
};

TEST_F(FailedSave, ResultPathIsADirectory) {
    fs::create_directory(dir / "out.xml");
    dir.write("out.xml/inside.txt", "keep");
    EXPECT_THROW(result->save(dir / "out.xml"), Error);
    EXPECT_TRUE(fs::is_directory(dir / "out.xml"));
    EXPECT_EQ(readBytes(dir / "out.xml/inside.txt"), "keep");
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"centro.xml", "out.xml"}));
}

TEST_F(FailedSave, WriteFailsHalfWayThrough) {
    const std::string previous = "<?xml version=\"1.0\"?>\n<centro codigo=\"anterior\"/>\n";
    dir.write("out.xml", previous);

    // Files of this process may grow to 8 KiB only: the new document, far larger, fails while it
    // is being written (root may not chmod its way to a failure).
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 8192;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool threw = false;
    try {
        result->save(dir / "out.xml");
    } catch (const Error&) {
        threw = true;
    } catch (...) {
        // restore the limit below, then fail on `threw`
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(threw);
    EXPECT_EQ(readBytes(dir / "out.xml"), previous);
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"centro.xml", "out.xml"}));
}

// fecha_exportacion is the platform's local date and time text (its fixed form off Windows:
// export_timestamp_posix_test.cpp).
TEST(ExportTimestamp, IsThePlatformsDateAndTimeText) {
    for (const std::time_t t : {std::time_t(0), std::time_t(1757427197), std::time(nullptr)}) {
        const std::tm local = platform::localTime(t);
        EXPECT_EQ(importing::formatExportTimestamp(local), platform::localDateTimeText(local));
    }
}

} // namespace
} // namespace pelmira::testing
