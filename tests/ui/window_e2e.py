#!/usr/bin/python3
"""The program's window as a user meets it: a stamped halvora.exe under Wine on
the private X screen of tests/ui/with-gui-prefix, against the reference server
of tests/http/with-refserver. The screen is read with ImageMagick's `import`
and the window driven with xdotool (real pointer and key events through the X
server). One run checks, in order:

  DrawnWindow        colour-keyed corners show what lies below, the band and
                     body colours, the name, the speed text's place
  QuestionOverMask   Escape asks; while the question is open a mask darkens
                     the window; Escape answers no and the window stays
  EnterDoesNothing   Enter neither ends the run nor asks
  DragByBody         pressing on the body and moving drags the window
  CloseAnsweredYes   the close button asks; 是 ends the program

  window_e2e.py STAMP_EXE PROGRAM_EXE APP_ID APP_NAME

Results go to GTEST_OUTPUT (a folder, "xml:DIR/") as a GoogleTest-style
report, so scripts/test counts them with the other suites.
"""

import os
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET

BAND = (83, 112, 156)
BODY = (240, 248, 250)
KEY = (255, 0, 0)
# The mask: black at opacity 100 of 255 over the body colour.
MASKED_BODY = tuple(round(c * (255 - 100) / 255) for c in BODY)
WAIT_S = 60  # a bound that only turns a hang into a failure


class CheckFailed(Exception):
    pass


def run(*args, **kw):
    return subprocess.run(list(args), check=True, capture_output=True, text=True, **kw).stdout


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wait_for(what, condition):
    """Polls `condition` until it returns something true; fails after WAIT_S."""
    end = time.monotonic() + WAIT_S
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise CheckFailed("timed out waiting for " + what)
        time.sleep(0.1)


class Screen:
    """One screenshot of the whole X screen."""

    def __init__(self):
        geometry = run("xdotool", "getdisplaygeometry").split()
        self.width, self.height = int(geometry[0]), int(geometry[1])
        self.data = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"],
                                   check=True, capture_output=True).stdout
        if len(self.data) != self.width * self.height * 3:
            raise CheckFailed("screenshot of unexpected size")

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def dark(self, left, top, right, bottom):
        return sum(1 for y in range(top, bottom) for x in range(left, right)
                   if sum(self.at(x, y)) < 3 * 128)


def close(a, b, tolerance=3):
    return all(abs(p - q) <= tolerance for p, q in zip(a, b))


class Window:
    def __init__(self, name):
        self.name = name

    def find(self, name=None):
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                              "^%s$" % (name or self.name)], capture_output=True, text=True).stdout
        ids = out.split()
        return ids[0] if ids else None

    def origin(self, wid):
        shell = dict(line.split("=", 1) for line in
                     run("xdotool", "getwindowgeometry", "--shell", wid).split())
        return int(shell["X"]), int(shell["Y"])


class Run:
    def __init__(self, stamp, program, app_id, app_name, workdir):
        self.app_name = app_name
        self.window = Window(app_name)
        server = os.environ["HALVORA_REFSERVER_URL"].split("://", 1)[1].rstrip("/")
        self.exe = os.path.join(workdir, "app.exe")
        run("wine", stamp, "--appid", app_id, "--server", server, wine_path(program),
            wine_path(self.exe))
        self.below = Screen()  # the screen before the window exists
        self.process = subprocess.Popen(["wine", self.exe], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.wid = wait_for("the window", self.window.find)
        # The window is up once its background is drawn.
        wait_for("the drawn background", lambda: Screen().at(*self.screen(200, 10)) == BAND)

    def screen(self, x, y):
        ox, oy = self.window.origin(self.wid)
        return ox + x, oy + y

    def pixel(self, shot, x, y):
        return shot.at(*self.screen(x, y))

    def click(self, x, y):
        sx, sy = self.screen(x, y)
        run("xdotool", "mousemove", "--sync", str(sx), str(sy), "click", "1")

    def key(self, name):
        run("xdotool", "key", name)

    def question(self):
        return self.window.find("提示")

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def expect(condition, message):
    if not condition:
        raise CheckFailed(message)


def drawn_window(r):
    shot = Screen()
    ox, oy = r.window.origin(r.wid)
    for x, y in [(0, 233), (3, 233), (0, 230), (1, 232), (395, 233), (392, 233), (394, 232)]:
        got, below = shot.at(ox + x, oy + y), r.below.at(ox + x, oy + y)
        expect(got != KEY and got == below,
               "corner pixel (%d,%d) is %s, the screen below was %s" % (x, y, got, below))
    for what, x, y, colour in [("band", 200, 10, BAND), ("body", 200, 40, BODY),
                               ("panel", 200, 200, BAND)]:
        expect(r.pixel(shot, x, y) == colour, "%s pixel is %s" % (what, r.pixel(shot, x, y)))
    expect(shot.dark(ox + 17, oy + 54, ox + 262, oy + 84) > 20, "no name drawn")
    expect(shot.dark(ox + 296, oy + 54, ox + 396, oy + 84) > 20, "no package size drawn")
    expect(shot.dark(ox + 270, oy + 114, ox + 330, oy + 134) > 10, "no speed text drawn")


def question_over_mask(r):
    r.click(200, 60)  # focus the window
    r.key("Escape")
    wait_for("the question", r.question)
    masked = wait_for("the mask", lambda: close(r.pixel(Screen(), 10, 60), MASKED_BODY))
    expect(masked, "body not darkened")
    r.key("Escape")  # the question has the focus: Escape answers no
    wait_for("the question to close", lambda: not r.question())
    wait_for("the mask to go", lambda: r.pixel(Screen(), 10, 60) == BODY)
    expect(r.process.poll() is None, "the program ended on 'no'")


def enter_does_nothing(r):
    r.click(200, 60)
    r.key("Return")
    # The program would end or ask at once; a round trip through the window
    # (a question opened by Escape and closed again) orders the check after it.
    r.key("Escape")
    wait_for("the question", r.question)
    r.key("Escape")
    wait_for("the question to close", lambda: not r.question())
    expect(r.process.poll() is None, "Enter ended the program")


def drag_by_body(r):
    x0, y0 = r.window.origin(r.wid)
    sx, sy = x0 + 200, y0 + 60
    run("xdotool", "mousemove", "--sync", str(sx), str(sy), "mousedown", "1")
    for step in range(1, 6):
        run("xdotool", "mousemove", "--sync", str(sx + 10 * step), str(sy + 6 * step))
    run("xdotool", "mouseup", "1")
    wait_for("the window to move", lambda: r.window.origin(r.wid) == (x0 + 50, y0 + 30))


def close_answered_yes(r):
    r.click(380, 16)
    q = wait_for("the question", r.question)
    qx, qy = r.window.origin(q)
    run("xdotool", "mousemove", "--sync", str(qx + 166), str(qy + 138), "click", "1")  # 是
    end = time.monotonic() + WAIT_S
    while r.process.poll() is None and time.monotonic() < end:
        time.sleep(0.1)
    expect(r.process.poll() == 0, "the program did not end after 是 (%s)" % r.process.poll())


CHECKS = [("DrawnWindow", drawn_window), ("QuestionOverMask", question_over_mask),
          ("EnterDoesNothing", enter_does_nothing), ("DragByBody", drag_by_body),
          ("CloseAnsweredYes", close_answered_yes)]


def write_report(results):
    target = os.environ.get("GTEST_OUTPUT", "")
    if not target.startswith("xml:"):
        return
    folder = target[4:]
    path = os.path.join(folder, "ui_window_e2e.xml") if folder.endswith("/") else folder
    suites = ET.Element("testsuites")
    suite = ET.SubElement(suites, "testsuite", name="WindowE2E", tests=str(len(results)),
                          failures=str(sum(1 for _, m in results if m)))
    for name, message in results:
        case = ET.SubElement(suite, "testcase", name=name, classname="WindowE2E")
        if message:
            ET.SubElement(case, "failure", message=message)
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    ET.ElementTree(suites).write(path, encoding="utf-8", xml_declaration=True)


def main():
    stamp, program, app_id, app_name = sys.argv[1:5]
    results = []
    with tempfile.TemporaryDirectory() as workdir:
        r = None
        try:
            r = Run(stamp, program, app_id, app_name, workdir)
            for name, check in CHECKS:
                try:
                    check(r)
                    results.append((name, ""))
                except CheckFailed as e:
                    results.append((name, str(e)))
                    break
        except CheckFailed as e:
            results.append(("Start", str(e)))
        finally:
            if r:
                r.stop()
    reached = {name for name, _ in results}
    results += [(name, "not reached") for name, _ in CHECKS if name not in reached]
    for name, message in results:
        print("%-18s %s" % (name, message or "ok"))
    write_report(results)
    return 1 if any(m for _, m in results) else 0


if __name__ == "__main__":
    sys.exit(main())
