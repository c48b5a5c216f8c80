#pragma once

// Shared by the four steps that build and fit the assignment table ASIGT: the constants of its
// class rows, the record-number set the fitting step keeps, and small helpers.

#include "export/builder_internal.h"
#include "itaca/document.h"
#include "text/error.h"
#include "text/text.h"
#include "worktables/table.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelmira::exporting::assign {

// The task code every class row carries in CTAREA (duty rows carry their own duty code).
inline constexpr std::string_view kClassTask = "*479";

// SESIONES of a class row as written: four blocks of one period, what 4 periods split into.
inline constexpr std::string_view kClassSessions = "1111";

// The first line of both questions of the export run.
inline std::string importantBanner() {
    return std::string(23, ' ') + "!!! I M P O R T A N T E !!!" + std::string(25, ' ');
}

// "Blank": nothing but blanks or control characters.
inline bool isBlank(std::string_view value) {
    return text::trim(value).empty();
}

// The centre document the steps read; a step called before one was loaded is an error.
using builder::loadedDocument;

// A set of record numbers (1-based positions in a table file), kept as a bitmap.
class RecordSet {
public:
    bool contains(std::uint32_t recNo) const { return recNo < bits_.size() && bits_[recNo]; }
    void insert(std::uint32_t recNo) {
        if (recNo >= bits_.size())
            bits_.resize(std::size_t(recNo) + 1 + bits_.size() / 2);
        bits_[recNo] = true;
    }

private:
    std::vector<bool> bits_;
};

// The whole number of periods a HORAS value stands for: the smallest whole number not below it,
// held within int. A blank or negative HORAS gives 0.
inline int periodCount(double horas) {
    if (!(horas > 0))
        return 0;
    const double up = std::ceil(horas);
    if (up >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return int(up);
}

// Compacts a table after deletions. A compaction that fails leaves the deleted records marked
// in the file, which readers skip, so its failure does not end the run.
inline void compactIgnoringFailure(worktables::Table& table) {
    try {
        table.pack();
    } catch (const Error&) {
    }
}

} // namespace pelmira::exporting::assign
