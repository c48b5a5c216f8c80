#pragma once

// The work tables Horvex reads: names, field order, types and widths are fixed by Horvex.

#include "worktables/table.h"

namespace pelmira::horvex::schemas {

using worktables::FieldType;
using worktables::Schema;

inline const Schema& asignomt() {
    static const Schema s{
        {"COD", FieldType::Text, 10},         {"CODLARGO", FieldType::Text, 10},
        {"NOMBRE", FieldType::Text, 80},      {"MATERIA", FieldType::Text, 8},
        {"CODTAREA", FieldType::Text, 12},    {"ESTAREA", FieldType::Logical},
        {"ABREV_ITACA", FieldType::Text, 10},
    };
    return s;
}

inline const Schema& proft() {
    static const Schema s{
        {"ABREV", FieldType::Text, 10},      {"NOMBRE", FieldType::Text, 80},
        {"DEPART", FieldType::Text, 40},     {"DNI", FieldType::Text, 14},
        {"X_EMPLEADO", FieldType::Text, 10}, {"F_TOMAPOS", FieldType::Text, 10},
        {"ENSENANZA", FieldType::Text, 5},
    };
    return s;
}

inline const Schema& aulat() {
    static const Schema s{
        {"ABREV", FieldType::Text, 10},     {"NOMBRE", FieldType::Text, 80},
        {"EDIFICIO", FieldType::Text, 1},   {"MAXALUM", FieldType::Integer},
        {"DEPCENTRO", FieldType::Text, 10}, {"ABREV_ITACA", FieldType::Text, 10},
    };
    return s;
}

inline const Schema& cursost() {
    static const Schema s{
        {"ABREV", FieldType::Text, 3},  {"TURNO", FieldType::Text, 1},
        {"NIVEL", FieldType::Text, 5},  {"CURSO", FieldType::Text, 3},
        {"CLAVE", FieldType::Text, 10}, {"ESTUD", FieldType::Text, 40},
    };
    return s;
}

inline const Schema& grupost() {
    static const Schema s{
        {"ABREV", FieldType::Text, 10},      {"TURNO", FieldType::Text, 1},
        {"NIVEL", FieldType::Text, 5},       {"CURSO", FieldType::Text, 3},
        {"GRUPO", FieldType::Text, 2},       {"CLAVE", FieldType::Text, 10},
        {"CLAVECURSO", FieldType::Text, 10}, {"DESCRIP", FieldType::Text, 80},
        {"ENSENANZA", FieldType::Text, 10},  {"TUTOR", FieldType::Text, 10},
    };
    return s;
}

inline const Schema& asigt() {
    static const Schema s{
        {"CASIG", FieldType::Text, 10},  {"CPROF", FieldType::Text, 10},
        {"CGRUP", FieldType::Text, 10},  {"CAULA", FieldType::Text, 10},
        {"TURNO", FieldType::Text, 1},   {"NIVEL", FieldType::Text, 5},
        {"CURSO", FieldType::Text, 3},   {"GRUPO", FieldType::Text, 2},
        {"HORAS", FieldType::Float},     {"SESIONES", FieldType::Text, 20},
        {"CLAVE", FieldType::Text, 10},  {"CLAVECURSO", FieldType::Text, 10},
        {"CTAREA", FieldType::Text, 10}, {"ASIG_ITACA", FieldType::Text, 10},
    };
    return s;
}

inline const Schema& diashorast() {
    static const Schema s{
        {"DIHO", FieldType::Text, 10},      {"CODDIHO", FieldType::Text, 10},
        {"DIA", FieldType::Text, 20},       {"TEXTODIA", FieldType::Text, 20},
        {"HORA", FieldType::Text, 8},       {"TEXTOHOR", FieldType::Text, 15},
        {"HORADESDE", FieldType::Text, 8},  {"HORAHASTA", FieldType::Text, 8},
        {"MINUTOS", FieldType::Text, 8},    {"SESION_ORDEN", FieldType::Integer},
        {"PLANTILLA", FieldType::Text, 20},
    };
    return s;
}

} // namespace pelmira::horvex::schemas
