#pragma once

// Horvex's solution records (SOLUC) and their translation into ITACA's codes through the work
// tables the export run built. All texts are cp1252, as read from the tables.

#include "run/report.h"
#include "worktables/table.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pelmira::importing {

// A duty record carries the duty's code in both ASIG and TAREA (compared byte for byte; two
// empty values are equal); every other record is a class record.
enum class RecordKind { Class, Duty };
RecordKind recordKind(const worktables::Table& soluc);

// Placed: DIA, read as an integer, and HORA, read as a number, are both non-zero. A blank field
// reads as 0.
bool isPlaced(const worktables::Table& soluc);

// "L", "M", "X", "J", "V", "S", "D" for 1 to 7; empty for any other day number.
std::string_view dayLetter(std::int32_t day);

// The values of one horario_grupo line, named after the attributes that receive them.
struct ClassLine {
    std::string dia_semana, sesion_orden, hora_desde, hora_hasta;
    std::string grupo, curso, ensenanza, contenido, docente, aula;
    bool operator==(const ClassLine&) const = default;
};

// The values of one horario_ocupacion line.
struct DutyLine {
    std::string dia_semana, sesion_orden, hora_desde, hora_hasta;
    std::string docente, ensenanza, ocupacion;
    bool operator==(const DutyLine&) const = default;
};

// The open work tables the translations look codes up in, which nothing writes while they are
// open. Every lookup gives the fields taken from the first matching record; the answers are
// kept per code, so each code is looked up in its table once (lookups move the cursors).
struct LookupTables {
    worktables::Table& groups;   // GRUPOST, by ABREV
    worktables::Table& subjects; // ASIGNOMT, by COD (subjects and duties)
    worktables::Table& teachers; // PROFT, by ABREV
    worktables::Table& rooms;    // AULAT, by ABREV
    worktables::Table& slots;    // DIASHORAST, by HORA

    // The fields taken from a found record, in the order asked for; nullopt: not found.
    using Found = std::optional<std::vector<std::string>>;
    using Cache = std::unordered_map<std::string, Found>;
    mutable Cache groupCache{}, subjectCache{}, classTeacherCache{}, dutyTeacherCache{},
        roomCache{}, slotCache{};
};

// The current SOLUC record, translated; nullopt when it is not placed or a code it needs is not
// found (group, subject and period for a class line; duty, teacher and period for a duty line).
// The caller has told the kind apart; these do not look at it. `report`, when given, is told
// why a record gives no line or a line with a value left empty ("SOLUC registro N").
std::optional<ClassLine> translateClassRecord(const worktables::Table& soluc,
                                              const LookupTables& tables,
                                              const run::StepReport* report = nullptr);
std::optional<DutyLine> translateDutyRecord(const worktables::Table& soluc,
                                            const LookupTables& tables,
                                            const run::StepReport* report = nullptr);

} // namespace pelmira::importing
