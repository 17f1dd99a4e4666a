#!/usr/bin/env python3
"""End-to-end runs of the rescue-drive build: the real wizard under Wine on its own X display,
real clicks (xdotool), the stand-in rescue-disk server on loopback and the stand-in installer,
writing onto a virtual removable drive E: of a Wine prefix of the test's own.

Every scenario builds the served archives (with its fault, if any), starts the server on the
port of the wizard's build setting, clicks Start, Install and Continue (on the question Install asks first), and checks what the build left:
the finish page (success or error picture; with the probe, the error page's reason line and the
log's place it names), the build's log (its events for the scenario, one time-stamped line each),
the drive's contents byte for byte, the working folder (gone once the finish page shows), the
server's request log and the timer's trace lines.
Closing mid-build answers the program's question box (found by its translated title): yes must
end the program with the installer, the download's connection and the working folder gone; no
must leave the build to finish. The pages' buttons share one place in the window; the window is
found by its title.

usage: builder_e2e.py --scenario NAME --exe W.exe --archives-tool A.exe --installer I.exe
                      --signing-dir DIR --server-host 127.0.0.1:PORT
                      --prefix DIR --screenshots DIR
                      [--probe=wizard_probe.exe]
With the window's accessibility probe, the status line and the finish page's title are read as
texts too (in the run's language). The X display is a free one that Xvfb picks.
Also usable as a module: the demo script drives the wizard with the same helpers.
"""
import argparse
import filecmp
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
from wine_e2e import (ROOT, TITLE, Failure, check, wait_for, start_xvfb,  # noqa: E402
                      stop_xvfb, make_prefix, set_screen_dpi, restart_wineserver, probe_rows,
                      window_rect, screenshot, pixels, trace_lines)
BUTTON = (306, 385)     # Start, Install and Close, each on its own page
CONTINUE = (444, 385)   # "Continue" on the question that Install asks first
CLOSE_BOX = (588, 23)
PICTURE = (306, 205)    # centre of the finish page's picture
# The finish pages' own buttons: "Try again" (error page) and "Safely remove" (success page) share
# the place left of Close; "Make another" is right of it; the log's two actions are above them.
TRY_AGAIN = SAFELY_REMOVE = (170, 385)
MAKE_ANOTHER = (442, 385)
OPEN_LOG = (242, 345)
COPY_LOG = (371, 345)
BAR = (79, 291, 455)    # the progress bar's inner row: left end, height, width for 100 %
RESCUE_TREE = os.path.join(ROOT, "standins", "rescue_disk")

TEXTS = {
    "en": dict(downloading="Downloading", installing="Installing the rescue USB drive",
               steps=["Step %d of 3: " % n + s for n, s in
                      enumerate(("downloading", "unpacking", "installing"), 1)],
               figures=r"\d+ of \d+ KB  \u00b7  \d+ KB/s  \u00b7  \d+ s left",
               ok="Rescue USB drive created correctly",
               error="Could not install the rescue USB drive",
               stop="Stop creating the rescue USB drive?", details="Details in ",
               copied="Copied to the clipboard: ",
               eject="This computer cannot eject E:. Unplug it once its light stops blinking."),
    "es": dict(downloading="Descargando", installing="Creando an\u00e1lisis autoarrancable en USB",
               steps=["Paso %d de 3: " % n + s for n, s in
                      enumerate(("descargando", "descomprimiendo", "instalando"), 1)],
               figures=r"\d+ de \d+ KB  \u00b7  \d+ KB/s  \u00b7  quedan \d+ s",
               ok="USB de an\u00e1lisis generado correctamente",
               error="No se ha instalado el an\u00e1lisis autoarrancable",
               stop="\u00bfDejar de crear el USB de an\u00e1lisis autoarrancable?",
               details="Detalles en ", copied="Copiado al portapapeles: ",
               eject="Este equipo no puede expulsar E:. Descon\u00e9ctala cuando su luz deje de "
                     "parpadear."),
}

# The stages a run can hold until it has seen them at work.
HELD = ("downloads", "installer")

# name: archive options, server options, expected finish ("ok", "error" or "closed"), and the
# requests the server sees ("<archive> <status>", "cut" when the wizard went away mid-body).
# Closing mid-build asks first: "closed" scenarios answer yes; "decline" ones close, answer no
# and let the build finish. A failed build names its reason (the error page's line; the log has
# it in English, `logged` when the run is Spanish) and the build's log holds the texts in `log`
# ("URL" stands for the rescue-disk server's path).
# The manifest and its signature come first (expected_requests); `requests` are the archives'.
MANIFEST = ["rescuedisk.manifest 200", "rescuedisk.manifest.p7s 200"]
BOTH = ["scanner.zip 200", "system.zip 200"]
DOWNLOADED = ["download ended: URL/scanner.zip: complete, HTTP status 200",
              "download ended: URL/system.zip: complete, HTTP status 200"]
CHECKED = ["manifest signature: trusted",
           "manifest: release 7 of 2026-12-01, highest accepted on this computer ",
           "archive matches the manifest: scanner.zip: ",
           "archive matches the manifest: system.zip: "]
UNPACKED = DOWNLOADED + CHECKED + ["unpacking ended: scanner.zip", "unpacking ended: system.zip",
                         "unpacked: ColdInstall.exe ("]
SCENARIOS = {
    # 100 KB/s: the download lasts a few seconds, so that a probe slowed by a loaded machine still
    # sees its status line.
    "success": dict(hold=HELD, finish="ok", requests=BOTH,
                    log=UNPACKED + ["free space: ", "installer signature: trusted",
                                    "ColdInstall.exe\" /S /PE:", "installer ended: exit code 1 ",
                                    "accepted release on this computer: 7",
                                    "build succeeded"]),
    "spanish": dict(lang="es_ES.UTF-8", hold=HELD, finish="ok", requests=BOTH,
                    log=UNPACKED + ["build succeeded"]),
    # Nothing listens on the server's port.
    "no-server": dict(no_server=True, finish="error", requests=[],
                      reason="Download: the server could not be reached.",
                      log=["download failed: URL/rescuedisk.manifest: server unreachable, "
                           "HTTP status 0"]),
    "missing-scanner": dict(server=["--missing", "scanner.zip"], finish="error",
                            requests=["scanner.zip 404"],
                            reason="Download: the server did not send scanner.zip (status 404).",
                            log=["download started: URL/scanner.zip",
                                 "download failed: URL/scanner.zip: refused by the server, "
                                 "HTTP status 404"]),
    "missing-system": dict(server=["--missing", "system.zip"], finish="error",
                           requests=["scanner.zip 200", "system.zip 404"],
                           reason="Download: the server did not send system.zip (status 404).",
                           log=DOWNLOADED[:1] + ["download failed: URL/system.zip: refused by "
                                                 "the server, HTTP status 404"]),
    "damaged": dict(archives=["--damage", "system.zip"], finish="error", requests=BOTH,
                    reason="Unpacking: the archive system.zip is damaged.",
                    log=DOWNLOADED + ["unpacking ended: scanner.zip",
                                      "unpacking failed: system.zip: entry damaged: "]),
    # In Spanish: the page's line is translated (and long enough to wrap), the log stays English.
    "climbing": dict(lang="es_ES.UTF-8", archives=["--climb", "system.zip"], finish="error",
                     requests=BOTH,
                     reason="Descompresi\u00f3n: se ha rechazado system.zip para proteger "
                            "este equipo, por su elemento ..\\escaped.txt",
                     logged="Unpacking: system.zip was refused to protect this computer, "
                            "because of its entry ..\\escaped.txt",
                     log=["unpacking failed: system.zip: entry refused: name leaves the folder: "
                          "..\\escaped.txt"]),
    # On a 144-dpi screen: the window and its clicks scale by 1.5, and the error page shows its
    # reason line at that scale (screenshots beside the 96-dpi ones).
    "damaged-144dpi": dict(dpi=144, archives=["--damage", "system.zip"], finish="error",
                           requests=BOTH, reason="Unpacking: the archive system.zip is damaged.",
                           log=DOWNLOADED + ["unpacking failed: system.zip: entry damaged: "]),
    "climbing-144dpi": dict(dpi=144, lang="es_ES.UTF-8", archives=["--climb", "system.zip"],
                            finish="error", requests=BOTH,
                            reason="Descompresi\u00f3n: se ha rechazado system.zip para "
                                   "proteger este equipo, por su elemento ..\\escaped.txt",
                            logged="Unpacking: system.zip was refused to protect this "
                                   "computer, because of its entry ..\\escaped.txt",
                            log=["unpacking failed: system.zip: entry refused: name leaves the "
                                 "folder: ..\\escaped.txt"]),
    "cut-archive": dict(archives=["--cut", "scanner.zip"], finish="error", requests=BOTH,
                        reason="Unpacking: the archive scanner.zip is damaged.",
                        log=DOWNLOADED + ["unpacking failed: scanner.zip: archive cut short"]),
    # The program lacks its extraction library: the build ends before downloading, and the page
    # blames the program, not the working folder.
    "no-library": dict(patch_library=True, finish="error", requests=[],
                       reason="Unpacking: the extraction library could not be loaded.",
                       advice="Download this program again from its publisher and run the new "
                              "copy.",
                       log=["the extraction library could not be written into the working "
                            "folder"]),
    "installer-fails": dict(archives=["--no-rescue-system"], finish="error", requests=BOTH,
                            reason="Installing: the installer failed (code 0).",
                            advice="Use another USB drive, or check this one in another "
                                   "computer, then click Try again.",
                            log=UNPACKED + ["free space: ", "installer signature: trusted",
                                            "installer ended: exit code 0 (0x00000000)"]),
    "installer-broken": dict(archives=["--broken-installer"], finish="error", requests=BOTH,
                             reason="Installing: the installer is not authentic.",
                             log=UNPACKED + ["installer signature: not trusted"]),
    # The archives carry the stand-in installer unsigned, or signed by a key the build does not
    # pin: it never starts, and the drive stays empty.
    "installer-unsigned": dict(installer_signer=None, finish="error", requests=BOTH,
                               reason="Installing: the installer is not authentic.",
                               log=["installer signature: not trusted", "installer not run"]),
    "installer-other-signer": dict(installer_signer="other_signer", finish="error",
                                   requests=BOTH,
                                   reason="Installing: the installer is not authentic.",
                                   log=["installer signature: signed by a signer that is not "
                                        "pinned"]),
    # Another process made the installer's event first, as another build would: the build
    # downloads and unpacks, then refuses to run the installer.
    "another-build": dict(hold_event=True, finish="error", requests=BOTH,
                          reason="Installing: another build is running.",
                          advice="Close the other program that is creating a rescue USB drive, "
                                 "then click Try again.",
                          log=UNPACKED + ["installer not run: COLDINSTALL_EVENT is held"]),
    # scanner.zip is held half-way: it is still under way when the window closes.
    "close-mid-download": dict(hold=["downloads"], finish="closed",
                               requests=["scanner.zip 200", "scanner.zip cut"]),
    "close-mid-install": dict(hold=["installer"], finish="closed",
                              requests=BOTH),
    # A rescue system with a 1 GiB image served at full speed: the build succeeds, and the
    # program's peak memory (the wine process's VmHWM) stays within the unpacking's bound: the
    # archive is mapped and its passed pages released, entries stream into their files.
    "large-system": dict(archives=["--large-entry", "1024", "--installer-pause", "250"],
                         finish="ok", requests=BOTH,
                         peak_mib=128, log=UNPACKED + ["unpacked: large.img (1073741824 bytes)",
                                                       "build succeeded"]),
    "close-declined": dict(lang="es_ES.UTF-8", hold=["downloads"], decline=True,
                           finish="ok", requests=BOTH),
    # Each archive's first answer breaks off after 10000 bytes: the download resumes with a
    # range request, the bar never goes back and the drive gets the whole rescue system.
    "resume-dropped": dict(hold=HELD, server=["--drop", "10000"], finish="ok",
                           requests=[r for name in ("scanner.zip", "system.zip")
                                     for r in (name + " 200", name + " dropped", name + " 206")],
                           log=["download ended: URL/%s: complete, HTTP status 206, " % name
                                for name in ("scanner.zip", "system.zip")] +
                               ["error 0, resumes 1, "] + CHECKED[2:] + ["build succeeded"]),
    # 20 KB/s: each archive takes some fifteen seconds, long enough, even for a probe slowed by
    # a loaded machine, to read the progress page's figures (amount, speed, time left) beside
    # its step; in English at 96 dpi and in Spanish at 144.
    "figures": dict(archives=["--installer-pause", "250"], server=["--rate", "20000"],
                    finish="ok", requests=BOTH, figures=True, log=["build succeeded"]),
    "figures-es-144dpi": dict(lang="es_ES.UTF-8", dpi=144, archives=["--installer-pause", "250"],
                              server=["--rate", "20000"], finish="ok", requests=BOTH,
                              figures=True, log=["build succeeded"]),
    # scanner.zip's first two answers stall after 20000 bytes: the page says it waits for the
    # server once nothing has come for a few seconds, and names the resume it is on once the
    # download engine gave up on the first answer (after its minute without a byte).
    "stall": dict(server=["--rate", "100000", "--stall", "20000", "--faults", "2"],
                  finish="closed", watch=["Waiting for the server",
                                          "Waiting for the server, try 1 of 3"],
                  requests=["scanner.zip 200", "scanner.zip stalled", "scanner.zip 206",
                            "scanner.zip stalled"]),
    # The signed manifest: each archive must match it, it must be signed by the pinned signer,
    # and its release must not be lower than the highest one this computer accepted (set here
    # beforehand, as an earlier build would have); every failure ends before unpacking.
    "tampered": dict(server=["--tamper", "system.zip"], finish="error", requests=BOTH,
                     reason="Download: the download of system.zip is not authentic.",
                     log=CHECKED[:3] + ["not authentic: system.zip: "]),
    "manifest-other-signer": dict(server=["--manifest-signer", "other_signer"], finish="error",
                                  requests=[],
                                  reason="Download: the download of rescuedisk.manifest is not "
                                         "authentic.",
                                  log=["not authentic: rescuedisk.manifest: signed by a signer "
                                       "that is not pinned"]),
    "manifest-wrong-size": dict(server=["--manifest-mismatch", "size"], finish="error",
                                requests=["scanner.zip 200"],
                                reason="Download: the download of scanner.zip is not authentic.",
                                log=CHECKED[:2] + ["not authentic: scanner.zip: "]),
    "manifest-wrong-hash": dict(server=["--manifest-mismatch", "hash"], finish="error",
                                requests=["scanner.zip 200"],
                                reason="Download: the download of scanner.zip is not authentic.",
                                log=CHECKED[:2] + ["not authentic: scanner.zip: "]),
    "older-release": dict(accepted_before=8, finish="error", requests=[],
                          reason="Download: the rescue system is older than the one already "
                                 "used on this computer.",
                          log=["manifest: release 7 of 2026-12-01, highest accepted on this "
                               "computer 8", "manifest refused: "]),
    "no-manifest": dict(server=["--no-manifest"], finish="error", requests=[],
                        manifest=["rescuedisk.manifest 404"],
                        reason="Download: the download of rescuedisk.manifest is not authentic.",
                        log=["not authentic: rescuedisk.manifest: the server has none"]),
    # The manifest announces more than the working folder's volume holds: no download starts.
    "no-room": dict(server=["--manifest-mismatch", "huge"], finish="error", requests=[],
                    reason="Unpacking: not enough free space on C:.",
                    log=CHECKED[:2] + ["free space before scanner.zip: ",
                                       " bytes on C:, 4611686018427387904 needed"]),
    # The server is down for the first build: the error page says what to do, copies the log's
    # place and opens the log in the user's viewer. With the server up, "Try again" builds again
    # in the same run, to a success; there "Safely remove" says what became of the drive (Wine
    # cannot eject one) and "Make another" returns to the drive page.
    "try-again": dict(no_server=True, again=True, finish="error", requests=[],
                      reason="Download: the server could not be reached.",
                      advice="Check the internet connection, then click Try again.",
                      log=["download failed: URL/rescuedisk.manifest: server unreachable, "
                           "HTTP status 0"]),
    "try-again-144dpi": dict(dpi=144, lang="es_ES.UTF-8", no_server=True, again=True,
                             finish="error", requests=[],
                             reason="Descarga: no se ha podido conectar con el servidor.",
                             advice="Comprueba la conexi\u00f3n a Internet y pulsa Reintentar.",
                             logged="Download: the server could not be reached."),
}


def expected_requests(scenario):
    """What the server's log shows: the manifest files (or what became of them), then the
    archives; nothing when the build never reached the server."""
    if scenario.get("no_server") or scenario.get("patch_library"):
        return []
    return scenario.get("manifest", MANIFEST) + scenario["requests"]


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Prefix:
    """A Wine prefix with a removable drive E: backed by a folder of its own."""

    def __init__(self, path, lang=None, display=None, dpi=96):
        self.path = path
        self.dpi = dpi
        self.drive = os.path.join(path, "usb-e")
        self.env = dict(os.environ, WINEPREFIX=path, WINEDEBUG="-all", WINEARCH="win64",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        if lang:
            self.env.update(LANG=lang, LC_ALL=lang)
        if display:
            self.env["DISPLAY"] = display

    def prepare(self):
        make_prefix(self.env)
        os.makedirs(self.drive, exist_ok=True)
        link = os.path.join(self.path, "dosdevices", "e:")
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(self.drive, link)
        set_screen_dpi(self.env, self.dpi)  # every run sets it: the runs share the prefix
        restart_wineserver(self.env)
        for item in os.listdir(self.drive):
            path = os.path.join(self.drive, item)
            shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
        for folder in self.work_folders():
            shutil.rmtree(folder)
        for log in self.build_logs():
            os.remove(log)

    def build_logs(self):
        return glob.glob(os.path.join(self.path, "drive_c", "users", "*", "AppData", "Local",
                                      "USBWizard", "last-build.log"))

    def unix_path(self, windows):
        """The prefix's file for a C: path."""
        check(windows[:3].upper() == "C:\\", "a path on C: %r" % windows)
        return os.path.join(self.path, "drive_c", *windows[3:].split("\\"))

    def work_folders(self):
        # Each build's own, under %ProgramData% (the build's log has a folder of its own, which
        # stays).
        return glob.glob(os.path.join(self.path, "drive_c", "ProgramData", "USBWizard.*"))

    def wine(self, *command, **kwargs):
        return subprocess.run(["wine", *command], env=self.env, timeout=120, **kwargs)

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env)

    def accepted_release(self, release=None):
        """The release this computer accepted (None when none), after setting it to `release`
        (None: removing it) when asked to."""
        key = "HKLM\\Software\\USBWizard"
        if release is None:
            self.wine("reg", "delete", key, "/v", "AcceptedRelease", "/f", capture_output=True)
        else:
            self.wine("reg", "add", key, "/v", "AcceptedRelease", "/t", "REG_DWORD", "/d",
                      str(release), "/f", capture_output=True, check=True)
        return self.read_accepted_release()

    def read_accepted_release(self):
        out = self.wine("reg", "query", "HKLM\\Software\\USBWizard", "/v", "AcceptedRelease",
                        capture_output=True, text=True).stdout
        found = re.search(r"AcceptedRelease\s+REG_DWORD\s+0x([0-9a-fA-F]+)", out)
        return int(found.group(1), 16) if found else None


class Server:
    """The stand-in rescue-disk server with freshly built archives."""

    def __init__(self, prefix, archives_tool, installer, port, scratch, signing_dir,
                 archive_options=(), server_options=()):
        self.log = os.path.join(scratch, "requests.log")
        archives = os.path.join(scratch, "archives")
        os.makedirs(archives, exist_ok=True)
        prefix.wine(archives_tool, windows_path(archives), windows_path(installer),
                    windows_path(RESCUE_TREE), *archive_options, check=True,
                    capture_output=True)
        port_file = os.path.join(scratch, "port")
        self.process = subprocess.Popen(
            [sys.executable, os.path.join(ROOT, "standins", "rescue_server.py"), "--port",
             str(port), "--port-file", port_file, "--root", archives, "--log", self.log,
             "--sign", signing_dir, *server_options], stdout=subprocess.DEVNULL)
        wait_for(lambda: os.path.exists(port_file) or self.process.poll() is not None,
                 "the rescue-disk server", timeout=20)
        check(self.process.poll() is None, "the rescue-disk server could not take port %s" % port)

    def requests(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return ["%s %s" % (line.split()[1].rsplit("/", 1)[1], line.split()[2])
                    for line in f if line.strip()]

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=20)


class Wizard:
    """The wizard's window on an X display, driven with xdotool."""

    def __init__(self, prefix, exe, trace_path, probe=None):
        self.prefix = prefix
        self.probe = probe
        self.trace = open(trace_path, "w")
        env = dict(prefix.env, WINEDEBUG="-all,+debugstr")
        self.process = subprocess.Popen(["wine", exe], env=env, stdout=subprocess.DEVNULL,
                                        stderr=self.trace)
        wait_for(lambda: self.window() is not None or self.process.poll() is not None,
                 "the window to appear", timeout=120)
        check(self.process.poll() is None,
              "the wizard ended (exit code %s) before its window appeared" % self.process.poll())

    def window(self):
        return window_rect(self.prefix.env)

    # Offsets are in the window's 96-dpi layout; the window scales them with the screen's dpi.
    def at(self, offset):
        x, y, w, _ = self.window()
        scale = w / 613.0
        return x + round(offset[0] * scale), y + round(offset[1] * scale)

    def click(self, offset):
        x, y = self.at(offset)
        subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"],
                       env=self.prefix.env, check=True)

    def install(self, screenshot=None):
        """Clicks Install on the drive page, waits for the question it asks first (its
        "Continue" button drawn where the drive page has nothing), optionally saves a screenshot
        of it, and clicks Continue."""
        self.click(BUTTON)
        wait_for(lambda: self.pixel(CONTINUE) != self.pixel((CONTINUE[0], CONTINUE[1] - 30)),
                 "the question before the build", 60)
        if screenshot:
            self.screenshot(screenshot)
        self.click(CONTINUE)

    def screenshot(self, path):
        screenshot(self.prefix.env, self.window(), path)

    def pixel(self, offset):
        return pixels(self.prefix.env, self.at(offset) + (1, 1))[0]

    def controls(self):
        """Control name -> (accessible state, text), as assistive technology reads the window
        (needs the probe)."""
        return {row["name"]: (row["state"], row["text"])
                for row in probe_rows(self.prefix.env, self.probe)}

    def texts(self):
        return {name: text for name, (_, text) in self.controls().items()}

    def bar_percent(self):
        """The percentage the progress bar shows: its filled (blue) share."""
        left, row, width = BAR
        x, y = self.at((left, row))
        width = round(width * self.window()[2] / 613.0)  # the window's scale, as at() uses
        filled = sum(b > 150 and b > r + 60
                     for r, _, b in pixels(self.prefix.env, (x, y, width, 1)))
        return round(filled * 100 / width)

    def close_and_answer(self, title, yes):
        """Clicks the close box, waits for the question box titled `title` and answers it: the
        focus starts on Yes; Tab moves it to No; space presses the focused button."""
        self.click(CLOSE_BOX)
        # X may carry the title in a narrower encoding than Windows: the pattern lets any run of
        # characters stand for each non-ASCII one.
        pattern = "".join(".*" if ord(c) > 127 else "\\" + c if c in ".^$*+?()[]{}|\\" else c
                          for c in title)
        found = []

        def shown():
            found[:] = subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                                       "^%s$" % pattern],
                                      env=self.prefix.env, capture_output=True,
                                      text=True).stdout.split()
            return bool(found)
        wait_for(shown, "the question %r" % title, 30)
        keys = ["space"] if yes else ["Tab", "space"]
        subprocess.run(["xdotool", "windowfocus", "--sync", found[0], "key", "--delay", "200",
                        *keys], env=self.prefix.env, check=True)
        wait_for(lambda: not shown(), "the question to go", 30)

    def exited(self, timeout=60):
        try:
            return self.process.wait(timeout=timeout) == 0
        except subprocess.TimeoutExpired:
            return False
        finally:
            if self.process.poll() is None:
                self.process.kill()

    def trace_lines(self):
        self.trace.flush()
        return trace_lines(self.trace.name)


def rescue_files():
    files = {}
    for part in ("scanner", "system"):
        base = os.path.join(RESCUE_TREE, part, "rescue")
        for folder, _, names in os.walk(base):
            for name in names:
                path = os.path.join(folder, name)
                files[os.path.relpath(path, base)] = path
    return files


def drive_files(drive):
    found = set()
    for folder, _, names in os.walk(drive):
        for name in names:
            found.add(os.path.relpath(os.path.join(folder, name), drive))
    return found


def wizard_peak_mib():
    """The wizard's peak resident set so far (VmHWM of its Wine process), in MiB."""
    for status in glob.glob("/proc/[0-9]*/status"):
        try:
            with open(status) as f:
                fields = dict(line.split(":", 1) for line in f if ":" in line)
        except OSError:
            continue
        if fields.get("Name", "").strip() == "RescueDriveWiza" and "VmHWM" in fields:
            return int(fields["VmHWM"].split()[0]) // 1024
    return None


def installer_running():
    """Whether an installer started from a working folder still runs (Wine shows its Windows
    command line)."""
    listing = subprocess.run(["ps", "-eo", "args"], capture_output=True, text=True).stdout
    return any(re.search(r"USBWizard\.[0-9a-f]{32}\\ColdInstall\.exe", line)
               for line in listing.splitlines())


def without_library_resource(exe, folder):
    """A copy of the wizard whose "URAR" resource is renamed, so that the program cannot find
    it: resource names are length-prefixed UTF-16 strings in the resource directory."""
    data = open(exe, "rb").read()
    name = b"\x04\x00" + "URAR".encode("utf-16-le")
    check(data.count(name) == 1, "one URAR resource name in the program")
    copy = os.path.join(folder, "wizard-without-library.exe")
    with open(copy, "wb") as f:
        f.write(data.replace(name, b"\x04\x00" + "URAX".encode("utf-16-le")))
    return copy


def is_green(rgb):
    r, g, b = rgb
    return g > 120 and g > r + 40 and g > b + 40


def resigned(installer, signer, signing_dir, scratch):
    """The installer without its signature, then signed by `signer` of signing_dir if any."""
    unsigned = os.path.join(scratch, "unsigned", "ColdInstall.exe")
    os.makedirs(os.path.dirname(unsigned))
    subprocess.run(["osslsigncode", "remove-signature", "-in", installer, "-out", unsigned],
                   check=True, capture_output=True)
    if signer is None:
        return unsigned
    signed = os.path.join(scratch, "ColdInstall.exe")
    subprocess.run(["osslsigncode", "sign", "-certs", os.path.join(signing_dir, signer + ".crt"),
                    "-key", os.path.join(signing_dir, signer + ".key"), "-h", "sha256",
                    "-in", unsigned, "-out", signed], check=True, capture_output=True)
    return signed


STAMP = re.compile(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}  ")


def check_build_log(prefix, scenario, server_host, reason):
    """The build's log: one per prefix, every line time-stamped, from the build's start to its
    result, with the scenario's events."""
    logs = prefix.build_logs()
    check(len(logs) == 1, "one build log: %s" % logs)
    with open(logs[0], encoding="utf-8") as f:
        lines = f.read().splitlines()
    print("build log:\n  " + "\n  ".join(lines))
    check(lines and all(STAMP.match(line) for line in lines), "every log line has its time")
    texts = [line[25:] for line in lines]
    check(texts[0].startswith("build started: drive E:"), "log starts: %r" % texts[0])
    result = "build succeeded" if scenario["finish"] == "ok" else "build failed: " + reason
    check(texts[-1] == result, "log ends %r, not %r" % (texts[-1], result))
    url = "http://%s/tovixscourlet/rescuedisk" % server_host
    for expected in scenario.get("log", []):
        expected = expected.replace("URL", url)
        check(any(expected in text for text in texts), "the log tells %r" % expected)
    return logs[0]


def check_reason(wizard, prefix, scenario, words):
    """The finish page's lines under its message: the failure's reason and the log's place, both
    hidden after a success."""
    controls = wizard.controls()
    invisible = 0x8000  # STATE_SYSTEM_INVISIBLE
    lines = [controls.get(name, (invisible, "")) for name in ("FinishReason", "FinishDetails")]
    if scenario["finish"] == "ok":
        check(all(state & invisible for state, _ in lines), "no reason after a success: %s" %
              lines)
        return
    check(not any(state & invisible for state, _ in lines), "both lines show: %s" % lines)
    (_, reason), (_, details) = lines
    check(reason == scenario["reason"], "reason line %r, not %r" % (reason, scenario["reason"]))
    # Every reason says what to do.
    advice = controls.get("FinishAdvice", (invisible, ""))[1]
    check(advice and advice == scenario.get("advice", advice), "advice line %r" % advice)
    check("TryAgainButton" in controls, "the error page offers Try again")
    check(details and details.startswith(words["details"]), "details line: %r" % details)
    named = details[len(words["details"]):]
    check(named.endswith("\\USBWizard\\last-build.log") and
          os.path.exists(prefix.unix_path(named)),
          "the page names the log: %r" % named)


def log_viewer_shown(prefix):
    """Whether a window of the user's text viewer shows the build's log."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "last-build"],
                           env=prefix.env, capture_output=True, text=True)
    return bool(found.stdout.split())


def build_again(args, prefix, wizard, scratch, words, shot):
    """From the error page: the log's two actions, then "Try again" with the server up, to a
    success on the same drive; there "Safely remove" and "Make another". Returns the server."""
    wizard.click(COPY_LOG)
    wait_for(lambda: (wizard.texts().get("FinishDetails") or "").startswith(words["copied"]),
             "the log's place copied", 30)
    check(wizard.texts()["FinishDetails"].endswith("\\USBWizard\\last-build.log"),
          "the log's place: %r" % wizard.texts()["FinishDetails"])
    wizard.click(OPEN_LOG)
    wait_for(lambda: log_viewer_shown(prefix), "the log in the user's viewer", 60)
    # The viewer took the focus and may lie over the window: it goes before the next clicks.
    subprocess.run(["xdotool", "search", "--name", "last-build", "windowkill"], env=prefix.env)
    wait_for(lambda: not log_viewer_shown(prefix), "the viewer to go", 30)
    server = Server(prefix, args.archives_tool, args.installer,
                    int(args.server_host.rsplit(":", 1)[1]), os.path.join(scratch, "again"),
                    args.signing_dir)
    wizard.click(TRY_AGAIN)
    wait_for(lambda: "InstallButton" in wizard.controls(), "the drive page again", 30)
    wizard.screenshot(shot + "5-drives-again.png")
    wizard.install()
    wait_for(lambda: wizard.texts().get("FinishTitle") == words["ok"] and
             not prefix.work_folders(), "the success page of the second build", 240)
    time.sleep(1)
    wizard.screenshot(shot + "6-finish-again.png")
    check(server.requests() == MANIFEST + BOTH, "requests: %s" % server.requests())
    check(is_green(wizard.pixel(PICTURE)), "the success page shows")
    check_reason(wizard, prefix, {"finish": "ok"}, words)
    check_build_log(prefix, {"finish": "ok", "log": UNPACKED + ["build succeeded"]},
                    args.server_host, None)
    check(drive_files(prefix.drive) == set(rescue_files()), "the second build filled the drive")
    controls = wizard.controls()
    for name in ("NextStepRemove", "NextStepBoot", "NextStepSecureBoot", "SafelyRemoveButton",
                 "MakeAnotherButton"):
        check(name in controls, "the success page shows %s" % name)
    check("TryAgainButton" not in controls, "no Try again after a success")
    wizard.click(SAFELY_REMOVE)
    wait_for(lambda: wizard.texts().get("EjectNote"), "what became of the drive", 30)
    note = wizard.texts()["EjectNote"]
    check(note == words["eject"], "eject note %r, not %r" % (note, words["eject"]))
    wizard.screenshot(shot + "7-removed.png")
    wizard.click(MAKE_ANOTHER)
    wait_for(lambda: "InstallButton" in wizard.controls() and
             "FinishTitle" not in wizard.controls(), "the drive page after Make another", 30)
    wizard.screenshot(shot + "8-another.png")
    return server


def run(args):
    scenario = SCENARIOS[args.scenario]
    xvfb = start_xvfb()
    prefix = Prefix(args.prefix, scenario.get("lang"), xvfb.display, scenario.get("dpi", 96))
    try:
        prefix.prepare()
    except BaseException:
        stop_xvfb(xvfb)
        raise
    scratch = tempfile.mkdtemp(prefix="builder-e2e-")
    shot = os.path.join(args.screenshots, "builder-%s-" % args.scenario)
    port = int(args.server_host.rsplit(":", 1)[1])
    exe = without_library_resource(args.exe, scratch) if scenario.get("patch_library") else args.exe
    installer = args.installer
    if "installer_signer" in scenario:
        installer = resigned(installer, scenario["installer_signer"], args.signing_dir, scratch)
    server = wizard = holder = None
    try:
        # A held stage (each download half-way, the installer after its first file) waits until
        # the test has seen it at work and lets it go.
        hold = scenario.get("hold", [])
        gates = {stage: os.path.join(scratch, stage + "-go") for stage in HELD}
        archive_options, server_options = scenario.get("archives", []), scenario.get("server", [])
        if "installer" in hold:
            archive_options = archive_options + ["--installer-gate",
                                                 windows_path(gates["installer"])]
        if "downloads" in hold:
            server_options = server_options + ["--hold", gates["downloads"]]

        def release(stage):
            open(gates[stage], "w").close()
        server = Server(prefix, args.archives_tool, installer, port, scratch, args.signing_dir,
                        archive_options, server_options)
        # What an earlier build on this computer accepted: the runs share the prefix.
        check(prefix.accepted_release(scenario.get("accepted_before")) ==
              scenario.get("accepted_before"), "the accepted release is set")
        if scenario.get("no_server"):
            server.stop()
        if scenario.get("hold_event"):
            check(args.probe, "another build is played by the probe")
            holder = subprocess.Popen(["wine", args.probe, "hold", "COLDINSTALL_EVENT"],
                                      env=prefix.env, stdout=subprocess.PIPE, text=True)
            check(holder.stdout.readline().strip() == "held", "the probe holds the event")
        wizard = Wizard(prefix, exe, shot + "trace.log", args.probe)
        time.sleep(2)
        wizard.screenshot(shot + "1-welcome.png")
        wizard.click(BUTTON)  # Start
        time.sleep(2)
        wizard.screenshot(shot + "2-drives.png")
        wizard.install(shot + "2-confirm.png")
        requests = expected_requests(scenario)
        if requests:
            wait_for(lambda: server.requests(), "the first download")
        words = TEXTS["es" if scenario.get("lang", "").startswith("es") else "en"]

        if scenario.get("watch"):
            # The download's figures line, as a reader hears it, in the order given.
            for text in scenario["watch"]:
                wait_for(lambda: wizard.texts().get("FiguresLabel") == text,
                         "the figures line %r (now %r)" % (text, wizard.texts().get("FiguresLabel")),
                         180)
            wizard.screenshot(shot + "3-progress-waiting.png")
        if scenario["finish"] == "closed":
            if "downloads" in hold:
                wait_for(lambda: 0 < wizard.bar_percent() <= 24, "the download at work", 120)
            elif not scenario.get("watch"):  # a watched run closes in the stall it watched
                wait_for(lambda: drive_files(prefix.drive), "the installer at work", 120)
            wizard.screenshot(shot + "3-progress.png")
            wizard.close_and_answer(words["stop"], yes=True)
            # The build is cancelled, its threads joined and its folder removed before the
            # program returns: the installer (a slow one, still at work otherwise) is gone by
            # then, and so is the download's connection.
            check(wizard.exited(), "the program ends cleanly once the question is answered yes")
            check(not installer_running(), "the installer ended with the build")
            check(prefix.work_folders() == [], "working folder left: %s" % prefix.work_folders())
            wait_for(lambda: server.requests() == requests,
                     "requests %s (now %s)" % (requests, server.requests()), 10)
            check(wizard.trace_lines()[-2:] == ["TForm1::FormClose\\n", "USBWizardSM::Finish\\n"],
                  "closing trace: %s" % wizard.trace_lines()[-3:])
            check_build_log(prefix, scenario, args.server_host, "The build was stopped.")
            return

        if scenario.get("decline"):
            # Declined, the question leaves the build running to its ordinary end.
            wait_for(lambda: 0 < wizard.bar_percent() <= 24, "the download at work", 120)
            wizard.close_and_answer(words["stop"], yes=False)
            check(wizard.process.poll() is None, "the program runs on after a declined question")
            check(prefix.work_folders() != [], "the build runs on after a declined question")
            release("downloads")

        # Runs that hold both stages follow the page through them: the bar
        # moves 12 points per download, 13 and 12 for unpacking, then half a point per file;
        # with the probe, the status and step lines show each stage's texts in the run's
        # language.
        if hold == HELD and scenario["finish"] == "ok":
            shown, status = [], [None]
            files = len(rescue_files())

            def bar_at(low, high, words_key, step):
                shown.append(wizard.bar_percent())
                if args.probe:
                    texts = wizard.texts()
                    status[0] = (texts.get("StatusLabel"), texts.get("StepLabel"))
                return low <= shown[-1] <= high and (
                    not args.probe or status[0] == (words[words_key], words["steps"][step]))
            wait_for(lambda: bar_at(1, 24, "downloading", 0), "the downloads at work", 120)
            release("downloads")
            wait_for(lambda: bar_at(49, 49 + files // 2, "installing", 2),
                     "the installer at work", 120)
            wizard.screenshot(shot + "3-progress.png")
            release("installer")
            while prefix.work_folders() and len(shown) < 2000:
                shown.append(wizard.bar_percent())
            shown = [p for p in shown if p]  # the finish page has no bar
            print("bar:", shown)
            check(shown == sorted(shown), "the bar never goes back: %s" % shown)
            check(max(shown) <= 49 + files // 2, "the installer's signals: %s" % shown)
        # Runs that read the figures follow a slow download by sampling the page as it goes.
        elif scenario["finish"] == "ok" and scenario.get("figures"):
            shown, statuses, steps, figures = [], set(), set(), []
            while prefix.work_folders() and len(shown) < 2000:
                shown.append(wizard.bar_percent())
                if args.probe:
                    texts = wizard.texts()
                    statuses.add(texts.get("StatusLabel"))
                    steps.add(texts.get("StepLabel"))
                    figures.append(texts.get("FiguresLabel"))
                    if (scenario.get("figures") and re.fullmatch(words["figures"], figures[-1] or "")
                            and not os.path.exists(shot + "3-progress-figures.png")):
                        wizard.screenshot(shot + "3-progress-figures.png")
                if shown[-1] >= 49 and not os.path.exists(shot + "3-progress.png"):
                    wizard.screenshot(shot + "3-progress.png")
            shown = [p for p in shown if p]  # the finish page has no bar
            print("bar:", shown)
            check(shown == sorted(shown), "the bar never goes back: %s" % shown)
            check(any(0 < p <= 24 for p in shown), "the downloads move the bar: %s" % shown)
            files = len(rescue_files())
            check(any(49 <= p <= 49 + files // 2 for p in shown) and
                  max(shown) <= 49 + files // 2, "the installer's signals: %s" % shown)
            if args.probe:
                check({words["downloading"], words["installing"]} <= statuses,
                      "status lines seen: %s" % statuses)
            # The downloading and installing steps (unpacking the small stand-in archives is
            # over between two readings), and while downloading the amount, the speed and the
            # time left in the run's language and number format.
            check({words["steps"][0], words["steps"][2]} <= steps, "steps seen: %s" % steps)
            check(any(re.fullmatch(words["figures"], f or "") for f in figures),
                  "figures seen: %s" % sorted(set(filter(None, figures))))
        # Leaving the progress page deletes the working folder: then the finish page shows.
        wait_for(lambda: server.requests() == requests and not prefix.work_folders(),
                 "the finish page", 240)
        time.sleep(1)
        wizard.screenshot(shot + "4-finish.png")
        check(server.requests() == requests, "requests: %s" % server.requests())
        success_picture = is_green(wizard.pixel(PICTURE))
        if args.probe:
            title = wizard.texts().get("FinishTitle")
            check(title == words[scenario["finish"]], "finish page title: %r" % title)
            check_reason(wizard, prefix, scenario, words)
        check_build_log(prefix, scenario, args.server_host,
                        scenario.get("logged", scenario.get("reason")))
        if scenario.get("peak_mib"):
            peak = wizard_peak_mib()
            print("wizard peak resident set: %s MiB" % peak)
            check(peak is not None and peak <= scenario["peak_mib"],
                  "peak memory %s MiB, bound %d MiB" % (peak, scenario["peak_mib"]))
        if scenario["finish"] == "ok":
            check(success_picture, "the success page shows")
            expected = rescue_files()
            check(drive_files(prefix.drive) == set(expected),
                  "drive holds %s" % sorted(drive_files(prefix.drive)))
            for relative, source in expected.items():
                check(filecmp.cmp(source, os.path.join(prefix.drive, relative), shallow=False),
                      relative + " differs on the drive")
        else:
            check(not success_picture, "the error page shows")
            check(drive_files(prefix.drive) == set(), "nothing on the drive")
        escaped = glob.glob(os.path.join(args.prefix, "drive_c", "**", "escaped.txt"),
                            recursive=True)
        check(escaped == [], "an entry escaped the working folder: %s" % escaped)
        succeeded = scenario["finish"] == "ok"
        if scenario.get("again"):
            server.stop()
            server = build_again(args, prefix, wizard, scratch, words, shot)
            succeeded = True
            wizard.click(CLOSE_BOX)  # on the drive page, where the button is Install
        else:
            wizard.click(BUTTON)  # Close
        check(wizard.exited(), "exit code 0")
        lines = wizard.trace_lines()
        # (A build that fails at once can end before the timer's first tick.)
        check(not succeeded or "TForm1::TProgressTimerTimer\\n" in lines,
              "the progress timer ran")
        # Recorded only by a build that succeeded, never lowered.
        accepted = prefix.read_accepted_release()
        expected = 7 if succeeded else scenario.get("accepted_before")
        check(accepted == expected, "accepted release %s, not %s" % (accepted, expected))
        check(lines[-2:] == ["TForm1::FormClose\\n", "USBWizardSM::Finish\\n"],
              "closing trace: %s" % lines[-3:])
    finally:
        if wizard and wizard.process.poll() is None:
            wizard.process.kill()
        if holder:
            holder.kill()
        prefix.stop()
        stop_xvfb(xvfb)
        if server:
            server.stop()
        shutil.rmtree(scratch, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    for option in ("scenario", "exe", "archives-tool", "installer", "signing-dir", "server-host",
                   "prefix", "screenshots"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--probe")
    # The build passes an empty argument where it has no probe to offer.
    args = parser.parse_args([arg for arg in sys.argv[1:] if arg])
    host, _, port = args.server_host.rpartition(":")
    if host != "127.0.0.1" or not port.isdigit():
        print("the wizard must be built with -DRESCUE_SERVER_BASE=http://127.0.0.1:PORT")
        return 1
    if shutil.which("Xvfb") is None or shutil.which("xdotool") is None:
        print("Xvfb and xdotool are needed (scripts/setup installs them)")
        return 1
    os.makedirs(args.screenshots, exist_ok=True)
    try:
        run(args)
    except Failure as failure:
        print("FAILED:", failure)
        return 1
    print("passed; screenshots in", args.screenshots)
    return 0


if __name__ == "__main__":
    sys.exit(main())
