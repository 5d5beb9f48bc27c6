#!/usr/bin/python3
"""Outside readers and writers for the settings file.

  settings_oracle.py generate DIR   writes DIR/py/*.conf.xml in the store's long
                                    layout, each with a .dump of its settings
  settings_oracle.py check DIR      reads DIR/kv/*.conf.xml (written by the store)
                                    with xmllint --noout and xml.etree and compares
                                    them with their .dump

A .dump line is "section ident value", each upper-case hexadecimal of the
Windows-1252 bytes, "-" when empty, in file order.
"""
import glob
import os
import random
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET

DECLARATION = '<?xml version="1.0" encoding="Windows-1252" ?>'
NAME_CHARS = 'abcXYZ019 _-\u00e9\u00c4\u00df\u20ac'
VALUE_CHARS = 'ab <>/="\'\t;$1$2\u00e4\u00ff\u0153'


def hexs(text):
    data = text.encode('cp1252')
    return data.hex().upper() if data else '-'


def unhex(field):
    return '' if field == '-' else bytes.fromhex(field).decode('cp1252')


def new_name(rng, used):
    while True:
        name = ''.join(rng.choice(NAME_CHARS) for _ in range(rng.randint(1, 6)))
        key = name.encode('cp1252').upper()  # the store folds ASCII letters only
        if key not in used:
            used.add(key)
            return name


def new_value(rng):
    return ''.join('\r\n' if rng.random() < 0.125 else rng.choice(VALUE_CHARS)
                   for _ in range(rng.randint(0, 11)))


def encode_value(value):
    prefix = '\r\n' if '\r\n' in value else ''
    return prefix + value.replace('<', '&lt;').replace('>', '&gt;')


def param_text(indent, name, value):
    return ' ' * indent + '<param name="%s">%s</param>\r\n' % (name, encode_value(value))


def group_text(rng, name, section, path, indent, depth, lines):
    out = ' ' * indent + '<group name="%s">\r\n' % name
    used = set()
    for _ in range(rng.randint(1, 4)):
        child = new_name(rng, used)
        ident = path + '.' + child if path else child
        if depth < 4 and rng.random() < 1 / 3:
            out += group_text(rng, child, section, ident, indent + 1, depth + 1, lines)
        else:
            value = new_value(rng)
            out += param_text(indent + 1, child, value)
            lines.append((section, ident, value))
    return out + ' ' * indent + '</group>\r\n'


def generate(folder):
    shutil.rmtree(os.path.join(folder, 'kv'), ignore_errors=True)  # the store writes these afresh
    target = os.path.join(folder, 'py')
    os.makedirs(target, exist_ok=True)
    for n in range(40):
        rng = random.Random(n)
        used, body, lines = set(), '', []
        for _ in range(rng.randint(1, 5)):
            name = new_name(rng, used)
            if rng.random() < 0.25:
                value = new_value(rng)
                body += param_text(0, name, value)
                lines.append((name, '', value))
            else:
                body += group_text(rng, name, name, '', 0, 1, lines)
        text = DECLARATION + '\r\n<XMLConfig><info>python config file</info>\r\n' + body + '</XMLConfig>'
        base = os.path.join(target, 'py%d' % n)
        with open(base + '.conf.xml', 'wb') as f:
            f.write(text.encode('cp1252'))
        with open(base + '.dump', 'w', newline='\n') as f:
            f.writelines('%s %s %s\n' % (hexs(s), hexs(i), hexs(v)) for s, i, v in lines)


def normalised(text):
    # An XML reader turns CR LF and lone CR into LF.
    return text.replace('\r\n', '\n').replace('\r', '\n')


def settings_of(path):
    root = ET.parse(path).getroot()
    if root.tag != 'XMLConfig' or len(root) == 0 or root[0].tag != 'info':
        raise ValueError('unexpected root')
    found = []

    def walk(element, section, ident):
        for child in element:
            if child.tag == 'info':
                continue
            name = child.get('name')
            inner = (ident + '.' + name if ident else name) if section is not None else ''
            if child.tag == 'param':
                found.append((name, '', child.text or '') if section is None
                             else (section, inner, child.text or ''))
            elif child.tag == 'group':
                walk(child, name if section is None else section, inner)
            else:
                raise ValueError('unexpected element ' + child.tag)

    walk(root, None, '')
    return found


def check(folder):
    files = sorted(glob.glob(os.path.join(folder, 'kv', '*.conf.xml')))
    if not files:
        print('no files written by the store in', folder)
        return 1
    failures = 0
    for path in files:
        lint = subprocess.run(['xmllint', '--noout', path], capture_output=True, text=True)
        if lint.returncode != 0:
            print(path, 'refused by xmllint:', lint.stderr.strip())
            failures += 1
            continue
        with open(path[:-len('.conf.xml')] + '.dump') as f:
            expected = [tuple(unhex(x) for x in line.split()) for line in f if line.strip()]
        try:
            got = settings_of(path)
        except (ET.ParseError, ValueError) as e:
            print(path, 'refused by xml.etree:', e)
            failures += 1
            continue
        want = [(s, i, normalised(('\r\n' + v) if '\r\n' in v else v)) for s, i, v in expected]
        if [(s, i, normalised(v)) for s, i, v in got] != want:
            print(path, 'differs:\n  read   ', got, '\n  written', expected)
            failures += 1
    print('%d files checked, %d failures' % (len(files), failures))
    return 1 if failures else 0


if __name__ == '__main__':
    if len(sys.argv) != 3 or sys.argv[1] not in ('generate', 'check'):
        sys.exit(__doc__)
    if sys.argv[1] == 'generate':
        generate(sys.argv[2])
        sys.exit(0)
    sys.exit(check(sys.argv[2]))
