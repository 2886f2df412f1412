#!/usr/bin/env python3
"""Scores `vessamo-cli carve` on folders of the SQLite forensic corpus.

A deleted row of an answer key (or any row of a table it marks dropped) counts as recovered when every value it
lists comes back in one carved record of the same table; a carved record is
right when it is such a row. Each database is copied before it is carved.
Beside each folder's figures (and the overall ones) it prints what the
corpus's READMEs report for other carvers.

    score_corpus.py VESSAMO_CLI CORPUS_DIR 0A 0B 0C 0D 0E
"""
import glob
import json
import os
import re
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


def published_figures(corpus, folders):
    """What the corpus's READMEs say other carvers reached: for a folder,
    pairs "recall / precision (carver)" in the paragraph that names it; for
    the whole corpus, "CARVER recovered N % of the corpus's ... records".
    A folder's own README, where there is one, is read too."""
    texts = []
    for path in [os.path.join(corpus, 'README.md')] + [
            os.path.join(corpus, f, name) for f in folders for name in ('README.md', 'README.txt')]:
        if os.path.isfile(path):
            with open(path, encoding='utf-8', errors='replace') as readme:
                texts.append((os.path.basename(os.path.dirname(path)), readme.read()))
    figures = {}
    pair = re.compile(r'(?:recall\s+)?(\d\.\d+)\s*/\s*(?:precision\s+)?(\d\.\d+)\s*\(([^)]*)\)')
    for folder_of_file, text in texts:
        for paragraph in re.split(r'\n\s*\n', text):
            paragraph = ' '.join(paragraph.split())
            named = re.search(r'folder (0[A-E])\b', paragraph)
            folder = named.group(1) if named else (folder_of_file if folder_of_file in folders
                                                   else None)
            if folder:
                figures.setdefault(folder, []).extend(
                    f'{carver} {recall}/{precision}'
                    for recall, precision, carver in pair.findall(paragraph))
            for carver, percent in re.findall(
                    r'(\w[\w-]*) recovered (\d+(?:\.\d+)?)\s*% of the corpus', paragraph):
                figures.setdefault('all', []).append(
                    f'{carver} recall {float(percent) / 100:.3f}')
    return figures


def report(name, deleted, found, reported, right, published):
    recall = found / deleted if deleted else 0.0
    precision = right / reported if reported else 0.0
    line = (f'{name}: {deleted} deleted rows, {found} recovered, recall {recall:.3f}; '
            f'{reported} records, precision {precision:.3f}')
    others = published.get(name)
    print(line + (f'   published: {", ".join(others)}' if others else '   published: none'))


def main():
    cli, corpus, folders = sys.argv[1], sys.argv[2], sys.argv[3:]
    published = published_figures(corpus, folders)
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
            report(folder, *counts, published)
            total = [t + c for t, c in zip(total, counts)]
    if len(folders) > 1:
        report('all', *total, published)


if __name__ == '__main__':
    main()
