#!/usr/bin/python3
"""Prints the live (not deleted) records of a dBASE table as sorted JSON lines.

An independent reader for the end-to-end tests: Debian's python3-dbfread.

  dbf_records.py TABLE.dbf [FIELD LOW HIGH]
  dbf_records.py TABLE.dbf --csv FILE.csv

With FIELD, only records whose FIELD lies in [LOW, HIGH] are printed; the
bounds compare as numbers for numeric fields and as text otherwise.

With --csv, compares the table's records in file order, field for field,
with a CSV export (header line of field names, UTF-8): numeric fields as
numbers, the others as text. Prints the first difference and exits 1, or
prints the number of records compared.
"""
import csv
import json
import sys

import dbfread


def compare_csv(table, csv_path):
    with open(csv_path, newline="", encoding="utf-8") as f:
        rows = list(csv.reader(f))
    names = [fld.name for fld in table.fields]
    if rows[0] != names:
        print("header differs: %r / %r" % (rows[0], names))
        return 1
    records = list(table)
    if len(rows) - 1 != len(records):
        print("%d CSV rows, %d records" % (len(rows) - 1, len(records)))
        return 1
    types = {fld.name: fld.type for fld in table.fields}
    for n, (row, rec) in enumerate(zip(rows[1:], records), 1):
        for name, text in zip(names, row):
            want = rec[name]
            got = (float(text) if text else None) if types[name] in "NF" else text
            if want != got and not (got is not None and want is not None
                                    and types[name] in "NF" and float(want) == got):
                print("record %d field %s: CSV %r, table %r" % (n, name, text, want))
                return 1
    print("%d records" % len(records))
    return 0


def main():
    path = sys.argv[1]
    table = dbfread.DBF(path, encoding="cp1252", char_decode_errors="strict",
                        ignore_missing_memofile=True)
    if len(sys.argv) == 4 and sys.argv[2] == "--csv":
        sys.exit(compare_csv(table, sys.argv[3]))
    field = sys.argv[2] if len(sys.argv) > 2 else None
    lines = []
    for rec in table:
        if field is not None:
            value = rec[field]
            if isinstance(value, (int, float)):
                low, high = float(sys.argv[3]), float(sys.argv[4])
            else:
                low, high = sys.argv[3], sys.argv[4]
            if not (low <= value <= high):
                continue
        lines.append(json.dumps(dict(rec), sort_keys=True))
    lines.sort()
    sys.stdout.write("".join(line + "\n" for line in lines))


if __name__ == "__main__":
    main()
