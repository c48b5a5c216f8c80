#include "worktables/table.h"

#include "platform/local_time.h"
#include "platform/locked_file.h"
#include "text/error.h"
#include "text/text.h"
#include "worktables/dbf_format.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <system_error>
#include <unordered_map>

namespace pelmira::worktables {

namespace fs = std::filesystem;
using platform::LockedFile;

namespace {

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

// The shortest decimal form that reads back as the same value, never in exponent notation.
std::string shortestDecimal(double v) {
    if (v == 0)
        return "0"; // -0 too
    if (!std::isfinite(v))
        return std::isnan(v) ? "NaN" : (v > 0 ? "INF" : "-INF");
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return std::string(buf, r.ptr);
}

// A decimal number as dBase writes them in N and F fields (and as a text may hold one).
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

struct Table::Impl {
    fs::path path;
    std::string name;
    LockedFile file;
    bool open = false;

    dbf::Layout layout = dbf::Layout::Level7;
    std::vector<unsigned char> header; // the stored header, header length bytes
    std::size_t recordLength = 0;
    const unsigned char* codePage = nullptr; // upper-half map to Windows-1252; null: none needed
    bool writable = false;
    std::string readOnlyReason;

    std::vector<Column> columns; // visible fields, in file order
    std::vector<FieldInfo> infos;
    std::unordered_map<std::string, std::size_t> byName; // upper-case name -> column

    // The records, count x recordLength bytes from `base` on, each starting with its status
    // byte. The bytes before `base` are the header as read (kept to spare a copy).
    std::vector<unsigned char> data;
    std::size_t base = 0;
    std::uint32_t count = 0;
    bool dirty = false;

    enum class State { Browse, Append, Edit };
    State state = State::Browse;
    std::string buffer;
    static constexpr std::int64_t kNone = -1;
    std::int64_t current = kNone; // 0-based

    // Lookup indexes: for a sorted set of columns, the key of every live record (the text forms
    // of those fields) to the positions holding it, in stored order.
    using Positions = std::set<std::uint32_t>;
    using Index = std::unordered_map<std::string, Positions>;
    std::map<std::vector<std::size_t>, Index> indexes;

    // ---- messages ----
    std::string fileText() const { return path.string(); }
    std::string tableText() const { return text::toUtf8(name); }

    [[noreturn]] void damaged(const std::string& why) const {
        throw Error("La tabla " + fileText() + " está dañada: " + why);
    }
    [[noreturn]] void unreadable(const std::string& why) const {
        throw Error("No se puede leer la tabla " + fileText() + ": " + why);
    }
    [[noreturn]] void fieldError(const Column& c, const std::string& why) const {
        throw Error("El campo " + text::toUtf8(c.info.name) + " de la tabla " + tableText() + " " +
                    why);
    }

    // ---- records ----
    char* recordAt(std::uint32_t i) {
        return reinterpret_cast<char*>(data.data() + base + std::size_t(i) * recordLength);
    }
    const char* recordAt(std::uint32_t i) const {
        return reinterpret_cast<const char*>(data.data() + base + std::size_t(i) * recordLength);
    }
    bool liveAt(std::uint32_t i) const { return recordAt(i)[0] != dbf::kDeleted; }

    // The record field access works on: the edit buffer while editing, else the current one.
    const char* view() const {
        if (state != State::Browse)
            return buffer.data();
        if (current == kNone)
            return nullptr;
        return recordAt(static_cast<std::uint32_t>(current));
    }

    void requireOpen() const {
        if (!open)
            throw Error("La tabla " + tableText() + " está cerrada");
    }

    const Column& column(std::string_view field) const {
        requireOpen();
        if (auto it = byName.find(upperAscii(field)); it != byName.end())
            return columns[it->second];
        throw Error("La tabla " + tableText() + " no tiene el campo " + text::toUtf8(field));
    }
    std::size_t columnIndex(std::string_view field) const {
        return static_cast<std::size_t>(&column(field) - columns.data());
    }

    // ---- reading fields ----
    std::string_view raw(const Column& c, const char* rec) const {
        return std::string_view(rec + 1 + c.info.offset, static_cast<std::size_t>(c.info.length));
    }

    std::string convert(std::string_view s) const {
        std::string out(s);
        if (codePage != nullptr)
            for (char& ch : out)
                if (static_cast<unsigned char>(ch) >= 0x80)
                    ch = static_cast<char>(codePage[static_cast<unsigned char>(ch) - 0x80]);
        return out;
    }

    bool blank(const Column& c, const char* rec) const {
        if (rec == nullptr)
            return true;
        const std::string_view b = raw(c, rec);
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

    static int logicalOf(char ch) {
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

    // The value of a numeric field; nullopt when it is blank.
    std::optional<double> numeric(const Column& c, const char* rec, std::uint32_t recNo) const {
        if (blank(c, rec))
            return std::nullopt;
        const std::string_view b = raw(c, rec);
        switch (c.kind) {
        case Kind::Ascii: {
            const std::string_view digits = trimBlanks(b);
            if (auto v = parseDecimal(digits))
                return v;
            damaged("el campo " + text::toUtf8(c.info.name) + " del registro " +
                    std::to_string(recNo) + " no contiene un número válido ('" +
                    text::toUtf8(std::string(digits)) + "')");
        }
        case Kind::Int7:
            return static_cast<double>(static_cast<std::int32_t>(readBE32(b.data()) ^ kIntSign));
        case Kind::IntLE:
            return static_cast<double>(static_cast<std::int32_t>(readLE32(b.data())));
        case Kind::Double7:
            return decodeDouble7(readBE64(b.data()));
        case Kind::DoubleLE:
            return std::bit_cast<double>(readLE64(b.data()));
        case Kind::Currency:
            return static_cast<double>(static_cast<std::int64_t>(readLE64(b.data()))) / 10000.0;
        default:
            return std::nullopt;
        }
    }

    bool isNumericKind(Kind k) const {
        return k == Kind::Ascii || k == Kind::Int7 || k == Kind::IntLE || k == Kind::Double7 ||
               k == Kind::DoubleLE || k == Kind::Currency;
    }

    std::uint32_t recNoOfView() const {
        return (state == State::Browse && current != kNone)
                   ? static_cast<std::uint32_t>(current + 1)
                   : 0;
    }

    std::string textOf(const Column& c, const char* rec, std::uint32_t recNo) const {
        if (rec == nullptr)
            return {};
        const std::string_view b = raw(c, rec);
        switch (c.kind) {
        case Kind::Text:
            return convert(stripPadding(b));
        case Kind::Date:
            return std::string(trimBlanks(b));
        case Kind::Logical: {
            const int v = logicalOf(b[0]);
            return v < 0 ? std::string() : std::string(v ? "T" : "F");
        }
        case Kind::Int7:
        case Kind::IntLE: {
            if (blank(c, rec))
                return {};
            const double v = *numeric(c, rec, recNo);
            return std::to_string(static_cast<long long>(v));
        }
        case Kind::Ascii:
        case Kind::Double7:
        case Kind::DoubleLE:
        case Kind::Currency: {
            const auto v = numeric(c, rec, recNo);
            return v ? shortestDecimal(*v) : std::string();
        }
        case Kind::DateTime:
            if (blank(c, rec))
                return {};
            return dateTimeText(static_cast<std::int32_t>(readLE32(b.data())),
                                static_cast<std::int32_t>(readLE32(b.data() + 4)));
        case Kind::Memo:
        case Kind::NullFlags:
            return {};
        }
        return {};
    }

    // ---- writing fields ----
    void requireEditing(const Column& c) const {
        if (state == State::Browse)
            fieldError(c, "no se puede cambiar: el registro no está en edición");
    }

    char* slot(const Column& c) { return buffer.data() + 1 + c.info.offset; }

    void storeText(const Column& c, std::string_view cp1252) {
        const std::size_t width = static_cast<std::size_t>(c.info.length);
        const std::string_view kept = cp1252.substr(0, std::min(width, cp1252.size()));
        char* p = slot(c);
        std::memset(p, ' ', width);
        std::memcpy(p, kept.data(), kept.size());
    }

    void storeNumber(const Column& c, double v) {
        char* p = slot(c);
        const std::size_t width = static_cast<std::size_t>(c.info.length);
        if (!std::isfinite(v))
            fieldError(c, "no admite el valor " + shortestDecimal(v));
        switch (c.kind) {
        case Kind::Ascii: {
            char buf[400];
            const auto r =
                std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, c.info.decimals);
            std::string digits(buf, r.ptr);
            if (digits == "-0" || (digits.starts_with("-0.") &&
                                   digits.find_first_not_of("0.", 1) == std::string::npos))
                digits.erase(0, 1);
            if (r.ec != std::errc() || digits.size() > width)
                fieldError(c, "no tiene sitio para el valor " + shortestDecimal(v));
            std::memset(p, ' ', width);
            std::memcpy(p + width - digits.size(), digits.data(), digits.size());
            return;
        }
        case Kind::Int7: {
            const double r = std::round(v);
            if (r < -2147483647.0 || r > 2147483647.0)
                fieldError(c, "no tiene sitio para el valor " + shortestDecimal(v));
            writeBE32(p, static_cast<std::uint32_t>(static_cast<std::int32_t>(r)) ^ kIntSign);
            return;
        }
        case Kind::Double7:
            writeBE64(p, encodeDouble7(v));
            return;
        default:
            fieldError(c, "no se puede escribir en este formato");
        }
    }

    // ---- locate indexes ----
    std::string keyOf(const std::vector<std::size_t>& cols, const char* rec,
                      std::uint32_t recNo) const {
        if (cols.size() == 1)
            return textOf(columns[cols[0]], rec, recNo);
        std::string key;
        for (std::size_t ci : cols) {
            const std::string t = textOf(columns[ci], rec, recNo);
            const std::uint32_t n = static_cast<std::uint32_t>(t.size());
            key.append(reinterpret_cast<const char*>(&n), sizeof n);
            key += t;
        }
        return key;
    }

    Index& indexFor(const std::vector<std::size_t>& cols) {
        if (auto it = indexes.find(cols); it != indexes.end())
            return it->second;
        Index index;
        for (std::uint32_t i = 0; i < count; ++i)
            if (liveAt(i))
                index[keyOf(cols, recordAt(i), i + 1)].insert(i);
        return indexes.emplace(cols, std::move(index)).first->second;
    }

    static void erasePosition(Index& index, const std::string& key, std::uint32_t pos) {
        if (auto it = index.find(key); it != index.end()) {
            it->second.erase(pos);
            if (it->second.empty())
                index.erase(it);
        }
    }

    // ---- cursor ----
    void postIfEditing() {
        if (state != State::Browse)
            post();
    }

    std::int64_t nextLive(std::int64_t from) const {
        for (std::int64_t i = from; i < static_cast<std::int64_t>(count); ++i)
            if (liveAt(static_cast<std::uint32_t>(i)))
                return i;
        return kNone;
    }

    void requireWritable() const {
        requireOpen();
        if (!writable)
            throw Error("No se puede modificar la tabla " + fileText() + ": " + readOnlyReason);
    }

    void post() {
        if (state == State::Browse)
            return;
        const bool live = buffer[0] != dbf::kDeleted;
        if (state == State::Append) {
            if (count == std::numeric_limits<std::uint32_t>::max() ||
                (static_cast<std::uint64_t>(count) + 1) * recordLength + header.size() + 1 >
                    std::numeric_limits<std::uint32_t>::max())
                throw Error("No se puede añadir un registro a la tabla " + fileText() +
                            ": la tabla está llena");
            const std::uint32_t pos = count;
            std::vector<std::pair<Index*, std::string>> keys;
            for (auto& [cols, index] : indexes)
                keys.emplace_back(&index, keyOf(cols, buffer.data(), pos + 1));
            data.insert(data.end(), buffer.begin(), buffer.end());
            ++count;
            if (live)
                for (auto& [index, key] : keys)
                    (*index)[key].insert(pos);
            current = pos;
        } else {
            const std::uint32_t pos = static_cast<std::uint32_t>(current);
            char* rec = recordAt(pos);
            const bool wasLive = rec[0] != dbf::kDeleted;
            std::vector<std::tuple<Index*, std::string, std::string>> keys;
            for (auto& [cols, index] : indexes)
                keys.emplace_back(&index, keyOf(cols, rec, pos + 1),
                                  keyOf(cols, buffer.data(), pos + 1));
            std::memcpy(rec, buffer.data(), recordLength);
            for (auto& [index, oldKey, newKey] : keys) {
                if (wasLive == live && oldKey == newKey)
                    continue;
                if (wasLive)
                    erasePosition(*index, oldKey, pos);
                if (live)
                    (*index)[newKey].insert(pos);
            }
        }
        dirty = true;
        state = State::Browse;
        buffer.clear();
    }

    std::string blankRecord() const {
        std::string rec(recordLength, ' ');
        for (const Column& c : columns)
            if (c.kind == Kind::Int7 || c.kind == Kind::Double7)
                std::memset(rec.data() + 1 + c.info.offset, 0,
                            static_cast<std::size_t>(c.info.length));
        return rec;
    }

    // ---- the file ----
    // Writes the whole table to a new locked file beside it and puts that in its place. The
    // lock moves to the new file with it, so the table is held throughout.
    void save(const std::string& what) {
        std::vector<unsigned char> head = header;
        const std::tm local = platform::localTime(std::time(nullptr));
        head[dbf::kDateOffset] = static_cast<unsigned char>(std::clamp(local.tm_year, 0, 255));
        head[dbf::kDateOffset + 1] = static_cast<unsigned char>(local.tm_mon + 1);
        head[dbf::kDateOffset + 2] = static_cast<unsigned char>(local.tm_mday);
        dbf::writeU32(head.data() + dbf::kRecordCountOffset, count);
        static const unsigned char endOfFile = dbf::kEndOfFile;

        LockedFile fresh =
            LockedFile::createTemporary(path.parent_path(), path.filename().string(), what);
        fresh.writeAllAndSync({{head.data(), head.size()},
                               {data.data() + base, std::size_t(count) * recordLength},
                               {&endOfFile, 1}},
                              what);
        fresh.copyPermissionsFrom(file);
        fresh.replace(path, file, what);
        file = std::move(fresh);
        dirty = false;
    }

    // ---- parsing ----
    void parse(std::vector<unsigned char> bytes);

    static std::unique_ptr<Impl> load(const fs::path& file, std::string name) {
        const std::string what = "No se puede abrir la tabla " + file.string();
        auto impl = std::make_unique<Impl>();
        impl->path = file;
        impl->name = std::move(name);
        impl->file = LockedFile::openExisting(file, what);
        impl->parse(impl->file.readAll(what));
        impl->open = true;
        impl->current = impl->nextLive(0);
        return impl;
    }
};

void Table::Impl::parse(std::vector<unsigned char> bytes) {
    const std::size_t size = bytes.size();
    if (size == 0)
        damaged("el archivo está vacío");
    if (!dbf::layoutOf(bytes[0], layout))
        unreadable("no es una tabla dBase de un formato conocido (versión " + hex2(bytes[0]) + ")");

    const bool level7 = layout == dbf::Layout::Level7;
    const std::size_t fixed = level7 ? dbf::kLevel7HeaderSize : dbf::kClassicHeaderSize;
    const std::size_t descSize = level7 ? dbf::kLevel7DescriptorSize : dbf::kClassicDescriptorSize;
    const std::size_t nameSize = level7 ? dbf::kLevel7NameSize - 1 : dbf::kClassicNameSize;
    const std::size_t typeAt = level7 ? dbf::kLevel7TypeOffset : dbf::kClassicTypeOffset;
    const std::size_t lengthAt = level7 ? dbf::kLevel7LengthOffset : dbf::kClassicLengthOffset;
    const std::size_t decimalsAt =
        level7 ? dbf::kLevel7DecimalsOffset : dbf::kClassicDecimalsOffset;

    if (size < fixed)
        damaged("la cabecera está incompleta (el archivo tiene " + std::to_string(size) +
                " bytes)");
    const std::uint32_t declaredCount = dbf::readU32(bytes.data() + dbf::kRecordCountOffset);
    const std::size_t headerLength = dbf::readU16(bytes.data() + dbf::kHeaderLengthOffset);
    const std::size_t declaredRecordLength = dbf::readU16(bytes.data() + dbf::kRecordLengthOffset);

    if (headerLength < fixed + 1)
        damaged("la longitud de la cabecera (" + std::to_string(headerLength) +
                " bytes) es menor que el mínimo (" + std::to_string(fixed + 1) + ")");
    if (headerLength > size)
        damaged("la cabecera (" + std::to_string(headerLength) +
                " bytes) es más larga que el archivo (" + std::to_string(size) + " bytes)");

    // Field descriptors, up to the terminator, all of them inside the header.
    std::size_t pos = fixed;
    std::size_t offset = 0;
    for (;;) {
        if (pos >= headerLength)
            damaged("los descriptores de campo no terminan dentro de la cabecera");
        if (bytes[pos] == dbf::kTerminator)
            break;
        if (pos + descSize > headerLength)
            damaged("el descriptor de campo " + std::to_string(columns.size() + 1) +
                    " pasa del final de la cabecera");
        const unsigned char* d = bytes.data() + pos;
        std::size_t nameLength = 0;
        while (nameLength < nameSize && d[nameLength] != 0)
            ++nameLength;
        const std::string fieldName(
            stripPadding(std::string_view(reinterpret_cast<const char*>(d), nameLength)));
        const char type = static_cast<char>(d[typeAt]);
        std::size_t length = d[lengthAt];
        int decimals = d[decimalsAt];
        const std::string shown = fieldName.empty() ? "número " + std::to_string(columns.size() + 1)
                                                    : text::toUtf8(fieldName);
        if (fieldName.empty())
            damaged("el campo " + shown + " no tiene nombre");

        Column c;
        auto fixedLength = [&](std::size_t wanted) {
            if (length != wanted)
                damaged("el campo " + shown + " de tipo " + std::string(1, type) + " mide " +
                        std::to_string(length) + " bytes en lugar de " + std::to_string(wanted));
        };
        switch (type) {
        case 'C':
            c.kind = Kind::Text;
            if (!level7) {
                // FoxPro and Clipper keep the high byte of long text fields in the decimals.
                length |= static_cast<std::size_t>(decimals) << 8;
                decimals = 0;
            }
            break;
        case 'N':
        case 'F':
            c.kind = Kind::Ascii;
            if (static_cast<std::size_t>(decimals) >= length && decimals != 0)
                damaged("el campo " + shown + " tiene más decimales (" + std::to_string(decimals) +
                        ") que cifras (" + std::to_string(length) + ")");
            break;
        case 'L':
            c.kind = Kind::Logical;
            fixedLength(1);
            break;
        case 'D':
            c.kind = Kind::Date;
            fixedLength(8);
            break;
        case 'I':
            c.kind = level7 ? Kind::Int7 : Kind::IntLE;
            fixedLength(4);
            break;
        case 'O':
            c.kind = Kind::Double7;
            fixedLength(8);
            break;
        case 'B':
            if (layout == dbf::Layout::VisualFoxPro) {
                c.kind = Kind::DoubleLE;
                fixedLength(8);
            } else {
                c.kind = Kind::Memo;
            }
            break;
        case 'Y':
            c.kind = Kind::Currency;
            fixedLength(8);
            break;
        case 'T':
            c.kind = Kind::DateTime;
            fixedLength(8);
            break;
        case 'M':
        case 'G':
        case 'P':
            c.kind = Kind::Memo;
            break;
        case '0':
            c.kind = Kind::NullFlags;
            break;
        default:
            unreadable("el campo " + shown + " es de un tipo desconocido (" +
                       (type >= 0x21 && type < 0x7F ? "'" + std::string(1, type) + "'"
                                                    : hex2(static_cast<unsigned char>(type))) +
                       ")");
        }
        if (length == 0)
            damaged("el campo " + shown + " mide 0 bytes");
        c.info.name = fieldName;
        c.info.type = type;
        c.info.length = static_cast<int>(length);
        c.info.decimals = decimals;
        c.info.offset = static_cast<int>(offset);
        offset += length;
        if (c.kind != Kind::NullFlags)
            columns.push_back(c);
        pos += descSize;
    }
    if (layout == dbf::Layout::VisualFoxPro &&
        headerLength < pos + 1 + dbf::kVisualFoxProBacklinkSize)
        damaged("la cabecera de Visual FoxPro no tiene sitio para sus 263 bytes finales");
    if (columns.empty())
        damaged("no tiene campos");
    if (declaredRecordLength != offset + 1)
        damaged("la longitud de registro (" + std::to_string(declaredRecordLength) +
                " bytes) no es la suma de las longitudes de los campos más uno (" +
                std::to_string(offset + 1) + ")");
    recordLength = declaredRecordLength;

    // The records must fill the file exactly, with or without the end-of-file mark.
    const std::uint64_t expected =
        static_cast<std::uint64_t>(headerLength) +
        static_cast<std::uint64_t>(declaredCount) * static_cast<std::uint64_t>(recordLength);
    if (size < expected) {
        const std::uint64_t room = (size - headerLength) / recordLength;
        damaged("la cabecera anuncia " + std::to_string(declaredCount) +
                " registros, pero el archivo solo tiene sitio para " + std::to_string(room));
    }
    if (size > expected && !(size == expected + 1 && bytes.back() == dbf::kEndOfFile))
        damaged("el archivo tiene " + std::to_string(size - expected) + " bytes de más tras los " +
                std::to_string(declaredCount) + " registros que anuncia la cabecera");

    const unsigned ldid = bytes[dbf::kLanguageDriverOffset];
    switch (ldid) {
    case 0x00:
    case 0x03:
    case dbf::kLanguageDriverAnsi:
    case 0x58:
    case 0x59:
        codePage = nullptr;
        break;
    case 0x01:
        codePage = kCp437;
        break;
    case 0x02:
        codePage = kCp850;
        break;
    default:
        unreadable("usa una página de códigos que Pelmira no conoce (controlador de idioma " +
                   hex2(ldid) + ")");
    }

    header.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(headerLength));
    bytes.resize(static_cast<std::size_t>(expected)); // without the end-of-file mark
    data = std::move(bytes);
    base = headerLength;
    count = declaredCount;
    for (std::uint32_t i = 0; i < count; ++i) {
        const char status = recordAt(i)[0];
        if (status != dbf::kLive && status != dbf::kDeleted)
            damaged("el registro " + std::to_string(i + 1) +
                    " empieza por una marca desconocida (" +
                    hex2(static_cast<unsigned char>(status)) + ")");
    }

    for (std::size_t i = 0; i < columns.size(); ++i) {
        infos.push_back(columns[i].info);
        byName.emplace(upperAscii(columns[i].info.name), i); // the first of a repeated name wins
    }

    if (!level7)
        readOnlyReason = "Pelmira solo escribe tablas dBase de nivel 7";
    else if (codePage != nullptr)
        readOnlyReason = "Pelmira solo escribe tablas en la página de códigos Windows-1252";
    else if (std::any_of(columns.begin(), columns.end(),
                         [](const Column& c) { return c.kind == Kind::DateTime; }))
        readOnlyReason = "tiene campos de un tipo que Pelmira no escribe";
    writable = readOnlyReason.empty();
}

// ---------------------------------------------------------------------------------------------

Table::Table(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Table::Table(Table&&) noexcept = default;
Table& Table::operator=(Table&& other) noexcept {
    if (this != &other) {
        if (impl_) {
            try {
                close();
            } catch (...) {
            }
        }
        impl_ = std::move(other.impl_);
    }
    return *this;
}

Table::~Table() {
    if (!impl_)
        return;
    try {
        close();
    } catch (...) {
        // Reported only through close().
    }
}

namespace {

std::string upperFileName(std::string_view name) {
    return upperAscii(name) + ".DBF";
}

void checkTableName(std::string_view name, const std::string& what) {
    if (name.empty() || name.find_first_of("/\\:") != std::string_view::npos ||
        name.find('\0') != std::string_view::npos)
        throw Error(what + ": el nombre de la tabla no es válido");
}

} // namespace

Table Table::rebuild(const WorkFolder& folder, std::string_view name, const Schema& schema) {
    const std::string fileName = upperFileName(name);
    const fs::path target = folder.dir() / fileName;
    const std::string what = "No se puede crear la tabla " + target.string();
    checkTableName(name, what);

    std::error_code ec;
    if (!fs::is_directory(folder.dir(), ec))
        throw Error(what + ": no existe la carpeta " + folder.dir().string());

    // The level-7 header of the schema.
    if (schema.empty())
        throw Error(what + ": la tabla no tiene campos");
    auto impl = std::make_unique<Impl>();
    impl->path = target;
    impl->name = std::string(name);
    impl->layout = dbf::Layout::Level7;
    const std::size_t headerLength =
        dbf::kLevel7HeaderSize + dbf::kLevel7DescriptorSize * schema.size() + 1;
    if (headerLength > 0xFFFF)
        throw Error(what + ": tiene demasiados campos");
    std::vector<unsigned char> header(headerLength, 0);
    header[0] = dbf::kVersionLevel7;
    dbf::writeU16(header.data() + dbf::kHeaderLengthOffset,
                  static_cast<std::uint16_t>(headerLength));
    header[dbf::kLanguageDriverOffset] = dbf::kLanguageDriverAnsi;
    std::memcpy(header.data() + dbf::kLanguageDriverNameOffset, dbf::kLanguageDriverName,
                std::strlen(dbf::kLanguageDriverName));
    std::size_t offset = 0;
    for (std::size_t i = 0; i < schema.size(); ++i) {
        const FieldSpec& f = schema[i];
        const std::string shown = text::toUtf8(f.name);
        if (f.name.empty() || f.name.size() > dbf::kLevel7NameSize - 1 ||
            std::any_of(f.name.begin(), f.name.end(), [](char ch) {
                return static_cast<unsigned char>(ch) <= 0x20 ||
                       static_cast<unsigned char>(ch) >= 0x7F;
            }))
            throw Error(what + ": el nombre de campo '" + shown + "' no es válido");
        for (std::size_t j = 0; j < i; ++j)
            if (upperAscii(schema[j].name) == upperAscii(f.name))
                throw Error(what + ": el campo " + shown + " está repetido");
        Column c;
        c.info.name = f.name;
        c.info.decimals = 0;
        c.info.offset = static_cast<int>(offset);
        switch (f.type) {
        case FieldType::Text:
            if (f.width < 1 || f.width > 254)
                throw Error(what + ": el campo " + shown + " tiene una anchura no válida (" +
                            std::to_string(f.width) + ")");
            c.info.type = 'C';
            c.info.length = f.width;
            c.kind = Kind::Text;
            break;
        case FieldType::Logical:
            c.info.type = 'L';
            c.info.length = 1;
            c.kind = Kind::Logical;
            break;
        case FieldType::Integer:
            c.info.type = 'I';
            c.info.length = 4;
            c.kind = Kind::Int7;
            break;
        case FieldType::Float:
            c.info.type = 'O';
            c.info.length = 8;
            c.kind = Kind::Double7;
            break;
        }
        unsigned char* d = header.data() + dbf::kLevel7HeaderSize + dbf::kLevel7DescriptorSize * i;
        std::memcpy(d, f.name.data(), f.name.size());
        d[dbf::kLevel7TypeOffset] = static_cast<unsigned char>(c.info.type);
        d[dbf::kLevel7LengthOffset] = static_cast<unsigned char>(c.info.length);
        d[dbf::kLevel7DecimalsOffset] = 0;
        offset += static_cast<std::size_t>(c.info.length);
        impl->columns.push_back(c);
    }
    if (offset + 1 > dbf::kMaxRecordLength)
        throw Error(what + ": los registros serían demasiado largos");
    header[headerLength - 1] = dbf::kTerminator;
    dbf::writeU16(header.data() + dbf::kRecordLengthOffset, static_cast<std::uint16_t>(offset + 1));
    impl->header = std::move(header);
    impl->recordLength = offset + 1;
    for (std::size_t i = 0; i < impl->columns.size(); ++i) {
        impl->infos.push_back(impl->columns[i].info);
        impl->byName.emplace(upperAscii(impl->columns[i].info.name), i);
    }
    impl->writable = true;

    // Hold every existing spelling of the table while it is replaced, so that a table another
    // program has open is reported and left alone.
    std::vector<LockedFile> previous;
    const auto matchesOf = [&](const std::string& file) {
        std::vector<fs::path> found;
        for (fs::directory_iterator it(folder.dir(), ec), end; !ec && it != end; it.increment(ec))
            if (upperAscii(it->path().filename().string()) == file)
                found.push_back(it->path());
        return found;
    };
    const std::vector<fs::path> oldFiles = matchesOf(fileName);
    for (const fs::path& old : oldFiles)
        previous.push_back(LockedFile::openExisting(old, what));
    folder.remove(upperAscii(name) + ".MDX");

    impl->save(what); // writes the empty table and keeps it locked
    for (const fs::path& old : oldFiles) {
        std::error_code eq;
        if (old.filename() != target.filename() && !fs::equivalent(old, target, eq))
            fs::remove(old, eq);
    }
    previous.clear();
    impl->open = true;
    impl->current = Impl::kNone;
    return Table(std::move(impl));
}

Table Table::open(const WorkFolder& folder, std::string_view name) {
    const fs::path file = folder.pathFor(upperFileName(name));
    checkTableName(name, "No se puede abrir la tabla " + file.string());
    return Table(Impl::load(file, std::string(name)));
}

Table Table::openFile(const fs::path& file) {
    return Table(Impl::load(file, file.stem().string()));
}

void Table::close() {
    if (!impl_ || !impl_->open)
        return;
    Impl& t = *impl_;
    t.state = Impl::State::Browse; // an unposted record is dropped
    t.buffer.clear();
    if (t.dirty)
        t.save("No se puede guardar la tabla " + t.fileText());
    t.file.close();
    t.open = false;
    t.indexes.clear();
    t.data.clear();
    t.data.shrink_to_fit();
    t.current = Impl::kNone;
}

bool Table::isOpen() const {
    return impl_ && impl_->open;
}

const fs::path& Table::path() const {
    static const fs::path none;
    return impl_ ? impl_->path : none;
}

const std::string& Table::name() const {
    static const std::string none;
    return impl_ ? impl_->name : none;
}

const std::vector<FieldInfo>& Table::fields() const {
    static const std::vector<FieldInfo> none;
    return impl_ ? impl_->infos : none;
}

bool Table::hasField(std::string_view field) const {
    return impl_ && impl_->byName.contains(upperAscii(field));
}

std::uint32_t Table::recordCount() const {
    return impl_ ? impl_->count : 0;
}

bool Table::first() {
    Impl& t = *impl_;
    t.requireOpen();
    t.postIfEditing();
    t.current = t.nextLive(0);
    return t.current != Impl::kNone;
}

bool Table::next() {
    Impl& t = *impl_;
    t.requireOpen();
    t.postIfEditing();
    if (t.current == Impl::kNone)
        return false;
    t.current = t.nextLive(t.current + 1);
    return t.current != Impl::kNone;
}

bool Table::eof() const {
    return !impl_ || !impl_->open ||
           (impl_->state == Impl::State::Browse && impl_->current == Impl::kNone);
}

std::uint32_t Table::recNo() const {
    if (!impl_ || impl_->current == Impl::kNone)
        return 0;
    return static_cast<std::uint32_t>(impl_->current + 1);
}

void Table::go(std::uint32_t recNo) {
    Impl& t = *impl_;
    t.requireOpen();
    t.postIfEditing();
    if (recNo < 1 || recNo > t.count)
        throw Error("La tabla " + t.tableText() + " no tiene el registro " + std::to_string(recNo));
    t.current = recNo - 1;
}

bool Table::isDeleted() const {
    const Impl& t = *impl_;
    if (t.state != Impl::State::Browse)
        return t.buffer[0] == dbf::kDeleted;
    return t.open && t.current != Impl::kNone && !t.liveAt(static_cast<std::uint32_t>(t.current));
}

void Table::append() {
    Impl& t = *impl_;
    t.requireWritable();
    t.postIfEditing();
    t.buffer = t.blankRecord();
    t.state = Impl::State::Append;
}

void Table::edit() {
    Impl& t = *impl_;
    t.requireWritable();
    if (t.state == Impl::State::Edit)
        return;
    t.postIfEditing();
    if (t.current == Impl::kNone)
        throw Error("No se puede editar la tabla " + t.tableText() + ": no hay registro actual");
    const char* rec = t.recordAt(static_cast<std::uint32_t>(t.current));
    t.buffer.assign(rec, t.recordLength);
    t.state = Impl::State::Edit;
}

void Table::post() {
    Impl& t = *impl_;
    t.requireOpen();
    t.post();
}

void Table::cancel() {
    Impl& t = *impl_;
    t.state = Impl::State::Browse;
    t.buffer.clear();
}

void Table::deleteRecord() {
    Impl& t = *impl_;
    t.requireWritable();
    if (t.state == Impl::State::Append) {
        cancel(); // the record was never stored
        return;
    }
    cancel();
    if (t.current == Impl::kNone)
        throw Error("No se puede borrar en la tabla " + t.tableText() + ": no hay registro actual");
    const std::uint32_t pos = static_cast<std::uint32_t>(t.current);
    char* rec = t.recordAt(pos);
    if (rec[0] == dbf::kDeleted)
        return;
    for (auto& [cols, index] : t.indexes)
        Impl::erasePosition(index, t.keyOf(cols, rec, pos + 1), pos);
    rec[0] = dbf::kDeleted;
    t.dirty = true;
}

void Table::pack() {
    Impl& t = *impl_;
    t.requireWritable();
    t.postIfEditing();
    std::size_t kept = 0;
    for (std::uint32_t i = 0; i < t.count; ++i) {
        if (!t.liveAt(i))
            continue;
        if (kept != i)
            std::memmove(t.recordAt(static_cast<std::uint32_t>(kept)), t.recordAt(i),
                         t.recordLength);
        ++kept;
    }
    if (kept != t.count) {
        t.count = static_cast<std::uint32_t>(kept);
        t.data.resize(t.base + kept * t.recordLength);
        t.indexes.clear(); // positions have moved; rebuilt on the next lookup
        t.dirty = true;
    }
    t.current = t.nextLive(0);
    if (t.dirty)
        t.save("No se puede compactar la tabla " + t.fileText());
}

std::string Table::text(std::string_view field) const {
    const Impl& t = *impl_;
    const Column& c = t.column(field);
    return t.textOf(c, t.view(), t.recNoOfView());
}

std::int32_t Table::integer(std::string_view field) const {
    const Impl& t = *impl_;
    const Column& c = t.column(field);
    const char* rec = t.view();
    if (c.kind == Kind::Text) {
        const std::string s = t.textOf(c, rec, t.recNoOfView());
        const std::string_view v = trimBlanks(s);
        return v.empty() ? 0 : text::strToInt(v);
    }
    if (!t.isNumericKind(c.kind))
        t.fieldError(c, "no es numérico");
    const auto v = t.numeric(c, rec, t.recNoOfView());
    if (!v)
        return 0;
    const double r = std::round(*v);
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        t.fieldError(c, "tiene un valor (" + shortestDecimal(*v) + ") que no cabe en un entero");
    return static_cast<std::int32_t>(r);
}

double Table::number(std::string_view field) const {
    const Impl& t = *impl_;
    const Column& c = t.column(field);
    const char* rec = t.view();
    if (c.kind == Kind::Text) {
        const std::string s = t.textOf(c, rec, t.recNoOfView());
        const std::string_view v = trimBlanks(s);
        if (v.empty())
            return 0;
        if (auto d = parseDecimal(v))
            return *d;
        throw Error("'" + text::toUtf8(v) + "' no es un valor numérico válido");
    }
    if (!t.isNumericKind(c.kind))
        t.fieldError(c, "no es numérico");
    return t.numeric(c, rec, t.recNoOfView()).value_or(0.0);
}

bool Table::logical(std::string_view field) const {
    const Impl& t = *impl_;
    const Column& c = t.column(field);
    const char* rec = t.view();
    if (rec == nullptr)
        return false;
    if (c.kind == Kind::Logical)
        return Impl::logicalOf(t.raw(c, rec)[0]) == 1;
    if (c.kind == Kind::Text) {
        const std::string s = t.textOf(c, rec, t.recNoOfView());
        const std::string_view v = trimBlanks(s);
        if (v.empty())
            return false;
        const int b = Impl::logicalOf(v[0]);
        if (b < 0)
            throw Error("'" + text::toUtf8(v) + "' no es un valor lógico válido");
        return b == 1;
    }
    t.fieldError(c, "no es lógico");
}

bool Table::isBlank(std::string_view field) const {
    const Impl& t = *impl_;
    const Column& c = t.column(field);
    return t.blank(c, t.view());
}

void Table::setText(std::string_view field, std::string_view cp1252) {
    Impl& t = *impl_;
    const Column& c = t.column(field);
    t.requireEditing(c);
    char* p = t.slot(c);
    const std::size_t width = static_cast<std::size_t>(c.info.length);
    switch (c.kind) {
    case Kind::Text:
        t.storeText(c, cp1252);
        return;
    case Kind::Logical: {
        const std::string_view v = trimBlanks(cp1252);
        const int b = v.empty() ? -1 : Impl::logicalOf(v[0]);
        if (!v.empty() && b < 0)
            throw Error("'" + text::toUtf8(v) + "' no es un valor lógico válido");
        *p = b < 0 ? ' ' : (b ? 'T' : 'F');
        return;
    }
    case Kind::Date: {
        const std::string_view v = trimBlanks(cp1252);
        if (!v.empty() &&
            (v.size() != 8 || v.find_first_not_of("0123456789") != std::string_view::npos))
            throw Error("'" + text::toUtf8(v) + "' no es una fecha AAAAMMDD válida");
        std::memset(p, ' ', width);
        std::memcpy(p, v.data(), v.size());
        return;
    }
    case Kind::Ascii:
    case Kind::Int7:
    case Kind::Double7: {
        const std::string_view v = trimBlanks(cp1252);
        if (v.empty()) {
            std::memset(p, c.kind == Kind::Ascii ? ' ' : 0, width);
            return;
        }
        const auto d = parseDecimal(v);
        if (!d)
            throw Error("'" + text::toUtf8(v) + "' no es un valor numérico válido");
        t.storeNumber(c, *d);
        return;
    }
    default:
        t.fieldError(c, "no se puede escribir");
    }
}

void Table::setInteger(std::string_view field, std::int32_t value) {
    Impl& t = *impl_;
    const Column& c = t.column(field);
    t.requireEditing(c);
    if (c.kind == Kind::Text) {
        t.storeText(c, std::to_string(value));
        return;
    }
    if (c.kind == Kind::Int7 && value == std::numeric_limits<std::int32_t>::min())
        t.fieldError(c, "no admite el valor " + std::to_string(value));
    t.storeNumber(c, static_cast<double>(value));
}

void Table::setNumber(std::string_view field, double value) {
    Impl& t = *impl_;
    const Column& c = t.column(field);
    t.requireEditing(c);
    if (c.kind == Kind::Text) {
        t.storeText(c, shortestDecimal(value));
        return;
    }
    t.storeNumber(c, value);
}

void Table::setLogical(std::string_view field, bool value) {
    Impl& t = *impl_;
    const Column& c = t.column(field);
    t.requireEditing(c);
    if (c.kind == Kind::Logical) {
        *t.slot(c) = value ? 'T' : 'F';
        return;
    }
    if (c.kind == Kind::Text) {
        t.storeText(c, value ? "T" : "F");
        return;
    }
    t.fieldError(c, "no es lógico");
}

bool Table::locate(const std::vector<std::pair<std::string, std::string>>& criteria) {
    Impl& t = *impl_;
    t.requireOpen();
    std::vector<std::pair<std::size_t, std::string_view>> wanted;
    wanted.reserve(criteria.size());
    for (const auto& [field, value] : criteria)
        wanted.emplace_back(t.columnIndex(field), value);
    t.postIfEditing();
    std::stable_sort(wanted.begin(), wanted.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::size_t> cols;
    std::vector<std::string_view> values;
    for (const auto& [ci, value] : wanted) {
        if (!cols.empty() && cols.back() == ci) {
            if (values.back() != value)
                return false; // one field cannot hold two values
            continue;
        }
        cols.push_back(ci);
        values.push_back(value);
    }
    if (cols.empty()) {
        const std::int64_t found = t.nextLive(0);
        if (found == Impl::kNone)
            return false;
        t.current = found;
        return true;
    }
    std::string key;
    if (cols.size() == 1) {
        key = values[0];
    } else {
        for (std::string_view v : values) {
            const std::uint32_t n = static_cast<std::uint32_t>(v.size());
            key.append(reinterpret_cast<const char*>(&n), sizeof n);
            key += v;
        }
    }
    Impl::Index& index = t.indexFor(cols);
    const auto it = index.find(key);
    if (it == index.end() || it->second.empty())
        return false;
    t.current = *it->second.begin();
    return true;
}

bool Table::locate(std::initializer_list<std::pair<std::string_view, std::string_view>> criteria) {
    std::vector<std::pair<std::string, std::string>> copy;
    copy.reserve(criteria.size());
    for (const auto& [field, value] : criteria)
        copy.emplace_back(std::string(field), std::string(value));
    return locate(copy);
}

} // namespace pelmira::worktables
