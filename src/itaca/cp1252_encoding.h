#pragma once

// Windows-1252 for libxml2 where libxml2 has no converter of its own for it (a libxml2 built
// without iconv knows only UTF-8, UTF-16, ISO-8859-1 and ASCII), and centre documents often
// declare encoding="windows-1252" or "cp1252". The conversion is iconv's: the five bytes that
// the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) cannot be read, and a character
// that the code page lacks cannot be written (libxml2 then writes a character reference). The
// code page itself is src/text's.

namespace pelmira::itaca {

// libxml2's input function (xmlCharEncodingInputFunc): converts the Windows-1252 bytes `in`
// (`*inlen` of them) into UTF-8 at `out` (room for `*outlen` bytes). Stops where the output is
// full, or at an undefined byte, returning -2. Afterwards `*inlen` is the number of bytes
// converted and `*outlen` the number of bytes written, which is returned unless -2 is.
int cp1252ToUtf8(unsigned char* out, int* outlen, const unsigned char* in, int* inlen);

// libxml2's output function (xmlCharEncodingOutputFunc): the same from UTF-8 to Windows-1252.
// Stops at a character that Windows-1252 lacks, or at a malformed sequence, returning -2; a
// sequence cut short at the end of the input is left for the next call. The language tags
// (U+E0000 to U+E007F) are left out, as glibc's iconv leaves them out. A null `in` is the
// start of the output: nothing is written.
int utf8ToCp1252(unsigned char* out, int* outlen, const unsigned char* in, int* inlen);

// Registers the functions above with libxml2 for the names "windows-1252" and "cp1252" (in any
// letter case) that libxml2 has no converter of its own for. Only the first call does anything.
void ensureCp1252Encoding();

// Registers them for both names whether libxml2 has its own converter or not: from then on the
// whole process reads and writes Windows-1252 through them. For tests of the fallback on a system
// whose libxml2 has iconv.
void registerCp1252Fallback();

} // namespace pelmira::itaca
