#pragma once

// The in-memory indexes behind Table::locate. For a sorted set of columns an index maps the key
// of every live record (the text forms of those fields, in one encoding) to the positions that
// hold it, in stored order. An index is built on its first lookup and kept current as records
// are added, changed and deleted.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pelmira::worktables {

class LookupIndexes {
public:
    using Columns = std::vector<std::size_t>;
    // The text form of a column of a record (`recNo` names the record in messages).
    using TextOf =
        std::function<std::string(std::size_t column, const char* record, std::uint32_t recNo)>;
    // The record at a 0-based position; its first byte is the status byte.
    using RecordAt = std::function<const char*(std::uint32_t position)>;

    explicit LookupIndexes(TextOf textOf) : textOf_(std::move(textOf)) {}

    // The keys of one record in every index there is, taken before the record changes so that a
    // failure to read it leaves everything as it was.
    using Keys = std::vector<std::string>;
    Keys keysOf(const char* record, std::uint32_t recNo) const;

    // The record at `position` has come to hold `keys` (as keysOf gave them), or no longer does.
    void insert(const Keys& keys, std::uint32_t position);
    void erase(const Keys& keys, std::uint32_t position);
    // The record at `position` has changed from `before` (live or not) to `after`.
    void update(std::uint32_t position, bool wasLive, const Keys& before, bool live,
                const Keys& after);

    // Drops every index (the positions have moved).
    void clear() { indexes_.clear(); }

    // The first live position, of the `count` records, whose columns `columns` (sorted, without
    // repeats) hold `values`; nullopt when none does.
    std::optional<std::uint32_t> first(const Columns& columns,
                                       const std::vector<std::string_view>& values,
                                       std::uint32_t count, const RecordAt& recordAt);

private:
    using Positions = std::set<std::uint32_t>;
    using Index = std::unordered_map<std::string, Positions>;

    std::string keyOf(const Columns& columns, const char* record, std::uint32_t recNo) const;
    static void erasePosition(Index& index, const std::string& key, std::uint32_t position);

    TextOf textOf_;
    std::map<Columns, Index> indexes_;
};

} // namespace pelmira::worktables
