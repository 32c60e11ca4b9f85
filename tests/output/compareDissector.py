"""Compares the sniffer's JSON records with what tshark and the generated
dissector make of the same capture, telegram by telegram.

usage: compareDissector.py RECORDS TSHARK_JSON

RECORDS is the sniffer's --json output of a capture, TSHARK_JSON the output
of `tshark -X lua_script:zvEac.lua -r CAPTURE -T json` for the same capture.
Every body field of a record ("zveac.<message>.<name>", a group's entries
behind its name) must be a dissector field of the same name and value, and
every body field of the dissector one of the record, in the same order where
a name repeats. Prints one line per field that differs (at most 20) and ends
with status 1 when any does, or when the two do not hold the same telegrams.
"""
import json
import sys
from collections import defaultdict


def pairs_of(value):
    """tshark -T json repeats keys; kept as lists of (key, value) pairs."""
    return value if isinstance(value, list) else []


def first(pairs, key):
    for k, v in pairs_of(pairs):
        if k == key:
            return v
    return None


GROUP = object()  # a field that holds entries rather than a value


def record_fields(prefix, fields, out):
    for field in fields:
        path = prefix + "." + field["name"]
        if "fields" in field:
            out[path].append(GROUP)
            record_fields(path, field["fields"], out)
        else:
            out[path].append(field["value"])


def dissector_fields(tree, out):
    for key, value in pairs_of(tree):
        if key == "_ws.expert":
            continue
        if key.endswith("_tree"):
            dissector_fields(value, out)
        elif isinstance(value, list):
            # A field without a value of its own: its entries.
            out[key].append(GROUP)
            dissector_fields(value, out)
        else:
            out[key].append(value)


def agree(recorded, dissected):
    """A record's number, hex bytes or text against tshark's text of the
    field: a number in decimal or 0x hex, bytes as hex joined by colons."""
    if recorded is GROUP:
        return dissected is GROUP or dissected == ""
    if dissected is GROUP:
        return False
    if isinstance(recorded, int):
        try:
            return int(dissected, 0) == recorded
        except ValueError:
            return False
    return dissected == recorded or dissected.replace(":", "") == recorded


def shown(values):
    return [("(group)" if v is GROUP else v) for v in values]


def main():
    records = []
    with open(sys.argv[1], encoding="utf-8") as lines:
        for line in lines:
            record = json.loads(line)
            if record["kind"] == "telegram" and "msg_id" in record:
                records.append(record)
    with open(sys.argv[2], encoding="utf-8") as packets_file:
        packets = json.load(packets_file, object_pairs_hook=list)
    frames = []
    for packet in packets:
        zveac = first(first(first(packet, "_source"), "layers"), "zveac")
        if first(zveac, "zveac.kind") == "0" and first(zveac, "zveac.msgid") is not None:
            frames.append(zveac)

    bad = 0

    def report(what):
        nonlocal bad
        bad += 1
        if bad <= 20:
            print(what)

    if len(records) != len(frames):
        report(f"{len(records)} telegram records, {len(frames)} telegrams dissected")
    for number, (record, frame) in enumerate(zip(records, frames), 1):
        header = (record["src"], record["dst"], record["msg_id"], record["length"])
        dissected = tuple(int(first(frame, name), 0) for name in ("zveac.src", "zveac.dst", "zveac.msgid", "zveac.len"))
        if header != dissected:
            report(f"telegram {number}: record {header}, dissector {dissected}: out of step")
            break
        key = "zveac." + record["msg_name"].removeprefix("MSGID_").lower()
        expected = defaultdict(list)
        record_fields(key, record["fields"], expected)
        got = defaultdict(list)
        dissector_fields(first(frame, "zveac.body_tree"), got)
        for path in sorted(set(expected) | set(got)):
            want, have = expected.get(path, []), got.get(path, [])
            if len(want) != len(have) or not all(agree(w, h) for w, h in zip(want, have)):
                report(f"telegram {number} ({record['msg_name']}, {record['time']}): {path}: "
                       f"record {shown(want)}, dissector {shown(have)}")
    sys.exit(1 if bad else 0)


main()
