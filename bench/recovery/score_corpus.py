#!/usr/bin/env python3
"""Scores `vessamo-cli carve` on folders of the SQLite forensic corpus.

A deleted row of an answer key (or any row of a table it marks dropped) counts as recovered when every value it
lists comes back in one carved record of the same table; a carved record is
right when it is such a row. Each database is copied before it is carved.

    score_corpus.py VESSAMO_CLI CORPUS_DIR 0A 0B 0C 0D 0E
"""
import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET


def answer_key(path):
    deleted = []
    for element in ET.parse(path).getroot().findall('element'):
        table = element.findtext('meta/name')
        dropped = element.findtext('meta/deleted') == 'True'  # every row of a dropped table
        for row in element.iter('row'):
            if dropped or row.get('deleted') == '1':
                deleted.append((table, [c.text for c in row.findall('.//content')]))
    return deleted


def as_text(value):
    if value is None:
        return None
    if isinstance(value, float) and value.is_integer():
        return str(int(value))
    return str(value)


def carve(cli, database, scratch):
    copy = os.path.join(scratch, os.path.basename(database))
    shutil.copy(database, copy)
    run = subprocess.run([cli, 'carve', copy, '--json'], capture_output=True, text=True,
                         timeout=600)
    if run.returncode != 0:
        return []
    return [(r['table'], [as_text(v) for v in r['values']])
            for r in json.loads(run.stdout)['records']]


def same_value(wanted, carved):
    """The key prints reals with a fixed number of decimals; a carved real
    is the same value when it rounds to what the key printed."""
    if wanted == carved:
        return True
    if carved is None or '.' not in wanted:
        return False
    try:
        decimals = len(wanted) - wanted.index('.') - 1
        return round(float(carved), decimals) == round(float(wanted), decimals)
    except ValueError:
        return False


def matches(row, record):
    return row[0] == record[0] and all(
        v in (None, '') or any(same_value(v, c) for c in record[1]) for v in row[1])


def report(name, deleted, found, reported, right):
    recall = found / deleted if deleted else 0.0
    precision = right / reported if reported else 0.0
    print(f'{name}: {deleted} deleted rows, {found} recovered, recall {recall:.3f}; '
          f'{reported} records, precision {precision:.3f}')


def main():
    cli, corpus, folders = sys.argv[1], sys.argv[2], sys.argv[3:]
    total = [0, 0, 0, 0]
    with tempfile.TemporaryDirectory(prefix='vessamo-corpus-') as scratch:
        for folder in folders:
            counts = [0, 0, 0, 0]  # deleted, found, reported, right
            for database in sorted(glob.glob(os.path.join(corpus, folder, '*.db'))):
                rows = answer_key(database[:-3] + '.xml')
                records = carve(cli, database, scratch)
                counts[0] += len(rows)
                counts[1] += sum(any(matches(r, c) for c in records) for r in rows)
                counts[2] += len(records)
                counts[3] += sum(any(matches(r, c) for r in rows) for c in records)
            report(folder, *counts)
            total = [t + c for t, c in zip(total, counts)]
    if len(folders) > 1:
        report('all', *total)


if __name__ == '__main__':
    main()
