#!/usr/bin/python3
"""The program's window as a user meets it: a stamped halvora.exe under Wine on
the private X screen of tests/ui/with-gui-prefix, against the reference server
of tests/http/with-refserver. The screen is read with ImageMagick's `import`
and the window driven with xdotool (real pointer and key events through the X
server). The demo application's package is replaced by a 16 MiB file. The server
first holds its answer after 1 MB (fault "stall"), so the bar shows a known
share; then it serves the rest slowly (fault "trickle"), so the download
stays under way while the buttons are tried (a held read cannot be
interrupted by a pause, a slow one can). One run checks, in
order:

  DrawnWindow        colour-keyed corners show what lies below, the band and
                     body colours, the name, size and speed texts
  ProgressHeld       the bar fills part way and holds while the server does
  PauseAndResume     the pause button pauses (play picture) and resumes
                     (pause picture, the transfer continues with a range)
  QuickDoubleClick   two quick clicks on pause pause and resume again
  CancelAnsweredNo   the cancel button asks over a darkening mask; 否 closes
                     the question, lifts the mask and the transfer goes on
  EscapeAnsweredNo   Escape asks too; Escape on the question answers no
  EnterDoesNothing   Enter neither ends the run nor asks
  DragByBody         pressing on the body and moving drags the window
  CloseAnsweredYes   the close button asks; 是 ends the program
  LaunchWhenReady    a second run finds the package complete: the launch
                     button shows its ready picture and starts the
                     installation, which ends the program

  window_e2e.py STAMP_EXE PROGRAM_EXE APP_ID APP_NAME [PUBLIC_FILE_HOST [CLIENT_SETUP]]

CLIENT_SETUP (the fake platform client setup) is run first, so that the
package is the only file of the session: a file that cannot be fetched (the
platform client's, from an unserved public file host) ends a session.

Results go to GTEST_OUTPUT (a folder, "xml:DIR/") as a GoogleTest-style
report, so scripts/test counts them with the other suites.
"""

import fcntl
import glob
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import urllib.request
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
RES = os.path.join(os.path.dirname(os.path.dirname(HERE)), "res")
PACKAGE_SIZE = 16 * 1024 * 1024
HELD_AT = 1000000  # body bytes of the first answer before the server holds it
# After the hold, answers come in pieces of this many bytes, 2 ms apart
# (about 32 KB/s, some 8 minutes for the package): the download must outlast
# the checks, which take two minutes on a loaded machine.
TRICKLE = 64
FILL = (107, 202, 24)

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


def read_bmp(path):
    """The pixels of a 24-bit bitmap as rows of (r, g, b), top row first."""
    with open(path, "rb") as f:
        data = f.read()
    offset, = struct.unpack_from("<I", data, 10)
    w, h = struct.unpack_from("<ii", data, 18)
    stride = (w * 3 + 3) & ~3
    rows = []
    for y in range(abs(h)):
        row = (abs(h) - 1 - y) if h > 0 else y
        at = offset + row * stride
        rows.append([tuple(reversed(data[at + 3 * x:at + 3 * x + 3])) for x in range(w)])
    return rows


PAUSE_RUNNING = read_bmp(os.path.join(RES, "pause_running.bmp"))
PAUSE_PAUSED = read_bmp(os.path.join(RES, "pause_paused.bmp"))
LAUNCH_READY = read_bmp(os.path.join(RES, "launch_ready.bmp"))
LAUNCH_WAITING = read_bmp(os.path.join(RES, "launch_waiting.bmp"))
CLOSE_PICTURE = read_bmp(os.path.join(RES, "close.bmp"))
CANCEL_PICTURE = read_bmp(os.path.join(RES, "cancel.bmp"))


class Server:
    def __init__(self):
        self.url = os.environ["HALVORA_REFSERVER_URL"]
        self.catalog = os.environ["HALVORA_REFSERVER_CATALOG"]

    def control(self, what):
        with urllib.request.urlopen(self.url + "_control/" + what, timeout=30) as answer:
            return answer.read().decode("utf-8", "replace")

    def resumes(self):
        """Requests that continued a file (a range not from its start)."""
        log = self.control("log")
        return log.count("Range: bytes=") - log.count("Range: bytes=0-")


def find_window(name):
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % name],
                         capture_output=True, text=True).stdout
    ids = out.split()
    return ids[0] if ids else None


def origin(wid):
    shell = dict(line.split("=", 1) for line in
                 run("xdotool", "getwindowgeometry", "--shell", wid).split())
    return int(shell["X"]), int(shell["Y"])


class Run:
    """One program run, from the stamped copy to its window."""

    def __init__(self, exe, name, below):
        self.name = name
        self.below = below  # the screen before the window exists
        self.process = subprocess.Popen(["wine", exe], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.wid = wait_for("the window", lambda: find_window(name))
        # The window is up once its background is drawn. A run that ends by
        # itself (one that finds its package complete) may close it first.
        wait_for("the drawn background or the end", self.drawn_or_ended)

    def drawn_or_ended(self):
        try:
            return self.pixel(Screen(), 200, 10) == BAND
        except CheckFailed:  # the program ended
            return True

    def origin(self):
        """The window's top left corner on the screen. Wine may give a window
        a new X window (a change of its styles can), so an id that has gone
        is looked up again by the window's name while the program runs."""
        try:
            return origin(self.wid)
        except subprocess.CalledProcessError:
            if self.process.poll() is not None:
                raise CheckFailed("the program ended (status %s)" % self.process.poll())
            self.wid = wait_for("the window again", lambda: find_window(self.name))
            return origin(self.wid)

    def screen(self, x, y):
        ox, oy = self.origin()
        return ox + x, oy + y

    def pixel(self, shot, x, y):
        return shot.at(*self.screen(x, y))

    def shows(self, picture, left, top, shot=None, margin=0):
        """The picture at (left, top); with a margin, only its inner part (a
        focused button draws its focus mark inside its edge)."""
        shot = shot or Screen()
        ox, oy = self.origin()
        h, w = len(picture), len(picture[0])
        return all(shot.at(ox + left + x, oy + top + y) == picture[y][x]
                   for y in range(margin, h - margin) for x in range(margin, w - margin))

    def focus_mark(self, picture, left, top, shot=None):
        """Pixels two in from the button's edge that differ from its picture."""
        shot = shot or Screen()
        ox, oy = self.origin()
        h, w = len(picture), len(picture[0])
        ring = [(x, 2) for x in range(2, w - 2)] + [(2, y) for y in range(2, h - 2)]
        return sum(1 for x, y in ring if shot.at(ox + left + x, oy + top + y) != picture[y][x])

    def filled(self, shot=None):
        """Green pixels of the progress bar's middle row."""
        shot = shot or Screen()
        return sum(1 for x in range(80, 265) if close(self.pixel(shot, x, 120), FILL, 8))

    def click(self, x, y, repeat=1):
        sx, sy = self.screen(x, y)
        run("xdotool", "mousemove", "--sync", str(sx), str(sy), "click", "--repeat", str(repeat),
            "--delay", "60", "1")

    def key(self, name):
        run("xdotool", "key", name)

    def question(self):
        return find_window("提示")

    def answer(self, yes):
        q = wait_for("the question", self.question)
        qx, qy = origin(q)
        x, y = (166, 138) if yes else (226, 138)
        run("xdotool", "mousemove", "--sync", str(qx + x), str(qy + y), "click", "1")

    def masked(self):
        return close(self.pixel(Screen(), 10, 60), MASKED_BODY)

    def wait_exit(self):
        end = time.monotonic() + WAIT_S
        while self.process.poll() is None and time.monotonic() < end:
            time.sleep(0.1)
        return self.process.poll()

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def expect(condition, message):
    if not condition:
        raise CheckFailed(message)


PAUSE_AT = (330, 106)
CANCEL = (376, 120)
PAUSE = (344, 120)
LAUNCH_AT = (284, 179)


def drawn_window(r, server):
    shot = Screen()
    ox, oy = r.origin()
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


def held_fill():
    """Pixels filled once the held bytes have arrived."""
    position = 500 * HELD_AT // PACKAGE_SIZE
    return position * 185 // 500


def progress_held(r, server):
    wait_for("the bar to fill to the held bytes (%d pixels)" % held_fill(),
             lambda: r.filled() == held_fill())
    expect(r.shows(PAUSE_RUNNING, *PAUSE_AT), "the pause button does not show its running picture")
    # From here on the answers come slowly instead of being held.
    server.control("reset")
    server.control("fault?trickle=%d" % TRICKLE)


def pause_and_resume(r, server):
    before = server.resumes()
    r.click(*PAUSE)
    wait_for("the paused picture", lambda: r.shows(PAUSE_PAUSED, *PAUSE_AT))
    paused_at = r.filled()
    r.click(*PAUSE)
    wait_for("the running picture", lambda: r.shows(PAUSE_RUNNING, *PAUSE_AT))
    wait_for("the transfer to go on", lambda: server.resumes() > before)
    # It continues from the bytes present: the bar never goes back.
    expect(r.filled() >= paused_at, "the bar went back after the resume")


def quick_double_click(r, server):
    before = server.resumes()
    r.click(*PAUSE, repeat=2)  # a double click to the platform
    wait_for("the transfer to go on after pause and resume", lambda: server.resumes() > before)
    # A lost second click would leave it paused, and the transfer stopped.
    wait_for("the running picture", lambda: r.shows(PAUSE_RUNNING, *PAUSE_AT))


def cancel_answered_no(r, server):
    before = server.resumes()
    r.click(*CANCEL)
    wait_for("the question", r.question)
    wait_for("the mask", r.masked)
    r.answer(yes=False)
    wait_for("the question to close", lambda: not r.question())
    wait_for("the mask to go", lambda: r.pixel(Screen(), 10, 60) == BODY)
    wait_for("the transfer to go on", lambda: server.resumes() > before)
    wait_for("the running picture", lambda: r.shows(PAUSE_RUNNING, *PAUSE_AT))


def escape_answered_no(r, server):
    r.click(200, 60)  # focus the window
    r.key("Escape")
    wait_for("the question", r.question)
    wait_for("the mask", r.masked)
    r.key("Escape")  # the question has the focus: Escape answers no
    wait_for("the question to close", lambda: not r.question())
    wait_for("the mask to go", lambda: r.pixel(Screen(), 10, 60) == BODY)
    expect(r.process.poll() is None, "the program ended on 'no'")


def enter_does_nothing(r, server):
    r.click(200, 60)
    r.key("Return")
    # The program would end or ask at once; a round trip through the window
    # (a question opened by Escape and closed again) orders the check after it.
    r.key("Escape")
    wait_for("the question", r.question)
    r.key("Escape")
    wait_for("the question to close", lambda: not r.question())
    expect(r.process.poll() is None, "Enter ended the program")


def marked(r, pause_picture):
    """The buttons that show a focus mark (while downloading)."""
    shot = Screen()
    buttons = [("close", CLOSE_PICTURE, (366, 2)), ("pause", pause_picture, PAUSE_AT),
               ("cancel", CANCEL_PICTURE, (362, 106)), ("launch", LAUNCH_WAITING, LAUNCH_AT)]
    return [name for name, picture, at in buttons if r.focus_mark(picture, *at, shot=shot) > 0]


def tab_to(r, target, pause_picture):
    """Presses Tab until `target` shows the focus mark: each press moves the
    mark to the next button, awaited before the next press."""
    for _ in range(5):
        before = marked(r, pause_picture)
        r.key("Tab")
        now = wait_for("the focus mark to move", lambda: (
            lambda m: m if m and m != before else None)(marked(r, pause_picture)))
        if now == [target]:
            return
    raise CheckFailed("Tab never reached the %s button" % target)


def keyboard_pause_and_resume(r, server):
    r.click(200, 60)
    tab_to(r, "pause", PAUSE_RUNNING)
    r.key("space")
    wait_for("the paused picture", lambda: r.shows(PAUSE_PAUSED, *PAUSE_AT, margin=3))
    expect(r.focus_mark(PAUSE_PAUSED, *PAUSE_AT) > 0, "no focus mark on the pause button")
    r.key("Return")  # Enter presses the focused button as Space does
    wait_for("the running picture", lambda: r.shows(PAUSE_RUNNING, *PAUSE_AT, margin=3))
    r.key("shift+Tab")
    wait_for("the focus to leave the pause button",
             lambda: r.focus_mark(PAUSE_RUNNING, *PAUSE_AT) == 0)
    r.click(200, 60)  # the focus off the buttons again


def enter_answers_no(r, server):
    r.click(200, 60)
    r.key("Escape")
    wait_for("the question", r.question)
    r.key("Return")  # 否 has the focus: the safe answer
    wait_for("the question to close", lambda: not r.question())
    expect(r.process.poll() is None, "Enter in the question ended the program")


def drag_by_body(r, server):
    x0, y0 = r.origin()
    sx, sy = x0 + 200, y0 + 60
    run("xdotool", "mousemove", "--sync", str(sx), str(sy), "mousedown", "1")
    for step in range(1, 6):
        run("xdotool", "mousemove", "--sync", str(sx + 10 * step), str(sy + 6 * step))
    run("xdotool", "mouseup", "1")
    wait_for("the window to move", lambda: r.origin() == (x0 + 50, y0 + 30))


def close_answered_yes(r, server):
    r.click(380, 16)
    r.answer(yes=True)
    expect(r.wait_exit() == 0, "the program did not end after 是 (%s)" % r.process.poll())


CHECKS = [("DrawnWindow", drawn_window), ("ProgressHeld", progress_held),
          ("PauseAndResume", pause_and_resume), ("QuickDoubleClick", quick_double_click),
          ("CancelAnsweredNo", cancel_answered_no), ("EscapeAnsweredNo", escape_answered_no),
          ("EnterDoesNothing", enter_does_nothing),
          ("KeyboardPauseAndResume", keyboard_pause_and_resume),
          ("EnterAnswersNo", enter_answers_no), ("DragByBody", drag_by_body),
          ("CloseAnsweredYes", close_answered_yes)]


def launch_when_ready(exe, name, server, below):
    """A run that finds the package complete waits for the launch button."""
    server.control("reset")  # no hold: the first run's file is completed here
    r = Run(exe, name, below)
    try:
        # The first pass completes the package and installs at once; the
        # random package installs nothing, so its file stays for a second run.
        expect(r.wait_exit() == 0, "the completing run did not end by itself")
    finally:
        r.stop()
    r = Run(exe, name, below)
    try:
        wait_for("the ready picture", lambda: r.shows(LAUNCH_READY, *LAUNCH_AT))
        expect(r.filled() == 185, "the bar is not full (%d)" % r.filled())
        r.click(200, 60)
        r.key("Return")  # with everything present, Enter launches
        expect(r.wait_exit() == 0, "Enter did not launch and end the program")
    finally:
        r.stop()


def prepare(server, stamp, program, app_id, workdir, client_setup):
    """A fresh user profile with the platform client, the large package, its
    size, and the stamped copy."""
    prefix = os.environ["HALVORA_WINEPREFIX"]
    for folder in glob.glob(os.path.join(prefix, "drive_c/users/*/AppData/Roaming/apps")):
        shutil.rmtree(folder, ignore_errors=True)
    if client_setup:
        run("wine", wine_path(client_setup), "-silent")
    package = os.path.join(server.catalog, "files/packages/demo-app.zip")
    with open(package, "wb") as f:
        f.write(os.urandom(PACKAGE_SIZE))
    size_file = os.path.join(server.catalog, "apps", app_id, "filesize.xml")
    with open(size_file, encoding="latin-1") as f:
        text = f.read()
    start, end = text.index("<fileSize>") + 10, text.index("</fileSize>")
    with open(size_file, "w", encoding="latin-1") as f:
        f.write(text[:start] + str(PACKAGE_SIZE) + text[end:])
    host = server.url.split("://", 1)[1].rstrip("/")
    exe = os.path.join(workdir, "app.exe")
    run("wine", stamp, "--appid", app_id, "--server", host, wine_path(program), wine_path(exe))
    return exe


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
    # The platform client's package comes from the build's public file host
    # (argument 5, host:port); runs that serve it there take this lock, so
    # none serves it during this run and the package is the only file.
    if len(sys.argv) > 5 and sys.argv[5]:
        port = sys.argv[5].rpartition(":")[2]
        lock = open(os.path.join(tempfile.gettempdir(), "halvora-e2e-%s.lock" % port), "w")
        fcntl.flock(lock, fcntl.LOCK_EX)
    results = []
    server = Server()
    with tempfile.TemporaryDirectory() as workdir:
        client_setup = sys.argv[6] if len(sys.argv) > 6 else ""
        exe = prepare(server, stamp, program, app_id, workdir, client_setup)
        below = Screen()
        server.control("fault?stall=%d" % HELD_AT)
        r = None
        try:
            r = Run(exe, app_name, below)
            for name, check in CHECKS:
                try:
                    check(r, server)
                    results.append((name, ""))
                except CheckFailed as e:
                    results.append((name, str(e)))
                    break
        except CheckFailed as e:
            results.append(("Start", str(e)))
        finally:
            if r:
                r.stop()
        if not any(m for _, m in results):
            try:
                launch_when_ready(exe, app_name, server, below)
                results.append(("LaunchWhenReady", ""))
            except CheckFailed as e:
                results.append(("LaunchWhenReady", str(e)))
    reached = {name for name, _ in results}
    results += [(name, "not reached") for name in [n for n, _ in CHECKS] + ["LaunchWhenReady"]
                if name not in reached]
    for name, message in results:
        print("%-18s %s" % (name, message or "ok"))
    write_report(results)
    return 1 if any(m for _, m in results) else 0


if __name__ == "__main__":
    sys.exit(main())
