// DIASHORAST: every period of the chosen template's period list on each of the seven days.

#include "horvex/day_hour_slots.h"

#include "horvex/schemas.h"
#include "run/report.h"
#include "text/text.h"
#include "worktables/table.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace pelmira::horvex {

namespace {

// Day names, cp1252.
constexpr std::string_view kCastilianDays[7] = {"Lunes",   "Martes",    "Mi\351rcoles", "Jueves",
                                                "Viernes", "S\341bado", "Domingo"};
constexpr std::string_view kValencianDays[7] = {"Dilluns",   "Dimarts",  "Dimecres", "Dijous",
                                                "Divendres", "Dissabte", "Diumenge"};

// Positions `from` to `from + length - 1` of a line, counted from 1; the characters that exist
// when the line is shorter.
std::string_view mid(std::string_view line, std::size_t from, std::size_t length) {
    if (from > line.size())
        return {};
    return line.substr(from - 1, length);
}

} // namespace

void BuildDayHourSlots(const run::RunState& state, const worktables::WorkFolder& folder) {
    auto table = worktables::Table::rebuild(folder, "DIASHORAST", schemas::diashorast());
    const bool castilian = state.language == text::kCastilian;
    const auto& dayNames = castilian ? kCastilianDays : kValencianDays;
    const run::StepReport report(state.observer, "BuildDayHourSlots");

    for (std::size_t slot = 1; slot <= state.periodList.size(); ++slot) {
        const std::string_view line = state.periodList[slot - 1];
        // Period line: order at 1-2, start time at 7-11, end time at 15-19.
        const std::string_view start = mid(line, 7, 5);
        const std::string_view end = mid(line, 15, 5);
        const std::int32_t startMinutes =
            60 * text::strToInt(mid(line, 7, 2)) + text::strToInt(mid(line, 10, 2));
        const std::int32_t endMinutes =
            60 * text::strToInt(mid(line, 15, 2)) + text::strToInt(mid(line, 18, 2));
        const std::int32_t order = text::strToInt(mid(line, 1, 2));
        const std::string slotText = std::to_string(slot);
        if (endMinutes < startMinutes)
            report.emit("duracion_negativa", [&] {
                return std::pair{"sesión " + slotText + " (" + text::toUtf8(text::trim(line)) + ")",
                                 "MINUTOS " + std::to_string(endMinutes - startMinutes) +
                                     ", acaba antes de empezar"};
            });

        for (int day = 1; day <= 7; ++day) {
            const std::string dayText = std::to_string(day);
            table.append();
            table.setText("DIHO", dayText + slotText);
            table.setText("DIA", dayText);
            table.setText("TEXTODIA", dayNames[day - 1]);
            table.setText("HORA", slotText);
            table.setText("TEXTOHOR", std::to_string(order));
            table.setText("HORADESDE", start);
            table.setText("HORAHASTA", end);
            table.setText("MINUTOS", std::to_string(endMinutes - startMinutes));
            table.setInteger("SESION_ORDEN", order);
            table.setText("PLANTILLA", state.templateCode);
            table.post();
        }
    }
    table.close();
}

} // namespace pelmira::horvex
