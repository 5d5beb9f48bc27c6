#!/usr/bin/python3
"""Checks every project include against the layer table.

Usage: check_layers.py LAYERS_FILE SOURCE_ROOT

Reads the table (see cmake/layers.txt), refuses a table with a cycle or an
unknown folder, then reads the `#include "dir/..."` lines of every source of
the project's folders, tests/ and bench/, and reports each include that points
upwards or sideways. Exit status 0 when all is in order, 1 otherwise.
"""
import os
import re
import sys

SOURCE_SUFFIXES = ('.cpp', '.h', '.rc')
# Top-level folders that hold no sources of a layer.
NOT_LAYERS = {'build', 'cmake', 'data', 'scripts', 'tests', 'bench'}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def read_table(path):
    """The table as {folder: [folders directly below]}, in file order."""
    table = {}
    with open(path, encoding='utf-8') as f:
        for number, raw in enumerate(f, 1):
            line = raw.split('#', 1)[0].strip()
            if not line:
                continue
            name, colon, rest = line.partition(':')
            name = name.strip()
            if not colon or not re.fullmatch(r'[a-z_]+', name):
                raise ValueError(f'{path}:{number}: expected "folder: folders below it"')
            if name in table:
                raise ValueError(f'{path}:{number}: {name} is listed twice')
            table[name] = rest.split()
    for name, below in table.items():
        for dep in below:
            if dep not in table:
                raise ValueError(f'{path}: {name} stands on {dep}, which has no line of its own')
    return table


def reachable(table):
    """{folder: set of folders it may include from, itself included}; raises on a cycle."""
    done = {}

    def visit(name, path):
        if name in path:
            raise ValueError('the layers form a cycle: ' + ' -> '.join(path[path.index(name):] + [name]))
        if name not in done:
            below = {name}
            for dep in table[name]:
                below |= visit(dep, path + [name])
            done[name] = below
        return done[name]

    for name in table:
        visit(name, [])
    return done


def project_includes(path):
    """(line number, included path) of each quoted include naming a folder."""
    found = []
    with open(path, encoding='utf-8', errors='replace') as f:
        for number, line in enumerate(f, 1):
            m = INCLUDE.match(line)
            if m and '/' in m.group(1):
                found.append((number, m.group(1)))
    return found


def target_folder(include):
    """The layer an included path belongs to: tests/<folder>/... counts as <folder>."""
    parts = include.split('/')
    if parts[0] == 'tests' and len(parts) > 2:
        return parts[1]
    return parts[0]


def sources(root, folder):
    for directory, subdirs, files in os.walk(os.path.join(root, folder)):
        subdirs.sort()
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.join(directory, name)


def check(table, root):
    """The list of complaints, one text per fault."""
    allowed = reachable(table)
    complaints = []
    folders = sorted(d for d in os.listdir(root)
                     if os.path.isdir(os.path.join(root, d)) and not d.startswith('.') and d not in NOT_LAYERS)
    for folder in folders:
        if folder not in table and any(True for _ in sources(root, folder)):
            complaints.append(f'{folder}/ holds sources but has no line in the layer table')
    scanned = [(f, folder) for folder in folders if folder in table for f in sources(root, folder)]
    for top in ('tests', 'bench'):
        for f in sources(root, top):
            parts = os.path.relpath(f, root).split(os.sep)
            owner = parts[1] if top == 'tests' and len(parts) > 2 and parts[1] in table else None
            scanned.append((f, owner))
    for path, owner in scanned:
        relative = os.path.relpath(path, root)
        includes = project_includes(path)
        if owner is None:
            # A fuzz target or benchmark belongs to the topmost folder it
            # includes; everything else it includes must lie below that one.
            used = {target_folder(inc) for _, inc in includes} & set(table)
            tops = [name for name in sorted(used) if used <= allowed[name]]
            if not used:
                continue
            if not tops:
                complaints.append(f'{relative}: includes from folders side by side ({", ".join(sorted(used))})')
                continue
            owner = tops[0]
        for number, inc in includes:
            target = target_folder(inc)
            if target not in table:
                if inc.split('/')[0] in table or inc.split('/')[0] == 'tests':
                    continue  # tests/<helpers folder>/..., not a layer
                complaints.append(f'{relative}:{number}: "{inc}" is not in a project folder')
            elif target not in allowed[owner]:
                complaints.append(f'{relative}:{number}: {owner} may not include "{inc}" '
                                  f'({owner} stands on {", ".join(sorted(allowed[owner] - {owner})) or "nothing"})')
    return complaints


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    try:
        table = read_table(argv[1])
        complaints = check(table, argv[2])
    except ValueError as e:
        print(e, file=sys.stderr)
        return 1
    for c in complaints:
        print(c, file=sys.stderr)
    return 1 if complaints else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
