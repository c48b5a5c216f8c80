#!/usr/bin/env python3
"""Writes a SOLUC.DBF in dBase III form, as Horvex leaves a computed timetable, for the work
tables that an export left in a folder.

Each record places one row of ASIGT: class rows become class records (TAREA "*479"), duty rows
duty records (ASIG equal to TAREA). One record in fifty is left unplaced (DIA 0). Deterministic
for a given seed.
"""

import argparse
import random
import struct
from pathlib import Path


def read_dbf(path):
    """Text fields of a dBase level 7 table (as Pelmira writes them), live records only."""
    data = Path(path).read_bytes()
    count = struct.unpack_from("<I", data, 4)[0]
    header_len, record_len = struct.unpack_from("<HH", data, 8)
    fields, pos, offset = [], 68, 1
    while data[pos] != 0x0D:
        name = data[pos:pos + 32].split(b"\0")[0].decode("ascii")
        ftype, flen = chr(data[pos + 32]), data[pos + 33]
        fields.append((name, ftype, offset, flen))
        offset += flen
        pos += 48
    rows = []
    for i in range(count):
        rec = data[header_len + i * record_len: header_len + (i + 1) * record_len]
        if rec[:1] == b"*":
            continue
        rows.append({n: rec[o:o + l].decode("cp1252").rstrip(" ")
                     for n, t, o, l in fields if t == "C"})
    return rows


def find_table(folder, name):
    for p in Path(folder).iterdir():
        if p.name.upper() == name:
            return p
    raise SystemExit(f"{name} no está en {folder}")


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("workdir")
    ap.add_argument("--records", type=int, default=10000)
    ap.add_argument("--seed", type=int, default=7)
    a = ap.parse_args()
    rnd = random.Random(a.seed)
    rows = read_dbf(find_table(a.workdir, "ASIGT.DBF"))
    if not rows:
        raise SystemExit("ASIGT.DBF no tiene filas")

    fields = [("ASIG", "C", 10, 0), ("TAREA", "C", 10, 0), ("DIA", "N", 2, 0),
              ("HORA", "N", 2, 0), ("CODGRUPO", "C", 10, 0), ("PROF", "C", 10, 0),
              ("AULA", "C", 10, 0)]
    record_len = 1 + sum(f[2] for f in fields)
    header_len = 32 + 32 * len(fields) + 1
    out = bytearray()
    out += struct.pack("<BBBBIHH20x", 0x03, 126, 12, 10, a.records, header_len, record_len)
    for name, ftype, flen, dec in fields:
        out += struct.pack("<11sc4xBB14x", name.encode(), ftype.encode(), flen, dec)
    out += b"\r"

    def c(value, width):
        return value.encode("cp1252")[:width].ljust(width, b" ")

    def n(value, width):
        return str(value).rjust(width).encode()

    for i in range(a.records):
        row = rows[rnd.randrange(len(rows))]
        duty = row["CASIG"] == row["CTAREA"]
        day = 0 if i % 50 == 49 else rnd.randint(1, 5)
        out += b" " + c(row["CASIG"], 10) + c(row["CTAREA"] if duty else "*479", 10)
        out += n(day, 2) + n(rnd.randint(1, 7), 2) + c("" if duty else row["CGRUP"], 10)
        out += c(row["CPROF"], 10) + c("" if duty else row["CAULA"], 10)
    out += b"\x1a"
    (Path(a.workdir) / "SOLUC.DBF").write_bytes(out)


if __name__ == "__main__":
    main()
