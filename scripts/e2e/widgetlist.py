"""The program's list of what its windows show (VELMAR_WIDGET_DUMP, written
again on SIGUSR1), for the scripts and tools that press its controls or
read its texts.

One line per text or control, tab-separated: kind, cut, need, have,
"X Y W H" on the screen, object path (names from the window down, a
widget without a name by its class), text, then "X Y W H" of the part
its ancestors let show, the state and the widget's id.

A widget is looked for by its name or the end of its path ("playButton",
"SeekTrackSlider/horizontalSlider"). Every name asked for must be one the
program gives a widget (a form's widget, an object name set in the
sources, or a class): a name that no longer exists raises UnknownWidget at
once rather than reading as "not shown" and letting a check fall back to
something else. The resources test checks the names the scripts write
against the same sources.
"""
import ast
import functools
import io
import os
import re
import signal
import time
import tokenize

SOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..')
# The folders of the program (not its tests or tools).
PROGRAM = ('app', 'ui', 'karaoke', 'library', 'store', 'playback', 'songfiles', 'common-shared',
           'common-extract', 'common-midiinterface', 'common-sound')


class UnknownWidget(LookupError):
    pass


@functools.lru_cache(maxsize=None)
def known_names():
    """Every name a widget of the program can have in a path: the forms'
    widgets, the object names the sources set, and the classes."""
    names = set()
    for folder in PROGRAM:
        for top, _dirs, files in os.walk(os.path.join(SOURCES, folder)):
            for f in files:
                path = os.path.join(top, f)
                if f.endswith('.ui'):
                    text = open(path, encoding='utf-8').read()
                    names.update(re.findall(r'<widget class="\w+" name="(\w+)"', text))
                    names.update(re.findall(r'<class>(\w+)</class>', text))
                elif f.endswith(('.cpp', '.h')):
                    text = open(path, encoding='utf-8', errors='replace').read()
                    names.update(re.findall(r'setObjectName\((?:QStringLiteral|QLatin1String)?\(?"(\w+)"', text))
                    names.update(re.findall(r'\bclass\s+(\w+)\s*(?:final\s*)?:', text))
    return frozenset(names)


def is_qt_class(name):
    return re.fullmatch(r'Q[A-Z]\w*|qt_\w+', name) is not None


def check(name):
    """The name, when every part of it is a widget's name; else raises."""
    unknown = [part for part in name.strip('/').split('/')
               if part not in known_names() and part not in QT_NAMES and not is_qt_class(part)]
    if unknown:
        raise UnknownWidget(f'no widget of the program is named {"/".join(unknown)} (in {name!r})')
    return name


class Entry:
    def __init__(self, fields):
        self.kind, self.path, self.text = fields[0], fields[5], fields[6]
        self.rect = tuple(int(v) for v in fields[4].split())
        # The part that shows; the whole when the list has no such field.
        self.shown = tuple(int(v) for v in fields[7].split()) if len(fields) > 7 and fields[7] else self.rect
        # "e" enabled or "d" disabled, then "t" where Tab reaches it.
        self.state = fields[8] if len(fields) > 8 else 'e'

    def named(self, name):
        return self.path == name or self.path.endswith('/' + name.strip('/'))

    def middle(self):
        x, y, w, h = self.shown
        return x + w // 2, y + h // 2


class WidgetList:
    """The list at DUMP, asked for again from the program (PID) on read()."""

    def __init__(self, dump, pid=None):
        self.dump, self.pid = dump, int(pid) if pid is not None else None
        self.entries = []

    def read(self, fresh=True, limit_s=5.0):
        if fresh and self.pid is not None:
            try:
                os.remove(self.dump)
            except FileNotFoundError:
                pass
            os.kill(self.pid, signal.SIGUSR1)
            end = time.monotonic() + limit_s
            while not os.path.exists(self.dump) and time.monotonic() < end:
                time.sleep(0.05)
            # Written whole before the next request is answered; give it a moment.
            time.sleep(0.1)
        self.entries = []
        try:
            with open(self.dump, encoding='utf-8', errors='replace') as f:
                for line in f:
                    fields = line.rstrip('\n').split('\t')
                    if len(fields) >= 7:
                        self.entries.append(Entry(fields))
        except FileNotFoundError:
            pass
        return self

    def all(self, name, text=None, kind=None):
        """The shown entries named so (of that kind; whose text satisfies
        `text`, a function, or equals it)."""
        check(name)
        match = text if callable(text) else (lambda t: text is None or t == text)
        return [e for e in self.entries if e.named(name) and match(e.text) and (kind is None or e.kind == kind)
                and e.shown[2] > 0 and e.shown[3] > 0]

    def find(self, name, text=None, kind=None):
        found = self.all(name, text, kind)
        return found[0] if found else None

    def text(self, name, kind=None):
        e = self.find(name, kind=kind)
        return e.text if e else ''

    def place(self, name, kind=None):
        """The whole of the widget, "X Y W H", or raises when not shown."""
        e = self.find(name, kind=kind)
        if e is None:
            raise LookupError(f'{name} is not on the screen')
        return e.rect


# A string the scripts write that names a widget: a name or path in camel
# case ("playButton", "lV_Text", "SeekTrackSlider/horizontalSlider").
NAME = re.compile(r'/?[A-Za-z_]\w*(?:/[A-Za-z_]\w*)*/?')
CAMEL = re.compile(r'[a-z][A-Z]|[A-Z]\w*[a-z]\w*[A-Z]')
# Strings of the scripts that look like names and are not: a chord's name,
# a field of xwininfo, a sink the explorer adds.
NOT_NAMES = {'mM7', 'IsViewable', 'Second_Output'}
# Widgets Qt makes and names itself (the file dialog's).
QT_NAMES = {'fileTypeCombo', 'treeView'}


def names_used(path):
    """The widget names a script or tool writes: its string literals that
    look like one, and in shell the NAME of "e2e_at KIND NAME" and
    "text_of KIND NAME"."""
    text = open(path, encoding='utf-8', errors='replace').read()
    found = []
    if path.endswith('.sh'):
        words = re.findall(r'\b(?:e2e_at|text_of)\s+\S+\s+([\'"]?)([^\s\'"]+)\1', text)
        found += [w.rstrip(')') for _q, w in words]
    else:
        for token in tokenize.generate_tokens(io.StringIO(text).readline):
            if token.type == tokenize.STRING and not re.match(r'[a-zA-Z]*f', token.string):
                value = ast.literal_eval(token.string)
                if isinstance(value, str):
                    found.append(value)
    return [s for s in found if NAME.fullmatch(s) and CAMEL.search(s) and s not in NOT_NAMES]


def script_files():
    for folder in ('scripts', 'tools'):
        for top, _dirs, files in os.walk(os.path.join(SOURCES, folder)):
            for f in sorted(files):
                if f.endswith(('.py', '.sh')):
                    yield os.path.join(top, f)


def unknown_names(paths):
    faults = []
    for path in paths:
        for name in names_used(path):
            try:
                check(name)
            except UnknownWidget as e:
                faults.append(f'{os.path.relpath(path, SOURCES)}: {e}')
    return faults


if __name__ == '__main__':
    import sys
    if sys.argv[1:2] != ['--check']:
        sys.exit('widgetlist.py --check [FILE...]: the widget names the scripts and tools (or FILEs) use that no '
                 'widget of the program has')
    faults = unknown_names(sys.argv[2:] or list(script_files()))
    print('\n'.join(faults))
    sys.exit(1 if faults else 0)
