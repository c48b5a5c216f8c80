#pragma once

// 8-bit text. Inside Pelmira every value that comes from the centre document or goes to a work
// table is a Windows-1252 byte string (std::string holding cp1252 bytes). Messages for the user
// are UTF-8; data embedded in a message is converted with toUtf8().

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>

namespace pelmira::text {

// The two items of the language selector, as cp1252 bytes ("VALENCIÁ" ends in 0xC1).
inline constexpr std::string_view kValencian = "VALENCI\xC1";
inline constexpr std::string_view kCastilian = "CASTELLANO";

// UTF-8 to Windows-1252. A character that Windows-1252 lacks, and any byte that is not part of a
// valid UTF-8 sequence, becomes '?'.
std::string toCp1252(std::string_view utf8);

// Windows-1252 to UTF-8. The five codes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the C1 control characters of the same value, as Windows does.
std::string toUtf8(std::string_view cp1252);

// The first `chars` characters (code points) of a UTF-8 text; the whole text when shorter.
std::string_view cutUtf8(std::string_view utf8, std::size_t chars);

// Removes every character of code up to and including 32 from both ends; inner blanks stay.
// Works on UTF-8 and on cp1252 alike (those codes are single bytes in both).
std::string_view trim(std::string_view s);

// Removes trailing blanks (0x20) only: the padding of a dBase text field.
std::string_view trimTrailingBlanks(std::string_view s);

// First / last n characters of a cp1252 text (one byte per character).
std::string_view left(std::string_view s, std::size_t n);
std::string_view right(std::string_view s, std::size_t n);

// Case folding for the abbreviation lists: A-Z and the accented Windows-1252 letters fold to
// upper case, so "gla" equals "GLA" and "á" equals "Á".
char foldCase(char c);
std::string foldCase(std::string_view s);
bool equalsIgnoreCase(std::string_view a, std::string_view b);

// A list of abbreviations handed out so far, membership ignoring letter case (as above).
class CaseInsensitiveSet {
public:
    bool contains(std::string_view s) const;
    void insert(std::string_view s);
    void clear() { folded_.clear(); }

private:
    std::unordered_set<std::string> folded_;
};

// A sorted, case-sensitive string list (UsedCodes, UsedNames): "Música" and "MÚSICA" differ.
class SortedStringList {
public:
    bool contains(std::string_view s) const;
    void add(std::string_view s); // no-op when already present
    void clear() { items_.clear(); }
    std::size_t size() const { return items_.size(); }

private:
    std::set<std::string, std::less<>> items_;
};

// Integer conversion with the rules the program relies on: optional leading blanks, an optional
// sign, decimal digits, or "$" followed by hexadecimal digits (read as 32 bits, so "$FFFFFFFF" is
// -1). Anything else, trailing blanks included, throws pelmira::Error with the message
// "'<text>' no es un valor entero válido".
std::int32_t strToInt(std::string_view cp1252);

} // namespace pelmira::text
