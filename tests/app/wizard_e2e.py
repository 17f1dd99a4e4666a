#!/usr/bin/env python3
"""End-to-end run of the wizard under Wine on its own X display, driven with real mouse and key
events.

A Wine prefix of its own gets two labelled removable drives (E: "RESCUE", F: with odd characters)
and one fixed drive (D:). The test tabs to "Start" and presses Space, reads the drive list
through the window's accessibility tree (wizard_probe dump): each drive with its label and size.
It chooses F: and refreshes (E: is selected again); then pulls and plugs drives and tells the
window the way the system does (WM_DEVICECHANGE, from the probe), with no click on Refresh: the
list follows and keeps the chosen drive while it is there, down to the empty-list notice. It
puts the drives back, walks the page with Tab and Shift+Tab, picks F: with the arrow keys,
presses Space on "Install", which asks first on a page of the window (F:, the files it holds,
that they may be lost): Escape, Enter and "Cancel" each go back to the list, "Continue" goes on
(the progress page and its timer; the downloads go to a local proxy
that accepts them and never answers, so the page stays until the test moves on), presses Escape
and declines the question, moves on to the finish pages the way the install worker does
(message 1025), and closes the window with Enter or Escape. On every page no accessible name is
a control's internal name. It checks the texts of the expected language, the trace lines on
Wine's debug channel, and saves a screenshot of every page and of the focused list.

With --plant DLL --plant-names a,b,... the program runs from a folder of its own (a browser's
Downloads folder, say) that also holds DLL under each name, Wine loading those names native
first, as Windows loads a DLL that is not a known DLL: none of them may be loaded, at start-up or
later (the window, its accessibility tree and a download use them all but the installer's
signature check).

With --dpi 144 (or any dpi other than 96) the prefix's screen has that many dots per inch: the
window, its controls and the clicks scale by dpi / 96 (613 x 429 becomes 920 x 644 at 144), and
the screenshots are named wizard-<lang>-<dpi>dpi-<page>.png.

usage: wizard_e2e.py --exe W.exe --probe P.exe --lang es_ES.UTF-8 --prefix DIR
                     --screenshots DIR --root REPO --close enter|escape [--dpi 144]
The X display is a free one that Xvfb picks; the trace goes to <prefix>/trace.log.
"""
import argparse
import os
import shutil
import socket
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
from wine_e2e import (TITLE, Failure, check, wait_for, start_xvfb, stop_xvfb,  # noqa: E402
                      make_prefix, set_screen_dpi, restart_wineserver, probe_rows, screenshot,
                      trace_lines)
ROLE_LISTITEM = 34
STATE_UNAVAILABLE = 0x1
STATE_FOCUSED = 0x4
# Wine reads a label file in the Unix code page, which a missing locale leaves at ASCII: the odd
# characters here are ASCII ones.
LABELS = {"e": "RESCUE", "f": "R&D <x> #1"}

TEXTS = {
    "en": {"StartButton": "Start", "DriveTitle": "USB drive selection", "NoDriveNotice":
           "No removable USB drive detected", "StatusLabel": "Downloading",
           "FinishTitle_ok": "Rescue USB drive created correctly",
           "FinishTitle_error": "Could not install the rescue USB drive",
           "WindowFrame": "Create Tovix Scourlet rescue USB drive", "DriveList": "USB drive",
           "DrivePicture": "USB stick", "ProgressBar": "Progress", "ErrorPicture": "Error",
           "stop_question": "Stop creating the rescue USB drive",
           "ConfirmTitle": "Files on this drive may be lost", "holds": "It holds %d files (%s).",
           "CancelButton": "Cancel", "ContinueButton": "Continue"},
    "es": {"StartButton": "Comenzar", "DriveTitle": "Selecciona unidad USB", "NoDriveNotice":
           "No se ha detectado ninguna unidad USB", "StatusLabel": "Descargando",
           "FinishTitle_ok": "USB de an\u00e1lisis generado correctamente",
           "FinishTitle_error": "No se ha instalado el an\u00e1lisis autoarrancable",
           "WindowFrame": "Asistente para el USB de an\u00e1lisis de Tovix Scourlet",
           "DriveList": "Unidad USB", "DrivePicture": "Llave USB", "ProgressBar": "Progreso",
           "ErrorPicture": "Error",
           "stop_question": "Dejar de crear el USB",
           "ConfirmTitle": "Los archivos de esta unidad pueden perderse",
           "holds": "Contiene %d archivos (%s).", "CancelButton": "Cancelar",
           "ContinueButton": "Continuar"},
}
# What F: holds, which the question before a build counts: (path, bytes).
F_FILES = [("notes.txt", 2000), ("Photos/a.jpg", 1200000), ("Photos/2019/b.jpg", 345678)]


class SilentProxy:
    """Accepts connections on 127.0.0.1 and keeps them open without answering."""

    def __init__(self):
        self.server = socket.socket()
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(8)
        self.port = self.server.getsockname()[1]

    def close(self):
        self.server.close()


class Wizard:
    def __init__(self, args):
        self.args = args
        self.env = dict(os.environ, WINEPREFIX=args.prefix,
                        LANG=args.lang, LC_ALL=args.lang, WINEARCH="win64",
                        WINEDLLOVERRIDES="mscoree,mshtml=", WINEDEBUG="-all")
        self.drives = os.path.join(args.prefix, "test-drives")
        self.devices = {}

    def wine(self, *command, timeout=120):
        return subprocess.run(["wine", *command], env=self.env, capture_output=True,
                              timeout=timeout)

    # --- the prefix and its drives ---
    def prepare_prefix(self):
        make_prefix(self.env)
        for letter, kind in (("d", "hd"), ("e", "floppy"), ("f", "floppy")):
            os.makedirs(os.path.join(self.drives, letter), exist_ok=True)
            # Wine reads the label of a folder-backed drive from this file.
            if letter in LABELS:
                with open(os.path.join(self.drives, letter, ".windows-label"), "w",
                          encoding="utf-8") as label:
                    label.write(LABELS[letter])
            if letter == "f":
                for path, size in F_FILES:
                    os.makedirs(os.path.dirname(os.path.join(self.drives, "f", path)),
                                exist_ok=True)
                    with open(os.path.join(self.drives, "f", path), "wb") as f:
                        f.write(b"x" * size)
            self.link(letter)
            self.wine("reg", "add", "HKLM\\Software\\Wine\\Drives", "/v", letter + ":", "/t",
                      "REG_SZ", "/d", kind, "/f")
        set_screen_dpi(self.env, self.args.dpi)
        restart_wineserver(self.env)  # drive types and the dpi are read when it starts

    def link(self, letter):
        link = os.path.join(self.args.prefix, "dosdevices", letter + ":")
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(os.path.join(self.drives, letter), link)

    # A running Wine process keeps the drive letters it has seen as long as the letter's object
    # exists, so pulling a stick is done where the platform does it: in the object namespace.
    def unplug(self, letter):
        result = self.wine(self.args.probe, "unplug", letter + ":")
        check(result.returncode == 0, "removing drive " + letter)
        self.devices[letter] = result.stdout.decode().strip()

    def plug(self, letter):
        check(self.wine(self.args.probe, "plug", letter + ":",
                        self.devices[letter]).returncode == 0, "adding drive " + letter)

    # What the system broadcasts when a volume comes or goes.
    def device_change(self, letter, what):
        check(self.wine(self.args.probe, "devicechange", letter + ":", what).returncode == 0,
              "telling the windows that %s: had its %s" % (letter, what))

    def item(self, letter):
        """The drive list's line for a drive: name, label and size from the folder behind it."""
        return "%s:  %s  %s" % (letter.upper(), LABELS[letter], self.size(letter))

    def size(self, letter):
        # Spanish and German write a decimal comma, English a point.
        mark = "." if self.args.lang.startswith("en") else ","
        shown = {}
        for row in self.dump():
            if row["role"] == ROLE_LISTITEM and row["text"].startswith(letter.upper() + ":"):
                shown = row["text"].rsplit("  ", 1)[-1]
        stat = os.statvfs(os.path.join(self.drives, letter))
        total = stat.f_blocks * stat.f_frsize
        number, unit = (shown.split(" ") + [""])[:2] if shown else ("", "")
        check(unit == ("GB" if total >= 999950000 else "MB") and mark in number,
              "size of %s: %r" % (letter, shown))
        value = float(number.replace(mark, ".")) * (1e9 if unit == "GB" else 1e6)
        check(abs(value - total) <= (0.05e9 if unit == "GB" else 0.05e6),
              "size of %s: %r for %d bytes" % (letter, shown, total))
        return shown

    def holds(self, letter, line):
        """The question's line on what a drive holds, counted from the folder behind it."""
        files = sizes = 0
        for folder, _, names in os.walk(os.path.join(self.drives, letter)):
            for name in names:
                files += 1
                sizes += os.path.getsize(os.path.join(folder, name))
        mark = "." if self.args.lang.startswith("en") else ","
        tenths = (sizes + 50000) // 100000
        size = "< 0%s1 MB" % mark if sizes < 100000 else "%d%s%d MB" % (tenths // 10, mark,
                                                                        tenths % 10)
        return line % (files, size)

    # The wizard's downloads go through the proxy that Wine's internet library takes from
    # http_proxy when the user's own proxy switch is off.
    def use_proxy(self, port):
        key = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"
        self.wine("reg", "add", key, "/v", "ProxyEnable", "/t", "REG_DWORD", "/d", "0", "/f")
        self.env["http_proxy"] = "http://127.0.0.1:%d" % port

    # --- the window ---
    def start(self):
        self.trace = open(os.path.join(self.args.prefix, "trace.log"), "w")
        env = dict(self.env, WINEDEBUG="-all,+debugstr")
        self.process = subprocess.Popen(["wine", self.args.exe], env=env,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=self.trace)
        # Shown once created, just before the message loop runs: only then is it asked anything.
        self.wait_for(lambda: subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--name", TITLE], env=self.env,
            capture_output=True).returncode == 0, "the window to be shown")
        self.wait_for(lambda: "WindowFrame" in self.controls(), "the window to answer")

    @property
    def lang(self):
        return "es" if self.args.lang.startswith("es") else "en"

    def dump(self):
        return probe_rows(self.env, self.args.probe)

    def controls(self):
        return {row["name"]: row for row in self.dump() if row["role"] != ROLE_LISTITEM}

    def drive_items(self):
        return [row["text"] for row in self.dump() if row["role"] == ROLE_LISTITEM]

    def wait_for(self, condition, what, timeout=60):
        wait_for(condition, what, timeout, interval=0.5, shows=lambda: " ".join(
            row["name"] + "=" + repr(row["text"]) for row in self.dump()))

    def click(self, name):
        x, y, w, h = self.controls()[name]["location"]
        subprocess.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "1"],
                       env=self.env, check=True)

    def click_item(self, text):
        row = next(row for row in self.dump() if row["role"] == ROLE_LISTITEM and row["text"] == text)
        x, y, w, h = row["location"]
        subprocess.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "1"],
                       env=self.env, check=True)

    def key(self, name):
        """A real key press on the window, as X delivers it."""
        window = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", TITLE],
                                env=self.env, capture_output=True, check=True).stdout.split()[0]
        subprocess.run(["xdotool", "windowfocus", "--sync", window, "key", name],
                       env=self.env, check=True)

    def focused(self):
        """The control that assistive technology reads as focused, or None."""
        return next((row["name"] for row in self.dump()
                     if row["state"] & STATE_FOCUSED and row["name"]), None)

    def tab_to(self, key, name):
        self.key(key)
        self.wait_for(lambda: self.focused() == name, "%s after %s" % (name, key))

    def check_names(self, page):
        """What a reader says is what the user sees: a name for every child, never a control's."""
        rows = self.dump()
        internal = {row["name"].split(" ")[0] for row in rows}
        for row in rows:
            check(row["text"] and row["text"] not in internal,
                  "%s: the accessible name of %s is %r" % (page, row["name"], row["text"]))

    def question_shown(self, title):
        # Searched by an ASCII part of the title: xdotool matches a regular expression.
        return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title],
                              env=self.env, capture_output=True).returncode == 0

    def post_state(self, index):
        check(self.wine(self.args.probe, "post", TITLE, str(index)).returncode == 0,
              "posting message 1025")

    def screenshot(self, page):
        frame = self.controls()["WindowFrame"]["location"]
        dpi = "" if self.args.dpi == 96 else "%ddpi-" % self.args.dpi
        screenshot(self.env, frame, os.path.join(self.args.screenshots,
                                                 "wizard-%s-%s%s.png" % (self.lang, dpi, page)))

    def text(self, name):
        return self.controls().get(name, {}).get("text")

    def value(self, name):
        return self.controls().get(name, {}).get("value")


def run(args):
    texts = TEXTS["es" if args.lang.startswith("es") else "en"]
    wizard = Wizard(args)
    wizard.prepare_prefix()
    proxy = SilentProxy()
    wizard.use_proxy(proxy.port)
    planted = plant_libraries(wizard, args) if args.plant else []
    xvfb = start_xvfb()
    try:
        wizard.env["DISPLAY"] = xvfb.display
        wizard.start()
        c = wizard.controls()
        check(c["WindowFrame"]["text"] == texts["WindowFrame"], "title: " + c["WindowFrame"]["text"])
        # The window and every control scale with the screen's dpi (rounded as the system does).
        scaled = lambda v: (v * args.dpi + 48) // 96
        check(c["WindowFrame"]["location"][2:] == [scaled(613), scaled(429)],
              "window size %s at %d dpi" % (c["WindowFrame"]["location"][2:], args.dpi))
        frame_x, frame_y = c["WindowFrame"]["location"][:2]
        start = c["StartButton"]["location"]
        check(abs(start[0] - frame_x - scaled(244)) <= 1 and abs(start[1] - frame_y - scaled(371)) <= 1
              and abs(start[2] - scaled(124)) <= 1, "Start button at %s" % start)
        check(c["StartButton"]["text"] == texts["StartButton"], "Start button: " + c["StartButton"]["text"])
        check("DriveTitle" not in c and "InstallButton" not in c, "only the welcome page shows")
        wizard.check_names("welcome")
        wizard.screenshot("1-welcome")

        # The keyboard: Tab reaches "Start", Shift+Tab goes round to the close box and back,
        # Space presses it.
        wizard.tab_to("Tab", "StartButton")
        wizard.tab_to("shift+Tab", "CloseBox")
        wizard.tab_to("shift+Tab", "StartButton")
        wizard.key("space")
        wizard.wait_for(lambda: "DriveTitle" in wizard.controls(), "the drive-selection page")
        c = wizard.controls()
        check("WelcomeTitle" not in c, "the welcome page is hidden")
        check(c["DriveTitle"]["text"] == texts["DriveTitle"], "drive page title")
        e, f = wizard.item("e"), wizard.item("f")
        check(wizard.drive_items() == [e, f], "removable drives: %s" % wizard.drive_items())
        check(c["DriveList"]["value"] == e, "first drive selected")
        check(c["DriveList"]["text"] == texts["DriveList"], "the list's name")
        check(c["DrivePicture"]["text"] == texts["DrivePicture"], "the picture's name")
        check("NoDriveNotice" not in c, "no notice while drives are listed")
        check(not c["InstallButton"]["state"] & STATE_UNAVAILABLE, "Install enabled")
        wizard.check_names("drive selection")
        wizard.screenshot("2-drives")

        # Choose F: in the open list; a refresh selects the first drive again.
        wizard.click("DriveList")
        wizard.click_item(f)
        wizard.wait_for(lambda: wizard.value("DriveList") == f, "F: chosen")
        wizard.click("RefreshLink")
        wizard.wait_for(lambda: wizard.value("DriveList") == e, "E: again")
        check(wizard.drive_items() == [e, f], "the list after a refresh")

        # The system's notices alone keep the list up to date, keeping the chosen drive.
        wizard.click("DriveList")
        wizard.click_item(f)
        wizard.wait_for(lambda: wizard.value("DriveList") == f, "F: chosen again")
        wizard.unplug("e")
        wizard.device_change("e", "removal")
        wizard.wait_for(lambda: wizard.drive_items() == [f], "the list after E: was pulled out")
        wizard.plug("e")
        wizard.device_change("e", "arrival")
        wizard.wait_for(lambda: wizard.drive_items() == [e, f], "the list after E: came back")
        check(wizard.value("DriveList") == f, "F: still chosen: %r" % wizard.value("DriveList"))
        wizard.unplug("f")
        wizard.device_change("f", "removal")
        wizard.wait_for(lambda: wizard.drive_items() == [e], "the list after F: was pulled out")
        check(wizard.value("DriveList") == e, "the first drive once F: is gone")
        wizard.unplug("e")
        wizard.device_change("e", "removal")
        wizard.wait_for(lambda: "NoDriveNotice" in wizard.controls(), "the empty-list notice")
        c = wizard.controls()
        check(wizard.drive_items() == [], "empty list")
        check(c["NoDriveNotice"]["text"] == texts["NoDriveNotice"], "notice: " + c["NoDriveNotice"]["text"])
        check(c["InstallButton"]["state"] & STATE_UNAVAILABLE, "Install disabled without drives")
        check(c["DriveList"]["state"] & STATE_UNAVAILABLE, "list disabled without drives")
        wizard.screenshot("3-no-drive")

        # Refresh still lists what is there.
        wizard.plug("e")
        wizard.plug("f")
        wizard.click("RefreshLink")
        wizard.wait_for(lambda: wizard.drive_items() == [e, f], "the list after a refresh")

        # Tab order on the page: the list, Refresh, Install, the close box; the arrows choose the
        # drive; Space presses "Install".
        wizard.tab_to("Tab", "DriveList")
        wizard.key("Down")
        wizard.wait_for(lambda: wizard.value("DriveList") == f, "F: chosen with the arrow key")
        wizard.screenshot("2-drives-focused")
        wizard.tab_to("Tab", "RefreshLink")
        wizard.tab_to("Tab", "InstallButton")
        wizard.tab_to("Tab", "CloseBox")
        wizard.tab_to("shift+Tab", "InstallButton")
        wizard.key("space")

        # "Install" asks first, in the window: the drive, what it holds, that it may be lost.
        # Escape, Enter and "Cancel" each go back to the list; only "Continue" goes on.
        for answer in ("Escape", "Return", "CancelButton", "ContinueButton"):
            if answer != "Escape":
                wizard.click("InstallButton")
            wizard.wait_for(lambda: "ConfirmTitle" in wizard.controls(), "the question")
            c = wizard.controls()
            check("DriveTitle" not in c and "InstallButton" not in c, "the question replaces the list")
            check(c["ConfirmTitle"]["text"] == texts["ConfirmTitle"], "question: %r" % c["ConfirmTitle"]["text"])
            check(c["ConfirmDrive"]["text"] == f, "the drive asked about: %r" % c["ConfirmDrive"]["text"])
            check(c["ConfirmContents"]["text"] == wizard.holds("f", texts["holds"]),
                  "what F: holds: %r" % c["ConfirmContents"]["text"])
            check("ConfirmDiskWarning" not in c, "a removable drive gets no USB-disk warning")
            check(c["CancelButton"]["text"] == texts["CancelButton"] and
                  c["ContinueButton"]["text"] == texts["ContinueButton"], "the question's buttons")
            if answer == "Escape":
                wizard.check_names("question")
                wizard.screenshot("3-confirm")
            if answer.endswith("Button"):
                wizard.click(answer)
            else:
                wizard.key(answer)
            if answer != "ContinueButton":
                wizard.wait_for(lambda: "DriveTitle" in wizard.controls(),
                                "the drive list after %s" % answer)
                check("ConfirmTitle" not in wizard.controls() and wizard.value("DriveList") == f,
                      "back on the list with F: chosen after %s" % answer)
        wizard.wait_for(lambda: "ProgressTitle" in wizard.controls(), "the progress page")
        wizard.wait_for(lambda: wizard.text("StatusLabel") == texts["StatusLabel"], "the status line")
        # 33 in the description; entering the page sets 0, and the stalled download adds nothing.
        check(wizard.controls()["ProgressBar"]["value"] == "0",
              "progress bar starts at 0: %r" % wizard.controls()["ProgressBar"]["value"])
        check(wizard.controls()["ProgressBar"]["text"] == texts["ProgressBar"], "the bar's name")
        wizard.check_names("progress")
        wizard.screenshot("4-progress")

        # Escape during the build asks first; "No" keeps it running.
        wizard.key("Escape")
        wizard.wait_for(lambda: wizard.question_shown(texts["stop_question"]), "the question")
        subprocess.run(["xdotool", "key", "n"], env=wizard.env, check=True)
        wizard.wait_for(lambda: not wizard.question_shown(texts["stop_question"]),
                        "the question answered")
        check("ProgressTitle" in wizard.controls(), "the build goes on after No")

        wizard.post_state(7)  # not a state: nothing changes
        wizard.post_state(3)
        wizard.wait_for(lambda: "FinishTitle" in wizard.controls(), "the success page")
        c = wizard.controls()
        check("ProgressTitle" not in c, "the progress page is hidden")
        check(c["FinishTitle"]["text"] == texts["FinishTitle_ok"], "success title: " + c["FinishTitle"]["text"])
        check("SuccessPicture" in c and "ErrorPicture" not in c, "success picture")
        wizard.screenshot("5-finished")
        wizard.post_state(4)
        wizard.wait_for(lambda: wizard.text("FinishTitle") == texts["FinishTitle_error"], "error page")
        check("ErrorPicture" in wizard.controls() and "SuccessPicture" not in wizard.controls(),
              "error picture")
        check(wizard.controls()["ErrorPicture"]["text"] == texts["ErrorPicture"], "picture name")
        wizard.check_names("finish")
        wizard.screenshot("6-error")

        # Nothing has the focus on a new page: Enter presses its default button, "Close";
        # Escape is the close box.
        wizard.key("Return" if args.close == "enter" else "Escape")
        check(wizard.process.wait(timeout=60) == 0, "exit code 0")
    finally:
        if wizard.__dict__.get("process") and wizard.process.poll() is None:
            wizard.process.kill()
        subprocess.run(["wineserver", "-k"], env=wizard.env)
        stop_xvfb(xvfb)
        proxy.close()
    wizard.trace.close()
    check_trace(os.path.join(args.prefix, "trace.log"), args.close)
    loaded = [name for name in planted if os.path.exists(name + ".loaded")]
    check(not loaded, "planted libraries loaded: %s" % loaded)


def plant_libraries(wizard, args):
    """Copies the program into a folder beside DLLs named like its libraries; returns their
    paths."""
    folder = os.path.join(args.prefix, "downloads")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    args.exe = shutil.copy(args.exe, folder)
    names = args.plant_names.split(",")
    planted = [shutil.copy(args.plant, os.path.join(folder, name + ".dll")) for name in names]
    wizard.env["WINEDLLOVERRIDES"] += ";" + ",".join(names) + "=n,b"
    return planted


def check_trace(path, close):
    lines = trace_lines(path)
    ticks = lines.count("TForm1::TProgressTimerTimer\\n")
    check(ticks > 0, "timer ticks traced")
    # Every tick asks the machine, which writes its own line.
    check(lines.count("USBWizardSM::GetProgressInfo\\n") == ticks, "one GetProgressInfo per tick")
    click = "TForm1::HudWindow1CloseClick\\n" if close == "escape" else "TForm1::Button3Click\\n"
    tail = [line for line in lines if "Timer" not in line and "GetProgressInfo" not in line]
    # Escape during the build was the close box too, declined at the question.
    check(tail == ["TForm1::HudWindow1CloseClick\\n", click, "TForm1::FormClose\\n",
                   "USBWizardSM::Finish\\n"],
          "closing lines: %s" % tail)


def main():
    parser = argparse.ArgumentParser()
    for option in ("exe", "probe", "lang", "prefix", "screenshots", "root", "close"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--dpi", type=int, default=96)
    parser.add_argument("--plant")
    parser.add_argument("--plant-names", default="")
    args = parser.parse_args()
    os.makedirs(args.screenshots, exist_ok=True)
    os.makedirs(args.prefix, exist_ok=True)
    if shutil.which("Xvfb") is None or shutil.which("xdotool") is None:
        print("Xvfb and xdotool are needed (scripts/setup installs them)")
        return 1
    try:
        run(args)
    except Failure as failure:
        print("FAILED:", failure)
        return 1
    print("passed; screenshots in", args.screenshots)
    return 0


if __name__ == "__main__":
    sys.exit(main())
