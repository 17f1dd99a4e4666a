"""What the end-to-end runs under Wine share: their failure and waiting, an X display of the run's
own, a prefix's screen dpi and server, the wizard's window on the screen, its accessibility tree
(read through the probe) and the trace lines the program writes to Wine's debug channel."""
import os
import subprocess
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
TITLE = "TovixScourletUSB"


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(condition, what, timeout=60, interval=0.2, shows=None):
    """Polls `condition` until it holds; on time-out fails with `what` and, given `shows`, what
    the window shows then."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        if condition():
            return
        time.sleep(interval)
    raise Failure("timed out waiting for %s%s" % (what, "; the window shows: " + shows()
                                                   if shows else ""))


def start_xvfb():
    """Xvfb on a display it finds free (several runs may share the machine), returned once it
    accepts clients; the process carries the display's name as `display`."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                             "-nolisten", "tcp"], pass_fds=(write_end,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as announced:
        number = announced.readline().strip()
    check(number.isdigit(), "Xvfb did not start")
    xvfb.display = ":" + number
    return xvfb


def stop_xvfb(xvfb):
    xvfb.terminate()
    xvfb.wait()


def make_prefix(env):
    subprocess.run([os.path.join(ROOT, "scripts", "wine-prefix")], env=env, check=True,
                   timeout=600)


def set_screen_dpi(env, dpi):
    """The screen's dpi where Wine reads it: the user's setting and the system's. A write that
    meets the last run's server as it ends fails once in a while: it is tried again."""
    for key in ("HKCU\\Control Panel\\Desktop",
                "HKLM\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts"):
        for attempt in range(3):
            result = subprocess.run(["wine", "reg", "add", key, "/v", "LogPixels", "/t",
                                     "REG_DWORD", "/d", str(dpi), "/f"], env=env,
                                    capture_output=True, timeout=120)
            if result.returncode == 0:
                break
            time.sleep(1)
        check(result.returncode == 0, "cannot set the screen's dpi in %s: %s" % (
            key, (result.stdout + result.stderr).decode("utf-8", "replace").strip()))


def restart_wineserver(env):
    """A fresh server: the locale, the drive types and the dpi are read when it starts."""
    subprocess.run(["wineserver", "-k"], env=env)
    subprocess.run(["wineserver", "-w"], env=env)


def probe_rows(env, probe, timeout=90):
    """The window's accessibility tree as the probe dumps it, one dict per object (name, role,
    state, text, value, location). A window still starting up, or a probe slowed by a loaded
    machine, may not answer at once: it is asked again until it does."""
    deadline = time.time() + timeout
    while True:
        try:
            result = subprocess.run(["wine", probe, "dump", TITLE], env=env,
                                    capture_output=True, timeout=30)
            if result.returncode == 0 and result.stdout:
                break
        except subprocess.TimeoutExpired:
            pass
        if time.time() > deadline:
            raise Failure("the window does not answer the accessibility probe")
        time.sleep(0.5)
    rows = []
    for line in result.stdout.decode("utf-8", "replace").splitlines():
        name, role, state, text, value, location = line.split("\t")
        rows.append({"name": name, "role": int(role), "state": int(state, 16), "text": text,
                     "value": value, "location": [int(v) for v in location.split()]})
    return rows


def window_rect(env):
    """The wizard's window (x, y, width, height) once it is mapped, else None."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % TITLE],
                           env=env, capture_output=True, text=True)
    ids = found.stdout.split()
    if not ids:
        return None
    geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", ids[0]],
                              env=env, capture_output=True, text=True).stdout
    values = dict(line.split("=", 1) for line in geometry.split() if "=" in line)
    if not all(k in values for k in ("X", "Y", "WIDTH", "HEIGHT")):
        return None  # found but just replaced: not there yet
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def screenshot(env, rect, path):
    x, y, w, h = rect
    subprocess.run(["import", "-display", env["DISPLAY"], "-window", "root", "-crop",
                    "%dx%d+%d+%d" % (w, h, x, y), "+repage", path], check=True)


def pixels(env, rect):
    """The screen's (r, g, b) colours in `rect`, row by row."""
    x, y, w, h = rect
    out = subprocess.run(["import", "-display", env["DISPLAY"], "-window", "root", "-crop",
                          "%dx%d+%d+%d" % (w, h, x, y), "-depth", "8", "txt:-"],
                         capture_output=True, text=True).stdout
    # "x,y: (r,g,b) ..." from the second line on
    return [tuple(int(float(v)) for v in line.split("(", 1)[1].split(")", 1)[0].split(",")[:3])
            for line in out.splitlines()[1:]]


def trace_lines(path):
    """The OutputDebugStringA texts in a trace of Wine's debugstr channel, escapes kept."""
    lines = []
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            if "OutputDebugStringA" in line and '"' in line:
                lines.append(line[line.index('"') + 1:line.rindex('"')])
    return lines
