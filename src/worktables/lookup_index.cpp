#include "worktables/lookup_index.h"

#include "worktables/dbf_format.h"

namespace pelmira::worktables {

namespace {

// The key of the texts of a set of columns: the text itself for one column; for several, each
// text after its length, so that no two lists of texts share a key.
template <typename TextAt> std::string encodeKey(std::size_t parts, TextAt&& textAt) {
    if (parts == 1)
        return std::string(textAt(0));
    std::string key;
    for (std::size_t i = 0; i < parts; ++i) {
        const auto text = textAt(i);
        const std::uint32_t n = static_cast<std::uint32_t>(text.size());
        key.append(reinterpret_cast<const char*>(&n), sizeof n);
        key += text;
    }
    return key;
}

} // namespace

std::string LookupIndexes::keyOf(const Columns& columns, const char* record,
                                 std::uint32_t recNo) const {
    return encodeKey(columns.size(),
                     [&](std::size_t i) { return textOf_(columns[i], record, recNo); });
}

LookupIndexes::Keys LookupIndexes::keysOf(const char* record, std::uint32_t recNo) const {
    Keys keys;
    keys.reserve(indexes_.size());
    for (const auto& [columns, index] : indexes_)
        keys.push_back(keyOf(columns, record, recNo));
    return keys;
}

void LookupIndexes::insert(const Keys& keys, std::uint32_t position) {
    auto key = keys.begin();
    for (auto& [columns, index] : indexes_)
        index[*key++].insert(position);
}

void LookupIndexes::erasePosition(Index& index, const std::string& key, std::uint32_t position) {
    if (auto it = index.find(key); it != index.end()) {
        it->second.erase(position);
        if (it->second.empty())
            index.erase(it);
    }
}

void LookupIndexes::erase(const Keys& keys, std::uint32_t position) {
    auto key = keys.begin();
    for (auto& [columns, index] : indexes_)
        erasePosition(index, *key++, position);
}

void LookupIndexes::update(std::uint32_t position, bool wasLive, const Keys& before, bool live,
                           const Keys& after) {
    auto oldKey = before.begin();
    auto newKey = after.begin();
    for (auto& [columns, index] : indexes_) {
        const std::string& from = *oldKey++;
        const std::string& to = *newKey++;
        if (wasLive == live && from == to)
            continue;
        if (wasLive)
            erasePosition(index, from, position);
        if (live)
            index[to].insert(position);
    }
}

std::optional<std::uint32_t> LookupIndexes::first(const Columns& columns,
                                                  const std::vector<std::string_view>& values,
                                                  std::uint32_t count, const RecordAt& recordAt) {
    auto found = indexes_.find(columns);
    if (found == indexes_.end()) {
        Index index;
        for (std::uint32_t i = 0; i < count; ++i) {
            const char* record = recordAt(i);
            if (record[0] != dbf::kDeleted)
                index[keyOf(columns, record, i + 1)].insert(i);
        }
        found = indexes_.emplace(columns, std::move(index)).first;
    }
    const std::string key = encodeKey(values.size(), [&](std::size_t i) { return values[i]; });
    const auto it = found->second.find(key);
    if (it == found->second.end() || it->second.empty())
        return std::nullopt;
    return *it->second.begin();
}

} // namespace pelmira::worktables
