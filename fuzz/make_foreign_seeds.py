#!/usr/bin/python3
"""Writes tables as another dBASE library writes them: the foreign seeds of the corpus.
Usage: make_foreign_seeds.py FOLDER"""
import datetime
import os
import sys

import dbf

folder = sys.argv[1]
os.makedirs(folder, exist_ok=True)


def table(name, fields, rows, codepage="cp1251", delete=(), version="db3"):
    path = os.path.join(folder, name)
    t = dbf.Table(path, fields, codepage=codepage, dbf_type=version)
    t.open(mode=dbf.READ_WRITE)
    for row in rows:
        t.append(row)
    for i in delete:
        dbf.delete(t[i])
    t.close()


table("dbf_compit.dbf",
      "NUMBER N(6,0); DATE D; KOM1 C(25); KOM2 C(25); KOEF_1 N(19,11); KOEF_2 N(19,11); "
      "KOEF_N N(19,11); SUMM_1 N(19,4); SUMM_2 N(19,4); SUMM_N N(19,4)",
      [(7, datetime.date(2026, 12, 7), "Локомотив", "Торпедо", 1.5, 2.75, 3.0, 100, 0, 12.5),
       (-32768, None, "", "", 0, 0, 0, 0, 0, 0)])
table("dbf_priem.dbf",
      "NUMBER N(6,0); RESULT C(25); SUMMA N(19,4); KOEFICIENT N(19,11); FIO C(50)",
      [(7, "Локомотив", 500, 1.5, "Сидоров С. С."), (7, "Ничья", 10, 3.0, "Кузнецова А.")],
      delete=(1,))
table("dbf_money.dbf", "FIO C(50); SUMMA N(19,4)",
      [("Сидоров С. С.", 1250), ("Ёжиков", 0.0001)])
table("dbf_types.dbf", "NAME C(10); FLAG L; WHEN D; WIDE N(19,2)",
      [("abc", True, datetime.date(1999, 1, 1), 123456789.25), ("", False, None, 0)],
      codepage="cp866")
table("dbf_float.dbf", "NAME C(10); F F(12,3); FLAG L",
      [("ёж", -1.5, True), ("", 0, None)], version="vfp")
table("dbf_memo.dbf", "NAME C(10); NOTE M", [("x", "длинный текст")])
table("dbf_vfp.dbf", "N N(5,0); S C(254)", [(1, "я" * 254)], version="vfp")
