// The Windows-1252 converter that libxml2 gets where it has none of its own, held against
// glibc's iconv, which libxml2 uses where it has one: function by function, and for whole
// documents read and written through libxml2. Its own program, because registering the
// converter changes libxml2 for the whole process.

#include "itaca/cp1252_encoding.h"
#include "itaca/document.h"
#include "support/temp_dir.h"

#include <cerrno>
#include <fstream>
#include <gtest/gtest.h>
#include <iconv.h>
#include <iterator>
#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace pelmira;
using namespace pelmira::itaca;
namespace fs = std::filesystem;

namespace {

std::string hex(std::string_view bytes) {
    std::ostringstream out;
    for (const char c : bytes)
        out << ' ' << std::hex << static_cast<int>(static_cast<unsigned char>(c));
    return out.str();
}

// What one call of a converter did: the bytes it wrote, how much of the input it took, and
// whether it stopped at something it cannot convert.
struct Conversion {
    std::string out;
    std::size_t consumed = 0;
    bool refused = false;
    bool operator==(const Conversion&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Conversion& c) {
    return os << "{out" << hex(c.out) << ", consumed " << c.consumed
              << (c.refused ? ", refused}" : "}");
}

constexpr std::size_t kRoom = 4096;

// One call of iconv(3) from `from` to `to`, with `room` bytes for the output.
Conversion viaIconv(const char* from, const char* to, std::string_view in,
                    std::size_t room = kRoom) {
    const iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        ADD_FAILURE() << "iconv cannot convert from " << from << " to " << to;
        return {};
    }
    std::string input(in);
    std::string out(room, '\0');
    char* inp = input.data();
    std::size_t inLeft = input.size();
    char* outp = out.data();
    std::size_t outLeft = room;
    errno = 0;
    const std::size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    Conversion c;
    c.refused = r == static_cast<std::size_t>(-1) && errno == EILSEQ;
    out.resize(room - outLeft);
    c.out = out;
    c.consumed = input.size() - inLeft;
    iconv_close(cd);
    return c;
}

using HandlerFunction = int (*)(unsigned char*, int*, const unsigned char*, int*);

// One call of a libxml2 handler function, which returns -2 when it refuses and otherwise the
// number of bytes it wrote.
Conversion viaHandler(HandlerFunction f, std::string_view in, std::size_t room = kRoom) {
    std::string input(in);
    std::string out(room, '\0');
    int outLen = static_cast<int>(room);
    int inLen = static_cast<int>(input.size());
    const int r = f(reinterpret_cast<unsigned char*>(out.data()), &outLen,
                    reinterpret_cast<const unsigned char*>(input.data()), &inLen);
    Conversion c;
    c.refused = r == -2;
    if (!c.refused) {
        EXPECT_EQ(r, outLen);
    }
    out.resize(static_cast<std::size_t>(outLen));
    c.out = out;
    c.consumed = static_cast<std::size_t>(inLen);
    return c;
}

Conversion readCp1252(std::string_view in, std::size_t room = kRoom) {
    return viaHandler(cp1252ToUtf8, in, room);
}
Conversion writeCp1252(std::string_view in, std::size_t room = kRoom) {
    return viaHandler(utf8ToCp1252, in, room);
}
Conversion iconvRead(std::string_view in, std::size_t room = kRoom) {
    return viaIconv("WINDOWS-1252", "UTF-8", in, room);
}
Conversion iconvWrite(std::string_view in, std::size_t room = kRoom) {
    return viaIconv("UTF-8", "WINDOWS-1252", in, room);
}

std::string utf8Of(char32_t cp) {
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (cp >> 18));
        s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

constexpr std::string_view kUndefined = "\x81\x8D\x8F\x90\x9D";

// --- The functions ----------------------------------------------------------------------------

TEST(Cp1252Handler, ReadsEveryByteAsIconvReadsIt) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(readCp1252(byte), iconvRead(byte)) << "byte" << hex(byte);
        all += byte;
    }
    // The undefined bytes cannot be read at all, as iconv cannot read them.
    for (const char c : kUndefined)
        EXPECT_TRUE(readCp1252(std::string(1, c)).refused) << hex(std::string(1, c));
    EXPECT_EQ(readCp1252("\x80"), (Conversion{"\xE2\x82\xAC", 1, false}));
    // All bytes at once: up to the first undefined byte.
    EXPECT_EQ(readCp1252(all), iconvRead(all));
    EXPECT_EQ(readCp1252(all).consumed, 0x81u);
}

TEST(Cp1252Handler, WritesEveryCharacterAsIconvWritesIt) {
    std::vector<std::string> differences;
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        const std::string utf8 = utf8Of(cp);
        const Conversion ours = writeCp1252(utf8);
        const Conversion theirs = iconvWrite(utf8);
        if (!(ours == theirs) && differences.size() < 20) {
            std::ostringstream d;
            d << "U+" << std::hex << static_cast<unsigned long>(cp) << ": " << ours << " but iconv "
              << theirs;
            differences.push_back(d.str());
        }
    }
    EXPECT_EQ(differences, std::vector<std::string>{});
    // The few that matter most, should iconv itself ever change.
    EXPECT_EQ(writeCp1252("\xE2\x82\xAC"), (Conversion{"\x80", 3, false})); // the euro sign
    EXPECT_EQ(writeCp1252("\xC3\xBF"), (Conversion{"\xFF", 2, false}));
    EXPECT_TRUE(writeCp1252("\xC2\x81").refused);     // C1 control of an undefined byte
    EXPECT_TRUE(writeCp1252("\xE4\xB8\xAD").refused); // outside the code page
    EXPECT_EQ(writeCp1252("a\xF3\xA0\x80\x81"), (Conversion{"a", 5, false})); // a language tag
}

struct StopCase {
    const char* name;
    bool reading; // Windows-1252 to UTF-8; else UTF-8 to Windows-1252
    std::string input;
    std::size_t room;
};

class Cp1252HandlerStops : public ::testing::TestWithParam<StopCase> {};

// Where a conversion stops within a longer text, and what it has written by then, is what
// libxml2 goes on from: the character reference it writes instead, or the error it reports.
TEST_P(Cp1252HandlerStops, WhereIconvStops) {
    const StopCase& c = GetParam();
    if (c.reading)
        EXPECT_EQ(readCp1252(c.input, c.room), iconvRead(c.input, c.room));
    else
        EXPECT_EQ(writeCp1252(c.input, c.room), iconvWrite(c.input, c.room));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Cp1252HandlerStops,
    ::testing::Values(
        StopCase{"UndefinedByteInText", true,
                 "ab\x80\xE9\x8D"
                 "cd",
                 kRoom},
        StopCase{"ReadOutputFullInsideACharacter", true, "a\x80\x80", 5},
        StopCase{"CharacterOutsideTheCodePage", false, "Caf\xC3\xA9 \xE4\xB8\xAD x", kRoom},
        StopCase{"CharacterAboveTheBasicPlane", false, "a\xF0\x9F\x98\x80", kRoom},
        StopCase{"ControlOfAnUndefinedByte", false, "\xE2\x82\xAC\xC2\x90z", kRoom},
        StopCase{"SequenceCutShortAtTheEnd", false, "ab\xE2\x82", kRoom},
        StopCase{"FourByteSequenceCutShort", false, "ab\xF0\x9F", kRoom},
        StopCase{"CutShortByAByteThatContinuesNothing", false, "ab\xE2\x41", kRoom},
        StopCase{"StrayContinuationByte", false, "a\x80z", kRoom},
        StopCase{"OverlongTwoBytes", false, "a\xC0\xAF", kRoom},
        StopCase{"OverlongThreeBytes", false, "a\xE0\x80\xAF", kRoom},
        StopCase{"OverlongCutShort", false, "a\xE0\x80", kRoom},
        StopCase{"Surrogate", false, "a\xED\xA0\x80", kRoom},
        StopCase{"AboveTheLastCharacter", false, "a\xF4\x90\x80\x80", kRoom},
        StopCase{"ByteThatStartsNothing", false, "a\xFFz", kRoom},
        StopCase{"LanguageTagsWhenTheOutputIsFull", false,
                 "ab\xF3\xA0\x80\x81\xF3\xA0\x81\xBF"
                 "c",
                 2},
        StopCase{"LanguageTagsWithRoomForOneMore", false,
                 "ab\xF3\xA0\x80\x81\xF3\xA0\x81\xBF"
                 "cd",
                 3},
        StopCase{"WriteOutputFull", false, "\xE2\x82\xAC\xE2\x82\xAC\xC3\xA9\xC3\xA9", 3}),
    [](const ::testing::TestParamInfo<StopCase>& info) { return info.param.name; });

TEST(Cp1252Handler, StartOfTheOutputWritesNothing) {
    unsigned char out[8];
    int outLen = 8;
    int inLen = 5;
    EXPECT_EQ(utf8ToCp1252(out, &outLen, nullptr, &inLen), 0);
    EXPECT_EQ(outLen, 0);
    EXPECT_EQ(inLen, 0);
}

// --- Whole documents through libxml2 ----------------------------------------------------------

// Every byte of the code page that an attribute value and a text can hold as it is.
std::string plainBytes() {
    std::string s;
    for (int b = 0x20; b < 0x100; ++b) {
        const char c = static_cast<char>(b);
        if (c != '"' && c != '&' && c != '<' && kUndefined.find(c) == std::string_view::npos)
            s += c;
    }
    return s;
}

std::string documentIn(const std::string& encoding) {
    const std::string bytes = plainBytes();
    return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n<!-- " + bytes +
           " -->\n<centro codigo=\"1\" denominacion=\"" + bytes +
           "\">\n<aulas>\n<aula codigo=\"A\" nombre_val=\"" + bytes +
           "\" nombre_cas=\"&#x4E2D;&#x1F600; &#129; &#x80; \x80\"/>\n<aula codigo=\"B\">" + bytes +
           "</aula>\n</aulas>\n</centro>\n";
}

std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// What a document read looks like to the readers: every value, or the load's message.
std::string valuesOf(const fs::path& file) {
    try {
        const auto doc = ItacaDocument::load(file);
        std::string values =
            doc->declaredEncoding() + "|" + doc->select("/centro").item(0).attr("denominacion");
        const ElementList aulas = doc->select("/centro/aulas/aula");
        for (std::size_t i = 0; i < aulas.count(); ++i)
            for (const char* name : {"codigo", "nombre_val", "nombre_cas"})
                if (aulas.item(i).hasAttr(name))
                    values += "|" + aulas.item(i).attr(name);
        return values;
    } catch (const Error& e) {
        return std::string("error: ") + e.what();
    }
}

std::string everyByte() {
    std::string s;
    for (int b = 0; b < 256; ++b)
        s += static_cast<char>(b);
    return s;
}

// Reads each document and writes it the three ways a document is written, into `out`: the
// values read, the bytes written and the values read back from them.
std::map<std::string, std::string> readAndWrite(const std::vector<fs::path>& documents,
                                                const fs::path& out) {
    std::map<std::string, std::string> results;
    for (const fs::path& file : documents) {
        const std::string name = file.filename().string();
        results[name + " read"] = valuesOf(file);
        std::shared_ptr<ItacaDocument> doc;
        try {
            doc = ItacaDocument::load(file);
        } catch (const LoadError&) {
            continue;
        }
        const fs::path tree = out / (name + ".arbol");
        doc->save(tree);
        const fs::path streamed = out / (name + ".flujo");
        doc->save(streamed, [](ElementWriter& w) {
            w.startElement("horarios_grupo");
            w.startElement("horario_grupo");
            w.attribute("docente", everyByte());
            w.endElement();
        });
        Element root = doc->replaceRoot("centro");
        root.setAttribute("denominacion", everyByte());
        root.appendChild("aulas").appendChild("aula").setAttribute("codigo", everyByte());
        const fs::path built = out / (name + ".nuevo");
        doc->save(built);
        for (const fs::path& saved : {tree, streamed, built}) {
            const std::string key = saved.filename().string();
            results[key] = readBytes(saved);
            results[key + " read back"] = valuesOf(saved);
        }
    }
    return results;
}

bool isFallback(const char* encoding) {
    xmlCharEncodingHandlerPtr handler = xmlFindCharEncodingHandler(encoding);
    if (handler == nullptr)
        return false;
    const bool ours = handler->input == cp1252ToUtf8 && handler->output == utf8ToCp1252;
    xmlCharEncCloseFunc(handler);
    return ours;
}

TEST(Cp1252Fallback, DocumentsAreReadAndWrittenAsThroughIconv) {
    if (!xmlHasFeature(XML_WITH_ICONV))
        GTEST_SKIP() << "this libxml2 has no iconv to compare with";
    const pelmira::testing::TempDir dir;
    std::vector<fs::path> documents = {fs::path(ITACA_TEST_DATA) / "cp1252.xml"};
    for (const char* encoding : {"windows-1252", "WINDOWS-1252", "cp1252", "CP1252"})
        documents.push_back(
            dir.write("decl-" + std::string(encoding) + ".xml", documentIn(encoding)));
    std::string undefined = documentIn("windows-1252");
    undefined.insert(undefined.find("codigo=\"B") + 8, "\x81");
    documents.push_back(dir.write("indefinido.xml", undefined));
    fs::create_directories(dir / "iconv");
    fs::create_directories(dir / "propio");

    // libxml2's own converter stays in use where it has one.
    const auto throughIconv = readAndWrite(documents, dir / "iconv");
    for (const char* encoding : {"windows-1252", "cp1252"})
        EXPECT_FALSE(isFallback(encoding)) << encoding;

    registerCp1252Fallback();
    for (const char* encoding : {"windows-1252", "WINDOWS-1252", "cp1252", "CP1252"})
        EXPECT_TRUE(isFallback(encoding)) << encoding;
    const auto throughFallback = readAndWrite(documents, dir / "propio");

    ASSERT_EQ(throughFallback.size(), throughIconv.size());
    for (const auto& [key, value] : throughIconv)
        EXPECT_EQ(throughFallback.at(key), value) << key;

    // The comparison covers what matters: characters written as references, values refused.
    EXPECT_NE(throughIconv.at("decl-cp1252.xml.arbol").find("&#20013;&#128512; &#129; &#128;"),
              std::string::npos);
    EXPECT_NE(throughIconv.at("decl-cp1252.xml.nuevo").find("&#129;"), std::string::npos);
    EXPECT_EQ(throughIconv.at("indefinido.xml read").rfind("error: ", 0), 0u);
}

} // namespace
