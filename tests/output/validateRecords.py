"""Checks JSON Lines records against the published schema.

usage: validateRecords.py SCHEMA FILE
Prints one line per record that does not match (at most 10) and ends with
status 1 when any does, or when a line is not JSON.
"""
import json
import sys

import jsonschema

validator = jsonschema.Draft202012Validator(json.load(open(sys.argv[1], encoding="utf-8")))
bad = 0
with open(sys.argv[2], encoding="utf-8") as records:
    for number, line in enumerate(records, 1):
        for error in validator.iter_errors(json.loads(line)):
            bad += 1
            if bad <= 10:
                print(f"line {number}: {error.message} at {list(error.path)}")
sys.exit(1 if bad else 0)
