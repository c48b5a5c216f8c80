#include "import/solution_records.h"

#include "text/text.h"

namespace pelmira::importing {

using worktables::Table;

RecordKind recordKind(const Table& soluc) {
    return soluc.text("ASIG") == soluc.text("TAREA") ? RecordKind::Duty : RecordKind::Class;
}

bool isPlaced(const Table& soluc) {
    return soluc.integer("DIA") != 0 && soluc.number("HORA") != 0.0;
}

std::string_view dayLetter(std::int32_t day) {
    static constexpr std::string_view letters[] = {"L", "M", "X", "J", "V", "S", "D"};
    if (day < 1 || day > 7)
        return {};
    return letters[day - 1];
}

namespace {

// The fields taken from the first record of `table` whose `key` equals `value`.
const LookupTables::Found& lookUp(LookupTables::Cache& cache, Table& table, const char* key,
                                  const std::string& value,
                                  std::initializer_list<const char*> fields) {
    auto it = cache.find(value);
    if (it != cache.end())
        return it->second;
    LookupTables::Found found;
    if (table.locate({{key, value}})) {
        found.emplace();
        for (const char* f : fields)
            found->push_back(table.text(f));
    }
    return cache.emplace(value, std::move(found)).first->second;
}

// Tells `report` (when there is one) about the current record.
template <class Message>
void tell(const run::StepReport* report, const Table& soluc, const char* kind, Message&& message) {
    if (report && report->on())
        report->emit(kind, [&] {
            return std::pair{"SOLUC registro " + std::to_string(soluc.recNo()),
                             std::string(message())};
        });
}

// Not placed: DIA or HORA is 0 (or blank).
bool placedOrTold(const Table& soluc, const run::StepReport* report) {
    if (isPlaced(soluc))
        return true;
    tell(report, soluc, "no_colocado", [&] {
        return "se descarta, no está colocado (DIA " + run::shown(soluc.text("DIA")) + ", HORA " +
               run::shown(soluc.text("HORA")) + ")";
    });
    return false;
}

std::string_view dayLetterOrTold(const Table& soluc, const run::StepReport* report) {
    const std::int32_t day = soluc.integer("DIA");
    const std::string_view letter = dayLetter(day);
    if (letter.empty())
        tell(report, soluc, "dia_fuera", [&] {
            return "el DIA " + std::to_string(day) +
                   " no es un día de 1 a 7; dia_semana queda vacío";
        });
    return letter;
}

// "se descarta, el grupo 1A no está en GRUPOST" / "el aula A1 no está en AULAT; aula queda vacía"
std::string dropped(const char* what, const std::string& code, const char* table) {
    return "se descarta, " + std::string(what) + " " + run::shown(code) + " no está en " + table;
}
std::string leftEmpty(const char* what, const std::string& code, const char* table,
                      const char* outcome) {
    return std::string(what) + " " + run::shown(code) + " no está en " + table + "; " + outcome;
}

// The period of the record's slot: the first DIASHORAST row whose HORA equals the text of
// SOLUC.HORA (every day repeats the same order and times, so any row of the slot serves).
bool lookUpPeriod(const Table& soluc, const LookupTables& t, std::string& order, std::string& from,
                  std::string& to, const run::StepReport* report) {
    const std::string slot = soluc.text("HORA");
    const auto& period =
        lookUp(t.slotCache, t.slots, "HORA", slot, {"SESION_ORDEN", "HORADESDE", "HORAHASTA"});
    if (!period) {
        tell(report, soluc, "sesion_no_encontrada", [&] {
            return "se descarta, la sesión " + run::shown(slot) + " no está en la plantilla";
        });
        return false;
    }
    order = (*period)[0];
    from = (*period)[1];
    to = (*period)[2];
    return true;
}

} // namespace

std::optional<ClassLine> translateClassRecord(const Table& soluc, const LookupTables& t,
                                              const run::StepReport* report) {
    if (!placedOrTold(soluc, report))
        return std::nullopt;
    ClassLine line;
    line.dia_semana = dayLetterOrTold(soluc, report);

    const std::string groupCode = soluc.text("CODGRUPO");
    const auto& group =
        lookUp(t.groupCache, t.groups, "ABREV", groupCode, {"CLAVE", "CLAVECURSO", "ENSENANZA"});
    if (!group) {
        tell(report, soluc, "grupo_no_encontrado",
             [&] { return dropped("el grupo", groupCode, "GRUPOST"); });
        return std::nullopt;
    }
    line.grupo = (*group)[0];
    line.curso = (*group)[1];
    line.ensenanza = (*group)[2];

    const std::string subjectCode = soluc.text("ASIG");
    const auto& subject = lookUp(t.subjectCache, t.subjects, "COD", subjectCode, {"ABREV_ITACA"});
    if (!subject) {
        tell(report, soluc, "contenido_no_encontrado",
             [&] { return dropped("el contenido", subjectCode, "ASIGNOMT"); });
        return std::nullopt;
    }
    line.contenido = (*subject)[0];

    // Teacher and room are optional: a code that is not found leaves the value empty.
    const std::string teacherCode = soluc.text("PROF");
    const auto& teacher = lookUp(t.classTeacherCache, t.teachers, "ABREV", teacherCode, {"DNI"});
    if (teacher)
        line.docente = (*teacher)[0];
    else
        tell(report, soluc, "docente_no_encontrado",
             [&] { return leftEmpty("el profesor", teacherCode, "PROFT", "docente queda vacío"); });

    const std::string roomCode = soluc.text("AULA");
    const auto& room = lookUp(t.roomCache, t.rooms, "ABREV", roomCode, {"ABREV_ITACA"});
    if (room)
        line.aula = (*room)[0];
    else
        tell(report, soluc, "aula_no_encontrada",
             [&] { return leftEmpty("el aula", roomCode, "AULAT", "aula queda vacía"); });

    if (!lookUpPeriod(soluc, t, line.sesion_orden, line.hora_desde, line.hora_hasta, report))
        return std::nullopt;
    return line;
}

std::optional<DutyLine> translateDutyRecord(const Table& soluc, const LookupTables& t,
                                            const run::StepReport* report) {
    if (!placedOrTold(soluc, report))
        return std::nullopt;
    DutyLine line;
    line.dia_semana = dayLetterOrTold(soluc, report);

    const std::string dutyCode = soluc.text("ASIG");
    const auto& duty = lookUp(t.subjectCache, t.subjects, "COD", dutyCode, {"ABREV_ITACA"});
    if (!duty) {
        tell(report, soluc, "ocupacion_no_encontrada",
             [&] { return dropped("la ocupación", dutyCode, "ASIGNOMT"); });
        return std::nullopt;
    }
    line.ocupacion = (*duty)[0];

    const std::string teacherCode = soluc.text("PROF");
    const auto& teacher =
        lookUp(t.dutyTeacherCache, t.teachers, "ABREV", teacherCode, {"DNI", "ENSENANZA"});
    if (!teacher) {
        tell(report, soluc, "docente_no_encontrado",
             [&] { return dropped("el profesor", teacherCode, "PROFT"); });
        return std::nullopt;
    }
    line.docente = (*teacher)[0];
    line.ensenanza = (*teacher)[1];

    if (!lookUpPeriod(soluc, t, line.sesion_orden, line.hora_desde, line.hora_hasta, report))
        return std::nullopt;
    return line;
}

} // namespace pelmira::importing
