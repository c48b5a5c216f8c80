#pragma once

// Byte layouts of dBase tables.
//
// Written tables are dBase level 7 (no memo file):
//   file header, 68 bytes
//     0      version 0x04
//     1-3    date of last update: year - 1900, month, day
//     4-7    number of records (uint32, little-endian)
//     8-9    header length = 68 + 48 x fields + 1 (uint16, little-endian)
//     10-11  record length = 1 + sum of field lengths (uint16, little-endian)
//     28     production MDX flag, 0
//     29     language driver id 0x57 (ANSI, Windows-1252)
//     32-63  language driver name "DBWINWE0", zero-filled
//     everything else zero
//   one 48-byte field descriptor per field
//     0-31   name, zero-filled
//     32     type letter
//     33     length
//     34     decimal count
//     everything else zero
//   terminator 0x0D, then the records (from the header length on), then 0x1A.
//
// Records: one status byte (0x20 live, 0x2A deleted) and the fields packed in order.
//   C  Windows-1252 text padded with blanks
//   L  'T' or 'F'; blank or '?' is not set
//   I  int32 big-endian with the sign bit inverted; four zero bytes is not set
//   O  IEEE double big-endian; sign bit set for non-negative values, all bits inverted for
//      negative ones, so that the bytes sort as numbers; eight zero bytes is not set
//
// Read as well: dBase III/IV/V and FoxPro (32-byte header and 32-byte descriptors), Visual FoxPro
// (263 extra header bytes, little-endian I and B, Y currency, T datetime, hidden 0 field) and
// level 7 tables with a field-properties block. N and F are ASCII numbers, D is YYYYMMDD, and M,
// G, P and the dBase B are memo pointers whose text is not read.

#include <cstddef>
#include <cstdint>

namespace pelmira::worktables::dbf {

inline constexpr std::uint8_t kVersionLevel7 = 0x04;
inline constexpr std::uint8_t kVersionLevel7Memo = 0x8C;

inline constexpr std::size_t kLevel7HeaderSize = 68;
inline constexpr std::size_t kLevel7DescriptorSize = 48;
inline constexpr std::size_t kLevel7NameSize = 32;
inline constexpr std::size_t kLevel7TypeOffset = 32;
inline constexpr std::size_t kLevel7LengthOffset = 33;
inline constexpr std::size_t kLevel7DecimalsOffset = 34;

inline constexpr std::size_t kClassicHeaderSize = 32;
inline constexpr std::size_t kClassicDescriptorSize = 32;
inline constexpr std::size_t kClassicNameSize = 11;
inline constexpr std::size_t kClassicTypeOffset = 11;
inline constexpr std::size_t kClassicLengthOffset = 16;
inline constexpr std::size_t kClassicDecimalsOffset = 17;

inline constexpr std::size_t kVisualFoxProBacklinkSize = 263;

inline constexpr std::size_t kDateOffset = 1;
inline constexpr std::size_t kRecordCountOffset = 4;
inline constexpr std::size_t kHeaderLengthOffset = 8;
inline constexpr std::size_t kRecordLengthOffset = 10;
inline constexpr std::size_t kLanguageDriverOffset = 29;
inline constexpr std::size_t kLanguageDriverNameOffset = 32;

inline constexpr std::uint8_t kLanguageDriverAnsi = 0x57;
inline constexpr const char* kLanguageDriverName = "DBWINWE0";

inline constexpr std::uint8_t kTerminator = 0x0D;
inline constexpr std::uint8_t kEndOfFile = 0x1A;
inline constexpr char kLive = ' ';
inline constexpr char kDeleted = '*';

inline constexpr std::size_t kMaxRecordLength = 0xFFFF;

enum class Layout { Classic, VisualFoxPro, Level7 };

// The layout a version byte announces; false for a byte that is no dBase version we read.
inline bool layoutOf(std::uint8_t version, Layout& layout) {
    switch (version) {
    case 0x03: // dBase III / IV / V, FoxBase, FoxPro without memo
    case 0x83: // dBase III with memo
    case 0x8B: // dBase IV with memo
    case 0xCB: // dBase IV with SQL table and memo
    case 0xF5: // FoxPro 2 with memo
    case 0x05: // dBase V without memo
    case 0x43: // dBase IV SQL system table
    case 0x63: // dBase IV SQL system table
    case 0x7B: // dBase IV with memo
        layout = Layout::Classic;
        return true;
    case 0x30: // Visual FoxPro
    case 0x31: // Visual FoxPro with autoincrement
    case 0x32: // Visual FoxPro with varchar
        layout = Layout::VisualFoxPro;
        return true;
    case kVersionLevel7:
    case kVersionLevel7Memo:
        layout = Layout::Level7;
        return true;
    default:
        return false;
    }
}

inline std::uint16_t readU16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t readU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void writeU16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v & 0xFF);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline void writeU32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}

} // namespace pelmira::worktables::dbf
