#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Trim a device recording to what `snmphelper status` reads, as snmprec.

Reads a recording in the snmprec form (OID|TAG|VALUE) or net-snmp's
`snmpwalk -On` text (.1.3.6... = TYPE: value) and writes the objects of
system (1.3.6.1.2.1.1), Host Resources devices and printers
(1.3.6.1.2.1.25.3) and the Printer MIB (1.3.6.1.2.1.43), sorted by OID,
values as the source had them (texts in hex where they have blanks at
either end or octets that are not printable ASCII, as `snmphelper record`
writes them).

    scripts/trim-recording.py SOURCE > tests/data/printers/NAME.snmprec
"""
import re
import sys

KEPT = ("1.3.6.1.2.1.1.", "1.3.6.1.2.1.25.3.", "1.3.6.1.2.1.43.")

# snmpwalk's type names to snmpsim's tags.
WALK_TAGS = {"INTEGER": "2", "STRING": "4", "Hex-STRING": "4x", "OID": "6", "IpAddress": "64",
             "Counter32": "65", "Gauge32": "66", "Timeticks": "67", "Counter64": "70"}


def from_walk(line):
    match = re.match(r"^\.?([0-9.]+) = ([A-Za-z0-9-]+): ?(.*)$", line)
    if not match:
        return None
    oid, kind, value = match.groups()
    if kind not in WALK_TAGS:
        raise SystemExit(f"type {kind} not handled: {line}")
    tag = WALK_TAGS[kind]
    if kind == "STRING":
        value = value[1:-1] if value.startswith('"') and value.endswith('"') else value
        value = value.replace('\\"', '"').replace("\\\\", "\\")
    elif kind == "Hex-STRING":
        value = value.replace(" ", "").lower()
    elif kind == "Timeticks":
        value = value[1:value.index(")")]
    elif kind == "OID":
        value = value.lstrip(".")
    elif kind == "INTEGER":
        value = re.sub(r"^[A-Za-z-]+\((-?[0-9]+)\)$", r"\1", value)
    return oid, tag, value


def octet_string(tag, value):
    octets = bytes.fromhex(value) if tag == "4x" else value.encode("utf-8", "surrogateescape")
    plain = all(0x20 <= octet <= 0x7E for octet in octets) and not octets.startswith(b" ") and not octets.endswith(b" ")
    return ("4", octets.decode("ascii")) if plain else ("4x", octets.hex())


def main():
    objects = []
    with open(sys.argv[1], encoding="utf-8", errors="surrogateescape", newline="\n") as source:
        for line in source:
            line = line.rstrip("\n")
            if "|" in line.split(" ", 1)[0]:
                oid, tag, value = line.split("|", 2)
            else:
                parsed = from_walk(line)
                if parsed is None:
                    continue
                oid, tag, value = parsed
            if oid.startswith(KEPT):
                if tag in ("4", "4x"):
                    tag, value = octet_string(tag, value)
                objects.append((tuple(int(part) for part in oid.split(".")), oid, tag, value))
    for _, oid, tag, value in sorted(objects):
        sys.stdout.write(f"{oid}|{tag}|{value}\n")


if __name__ == "__main__":
    main()
