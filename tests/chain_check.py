#!/usr/bin/python3
"""A checker of the history's chain of its own, written from the README's canonical form alone,
and the owner's ways of tampering with a folder's history.

    chain_check.py check FOLDER [--digest N:HASH ...]
    chain_check.py check --server PSQL ARGS... -- [--digest N:HASH ...]
    chain_check.py tamper FOLDER KIND PLACE     KIND: change delete remove insert swap cut rewrite

check prints "whole N HASH" or "broken AT": the first record that does not match (for a tail
cut behind a head, the place after the last record; for a head the chain does not pass
through, the head's place). The folder's records are read as their raw field text, deleted
ones too; a server's rows as psql prints them.
"""
import hashlib
import re
import struct
import subprocess
import sys

# The history's fields in their order, and how each enters the canonical form.
FIELDS = [("DEN", "day"), ("VREMYA", "text"), ("VID", "text"), ("SERIAL", "number"),
          ("ZAPIS", "number"), ("NUMBER", "number"), ("DATE", "day"), ("KOM1", "text"),
          ("KOM2", "text"), ("KOEF_1", "number"), ("KOEF_2", "number"), ("KOEF_N", "number"),
          ("SUMM_1", "number"), ("SUMM_2", "number"), ("SUMM_N", "number"), ("RESULT", "text"),
          ("SUMMA", "number"), ("KOEFICIENT", "number"), ("FIO", "text"), ("VYPLATA", "number"),
          ("KASSIR", "text"), ("KOD", "sealed")]


def number(text):
    m = re.fullmatch(r"([+-]?)(\d*)(?:\.(\d*))?", text)
    if not m or (m.group(2) == "" and not m.group(3)):
        return text
    whole = m.group(2).lstrip("0")
    fraction = (m.group(3) or "").rstrip("0")
    sign = "-" if m.group(1) == "-" and (whole or fraction) else ""
    return sign + (whole or "0") + ("." + fraction if fraction else "")


def canonical(kind, text):
    """A value given as text without padding (None: blank or NULL)."""
    if text is None or text == "":
        return ""
    if kind == "number":
        return number(text)
    if kind == "day":
        return "" if set(text) <= {"0"} else text
    if kind == "sealed":
        return hashlib.sha256(text.encode()).hexdigest()
    return text


def link(previous, place, values):
    body = "".join(";%d:%s" % (len(v.encode()), v) for v in values)
    return hashlib.sha256((previous + str(place) + body).encode()).hexdigest()


def check(records, digests):
    """records: (values, stored hash, deleted) in the chain's order."""
    previous, started, place = "0" * 64, False, 0
    for place, (values, stored, deleted) in enumerate(records, 1):
        computed = link(previous, place, values)
        started = started or bool(stored)
        if started and (stored.lower() != computed or deleted):
            return "broken %d" % place
        previous = computed
        for n, h in digests:
            if n == place and h != computed:
                return "broken %d" % place
    count = len(records)
    if any(n > count for n, _ in digests):
        return "broken %d" % (count + 1)
    return "whole %d %s" % (count, previous)


def read_folder(folder):
    data = open(folder + "/HISTORY.DBF", "rb").read()
    count, header, length = struct.unpack("<IHH", data[4:12])
    columns, offset, at = {}, 1, 32
    while data[at] != 0x0D:
        name = data[at:at + 11].split(b"\0")[0].decode()
        width = data[at + 16]
        columns[name] = (offset, width)
        offset += width
        at += 32
    records = []
    for i in range(count):
        raw = data[header + i * length:header + (i + 1) * length]

        def field(name):
            if name not in columns:
                return None
            o, w = columns[name]
            return raw[o:o + w].rstrip(b" \0").decode("cp1251")

        values = []
        for name, kind in FIELDS:
            text = field(name)
            if text is not None and kind in ("number", "day"):
                text = text.lstrip(" \0")
            values.append(canonical(kind, text))
        records.append((values, field("HASH") or "", raw[0:1] == b"*"))
    return records


def read_server(psql):
    """The sealed records as the books' view of them gives them: KOD as its hash already."""
    out = subprocess.run(psql + ["-X", "-A", "-t", "-F", "\x1f", "-R", "\x1e", "-P",
                                 "null=\x01", "-c", "select * from varnel.chained order by link"],
                         check=True, capture_output=True, text=True).stdout
    records = []
    for row in out.split("\x1e"):
        row = row.strip("\n")
        if not row:
            continue
        cells = row.split("\x1f")
        values = []
        for (name, kind), cell in zip(FIELDS, cells[2:]):
            text = None if cell == "\x01" else cell
            if kind == "sealed":
                values.append(text or "")
                continue
            if text is not None and kind == "text":
                text = text.rstrip(" ")
            values.append(canonical(kind, text))
        records.append((values, cells[1], False))
    return records


def head_args(args):
    digests = []
    while args and args[0] == "--digest":
        n, h = args[1].split(":")
        digests.append((int(n), h))
        args = args[2:]
    return digests


def tamper(folder, kind, place):
    path = folder + "/HISTORY.DBF"
    i = place - 1
    if kind in ("change", "delete", "remove"):
        import dbf
        table = dbf.Table(path)
        table.open(dbf.READ_WRITE)
        record = table[i]
        if kind == "change":
            with record as r:
                r.fio = "Подставной"
        else:
            dbf.delete(record)
        if kind == "remove":
            table.pack()
        table.close()
        return
    data = bytearray(open(path, "rb").read())
    count, header, length = struct.unpack("<IHH", data[4:12])
    records = [bytes(data[header + k * length:header + (k + 1) * length]) for k in range(count)]
    if kind == "insert":  # a copy of the record before, hash and all
        records.insert(i, records[i - 1])
    elif kind == "swap":
        records[i], records[i + 1] = records[i + 1], records[i]
    elif kind == "cut":
        records = records[:i]
    elif kind == "rewrite":  # a name changed and every hash from it on computed anew
        columns, offset, at = {}, 1, 32
        while data[at] != 0x0D:
            columns[data[at:at + 11].split(b"\0")[0].decode()] = (offset, data[at + 16])
            offset += data[at + 16]
            at += 32
        o, w = columns["FIO"]
        changed = bytearray(records[i])
        changed[o:o + w] = "Подставной".encode("cp1251").ljust(w)
        records[i] = bytes(changed)
        open(path, "wb").write(bytes(data[:header]) + b"".join(records) + b"\x1a")
        parsed = read_folder(folder)
        previous = "0" * 64
        ho, hw = columns["HASH"]
        for k, (values, stored, _) in enumerate(parsed):
            previous = link(previous, k + 1, values)
            if k >= i:
                r = bytearray(records[k])
                r[ho:ho + hw] = previous.encode().ljust(hw)
                records[k] = bytes(r)
    else:
        raise SystemExit("unknown tampering " + kind)
    data[4:8] = struct.pack("<I", len(records))
    open(path, "wb").write(bytes(data[:header]) + b"".join(records) + b"\x1a")


def main(args):
    if args[0] == "check" and args[1] == "--server":
        end = args.index("--")
        print(check(read_server(args[2:end]), head_args(args[end + 1:])))
    elif args[0] == "check":
        print(check(read_folder(args[1]), head_args(args[2:])))
    elif args[0] == "tamper":
        tamper(args[1], args[2], int(args[3]))
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
