#include "worktables/table_header.h"

#include "text/error.h"
#include "text/text.h"

#include <algorithm>
#include <cstring>

namespace pelmira::worktables {

using codec::Column;
using codec::hex2;
using codec::Kind;
using codec::upperAscii;

namespace {

// How a field of type letter `type` is stored in a table of `layout`: its kind, and the length
// every such field has (0 when the descriptor chooses it). False for a type we do not know.
bool storageOf(char type, dbf::Layout layout, Kind& kind, std::size_t& fixedLength) {
    const bool level7 = layout == dbf::Layout::Level7;
    fixedLength = 0;
    switch (type) {
    case 'C':
        kind = Kind::Text;
        return true;
    case 'N':
    case 'F':
        kind = Kind::Ascii;
        return true;
    case 'L':
        kind = Kind::Logical;
        fixedLength = 1;
        return true;
    case 'D':
        kind = Kind::Date;
        fixedLength = 8;
        return true;
    case 'I':
        kind = level7 ? Kind::Int7 : Kind::IntLE;
        fixedLength = 4;
        return true;
    case 'O':
        kind = Kind::Double7;
        fixedLength = 8;
        return true;
    case 'B':
        if (layout == dbf::Layout::VisualFoxPro) {
            kind = Kind::DoubleLE;
            fixedLength = 8;
        } else {
            kind = Kind::Memo;
        }
        return true;
    case 'Y':
        kind = Kind::Currency;
        fixedLength = 8;
        return true;
    case 'T':
        kind = Kind::DateTime;
        fixedLength = 8;
        return true;
    case 'M':
    case 'G':
    case 'P':
        kind = Kind::Memo;
        return true;
    case '0':
        kind = Kind::NullFlags;
        return true;
    default:
        return false;
    }
}

// Adds the field at `offset` of the record and moves `offset` past it. The hidden null-flags
// field takes its room but is no column.
void addField(TableHeader& h, const std::string& name, char type, std::size_t length, int decimals,
              Kind kind, std::size_t& offset) {
    Column c;
    c.info.name = name;
    c.info.type = type;
    c.info.length = static_cast<int>(length);
    c.info.decimals = decimals;
    c.info.offset = static_cast<int>(offset);
    c.kind = kind;
    offset += length;
    if (kind != Kind::NullFlags)
        h.columns.push_back(c);
}

// What follows from the fields: their list, the lookup by name and whether Pelmira may write the
// table.
void finish(TableHeader& h) {
    for (std::size_t i = 0; i < h.columns.size(); ++i) {
        h.infos.push_back(h.columns[i].info);
        h.byName.emplace(upperAscii(h.columns[i].info.name),
                         i); // the first of a repeated name wins
    }
    if (h.layout != dbf::Layout::Level7)
        h.readOnlyReason = "Pelmira solo escribe tablas dBase de nivel 7";
    else if (h.codePage != nullptr)
        h.readOnlyReason = "Pelmira solo escribe tablas en la página de códigos Windows-1252";
    else if (std::any_of(h.columns.begin(), h.columns.end(),
                         [](const Column& c) { return c.kind == Kind::DateTime; }))
        h.readOnlyReason = "tiene campos de un tipo que Pelmira no escribe";
}

} // namespace

void damagedTable(const std::string& fileText, const std::string& why) {
    throw Error("La tabla " + fileText + " está dañada: " + why);
}

void unreadableTable(const std::string& fileText, const std::string& why) {
    throw Error("No se puede leer la tabla " + fileText + ": " + why);
}

TableHeader parseHeader(const std::vector<unsigned char>& bytes, const std::string& fileText) {
    const auto damaged = [&](const std::string& why) { damagedTable(fileText, why); };
    const auto unreadable = [&](const std::string& why) { unreadableTable(fileText, why); };

    TableHeader h;
    const std::size_t size = bytes.size();
    if (size == 0)
        damaged("el archivo está vacío");
    if (!dbf::layoutOf(bytes[0], h.layout))
        unreadable("no es una tabla dBase de un formato conocido (versión " + hex2(bytes[0]) + ")");

    const bool level7 = h.layout == dbf::Layout::Level7;
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
            damaged("el descriptor de campo " + std::to_string(h.columns.size() + 1) +
                    " pasa del final de la cabecera");
        const unsigned char* d = bytes.data() + pos;
        std::size_t nameLength = 0;
        while (nameLength < nameSize && d[nameLength] != 0)
            ++nameLength;
        const std::string fieldName(
            codec::stripPadding(std::string_view(reinterpret_cast<const char*>(d), nameLength)));
        const char type = static_cast<char>(d[typeAt]);
        std::size_t length = d[lengthAt];
        int decimals = d[decimalsAt];
        const std::string shown = fieldName.empty()
                                      ? "número " + std::to_string(h.columns.size() + 1)
                                      : text::toUtf8(fieldName);
        if (fieldName.empty())
            damaged("el campo " + shown + " no tiene nombre");

        Kind kind = Kind::Text;
        std::size_t fixedLength = 0;
        if (!storageOf(type, h.layout, kind, fixedLength))
            unreadable("el campo " + shown + " es de un tipo desconocido (" +
                       (type >= 0x21 && type < 0x7F ? "'" + std::string(1, type) + "'"
                                                    : hex2(static_cast<unsigned char>(type))) +
                       ")");
        if (kind == Kind::Text && !level7) {
            // FoxPro and Clipper keep the high byte of long text fields in the decimals.
            length |= static_cast<std::size_t>(decimals) << 8;
            decimals = 0;
        }
        if (kind == Kind::Ascii && static_cast<std::size_t>(decimals) >= length && decimals != 0)
            damaged("el campo " + shown + " tiene más decimales (" + std::to_string(decimals) +
                    ") que cifras (" + std::to_string(length) + ")");
        if (fixedLength != 0 && length != fixedLength)
            damaged("el campo " + shown + " de tipo " + std::string(1, type) + " mide " +
                    std::to_string(length) + " bytes en lugar de " + std::to_string(fixedLength));
        if (length == 0)
            damaged("el campo " + shown + " mide 0 bytes");
        addField(h, fieldName, type, length, decimals, kind, offset);
        pos += descSize;
    }
    if (h.layout == dbf::Layout::VisualFoxPro &&
        headerLength < pos + 1 + dbf::kVisualFoxProBacklinkSize)
        damaged("la cabecera de Visual FoxPro no tiene sitio para sus 263 bytes finales");
    if (h.columns.empty())
        damaged("no tiene campos");
    if (declaredRecordLength != offset + 1)
        damaged("la longitud de registro (" + std::to_string(declaredRecordLength) +
                " bytes) no es la suma de las longitudes de los campos más uno (" +
                std::to_string(offset + 1) + ")");
    h.recordLength = declaredRecordLength;

    // The records must fill the file exactly, with or without the end-of-file mark.
    const std::uint64_t expected =
        static_cast<std::uint64_t>(headerLength) +
        static_cast<std::uint64_t>(declaredCount) * static_cast<std::uint64_t>(h.recordLength);
    if (size < expected) {
        const std::uint64_t room = (size - headerLength) / h.recordLength;
        damaged("la cabecera anuncia " + std::to_string(declaredCount) +
                " registros, pero el archivo solo tiene sitio para " + std::to_string(room));
    }
    if (size > expected && !(size == expected + 1 && bytes.back() == dbf::kEndOfFile))
        damaged("el archivo tiene " + std::to_string(size - expected) + " bytes de más tras los " +
                std::to_string(declaredCount) + " registros que anuncia la cabecera");

    const unsigned ldid = bytes[dbf::kLanguageDriverOffset];
    if (!codec::codePageOf(ldid, h.codePage))
        unreadable("usa una página de códigos que Pelmira no conoce (controlador de idioma " +
                   hex2(ldid) + ")");

    h.bytes.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(headerLength));
    h.recordCount = declaredCount;
    finish(h);
    return h;
}

TableHeader buildHeader(const Schema& schema, const std::string& what) {
    if (schema.empty())
        throw Error(what + ": la tabla no tiene campos");
    TableHeader h;
    h.layout = dbf::Layout::Level7;
    const std::size_t headerLength =
        dbf::kLevel7HeaderSize + dbf::kLevel7DescriptorSize * schema.size() + 1;
    if (headerLength > 0xFFFF)
        throw Error(what + ": tiene demasiados campos");
    std::vector<unsigned char>& header = h.bytes;
    header.assign(headerLength, 0);
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
        char type = 'C';
        switch (f.type) {
        case FieldType::Text:
            if (f.width < 1 || f.width > 254)
                throw Error(what + ": el campo " + shown + " tiene una anchura no válida (" +
                            std::to_string(f.width) + ")");
            type = 'C';
            break;
        case FieldType::Logical:
            type = 'L';
            break;
        case FieldType::Integer:
            type = 'I';
            break;
        case FieldType::Float:
            type = 'O';
            break;
        }
        Kind kind = Kind::Text;
        std::size_t length = 0;
        storageOf(type, h.layout, kind, length);
        if (length == 0)
            length = static_cast<std::size_t>(f.width);
        unsigned char* d = header.data() + dbf::kLevel7HeaderSize + dbf::kLevel7DescriptorSize * i;
        std::memcpy(d, f.name.data(), f.name.size());
        d[dbf::kLevel7TypeOffset] = static_cast<unsigned char>(type);
        d[dbf::kLevel7LengthOffset] = static_cast<unsigned char>(length);
        d[dbf::kLevel7DecimalsOffset] = 0;
        addField(h, f.name, type, length, 0, kind, offset);
    }
    if (offset + 1 > dbf::kMaxRecordLength)
        throw Error(what + ": los registros serían demasiado largos");
    header[headerLength - 1] = dbf::kTerminator;
    dbf::writeU16(header.data() + dbf::kRecordLengthOffset, static_cast<std::uint16_t>(offset + 1));
    h.recordLength = offset + 1;
    finish(h);
    return h;
}

} // namespace pelmira::worktables
