#!/usr/bin/env python3
"""Writes the seeds of fuzz_library that build a library by SQL: for each kind
of `pictures` the target knows (its first byte), a few scores with a picture
in either stored form, one without, one that is not a picture."""

import pathlib
import struct
import sys

here = pathlib.Path(__file__).parent
jpeg = (here / "corpus/decode/colour.jpg").read_bytes()
bare = "X'" + jpeg.hex() + "'"
headed = "X'" + (struct.pack("<HHI", 1, 0x0100, len(jpeg)) + jpeg).hex() + "'"

seeds = [
    f"INSERT INTO pictures VALUES ('one', {bare}), ('two', {headed}), ('three', NULL);",
    f"INSERT INTO scores VALUES ('one', {bare}), ('two', NULL);"
    f"INSERT INTO pictures (filename, picture) VALUES ('three', {headed});",
    f"INSERT INTO scores VALUES ('one', {bare}, 3), ('two', 'not a picture', 2);",
    f"INSERT INTO pictures VALUES ('keep this', {bare}), ('renamed', {headed}), ('other', NULL);",
    f"INSERT INTO pictures (filename, picture, note) VALUES (12, {bare}, 'n'), ('text', 'words', 1);",
    f"INSERT INTO pictures VALUES (1, 'not a picture'), (2, NULL);"
    f"INSERT INTO pictures VALUES ('three', {bare});",
    f"INSERT INTO pictures (name, stored) VALUES ('one', {bare}), (NULL, {headed});",
    f"INSERT INTO pictures VALUES (1, 'one', {bare}), (2, 'two', NULL);",
    f"INSERT INTO pictures VALUES ('7', 'one', {bare}), (NULL, 'two', {headed}), (7, 'three', NULL);",
]

folder = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else here / "corpus/library")
for kind, sql in enumerate(seeds):
    (folder / f"schema{kind}.sql").write_bytes(bytes([kind]) + sql.encode())
