#include "text/error.h"
#include "text/text.h"

#include <climits>
#include <gtest/gtest.h>
#include <string>

using namespace pelmira;
using namespace pelmira::text;

namespace {

struct Conversion {
    const char* utf8;
    const char* cp1252;
};

TEST(Text, ToCp1252MapsEveryCharacterOrReplacesIt) {
    const Conversion cases[] = {
        {"Aula 3", "Aula 3"},
        {"Jos\xC3\xA9 Mu\xC3\xB1oz", "Jos\xE9 Mu\xF1oz"},
        {"VALENCI\xC3\x81", "VALENCI\xC1"},
        {"\xE2\x82\xAC", "\x80"},                                 // euro sign
        {"\xC5\xA0\xC5\xA1\xC5\x92\xC5\x93", "\x8A\x9A\x8C\x9C"}, // Š š Œ œ
        {"\xC5\xBD\xC5\xBE\xC5\xB8\xC3\xBF", "\x8E\x9E\x9F\xFF"}, // Ž ž Ÿ ÿ
        {"\xE2\x80\x9C"
         "a"
         "\xE2\x80\x9D",
         "\x93"
         "a"
         "\x94"}, // curly quotes
        {"\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D", "\x81\x8D\x8F\x90\x9D"},
        // Characters that Windows-1252 lacks: one '?' each, whatever their UTF-8 length.
        {"\xC5\x8C"
         "saka",
         "?saka"},                          // Ō
        {"\xE4\xB8\xAD\xE6\x96\x87", "??"}, // two CJK characters
        {"a\xF0\x9F\x98\x80"
         "b",
         "a?b"},           // emoji
        {"\xC2\x80", "?"}, // C1 control without a cp1252 byte
        // Ill-formed UTF-8: one '?' per bad byte.
        {"a\xC3", "a?"}, // truncated sequence
        {"\xC3(", "?("},
        {"\xC0\xAF", "??"},           // overlong '/'
        {"\xED\xA0\x80", "???"},      // UTF-16 surrogate
        {"\xF4\x90\x80\x80", "????"}, // above U+10FFFF
        {"\x80"
         "x",
         "?x"}, // stray continuation byte
    };
    for (const auto& c : cases)
        EXPECT_EQ(toCp1252(c.utf8), c.cp1252) << c.utf8;
}

TEST(Text, EveryCp1252ByteRoundTripsThroughUtf8) {
    for (int b = 1; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(toCp1252(toUtf8(one)), one) << b;
    }
    EXPECT_EQ(toUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(toUtf8("\x81"), "\xC2\x81");
    EXPECT_EQ(toUtf8("Espa\xF1"
                     "a"),
              "Espa\xC3\xB1"
              "a");
}

TEST(Text, CutUtf8CountsCharactersNotBytes) {
    const std::string accented = "\xC3\x81\xC3\x89\xC3\x8D\xC3\x93\xC3\x9A"
                                 "abcde"; // ÁÉÍÓÚabcde
    EXPECT_EQ(cutUtf8(accented, 3), "\xC3\x81\xC3\x89\xC3\x8D");
    EXPECT_EQ(cutUtf8(accented, 6), "\xC3\x81\xC3\x89\xC3\x8D\xC3\x93\xC3\x9A"
                                    "a");
    EXPECT_EQ(cutUtf8(accented, 10), accented);
    EXPECT_EQ(cutUtf8(accented, 50), accented);
    EXPECT_EQ(cutUtf8(accented, 0), "");
    EXPECT_EQ(cutUtf8("\xF0\x9F\x98\x80"
                      "xy",
                      2),
              "\xF0\x9F\x98\x80"
              "x");
    EXPECT_EQ(toCp1252(cutUtf8(accented, 5)).size(), 5u);
}

TEST(Text, TrimRemovesControlsAndBlanksAtBothEnds) {
    const Conversion cases[] = {
        {"  Aula\t", "Aula"},
        {"   ", ""},
        {"", ""},
        {"\r\n\x01 a  b \x1F", "a  b"},
        {"\xA0x\xA0", "\xA0x\xA0"}, // no-break space (cp1252 0xA0) is not trimmed
        {"abc", "abc"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trim(c.utf8), c.cp1252) << c.utf8;
    EXPECT_EQ(trimTrailingBlanks("  ab \t  "), "  ab \t");
    EXPECT_EQ(trimTrailingBlanks("    "), "");
}

TEST(Text, LeftAndRight) {
    EXPECT_EQ(left("abcdef", 3), "abc");
    EXPECT_EQ(left("ab", 3), "ab");
    EXPECT_EQ(right("abcdef", 2), "ef");
    EXPECT_EQ(right("ab", 5), "ab");
    EXPECT_EQ(right("ab", 0), "");
}

TEST(Text, FoldCase) {
    const std::pair<char, char> cases[] = {
        {'a', 'A'},       {'z', 'Z'},       {'A', 'A'},       {'1', '1'},       {'\xE1', '\xC1'},
        {'\xF1', '\xD1'}, {'\xE7', '\xC7'}, {'\xFE', '\xDE'}, {'\x9A', '\x8A'}, {'\x9C', '\x8C'},
        {'\x9E', '\x8E'}, {'\xFF', '\x9F'}, {'\xF7', '\xF7'}, // division sign
        {'\xDF', '\xDF'}, // sharp s has no single upper-case letter
        {'\xB5', '\xB5'}, {'\xAA', '\xAA'}, {'@', '@'},       {'[', '['},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(foldCase(in), out) << static_cast<int>(static_cast<unsigned char>(in));
    EXPECT_EQ(foldCase("M\xFAsica"), "M\xDASICA");
    EXPECT_TRUE(equalsIgnoreCase("gla", "GLA"));
    EXPECT_TRUE(equalsIgnoreCase("\x9C"
                                 "uvre",
                                 "\x8C"
                                 "UVRE"));
    EXPECT_FALSE(equalsIgnoreCase("gla", "glas"));
    EXPECT_FALSE(equalsIgnoreCase("a\xF7", "A\xD7"));
}

TEST(Text, CaseInsensitiveSetIgnoresLetterCase) {
    CaseInsensitiveSet set;
    set.insert("gla");
    set.insert("M\xFAs");
    EXPECT_TRUE(set.contains("GLA"));
    EXPECT_TRUE(set.contains("m\xDAS"));
    EXPECT_FALSE(set.contains("MUS"));
    set.clear();
    EXPECT_FALSE(set.contains("gla"));
}

TEST(Text, SortedStringListIsCaseSensitive) {
    SortedStringList list;
    list.add("M\xFAsica");
    list.add("M\xDASICA");
    list.add("M\xFAsica");
    EXPECT_EQ(list.size(), 2u);
    EXPECT_TRUE(list.contains("M\xFAsica"));
    EXPECT_TRUE(list.contains("M\xDASICA"));
    EXPECT_FALSE(list.contains("m\xFAsica"));
    list.clear();
    EXPECT_EQ(list.size(), 0u);
}

TEST(Text, StrToIntAcceptsDecimalAndHexadecimal) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"0", 0},
        {"42", 42},
        {"007", 7},
        {"   7", 7},
        {"-5", -5},
        {"+5", 5},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"$FF", 255},
        {"$ff", 255},
        {"$0001A2b3", 0x1A2B3},
        {"$7FFFFFFF", INT_MAX},
        {"$80000000", INT_MIN},
        {"$FFFFFFFF", -1},
        {"$0000000000FF", 255}, // leading zeros do not count towards the 32 bits
        {" -$10", -16},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(strToInt(in), out) << in;
}

TEST(Text, StrToIntRejectsEverythingElse) {
    const char* cases[] = {
        "",
        " ",
        "7 ",
        "\t7",
        "abc",
        "1a",
        "1.5",
        "$",
        "$G",
        "+",
        "-",
        "2147483648",
        "-2147483649",
        "$100000000",
        "0x10",
        "--1",
        "1 2",
        "$ 1",
        "99999999999999999999",
    };
    for (const char* in : cases)
        EXPECT_THROW(strToInt(in), Error) << '"' << in << '"';
}

TEST(Text, StrToIntMessageQuotesTheTextInUtf8) {
    auto message = [](std::string_view in) {
        try {
            strToInt(in);
        } catch (const Error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message("7 "), "'7 ' no es un valor entero válido");
    EXPECT_EQ(message("\xE9"), "'\xC3\xA9' no es un valor entero válido");
}

} // namespace
