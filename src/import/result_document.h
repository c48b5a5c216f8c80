#pragma once

// The result document for ITACA: built inside the loaded input document, whose root `centro` is
// replaced by a new one carrying the school's identity, a fresh export time stamp and the two
// timetable sections. Values are cp1252.

#include "import/solution_records.h"
#include "itaca/document.h"

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace pelmira::importing {

class ResultDocument {
public:
    // Reads codigo, denominacion, curso and version (trimmed) from the input root, replaces the
    // root by a new `centro` and sets codigo, denominacion, curso, fecha_exportacion (=
    // `timestamp`) and version, in that order. A missing attribute throws before anything is
    // changed.
    ResultDocument(itaca::ItacaDocument& document, std::string_view timestamp);

    // horarios_grupo, appended to the new root; the group lines go into it.
    void openGroupSection();
    // One horario_grupo with its twelve attributes (idioma always present and empty).
    void addGroupLine(std::string_view templateCode, const ClassLine& line);

    // horarios_ocupaciones, appended after horarios_grupo; the duty lines go into it.
    void openDutySection();
    // One horario_ocupacion with its eight attributes.
    void addDutyLine(std::string_view templateCode, const DutyLine& line);

    // Writes the document (see ItacaDocument::save: in the declared encoding, replacing the
    // file only when complete).
    void save(const std::filesystem::path& file) const;

private:
    itaca::ItacaDocument& document_;
    itaca::Element root_;
    itaca::Element groups_;
    itaca::Element duties_;
};

// fecha_exportacion: the date in the short date format, one space, the time in the long time
// format. On Windows those are the user's regional formats; elsewhere dd/MM/yyyy HH:mm:ss.
std::string formatExportTimestamp(const std::tm& localTime);
// The same for the current local time.
std::string currentExportTimestamp();

} // namespace pelmira::importing
