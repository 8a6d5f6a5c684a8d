"""The viewer in a real browser: headless Chromium driven through chromedriver's WebDriver HTTP
protocol (standard library only, nothing from the network). It opens the page on the graphics
example, filters the table, opens a bitmap, switches its palette and opens the font, checking
what the page shows against what "qarvex -x --png" writes, and saves a screenshot of each step.
    viewer_browser_test.py QARVEX EXAMPLES_DIR SCREENSHOT_DIR
Exits 77 (skipped) when Chromium or chromedriver is not installed."""
import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

from viewer_process import Viewer, expected_picture, free_port, run

QARVEX, EXAMPLES, SHOTS = sys.argv[1], sys.argv[2], sys.argv[3]
VOLUME = os.path.join(EXAMPLES, "graphics.vol")
CHROMIUM, CHROMEDRIVER = "/usr/bin/chromium", "/usr/bin/chromedriver"
ELEMENT = "element-6066-11e4-a52e-4f735466cecf"

# The picture drawn on a canvas at its own size: width, height and RGBA bytes; and the bytes the
# page received for it.
READ_PICTURE = """
const done = arguments[arguments.length - 1];
const image = document.querySelector(arguments[0]);
const canvas = document.createElement('canvas');
canvas.width = image.naturalWidth;
canvas.height = image.naturalHeight;
const context = canvas.getContext('2d');
context.drawImage(image, 0, 0);
const pixels = context.getImageData(0, 0, canvas.width, canvas.height).data;
const text = (bytes) => { let s = ''; for (const b of bytes) s += String.fromCharCode(b); return btoa(s); };
fetch(image.src).then((r) => r.arrayBuffer()).then((file) =>
  done({width: canvas.width, height: canvas.height, rgba: text(pixels), file: text(new Uint8Array(file)),
        shownWidth: image.getBoundingClientRect().width}));
"""


class Browser:
    def __init__(self, profile, log):
        self.port = free_port()
        self.driver = subprocess.Popen([CHROMEDRIVER, f"--port={self.port}"], stdout=log, stderr=log)
        self.base = f"http://127.0.0.1:{self.port}"
        deadline = time.monotonic() + 30
        while True:
            try:
                self.call("GET", "/status")
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.2)
        options = {"binary": CHROMIUM,
                   "args": ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                            "--disable-background-networking", "--disable-component-update", "--disable-sync",
                            f"--user-data-dir={profile}", "--force-color-profile=srgb",
                            "--window-size=1400,1000"]}
        session = self.call("POST", "/session",
                            {"capabilities": {"alwaysMatch": {"browserName": "chrome",
                                                              "goog:chromeOptions": options}}})
        self.session = f"/session/{session['sessionId']}"

    def call(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=60) as response:
            return json.loads(response.read())["value"]

    def command(self, method, path, body=None):
        return self.call(method, self.session + path, body)

    def script(self, source, *arguments):
        return self.command("POST", "/execute/sync", {"script": source, "args": list(arguments)})

    def script_async(self, source, *arguments):
        return self.command("POST", "/execute/async", {"script": source, "args": list(arguments)})

    def find(self, selector):
        return self.command("POST", "/element", {"using": "css selector", "value": selector})[ELEMENT]

    def click(self, selector):
        self.command("POST", f"/element/{self.find(selector)}/click", {})

    def type(self, selector, text):
        element = self.find(selector)
        self.command("POST", f"/element/{element}/clear", {})
        self.command("POST", f"/element/{element}/value", {"text": text})

    def wait(self, condition, what):
        deadline = time.monotonic() + 30
        while not self.script("return " + condition):
            if time.monotonic() > deadline:
                raise AssertionError("the page never showed " + what)
            time.sleep(0.1)

    def screenshot(self, name):
        with open(os.path.join(SHOTS, name), "wb") as file:
            file.write(base64.b64decode(self.command("GET", "/screenshot")))

    def close(self):
        try:
            self.command("DELETE", "")
        finally:
            self.driver.terminate()
            self.driver.wait(timeout=20)


def rgba_of(path):
    """Width, height and RGBA bytes of a PNG file, as ImageMagick reads it."""
    size = run(["identify", "-format", "%w %h", path]).stdout.split()
    pixels = run(["convert", path, "-depth", "8", "rgba:-"]).stdout
    return int(size[0]), int(size[1]), pixels


def same_pixels(shown, expected):
    """Equal pixels; where a pixel is fully transparent only that counts (a canvas keeps no
    colour there)."""
    if len(shown) != len(expected):
        return False
    for at in range(0, len(shown), 4):
        if expected[at + 3] == 0:
            if shown[at + 3] != 0:
                return False
        elif shown[at:at + 4] != expected[at:at + 4]:
            return False
    return True


class ViewerInBrowser(unittest.TestCase):
    def setUp(self):
        os.makedirs(SHOTS, exist_ok=True)
        self.scratch = tempfile.TemporaryDirectory()
        self.viewer = Viewer(QARVEX, [VOLUME])
        self.log = open(os.path.join(SHOTS, "chromedriver.log"), "w")
        self.browser = Browser(os.path.join(self.scratch.name, "profile"), self.log)

    def tearDown(self):
        self.browser.close()
        self.log.close()
        self.viewer.stop()
        self.scratch.cleanup()

    def check_picture(self, selector, expected_path):
        shown = self.browser.script_async(READ_PICTURE, selector)
        with open(expected_path, "rb") as file:
            self.assertEqual(base64.b64decode(shown["file"]), file.read(), "the PNG shown is not --png's")
        width, height, pixels = rgba_of(expected_path)
        self.assertEqual((shown["width"], shown["height"]), (width, height))
        self.assertTrue(same_pixels(base64.b64decode(shown["rgba"]), pixels), "the pixels differ")
        self.assertGreaterEqual(shown["shownWidth"], width, "the picture is not scaled up")

    def names_shown(self):
        return self.browser.script("return [...document.querySelectorAll('#entries tbody tr')]"
                                   ".map((row) => row.dataset.name)")

    def test_filter_open_bitmap_switch_palette_open_font(self):
        browser, folder = self.browser, self.scratch.name
        browser.command("POST", "/url", {"url": self.viewer.url})
        browser.wait("document.querySelectorAll('#entries tbody tr').length > 0", "the table")
        listed = run([QARVEX, "-l", "*", VOLUME]).stdout.decode().splitlines()
        self.assertEqual(sorted(self.names_shown()), sorted(line.split()[-1] for line in listed[1:-1]))
        browser.screenshot("viewer-1-table.png")

        # The filter box: the viewer matches as the command line does.
        browser.type("#filter", "*.pb?")
        browser.wait("document.body.dataset.filtered === '*.pb?'", "the filtered table")
        self.assertEqual(sorted(self.names_shown()), ["tiles.pba", "title.pbm"])
        browser.click("th[data-key=name]")
        browser.click("th[data-key=name]")
        self.assertEqual(self.names_shown(), ["title.pbm", "tiles.pba"], "sorting by name, downwards")
        browser.screenshot("viewer-2-filtered.png")

        # A bitmap: the very picture --png writes, scaled up, with a palette chooser.
        browser.click("tr[data-name='title.pbm']")
        browser.wait("document.body.dataset.loaded === 'yes'", "the bitmap")
        _, plain = expected_picture(QARVEX, VOLUME, "title.pbm", os.path.join(folder, "plain"))
        self.check_picture("img.picture[data-suffix='.png']", plain)
        self.assertTrue(browser.script("return !document.getElementById('palette-choice').hidden"))
        self.assertIn("raw", browser.script("return document.getElementById('download-entry').href"))
        self.assertIn("download=1", browser.script("return document.getElementById('download-picture').href"))
        browser.screenshot("viewer-3-bitmap.png")

        # Another palette: the bitmap redraws in it (over its own colours).
        palettes = browser.script("return [...document.querySelectorAll('#palette option')].map((o) => o.text)")
        self.assertEqual([label.rsplit(": ", 1)[-1] for label in palettes],
                         ["its own colours", "game.ppl, palette 0", "game.ppl, palette 1"])
        before = browser.script_async(READ_PICTURE, "img.picture")["rgba"]
        browser.click("#palette option[value='1']")
        browser.wait("document.body.dataset.loaded === 'yes' && "
                     "document.querySelector('img.picture').src.includes('palette=1')", "the redrawn bitmap")
        self.assertNotEqual(browser.script_async(READ_PICTURE, "img.picture")["rgba"], before)
        browser.screenshot("viewer-4-palette.png")

        # The tiles carry no colours: in palette 1 of game.ppl (their palette number) they are the
        # pictures --png --palette writes, and in their own the grey ramp of --png alone.
        run([QARVEX, "-x", "-f", "-C", folder, "game.ppl", os.path.abspath(VOLUME)])
        palette = os.path.join(folder, "game.ppl")
        browser.type("#filter", "*.pba")
        browser.wait("document.body.dataset.filtered === '*.pba'", "the arrays")
        browser.click("tr[data-name='tiles.pba']")
        browser.wait("document.body.dataset.loaded === 'yes' && document.querySelectorAll('img.picture').length == 5",
                     "the tiles")
        _, sheet = expected_picture(QARVEX, VOLUME, "tiles.pba", os.path.join(folder, "sheet"), palette,
                                    options=["--sheet"])
        self.check_picture("img.picture[data-suffix='.png']", sheet)
        _, frame = expected_picture(QARVEX, VOLUME, "tiles.pba", os.path.join(folder, "frames"), palette,
                                    suffix=".2.png")
        self.check_picture("img.picture[data-suffix='.2.png']", frame)
        browser.screenshot("viewer-5-tiles.png")
        browser.click("#palette option[value='']")
        browser.wait("document.body.dataset.loaded === 'yes' && !document.querySelector('img.picture').src.includes('palette')",
                     "the tiles in grey")
        _, grey = expected_picture(QARVEX, VOLUME, "tiles.pba", os.path.join(folder, "grey"), options=["--sheet"])
        self.check_picture("img.picture[data-suffix='.png']", grey)
        self.assertIn("grey ramp", browser.script("return document.getElementById('problems').textContent"))

        # The font: its glyph sheet, its metrics and a line drawn with it.
        browser.type("#filter", "*.pft")
        browser.wait("document.body.dataset.filtered === '*.pft'", "the fonts")
        browser.click("tr[data-name='small.pft']")
        browser.wait("document.body.dataset.loaded === 'yes' && document.querySelectorAll('img.picture').length == 2",
                     "the font")
        _, sheet = expected_picture(QARVEX, VOLUME, "small.pft", os.path.join(folder, "font"))
        self.check_picture("img.picture[data-suffix='.png']", sheet)
        with open(os.path.join(folder, "font", "small.pft.txt")) as metrics:
            self.assertEqual(browser.script("return document.getElementById('metrics').textContent"),
                             metrics.read())
        sample = browser.script("const i = document.querySelector(\"img.picture[data-suffix='.sample.png']\");"
                                "return [i.naturalWidth, i.naturalHeight]")
        self.assertGreater(sample[0], sample[1])
        browser.screenshot("viewer-6-font.png")


if __name__ == "__main__":
    if not (shutil.which(CHROMIUM) and shutil.which(CHROMEDRIVER)):
        print("skipped: Chromium or chromedriver is not installed")
        sys.exit(77)
    result = unittest.main(argv=sys.argv[:1], verbosity=2, exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)
