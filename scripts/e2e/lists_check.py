#!/usr/bin/python3
"""Checks lists the program shows, from the list of what its windows show
(VELMAR_WIDGET_DUMP, see widget_check.py; an item's need and have are the
width its text and icon take and the width of its cell).

    lists_check.py import DUMP LANG FOLDER
        The import dialog's file list: no entry cut; each listed file of
        FOLDER has its size and its date written as LANG writes them (the
        date's numbers in the language's order and separators, the size's
        decimal mark) and its date is the file's own. Its file-type box
        shows its choice whole.
    lists_check.py search DUMP LANG TRANSLATIONS_DIR NAME
        Browse PC's search table: its headers are LANG's words for "Type",
        "Name" and "Path" (TRANSLATIONS_DIR/lang_LANG.ts) and NAME is among
        the files found.
    lists_check.py language DUMP NAME
        The Options page's language box shows NAME.

LANG is "it", "en", "de" or "zh". Prints one line per fault; exit 1 when
there is any.
"""
import os
import re
import sys
import time
import xml.etree.ElementTree as ET


def entries(dump):
    with open(dump, encoding="utf-8") as f:
        for line in f:
            kind, cut, need, have, at, path, text = line.rstrip("\n").split("\t")[:7]
            x, y, _w, _h = map(int, at.split())
            yield kind, cut == "1", int(need), int(have), x, y, path, text


def date_pattern(lang, when):
    t = time.localtime(when)
    d, m, yy, yyyy, hh, mm = t.tm_mday, t.tm_mon, t.tm_year % 100, t.tm_year, t.tm_hour, t.tm_min
    if lang == "it":
        return rf"0?{d}/0?{m}/{yy:02d},? 0?{hh}:{mm:02d}"
    if lang == "de":
        return rf"0?{d}\.0?{m}\.{yy:02d},? 0?{hh}:{mm:02d}"
    if lang == "zh":
        return rf"{yyyy}/0?{m}/0?{d} 0?{hh}:{mm:02d}"
    h12 = hh % 12 or 12
    return rf"{m}/{d}/{yy:02d},? {h12}:{mm:02d}\s?(?:AM|PM)"


def check_import(dump, lang, folder):
    faults, rows = [], {}
    types = 0
    for kind, cut, need, have, x, y, path, text in entries(dump):
        if kind == "current" and path.startswith("QFileDialog/") and path.endswith("/fileTypeCombo"):
            types += 1
            if cut:
                faults.append(f"import dialog: file type {text!r} cut, needs {need} px, has {have}")
        if kind != "item" or not path.startswith("QFileDialog/") or not path.endswith("/treeView"):
            continue
        if cut:
            faults.append(f"import dialog: {text!r} cut, needs {need} px, has {have}")
        rows.setdefault(y, []).append((x, text))
    if not rows:
        faults.append("import dialog: no file listed")
    if not types:
        faults.append("import dialog: no file-type box")
    for cells in rows.values():
        texts = [t for _, t in sorted(cells)]
        file = os.path.join(folder, texts[0])
        if not os.path.isfile(file) or len(texts) != 4:
            continue
        name, size, _kind, date = texts
        if not re.fullmatch(date_pattern(lang, os.stat(file).st_mtime), date):
            faults.append(f"import dialog: {name} dated {date!r}, not as {lang} writes its date")
        if os.stat(file).st_size >= 1024:
            mark = "," if lang in ("it", "de") else "."
            if not re.fullmatch(rf"\d+\{mark}\d+\s*\S+", size):
                faults.append(f"import dialog: {name} of size {size!r}, not with the {lang} decimal mark {mark!r}")
    return faults


def words(ts, context, sources):
    found = {}
    for ctx in ET.parse(ts).getroot().iter("context"):
        if ctx.findtext("name") != context:
            continue
        for message in ctx.iter("message"):
            if message.findtext("source") in sources:
                found[message.findtext("source")] = message.findtext("translation")
    return [found.get(s, s) for s in sources]


def check_search(dump, lang, folder, name):
    want = words(f"{folder}/lang_{lang}.ts", "libraryView", ["Type", "Name", "Path"])
    headers, items = [], []
    for kind, _cut, _need, _have, x, _y, path, text in entries(dump):
        if kind == "header" and path.endswith("/searchLV/QHeaderView"):
            headers.append(text)
        elif kind == "item" and path.endswith("/searchLV"):
            items.append(text)
    faults = []
    if headers != want:
        faults.append(f"Browse PC search headers {headers} in {lang}, not {want}")
    if name not in items:
        faults.append(f"Browse PC search did not find {name}: {items}")
    return faults


def check_language(dump, name):
    shown = [text for kind, *_rest, path, text in entries(dump)
             if kind == "current" and path.endswith("/languageCombo")]
    return [] if shown == [name] else [f"the language box shows {shown}, not {name!r}"]


def main(argv):
    what = argv[1] if len(argv) > 1 else ""
    if what == "import" and len(argv) == 5:
        faults = check_import(*argv[2:])
    elif what == "search" and len(argv) == 6:
        faults = check_search(*argv[2:])
    elif what == "language" and len(argv) == 4:
        faults = check_language(*argv[2:])
    else:
        sys.exit(__doc__)
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
