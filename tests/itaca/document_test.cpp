#include "itaca/document.h"
#include "support/error_of.h"
#include "text/error.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace pelmira;
using namespace pelmira::itaca;
using pelmira::testing::errorOf;
namespace fs = std::filesystem;

namespace {

fs::path data(const std::string& name) {
    return fs::path(ITACA_TEST_DATA) / name;
}

std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary);
    out << bytes;
}

// A fresh folder per test, removed afterwards.
class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::temp_directory_path() /
               ("itaca-test-" + std::to_string(random()) + "-" + std::to_string(random()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(dir_, ignored);
    }
    std::vector<std::string> listing() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path dir_;
};

// --- Selecting sections and reading values -----------------------------------------------------

TEST(ItacaDocument, SelectWalksEverySectionOfThatNameInDocumentOrder) {
    const auto doc = ItacaDocument::load(data("centro.xml"));
    const ElementList aulas = doc->select("/centro/aulas/aula");
    ASSERT_EQ(aulas.count(), 4u); // two `aulas` sections; the prefixed one is another element
    EXPECT_EQ(aulas.item(0).attr("codigo"), "A1");
    EXPECT_EQ(aulas.item(1).attr("codigo"), "A2");
    EXPECT_EQ(aulas.item(2).attr("codigo"), "B1");
    EXPECT_FALSE(aulas.item(3).hasAttr("codigo"));
    for (std::size_t i = 0; i < aulas.count(); ++i) {
        EXPECT_EQ(aulas.item(i).position(), i + 1);
        EXPECT_EQ(aulas.item(i).name(), "aula");
    }
}

TEST(ItacaDocument, SelectCountsAndEmptyPaths) {
    const auto doc = ItacaDocument::load(data("centro.xml"));
    const std::pair<const char*, std::size_t> cases[] = {
        {"/centro/docentes/docente", 1}, // a section with one element
        {"/centro/cursos/curso", 0},     // no such section
        {"/centro/aulas/docente", 0},
        {"/colegio/aulas/aula", 0}, // another root name
        {"/centro", 1},
        {"/centro/aulas", 2},
    };
    for (const auto& [path, count] : cases)
        EXPECT_EQ(doc->select(path).count(), count) << path;
    EXPECT_THROW(doc->select("centro/aulas"), Error);
    EXPECT_THROW(doc->select("/centro//aula"), Error);
}

struct ValueCase {
    const char* path;
    std::size_t index;
    const char* attr;
    std::size_t cut;
    const char* expected; // cp1252
};

TEST(ItacaDocument, AttributeValuesAreTrimmedCutAndConverted) {
    const auto doc = ItacaDocument::load(data("centro.xml"));
    const auto npos = std::string::npos;
    const ValueCase cases[] = {
        {"/centro", 0, "codigo", npos, "46001234"}, // blanks and a tab
        {"/centro", 0, "version", npos, "1.1"},
        {"/centro", 0, "denominacion", npos, "IES Sant Jordi & Co"}, // entity resolved
        {"/centro/aulas/aula", 0, "nombre_val", npos, "Aula de m\xFAsica"},
        {"/centro/aulas/aula", 0, "nombre_cas", npos, ""}, // blanks only
        {"/centro/aulas/aula", 1, "nombre_val", npos, "Laboratori \x80 \x9A"},
        {"/centro/aulas/aula", 1, "nombre_cas", npos, "?saka ?? ?"}, // outside cp1252
        // Cuts count characters of the trimmed text, not bytes.
        {"/centro/aulas/aula", 0, "nombre_val", 4, "Aula"},
        {"/centro/aulas/aula", 0, "nombre_val", 10, "Aula de m\xFA"},
        {"/centro/aulas/aula", 2, "nombre_val", 10, "\xC1\xC9\xCD\xD3\xDA\xC0\xC8\xCC\xD2\xD9"},
        {"/centro/aulas/aula", 2, "nombre_val", 50,
         "\xC1\xC9\xCD\xD3\xDA\xC0\xC8\xCC\xD2\xD9 \xF1\xE7"},
        {"/centro/aulas/aula", 1, "nombre_cas", 2, "?s"},
        {"/centro/docentes/docente", 0, "documento", 0, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(doc->select(c.path).item(c.index).attr(c.attr, c.cut), c.expected)
            << c.path << " " << c.index << " " << c.attr << " " << c.cut;
}

TEST(ItacaDocument, AttributeNamesAreExact) {
    const auto doc = ItacaDocument::load(data("centro.xml"));
    const Element aula = doc->select("/centro/aulas/aula").item(0);
    EXPECT_TRUE(aula.hasAttr("codigo"));
    EXPECT_FALSE(aula.hasAttr("CODIGO"));
    EXPECT_FALSE(aula.hasAttr("codig"));
    EXPECT_FALSE(aula.hasAttr("codigo2"));
    EXPECT_THROW(aula.attr("Codigo"), Error);
}

TEST(ItacaDocument, MissingAttributeNamesElementPositionAndAttribute) {
    const auto doc = ItacaDocument::load(data("centro.xml"));
    // The fourth element selected is the second of the second `aulas` section.
    EXPECT_EQ(errorOf([&] { doc->select("/centro/aulas/aula").item(3).attr("codigo"); }),
              "Falta el atributo 'codigo' en el elemento aula 2 de /centro/aulas");
    EXPECT_EQ(errorOf([&] { doc->select("/centro/docentes/docente").item(0).attr("dni"); }),
              "Falta el atributo 'dni' en el elemento docente 1 de /centro/docentes");
    EXPECT_EQ(errorOf([&] { doc->select("/centro").item(0).attr("telefono"); }),
              "Falta el atributo 'telefono' en el elemento centro");
}

// --- Loading ----------------------------------------------------------------------------------

TEST(ItacaDocument, FilesThatAreNotCentreDocumentsAreRefused) {
    struct Case {
        fs::path file;
        std::vector<std::string> mentions;
    };
    const Case cases[] = {
        {data("not_xml.xml"), {"not_xml.xml", "no es un documento XML válido", "(línea 1)"}},
        {data("malformed.xml"), {"malformed.xml", "no es un documento XML válido", "(línea 5)"}},
        {data("empty.xml"), {"empty.xml", "no es un documento XML válido"}},
        {data("root_colegio.xml"), {"root_colegio.xml", "'colegio'", "'centro'"}},
        {data("undeclared_entity.xml"), {"undeclared_entity.xml", "'codigo_centro'", "(línea 3)"}},
        {data("undeclared_prefix.xml"), {"undeclared_prefix.xml", "otra", "(línea 2)"}},
        {data("no_such_file.xml"), {"no_such_file.xml", "No se puede leer"}},
        {data(""), {"No se puede leer", "carpeta"}},
    };
    for (const auto& c : cases) {
        std::string message;
        try {
            ItacaDocument::load(c.file);
            message = "no error";
        } catch (const LoadError& e) {
            message = e.what();
        }
        for (const auto& m : c.mentions)
            EXPECT_NE(message.find(m), std::string::npos) << message << " / " << m;
    }
}

TEST(ItacaDocument, EntityExpansionBombIsRefused) {
    EXPECT_THROW(ItacaDocument::load(data("laughs.xml")), LoadError);
}

TEST(ItacaDocument, ReadsEveryEncodingTheParserKnows) {
    struct Case {
        const char* file;
        const char* declared;
        const char* secondName;
    };
    const Case cases[] = {
        {"utf16le.xml", "UTF-16", "Taller"},
        {"utf16be.xml", "UTF-16", "Taller"},
        {"utf16_nodecl.xml", "", "Taller"},
        {"latin1.xml", "ISO-8859-1", "Taller"},
        {"cp1252.xml", "windows-1252", "Taller \x80 \x9A"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto doc = ItacaDocument::load(data(c.file));
        EXPECT_EQ(doc->declaredEncoding(), c.declared);
        EXPECT_EQ(doc->select("/centro").item(0).attr("denominacion"), "Escola \xD1");
        const ElementList aulas = doc->select("/centro/aulas/aula");
        ASSERT_EQ(aulas.count(), 2u);
        EXPECT_EQ(aulas.item(0).attr("nombre_val"), "M\xFAsica \xE0\xE8\xE9");
        EXPECT_EQ(aulas.item(1).attr("nombre_val"), c.secondName);
    }
    EXPECT_EQ(ItacaDocument::load(data("cp1252.xml"))
                  ->select("/centro/aulas/aula")
                  .item(1)
                  .attr("nombre_cas"),
              "\x8Cuvre \x9E \x9F");
    EXPECT_EQ(ItacaDocument::load(data("centro.xml"))->declaredEncoding(), "UTF-8");
}

// --- External entities ------------------------------------------------------------------------

// Every attribute of every element, read the way the readers read them.
void collectAttributes(xmlNode* node, std::vector<std::string>& out) {
    for (; node != nullptr; node = node->next) {
        if (node->type != XML_ELEMENT_NODE)
            continue;
        const Element e(node, 1, "");
        for (xmlAttr* a = node->properties; a != nullptr; a = a->next)
            out.push_back(e.attr(reinterpret_cast<const char*>(a->name)));
        collectAttributes(node->children, out);
    }
}

class ExternalEntities : public TempDir {
protected:
    void SetUp() override {
        TempDir::SetUp();
        secretFile_ = dir_ / "secreto.txt";
        writeBytes(secretFile_, kSecret);
        writeBytes(dir_ / "evil.dtd",
                   "<!ENTITY % file SYSTEM \"" + secretFile_.string() +
                       "\">\n<!ENTITY % def \"<!ENTITY leak '%file;'>\">\n%def;\n"
                       "<!ENTITY fuera SYSTEM \"" +
                       secretFile_.string() + "\">\n");
    }
    std::vector<std::string> variants() const {
        const std::string secret = secretFile_.string();
        const std::string secretUrl = "file://" + secret;
        const std::string dtd = (dir_ / "evil.dtd").string();
        return {
            // An external entity in an attribute value (not allowed by XML).
            "<!DOCTYPE centro [<!ENTITY x SYSTEM \"" + secretUrl +
                "\">]>\n"
                "<centro codigo=\"&x;\"><aulas><aula codigo=\"&x;\"/></aulas></centro>",
            // An external entity in content, and its text through an attribute default.
            "<!DOCTYPE centro [<!ENTITY x SYSTEM \"" + secret +
                "\">\n"
                "<!ATTLIST aula nombre CDATA \"&x;\">]>\n"
                "<centro codigo=\"1\"><aulas><aula codigo=\"a\">&x;</aula></aulas></centro>",
            // An external parameter entity that declares the entity used in an attribute.
            "<!DOCTYPE centro [<!ENTITY % p SYSTEM \"" + dtd +
                "\"> %p;]>\n"
                "<centro codigo=\"&leak;\"><aulas><aula codigo=\"&leak;\">&fuera;</aula>"
                "</aulas></centro>",
            // An external DTD subset doing the same.
            "<!DOCTYPE centro SYSTEM \"" + dtd +
                "\">\n"
                "<centro codigo=\"&leak;\"><aulas><aula codigo=\"&leak;\">&fuera;</aula>"
                "</aulas></centro>",
            // XInclude is not processed.
            "<centro xmlns:xi=\"http://www.w3.org/2001/XInclude\" codigo=\"1\">"
            "<xi:include href=\"" +
                secret + "\" parse=\"text\"/></centro>",
        };
    }
    static constexpr const char* kSecret = "CONTENIDO-SECRETO-4F2A";
    fs::path secretFile_;
};

TEST_F(ExternalEntities, LocalFilesNeverReachTheDocument) {
    int index = 0;
    for (const std::string& xml : variants()) {
        SCOPED_TRACE(index);
        const fs::path file = dir_ / ("ataque" + std::to_string(index++) + ".xml");
        writeBytes(file, "<?xml version=\"1.0\"?>\n" + xml);
        std::shared_ptr<ItacaDocument> doc;
        try {
            doc = ItacaDocument::load(file);
        } catch (const LoadError& e) {
            EXPECT_EQ(std::string(e.what()).find(kSecret), std::string::npos);
            continue; // refused outright: nothing was read
        }
        std::vector<std::string> values;
        collectAttributes(doc->select("/centro").item(0).node(), values);
        EXPECT_FALSE(values.empty());
        for (const auto& v : values)
            EXPECT_EQ(v.find(kSecret), std::string::npos) << v;
        const fs::path saved = dir_ / "guardado.xml";
        doc->save(saved);
        EXPECT_EQ(readBytes(saved).find(kSecret), std::string::npos);
    }
}

TEST_F(ExternalEntities, LoaderRefusesEvenWhenAParserAsksForEntities) {
    ItacaDocument::load(data("centro.xml")); // installs the refusing loader
    int index = 0;
    for (const std::string& xml : variants()) {
        SCOPED_TRACE(index);
        const fs::path file = dir_ / ("ataque" + std::to_string(index++) + ".xml");
        writeBytes(file, "<?xml version=\"1.0\"?>\n" + xml);
        xmlDocPtr doc = xmlReadFile(file.c_str(), nullptr,
                                    XML_PARSE_NOENT | XML_PARSE_DTDLOAD | XML_PARSE_DTDATTR |
                                        XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        if (doc == nullptr)
            continue;
        xmlChar* dump = nullptr;
        int size = 0;
        xmlDocDumpMemory(doc, &dump, &size);
        const std::string text(reinterpret_cast<const char*>(dump), static_cast<size_t>(size));
        xmlFree(dump);
        xmlFreeDoc(doc);
        EXPECT_EQ(text.find(kSecret), std::string::npos) << text;
    }
}

// --- Building and saving ----------------------------------------------------------------------

// True when no node under `node` is anything but an element.
bool onlyElements(const xmlNode* node) {
    for (const xmlNode* child = node->children; child != nullptr; child = child->next)
        if (child->type != XML_ELEMENT_NODE || !onlyElements(child))
            return false;
    return true;
}

using SaveTest = TempDir;

TEST_F(SaveTest, BuiltDocumentRoundTrips) {
    auto doc = ItacaDocument::load(data("centro.xml"));
    const Element oldRoot = doc->select("/centro").item(0);
    const std::string codigo = oldRoot.attr("codigo");

    Element root = doc->replaceRoot("centro");
    root.setAttribute("codigo", codigo);
    root.setAttribute("denominacion", "Jos\xE9 & <Ana> \"q\" 'p' \x80 \x9C");
    root.setAttribute("curso", "");
    root.setAttribute("fecha_exportacion", "10/12/2026 12:00:00");
    root.setAttribute("version", "1.1");
    root.setAttribute("curso", "2025"); // set again: keeps its place
    Element grupos = root.appendChild("horarios_grupo");
    for (int i = 0; i < 3; ++i) {
        Element line = grupos.appendChild("horario_grupo");
        line.setAttribute("plantilla", "M1");
        line.setAttribute("sesion_orden", std::to_string(i + 1));
        line.setAttribute("idioma", "");
    }
    root.appendChild("horarios_ocupaciones");
    EXPECT_TRUE(onlyElements(root.node()));

    const fs::path out = dir_ / "ResultadoHorvexcentro.xml";
    doc->save(out);
    EXPECT_EQ(listing(), std::vector<std::string>{"ResultadoHorvexcentro.xml"});

    const std::string bytes = readBytes(out);
    EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << bytes;
    // Comment and processing instruction stay before the new root; the old content is gone.
    const auto comment = bytes.find("<!-- Centro de pruebas -->");
    const auto pi = bytes.find("<?horvex prueba?>");
    const auto rootTag = bytes.find("<centro ");
    ASSERT_NE(comment, std::string::npos);
    ASSERT_NE(pi, std::string::npos);
    ASSERT_NE(rootTag, std::string::npos);
    EXPECT_LT(comment, rootTag);
    EXPECT_LT(pi, rootTag);
    EXPECT_EQ(bytes.find("<aulas"), std::string::npos);
    EXPECT_EQ(bytes.find("extra="), std::string::npos);
    // Attributes in the order first set.
    const std::string tag = bytes.substr(rootTag, bytes.find('>', rootTag) - rootTag);
    std::vector<std::size_t> at;
    for (const char* a : {"codigo=", "denominacion=", "curso=", "fecha_exportacion=", "version="})
        at.push_back(tag.find(a));
    EXPECT_TRUE(std::is_sorted(at.begin(), at.end())) << tag;
    EXPECT_EQ(at.front(), std::string("<centro ").size());

    const auto again = ItacaDocument::load(out);
    const Element r = again->select("/centro").item(0);
    EXPECT_EQ(r.attr("codigo"), "46001234");
    EXPECT_EQ(r.attr("denominacion"), "Jos\xE9 & <Ana> \"q\" 'p' \x80 \x9C");
    EXPECT_EQ(r.attr("curso"), "2025");
    const ElementList lines = again->select("/centro/horarios_grupo/horario_grupo");
    ASSERT_EQ(lines.count(), 3u);
    EXPECT_EQ(lines.item(2).attr("sesion_orden"), "3");
    EXPECT_TRUE(lines.item(0).hasAttr("idioma"));
    EXPECT_EQ(lines.item(0).attr("idioma"), "");
    EXPECT_EQ(again->select("/centro/horarios_ocupaciones").count(), 1u);
    EXPECT_EQ(again->select("/centro/aulas/aula").count(), 0u);
}

TEST_F(SaveTest, ControlCharactersCannotBreakTheSavedFile) {
    auto doc = ItacaDocument::load(data("centro.xml"));
    Element root = doc->replaceRoot("centro");
    root.setAttribute("codigo", std::string("a\x01"
                                            "b\tc",
                                            5));
    const fs::path out = dir_ / "out.xml";
    doc->save(out);
    EXPECT_EQ(ItacaDocument::load(out)->select("/centro").item(0).attr("codigo"), "a?b\tc");
}

TEST_F(SaveTest, SavedFileKeepsTheDeclaredEncoding) {
    struct Case {
        const char* file;
        std::string start;
    };
    const Case cases[] = {
        {"latin1.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"},
        {"cp1252.xml", "<?xml version=\"1.0\" encoding=\"windows-1252\"?>"},
        {"utf16le.xml", std::string("\xFF\xFE<\0?\0x\0m\0l\0", 12)},
        {"utf16_nodecl.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto doc = ItacaDocument::load(data(c.file));
        Element root = doc->replaceRoot("centro");
        root.setAttribute("denominacion", "Escola \xD1 \x80 \x9A");
        const fs::path out = dir_ / (std::string("Resultado") + c.file);
        doc->save(out);
        const std::string bytes = readBytes(out);
        EXPECT_EQ(bytes.substr(0, c.start.size()), c.start);
        const auto again = ItacaDocument::load(out);
        EXPECT_EQ(again->declaredEncoding(),
                  doc->declaredEncoding().empty() ? std::string("UTF-8") : doc->declaredEncoding());
        EXPECT_EQ(again->select("/centro").item(0).attr("denominacion"), "Escola \xD1 \x80 \x9A");
    }
    // Latin-1 has no euro sign: it is written as a character reference.
    const std::string latin1 = readBytes(dir_ / "Resultadolatin1.xml");
    EXPECT_NE(latin1.find("Escola \xD1 &#8364;"), std::string::npos) << latin1;
}

TEST_F(SaveTest, DocumentWithoutDeclarationIsSavedAsUtf8WithOne) {
    writeBytes(dir_ / "sin.xml", "<centro codigo=\"1\"/>");
    auto doc = ItacaDocument::load(dir_ / "sin.xml");
    EXPECT_EQ(doc->declaredEncoding(), "");
    doc->replaceRoot("centro").setAttribute("denominacion", "Escola \xD1");
    doc->save(dir_ / "con.xml");
    const std::string bytes = readBytes(dir_ / "con.xml");
    EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << bytes;
    EXPECT_NE(bytes.find("Escola \xC3\x91"), std::string::npos);
}

TEST_F(SaveTest, ReplacesAnExistingFile) {
    const fs::path out = dir_ / "out.xml";
    writeBytes(out, "viejo");
    auto doc = ItacaDocument::load(data("centro.xml"));
    doc->replaceRoot("centro").setAttribute("codigo", "nuevo");
    doc->save(out);
    EXPECT_EQ(ItacaDocument::load(out)->select("/centro").item(0).attr("codigo"), "nuevo");
    EXPECT_EQ(listing(), std::vector<std::string>{"out.xml"});
}

TEST_F(SaveTest, FailedSaveLeavesEverythingAsItWas) {
    auto doc = ItacaDocument::load(data("centro.xml"));
    doc->replaceRoot("centro").setAttribute("codigo", "nuevo");

    writeBytes(dir_ / "archivo.txt", "soy un archivo");
    fs::create_directory(dir_ / "carpeta.xml");
    // A name that fits (254 bytes of the 255 a name may have), with no room left for the
    // temporary name made from it, however short the process number in that name is.
    const std::string longName = std::string(250, 'r') + ".xml";
    writeBytes(dir_ / longName, "viejo");

    const fs::path cases[] = {
        dir_ / "no_existe" / "out.xml",   // folder missing
        dir_ / "archivo.txt" / "out.xml", // "folder" is a file
        dir_ / "carpeta.xml",             // destination is a folder
        dir_ / longName,                  // the temporary file cannot be created
    };
    const auto before = listing();
    for (const auto& dest : cases) {
        SCOPED_TRACE(dest.string());
        const std::string message = errorOf([&] { doc->save(dest); });
        EXPECT_NE(message.find("No se puede guardar el archivo"), std::string::npos) << message;
        EXPECT_NE(message.find(dest.string()), std::string::npos) << message;
        EXPECT_EQ(listing(), before);
    }
    EXPECT_EQ(readBytes(dir_ / longName), "viejo");
    EXPECT_EQ(readBytes(dir_ / "archivo.txt"), "soy un archivo");
    EXPECT_TRUE(fs::is_directory(dir_ / "carpeta.xml"));
    EXPECT_TRUE(fs::is_empty(dir_ / "carpeta.xml"));
}

TEST_F(SaveTest, FailedSaveIntoReadOnlyFolderKeepsTheOldFile) {
    const fs::path out = dir_ / "out.xml";
    writeBytes(out, "viejo");
    fs::permissions(dir_, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    if (std::ofstream(dir_ / "prueba").is_open()) {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        GTEST_SKIP() << "this user writes into read-only folders (root)";
    }
    auto doc = ItacaDocument::load(data("centro.xml"));
    doc->replaceRoot("centro");
    EXPECT_THROW(doc->save(out), Error);
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(readBytes(out), "viejo");
    EXPECT_EQ(listing(), std::vector<std::string>{"out.xml"});
}

// Content written straight into the file must give the very bytes that the same content built
// as a tree gives: whatever reads the result sees the same document.
TEST_F(SaveTest, StreamedContentIsSavedExactlyAsTheSameTree) {
    const std::string tricky[] = {"Jos\xE9 & <Ana> \"q\" 'p' \x80 \x9C \x81 \xFF",
                                  std::string("a\x01"
                                              "b\tc\nd\re\0f",
                                              12),
                                  "", "  espacios  "};
    for (const char* input :
         {"centro.xml", "latin1.xml", "cp1252.xml", "utf16le.xml", "utf16_nodecl.xml"}) {
        SCOPED_TRACE(input);
        const auto build = [&](ItacaDocument& doc) {
            Element root = doc.replaceRoot("centro");
            root.setAttribute("codigo", tricky[0]);
            root.setAttribute("denominacion", tricky[1]);
            root.setAttribute("curso", "");
            return root;
        };

        auto tree = ItacaDocument::load(data(input));
        Element root = build(*tree);
        Element groups = root.appendChild("horarios_grupo");
        for (const std::string& v : tricky) {
            Element line = groups.appendChild("horario_grupo");
            line.setAttribute("plantilla", "M1");
            line.setAttribute("docente", v);
            line.setAttribute("idioma", "");
        }
        root.appendChild("horarios_ocupaciones");
        tree->save(dir_ / "arbol.xml");

        auto streamed = ItacaDocument::load(data(input));
        build(*streamed);
        streamed->save(dir_ / "flujo.xml", [&](ElementWriter& out) {
            out.startElement("horarios_grupo");
            for (const std::string& v : tricky) {
                out.startElement("horario_grupo");
                out.attribute("plantilla", "M1");
                out.attribute("docente", v);
                out.attribute("idioma", "");
                out.endElement();
            }
            out.endElement();
            out.startElement("horarios_ocupaciones");
            out.endElement();
        });

        EXPECT_EQ(readBytes(dir_ / "flujo.xml"), readBytes(dir_ / "arbol.xml"));
    }
}

TEST_F(SaveTest, StreamedContentIsWrittenInPiecesOfAnySize) {
    auto doc = ItacaDocument::load(data("latin1.xml"));
    doc->replaceRoot("centro");
    const int lines = 50000; // far beyond one piece handed to the output
    doc->save(dir_ / "out.xml", [&](ElementWriter& out) {
        out.startElement("horarios_grupo");
        for (int i = 0; i < lines; ++i) {
            out.startElement("horario_grupo");
            out.attribute("sesion_orden", std::to_string(i));
            out.attribute("docente", "Mu\xF1oz \x80");
            out.endElement();
        }
        out.endElement();
    });
    const auto again = ItacaDocument::load(dir_ / "out.xml");
    const ElementList read = again->select("/centro/horarios_grupo/horario_grupo");
    ASSERT_EQ(read.count(), static_cast<std::size_t>(lines));
    for (const int i : {0, 1, lines / 2, lines - 1}) {
        EXPECT_EQ(read.item(i).attr("sesion_orden"), std::to_string(i));
        EXPECT_EQ(read.item(i).attr("docente"), "Mu\xF1oz \x80");
    }
}

TEST_F(SaveTest, StreamedContentThatFailsSavesNothing) {
    const fs::path out = dir_ / "out.xml";
    writeBytes(out, "viejo");
    auto doc = ItacaDocument::load(data("centro.xml"));
    doc->replaceRoot("centro");
    const auto misuse = [&](const std::function<void(ElementWriter&)>& content) {
        EXPECT_THROW(doc->save(out, content), Error);
        EXPECT_EQ(readBytes(out), "viejo");
        EXPECT_EQ(listing(), std::vector<std::string>{"out.xml"});
    };
    misuse([](ElementWriter& w) {
        for (int i = 0; i < 100000; ++i) {
            w.startElement("horario_grupo");
            w.endElement();
        }
        throw Error("fallo a medias");
    });
    misuse([](ElementWriter& w) {
        w.startElement("horarios_grupo");
        w.startElement("horario_grupo");
        w.endElement();
        w.attribute("plantilla", "M1"); // its start tag is long closed
    });
    misuse([](ElementWriter& w) { w.endElement(); }); // the root is not the content's to close
}

// Section elements read the same whether their values are plain text, carry references or come
// with namespaces; changing one and saving the document keeps all its attributes in order.
TEST_F(SaveTest, SectionElementsKeepEveryAttributeHoweverTheyAreWritten) {
    writeBytes(dir_ / "c.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                               "<!DOCTYPE centro [<!ENTITY e \"E&#38;#38;F\">"
                               "<!ATTLIST aula def CDATA \"por defecto\">]>\n"
                               "<centro codigo=\"1\"><aulas>"
                               "<aula codigo=\" A1 \" nombre=\"x&#9;y &#233;\" vacio=\"\"/>"
                               "<aula codigo=\"A2\" nombre=\"&e;\"/>"
                               "<aula codigo=\"A3\" nombre=\"a&#38;b &lt;\"/>"
                               "<aula codigo=\"A4\" x:otro=\"1\" nombre=\"z\" xmlns:x=\"urn:x\"/>"
                               "</aulas></centro>");
    auto doc = ItacaDocument::load(dir_ / "c.xml");
    ElementList aulas = doc->select("/centro/aulas/aula");
    ASSERT_EQ(aulas.count(), 4u);
    EXPECT_EQ(aulas.item(0).attr("codigo"), "A1");
    EXPECT_EQ(aulas.item(0).attr("nombre"), "x\ty \xE9");
    EXPECT_TRUE(aulas.item(0).hasAttr("vacio"));
    EXPECT_EQ(aulas.item(0).attr("vacio"), "");
    EXPECT_EQ(aulas.item(1).attr("nombre"), "E&F");
    EXPECT_EQ(aulas.item(2).attr("nombre"), "a&b <");
    EXPECT_EQ(aulas.item(3).attr("nombre"), "z");
    EXPECT_FALSE(aulas.item(3).hasAttr("otro")) << "a prefixed attribute is another one";
    for (std::size_t i = 0; i < aulas.count(); ++i)
        EXPECT_FALSE(aulas.item(i).hasAttr("def")) << "DTD defaults are not read";
    EXPECT_NE(errorOf([&] {
                  aulas.item(2).attr("falta");
              }).find("Falta el atributo 'falta' en el elemento aula 3 de /centro/aulas"),
              std::string::npos);

    Element first = aulas.item(0);
    first.setAttribute("nombre", "cambiado");
    first.setAttribute("nuevo", "n");
    EXPECT_EQ(first.attr("codigo"), "A1");
    EXPECT_EQ(first.attr("nombre"), "cambiado");
    doc->save(dir_ / "out.xml");

    const std::string bytes = readBytes(dir_ / "out.xml");
    xmlDocPtr saved = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                                    XML_PARSE_NONET | XML_PARSE_NOBLANKS);
    ASSERT_NE(saved, nullptr);
    std::vector<std::string> lines;
    for (xmlNode* a = xmlDocGetRootElement(saved)->children->children; a; a = a->next) {
        std::string line;
        for (xmlAttr* p = a->properties; p != nullptr; p = p->next) {
            xmlChar* v = xmlNodeListGetString(saved, p->children, 1);
            line += std::string(reinterpret_cast<const char*>(p->name)) + "=" +
                    reinterpret_cast<const char*>(v) + ";";
            xmlFree(v);
        }
        lines.push_back(line);
    }
    xmlFreeDoc(saved);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "codigo= A1 ;nombre=cambiado;vacio=;nuevo=n;",
                         "codigo=A2;nombre=E&F;",
                         "codigo=A3;nombre=a&b <;",
                         "codigo=A4;otro=1;nombre=z;",
                     }));
}

TEST_F(SaveTest, SymbolicLinkIsReplacedNotWrittenThrough) {
    const fs::path target = dir_ / "destino.xml";
    const fs::path link = dir_ / "enlace.xml";
    writeBytes(target, "viejo");
    fs::create_symlink(target, link);

    auto doc = ItacaDocument::load(data("centro.xml"));
    doc->replaceRoot("centro").setAttribute("codigo", "nuevo");
    doc->save(link);

    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(ItacaDocument::load(link)->select("/centro").item(0).attr("codigo"), "nuevo");
    EXPECT_EQ(readBytes(target), "viejo");
    EXPECT_EQ(listing(), (std::vector<std::string>{"destino.xml", "enlace.xml"}));
}

} // namespace
