#!/usr/bin/python3
"""Writes SOLUC.DBF fixtures in dBase III form with python3-dbf (Debian package python3-dbf),
a tool independent of Pelmira's own dBase engine.

    make_soluc.py fixtures DIR      the committed fixtures of tests/import/data
    make_soluc.py csv IN.csv OUT    one SOLUC table from a CSV file with the columns
                                    ASIG,TAREA,DIA,HORA,CODGRUPO,PROF,AULA (header line first;
                                    an empty DIA or HORA stays blank)
"""

import csv
import os
import sys

import dbf

FIELDS = "ASIG C(10); TAREA C(10); DIA N(4,1); HORA N(4,1); CODGRUPO C(10); PROF C(10); AULA C(10)"

# The case table: (ASIG, TAREA, DIA, HORA, CODGRUPO, PROF, AULA, deleted). None is a blank
# number. The expected outcome of every record is listed, by record number, in
# tests/import/solution_records_test.cpp.
CASES = [
    ("MAT", "C01", 1, 1, "1ESOA", "AGL", "A101", False),   # 1 class, everything found
    ("GUA", "GUA", 2, 2, "", "AGO", "", False),            # 2 duty, everything found
    ("MAT", "C01", 0, 1, "1ESOA", "AGL", "A101", False),   # 3 class, day 0
    ("MAT", "C01", 1, 0, "1ESOA", "AGL", "A101", False),   # 4 class, slot 0
    ("MAT", "C01", None, 1, "1ESOA", "AGL", "A101", False),  # 5 class, blank day
    ("MAT", "C01", 1, None, "1ESOA", "AGL", "A101", False),  # 6 class, blank slot
    ("GUA", "GUA", 0, 2, "", "AGO", "", False),            # 7 duty, day 0
    ("MAT", "C01", 8, 1, "1ESOA", "AGL", "A101", False),   # 8 class, day 8
    ("MAT", "C01", -1, 1, "1ESOA", "AGL", "A101", False),  # 9 class, negative day
    ("MAT", "C01", 1, 2, "1ESOA", "XXX", "A101", False),   # 10 class, unknown teacher
    ("GUA", "GUA", 1, 2, "", "XXX", "", False),            # 11 duty, unknown teacher
    ("MAT", "C01", 1, 1, "1ESOA", "AGL", "A999", False),   # 12 class, unknown room
    ("MAT", "C01", 1, 1, "1ESOA", "AGL", "", False),       # 13 class, empty room
    ("MAT", "C01", 1, 1, "3ESOZ", "AGL", "A101", False),   # 14 class, unknown group
    ("MAT", "C01", 1, 1, "1esoa", "AGL", "A101", False),   # 15 class, group in other case
    ("mat", "C01", 1, 1, "1ESOA", "AGL", "A101", False),   # 16 class, subject in other case
    ("MAT", "C01", 1, 1, "1ESOA", "agl", "A101", False),   # 17 class, teacher in other case
    ("gua", "gua", 1, 1, "", "AGO", "", False),            # 18 duty, duty code in other case
    ("MAT", "C01", 1, 4, "1ESOA", "AGL", "A101", False),   # 19 class, slot past the list
    ("MAT", "C01", 1, 3.5, "1ESOA", "AGL", "A101", False),  # 20 class, slot with a fraction
    ("MAT", "C01", 4, 3, "1ESOA", "AGL", "A101", False),   # 21 class, slot 3 holds order 4
    ("MAT", "C01", 1.6, 1, "1ESOA", "AGL", "A101", False),  # 22 class, day 1.6 reads 2
    ("MAT", "C01", 5, 1, "1ESOA", "SINDNI", "A101", False),  # 23 class, teacher without DNI
    ("VAL", "C02", 5, 2, "2ESOA", "AGO", "LAB1", False),   # 24 class, duplicate of 25
    ("VAL", "C02", 5, 2, "2ESOA", "AGO", "LAB1", False),   # 25 class, duplicate of 24
    ("", "", 3, 1, "", "AGL", "", False),                  # 26 duty, ASIG and TAREA empty
    ("GUA", "gua", 2, 1, "1ESOA", "AGL", "A101", False),   # 27 class: ASIG and TAREA differ in case
    ("MAT", "C01", 1, 1, "1ESOA", "AGL", "A101", True),    # 28 class, deleted
    ("ZZZ", "ZZZ", 1, 1, "", "AGL", "", False),            # 29 duty, unknown duty code
    ("GUA", "GUA", 1, 7, "", "AGL", "", False),            # 30 duty, slot past the list
    ("TUT", "TUT", 6, 3, "", "SINDNI", "", False),         # 31 duty, teacher without DNI
    ("FIS", "C03", 1, 1, "1ESOA", "AGL", "A101", False),   # 32 class, unknown subject
    ("MAT", "C01", 7, 2, "1ESOA", "AGO", "LAB1", False),   # 33 class, Sunday
]


def write(path, fields, rows, deleted=()):
    if os.path.exists(path):
        os.remove(path)
    table = dbf.Table(path, fields, dbf_type="db3", codepage="cp1252")
    table.open(dbf.READ_WRITE)
    for row in rows:
        table.append(tuple(row))
    for index in deleted:
        dbf.delete(table[index])
    table.close()


def fixtures(folder):
    write(os.path.join(folder, "soluc_cases.dbf"), FIELDS,
          [case[:7] for case in CASES],
          [i for i, case in enumerate(CASES) if case[7]])
    write(os.path.join(folder, "soluc_empty.dbf"), FIELDS, [])
    # A SOLUC without the field AULA: the class walk needs it once a record gets that far.
    write(os.path.join(folder, "soluc_no_aula.dbf"),
          "ASIG C(10); TAREA C(10); DIA N(4,1); HORA N(4,1); CODGRUPO C(10); PROF C(10)",
          [("MAT", "C01", 1, 1, "1ESOA", "AGL")])


def number(text):
    text = text.strip()
    return None if text == "" else float(text)


def from_csv(source, target):
    with open(source, newline="", encoding="utf-8") as f:
        reader = csv.DictReader(f)
        rows = [(r["ASIG"], r["TAREA"], number(r["DIA"]), number(r["HORA"]), r["CODGRUPO"],
                 r["PROF"], r["AULA"]) for r in reader]
    write(target, FIELDS, rows)


def main(argv):
    if len(argv) == 3 and argv[1] == "fixtures":
        fixtures(argv[2])
    elif len(argv) == 4 and argv[1] == "csv":
        from_csv(argv[2], argv[3])
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
