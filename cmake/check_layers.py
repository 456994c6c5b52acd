#!/usr/bin/env python3
"""Fails when a file includes a header of a target its own target does not
link (directly or through the targets it links), when a file outside the
platform files includes a system header of the operating system, when a
layer links what lies above it or beside it, when a database engine's header
is used outside the archive, or when headers include each other in a circle.

Input: the description written by LayerFences.cmake ("target NAME DIR DEPS
FILES" and "qt MODULE INCLUDE_DIR" lines) and the source root."""
import os
import re
import sys
import tempfile

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
# Headers of the operating system: only the platform files may use them.
SYSTEM_HEADERS = re.compile(
    r'^(unistd\.h|fcntl\.h|termios\.h|poll\.h|pwd\.h|grp\.h|dirent\.h|signal\.h|'
    r'sys/.*|windows\.h|winbase\.h|setupapi\.h|io\.h)$')
PLATFORM_FILE = re.compile(r'_(posix|sysfs|linux|win|windows)\.(cpp|h)$')
# Folders whose files may call the system freely: the simulator is a
# pseudo-terminal tool, tests (with what they share with the benchmarks)
# drive real processes and permissions, and the Windows program's front-end
# is made of Win32 windows.
FREE_FOLDERS = ('tools/sim/', 'tests/', 'testing/', 'bench/', 'win/')
# Database engines' client headers: only the archive speaks to them.
ENGINE_HEADERS = re.compile(r'^(sqlite3\.h|sqlite3ext\.h|libpq-fe\.h|postgresql/libpq-fe\.h)$')
ENGINE_FOLDERS = ('archive/', 'tests/', 'testing/', 'bench/')
# What each layer may never link, even indirectly: records stand on the
# standard library alone, the archive beside the device link knows neither it
# nor the report nor any toolkit, and the windows' shared rules (ui) know no
# toolkit and no window program; nothing below them knows them.
LAYER_LIMITS = {
    'records': re.compile(r'^(Qt:.*|vark_archive|vark_device|vark_report.*|vark_ui|vark_app.*)$'),
    'archive': re.compile(r'^(Qt:.*|vark_device|vark_report.*|vark_ui|vark_app.*)$'),
    'device': re.compile(r'^(Qt:.*|vark_archive|vark_report.*|vark_ui|vark_app.*)$'),
    'report': re.compile(r'^(vark_ui|vark_app.*)$'),
    'ui': re.compile(r'^(Qt:.*|vark_report_qt|vark_report_gdi|vark_app.*|VARK-u)$'),
}
# Qt modules whose headers bring another module's along: linking Widgets lets
# a file include Gui headers, while Print Support alone does not open Widgets.
IMPLIED = {'Widgets': {'Gui'}, 'PrintSupport': {'Gui'}, 'Svg': {'Gui'}, 'Test': set()}


def parse(path):
    targets, qt = {}, {}
    with open(path) as f:
        for line in f:
            parts = line.split()
            if not parts:
                continue
            if parts[0] == 'target':
                name, folder = parts[1], parts[2]
                deps = parts[3].split(',') if len(parts) > 3 and parts[3] else []
                files = parts[4].split(',') if len(parts) > 4 and parts[4] else []
                # An empty deps field shifts the files one place left.
                if deps and os.path.isabs(deps[0]):
                    deps, files = [], deps
                targets[name] = {'dir': folder, 'deps': deps, 'files': files}
            elif parts[0] == 'qt':
                qt[parts[1]] = parts[2]
    return targets, qt


def closure(targets, name, seen=None):
    seen = set() if seen is None else seen
    if name in seen:
        return seen
    seen.add(name)
    for d in targets.get(name, {}).get('deps', []):
        if d in targets:
            closure(targets, d, seen)
        else:
            seen.add(d)
    return seen


def listed_by(targets, path):
    """Targets that list `path`, or the source file of the same name beside it."""
    stem = os.path.splitext(path)[0]
    return [n for n, t in targets.items()
            if path in t['files'] or stem + '.cpp' in t['files']]


def owner_of(targets, root, header):
    """The library target that a header (a path from the root) belongs to."""
    path = os.path.normpath(os.path.join(root, header))
    listed = listed_by(targets, path)
    if listed:
        return sorted(listed)[0]
    if not os.path.exists(path):
        return None  # a header beside the includer, or one made by the build
    for name, t in sorted(targets.items()):
        if (os.path.dirname(path) == os.path.normpath(t['dir'])
                and not name.startswith(('test_', 'app_'))):
            return name
    return None


def qt_module(qt, header):
    first = header.split('/')[0]
    for module, folder in qt.items():
        if first == 'Qt' + module:
            return module
    if '/' in header or not header.startswith('Q'):
        return None
    for module, folder in qt.items():
        if os.path.exists(os.path.join(folder, header)):
            return module
    return None


def check(targets, qt, root):
    errors = []
    graph = {}
    for name, t in sorted(targets.items()):
        allowed = closure(targets, name)
        qt_allowed = {d[3:] for d in allowed if d.startswith('Qt:')} | {'Core'}
        for m in list(qt_allowed):
            qt_allowed |= IMPLIED.get(m, set())
        files = set(t['files'])
        # A library's headers are its own even when not listed as sources.
        for f in os.listdir(t['dir']):
            header = os.path.join(t['dir'], f)
            if (f.endswith('.h') and not name.startswith(('test_', 'app_'))
                    and name in (listed_by(targets, header) or [name])):
                files.add(header)
        for path in sorted(files):
            if not os.path.exists(path):
                continue
            rel = os.path.relpath(path, root)
            with open(path, encoding='utf-8', errors='replace') as f:
                text = f.read()
            for kind, header in INCLUDE.findall(text):
                if kind == '"':
                    target = owner_of(targets, root, header)
                    if os.path.exists(os.path.join(root, header)):
                        graph.setdefault(rel, set()).add(os.path.normpath(header))
                    if target and target not in allowed:
                        errors.append(f'{rel}: includes {header} of {target}, '
                                      f'which {name} does not link')
                    continue
                module = qt_module(qt, header)
                if module and module not in qt_allowed:
                    errors.append(f'{rel}: includes <{header}> of Qt {module}, '
                                  f'which {name} does not link')
                if ENGINE_HEADERS.match(header) and not rel.startswith(ENGINE_FOLDERS):
                    errors.append(f'{rel}: includes the database header <{header}> outside '
                                  'the archive')
                if (SYSTEM_HEADERS.match(header) and not PLATFORM_FILE.search(rel)
                        and not rel.startswith(FREE_FOLDERS) and not rel.startswith('platform/')):
                    errors.append(f'{rel}: includes the system header <{header}> outside '
                                  'a platform file')
    for name, t in sorted(targets.items()):
        rel = os.path.relpath(t['dir'], root).replace(os.sep, '/')
        limit = LAYER_LIMITS.get(rel.split('/')[0]) if not rel.startswith('..') else None
        if limit:
            for dep in sorted(closure(targets, name) - {name}):
                if limit.match(dep):
                    errors.append(f'{name}: the {rel.split("/")[0]} layer links {dep}')
    errors += cycles(graph)
    return sorted(set(errors))


def cycles(graph):
    """Include circles between the tree's own files. A header and the sources
    that implement it count as one unit: main_window.h, main_window.cpp and
    main_window_upload.cpp are all the main window."""
    stems = {os.path.splitext(p)[0] for p in set(graph) | set().union(*graph.values())
             if p.endswith('.h')}

    def unit(p):
        stem = os.path.splitext(p)[0]
        if p.endswith('.cpp'):
            for s in sorted(stems, key=len, reverse=True):
                if stem == s or stem.startswith(s + '_'):
                    return s
        return stem
    g = {}
    for a, bs in graph.items():
        for b in bs:
            if unit(a) != unit(b):
                g.setdefault(unit(a), set()).add(unit(b))
    found, state = [], {}

    def visit(n, stack):
        state[n] = 1
        stack.append(n)
        for m in sorted(g.get(n, ())):
            if state.get(m) == 1:
                found.append('include circle: ' + ' -> '.join(stack[stack.index(m):] + [m]))
            elif m not in state:
                visit(m, stack)
        stack.pop()
        state[n] = 2

    for n in sorted(g):
        if n not in state:
            visit(n, [])
    return found


def self_test():
    """The check must catch each kind of crossing on a small tree."""
    with tempfile.TemporaryDirectory() as root:
        def write(rel, text):
            os.makedirs(os.path.dirname(os.path.join(root, rel)), exist_ok=True)
            with open(os.path.join(root, rel), 'w') as f:
                f.write(text)
        write('low/a.h', '#pragma once\n')
        write('low/a.cpp', '#include "low/a.h"\n#include <unistd.h>\n')
        write('low/a_posix.cpp', '#include <unistd.h>\n')
        write('up/b.h', '#include "low/a.h"\n#include "up/c.h"\n')
        write('up/c.h', '#include "up/b.h"\n')
        write('up/b.cpp', '#include "up/b.h"\n')
        write('up/d.h', '#pragma once\n')
        write('up/d.cpp', '#include "up/d.h"\n#include "up/e.h"\n')
        write('up/e.h', '#pragma once\n')
        write('up/e_part.cpp', '#include "up/e.h"\n#include "up/d.h"\n')
        write('mid/m.cpp', '#include "up/b.h"\n#include "low/a.h"\n#include <QWidget>\n')
        # Two libraries in one folder: the plain one may not use the other.
        write('low/q.h', '#include <QWidget>\n')
        write('low/q.cpp', '#include "low/q.h"\n')
        write('low/a2.cpp', '#include "low/q.h"\n')
        # The archive layer: its engine header is its own; linking the
        # toolkit is not, nor is the engine's header anywhere else.
        write('archive/s.cpp', '#include <sqlite3.h>\n')
        write('records/r.cpp', '#include <sqlite3.h>\n')
        # The factory server's client is the archive's too, in a folder of
        # its own and a library of its own; its header nowhere else.
        write('archive/server/p.cpp', '#include <libpq-fe.h>\n')
        write('tools/t.cpp', '#include <postgresql/libpq-fe.h>\n')
        # The windows' shared rules: no toolkit, even through another target.
        write('ui/u.cpp', '#include "low/a.h"\n')
        qtdir = os.path.join(root, 'qt', 'QtWidgets')
        write('qt/QtWidgets/QWidget', '')
        targets = {
            'low': {'dir': os.path.join(root, 'low'), 'deps': [],
                    'files': [os.path.join(root, 'low', f)
                              for f in ('a.cpp', 'a_posix.cpp', 'a2.cpp')]},
            'low_qt': {'dir': os.path.join(root, 'low'), 'deps': ['low', 'Qt:Widgets'],
                       'files': [os.path.join(root, 'low', 'q.cpp')]},
            'mid': {'dir': os.path.join(root, 'mid'), 'deps': ['low', 'Qt:Gui'],
                    'files': [os.path.join(root, 'mid', 'm.cpp')]},
            'up': {'dir': os.path.join(root, 'up'), 'deps': ['mid'],
                   'files': [os.path.join(root, 'up', f)
                             for f in ('b.cpp', 'd.cpp', 'e_part.cpp')]},
            'vark_archive': {'dir': os.path.join(root, 'archive'), 'deps': ['low', 'mid'],
                             'files': [os.path.join(root, 'archive', 's.cpp')]},
            'vark_records': {'dir': os.path.join(root, 'records'), 'deps': ['vark_archive'],
                             'files': [os.path.join(root, 'records', 'r.cpp')]},
            'vark_ui': {'dir': os.path.join(root, 'ui'), 'deps': ['low', 'low_qt'],
                        'files': [os.path.join(root, 'ui', 'u.cpp')]},
            'vark_archive_server': {'dir': os.path.join(root, 'archive', 'server'),
                                    'deps': ['vark_archive', 'Qt:Core'],
                                    'files': [os.path.join(root, 'archive', 'server', 'p.cpp')]},
            'tool': {'dir': os.path.join(root, 'tools'), 'deps': ['vark_archive_server'],
                     'files': [os.path.join(root, 'tools', 't.cpp')]},
        }
        errors = check(targets, {'Widgets': qtdir}, root)
        expected = [
            'low/a.cpp: includes the system header <unistd.h> outside a platform file',
            'mid/m.cpp: includes <QWidget> of Qt Widgets, which mid does not link',
            'mid/m.cpp: includes up/b.h of up, which mid does not link',
            'include circle: up/b -> up/c -> up/b',
            'low/a2.cpp: includes low/q.h of low_qt, which low does not link',
            'include circle: up/d -> up/e -> up/d',
            'vark_archive: the archive layer links Qt:Gui',
            'vark_records: the records layer links Qt:Gui',
            'vark_records: the records layer links vark_archive',
            'records/r.cpp: includes the database header <sqlite3.h> outside the archive',
            'vark_ui: the ui layer links Qt:Widgets',
            'vark_archive_server: the archive layer links Qt:Core',
            'vark_archive_server: the archive layer links Qt:Gui',
            'tools/t.cpp: includes the database header <postgresql/libpq-fe.h> outside the '
            'archive',
        ]
        missing = [e for e in expected if e not in errors]
        extra = [e for e in errors if e not in expected]
        if missing or extra:
            print('self-test: missing', missing, 'unexpected', extra)
            return 1
        print('self-test: every crossing caught')
        return 0


def main():
    if sys.argv[1:] == ['--self-test']:
        return self_test()
    targets, qt = parse(sys.argv[1])
    errors = check(targets, qt, sys.argv[2])
    for e in errors:
        print(e)
    print(f'{len(targets)} targets checked, {len(errors)} crossings')
    return 1 if errors else 0


if __name__ == '__main__':
    sys.exit(main())
