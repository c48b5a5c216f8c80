// BuildAssignments: the base rows of ASIGT, every subject of a course for every group of that
// course, with the default load of 4 periods and neither teacher nor room.

#include "export/assign_internal.h"
#include "export/export_run.h"
#include "export/report_memo.h"
#include "horvex/schemas.h"
#include "run/report.h"
#include "text/error.h"
#include "text/text.h"
#include "worktables/table.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace pelmira::exporting {

namespace {

using worktables::Table;

// The fields of a group that its class rows copy.
struct GroupFields {
    std::string abrev, turno, nivel, curso, grupo, clave;
};

// The groups of each course (by CLAVECURSO), each list in the stored order of GRUPOST. One walk
// of the table serves every contenido: GRUPOST does not change while the rows are written.
std::unordered_map<std::string, std::vector<GroupFields>> groupsByCourse(Table& grupos) {
    std::unordered_map<std::string, std::vector<GroupFields>> byCourse;
    for (bool more = grupos.first(); more; more = grupos.next()) {
        byCourse[grupos.text("CLAVECURSO")].push_back({grupos.text("ABREV"), grupos.text("TURNO"),
                                                       grupos.text("NIVEL"), grupos.text("CURSO"),
                                                       grupos.text("GRUPO"), grupos.text("CLAVE")});
    }
    return byCourse;
}

// How many records a table can take before its file passes 2 GiB, the size dBase readers
// handle. The contenidos times the groups of their courses can go far beyond that in a damaged
// or hostile document.
std::uint64_t maxRecords(const Table& table) {
    std::uint64_t recordLength = 1;
    for (const auto& f : table.fields())
        recordLength += std::uint64_t(f.length);
    const std::uint64_t header = 68 + 48 * std::uint64_t(table.fields().size()) + 1;
    const std::uint64_t endOfFile = 1;
    return ((std::uint64_t(1) << 31) - 1 - header - endOfFile) / recordLength;
}

} // namespace

void ExportRun::BuildAssignments() {
    const auto& document = assign::loadedDocument(document_);

    auto asigt = Table::rebuild(folder_, "ASIGT", horvex::schemas::asigt());
    auto grupos = Table::open(folder_, "GRUPOST");
    auto asignomt = Table::open(folder_, "ASIGNOMT");

    const auto contenidos = document.select("/centro/contenidos/contenido");
    const run::StepReport report(state_.observer, "BuildAssignments");
    if (report.on()) {
        memo().assignmentsBuilt = true;
        memo().contenidosRead = contenidos.count() >= 2;
        memo().subjectWithoutRows.clear();
        memo().subjectWithRows.clear();
    }
    if (contenidos.count() == 1)
        report.emit("seccion_insuficiente", [] {
            return std::pair{std::string("contenidos"),
                             std::string("tiene un solo elemento; ASIGT queda sin filas")};
        });
    if (contenidos.count() >= 2) {
        const auto byCourse = groupsByCourse(grupos);
        const bool castilian = state_.language == text::kCastilian;
        const bool valencian = state_.language == text::kValencian;
        const std::uint64_t limit = maxRecords(asigt);

        for (std::size_t i = 0; i < contenidos.count(); ++i) {
            const auto contenido = contenidos.item(i);
            const std::string course = contenido.attr("curso");
            const std::string code = contenido.attr("codigo");

            // The subject's Horvex code: by its ITACA code, else by its name in the selected
            // language. A row found with a blank COD counts as not found.
            std::string subject;
            std::string triedName; // the name looked up when the code was not found
            bool nameTried = false;
            if (asignomt.locate({{"ABREV_ITACA", code}}))
                subject = asignomt.text("COD");
            if (subject.empty() && castilian) {
                triedName = contenido.attr("nombre_cas");
                nameTried = true;
                if (asignomt.locate({{"NOMBRE", triedName}}))
                    subject = asignomt.text("COD");
            }
            if (subject.empty() && valencian) {
                triedName = contenido.attr("nombre_val");
                nameTried = true;
                if (asignomt.locate({{"NOMBRE", triedName}}))
                    subject = asignomt.text("COD");
            }
            const auto where = [&] {
                return run::elementAt("contenido", contenido.position(), code);
            };
            if (subject.empty()) {
                report.emit("contenido_sin_asignomt", [&] {
                    std::string why = "no da filas en ASIGT, el código no está en ASIGNOMT";
                    if (code.size() > 10)
                        why += " (ASIGNOMT guarda solo 10 caracteres del código)";
                    why += nameTried ? " ni tampoco su nombre " + run::shown(triedName)
                                     : std::string(" y no se busca por nombre con el idioma ") +
                                           text::toUtf8(state_.language);
                    memo().subjectWithoutRows.emplace(subjectKey(code, course),
                                                      "el contenido no está en ASIGNOMT");
                    return std::pair{where(), why};
                });
                continue;
            }

            const auto groups = byCourse.find(course);
            if (groups == byCourse.end()) {
                report.emit("contenido_sin_grupos", [&] {
                    memo().subjectWithoutRows.emplace(subjectKey(code, course),
                                                      "ningún grupo de GRUPOST es del curso " +
                                                          run::shown(course));
                    return std::pair{where(), "no da filas en ASIGT, ningún grupo de GRUPOST "
                                              "tiene CLAVECURSO " +
                                                  run::shown(course)};
                });
                continue;
            }
            if (report.on()) {
                memo().subjectWithRows[subjectKey(code, course)] = true;
                report.cut(asigt, "CLAVECURSO", course, where);
                report.cut(asigt, "ASIG_ITACA", code, where);
            }
            if (asigt.recordCount() + groups->second.size() > limit)
                throw Error("La tabla ASIGT no cabe en un archivo dBase: el contenido " +
                            std::to_string(contenido.position()) +
                            " de /centro/contenidos la llevaría a más de " + std::to_string(limit) +
                            " filas.");

            for (const auto& group : groups->second) {
                asigt.append();
                asigt.setText("CASIG", subject);
                asigt.setText("CGRUP", group.abrev);
                asigt.setText("CAULA", "");
                asigt.setText("TURNO", group.turno);
                asigt.setText("NIVEL", group.nivel);
                asigt.setText("CURSO", group.curso);
                asigt.setText("GRUPO", group.grupo);
                asigt.setNumber("HORAS", 4);
                asigt.setText("SESIONES", assign::kClassSessions);
                asigt.setText("CLAVE", group.clave);
                asigt.setText("CLAVECURSO", course);
                asigt.setText("CTAREA", assign::kClassTask);
                asigt.setText("ASIG_ITACA", code);
                asigt.post();
            }
        }
    }

    asigt.close();
    grupos.close();
    asignomt.close();
}

} // namespace pelmira::exporting
