#!/usr/bin/python3
# Makes the foreign-format fixtures of the work-table tests with Debian's python3-dbf
# (package python3-dbf, module dbf 0.96). Run it from this folder: /usr/bin/python3 make_fixtures.py
import datetime
import os

import dbf

HERE = os.path.dirname(os.path.abspath(__file__))


def make(name, spec, dbf_type, rows, deleted=()):
    path = os.path.join(HERE, name)
    for old in (path, path[:-4] + '.fpt', path[:-4] + '.dbt'):
        if os.path.exists(old):
            os.remove(old)
    table = dbf.Table(path, spec, dbf_type=dbf_type, codepage='cp1252')
    table.open(dbf.READ_WRITE)
    for row in rows:
        table.append(row)
    for index in deleted:
        dbf.delete(table[index])
    table.close()


# dBase III: text, N without and with decimals, F, logical, date; one deleted record.
make('db3_types.dbf',
     'NAME C(10); QTY N(5,0); PRICE N(8,2); RATIO F(8,3); ACTIVE L; BORN D',
     'db3',
     [('Ana', 3, 3.5, 0.125, True, datetime.date(2001, 2, 3)),
      ('José', -12, -0.25, None, False, None),
      (),
      ('Borrado', 9, 9.0, 9.0, True, datetime.date(1999, 12, 31)),
      ('Último', 100, 1234.56, -2.5, None, datetime.date(2026, 12, 10))],
     deleted=(3,))

# Visual FoxPro: little-endian I and B, Y currency, T datetime, plus C, L, D and N.
make('vfp_types.dbf',
     'NAME C(10); CNT I; RATE B; MONEY Y; STAMP T; ACTIVE L; BORN D; QTY N(6,1)',
     'vfp',
     [('Ana', 3, 3.5, 12.34, datetime.datetime(2020, 5, 6, 7, 8, 9), True,
       datetime.date(2001, 2, 3), 2.5),
      ('Núria', -7, -1.25, -1, None, False, None, None)])
