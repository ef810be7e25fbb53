#!/usr/bin/env python3
"""Packing the whole corpus of BK programs with Sokol: the console program,
one run a file as a user runs it, against the page, korvid.pack a file in
headless Chromium with the bytes already in the page. Prints the best of
three runs of each and their ratio.

    bench/page_sokol_bench.py BUILD_WEB/web/korvid.html NATIVE_BUILD [CORPUS]
"""

import base64
import glob
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'web'))
from chromium import Browser  # noqa: E402

ROUNDS = 3


def main():
    page, build = (os.path.abspath(a) for a in sys.argv[1:3])
    corpus = sys.argv[3] if len(sys.argv) > 3 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), '..', '..', 'shared', 'corpus', 'bk')
    files = sorted(glob.glob(os.path.join(corpus, '*.bin')))
    if not files:
        sys.exit('no BK programs in ' + corpus)
    inputs = {}
    for path in files:
        with open(path, 'rb') as f:
            inputs[os.path.basename(path)] = f.read()

    korvid = os.path.join(build, 'korvid', 'korvid')
    console = []
    console_cpu = []
    with tempfile.TemporaryDirectory() as folder:
        for name, data in inputs.items():
            with open(os.path.join(folder, name), 'wb') as f:
                f.write(data)
        for _ in range(ROUNDS):
            start = time.perf_counter()
            before = os.times()
            for name in inputs:
                subprocess.run([korvid, '-t', 'sokol', name], cwd=folder, check=True,
                               stdout=subprocess.DEVNULL)
            after = os.times()
            console.append(time.perf_counter() - start)
            console_cpu.append(after.children_user + after.children_system
                               - before.children_user - before.children_system)

    with tempfile.TemporaryDirectory() as downloads:
        browser = Browser(downloads)
        try:
            browser.open(page)
            encoded = [[name, base64.b64encode(data).decode()] for name, data in inputs.items()]
            browser.run('window.benchFiles = args[0].map(([name, data]) =>'
                        ' [name, Uint8Array.from(atob(data), (c) => c.charCodeAt(0))]);', encoded)
            seconds = browser.run(
                'const times = [];'
                'for (let round = 0; round < args[0]; ++round) {'
                '  const start = performance.now();'
                '  for (const [name, data] of window.benchFiles) {'
                '    const r = await window.korvid.pack({method: "sokol", name, data});'
                '    if (!r.ok) throw new Error(name + ": " + r.lines.join(" "));'
                '  }'
                '  times.push((performance.now() - start) / 1000);'
                '}'
                'return times;', ROUNDS)
        finally:
            browser.close()

    total = sum(len(data) for data in inputs.values())
    print(f'Sokol over {len(inputs)} files, {total} bytes, best of {ROUNDS}:')
    print(f'  console (korvid, one run a file): {min(console):7.3f} s')
    print(f'  console, processor time only:     {min(console_cpu):7.3f} s'
          ' (the rest: starting processes, waiting for the disk)')
    print(f'  page (korvid.pack in Chromium):   {min(seconds):7.3f} s')
    print(f'  page / console:                   {min(seconds) / min(console):7.2f}')
    print(f'  page / console processor time:    {min(seconds) / min(console_cpu):7.2f}')


if __name__ == '__main__':
    main()
