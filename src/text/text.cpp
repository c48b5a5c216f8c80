#include "text/text.h"

#include "text/error.h"

#include <algorithm>
#include <array>

namespace pelmira::text {

namespace {

// Unicode code points of the Windows-1252 bytes 0x80 to 0x9F. The five bytes that the code page
// leaves undefined carry the C1 control character of the same value, as Windows maps them.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

constexpr char32_t kInvalid = 0xFFFFFFFF;

// Decodes one UTF-8 sequence at s[i]; advances i past it. An ill-formed sequence (stray
// continuation byte, truncated or overlong sequence, surrogate, value above U+10FFFF) yields
// kInvalid and consumes one byte, so that every bad byte stands for one character.
char32_t decodeUtf8(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    std::size_t len;
    char32_t cp;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        ++i;
        return kInvalid;
    }
    if (s.size() - i < len) {
        ++i;
        return kInvalid;
    }
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return kInvalid;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kInvalid;
    }
    i += len;
    return cp;
}

char fromCodePoint(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<char>(cp);
    const auto* it = std::find(kHighControls.begin(), kHighControls.end(), cp);
    if (it != kHighControls.end())
        return static_cast<char>(0x80 + (it - kHighControls.begin()));
    return '?';
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool isTrimmed(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

} // namespace

std::string toCp1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const char32_t cp = decodeUtf8(utf8, i);
        out += cp == kInvalid ? '?' : fromCodePoint(cp);
    }
    return out;
}

std::string toUtf8(std::string_view cp1252) {
    std::string out;
    out.reserve(cp1252.size() + cp1252.size() / 4);
    for (char c : cp1252) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80)
            out += c;
        else if (b < 0xA0)
            appendUtf8(out, kHighControls[b - 0x80]);
        else
            appendUtf8(out, b);
    }
    return out;
}

std::string_view cutUtf8(std::string_view utf8, std::size_t chars) {
    std::size_t i = 0;
    for (std::size_t n = 0; n < chars && i < utf8.size(); ++n)
        decodeUtf8(utf8, i);
    return utf8.substr(0, i);
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isTrimmed(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isTrimmed(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string_view trimTrailingBlanks(std::string_view s) {
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

std::string_view left(std::string_view s, std::size_t n) {
    return s.substr(0, n);
}

std::string_view right(std::string_view s, std::size_t n) {
    return n >= s.size() ? s : s.substr(s.size() - n);
}

char foldCase(char c) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 'a' && b <= 'z')
        return static_cast<char>(b - 0x20);
    // à..þ except the division sign ÷ (0xF7) fold onto À..Þ.
    if (b >= 0xE0 && b <= 0xFE && b != 0xF7)
        return static_cast<char>(b - 0x20);
    switch (b) {
    case 0x9A: // š
        return '\x8A';
    case 0x9C: // œ
        return '\x8C';
    case 0x9E: // ž
        return '\x8E';
    case 0xFF: // ÿ
        return '\x9F';
    default:
        return c;
    }
}

std::string foldCase(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = foldCase(c);
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (foldCase(a[i]) != foldCase(b[i]))
            return false;
    return true;
}

bool CaseInsensitiveSet::contains(std::string_view s) const {
    return folded_.find(foldCase(s)) != folded_.end();
}

void CaseInsensitiveSet::insert(std::string_view s) {
    folded_.insert(foldCase(s));
}

bool SortedStringList::contains(std::string_view s) const {
    return items_.find(s) != items_.end();
}

void SortedStringList::add(std::string_view s) {
    if (!contains(s))
        items_.emplace(s);
}

std::int32_t strToInt(std::string_view cp1252) {
    auto fail = [&]() -> std::int32_t {
        throw Error("'" + toUtf8(cp1252) + "' no es un valor entero válido");
    };
    std::string_view s = cp1252;
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (!s.empty() && s.front() == '$') {
        // Hexadecimal: the digits give the 32 bits of the value.
        s.remove_prefix(1);
        if (s.empty())
            return fail();
        std::uint64_t value = 0;
        for (char c : s) {
            int digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            else
                return fail();
            value = value * 16 + static_cast<std::uint64_t>(digit);
            if (value > 0xFFFFFFFFu)
                return fail();
        }
        auto bits = static_cast<std::uint32_t>(value);
        if (negative)
            bits = ~bits + 1u;
        return static_cast<std::int32_t>(bits);
    }
    if (s.empty())
        return fail();
    std::int64_t value = 0;
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    for (char c : s) {
        if (c < '0' || c > '9')
            return fail();
        value = value * 10 + (c - '0');
        if (value > limit)
            return fail();
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

} // namespace pelmira::text
