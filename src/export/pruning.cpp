// PruneUnusedGroupsAndTeachers: when only the chosen template's data was kept, offers to remove
// from GRUPOST and PROFT the groups and teachers that have no row in ASIGT.

#include "export/assign_internal.h"
#include "export/export_run.h"
#include "run/report.h"
#include "worktables/table.h"

#include <cstdint>
#include <set>
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

void removeRecords(Table& table, const std::vector<std::uint32_t>& records,
                   const run::StepReport& report, const char* kind, const char* what) {
    for (const auto recNo : records) {
        table.go(recNo);
        report.emit(kind, [&] {
            return std::pair{table.name() + " registro " + std::to_string(recNo) + " (" +
                                 run::shown(table.text("ABREV")) + ")",
                             std::string("se borra, ") + what + " no tiene filas en ASIGT"};
        });
        table.deleteRecord();
    }
    assign::compactIgnoringFailure(table);
}

} // namespace

void ExportRun::PruneUnusedGroupsAndTeachers() {
    if (!exportState_.chosenTemplateOnly)
        return;

    auto asigt = Table::open(folder_, "ASIGT");
    auto profes = Table::open(folder_, "PROFT");
    auto grupos = Table::open(folder_, "GRUPOST");

    // Only a group without classes raises the question; teachers without classes go whenever
    // the groups do, asked or not.
    const auto idleGroups = withoutClasses(grupos, asigt, "CGRUP");
    if (!idleGroups.empty() && !ui_.ask(run::Interaction::Question::PruneUnused, pruneQuestion())) {
        asigt.close();
        profes.close();
        grupos.close();
        return;
    }

    const run::StepReport report(state_.observer, "PruneUnusedGroupsAndTeachers");
    removeRecords(grupos, idleGroups, report, "grupo_quitado", "el grupo");
    // The tutors of the groups that stay, to tell which of them lose their teacher.
    std::vector<std::pair<std::string, std::string>> tutors; // group ABREV, TUTOR
    if (report.on())
        for (bool more = grupos.first(); more; more = grupos.next())
            if (!grupos.text("TUTOR").empty())
                tutors.emplace_back(grupos.text("ABREV"), grupos.text("TUTOR"));
    grupos.close();

    const auto idleTeachers = withoutClasses(profes, asigt, "CPROF");
    std::set<std::string> removedTeachers;
    if (report.on())
        for (const auto recNo : idleTeachers) {
            profes.go(recNo);
            removedTeachers.insert(profes.text("ABREV"));
        }
    removeRecords(profes, idleTeachers, report, "docente_quitado", "el profesor");
    profes.close();
    if (report.on())
        for (const auto& entry : tutors) {
            // Named copies of the pair's parts: clang 14 does not let a lambda capture a
            // structured binding.
            const auto& group = entry.first;
            const auto& tutor = entry.second;
            if (removedTeachers.contains(tutor))
                report.emit("tutor_quitado", [&] {
                    return std::pair{"grupo " + run::shown(group),
                                     "su TUTOR " + run::shown(tutor) +
                                         " se ha quitado de PROFT y sigue en GRUPOST"};
                });
        }

    asigt.close();
}

} // namespace pelmira::exporting
