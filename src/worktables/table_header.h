#pragma once

// The header of a dBase table: its fields and what the engine derives from them. One parser for
// the headers of the tables read (every common dBase level) and one builder for the level-7
// headers of the tables written; both set up the fields through the same steps.

#include "worktables/dbf_format.h"
#include "worktables/field_codec.h"
#include "worktables/table.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace pelmira::worktables {

struct TableHeader {
    dbf::Layout layout = dbf::Layout::Level7;
    std::vector<unsigned char> bytes; // the stored header, header length bytes
    std::size_t recordLength = 0;
    std::uint32_t recordCount = 0;           // as the header declares it
    const unsigned char* codePage = nullptr; // upper-half map to Windows-1252; null: none needed

    std::vector<codec::Column> columns; // visible fields, in file order
    std::vector<FieldInfo> infos;
    std::unordered_map<std::string, std::size_t> byName; // upper-case name -> column
    std::string readOnlyReason; // why Pelmira cannot write the table; empty when it can
};

// "La tabla FILE está dañada: WHY" and "No se puede leer la tabla FILE: WHY".
[[noreturn]] void damagedTable(const std::string& fileText, const std::string& why);
[[noreturn]] void unreadableTable(const std::string& fileText, const std::string& why);

// The header of the table file `bytes`, checked against the size of the file: the records it
// declares must fill the file, with or without the end-of-file mark. Throws pelmira::Error
// ("La tabla FILE está dañada: ...", "No se puede leer la tabla FILE: ...") when it is not one
// Pelmira reads; `fileText` names the file.
TableHeader parseHeader(const std::vector<unsigned char>& bytes, const std::string& fileText);

// The level-7, Windows-1252 header of an empty table with `schema`. Throws pelmira::Error
// starting with `what` for a schema no table can have.
TableHeader buildHeader(const Schema& schema, const std::string& what);

} // namespace pelmira::worktables
