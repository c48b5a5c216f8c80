#!/usr/bin/env python3
"""Writes a fictional secondary school as an ITACA centre document.

Deterministic for a given seed and scale. At scale 1 the school has about 60 teachers, 30 groups,
300 subjects and 5,000 group-timetable lines spread over three time templates; every figure grows
in proportion with the scale. Values carry the blank padding ITACA writes (tutor_sec=" ",
padded codes) and accented names, so the runs see what they see in real files. No real
person's data: names are drawn from common Spanish and Valencian words.
"""

import argparse
import random
import sys
from xml.sax.saxutils import quoteattr

SURNAMES = [
    "García", "Martínez", "López", "Sánchez", "Pérez", "Gómez", "Martín", "Jiménez", "Ruiz",
    "Hernández", "Díaz", "Moreno", "Muñoz", "Álvarez", "Romero", "Alonso", "Gutiérrez", "Navarro",
    "Torres", "Domínguez", "Vázquez", "Ramos", "Gil", "Ramírez", "Serrano", "Blanco", "Molina",
    "Morales", "Suárez", "Ortega", "Delgado", "Castro", "Ortiz", "Rubio", "Marín", "Sanz", "Núñez",
    "Iglesias", "Medina", "Garrido", "Cortés", "Castillo", "Santos", "Lozano", "Guerrero", "Cano",
    "Prieto", "Méndez", "Cruz", "Calvo", "Gallego", "Vidal", "León", "Herrera", "Peña", "Ferrer",
    "Llorens", "Puig", "Soler", "Mascarell", "Benlloch", "Climent", "Esteve", "Ribes", "Vives",
]
GIVEN = [
    "Ana", "Antonio", "María", "José", "Carmen", "Vicent", "Laura", "Pau", "Lucía", "Jordi",
    "Marta", "Joan", "Elena", "Sergio", "Núria", "Andrés", "Inés", "Xavier", "Pilar", "Ramón",
    "Rosa", "Àngel", "Sofía", "Víctor", "Amparo", "Héctor", "Empar", "Óscar", "Teresa", "Iván",
]
SUBJECTS = [
    ("MAT", "Matemáticas", "Matemàtiques"), ("LCL", "Lengua Castellana", "Llengua Castellana"),
    ("VAL", "Valenciano", "Valencià"), ("ING", "Inglés", "Anglés"), ("FQ", "Física y Química",
    "Física i Química"), ("BG", "Biología y Geología", "Biologia i Geologia"),
    ("GH", "Geografía e Historia", "Geografia i Història"), ("EF", "Educación Física",
    "Educació Física"), ("MUS", "Música", "Música"), ("TEC", "Tecnología", "Tecnologia"),
    ("EPV", "Educación Plástica", "Educació Plàstica"), ("FR", "Francés", "Francés"),
    ("REL", "Religión", "Religió"), ("FIL", "Filosofía", "Filosofia"), ("ECO", "Economía",
    "Economia"), ("LAT", "Latín", "Llatí"), ("INF", "Informática", "Informàtica"),
    ("TUT", "Tutoría", "Tutoria"), ("DIB", "Dibujo Técnico", "Dibuix Tècnic"),
    ("PSI", "Psicología", "Psicologia"),
]
DUTIES = [
    ("Guardia", "Guàrdia"), ("Biblioteca", "Biblioteca"), ("Jefatura de Departamento",
    "Cap de Departament"), ("Coordinación TIC", "Coordinació TIC"), ("Reunión de Tutores",
    "Reunió de Tutors"), ("Atención a Familias", "Atenció a Famílies"), ("Guardia de Recreo",
    "Guàrdia de Pati"), ("Mediación", "Mediació"),
]
LETTERS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
DAYS = "LMXJV"


def attrs(**kv):
    return " ".join(f"{k}={quoteattr(v)}" for k, v in kv.items())


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--scale", type=int, default=1)
    ap.add_argument("--seed", type=int, default=2026)
    ap.add_argument("--output", default="-")
    a = ap.parse_args()
    rnd = random.Random(a.seed)
    s = a.scale

    n_teachers, n_courses, groups_per_course, subjects_per_course = 60 * s, 10 * s, 3, 30
    n_rooms, n_duties = 40 * s, len(DUTIES) * s
    templates = [("HOR-M", "Horari de matí", "Horario de mañana", "Matí"),
                 ("HOR-T", "Horari de vesprada", "Horario de tarde", "Vesprada"),
                 ("HOR-I", "Horari intensiu", "Horario intensivo", "Matí")]
    periods = [("08:00", "08:55"), ("08:55", "09:50"), ("09:50", "10:45"), ("11:15", "12:10"),
               ("12:10", "13:05"), ("13:05", "14:00"), ("14:00", "14:55")]

    out = sys.stdout if a.output == "-" else open(a.output, "w", encoding="iso-8859-1",
                                                   errors="xmlcharrefreplace")
    w = out.write
    w('<?xml version="1.0" encoding="ISO-8859-1"?>\n')
    w(f'<centro {attrs(codigo="46999999", denominacion=" IES Pelmira de Prueba ", curso="2026", version="1.8")}>\n')

    w("<plantillas_horario>\n")
    for code, val, cas, turno in templates:
        w(f"  <plantilla_horario {attrs(codigo=code, descripcion_val=val, descripcion_cas=cas, turno=turno)}/>\n")
    w("</plantillas_horario>\n<sesiones_horario>\n")
    for code, *_ in templates:
        for day in DAYS:
            for i, (h1, h2) in enumerate(periods, 1):
                w(f"  <sesion_horario {attrs(plantilla=code, dia_semana=day, sesion_orden=str(i), hora_desde=h1, hora_hasta=h2)}/>\n")
    w("</sesiones_horario>\n")

    w("<ensenanzas>\n")
    w(f'  <ensenanza {attrs(ensenanza="ESO", abreviatura="ESO")}/>\n')
    w(f'  <ensenanza {attrs(ensenanza="BACH", abreviatura="BAC")}/>\n')
    w("</ensenanzas>\n")

    teachers = []
    w("<docentes>\n")
    for t in range(n_teachers):
        a1, a2, nm = rnd.choice(SURNAMES), rnd.choice(SURNAMES), rnd.choice(GIVEN)
        dni = f"{10000000 + t * 7919 % 89999999:08d}{LETTERS[t % 23]}"
        teachers.append(dni)
        w(f"  <docente {attrs(apellido1=a1, apellido2=a2, nombre=nm, fecha_ingreso=f'{1 + t % 28:02d}/09/{1990 + t % 30}', documento=' ' + dni + ' ', ensenanza='ESO' if t % 3 else 'BACH')}/>\n")
    w("</docentes>\n")

    rooms = []
    w("<aulas>\n")
    for r in range(n_rooms):
        code = f"A{r:03d}" if r % 10 else f"LABORATORIO{r // 10}"
        rooms.append(code)
        w(f"  <aula {attrs(nombre=f'Aula {r}', codigo=code)}/>\n")
    w("</aulas>\n")

    courses, groups = [], []
    w("<cursos>\n")
    for c in range(n_courses):
        level = 1 + c % 4
        ens = "ESO" if c % 6 < 4 else "BACH"
        code = f"C{c:05d}"
        courses.append((code, level, ens))
        w(f"  <curso {attrs(padre='', abreviatura=f'{level}{ens}{c // 4}', codigo=code, ensenanza=ens)}/>\n")
    w("</cursos>\n<grupos>\n")
    for c, (ccode, level, ens) in enumerate(courses):
        for g in range(groups_per_course):
            gcode = f"{level}{ens}{LETTERS[(c * groups_per_course + g) % 26]}"
            tutor = rnd.choice(teachers)
            groups.append((gcode, ccode))
            w(f"  <grupo {attrs(codigo=gcode, nombre=f'{level}º {ens} grupo {LETTERS[g]}', turno='M' if g % 2 == 0 else 'V', ensenanza=ens, tutor_ppal=tutor if g % 4 else '', tutor_sec=' ' if g % 4 else tutor)}/>\n")
    w("</grupos>\n<cursos_grupo>\n")
    for gcode, ccode in groups:
        w(f"  <curso_grupo {attrs(grupo=gcode, curso=ccode)}/>\n")
    w("</cursos_grupo>\n")

    subjects = {}
    w("<contenidos>\n")
    for c, (ccode, level, ens) in enumerate(courses):
        subjects[ccode] = []
        for k in range(subjects_per_course):
            base, cas, val = SUBJECTS[k % len(SUBJECTS)]
            code = f"{base}{level}{c:04d}{k:02d}"
            subjects[ccode].append(code)
            w(f"  <contenido {attrs(codigo=code, nombre_cas=f'{cas} {level}º ({c}.{k})', nombre_val=f'{val} {level}r ({c}.{k})', curso=ccode)}/>\n")
    w("</contenidos>\n")

    duties = []
    w("<ocupaciones>\n")
    for d in range(n_duties):
        cas, val = DUTIES[d % len(DUTIES)]
        code = f"{100000 + d * 37}"
        duties.append(code)
        suffix = f" {d // len(DUTIES)}" if d >= len(DUTIES) else ""
        w(f"  <ocupacion {attrs(codigo=code, nombre_cas=cas + suffix, nombre_val=val + suffix)}/>\n")
    w("</ocupaciones>\n")

    # About 5,000 lines per scale unit: each group has every period of the week in every
    # template, with further lines (optional subjects, split groups) in the same periods until
    # the count is reached.
    w("<horarios_grupo>\n")
    target, lines = 5000 * s, 0
    while lines < target:
        for tcode, *_ in templates:
            for gcode, ccode in groups:
                for day in DAYS:
                    for i, (h1, h2) in enumerate(periods, 1):
                        if lines >= target:
                            break
                        for _ in range(1 + (rnd.random() < 0.2)):
                            if lines >= target:
                                break
                            subj = rnd.choice(subjects[ccode][:12])
                            w(f"  <horario_grupo {attrs(plantilla=tcode, dia_semana=day, sesion_orden=str(i), hora_desde=h1, hora_hasta=h2, grupo=gcode, curso=ccode, contenido=subj, docente=rnd.choice(teachers), aula=rnd.choice(rooms), idioma='')}/>\n")
                            lines += 1
    w("</horarios_grupo>\n<horarios_ocupaciones>\n")
    for k in range(len(teachers) * 4):
        h1, h2 = periods[k % len(periods)]
        w(f"  <horario_ocupacion {attrs(plantilla=templates[k % len(templates)][0], dia_semana=DAYS[k % 5], sesion_orden=str(1 + k % 7), hora_desde=h1, hora_hasta=h2, docente=teachers[k // 4], ocupacion=duties[k % len(duties)])}/>\n")
    w("</horarios_ocupaciones>\n</centro>\n")
    if out is not sys.stdout:
        out.close()


if __name__ == "__main__":
    main()
