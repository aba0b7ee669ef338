#!/usr/bin/env python3
"""Runs a Windows test program under Wine and serves its requests for real
pointer input and for the shape of the X cursor.

Usage: pointer_rig.py PROGRAM.exe [ARGS...]

Inside the Wine environment named by KAVEL_WINE_DIR. Before Wine starts, a
every address that Wine hands to the desktop (ShellExecute of an http address
ends in xdg-open through winebrowser) is in opened.log, and who asked in
opened-by.log: the Wine environment's stand-in xdg-open records them
(tests/wine/env-up.sh); the rig empties both at its start. The test program finds the exchange
folder in KAVEL_PICTURE_RIG (a Windows path) and asks, one at a time:

    request  "SEQ move X Y" | "SEQ down" | "SEQ up" | "SEQ cursor"
    reply    "SEQ ok" | "SEQ W H XHOT YHOT DIGEST" (cursor) | "SEQ error TEXT"

Each side writes NAME.tmp and renames it to NAME, so that the other never
reads half a file. Moves and buttons go through xdotool; the cursor shape is
read from the X server with XFixes.
"""
import ctypes
import hashlib
import os
import shutil
import subprocess
import sys
import time

RUN_LIMIT_S = 150

class CursorImage(ctypes.Structure):
    _fields_ = [
        ("x", ctypes.c_short), ("y", ctypes.c_short),
        ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
        ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
        ("cursor_serial", ctypes.c_ulong),
        ("pixels", ctypes.POINTER(ctypes.c_ulong)),
    ]


class XDisplay:
    """The X server's pointer position, and the cursor it shows now as size,
    hot spot and a digest of its pixels, so that two shapes can be told apart
    and matched."""

    def __init__(self, display):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xfixes = ctypes.CDLL("libXfixes.so.3")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XFree.argtypes = [ctypes.c_void_p]
        self.x11.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x11.XQueryPointer.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + \
            [ctypes.POINTER(ctypes.c_ulong)] * 2 + [ctypes.POINTER(ctypes.c_int)] * 4 + \
            [ctypes.POINTER(ctypes.c_uint)]
        self.xfixes.XFixesQueryVersion.argtypes = [
            ctypes.c_void_p, ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int)]
        self.xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(CursorImage)
        self.xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
        self.display = self.x11.XOpenDisplay(display.encode())
        if not self.display:
            raise RuntimeError("cannot open display " + display)
        major, minor = ctypes.c_int(4), ctypes.c_int(0)
        if not self.xfixes.XFixesQueryVersion(self.display, ctypes.byref(major), ctypes.byref(minor)):
            raise RuntimeError("the display has no XFixes")

    def pointer(self):
        root, child = ctypes.c_ulong(), ctypes.c_ulong()
        x, y, wx, wy = ctypes.c_int(), ctypes.c_int(), ctypes.c_int(), ctypes.c_int()
        mask = ctypes.c_uint()
        self.x11.XQueryPointer(self.display, self.x11.XDefaultRootWindow(self.display),
                               ctypes.byref(root), ctypes.byref(child), ctypes.byref(x),
                               ctypes.byref(y), ctypes.byref(wx), ctypes.byref(wy), ctypes.byref(mask))
        return x.value, y.value

    def shape(self):
        image = self.xfixes.XFixesGetCursorImage(self.display)
        if not image:
            return "error no cursor image"
        c = image.contents
        digest = hashlib.sha1()
        for k in range(c.width * c.height):
            digest.update((c.pixels[k] & 0xFFFFFFFF).to_bytes(4, "little"))
        text = "%d %d %d %d %s" % (c.width, c.height, c.xhot, c.yhot, digest.hexdigest()[:16])
        self.x11.XFree(image)
        return text


def windows_path(path):
    # The prefix maps Z: to the root of the Linux file system.
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def xdotool(args, env):
    # A busy machine now and then refuses a process or a display connection:
    # such a failure is the rig's, not the program's, so it is tried again.
    failures = []
    for _ in range(3):
        try:
            done = subprocess.run(["xdotool"] + args, env=env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.PIPE, timeout=10)
            if done.returncode == 0:
                return "ok"
            failures.append("exit %d %s" % (done.returncode,
                                            done.stderr.decode(errors="replace").strip()))
        except (OSError, subprocess.SubprocessError) as e:
            failures.append(str(e))
        time.sleep(0.1)
    return "error xdotool " + "; ".join(failures)


def serve(command, env, x):
    words = command.split()
    if not words:
        return "error empty request"
    if words[0] == "move" and len(words) == 3:
        target = (int(words[1]), int(words[2]))
        # The answer waits until the server has the pointer there; a move
        # that did not arrive is made once more.
        for _ in range(2):
            answer = xdotool(["mousemove"] + words[1:], env)
            deadline = time.monotonic() + 2
            while answer == "ok" and x.pointer() != target:
                if time.monotonic() > deadline:
                    answer = "error the pointer stays at %d,%d" % x.pointer()
                    break
                time.sleep(0.01)
            if answer == "ok":
                break
        return answer
    if words[0] == "down" or words[0] == "up":
        return xdotool(["mouse" + words[0], "1"], env)
    if words[0] == "cursor":
        return x.shape()
    return "error unknown request " + command


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    program = sys.argv[1]
    wine_dir = os.environ["KAVEL_WINE_DIR"]
    source = os.environ.get("KAVEL_SOURCE_DIR",
                            os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
    with open(os.path.join(wine_dir, "display")) as f:
        display = f.read().strip()

    work = os.path.join(os.path.dirname(os.path.abspath(program)),
                        "rig-" + os.path.splitext(os.path.basename(program))[0])
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    # The environment's stand-in xdg-open records what the desktop was asked
    # to open (tests/wine/env-up.sh); this run's records start empty.
    for log in ("opened.log", "opened-by.log"):
        open(os.path.join(wine_dir, log), "w").close()
        os.symlink(os.path.join(wine_dir, log), os.path.join(work, log))

    env = dict(os.environ)
    env["DISPLAY"] = display
    env["KAVEL_PICTURE_RIG"] = windows_path(work)

    x = XDisplay(display)
    request = os.path.join(work, "request")
    reply = os.path.join(work, "reply")
    output_path = os.path.join(work, "output.txt")
    # Wine's helper processes keep inherited pipes open: the output goes to a file.
    with open(output_path, "wb") as output:
        wine = subprocess.Popen([os.path.join(source, "tests", "wine", "wine-run"), program] + sys.argv[2:],
                                env=env, stdout=output, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + RUN_LIMIT_S
        while wine.poll() is None:
            if time.monotonic() > deadline:
                wine.kill()
                wine.wait()
                print("the test program did not end within %d s" % RUN_LIMIT_S)
                break
            if not os.path.exists(request):
                time.sleep(0.01)
                continue
            with open(request) as f:
                text = f.read()
            os.remove(request)
            seq, _, command = text.strip().partition(" ")
            try:
                answer = serve(command, env, x)
            except Exception as e:  # the test program reads the failure
                answer = "error " + str(e)
            with open(reply + ".tmp", "w") as f:
                f.write(seq + " " + answer)
            os.replace(reply + ".tmp", reply)
    with open(output_path, "rb") as f:
        sys.stdout.write(f.read().decode("gbk", errors="replace"))
    sys.stdout.flush()
    return wine.returncode if wine.returncode is not None else 1


if __name__ == "__main__":
    sys.exit(main())
