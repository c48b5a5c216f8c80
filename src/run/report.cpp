#include "run/report.h"

#include "text/text.h"
#include "worktables/table.h"

#include <map>

namespace pelmira::run {

const std::vector<ReportKind>& reportKinds() {
    static const std::vector<ReportKind> kinds{
        // Export run.
        {"seccion_insuficiente", "Secciones con menos de dos elementos, que no se leen"},
        {"codigo_repetido", "Contenidos con un código ya usado, que no se escriben"},
        {"codigo_abreviado_repetido",
         "Contenidos cuyo código abreviado ya se usó, que no se escriben"},
        {"nombre_repetido", "Ocupaciones con un nombre ya usado, que no se escriben"},
        {"recorte", "Textos recortados al ancho de su campo"},
        {"clave_repetida", "Claves repetidas: las búsquedas encuentran siempre la primera"},
        {"curso_sin_padre", "Cursos sin padre cuya abreviatura no empieza por una cifra"},
        {"nivel_no_encontrado", "Enseñanzas que no están en ensenanzas: NIVEL queda vacío"},
        {"curso_grupo_no_encontrado",
         "Grupos que no están en cursos_grupo: CLAVECURSO queda vacío"},
        {"tutor_no_encontrado", "Tutores que no están en PROFT: TUTOR queda vacío"},
        {"contenido_sin_asignomt", "Contenidos que no están en ASIGNOMT: no dan filas en ASIGT"},
        {"contenido_sin_grupos", "Contenidos de un curso sin grupos: no dan filas en ASIGT"},
        {"otra_plantilla", "Líneas de otra plantilla, que no se cuentan"},
        {"sin_fila_base", "Líneas sin fila en ASIGT, que se descartan"},
        {"docente_no_encontrado", "Docentes que no están en PROFT"},
        {"aula_no_encontrada", "Aulas que no están en AULAT"},
        {"grupo_no_encontrado", "Grupos que no están en GRUPOST"},
        {"ocupacion_no_encontrada", "Ocupaciones que no están en ASIGNOMT"},
        {"fila_borrada", "Filas de ASIGT que no usa ninguna línea de la plantilla, borradas"},
        {"grupo_quitado", "Grupos sin clases, quitados de GRUPOST"},
        {"docente_quitado", "Profesores sin clases, quitados de PROFT"},
        {"tutor_quitado", "Tutores quitados de PROFT que siguen en GRUPOST"},
        {"duracion_negativa", "Sesiones que acaban antes de empezar"},
        // Import run.
        {"plantilla_sin_sesiones", "Plantillas sin sesiones"},
        {"no_colocado", "Registros no colocados (DIA u HORA 0), que se descartan"},
        {"dia_fuera", "Registros con un día fuera de 1 a 7: dia_semana queda vacío"},
        {"contenido_no_encontrado", "Contenidos que no están en ASIGNOMT"},
        {"sesion_no_encontrada", "Sesiones que no están en la plantilla"},
    };
    return kinds;
}

std::string_view kindHeading(std::string_view code) {
    for (const auto& k : reportKinds())
        if (k.code == code)
            return k.heading;
    return code;
}

std::size_t RunReport::count(std::string_view kind) const {
    std::size_t n = 0;
    for (const auto& e : events_)
        n += e.kind == kind;
    return n;
}

std::string formatReport(const std::vector<ReportEvent>& events, std::string_view title) {
    std::string out(title);
    out += '\n';
    if (events.empty()) {
        out += "Sin avisos: no se ha descartado, recortado ni dejado vacío nada.\n";
        return out;
    }

    // Steps in the order they first reported, kinds likewise within each step.
    struct KindBlock {
        std::string kind;
        std::vector<const ReportEvent*> events;
    };
    struct StepBlock {
        std::string step;
        std::vector<KindBlock> kinds;
    };
    std::vector<StepBlock> steps;
    for (const auto& e : events) {
        StepBlock* step = nullptr;
        for (auto& s : steps)
            if (s.step == e.step)
                step = &s;
        if (!step)
            step = &steps.emplace_back(StepBlock{e.step, {}});
        KindBlock* kind = nullptr;
        for (auto& k : step->kinds)
            if (k.kind == e.kind)
                kind = &k;
        if (!kind)
            kind = &step->kinds.emplace_back(KindBlock{e.kind, {}});
        kind->events.push_back(&e);
    }

    for (const auto& step : steps) {
        std::size_t total = 0;
        for (const auto& k : step.kinds)
            total += k.events.size();
        out += "\n" + step.step + " (" + std::to_string(total) +
               (total == 1 ? " aviso" : " avisos") + ")\n";
        for (const auto& k : step.kinds) {
            out += "  " + std::string(kindHeading(k.kind)) + " [" + k.kind +
                   "]: " + std::to_string(k.events.size()) + "\n";
            for (const auto* e : k.events)
                out += "    " + e->line() + "\n";
        }
    }
    out += "\nTotal: " + std::to_string(events.size()) +
           (events.size() == 1 ? " aviso.\n" : " avisos.\n");
    return out;
}

int StepReport::fieldWidth(const worktables::Table& table, std::string_view field) {
    for (const auto& f : table.fields())
        if (f.type == 'C' && text::equalsIgnoreCase(f.name, field))
            return f.length;
    return 0;
}

std::string StepReport::cutMessage(std::string_view field, std::string_view value, int width) {
    return std::string(field) + " " + text::toUtf8(value) + " recortado a " +
           std::to_string(width) + " caracteres";
}

void KeyOwners::add(const StepReport& report, std::string_view key, const char* elementName,
                    std::size_t position, std::string_view shownKey, const char* keyName) {
    if (!report.on() || key.empty())
        return;
    const auto [it, added] = owners_.try_emplace(std::string(key), position);
    if (added)
        return;
    const std::string owner = std::string(elementName) + " " + std::to_string(it->second);
    report.emit("clave_repetida", [&] {
        return std::pair{elementAt(elementName, position, shownKey),
                         std::string(keyName) + " " + text::toUtf8(key) + " ya es del " + owner +
                             "; las búsquedas por " + keyName + " solo encuentran el " + owner};
    });
}

std::string elementAt(std::string_view name, std::size_t position, std::string_view key) {
    std::string s = std::string(name) + " " + std::to_string(position);
    if (!key.empty())
        s += " (" + text::toUtf8(key) + ")";
    return s;
}

std::string shown(std::string_view cp1252) {
    return cp1252.empty() ? std::string("(vacío)") : text::toUtf8(cp1252);
}

} // namespace pelmira::run
