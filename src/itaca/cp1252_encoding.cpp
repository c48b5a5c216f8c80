// Windows-1252 for libxml2 (see cp1252_encoding.h): the converter's tables, taken from src/text's
// code page once, the two conversion functions, and their registration with libxml2.

#include "itaca/cp1252_encoding.h"

#include "text/text.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <libxml/encoding.h>
#include <mutex>
#include <string>
#include <vector>

namespace pelmira::itaca {

namespace {

enum class Decoded { Complete, Incomplete, Malformed };

// Decodes the UTF-8 sequence at `p` (before `end`) into `cp`, its length into `len`, by the
// well-formed byte sequences of Unicode: a byte that cannot start a sequence, a missing
// continuation byte, or a second byte out of the range of its first (which rules out overlong
// forms, surrogates and values above U+10FFFF) make it Malformed. A start whose continuation
// bytes are cut short by `end` is Incomplete, as iconv takes it.
Decoded decodeUtf8(const unsigned char* p, const unsigned char* end, char32_t& cp,
                   std::size_t& len) {
    const unsigned char b0 = p[0];
    unsigned char low = 0x80; // the range of the second byte
    unsigned char high = 0xBF;
    if (b0 < 0x80) {
        cp = b0;
        len = 1;
        return Decoded::Complete;
    }
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
        low = b0 == 0xE0 ? 0xA0 : 0x80;
        high = b0 == 0xED ? 0x9F : 0xBF;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
        low = b0 == 0xF0 ? 0x90 : 0x80;
        high = b0 == 0xF4 ? 0x8F : 0xBF;
    } else {
        return Decoded::Malformed;
    }
    const auto available = static_cast<std::size_t>(end - p);
    for (std::size_t k = 1; k < len; ++k) {
        if (k == available)
            return Decoded::Incomplete;
        const unsigned char b = p[k];
        if ((b & 0xC0) != 0x80)
            return Decoded::Malformed;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (p[1] < low || p[1] > high)
        return Decoded::Malformed;
    return Decoded::Complete;
}

// The tag characters (U+E0000 to U+E007F), which mark the language of a text and show nothing.
// glibc's iconv leaves them out when it writes an 8-bit code page, and so does this converter.
bool isLanguageTag(char32_t cp) {
    return cp >= 0xE0000 && cp <= 0xE007F;
}

// Windows-1252 as the converter needs it, taken from src/text's conversion: the UTF-8 of each
// byte, and the byte of each code point. A byte that src/text maps to the C1 control character
// (U+0080 to U+009F) of its own value is one the code page leaves undefined: it has neither.
struct CodePage {
    std::array<std::array<unsigned char, 4>, 256> utf8{};
    std::array<unsigned char, 256> utf8Length{}; // 0: undefined
    std::vector<std::int16_t> byteOf;            // by code point; -1: not in the code page

    CodePage() {
        for (int b = 0; b < 256; ++b) {
            const char c = static_cast<char>(b);
            const std::string s = text::toUtf8(std::string_view(&c, 1));
            const auto* p = reinterpret_cast<const unsigned char*>(s.data());
            char32_t cp = 0;
            std::size_t len = 0;
            if (decodeUtf8(p, p + s.size(), cp, len) != Decoded::Complete || len != s.size())
                continue;
            if (cp >= 0x80 && cp <= 0x9F && cp == static_cast<char32_t>(b))
                continue;
            std::memcpy(utf8[b].data(), p, len);
            utf8Length[b] = static_cast<unsigned char>(len);
            if (cp >= byteOf.size())
                byteOf.resize(cp + 1, -1);
            byteOf[cp] = static_cast<std::int16_t>(b);
        }
    }

    int byteFor(char32_t cp) const { return cp < byteOf.size() ? byteOf[cp] : -1; }
};

const CodePage& codePage() {
    static const CodePage page;
    return page;
}

// libxml2's handler exists for `name` (a converter of its own, or one registered before).
bool libxml2Converts(const char* name) {
    xmlCharEncodingHandlerPtr handler = xmlFindCharEncodingHandler(name);
    if (handler == nullptr)
        return false;
    xmlCharEncCloseFunc(handler); // frees it when it was made for this call (iconv)
    return true;
}

void registerHandler() {
    xmlNewCharEncodingHandler("WINDOWS-1252", cp1252ToUtf8, utf8ToCp1252);
}

// Where one call of a conversion function has got to in its input and its output.
struct Cursor {
    const unsigned char* in;
    const unsigned char* const inEnd;
    unsigned char* out;
    unsigned char* const outEnd;
};

// One call of a conversion function as libxml2 makes it: `convert` goes as far as it can and
// says whether it stopped at something it cannot convert (-2 for libxml2).
template <typename Convert>
int runConversion(unsigned char* out, int* outlen, const unsigned char* in, int* inlen,
                  Convert convert) {
    if (out == nullptr || outlen == nullptr || inlen == nullptr)
        return -1;
    if (in == nullptr) {
        *outlen = 0;
        *inlen = 0;
        return 0;
    }
    Cursor c{in, in + *inlen, out, out + *outlen};
    const bool refused = convert(c, codePage());
    *outlen = static_cast<int>(c.out - out);
    *inlen = static_cast<int>(c.in - in);
    return refused ? -2 : *outlen;
}

} // namespace

int cp1252ToUtf8(unsigned char* out, int* outlen, const unsigned char* in, int* inlen) {
    return runConversion(out, outlen, in, inlen, [](Cursor& c, const CodePage& page) {
        for (; c.in < c.inEnd; ++c.in) {
            const std::size_t len = page.utf8Length[*c.in];
            if (len == 0)
                return true;
            if (static_cast<std::size_t>(c.outEnd - c.out) < len)
                break;
            std::memcpy(c.out, page.utf8[*c.in].data(), len);
            c.out += len;
        }
        return false;
    });
}

int utf8ToCp1252(unsigned char* out, int* outlen, const unsigned char* in, int* inlen) {
    return runConversion(out, outlen, in, inlen, [](Cursor& c, const CodePage& page) {
        // Like iconv, no further character is looked at once the output is full.
        while (c.in < c.inEnd && c.out < c.outEnd) {
            char32_t cp = 0;
            std::size_t len = 0;
            const Decoded decoded = decodeUtf8(c.in, c.inEnd, cp, len);
            if (decoded == Decoded::Incomplete)
                break;
            if (decoded == Decoded::Complete && isLanguageTag(cp)) {
                c.in += len;
                continue;
            }
            const int byte = decoded == Decoded::Complete ? page.byteFor(cp) : -1;
            if (byte < 0)
                return true;
            *c.out++ = static_cast<unsigned char>(byte);
            c.in += len;
        }
        return false;
    });
}

void ensureCp1252Encoding() {
    static std::once_flag once;
    std::call_once(once, [] {
        const bool windows1252 = libxml2Converts("windows-1252");
        const bool cp1252 = libxml2Converts("cp1252");
        if (!windows1252)
            registerHandler();
        if (!cp1252)
            xmlAddEncodingAlias("WINDOWS-1252", "CP1252");
    });
}

void registerCp1252Fallback() {
    registerHandler();
    xmlAddEncodingAlias("WINDOWS-1252", "CP1252");
}

} // namespace pelmira::itaca
