#pragma once

// The result document for ITACA: built inside the loaded input document, whose root `centro` is
// replaced by a new one carrying the school's identity, a fresh export time stamp and the two
// timetable sections. Values are cp1252.

#include "import/solution_records.h"
#include "itaca/document.h"

#include <ctime>
#include <deque>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace pelmira::importing {

class ResultDocument {
public:
    // Reads codigo, denominacion, curso and version (trimmed) from the input root, replaces the
    // root by a new `centro` and sets codigo, denominacion, curso, fecha_exportacion (=
    // `timestamp`) and version, in that order. A missing attribute throws before anything is
    // changed.
    ResultDocument(itaca::ItacaDocument& document, std::string_view timestamp);
    ResultDocument(const ResultDocument&) = delete;
    ResultDocument& operator=(const ResultDocument&) = delete;

    // horarios_grupo, appended to the new root; the group lines go into it.
    void openGroupSection();
    // One horario_grupo with its twelve attributes (idioma always present and empty).
    void addGroupLine(std::string_view templateCode, const ClassLine& line);

    // horarios_ocupaciones, appended after horarios_grupo; the duty lines go into it.
    void openDutySection();
    // One horario_ocupacion with its eight attributes.
    void addDutyLine(std::string_view templateCode, const DutyLine& line);

    // Writes the document (see ItacaDocument::save: in the declared encoding, replacing the
    // file only when complete). The lines are written straight into the file, never built as a
    // tree: a solution of a million records costs little more than its text.
    void save(const std::filesystem::path& file) const;

private:
    // A section and its lines until save(): each line as its values, each value as its length
    // (7 bits a byte, the high bit marking that more follow) and its bytes, in pieces of about a
    // megabyte so that growing never copies what is held.
    struct Section {
        const char* name;
        const char* lineName;
        const char* const* attributes;
        std::size_t attributeCount;
        std::vector<std::string> pieces;
        std::size_t lines = 0;
    };

    void addLine(Section* section, const char* lineName,
                 std::initializer_list<std::string_view> values);

    itaca::ItacaDocument& document_;
    std::deque<Section> sections_; // in the order opened; a deque never moves what it holds
    Section* groups_ = nullptr;
    Section* duties_ = nullptr;
};

// fecha_exportacion: the date in the short date format, one space, the time in the long time
// format (platform::localDateTimeText: on Windows the user's regional formats, elsewhere
// dd/MM/yyyy HH:mm:ss).
std::string formatExportTimestamp(const std::tm& localTime);
// The same for the current local time.
std::string currentExportTimestamp();

} // namespace pelmira::importing
