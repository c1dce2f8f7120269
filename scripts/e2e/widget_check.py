#!/usr/bin/python3
"""Checks what the program's windows say, from the list it writes on SIGUSR1
(VELMAR_WIDGET_DUMP; one line per text: kind, cut, need, have, "x y w h",
path, text, then the visible part, the state and the widget's id,
tab-separated).

    widget_check.py DUMP LANG TRANSLATIONS_DIR

LANG is "it", "en", "de" or "zh", the language the program shows. Fails
(exit 1, one line per fault) when a label or button of a shown window has a
text wider (or, wrapped, taller) than itself, when a button is partly hidden
(cut off by what holds it, which cannot be scrolled sideways to it), or when
a shown text belongs to another language: it is a translation in another
language's catalogue (TRANSLATIONS_DIR/lang_LANG.ts) and not in this one's.
"""
import re
import sys
import xml.etree.ElementTree as ET


def translations(path):
    texts = set()
    for message in ET.parse(path).getroot().iter("message"):
        t = message.find("translation")
        if t is None or t.get("type") in ("unfinished", "obsolete", "vanished"):
            continue
        forms = [f.text for f in t.findall("numerusform")] or [t.text]
        texts.update(f for f in forms if f)
    return texts


def pattern(text):
    """A catalogue text as a regular expression: %1, %2... stand for anything;
    a text ending in a blank or a colon is followed by its value."""
    parts = [re.escape(p) for p in re.split(r"%L?\d", text)]
    tail = ".*" if text[-1:] in (" ", ":") else ""
    return re.compile("".join(["(?:.*?)".join(parts), tail]), re.S)


def unescape(text):
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "t": "\t"}.get(m.group(1), m.group(1)), text)


def main(dump, lang, folder):
    others = [o for o in ("it", "en", "de", "zh") if o != lang]
    mine = translations(f"{folder}/lang_{lang}.ts")
    foreign = []
    for other in others:
        theirs = translations(f"{folder}/lang_{other}.ts")
        # A text that is only values ("%1 %2") says nothing of its language.
        foreign += [(other, t, pattern(t)) for t in sorted(theirs - mine)
                    if re.search(r"[^\W\d_]", re.sub(r"%L?\d", "", t))]
    faults = []
    with open(dump, encoding="utf-8") as f:
        for line in f:
            kind, cut, need, have, _at, path, text = line.rstrip("\n").split("\t")[:7]
            text = unescape(text)
            # Windows, other controls and the focus carry no text.
            if kind in ("window", "input", "focus"):
                continue
            if cut == "1" and kind in ("label", "button"):
                faults.append(f"cut: {path} {text!r} needs {need} px, has {have}")
            if kind == "control":
                if cut == "1":
                    faults.append(f"hidden: {path} {text!r} shows {have} of its {need} px")
                continue
            # The whole text, and each of its lines (a message with a list).
            pieces = [text] + [p for p in text.split("\n") if p != text]
            for other, source, regex in foreign:
                # A name filter's text is followed by its patterns.
                if any(regex.fullmatch(p) or (regex.match(p) and p[regex.match(p).end():].startswith(" ("))
                       for p in pieces):
                    faults.append(f"{other} text in {lang}: {path} ({kind}) {text!r} is {source!r}")
                    break
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit("usage: widget_check.py DUMP LANG TRANSLATIONS_DIR")
    sys.exit(main(*sys.argv[1:]))
