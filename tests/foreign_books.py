#!/usr/bin/python3
"""The events, bets and payouts tables of a working folder, written and read by other tools.

    foreign_books.py write WRITER FOLDER EVENT-DATE     WRITER: dbf | gdal | libreoffice
    foreign_books.py read FOLDER

write: each table gets one record (the event 7, a bet on it, a payout owed), so that the writers
that size a column by its widest value give every column a width.
read: prints, as JSON, each table's layout as its header gives it and its live records as
dbfread and as GDAL read them: {"COMPIT.DBF": {"layout": [["NUMBER", "N", 4, 0], ...],
"dbfread": [{...}], "gdal": [{...}]}, ...}; numbers as numbers, dates ISO.
"""
import csv
import datetime
import json
import os
import subprocess
import sys
import tempfile

import dbfread

HEADERS = {
    "COMPIT": ["NUMBER", "DATE", "KOM1", "KOM2", "KOEF_1", "KOEF_2", "KOEF_N",
               "SUMM_1", "SUMM_2", "SUMM_N"],
    "PRIEM": ["NUMBER", "RESULT", "SUMMA", "KOEFICIENT", "FIO"],
    "MONEY": ["FIO", "SUMMA"],
}
TYPES = {  # GDAL's column types for the CSV it reads
    "COMPIT": ["Integer", "Date", "String", "String", "Real", "Real", "Real", "Real", "Real", "Real"],
    "PRIEM": ["Integer", "String", "Real", "Real", "String"],
    "MONEY": ["String", "Real"],
}


def rows(day):
    return {
        "COMPIT": [7, day, "Спартак", "Зенит", 1.5, 2.25, 3, 500, 500, 500],
        "PRIEM": [7, "Зенит", 100, 2.25, "Иванов Иван"],
        "MONEY": ["Петров Пётр", 250.5],
    }


def with_dbf(folder, day):
    import dbf
    # Narrower and coarser than the program's own layout, one real as F, the bets file in
    # another field order.
    layouts = {
        "COMPIT": "NUMBER N(4,0); DATE D; KOM1 C(25); KOM2 C(25); KOEF_1 N(8,3); KOEF_2 N(8,3); "
                  "KOEF_N N(8,3); SUMM_1 N(12,2); SUMM_2 N(12,2); SUMM_N F(19,4)",
        "PRIEM": "FIO C(50); NUMBER N(4,0); RESULT C(25); KOEFICIENT N(8,3); SUMMA N(12,2)",
        "MONEY": "FIO C(40); SUMMA F(19,4)",
    }
    for name, fields in layouts.items():
        table = dbf.Table(os.path.join(folder, name + ".DBF"), fields, codepage="cp1251",
                          dbf_type="db3")
        table.open(dbf.READ_WRITE)
        record = dict(zip(HEADERS[name], rows(day)[name]))
        table.append(tuple(record[f.upper()] for f in table.field_names))
        table.close()


def write_csv(path, name, day):
    with open(path, "w", encoding="utf-8", newline="") as out:
        w = csv.writer(out)
        w.writerow(HEADERS[name])
        w.writerow([v.strftime("%Y/%m/%d") if isinstance(v, datetime.date) else v
                    for v in rows(day)[name]])


def with_gdal(folder, day):
    with tempfile.TemporaryDirectory() as scratch:
        for name in HEADERS:
            source = os.path.join(scratch, name + ".csv")
            write_csv(source, name, day)
            with open(os.path.join(scratch, name + ".csvt"), "w") as types:
                types.write(",".join(TYPES[name]) + "\n")
            subprocess.run(["ogr2ogr", "-f", "ESRI Shapefile", os.path.join(scratch, name + ".dbf"),
                            source, "-lco", "ENCODING=CP1251"], check=True, capture_output=True)
            # The table under the name the program opens, its code page file beside it.
            os.replace(os.path.join(scratch, name + ".dbf"), os.path.join(folder, name + ".DBF"))
            os.replace(os.path.join(scratch, name + ".cpg"), os.path.join(folder, name + ".cpg"))


def with_libreoffice(folder, day):
    with tempfile.TemporaryDirectory() as scratch:
        profile = "file://" + os.path.join(scratch, "profile")
        for name in HEADERS:
            source = os.path.join(scratch, name + ".csv")
            write_csv(source, name, day)
            # Comma separated, UTF-8 (76), from line 1; the events' second column year/month/day.
            columns = "2/5" if name == "COMPIT" else ""
            subprocess.run(["soffice", "-env:UserInstallation=" + profile, "--headless",
                            "--infilter=CSV:44,34,76,1," + columns,
                            "--convert-to", "dbf:dBase:34",  # 34: Windows-1251
                            "--outdir", scratch, source], check=True, capture_output=True)
            os.replace(os.path.join(scratch, name + ".dbf"), os.path.join(folder, name + ".DBF"))


def layout(path):
    return [[f.name, f.type, f.length, f.decimal_count] for f in dbfread.DBF(path).fields]


def plain(value):
    if isinstance(value, (datetime.date, datetime.datetime)):
        return value.isoformat()[:10]
    return value


def with_gdal_reading(path):
    # A table with no language driver byte and no code page file holds Windows-1251 here:
    # GDAL is told so, as a user of these files would tell it.
    with open(path, "rb") as f:
        driver = f.read(32)[29]
    code_page = os.path.exists(os.path.splitext(path)[0] + ".cpg")
    told = [] if driver or code_page else ["-oo", "ENCODING=CP1251"]
    out = subprocess.run(["ogr2ogr", "-f", "CSV", "/vsistdout/", path] + told,
                         check=True, capture_output=True).stdout.decode("utf-8")
    fields = {f.name: f.type for f in dbfread.DBF(path).fields}
    records = []
    for row in csv.DictReader(out.splitlines()):
        record = {}
        for name, text in row.items():
            kind = fields[name.upper()]
            if text == "":
                record[name.upper()] = None
            elif kind in "NF":
                number = float(text)
                record[name.upper()] = int(number) if number.is_integer() else number
            elif kind == "D":
                record[name.upper()] = text.replace("/", "-")
            else:
                record[name.upper()] = text
        records.append(record)
    return records


def read(folder):
    tables = {}
    for name in HEADERS:
        path = os.path.join(folder, name + ".DBF")
        records = []
        for r in dbfread.DBF(path, encoding="cp1251", char_decode_errors="strict"):
            records.append({k: (int(v) if isinstance(v, float) and v.is_integer() else plain(v))
                            for k, v in r.items()})
        tables[name + ".DBF"] = {"layout": layout(path), "dbfread": records,
                                 "gdal": with_gdal_reading(path)}
    print(json.dumps(tables, ensure_ascii=True))


def main():
    if sys.argv[1] == "read":
        read(sys.argv[2])
        return
    writer, folder, day = sys.argv[2], sys.argv[3], datetime.date.fromisoformat(sys.argv[4])
    {"dbf": with_dbf, "gdal": with_gdal, "libreoffice": with_libreoffice}[writer](folder, day)


if __name__ == "__main__":
    main()
