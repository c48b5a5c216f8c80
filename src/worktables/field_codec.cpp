#include "worktables/field_codec.h"

#include "worktables/dbf_format.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace pelmira::worktables::codec {

namespace {

// Windows-1252 equivalents of the upper halves of the DOS code pages 437 and 850; '?' where
// Windows-1252 has no such character.
constexpr unsigned char kCp437[128] = {
    0xC7, 0xFC, 0xE9, 0xE2, 0xE4, 0xE0, 0xE5, 0xE7, 0xEA, 0xEB, 0xE8, 0xEF, 0xEE, 0xEC, 0xC4, 0xC5,
    0xC9, 0xE6, 0xC6, 0xF4, 0xF6, 0xF2, 0xFB, 0xF9, 0xFF, 0xD6, 0xDC, 0xA2, 0xA3, 0xA5, 0x3F, 0x83,
    0xE1, 0xED, 0xF3, 0xFA, 0xF1, 0xD1, 0xAA, 0xBA, 0xBF, 0x3F, 0xAC, 0xBD, 0xBC, 0xA1, 0xAB, 0xBB,
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    0x3F, 0xDF, 0x3F, 0x3F, 0x3F, 0x3F, 0xB5, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F,
    0x3F, 0xB1, 0x3F, 0x3F, 0x3F, 0x3F, 0xF7, 0x3F, 0xB0, 0x3F, 0xB7, 0x3F, 0x3F, 0xB2, 0x3F, 0xA0,
};
constexpr unsigned char kCp850[128] = {
    0xC7, 0xFC, 0xE9, 0xE2, 0xE4, 0xE0, 0xE5, 0xE7, 0xEA, 0xEB, 0xE8, 0xEF, 0xEE, 0xEC, 0xC4, 0xC5,
    0xC9, 0xE6, 0xC6, 0xF4, 0xF6, 0xF2, 0xFB, 0xF9, 0xFF, 0xD6, 0xDC, 0xF8, 0xA3, 0xD8, 0xD7, 0x83,
    0xE1, 0xED, 0xF3, 0xFA, 0xF1, 0xD1, 0xAA, 0xBA, 0xBF, 0xAE, 0xAC, 0xBD, 0xBC, 0xA1, 0xAB, 0xBB,
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0xC1, 0xC2, 0xC0, 0xA9, 0x3F, 0x3F, 0x3F, 0x3F, 0xA2, 0xA5, 0x3F,
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0xE3, 0xC3, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0xA4,
    0xF0, 0xD0, 0xCA, 0xCB, 0xC8, 0x3F, 0xCD, 0xCE, 0xCF, 0x3F, 0x3F, 0x3F, 0x3F, 0xA6, 0xCC, 0x3F,
    0xD3, 0xDF, 0xD4, 0xD2, 0xF5, 0xD5, 0xB5, 0xFE, 0xDE, 0xDA, 0xDB, 0xD9, 0xFD, 0xDD, 0xAF, 0xB4,
    0xAD, 0xB1, 0x3F, 0xBE, 0xB6, 0xA7, 0xF7, 0xB8, 0xB0, 0xA8, 0xB7, 0xB9, 0xB3, 0xB2, 0x3F, 0xA0,
};

std::uint32_t readBE32(const char* p) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}
std::uint64_t readBE64(const char* p) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}
std::uint64_t readLE64(const char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}
std::uint32_t readLE32(const char* p) {
    return dbf::readU32(reinterpret_cast<const unsigned char*>(p));
}
void writeBE32(char* p, std::uint32_t v) {
    for (int i = 3; i >= 0; --i) {
        p[i] = static_cast<char>(v & 0xFF);
        v >>= 8;
    }
}
void writeBE64(char* p, std::uint64_t v) {
    for (int i = 7; i >= 0; --i) {
        p[i] = static_cast<char>(v & 0xFF);
        v >>= 8;
    }
}

constexpr std::uint32_t kIntSign = 0x80000000u;
constexpr std::uint64_t kDoubleSign = 0x8000000000000000ull;

double decodeDouble7(std::uint64_t stored) {
    const std::uint64_t bits = (stored & kDoubleSign) ? (stored ^ kDoubleSign) : ~stored;
    return std::bit_cast<double>(bits);
}
std::uint64_t encodeDouble7(double v) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
    return (bits & kDoubleSign) ? ~bits : (bits | kDoubleSign);
}

// Visual FoxPro datetime: Julian day number and milliseconds since midnight.
std::string dateTimeText(std::int32_t julian, std::int32_t ms) {
    // Julian day to the Gregorian calendar (Fliegel and Van Flandern).
    long l = static_cast<long>(julian) + 68569;
    const long n = 4 * l / 146097;
    l = l - (146097 * n + 3) / 4;
    const long i = 4000 * (l + 1) / 1461001;
    l = l - 1461 * i / 4 + 31;
    const long j = 80 * l / 2447;
    const long day = l - 2447 * j / 80;
    l = j / 11;
    const long month = j + 2 - 12 * l;
    const long year = 100 * (n - 49) + i + l;
    const long secs = (ms < 0 ? 0 : ms) / 1000;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04ld%02ld%02ld%02ld%02ld%02ld", year, month, day,
                  secs / 3600 % 100, secs / 60 % 60, secs % 60);
    return buf;
}

} // namespace

bool isNumeric(Kind k) {
    return k == Kind::Ascii || k == Kind::Int7 || k == Kind::IntLE || k == Kind::Double7 ||
           k == Kind::DoubleLE || k == Kind::Currency;
}

std::string hex2(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFFu);
    return buf;
}

char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

std::string upperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = upperAscii(c);
    return out;
}

std::string_view stripPadding(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\0'))
        --n;
    return s.substr(0, n);
}

std::string_view trimBlanks(std::string_view s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\0'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\0'))
        --e;
    return s.substr(b, e - b);
}

std::string shortestDecimal(double v) {
    if (v == 0)
        return "0"; // -0 too
    if (!std::isfinite(v))
        return std::isnan(v) ? "NaN" : (v > 0 ? "INF" : "-INF");
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return std::string(buf, r.ptr);
}

std::optional<double> parseDecimal(std::string_view s) {
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    if (s.empty() || s.front() == '+')
        return std::nullopt;
    double v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

int logicalOf(char ch) {
    switch (ch) {
    case 'T':
    case 't':
    case 'Y':
    case 'y':
        return 1;
    case 'F':
    case 'f':
    case 'N':
    case 'n':
        return 0;
    default:
        return -1;
    }
}

bool codePageOf(unsigned languageDriver, const unsigned char*& codePage) {
    switch (languageDriver) {
    case 0x00:
    case 0x03:
    case dbf::kLanguageDriverAnsi:
    case 0x58:
    case 0x59:
        codePage = nullptr;
        return true;
    case 0x01:
        codePage = kCp437;
        return true;
    case 0x02:
        codePage = kCp850;
        return true;
    default:
        return false;
    }
}

std::string toWindows1252(std::string_view s, const unsigned char* codePage) {
    std::string out(s);
    if (codePage != nullptr)
        for (char& ch : out)
            if (static_cast<unsigned char>(ch) >= 0x80)
                ch = static_cast<char>(codePage[static_cast<unsigned char>(ch) - 0x80]);
    return out;
}

bool isBlank(const Column& c, std::string_view b) {
    switch (c.kind) {
    case Kind::Text:
    case Kind::Date:
    case Kind::Ascii:
        return trimBlanks(b).empty();
    case Kind::Logical:
        return logicalOf(b[0]) < 0;
    case Kind::Int7:
    case Kind::Double7:
    case Kind::DateTime:
        return std::all_of(b.begin(), b.end(), [](char ch) { return ch == 0; });
    case Kind::IntLE:
    case Kind::DoubleLE:
    case Kind::Currency:
        return false;
    case Kind::Memo:
    case Kind::NullFlags:
        return true;
    }
    return true;
}

Number readNumber(const Column& c, std::string_view b) {
    using State = Number::State;
    if (isBlank(c, b))
        return {};
    switch (c.kind) {
    case Kind::Ascii:
        if (auto v = parseDecimal(trimBlanks(b)))
            return {State::Value, *v};
        return {State::Invalid, 0};
    case Kind::Int7:
        return {State::Value,
                static_cast<double>(static_cast<std::int32_t>(readBE32(b.data()) ^ kIntSign))};
    case Kind::IntLE:
        return {State::Value, static_cast<double>(static_cast<std::int32_t>(readLE32(b.data())))};
    case Kind::Double7:
        return {State::Value, decodeDouble7(readBE64(b.data()))};
    case Kind::DoubleLE:
        return {State::Value, std::bit_cast<double>(readLE64(b.data()))};
    case Kind::Currency:
        return {State::Value,
                static_cast<double>(static_cast<std::int64_t>(readLE64(b.data()))) / 10000.0};
    default:
        return {};
    }
}

std::optional<std::string> readText(const Column& c, std::string_view b,
                                    const unsigned char* codePage) {
    switch (c.kind) {
    case Kind::Text:
        return toWindows1252(stripPadding(b), codePage);
    case Kind::Date:
        return std::string(trimBlanks(b));
    case Kind::Logical: {
        const int v = logicalOf(b[0]);
        return v < 0 ? std::string() : std::string(v ? "T" : "F");
    }
    case Kind::Int7:
    case Kind::IntLE:
    case Kind::Ascii:
    case Kind::Double7:
    case Kind::DoubleLE:
    case Kind::Currency: {
        const Number n = readNumber(c, b);
        if (n.state == Number::State::Invalid)
            return std::nullopt;
        if (n.state == Number::State::Blank)
            return std::string();
        if (c.kind == Kind::Int7 || c.kind == Kind::IntLE)
            return std::to_string(static_cast<long long>(n.value));
        return shortestDecimal(n.value);
    }
    case Kind::DateTime:
        if (isBlank(c, b))
            return std::string();
        return dateTimeText(static_cast<std::int32_t>(readLE32(b.data())),
                            static_cast<std::int32_t>(readLE32(b.data() + 4)));
    case Kind::Memo:
    case Kind::NullFlags:
        return std::string();
    }
    return std::string();
}

void writeText(const Column& c, std::string_view cp1252, char* p) {
    const std::size_t width = static_cast<std::size_t>(c.info.length);
    const std::string_view kept = cp1252.substr(0, std::min(width, cp1252.size()));
    std::memset(p, ' ', width);
    std::memcpy(p, kept.data(), kept.size());
}

WriteResult writeNumber(const Column& c, double v, char* p) {
    const std::size_t width = static_cast<std::size_t>(c.info.length);
    if (!std::isfinite(v))
        return WriteResult::NotFinite;
    switch (c.kind) {
    case Kind::Ascii: {
        char buf[400];
        const auto r =
            std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, c.info.decimals);
        std::string digits(buf, r.ptr);
        if (digits == "-0" ||
            (digits.starts_with("-0.") && digits.find_first_not_of("0.", 1) == std::string::npos))
            digits.erase(0, 1);
        if (r.ec != std::errc() || digits.size() > width)
            return WriteResult::NoRoom;
        std::memset(p, ' ', width);
        std::memcpy(p + width - digits.size(), digits.data(), digits.size());
        return WriteResult::Done;
    }
    case Kind::Int7: {
        const double r = std::round(v);
        if (r < -2147483647.0 || r > 2147483647.0)
            return WriteResult::NoRoom;
        writeBE32(p, static_cast<std::uint32_t>(static_cast<std::int32_t>(r)) ^ kIntSign);
        return WriteResult::Done;
    }
    case Kind::Double7:
        writeBE64(p, encodeDouble7(v));
        return WriteResult::Done;
    default:
        return WriteResult::Unsupported;
    }
}

void writeBlank(const Column& c, char* p) {
    const bool binary = c.kind == Kind::Int7 || c.kind == Kind::Double7;
    std::memset(p, binary ? 0 : ' ', static_cast<std::size_t>(c.info.length));
}

} // namespace pelmira::worktables::codec
