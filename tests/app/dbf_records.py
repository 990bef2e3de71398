#!/usr/bin/python3
"""Prints the live (not deleted) records of a dBASE table as sorted JSON lines.

An independent reader for the end-to-end tests: Debian's python3-dbfread.

  dbf_records.py TABLE.dbf [FIELD LOW HIGH]

With FIELD, only records whose FIELD lies in [LOW, HIGH] are printed; the
bounds compare as numbers for numeric fields and as text otherwise.
"""
import json
import sys

import dbfread


def main():
    path = sys.argv[1]
    table = dbfread.DBF(path, encoding="cp1252", char_decode_errors="strict",
                        ignore_missing_memofile=True)
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
