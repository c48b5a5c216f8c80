// PruneUnusedGroupsAndTeachers: when only the chosen template's data was kept, offers to remove
// from GRUPOST and PROFT the groups and teachers that have no row in ASIGT.

#include "export/assign_internal.h"
#include "export/export_run.h"
#include "worktables/table.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelmira::exporting {

namespace {

using worktables::Table;

std::string pruneQuestion() {
    return assign::importantBanner() + "\r\n" +
           "Existen Grupos de Clase y Profesores que NO tienen Clases en esta Plantilla.\r\n"
           "Tanto, QUITAR como DEJAR estos Grupos y Profesores, No afectará al Horario.\r\n"
           "¿Quieren quitar dichos Grupos y Profesores, del Horario que se va a Importar?.";
}

// The records of `table` whose ABREV appears in no row of ASIGT under `asigtField`.
std::vector<std::uint32_t> withoutClasses(Table& table, Table& asigt, std::string_view asigtField) {
    std::vector<std::uint32_t> idle;
    for (bool more = table.first(); more; more = table.next()) {
        if (!asigt.locate({{asigtField, table.text("ABREV")}}))
            idle.push_back(table.recNo());
    }
    return idle;
}

void removeRecords(Table& table, const std::vector<std::uint32_t>& records) {
    for (const auto recNo : records) {
        table.go(recNo);
        table.deleteRecord();
    }
    assign::compactIgnoringFailure(table);
}

} // namespace

void ExportRun::PruneUnusedGroupsAndTeachers() {
    if (!state_.chosenTemplateOnly)
        return;

    auto asigt = Table::open(folder_, "ASIGT");
    auto profes = Table::open(folder_, "PROFT");
    auto grupos = Table::open(folder_, "GRUPOST");

    // Only a group without classes raises the question; teachers without classes go whenever
    // the groups do, asked or not.
    const auto idleGroups = withoutClasses(grupos, asigt, "CGRUP");
    if (!idleGroups.empty() && !ui_.ask(Interaction::Question::PruneUnused, pruneQuestion())) {
        asigt.close();
        profes.close();
        grupos.close();
        return;
    }

    removeRecords(grupos, idleGroups);
    grupos.close();

    removeRecords(profes, withoutClasses(profes, asigt, "CPROF"));
    profes.close();

    asigt.close();
}

} // namespace pelmira::exporting
