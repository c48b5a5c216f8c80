#pragma once

// What the export steps note for the report of the steps after them, only while an observer
// listens: where a subject code or a name was first met, why a duty or a subject gave no row.

#include "export/export_run.h"

#include <cstddef>
#include <string>
#include <unordered_map>

namespace pelmira::exporting {

struct ReportMemo {
    // BuildSubjectNames: the contenido (1-based position) that took each code of UsedCodes.
    std::unordered_map<std::string, std::size_t> codeOrigin;
    // BuildSubjectNames and AddDutyNames: the element that first bore each name ("contenido 3").
    std::unordered_map<std::string, std::string> nameOrigin;
    // AddDutyNames: the duty codes that got no row, with why.
    std::unordered_map<std::string, std::string> dutyNotWritten;
    // BuildAssignments: for each contenido code and course (joined by '\x1f') that gave no row,
    // why; set only when BuildAssignments ran in this run.
    bool assignmentsBuilt = false;
    bool contenidosRead = false;
    std::unordered_map<std::string, std::string> subjectWithoutRows;
    std::unordered_map<std::string, bool> subjectWithRows;
};

inline std::string subjectKey(const std::string& code, const std::string& course) {
    return code + '\x1f' + course;
}

} // namespace pelmira::exporting
