#pragma once

// The dBase work-table engine. Tables are written as dBase level 7 (see the layout notes in
// dbf_format.h); foreign tables (SOLUC.DBF from Horvex) are read in any common dBase level.
//
// A Table is opened exclusively: while it is open no other process that honours the same locks
// (Horvex, a second Pelmira) can open it, and opening a table another process holds fails with
// "está en uso por otro programa". Records live in memory while the table is open; changes are
// written to the file when the table is closed (close(), the destructor, or pack()), replacing
// the file atomically so that a crash leaves either the previous file or the new one.

#include "worktables/workfolder.h"

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelmira::worktables {

enum class FieldType { Text, Logical, Integer, Float };

struct FieldSpec {
    std::string name;
    FieldType type;
    int width = 0; // characters, for Text only
};
using Schema = std::vector<FieldSpec>;

// A field as stored in the file.
struct FieldInfo {
    std::string name;
    char type = 'C'; // dBase type letter
    int length = 0;  // bytes in the record
    int decimals = 0;
    int offset = 0; // from the start of the record (after the status byte)
};

class Table {
public:
    // Deletes NAME.DBF and NAME.MDX from the folder when present (any letter case), creates
    // NAME.DBF as an empty level-7 table with the schema, and opens it exclusively.
    static Table rebuild(const WorkFolder& folder, std::string_view name, const Schema& schema);

    // Opens NAME.DBF of the folder (any letter case) exclusively.
    static Table open(const WorkFolder& folder, std::string_view name);

    // Opens a table file by its path (used by `pelmira-cli dump`), exclusively.
    static Table openFile(const std::filesystem::path& file);

    Table(Table&&) noexcept;
    Table& operator=(Table&&) noexcept;
    ~Table(); // closes; errors on that path are swallowed, call close() to see them
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // Writes pending changes and releases the lock. Idempotent.
    void close();
    bool isOpen() const;

    const std::filesystem::path& path() const;
    const std::string& name() const; // NAME without extension, as opened
    const std::vector<FieldInfo>& fields() const;
    bool hasField(std::string_view field) const;

    // Records, deleted ones included.
    std::uint32_t recordCount() const;

    // Cursor. Walks visit live records only, in stored order. recNo() is the 1-based position of
    // the current record in the file, 0 when there is none (after a walk has passed the end, or
    // in an empty table). Without a current record fields read blank. A table opens on its
    // first live record; a rebuilt one has none.
    bool first(); // false when there is no live record
    bool next();  // false when the walk has passed the last live record
    bool eof() const;
    std::uint32_t recNo() const;
    void go(std::uint32_t recNo); // positions on a record (live or deleted)
    bool isDeleted() const;

    // Editing. append() starts a new blank record, edit() the current one; the set* calls change
    // that buffer; post() stores it (an appended record goes to the end of the table and becomes
    // current). deleteRecord() marks the current record deleted. pack() rewrites the table
    // without its deleted records.
    //
    // Moving the cursor (first, next, go, locate), append() and pack() post a pending record
    // first; close() drops a record that was never posted. deleteRecord() leaves the cursor on
    // the deleted record (isDeleted() is then true), so next() goes on with the one after it;
    // during append() it only drops the new record. After pack() the cursor is on the first live
    // record. Only level-7 tables in Windows-1252 can be changed; changing another table throws.
    // Field names are matched without regard to letter case, as dBase does.
    void append();
    void edit();
    void post();
    void cancel();
    void deleteRecord();
    void pack();

    // Field access on the current record (or on the edit buffer while editing). A field name the
    // table lacks throws an error naming the table and the field.
    //
    // text(): a text field without its trailing blanks; a never-set field is empty; numeric
    // fields give their shortest decimal form (3 reads "3", 3.5 reads "3.5"); a logical field
    // "T" or "F"; a date field its YYYYMMDD digits; memo fields are not read (empty).
    std::string text(std::string_view field) const;
    std::int32_t integer(std::string_view field) const; // numbers rounded to the nearest; blank 0
    double number(std::string_view field) const;        // blank 0
    bool logical(std::string_view field) const;         // blank false
    bool isBlank(std::string_view field) const;

    void setText(std::string_view field, std::string_view cp1252); // cut to the width
    void setInteger(std::string_view field, std::int32_t value);
    void setNumber(std::string_view field, double value);
    void setLogical(std::string_view field, bool value);

    // Positions on the first live record, in stored order, whose named fields all equal the
    // values exactly (text forms as text() gives them: case-sensitive, whole value; an empty
    // value matches a blank field). Returns false, leaving the cursor where it was, when none
    // matches. Backed by in-memory indexes built on first use and kept current by post(),
    // deleteRecord() and pack().
    bool locate(std::initializer_list<std::pair<std::string_view, std::string_view>> criteria);
    bool locate(const std::vector<std::pair<std::string, std::string>>& criteria);

private:
    struct Impl;
    explicit Table(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace pelmira::worktables
