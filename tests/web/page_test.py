"""The page korvid.html in headless Chromium, opened from the disk: every
download and every console line is compared with what the native console
programs give for the same input and options.

    page_test.py BUILD_WEB/web/korvid.html NATIVE_BUILD [--screenshot FILE.png]
"""

import base64
import glob
import io
import os
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from chromium import Browser  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
CORPUS = os.path.realpath(os.environ.get('BK_CORPUS_DIR', os.path.join(ROOT, '..', 'shared', 'corpus', 'bk')))
TEXTS = os.path.realpath(os.environ.get('BK_TEXTS_DIR', os.path.join(ROOT, '..', 'shared', 'corpus', 'bktexts')))
HELLO = os.path.join(ROOT, 'examples', 'hello.bin')
METHODS = ('SOKOL', 'DORVIK', 'BKGRANOL')

# Page side of the data crossing: base64 both ways.
CODEC = ('const bytes = (s) => Uint8Array.from(atob(s), (c) => c.charCodeAt(0));'
         'const text = (a) => { let s = ""; for (let i = 0; i < a.length; i += 8192)'
         ' s += String.fromCharCode.apply(null, a.subarray(i, i + 8192)); return btoa(s); };')


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def native(program, args, inputs):
    """Runs the console program in a fresh folder: (status, lines, {name: bytes})."""
    with tempfile.TemporaryDirectory() as folder:
        for name, data in inputs.items():
            with open(os.path.join(folder, name), 'wb') as f:
                f.write(data)
        run = subprocess.run([os.path.join(NATIVE, program, program)] + args, cwd=folder,
                             capture_output=True, check=False)
        outputs = {name: read(os.path.join(folder, name)) for name in os.listdir(folder)
                   if name not in inputs}
    return run.returncode, run.stdout.decode('utf-8').splitlines(), outputs


def korvid_args(method, unpack, options):
    args = ['-t', method] + (['-u'] if unpack else [])
    args += [flag for key, flag in (('data', '-d'), ('long', '-l'), ('raw', '-r')) if options.get(key)]
    args += ['-w', options['work']] if 'work' in options else []
    return args + (['-a', options['address']] if 'address' in options else [])


def corpus_files():
    if not os.path.isdir(CORPUS):
        raise unittest.SkipTest('no corpus of BK programs at ' + CORPUS)
    return sorted(glob.glob(os.path.join(CORPUS, '*.bin')))


class PageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.downloads = tempfile.mkdtemp(prefix='korvid-downloads.')
        cls.browser = Browser(cls.downloads)
        cls.browser.open(PAGE)
        cls.driver = cls.browser.driver
        cls.browser.run('document.querySelector(\'[data-lang="ru"]\').click();')

    @classmethod
    def tearDownClass(cls):
        cls.browser.close()

    def korvid(self, name, data, method, unpack=False, options=None):
        """The page's korvid.pack or korvid.unpack: (status, lines, name, bytes, layout)."""
        got = self.browser.run(CODEC + 'const r = await window.korvid[args[0]]({method: args[1], name: args[2],'
                               ' data: bytes(args[3]), options: args[4]});'
                               'return [r.status, r.lines, r.name, r.file && text(r.file), r.layout];',
                               'unpack' if unpack else 'pack', method, name,
                               base64.b64encode(data).decode(), options or {})
        return got[0], got[1], got[2], got[3] and base64.b64decode(got[3]), got[4]

    def assert_korvid_like_console(self, name, data, method, unpack=False, options=None, console_input=None):
        status, lines, out_name, out, layout = self.korvid(name, data, method, unpack, options)
        args = korvid_args(method, unpack, options or {}) + ['--', name]
        expected = native('korvid', args, {name: console_input or data})
        self.assertEqual((status, lines), expected[:2], (name, method, options))
        self.assertEqual({out_name: out} if out else {}, expected[2], (name, method, options))
        return out, layout

    def wait_for_results(self, panel, before):
        deadline = time.time() + 120
        while self.driver.find_element(By.ID, panel + '-results').get_attribute('data-renders') == before:
            self.assertLess(time.time(), deadline, 'no results in ' + panel)
            time.sleep(0.05)

    def set_controls(self, **values):
        """Sets option controls by id (dashes as underscores); the next choice of files runs with them."""
        self.browser.run('for (const [id, v] of Object.entries(args[0])) {'
                         ' const e = document.getElementById(id.replace(/_/g, "-"));'
                         ' if (e.type === "checkbox") e.checked = v; else e.value = v; }', values)

    def choose(self, panel, paths):
        """Chooses files through the panel's own file control; the panel runs."""
        before = self.driver.find_element(By.ID, panel + '-results').get_attribute('data-renders')
        self.browser.run('document.getElementById(args[0]).value = "";', panel + '-files')
        self.driver.find_element(By.ID, panel + '-files').send_keys('\n'.join(paths))
        self.wait_for_results(panel, before)

    def download(self, link):
        name = link.get_attribute('download')
        link.click()
        path = os.path.join(self.downloads, name)
        deadline = time.time() + 30
        while not os.path.exists(path) or glob.glob(os.path.join(self.downloads, '*.crdownload')):
            self.assertLess(time.time(), deadline, 'no download of ' + name)
            time.sleep(0.05)
        data = read(path)
        os.remove(path)
        return name, data

    def article(self, panel, name):
        return self.driver.find_element(By.CSS_SELECTOR, f'#{panel}-results article[data-file="{name}"]')

    # --- the script interface: every corpus program, every method --------

    def test_corpus_packs_and_unpacks_as_on_the_console(self):
        for path in [HELLO] + corpus_files():
            name = os.path.basename(path)
            for method in METHODS:
                image, _ = self.assert_korvid_like_console(name, read(path), method)
                if image is not None:
                    image_name = name.replace('.bin', '.img')
                    self.assert_korvid_like_console(image_name, image, method, unpack=True)

    def test_options_reach_korvid_as_on_the_console(self):
        hello = read(HELLO)
        cases = [('DORVIK', {'data': True}), ('DORVIK', {'long': True}), ('DORVIK', {'work': '040000'}),
                 ('DORVIK', {'work': '0'}), ('DORVIK', {'work': '0140002'}), ('DORVIK', {'raw': True}),
                 ('SOKOL', {'data': True, 'raw': True}), ('BKGRANOL', {'raw': True})]
        for method, options in cases:
            image, _ = self.assert_korvid_like_console('hello.bin', hello, method, options=options)
            if options.get('raw'):  # an image without a header unpacks too
                self.assert_korvid_like_console('hello.raw', image, method, unpack=True)
        # -a: a file without a header packed at its address, and a Dorvik
        # image without one (which does not record its address) unpacked there.
        raw = hello[4:]
        self.assert_korvid_like_console('data.dat', raw, 'SOKOL', options={'address': '040000', 'data': True})
        image, _ = self.assert_korvid_like_console('data.dat', raw, 'DORVIK',
                                                   options={'address': '040000', 'raw': True})
        self.assert_korvid_like_console('data.raw', image, 'DORVIK', unpack=True,
                                        options={'address': '040000'})

    def test_morva_converts_as_on_the_console(self):
        if not os.path.isdir(TEXTS):
            self.skipTest('no BK texts at ' + TEXTS)
        texts = {os.path.basename(p): read(p) for p in sorted(glob.glob(os.path.join(TEXTS, '*.*')))
                 if not p.endswith('.tsv')}
        for letters in (('v', '8'), ('e', 'u'), ('a', 'w')):
            vortex = {n: d for n, d in texts.items() if n.upper().endswith(('.VXT', '.EDP', '.TXT'))}
            self.assert_morva_like_console(vortex, *letters)
        privet = {'privet.txt': read(os.path.join(ROOT, 'examples', 'privet.txt'))}
        for output in 'uwokedvb':
            self.assert_morva_like_console(privet, 'a', output, tab='8')
        asc = self.assert_morva_like_console(privet, 'a', 'b')
        self.assert_morva_like_console(asc, 'b', 'k')

    def assert_morva_like_console(self, inputs, input_mode, output_mode, tab=None):
        files = [{'name': n, 'data': base64.b64encode(d).decode()} for n, d in inputs.items()]
        got = self.browser.run(CODEC + 'const r = await window.morva.convert({input: args[0], output: args[1],'
                               ' tab: args[2], files: args[3].map((f) => ({name: f.name, data: bytes(f.data)}))});'
                               'return [r.status, r.lines, r.files.map((f) => [f.name, text(f.data)])];',
                               input_mode, output_mode, tab, files)
        args = ['-i', input_mode, '-o', output_mode] + (['-t', tab] if tab else []) + ['--']
        args += [n for n in inputs if not (input_mode == 'b' and ' #' in n)]
        status, lines, outputs = native('morva', args, inputs)
        self.assertEqual((got[0], got[1]), (status, lines), (input_mode, output_mode))
        self.assertEqual({n: base64.b64decode(d) for n, d in got[2]}, outputs, (input_mode, output_mode))
        return outputs

    def test_korvid_js_alone_packs_as_the_console(self):
        with tempfile.TemporaryDirectory() as folder:
            host = os.path.join(folder, 'tool.html')
            module = os.path.join(os.path.dirname(PAGE), 'korvid.js')
            with open(host, 'w') as f:
                f.write(f'<!DOCTYPE html><meta charset="utf-8"><script src="file://{module}"></script>')
            try:
                self.browser.open(host)
                self.assert_korvid_like_console('hello.bin', read(HELLO), 'SOKOL')
            finally:
                self.browser.open(PAGE)
                self.browser.run('document.querySelector(\'[data-lang="ru"]\').click();')

    # --- the page's own controls -----------------------------------------

    def test_pack_and_unpack_panels_download_the_console_files(self):
        river = os.path.join(CORPUS, 'river.bin') if os.path.isdir(CORPUS) else HELLO
        self.driver.find_element(By.ID, 'tab-pack').click()
        for method in METHODS:
            self.set_controls(pack_method=method, pack_work='')
            self.choose('pack', [river, HELLO])
            for path in (river, HELLO):
                name = os.path.basename(path)
                article = self.article('pack', name)
                expected = native('korvid', ['-t', method, '--', name], {name: read(path)})
                self.assertEqual(article.find_element(By.CSS_SELECTOR, 'pre.console').text.splitlines(), expected[1])
                self.assertEqual(dict([self.download(article.find_element(By.CSS_SELECTOR, 'a.download'))]),
                                 expected[2])
        if SCREENSHOT:
            self.set_controls(pack_method='SOKOL')
            self.choose('pack', [river])
            size = self.driver.get_window_size()
            self.driver.set_window_size(1000, 1640)
            self.driver.execute_script('window.scrollTo(0, 0)')
            self.driver.save_screenshot(SCREENSHOT)
            self.driver.set_window_size(size['width'], size['height'])
        image = native('korvid', ['-t', 'SOKOL', 'hello.bin'], {'hello.bin': read(HELLO)})[2]['hello.skl']
        with tempfile.TemporaryDirectory() as folder:
            with open(os.path.join(folder, 'hello.skl'), 'wb') as f:
                f.write(image)
            self.driver.find_element(By.ID, 'tab-unpack').click()
            self.set_controls(unpack_method='SOKOL')
            self.choose('unpack', [os.path.join(folder, 'hello.skl')])
        link = self.article('unpack', 'hello.skl').find_element(By.CSS_SELECTOR, 'a.download')
        self.assertEqual(self.download(link), ('hello.bkfile', read(HELLO)))

    def test_dropped_texts_come_as_one_zip_of_the_console_files(self):
        privet = read(os.path.join(ROOT, 'examples', 'privet.txt'))
        inputs = {'privet.txt': privet, 'копия.txt': privet.replace(b'\t', b'    ')}
        self.driver.find_element(By.ID, 'tab-convert').click()
        self.set_controls(convert_input='a', convert_output='b', convert_tab='')
        before = self.driver.find_element(By.ID, 'convert-results').get_attribute('data-renders')
        self.browser.run(CODEC + 'const drop = new DataTransfer();'
                         'for (const [n, d] of args[0]) drop.items.add(new File([bytes(d)], n));'
                         'document.querySelector(\'[data-drop="convert-files"]\')'
                         '.dispatchEvent(new DragEvent("drop", {dataTransfer: drop, bubbles: true}));',
                         [[n, base64.b64encode(d).decode()] for n, d in inputs.items()])
        self.wait_for_results('convert', before)
        status, lines, outputs = native('morva', ['-i', 'a', '-o', 'b', '--'] + list(inputs), inputs)
        result = self.driver.find_element(By.CSS_SELECTOR, '#convert-results article')
        self.assertEqual(result.find_element(By.CSS_SELECTOR, 'pre.console').text.splitlines(), lines)
        name, zipped = self.download(result.find_element(By.CSS_SELECTOR, 'a.download'))
        archive = zipfile.ZipFile(io.BytesIO(zipped))
        self.assertIsNone(archive.testzip())
        self.assertEqual({n: archive.read(n) for n in archive.namelist()}, outputs)
        self.assertGreater(len(outputs), 2)

    def test_bk_view_shows_the_console_text_in_64_columns(self):
        edasp = sorted(glob.glob(os.path.join(TEXTS, '*.EDP')))
        if not edasp:
            self.skipTest('no Edasp texts at ' + TEXTS)
        self.driver.find_element(By.ID, 'tab-convert').click()
        self.set_controls(convert_input='e', convert_output='8', convert_tab='')
        self.choose('convert', [edasp[0]])
        name = os.path.basename(edasp[0])
        view = self.driver.find_element(By.CSS_SELECTOR, f'details.text-view[data-file="{name}"]')
        view.find_element(By.TAG_NAME, 'summary').click()
        screen = self.browser.run('const v = document.querySelector(\'details.text-view\');'
                                  'for (let i = 0; i < 200 && !v.querySelector("pre.bk-screen"); ++i)'
                                  ' await new Promise((r) => setTimeout(r, 50));'
                                  'return v.querySelector("pre.bk-screen").textContent;')
        utf8 = native('morva', ['-i', 'e', '-o', '8', name], {name: read(edasp[0])})[2]
        text = next(iter(utf8.values())).decode('utf-8-sig').replace('\r\n', '\n').rstrip('\n')
        rows = screen.split('\n')
        self.assertLessEqual(max(len(row) for row in rows), 64)
        expected = [line[i:i + 64] for line in text.split('\n') for i in range(0, max(len(line), 1), 64)]
        self.assertEqual(rows, expected)

    def test_refusals_show_the_message_and_offer_nothing(self):
        with tempfile.TemporaryDirectory() as folder:
            huge = os.path.join(folder, 'huge.bin')
            with open(huge, 'wb') as f:
                f.truncate(0o160000)  # korvid's limit: refused by its size
            cases = [(huge, 'SOKOL', ''), (HELLO, 'DORVIK', '02000')]  # a work area over the program
            if os.path.isdir(CORPUS):
                cases.append((os.path.join(CORPUS, 'cf-atari.bin'), 'DORVIK', ''))  # over 30720 bytes
            self.driver.find_element(By.ID, 'tab-pack').click()
            for path, method, work in cases:
                name = os.path.basename(path)
                self.set_controls(pack_method=method, pack_work=work)
                self.choose('pack', [path])
                args = korvid_args(method, False, {'work': work} if work else {})
                status, lines, outputs = native('korvid', args + [name], {name: read(path)})
                self.assertEqual((status, outputs), (1, {}))
                article = self.article('pack', name)
                self.assertEqual(article.find_element(By.CSS_SELECTOR, 'pre.console').text.splitlines(), lines)
                self.assertEqual(article.find_elements(By.CSS_SELECTOR, 'a.download'), [])
            # An image may be longer than a program: -u reads up to 66048 bytes.
            for size in (0o160000, 0o201000, 0o201001):
                self.assert_korvid_like_console('big.skl', bytes(size), 'SOKOL', unpack=True)
            self.set_controls(pack_work='', unpack_method='SOKOL')
            self.driver.find_element(By.ID, 'tab-unpack').click()
            self.choose('unpack', [HELLO])  # not an image
            unpacked = self.article('unpack', 'hello.bin')
            self.assertEqual(unpacked.get_attribute('data-status'), '1')
            self.assertEqual(unpacked.find_elements(By.CSS_SELECTOR, 'a.download'), [])
            big = os.path.join(folder, 'big.txt')
            with open(big, 'wb') as f:
                f.truncate(16 * 1024 * 1024 + 1)
            self.driver.find_element(By.ID, 'tab-convert').click()
            self.choose('convert', [big])
            refused = self.driver.find_element(By.CSS_SELECTOR, '#convert-results article')
            self.assertIn('big.txt', refused.find_element(By.CSS_SELECTOR, '[role="alert"]').text)
            self.assertEqual(refused.find_elements(By.CSS_SELECTOR, 'a.download'), [])

    def test_memory_map_gives_the_known_octal_addresses(self):
        # hello.bin: 1412 bytes at 01000. Dorvik's default work area ends at
        # 040000 for a program that ends below 036710; Granol's image lies
        # right above the data; Sokol's compact decoder takes 118 bytes below the
        # return address at 0776; a picture at 040000 fills the screen.
        cases = [(HELLO, 'SOKOL', '', {'data': '01000–03604', 'image': '01000–02072',
                                       'margin': '03604–03610', 'stack': '0610–01000'}),
                 (HELLO, 'DORVIK', '', {'data': '01000–03604', 'work': '036710–040000'}),
                 (HELLO, 'DORVIK', '010000', {'work': '06710–010000'}),
                 (HELLO, 'BKGRANOL', '', {'data': '01000–03604', 'image': '03604–05252'}),
                 (os.path.join(CORPUS, 'pic001.bin'), 'SOKOL', '', {'data': '040000–0100000'})]
        self.driver.find_element(By.ID, 'tab-pack').click()
        for path, method, work, expected in cases:
            if not os.path.exists(path):
                continue
            self.set_controls(pack_method=method, pack_work=work)
            self.choose('pack', [path])
            items = self.article('pack', os.path.basename(path)).find_elements(By.CSS_SELECTOR, '.map-list li')
            ranges = {li.get_attribute('data-kind'): li.find_element(By.CLASS_NAME, 'range').text for li in items}
            self.assertEqual({k: ranges.get(k) for k in expected}, expected, (path, method, work))
            self.assertEqual((ranges['screen'], ranges['io']), ('040000–0100000', '0177600–0200000'))
        self.set_controls(pack_work='')

    def test_page_reaches_nothing_outside_and_switches_by_keyboard(self):
        print(f'\npage: {os.path.getsize(PAGE)} bytes', file=sys.stderr)
        sources = self.browser.run('return performance.getEntriesByType("resource").map((e) => e.name);')
        self.assertEqual([s for s in sources if not s.startswith(('data:', 'blob:', 'file:'))], [])
        english = self.browser.run('document.querySelector(\'[data-lang="en"]\').click();'
                                   'const r = [document.documentElement.lang, document.querySelector("h1").textContent];'
                                   'document.querySelector(\'[data-lang="ru"]\').click(); return r;')
        self.assertEqual(english, ['en', 'korvid and morva'])
        tab = self.driver.find_element(By.ID, 'tab-pack')
        tab.click()
        tab.send_keys('\ue014')  # the right arrow key moves to the next tab
        self.assertEqual(self.driver.switch_to.active_element.get_attribute('id'), 'tab-unpack')
        self.assertIsNone(self.driver.find_element(By.ID, 'panel-unpack').get_attribute('hidden'))


if __name__ == '__main__':
    arguments = sys.argv[1:]
    SCREENSHOT = None
    if '--screenshot' in arguments:
        at = arguments.index('--screenshot')
        SCREENSHOT = os.path.abspath(arguments[at + 1])
        del arguments[at:at + 2]
    PAGE, NATIVE = (os.path.abspath(a) for a in arguments)
    result = unittest.main(argv=[sys.argv[0], '-v'], exit=False).result
    failed = len(result.failures) + len(result.errors)
    skipped = len(result.skipped)
    print(f'browser: {result.testsRun - failed - skipped} passed, {failed} failed, {skipped} skipped')
    sys.exit(1 if failed else 0)
