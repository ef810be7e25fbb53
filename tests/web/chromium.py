"""Debian's headless Chromium under Debian's ChromeDriver, for the page's
tests and its benchmark: a fresh profile, downloads into a given folder,
and nothing that would reach for the network on its own."""

import shutil
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

CHROMIUM = '/usr/bin/chromium'
CHROMEDRIVER = '/usr/bin/chromedriver'


class Browser:
    def __init__(self, downloads, width=1100, height=1400):
        self.profile = tempfile.mkdtemp(prefix='korvid-chromium.')
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for argument in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-quic',
                         '--no-first-run', '--disable-background-networking',
                         '--disable-component-update', '--disable-sync',
                         '--user-data-dir=' + self.profile, f'--window-size={width},{height}'):
            options.add_argument(argument)
        options.add_experimental_option('prefs', {
            'download.default_directory': downloads, 'download.prompt_for_download': False})
        self.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        self.driver.set_script_timeout(300)
        self.driver.execute_cdp_cmd('Browser.setDownloadBehavior',
                                    {'behavior': 'allow', 'downloadPath': downloads})

    def open(self, page):
        self.driver.get('file://' + page)
        self.run('await window.korvid.ready();')

    def run(self, body, *arguments):
        """Runs the body of an async function in the page; its value (JSON
        serialisable) comes back. The arguments are `args[0]`, ..."""
        script = ('const done = arguments[arguments.length - 1];'
                  'const args = Array.from(arguments).slice(0, -1);'
                  '(async () => {' + body + '})().then(done, (e) => done({error: String(e && e.stack || e)}));')
        value = self.driver.execute_async_script(script, *arguments)
        if isinstance(value, dict) and set(value) == {'error'}:
            raise AssertionError('page script failed: ' + value['error'])
        return value

    def close(self):
        self.driver.quit()
        shutil.rmtree(self.profile, ignore_errors=True)
