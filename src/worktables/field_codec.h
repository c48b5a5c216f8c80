#pragma once

// The bytes of one dBase field and the values they stand for: how each field type is read and
// written, the DOS code pages foreign tables are read in, and the small text helpers of the
// engine. Pure functions over bytes, with no table or file behind them.

#include "worktables/table.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelmira::worktables::codec {

// How the bytes of a field are read and written.
enum class Kind {
    Text,      // C
    Logical,   // L
    Date,      // D
    Ascii,     // N, F
    Int7,      // I of level 7: big-endian, sign bit inverted
    IntLE,     // I of Visual FoxPro
    Double7,   // O of level 7
    DoubleLE,  // B of Visual FoxPro
    Currency,  // Y
    DateTime,  // T
    Memo,      // M, G, P, and B outside Visual FoxPro
    NullFlags, // 0, hidden
};

struct Column {
    FieldInfo info;
    Kind kind = Kind::Text;
};

bool isNumeric(Kind kind);

// ---- text helpers ----
std::string hex2(unsigned v); // "0x1F"
char upperAscii(char c);
std::string upperAscii(std::string_view s);
std::string_view stripPadding(std::string_view s); // without trailing blanks and NULs
std::string_view trimBlanks(std::string_view s);   // without blanks and NULs at either end

// The shortest decimal form that reads back as the same value, never in exponent notation.
std::string shortestDecimal(double v);
// A decimal number as dBase writes them in N and F fields (and as a text may hold one).
std::optional<double> parseDecimal(std::string_view s);
// 1 for a true logical letter (T, Y), 0 for a false one (F, N), -1 for anything else (not set).
int logicalOf(char ch);

// ---- code pages ----
// The map of the upper half of a table's code page to Windows-1252, by the language driver id of
// its header: nullptr when the text needs no conversion. False for a driver we do not know.
bool codePageOf(unsigned languageDriver, const unsigned char*& codePage);
// `text` in Windows-1252, through such a map.
std::string toWindows1252(std::string_view text, const unsigned char* codePage);

// ---- reading ----
// `bytes` are the field's bytes within a record (info.length of them).
bool isBlank(const Column& c, std::string_view bytes);

// The value of a numeric field. `blank` when it holds none; `invalid` when an N or F field holds
// something that is no number.
struct Number {
    enum class State { Value, Blank, Invalid } state = State::Blank;
    double value = 0;
};
Number readNumber(const Column& c, std::string_view bytes);

// The text form of a field (see Table::text); nullopt when an N or F field holds no number.
std::optional<std::string> readText(const Column& c, std::string_view bytes,
                                    const unsigned char* codePage);

// ---- writing ----
// A text cut to the width of the field and padded with blanks.
void writeText(const Column& c, std::string_view cp1252, char* field);

enum class WriteResult { Done, NotFinite, NoRoom, Unsupported };
// A number in a N, F, I (level 7) or O field; the field is left as it was unless Done.
WriteResult writeNumber(const Column& c, double value, char* field);

// The bytes of a field that holds nothing.
void writeBlank(const Column& c, char* field);

} // namespace pelmira::worktables::codec
