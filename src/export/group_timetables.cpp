// ApplyGroupTimetables: asks whether to take the data of all time templates; when the user
// keeps only the chosen one, fits the class rows of ASIGT to that template's group timetable.

#include "export/assign_internal.h"
#include "export/export_run.h"
#include "export/report_memo.h"
#include "run/report.h"
#include "text/text.h"
#include "worktables/table.h"

#include <cstdint>
#include <string>
#include <unordered_map>

namespace pelmira::exporting {

namespace {

using worktables::Table;

std::string allTemplatesQuestion() {
    return assign::importantBanner() + "\r\n" +
           "Se han encontrado Datos que pueden pertenecer a varias Plantillas Horarias.\r\n"
           "RECOMENDAMOS IMPORTAR SOLAMENTE LOS DATOS PERTENECIENTES A UNA SOLA PLANTILLA.\r\n"
           "Si quiere Importar los Datos de todas las Plantillas Pulse el Botón \"Sí\".\r\n"
           "Para Importar solo los Datos de la Plantilla seleccionada,Pulse el Botón \"No\".\r\n"
           "(Recomendamos Pulsar \"No\", y trabajar solo con datos de una Plantilla.)";
}

// Counts one more period of a timetable line on the current row of ASIGT, filling in its
// teacher and room when they are still blank.
void countLine(Table& asigt, double horas, const std::string& teacher,
               const std::string& roomCode) {
    asigt.edit();
    asigt.setNumber("HORAS", horas);
    if (assign::isBlank(asigt.text("CPROF")))
        asigt.setText("CPROF", teacher);
    if (assign::isBlank(asigt.text("CAULA")))
        asigt.setText("CAULA", roomCode);
    asigt.post();
}

// A base row's record number and a teacher code, as one key.
std::string teacherKey(std::uint32_t base, const std::string& teacher) {
    return std::to_string(base) + '|' + teacher;
}

} // namespace

void ExportRun::ApplyGroupTimetables() {
    exportState_.chosenTemplateOnly = false;
    const auto& document = assign::loadedDocument(document_);

    const auto lines = document.select("/centro/horarios_grupo/horario_grupo");
    if (lines.count() == 0)
        return;
    if (ui_.ask(run::Interaction::Question::AllTemplates, allTemplatesQuestion()))
        return;

    exportState_.chosenTemplateOnly = true;
    const run::StepReport report(state_.observer, "ApplyGroupTimetables");
    auto asigt = Table::open(folder_, "ASIGT");
    auto grupos = Table::open(folder_, "GRUPOST");
    auto profes = Table::open(folder_, "PROFT");
    auto aulas = Table::open(folder_, "AULAT");

    // The rows some line has counted toward, by record number.
    assign::RecordSet touchedRows;
    // The row appended for a further teacher of a base row, by teacherKey().
    std::unordered_map<std::string, std::uint32_t> teacherRows;

    if (lines.count() == 1)
        report.emit("seccion_insuficiente", [] {
            return std::pair{std::string("horarios_grupo"),
                             std::string("tiene un solo elemento; no se cuenta ninguna línea y se "
                                         "borran todas las filas de clase de ASIGT")};
        });

    // Why no base row has a line's group, course and subject.
    const auto whyNoBaseRow = [&](const std::string& group, const std::string& course,
                                  const std::string& subject) -> std::string {
        const std::string key = subjectKey(subject, course);
        const bool known = memo().assignmentsBuilt;
        if (known && !memo().contenidosRead)
            return "la sección contenidos no tiene al menos dos elementos";
        if (known && !memo().subjectWithRows.contains(key))
            if (const auto it = memo().subjectWithoutRows.find(key);
                it != memo().subjectWithoutRows.end())
                return it->second;
        if (group.size() > 10 || course.size() > 10 || subject.size() > 10)
            return "un código tiene más de 10 caracteres y ASIGT guarda solo 10";
        if (known && !memo().subjectWithRows.contains(key))
            return "no hay ningún contenido " + run::shown(subject) + " del curso " +
                   run::shown(course);
        if (!grupos.locate({{"CLAVE", group}}))
            return "el grupo no está en GRUPOST";
        if (grupos.text("CLAVECURSO") != course)
            return "en GRUPOST el grupo es del curso " + run::shown(grupos.text("CLAVECURSO"));
        return "el contenido no dio filas para ese grupo y curso";
    };

    if (lines.count() >= 2) {
        for (std::size_t i = 0; i < lines.count(); ++i) {
            const auto line = lines.item(i);
            const auto where = [&] { return run::elementAt("horario_grupo", line.position()); };
            if (const std::string plantilla = line.attr("plantilla");
                plantilla != state_.templateCode) {
                report.emit("otra_plantilla", [&] {
                    return std::pair{where(), "no se cuenta, es de la plantilla " +
                                                  run::shown(plantilla) + " y no de la elegida " +
                                                  run::shown(state_.templateCode)};
                });
                continue;
            }
            const std::string group = line.attr("grupo");
            const std::string course = line.attr("curso");
            const std::string subject = line.attr("contenido");
            const std::string dni = line.attr("docente");
            const std::string room = line.attr("aula");

            // The base row written for this group, course and subject. Rows appended below come
            // after every base row, so this is always a base row.
            if (!asigt.locate(
                    {{"CLAVE", group}, {"CLAVECURSO", course}, {"ASIG_ITACA", subject}})) {
                report.emit("sin_fila_base", [&] {
                    return std::pair{where(), "se descarta, no hay fila en ASIGT para grupo " +
                                                  run::shown(group) + ", curso " +
                                                  run::shown(course) + ", contenido " +
                                                  run::shown(subject) + " (" +
                                                  whyNoBaseRow(group, course, subject) + ")"};
                });
                continue;
            }
            const std::uint32_t base = asigt.recNo();

            std::string teacher;
            if (profes.locate({{"DNI", dni}}))
                teacher = profes.text("ABREV");
            else if (!dni.empty())
                report.emit("docente_no_encontrado", [&] {
                    return std::pair{where(), "el docente " + text::toUtf8(dni) +
                                                  " no está en PROFT" +
                                                  (dni.size() > 14 ? " (PROFT guarda solo 14 "
                                                                     "caracteres del DNI)"
                                                                   : "") +
                                                  "; la línea cuenta sin profesor"};
                });
            std::string roomCode;
            if (aulas.locate({{"ABREV_ITACA", room}}))
                roomCode = aulas.text("ABREV");
            else if (!room.empty())
                report.emit("aula_no_encontrada", [&] {
                    return std::pair{where(), "el aula " + text::toUtf8(room) +
                                                  " no está en AULAT" +
                                                  (room.size() > 10 ? " (AULAT guarda solo 10 "
                                                                      "caracteres del código)"
                                                                    : "") +
                                                  "; la línea no da aula a su fila"};
                });

            if (!touchedRows.contains(base)) {
                // The first line takes the base row over.
                touchedRows.insert(base);
                countLine(asigt, 1, teacher, roomCode);
                continue;
            }

            const std::string casig = asigt.text("CASIG");
            const std::string cgrup = asigt.text("CGRUP");
            if (asigt.text("CPROF") == teacher) {
                countLine(asigt, asigt.number("HORAS") + 1, teacher, roomCode);
                continue;
            }

            // The row of this teacher for the same group, course and subject. The lookup can
            // also meet a second base row of the same keys (a contenido listed twice, or two
            // groups sharing one ITACA code) that no line has reached and that is deleted
            // below; the line then goes to the row appended for this teacher, if any.
            bool found = asigt.locate({{"CLAVE", group},
                                       {"CLAVECURSO", course},
                                       {"ASIG_ITACA", subject},
                                       {"CPROF", teacher}});
            if (found && !touchedRows.contains(asigt.recNo())) {
                const auto own = teacherRows.find(teacherKey(base, teacher));
                found = own != teacherRows.end();
                if (found)
                    asigt.go(own->second);
            }
            if (found) {
                countLine(asigt, asigt.number("HORAS") + 1, teacher, roomCode);
                continue;
            }

            // A further teacher: a row of its own, with the group's fields from GRUPOST.
            if (!grupos.locate({{"ABREV", cgrup}})) {
                report.emit("grupo_no_encontrado", [&] {
                    return std::pair{where(), "se pierde, el grupo " + run::shown(cgrup) +
                                                  " de la fila base no está en GRUPOST y no se "
                                                  "puede añadir la fila del profesor " +
                                                  run::shown(teacher)};
                });
                continue;
            }
            asigt.append();
            asigt.setText("CASIG", casig);
            asigt.setText("CPROF", teacher);
            asigt.setText("CGRUP", cgrup);
            asigt.setText("CAULA", roomCode);
            asigt.setText("TURNO", grupos.text("TURNO"));
            asigt.setText("NIVEL", grupos.text("NIVEL"));
            asigt.setText("CURSO", grupos.text("CURSO"));
            asigt.setText("GRUPO", grupos.text("GRUPO"));
            asigt.setNumber("HORAS", 1);
            asigt.setText("SESIONES", assign::kClassSessions);
            asigt.setText("CLAVE", group);
            asigt.setText("CLAVECURSO", course);
            asigt.setText("CTAREA", assign::kClassTask);
            asigt.setText("ASIG_ITACA", subject);
            asigt.post();
            touchedRows.insert(asigt.recNo());
            teacherRows.emplace(teacherKey(base, teacher), asigt.recNo());
        }
    }

    // Every class row that no line of the chosen template reached goes.
    const std::uint32_t records = asigt.recordCount();
    for (std::uint32_t recNo = 1; recNo <= records; ++recNo) {
        asigt.go(recNo);
        if (!asigt.isDeleted() && !touchedRows.contains(recNo)) {
            report.emit("fila_borrada", [&] {
                return std::pair{"ASIGT registro " + std::to_string(recNo),
                                 "se borra la fila de grupo " + run::shown(asigt.text("CLAVE")) +
                                     ", contenido " + run::shown(asigt.text("ASIG_ITACA")) +
                                     ", ninguna línea de la plantilla " +
                                     run::shown(state_.templateCode) + " la usa"};
            });
            asigt.deleteRecord();
        }
    }
    assign::compactIgnoringFailure(asigt);

    asigt.close();
    grupos.close();
    profes.close();
    aulas.close();
}

} // namespace pelmira::exporting
