"""The beds the benchmark measures on: Xorg's dummy driver, phoc, sway 1.10
and mutter (43 on the host, 48 in the Debian 13 tree), each started in a
directory of its own with a bounded wait, and stopped."""

import glob
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time


# The X11 tests' configuration of the dummy driver; an output is connected
# only once it has shown a mode, so the benchmark's two are all there are.
XORG_CONF = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "x11", "xorg-dummy.conf")


def run(cmd, env, check=True):
    return subprocess.run(cmd, env=env, capture_output=True, text=True, check=check)


def start_xorg(directory):
    """Xorg with the dummy driver; the process and its display, or None
    when it did not name its display within 30 s."""
    conf = XORG_CONF
    confdir = os.path.join(directory, "xorg.conf.d")
    os.makedirs(confdir, mode=0o700)
    r, w = os.pipe()
    server = subprocess.Popen(
        ["Xorg", "-displayfd", str(w), "-config", conf, "-configdir", confdir, "-noreset",
         "-nolisten", "tcp", "-novtswitch", "-sharevts", "-logfile", os.path.join(directory, "Xorg.log")],
        pass_fds=(w,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL, start_new_session=True)
    os.close(w)
    number = b""
    deadline = time.monotonic() + 30
    while (left := deadline - time.monotonic()) > 0:
        ready, _, _ = select.select([r], [], [], left)
        c = os.read(r, 1) if ready else b""
        if not c or c == b"\n":
            break
        number += c
    os.close(r)
    if not number:
        print("Xorg did not name its display within 30 s", file=sys.stderr)
        stop(server)
        return None
    return server, ":" + number.decode()


def start_phoc(directory):
    """phoc on its headless backend with two outputs; the process and its
    socket name, or None when no socket appeared within 10 s."""
    ini = os.path.join(directory, "phoc.ini")
    open(ini, "w").close()
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": directory,
           "XDG_RUNTIME_DIR": directory, "GSETTINGS_BACKEND": "memory",
           "WLR_BACKENDS": "headless", "WLR_RENDERER": "pixman", "WLR_LIBINPUT_NO_DEVICES": "1",
           "WLR_HEADLESS_OUTPUTS": "2"}
    server = subprocess.Popen(["phoc", "-C", ini], env=env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              start_new_session=True)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        sockets = [s for s in glob.glob(os.path.join(directory, "wayland-*")) if not s.endswith(".lock")]
        if sockets:
            return server, os.path.basename(sockets[0])
        time.sleep(0.02)
    print("phoc made no socket within 10 s", file=sys.stderr)
    stop(server)
    return None


def modern_tree():
    """The Debian 13 tree of scripts/modern-tree, or None when not made."""
    tree = os.environ.get("DISPCTL_MODERN_TREE") or "/var/cache/dispctl/trixie"
    return tree if os.path.exists(os.path.join(tree, ".dispctl-packages")) else None


def in_tree(tree, argv, env):
    """argv run inside the tree in a mount namespace of its own, with
    exactly env; the pid is the program's own."""
    script = ('t=$1; shift; mount -t proc proc "$t/proc" && mount --rbind /dev "$t/dev" && '
              'mount --rbind /sys "$t/sys" && exec chroot "$t" "$@"')
    return ["unshare", "--mount", "--propagation", "private", "--", "sh", "-c", script, "sh", tree,
            "/usr/bin/env", "-i"] + [f"{k}={v}" for k, v in env.items()] + argv


def start_sway(directory):
    """sway 1.10 (wlroots 0.18) from the Debian 13 tree, headless with two
    outputs; the process and its socket name, or None."""
    tree = modern_tree()
    if not tree:
        print("no Debian 13 tree (scripts/modern-tree): no sway bed", file=sys.stderr)
        return None
    inside = tempfile.mkdtemp(prefix="bench-", dir=os.path.join(tree, "tmp"))
    os.chmod(inside, 0o700)
    name = inside[len(tree):]
    with open(os.path.join(inside, "config"), "w") as f:
        f.write("output HEADLESS-1 mode 1920x1080\n")
    env = {"PATH": "/usr/bin:/bin", "HOME": name, "XDG_RUNTIME_DIR": name, "WLR_BACKENDS": "headless",
           "WLR_RENDERER": "pixman", "WLR_LIBINPUT_NO_DEVICES": "1", "WLR_HEADLESS_OUTPUTS": "2"}
    server = subprocess.Popen(in_tree(tree, ["sway", "-c", name + "/config"], env), stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        if os.path.exists(os.path.join(inside, "wayland-1")):
            # The host reaches the socket by its path in the tree.
            os.symlink(os.path.join(inside, "wayland-1"), os.path.join(directory, "wayland-1"))
            return Cleanup(server, inside), "wayland-1"
        time.sleep(0.02)
    print("sway made no socket within 10 s", file=sys.stderr)
    stop(Cleanup(server, inside))
    return None


class Cleanup:
    """A server, and the directory it used, removed once it has stopped."""

    def __init__(self, server, directory):
        self.server = server
        self.directory = directory

    def terminate(self):
        self.server.terminate()

    def kill(self):
        self.server.kill()

    def wait(self, timeout):
        status = self.server.wait(timeout)
        shutil.rmtree(self.directory, ignore_errors=True)
        return status


DISPLAY_CONFIG = ["--dest", "org.gnome.Mutter.DisplayConfig", "--object-path", "/org/gnome/Mutter/DisplayConfig"]


def start_mutter(directory, tree=None):
    """A private session bus and a headless mutter with two monitors on it
    (mutter 48 from the Debian 13 tree when tree is given); the bus as the
    server to stop (mutter ends with it) and the client environment, or None
    when mutter is absent or not on the bus in 10 s."""
    if not shutil.which("gdbus") or not (tree or shutil.which("mutter")):
        return None
    inside = None
    if tree:
        # The bus listens inside the tree, where mutter finds it too.
        inside = tempfile.mkdtemp(prefix="bench-", dir=os.path.join(tree, "tmp"))
        os.chmod(inside, 0o700)
        directory = inside
    bus = os.path.join(directory, "bus")
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": directory, "XDG_RUNTIME_DIR": directory,
           "XDG_CONFIG_HOME": os.path.join(directory, "config"), "XDG_CACHE_HOME": os.path.join(directory, "cache"),
           "GSETTINGS_BACKEND": "memory", "DBUS_SESSION_BUS_ADDRESS": f"unix:path={bus}"}
    daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", f"--address=unix:path={bus}"], env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    owner = ["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
             "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.NameHasOwner",
             "org.gnome.Mutter.DisplayConfig"]
    deadline = time.monotonic() + 10
    while not os.path.exists(bus) and time.monotonic() < deadline:
        time.sleep(0.02)
    argv = ["mutter", "--headless", "--wayland", "--no-x11", "--wayland-display=bench",
            "--virtual-monitor", "1920x1080", "--virtual-monitor", "1920x1080"]
    if tree:
        name = inside[len(tree):]
        inner = dict(env, PATH="/usr/bin:/bin", HOME=name, XDG_RUNTIME_DIR=name,
                     XDG_CONFIG_HOME=name + "/config", XDG_CACHE_HOME=name + "/cache",
                     DBUS_SESSION_BUS_ADDRESS=f"unix:path={name}/bus")
        argv = in_tree(tree, argv, inner)
    mutter = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, start_new_session=bool(tree))
    both = Both(mutter, daemon, inside)
    while time.monotonic() < deadline:
        if run(owner, env, check=False).stdout.strip() == "(true,)":
            return both, env
        time.sleep(0.05)
    print("mutter was not on the bus within 10 s", file=sys.stderr)
    stop(both)
    return None


class Both:
    """mutter, then its bus, stopped in that order; then the directory they
    used, if any, removed."""

    def __init__(self, first, second, directory=None):
        self.processes = (first, second)
        self.directory = directory

    def terminate(self):
        self.processes[0].terminate()

    def kill(self):
        for process in self.processes:
            process.kill()

    def wait(self, timeout):
        self.processes[0].wait(timeout)
        self.processes[1].terminate()
        status = self.processes[1].wait(timeout)
        if self.directory:
            shutil.rmtree(self.directory, ignore_errors=True)
        return status


def stop(server):
    server.terminate()
    try:
        server.wait(10)
    except subprocess.TimeoutExpired:
        server.kill()
        server.wait(10)
