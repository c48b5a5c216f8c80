// ASIGNOMT: one row per distinct subject code, then one per distinct duty name.

#include "export/export_run.h"
#include "export/schemas.h"
#include "text/error.h"
#include "text/text.h"
#include "worktables/table.h"

#include <string>

namespace pelmira::exporting {

namespace {

const itaca::ItacaDocument& loaded(const std::shared_ptr<const itaca::ItacaDocument>& document) {
    if (!document)
        throw Error("No se ha cargado ningún documento de ITACA");
    return *document;
}

// The name attribute of the selected language: Valencian only for the exact item "VALENCIÁ".
const char* nameAttribute(const RunState& state) {
    return state.language == text::kValencian ? "nombre_val" : "nombre_cas";
}

} // namespace

void ExportRun::BuildSubjectNames() {
    // Every run starts with both lists empty, whatever an unfinished earlier run left in them.
    state_.usedCodes.clear();
    state_.usedNames.clear();

    const auto& document = loaded(document_);
    auto table = worktables::Table::rebuild(folder_, "ASIGNOMT", schemas::asignomt());
    const char* nameAttr = nameAttribute(state_);

    const itaca::ElementList subjects = document.select("/centro/contenidos/contenido");
    if (subjects.count() > 1) {
        for (std::size_t i = 0; i < subjects.count(); ++i) {
            const itaca::Element subject = subjects.item(i);
            const std::string itacaCode = subject.attr("codigo");
            const std::string name = subject.attr(nameAttr);
            std::string code = itacaCode;

            const bool wasUsed = state_.usedCodes.contains(code);
            if (!state_.usedNames.contains(name)) {
                state_.usedNames.add(name);
                if (code.size() > 10)
                    code = std::string(text::left(code, 8)) + std::string(text::right(code, 2));
            }
            // A subject code yields one row, the first one met; a shortened code that collides
            // with one already given yields none.
            if (wasUsed || state_.usedCodes.contains(code))
                continue;
            state_.usedCodes.add(code);

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
    const auto& document = loaded(document_);
    auto table = worktables::Table::open(folder_, "ASIGNOMT");
    const char* nameAttr = nameAttribute(state_);

    const itaca::ElementList duties = document.select("/centro/ocupaciones/ocupacion");
    if (duties.count() > 1) {
        for (std::size_t i = 0; i < duties.count(); ++i) {
            const itaca::Element duty = duties.item(i);
            const std::string code = duty.attr("codigo");
            const std::string name = duty.attr(nameAttr);

            // A duty bearing the name of a subject or of an earlier duty is dropped.
            if (state_.usedNames.contains(name))
                continue;
            state_.usedNames.add(name);

            std::string key = "*" + std::string(text::right(code, 3));
            if (state_.usedCodes.contains(key)) {
                const std::string base(text::left(key, 3));
                bool found = false;
                for (int c = 'A'; c <= 255; ++c) {
                    std::string candidate = base + static_cast<char>(c);
                    if (!state_.usedCodes.contains(candidate)) {
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
            state_.usedCodes.add(key);

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
    state_.usedCodes.clear();
    state_.usedNames.clear();
}

} // namespace pelmira::exporting
