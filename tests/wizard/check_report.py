#!/usr/bin/python3
"""Checks a generated report in real HTML parsers: html5lib, and headless
Chromium's DOM after loading the page. Every row must be one table whose
cells hold the record texts exactly, coloured odd/even by group, and no
element may come from a tag text.

usage: check_report.py <folder with sample.htm and sample.expected> [chromium]
"""
import os
import subprocess
import sys
import tempfile

import html5lib

ALLOWED = {"html", "head", "meta", "title", "style", "body", "table", "tbody", "tr", "td", "b"}


def text(el):
    return "".join(el.itertext())


def check(doc, expected, where):
    ns = "{http://www.w3.org/1999/xhtml}"
    failures = []
    tags = {el.tag.replace(ns, "") for el in doc.iter() if isinstance(el.tag, str)}
    if not tags <= ALLOWED:
        failures.append(f"{where}: elements from tag texts: {sorted(tags - ALLOWED)}")
    if text(doc.find(f"{ns}head/{ns}title")) != "Found mp3 duplicates , <b>06.12.2026</b>":
        failures.append(f"{where}: title {text(doc.find(f'{ns}head/{ns}title'))!r}")
    body = doc.find(f"{ns}body")
    tables = list(body)
    if len(tables) != len(expected) or any(t.tag != f"{ns}table" for t in tables):
        failures.append(f"{where}: {len(tables)} body children for {len(expected)} rows")
        return failures
    for n, (table, line) in enumerate(zip(tables, expected)):
        *cells, colour = line.split("\t")
        rows = table.findall(f"{ns}tbody/{ns}tr")
        got = [text(td) for tr in rows for td in tr.findall(f"{ns}td")]
        classes = {tr.get("class") for tr in rows}
        if got != cells:
            failures.append(f"{where}: row {n}: {got!r} != {cells!r}")
        if classes != {colour}:
            failures.append(f"{where}: row {n}: classes {classes} != {colour}")
    return failures


def main():
    folder = sys.argv[1]
    chromium = sys.argv[2] if len(sys.argv) > 2 else None
    page = os.path.join(folder, "sample.htm")
    with open(os.path.join(folder, "sample.expected"), "rb") as f:
        expected = f.read().decode("cp1252").splitlines()
    with open(page, "rb") as f:
        raw = f.read()
    # html5lib finds the charset in the page's META element by itself.
    doc = html5lib.parse(raw)
    failures = check(doc, expected, "html5lib")
    if chromium:
        with tempfile.TemporaryDirectory() as profile:
            flags = [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     f"--user-data-dir={profile}"]
            dom = subprocess.run(flags + ["--dump-dom", "file://" + os.path.abspath(page)], capture_output=True,
                                 timeout=120, check=True).stdout
            failures += check(html5lib.parse(dom.decode("utf-8"), namespaceHTMLElements=True), expected, "chromium")
            shot = os.path.join(folder, "sample.png")
            subprocess.run(flags + ["--window-size=1000,700", f"--screenshot={shot}", "file://" + os.path.abspath(page)],
                           capture_output=True, timeout=120, check=True)
            if not os.path.getsize(shot):
                failures.append("chromium: no screenshot")
    for f in failures:
        print(f)
    print("ok" if not failures else f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
