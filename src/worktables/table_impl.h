#pragma once

// The state of an open table, shared by the files of the engine: table.cpp (cursor, field access
// and editing) and table_file.cpp (opening, rebuilding and saving the file).

#include "platform/locked_file.h"
#include "worktables/dbf_format.h"
#include "worktables/field_codec.h"
#include "worktables/lookup_index.h"
#include "worktables/table.h"
#include "worktables/table_header.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmira::worktables {

struct Table::Impl : TableHeader {
    using Column = codec::Column;
    using Kind = codec::Kind;

    Impl();

    std::filesystem::path path;
    std::string name;
    platform::LockedFile file;
    bool open = false;

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

    LookupIndexes indexes;

    // ---- messages ----
    std::string fileText() const;
    std::string tableText() const;
    [[noreturn]] void fieldError(const Column& c, const std::string& why) const;

    // ---- records ----
    char* recordAt(std::uint32_t i) {
        return reinterpret_cast<char*>(data.data() + base + std::size_t(i) * recordLength);
    }
    const char* recordAt(std::uint32_t i) const {
        return reinterpret_cast<const char*>(data.data() + base + std::size_t(i) * recordLength);
    }
    bool liveAt(std::uint32_t i) const { return recordAt(i)[0] != dbf::kDeleted; }

    // The record field access works on: the edit buffer while editing, else the current one.
    const char* view() const;
    std::uint32_t recNoOfView() const;
    std::int64_t nextLive(std::int64_t from) const;
    std::string blankRecord() const;

    void requireOpen() const;
    void requireWritable() const;
    const Column& column(std::string_view field) const;
    std::size_t columnIndex(std::string_view field) const;

    // ---- fields ----
    std::string_view raw(const Column& c, const char* rec) const;
    bool blank(const Column& c, const char* rec) const;
    // The value of a numeric field; nullopt when it is blank. A field that holds no number
    // reports the table damaged.
    std::optional<double> numeric(const Column& c, const char* rec, std::uint32_t recNo) const;
    std::string textOf(const Column& c, const char* rec, std::uint32_t recNo) const;
    // Of the record field access works on: a field's text without blanks at either end, and the
    // value of a numeric field (nullopt when blank; another field is "no es numérico").
    std::string trimmedText(const Column& c) const;
    std::optional<double> numberOfView(const Column& c) const;

    void requireEditing(const Column& c) const;
    char* slot(const Column& c) { return buffer.data() + 1 + c.info.offset; }
    void storeText(const Column& c, std::string_view cp1252);
    void storeNumber(const Column& c, double v);

    // ---- editing ----
    void postIfEditing() {
        if (state != State::Browse)
            post();
    }
    void post();

    // ---- the file (table_file.cpp) ----
    // `held`: the open file being replaced, when it is not `file` (a rebuild holds the old table).
    void save(const std::string& what, platform::LockedFile* held = nullptr);
    static std::unique_ptr<Impl> load(const std::filesystem::path& file, std::string name);
};

} // namespace pelmira::worktables
