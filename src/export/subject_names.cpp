// ASIGNOMT: one row per distinct subject code, then one per distinct duty name.

#include "export/builder_internal.h"
#include "export/export_run.h"
#include "export/report_memo.h"
#include "horvex/schemas.h"
#include "run/report.h"
#include "text/error.h"
#include "text/text.h"
#include "worktables/table.h"

#include <string>

namespace pelmira::exporting {

namespace {

// The name attribute of the selected language: Valencian only for the exact item "VALENCIÁ".
const char* nameAttribute(const run::RunState& state) {
    return state.language == text::kValencian ? "nombre_val" : "nombre_cas";
}

// A section that the step reads only with at least two elements.
} // namespace

void ExportRun::BuildSubjectNames() {
    // Every run starts with both lists empty, whatever an unfinished earlier run left in them.
    exportState_.usedCodes.clear();
    exportState_.usedNames.clear();

    const auto& document = builder::loadedDocument(document_);
    auto table = worktables::Table::rebuild(folder_, "ASIGNOMT", horvex::schemas::asignomt());
    const char* nameAttr = nameAttribute(state_);

    const run::StepReport report(state_.observer, "BuildSubjectNames");
    if (report.on()) {
        memo().codeOrigin.clear();
        memo().nameOrigin.clear();
        memo().dutyNotWritten.clear();
    }

    const itaca::ElementList subjects = document.select("/centro/contenidos/contenido");
    builder::reportSmallSection(report, "contenidos", subjects.count(),
                                "no se escribe ninguna fila de contenido en ASIGNOMT");
    if (subjects.count() > 1) {
        for (std::size_t i = 0; i < subjects.count(); ++i) {
            const itaca::Element subject = subjects.item(i);
            const std::string itacaCode = subject.attr("codigo");
            const std::string name = subject.attr(nameAttr);
            std::string code = itacaCode;

            const bool wasUsed = exportState_.usedCodes.contains(code);
            if (!exportState_.usedNames.contains(name)) {
                exportState_.usedNames.add(name);
                if (report.on())
                    memo().nameOrigin.emplace(
                        name, "el " + run::elementAt("contenido", subject.position()));
                if (code.size() > 10)
                    code = std::string(text::left(code, 8)) + std::string(text::right(code, 2));
            }
            // A subject code yields one row, the first one met; a shortened code that collides
            // with one already given yields none.
            if (wasUsed || exportState_.usedCodes.contains(code)) {
                report.emit(wasUsed ? "codigo_repetido" : "codigo_abreviado_repetido", [&] {
                    const auto origin = memo().codeOrigin.find(wasUsed ? itacaCode : code);
                    const std::string by = origin == memo().codeOrigin.end()
                                               ? std::string("un contenido anterior")
                                               : "el contenido " + std::to_string(origin->second);
                    return std::pair{run::elementAt("contenido", subject.position(), itacaCode),
                                     wasUsed ? "no se escribe, el código ya se usó en " + by
                                             : "no se escribe, el código abreviado " +
                                                   text::toUtf8(code) + " ya se usó en " + by};
                });
                continue;
            }
            exportState_.usedCodes.add(code);
            if (report.on()) {
                memo().codeOrigin.emplace(code, subject.position());
                const auto where = [&] {
                    return run::elementAt("contenido", subject.position(), itacaCode);
                };
                report.cut(table, "COD", code, where);
                report.cut(table, "NOMBRE", name, where);
                report.cut(table, "ABREV_ITACA", itacaCode, where);
            }

            table.append();
            table.setText("COD", code);
            table.setText("CODLARGO", text::left(name, 10));
            table.setText("NOMBRE", name);
            table.setLogical("ESTAREA", false);
            table.setText("ABREV_ITACA", itacaCode);
            table.post();
        }
    }
    table.close();
}

void ExportRun::AddDutyNames() {
    const auto& document = builder::loadedDocument(document_);
    auto table = worktables::Table::open(folder_, "ASIGNOMT");
    const char* nameAttr = nameAttribute(state_);

    const run::StepReport report(state_.observer, "AddDutyNames");

    const itaca::ElementList duties = document.select("/centro/ocupaciones/ocupacion");
    builder::reportSmallSection(report, "ocupaciones", duties.count(),
                                "no se escribe ninguna fila de ocupación en ASIGNOMT");
    if (duties.count() > 1) {
        for (std::size_t i = 0; i < duties.count(); ++i) {
            const itaca::Element duty = duties.item(i);
            const std::string code = duty.attr("codigo");
            const std::string name = duty.attr(nameAttr);

            // A duty bearing the name of a subject or of an earlier duty is dropped.
            if (exportState_.usedNames.contains(name)) {
                report.emit("nombre_repetido", [&] {
                    const auto origin = memo().nameOrigin.find(name);
                    const std::string by = origin == memo().nameOrigin.end()
                                               ? std::string("un elemento anterior")
                                               : origin->second;
                    std::string why = "el nombre " + text::toUtf8(name) + " ya se usó en " + by;
                    memo().dutyNotWritten.emplace(code, why);
                    return std::pair{run::elementAt("ocupacion", duty.position(), code),
                                     "no se escribe, " + why};
                });
                continue;
            }
            exportState_.usedNames.add(name);
            if (report.on())
                memo().nameOrigin.emplace(name,
                                          "la " + run::elementAt("ocupacion", duty.position()));

            std::string key = "*" + std::string(text::right(code, 3));
            if (exportState_.usedCodes.contains(key)) {
                const std::string base(text::left(key, 3));
                bool found = false;
                for (int c = 'A'; c <= 255; ++c) {
                    std::string candidate = base + static_cast<char>(c);
                    if (!exportState_.usedCodes.contains(candidate)) {
                        key = std::move(candidate);
                        found = true;
                        break;
                    }
                }
                if (!found)
                    throw Error("No queda ningún código libre para la ocupación '" +
                                text::toUtf8(code) + "' (" + text::toUtf8(name) +
                                "), elemento ocupacion " + std::to_string(duty.position()) +
                                " de /centro/ocupaciones: todos los códigos que empiezan por '" +
                                text::toUtf8(base) + "' están ocupados");
            }
            exportState_.usedCodes.add(key);
            if (report.on()) {
                const auto where = [&] {
                    return run::elementAt("ocupacion", duty.position(), code);
                };
                report.cut(table, "NOMBRE", name, where);
                report.cut(table, "CODTAREA", code, where);
                report.cut(table, "ABREV_ITACA", code, where);
            }

            table.append();
            table.setText("COD", key);
            table.setText("CODLARGO", text::left(name, 8));
            table.setText("NOMBRE", name);
            table.setText("CODTAREA", code);
            table.setLogical("ESTAREA", true);
            table.setText("ABREV_ITACA", code);
            table.post();
        }
    }
    table.close();

    // The two lists serve these two steps only.
    exportState_.usedCodes.clear();
    exportState_.usedNames.clear();
}

} // namespace pelmira::exporting
