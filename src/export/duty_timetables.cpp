// ApplyDutyTimetables: the duty rows of ASIGT from the duty timetable lines, then SESIONES of
// every row from its HORAS. SplitIntoBlocks: the block string Horvex reads in SESIONES.

#include "export/assign_internal.h"
#include "export/export_run.h"
#include "export/report_memo.h"
#include "run/report.h"
#include "text/text.h"
#include "worktables/table.h"

#include <cstdint>
#include <string>

namespace pelmira::exporting {

std::string SplitIntoBlocks(int count) {
    if (count < 1)
        return {};
    if (count <= 14)
        return std::string(std::size_t(count), '1');
    if (count <= 22)
        return std::to_string(count - 13) + std::string(13, '1');

    const int q = count / 14;
    const std::string qs = std::to_string(q);
    if (count % 14 == 0)
        return qs + std::string(13, qs.front());

    // The first block takes what thirteen blocks of q leave over. When that is more than 9
    // periods it is written as a 9 followed by the rest carried over onto the second block, and
    // the string is cut back to 14 blocks. From 55 periods on the carried number has two digits.
    const int r = count - 13 * q;
    std::string blocks = r <= 9 ? std::to_string(r) : "9" + std::to_string(r - 9 + q);
    for (int i = 0; i < 13; ++i)
        blocks += qs;
    return blocks.substr(0, 14);
}

void ExportRun::ApplyDutyTimetables() {
    using worktables::Table;
    const auto& document = assign::loadedDocument(document_);

    const auto lines = document.select("/centro/horarios_ocupaciones/horario_ocupacion");
    auto asignomt = Table::open(folder_, "ASIGNOMT");
    auto asigt = Table::open(folder_, "ASIGT");
    auto profes = Table::open(folder_, "PROFT");
    const run::StepReport report(state_.observer, "ApplyDutyTimetables");

    // Every line counts, a single one too.
    for (std::size_t i = 0; i < lines.count(); ++i) {
        const auto line = lines.item(i);
        const std::string duty = line.attr("ocupacion");
        const std::string dni = line.attr("docente");
        const std::string templateOfLine = line.attr("plantilla");

        std::string code;
        const bool dutyFound = asignomt.locate({{"ABREV_ITACA", duty}});
        if (dutyFound)
            code = asignomt.text("COD");
        std::string teacher;
        const bool teacherFound = profes.locate({{"DNI", dni}});
        if (teacherFound)
            teacher = profes.text("ABREV");

        const auto where = [&] { return run::elementAt("horario_ocupacion", line.position()); };
        if (exportState_.chosenTemplateOnly && templateOfLine != state_.templateCode) {
            report.emit("otra_plantilla", [&] {
                return std::pair{where(), "no se cuenta, es de la plantilla " +
                                              run::shown(templateOfLine) + " y no de la elegida " +
                                              run::shown(state_.templateCode)};
            });
            continue;
        }
        if (!teacherFound && !dni.empty())
            report.emit("docente_no_encontrado", [&] {
                return std::pair{where(), "el docente " + text::toUtf8(dni) + " no está en PROFT" +
                                              (dni.size() > 14 ? " (PROFT guarda solo 14 "
                                                                 "caracteres del DNI)"
                                                               : "") +
                                              "; la línea cuenta sin profesor"};
            });
        // A duty missing from ASIGNOMT leaves its row without Horvex code.
        const auto reportDutyMissing = [&] {
            report.emit("ocupacion_no_encontrada", [&] {
                std::string why = "la ocupación " + run::shown(duty) + " no está en ASIGNOMT";
                if (const auto it = memo().dutyNotWritten.find(duty);
                    it != memo().dutyNotWritten.end())
                    why += " (no se escribió: " + it->second + ")";
                else if (duty.size() > 10)
                    why += " (ASIGNOMT guarda solo 10 caracteres del código)";
                return std::pair{where(), why + "; CASIG y CTAREA de su fila quedan vacíos"};
            });
        };

        if (asigt.locate({{"CPROF", teacher}, {"ASIG_ITACA", duty}})) {
            if (!dutyFound && report.on() && asigt.text("CASIG").empty())
                reportDutyMissing();
            asigt.edit();
            asigt.setNumber("HORAS", asigt.number("HORAS") + 1);
            asigt.setText("SESIONES", asigt.text("SESIONES") + "1");
            asigt.post();
        } else {
            if (!dutyFound)
                reportDutyMissing();
            if (report.on()) {
                report.cut(asigt, "ASIG_ITACA", duty, where);
            }
            asigt.append();
            asigt.setText("CASIG", code);
            asigt.setText("CPROF", teacher);
            asigt.setNumber("HORAS", 1);
            asigt.setText("SESIONES", "1");
            asigt.setText("CTAREA", code);
            asigt.setText("ASIG_ITACA", duty);
            asigt.post();
        }
    }

    // SESIONES of every row, class rows included, from its HORAS.
    const std::uint32_t records = asigt.recordCount();
    for (std::uint32_t recNo = 1; recNo <= records; ++recNo) {
        asigt.go(recNo);
        if (asigt.isDeleted())
            continue;
        asigt.edit();
        asigt.setText("SESIONES", SplitIntoBlocks(assign::periodCount(asigt.number("HORAS"))));
        asigt.post();
    }

    asignomt.close();
    asigt.close();
    profes.close();
}

} // namespace pelmira::exporting
