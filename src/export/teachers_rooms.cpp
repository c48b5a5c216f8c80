// PROFT and AULAT: one row per teacher and per room, each with an abbreviation unique within
// its table (letter case ignored).

#include "export/builder_internal.h"
#include "export/export_run.h"
#include "horvex/schemas.h"
#include "run/report.h"
#include "text/error.h"
#include "text/text.h"
#include "worktables/table.h"

#include <string>

namespace pelmira::exporting {

void ExportRun::BuildTeachers() {
    const auto& document = builder::loadedDocument(document_);
    auto table = worktables::Table::rebuild(folder_, "PROFT", horvex::schemas::proft());
    builder::Abbreviations abbreviations;

    const run::StepReport report(state_.observer, "BuildTeachers");
    run::KeyOwners idNumbers;
    const itaca::ElementList teachers = document.select("/centro/docentes/docente");
    builder::reportSmallSection(report, "docentes", teachers.count(), "PROFT queda sin filas");
    if (teachers.count() > 1) {
        for (std::size_t i = 0; i < teachers.count(); ++i) {
            const itaca::Element teacher = teachers.item(i);
            const std::string surname1 = teacher.attr("apellido1");
            const std::string surname2 = teacher.attr("apellido2");
            const std::string given = teacher.attr("nombre");
            // Nothing is dropped for an empty part: "García , Ana".
            const std::string name = surname1 + " " + surname2 + ", " + given;

            std::string abbrev = std::string(text::left(surname1, 1)) +
                                 std::string(text::left(surname2, 1)) +
                                 std::string(text::left(given, 1));
            if (abbreviations.contains(abbrev))
                abbrev = abbreviations.numbered(abbrev);
            abbreviations.insert(abbrev);

            const std::string idNumber = teacher.attr("documento");
            const std::string since = teacher.attr("fecha_ingreso");
            const std::string programme = teacher.attr("ensenanza");
            if (report.on()) {
                const auto where = [&] { return run::elementAt("docente", teacher.position()); };
                report.cut(table, "ABREV", abbrev, where);
                report.cut(table, "NOMBRE", name, where);
                report.cut(table, "DNI", idNumber, where);
                report.cut(table, "F_TOMAPOS", since, where);
                report.cut(table, "ENSENANZA", programme, where);
                idNumbers.add(report, text::left(idNumber, 14), "docente", teacher.position(), {},
                              "DNI");
            }

            table.append();
            table.setText("ABREV", abbrev);
            table.setText("NOMBRE", name);
            table.setText("DNI", idNumber);
            table.setText("F_TOMAPOS", since);
            table.setText("ENSENANZA", programme);
            table.post();
        }
    }
    table.close();
}

void ExportRun::BuildRooms() {
    const auto& document = builder::loadedDocument(document_);
    auto table = worktables::Table::rebuild(folder_, "AULAT", horvex::schemas::aulat());
    builder::Abbreviations abbreviations;

    const run::StepReport report(state_.observer, "BuildRooms");
    run::KeyOwners roomCodes;
    const itaca::ElementList rooms = document.select("/centro/aulas/aula");
    builder::reportSmallSection(report, "aulas", rooms.count(), "AULAT queda sin filas");
    if (rooms.count() > 1) {
        for (std::size_t i = 0; i < rooms.count(); ++i) {
            const itaca::Element room = rooms.item(i);
            const std::string name = room.attr("nombre");
            const std::string itacaCode = room.attr("codigo");

            std::string code = itacaCode.empty() ? std::string(text::left(name, 4)) : itacaCode;
            if (abbreviations.contains(code)) {
                if (code.size() > 10)
                    code = std::string(text::left(code, 9));
                code = abbreviations.numbered(code);
            }
            // A long code always gets a number, even when its 8-character cut is free.
            if (code.size() > 10)
                code = abbreviations.numbered(std::string(text::left(code, 8)));
            abbreviations.insert(code);
            if (report.on()) {
                const auto where = [&] {
                    return run::elementAt("aula", room.position(), itacaCode);
                };
                report.cut(table, "ABREV", code, where);
                report.cut(table, "NOMBRE", name, where);
                report.cut(table, "ABREV_ITACA", itacaCode, where);
                roomCodes.add(report, text::left(itacaCode, 10), "aula", room.position(), itacaCode,
                              "código");
            }

            table.append();
            table.setText("ABREV", code);
            table.setText("NOMBRE", name);
            table.setText("ABREV_ITACA", itacaCode);
            table.post();
        }
    }
    table.close();
}

} // namespace pelmira::exporting
