#!/usr/bin/env python3
"""Start-up time and peak memory of the real program beside hostile catalogue files.

    fuzz/measure_hostile.py BUILD_DIR [RUNS]

BUILD_DIR holds an uninstrumented vestrion and vestrion-vdb (build/, or
build-fuzz/, whose program is built without sanitizers). For every named case
a folder gets a copy of the program and a data/ folder with the hostile file
beside the good starter catalogue; the program runs offscreen until its first
paint. Printed per case: entries the hostile file yields (vestrion-vdb list),
start-up (launch to first paint) and peak RSS, the median of RUNS runs.
Figures, not checks: the outcomes are asserted by tests/tst_hostile.cpp.
"""

import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def packed(document, header=None):
    """A data file: zero leading block, qCompress layout, zero trailing block."""
    stream = zlib.compress(document, 9)
    return raw(stream, len(document) if header is None else header)


def raw(stream, header):
    return b"\0" * 23 + struct.pack(">I", header) + stream + b"\0" * 20


def zeros_stream(head, count):
    compressor = zlib.compressobj(9)
    out = [compressor.compress(head)]
    piece = b"\0" * (1 << 20)
    while count > 0:
        out.append(compressor.compress(piece[: min(count, len(piece))]))
        count -= len(piece)
    out.append(compressor.flush())
    return b"".join(out)


def past_the_bound_stream():
    """200 items, each followed by a mebibyte of spaces: 200 MiB of good XML."""
    compressor = zlib.compressobj(1)
    spaces = b" " * (1 << 20)
    out = [compressor.compress(b"<c>")]
    for i in range(200):
        out.append(compressor.compress(b'<item code="P%d"/>' % i))
        out.append(compressor.compress(spaces))
    out.append(compressor.compress(b"</c>"))
    out.append(compressor.flush())
    return b"".join(out)


def laughs(levels):
    dtd = b'<?xml version="1.0"?>\n<!DOCTYPE lolz [\n<!ENTITY lol "lol">\n'
    for level in range(1, levels + 1):
        previous = b"lol" if level == 1 else b"lol%d" % (level - 1)
        dtd += b'<!ENTITY lol%d "%s">\n' % (level, (b"&" + previous + b";") * 10)
    return dtd + b"]>\n"


def cases():
    tiny = zlib.compress(b'<c><item code="tiny"/></c>')
    bomb = zeros_stream(b'<c><item code="bomb"/>', 1 << 30)
    wide = b'<c><item code="before"/><item ' + b"".join(b'a%d="" ' % i for i in range(100000)) + b"/></c>"
    utf8 = b'<?xml version="1.0" encoding="UTF-8"?><c>' + b"".join(
        b'<item code="U%d" names="x"/>\n' % i for i in range(400)) + b'<item code="bad \xc3\x28"/></c>'
    return [
        ("size header 0xFFFFFFFF", {"h.vdb": raw(tiny, 0xFFFFFFFF)}),
        ("size header 1 GiB", {"h.vdb": raw(tiny, 1 << 30)}),
        ("size header 64 MiB + 1", {"h.vdb": raw(tiny, (1 << 26) + 1)}),
        ("zip bomb 1 GiB, honest header", {"h.vdb": raw(bomb, 1 << 30)}),
        ("zip bomb 1 GiB, header 0", {"h.vdb": raw(bomb, 0)}),
        ("zip bomb 1 GiB, header 1000", {"h.vdb": raw(bomb, 1000)}),
        ("billion laughs (lol9)", {"h.vdb": packed(
            laughs(9) + b'<lolz><item code="before"/><item code="bomb" a="&lol9;"/></lolz>')}),
        ("20,000 x &lol3; in one attribute", {"h.vdb": packed(
            laughs(3) + b'<lolz><item code="before"/><item a="' + b"&lol3;" * 20000 + b'"/></lolz>')}),
        ("1,000,000 nested items", {"h.vdb": packed(b"<item>" * 1000000)}),
        ("200 MiB of good XML, past the bound", {"h.vdb": raw(past_the_bound_stream(), 0)}),
        ("default naming a 4000-char entity", {"h.vdb": packed(
            b'<!DOCTYPE c [<!ENTITY a "' + b"x" * 4000 + b'"><!ATTLIST item d CDATA "&a;">]><c>'
            + b"<item/>" * 100000 + b"</c>")}),
        ("one item, 100,000 attributes", {"h.vdb": packed(wide)}),
        ("invalid UTF-8", {"h.vdb": packed(utf8)}),
        ("unknown encoding", {"h.vdb": packed(
            b'<?xml version="1.0" encoding="x-vestrion-unknown"?><c><item code="x"/></c>')}),
        ("NUL in an attribute", {"h.vdb": packed(b'<c><item code="before"/><item code="a\0b"/></c>')}),
        ("10,000 small files", {"s%05d.vdb" % i: packed(b'<c><item code="S%d"/></c>' % i) for i in range(10000)}),
        ("FIFO and unreadable file", {"fifo.vdb": None, "locked.vdb": packed(b'<c><item code="L"/></c>')}),
    ]


def populate(data, files):
    for name, content in files.items():
        path = os.path.join(data, name)
        if content is None:
            os.mkfifo(path)
            continue
        with open(path, "wb") as out:
            out.write(content)
        if name.startswith("locked"):
            os.chmod(path, 0)


def entries_of(build, data, files):
    count = 0
    for name, content in files.items():
        if content is None:
            continue
        result = subprocess.run([os.path.join(build, "vestrion-vdb"), "list", os.path.join(data, name)],
                                capture_output=True)
        count += result.stdout.count(b"\n")
    return count


def run_once(home, config):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", VESTRION_EXIT_AFTER_FIRST_PAINT="1",
               XDG_CONFIG_HOME=config, DBUS_SYSTEM_BUS_ADDRESS="unix:path=/nonexistent/bus")
    started = time.time()
    result = subprocess.run(["/usr/bin/time", "-f", "peak %M", os.path.join(home, "vestrion")],
                            env=env, capture_output=True, timeout=120)
    painted = None
    peak = None
    for line in result.stderr.decode(errors="replace").splitlines():
        if line.startswith("vestrion-first-paint "):
            painted = int(line.split()[1]) / 1000.0
        if line.startswith("peak "):
            peak = int(line.split()[1]) / 1024.0
    if result.returncode != 0 or painted is None:
        return None
    return painted - started, peak


def measure(build, label, files, runs, good):
    with tempfile.TemporaryDirectory() as home, tempfile.TemporaryDirectory() as config:
        data = os.path.join(home, "data")
        os.mkdir(data)
        shutil.copy(os.path.join(build, "vestrion"), home)
        with open(os.path.join(data, "good.vdb"), "wb") as out:
            out.write(good)
        populate(data, files)
        entries = entries_of(build, data, files)
        results = [run_once(home, config) for _ in range(runs)]
        if any(r is None for r in results):
            print("%-36s  FAILED to start" % label)
            return
        startup = statistics.median(r[0] for r in results)
        peak = statistics.median(r[1] for r in results)
        print("%-36s %8d %10.0f ms %9.1f MiB" % (label, entries, startup * 1000, peak))
        sys.stdout.flush()


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    with open(os.path.join(ROOT, "tests", "data", "starter.xml"), "rb") as source:
        good = packed(source.read())
    print("%-36s %8s %13s %13s" % ("case (beside the 21-entry starter)", "entries", "start-up", "peak RSS"))
    measure(build, "good file alone", {}, runs, good)
    everything = {}
    for label, files in cases():
        measure(build, label, files, runs, good)
        for name, content in files.items():
            everything["%d-%s" % (len(everything), name)] = content
    measure(build, "all of them together", everything, runs, good)


if __name__ == "__main__":
    main()
