#!/usr/bin/env python3
"""Measures dispctl against the floor (a program that only creates the
QGuiApplication), side by side in one run: wall time with hyperfine,
instructions with callgrind, peak memory with getrusage."""

import argparse
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

CUSTOM_MODES_PER_OUTPUT = 10
MODES_PER_OUTPUT = 100
LARGE_SETS = (1, 8, 32, 128)
ALL_CAPABILITIES = [
    "overscan", "vrr", "rgb-range", "hdr", "wcg", "auto-rotate", "icc", "brightness",
    "builtin-color-profile", "ddc-ci", "maxbpc", "edr", "sharpness", "custom-modes",
    "auto-brightness", "hdr-icc", "disable", "abm",
]


def generated_set(outputs):
    """outputs side by side, each with MODES_PER_OUTPUT modes and custom modes."""
    doc = {"outputs": []}
    sizes = [(3840, 2160), (2560, 1440), (1920, 1080), (1680, 1050), (1280, 720)]
    rates = [240.0, 165.0, 144.0, 120.0, 100.0, 75.0, 60.0, 59.94, 50.0, 30.0,
             29.97, 25.0, 24.0, 23.976, 48.0, 72.0, 85.0, 90.0, 119.88, 143.98]
    for i in range(outputs):
        modes = []
        for m in range(MODES_PER_OUTPUT):
            w, h = sizes[m // len(rates) % len(sizes)]
            modes.append({"id": str(m + 1), "width": w, "height": h,
                          "refreshRate": rates[m % len(rates)]})
        custom = [{"width": 1000 + c, "height": 700 + c, "refreshRate": 60.0, "flags": 1}
                  for c in range(CUSTOM_MODES_PER_OUTPUT)]
        doc["outputs"].append({
            "id": i + 1,
            "name": f"DP-{i + 1}",
            "uuid": f"bench-{i + 1:04d}",
            "type": "DisplayPort",
            "priority": i + 1,
            "pos": {"x": 3840 * i, "y": 0},
            "modes": modes,
            "currentModeId": "7",
            "preferredModeId": "7",
            "capabilities": ALL_CAPABILITIES,
            "bitsPerColorRange": {"min": 6, "max": 12},
            "maxPeakBrightness": 1000,
            "maxAverageBrightness": 400,
            "minBrightness": 0.05,
            "customModes": custom,
        })
    return json.dumps(doc, indent=2)


def run(cmd, env, check=True):
    return subprocess.run(cmd, env=env, capture_output=True, text=True, check=check)


class Bench:
    def __init__(self, build, work, runs, quick):
        self.build = build
        self.work = work
        self.runs = runs
        self.quick = quick
        self.dispctl = os.path.join(build, "src", "dispctl")
        self.floor = os.path.join(build, "bench", "bench-floor")
        self.maxrss = os.path.join(build, "bench", "bench-maxrss")
        self.runtime = os.path.join(work, "runtime")
        os.makedirs(self.runtime, mode=0o700)
        self.doc = os.path.join(work, "virtual-display.json")
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": work,
            "LC_ALL": "C",
            "QT_QPA_PLATFORM": "offscreen",
            "XDG_RUNTIME_DIR": self.runtime,
            "DISPOR_BACKEND": "virtual",
            "DISPOR_VIRTUAL_STATE": self.doc,
            "DBUS_SESSION_BUS_ADDRESS": "unix:path=/nonexistent/bus",
        }

    def restore(self, base):
        """Puts the set's document back as it was (absent for the default set)."""
        if base is None:
            if os.path.exists(self.doc):
                os.remove(self.doc)
        else:
            shutil.copyfile(base, self.doc)

    def prepare_command(self, base):
        if base is None:
            return f"rm -f {self.doc}"
        return f"cp {base} {self.doc}"

    def measure(self, argv, base, env=None, reset=None):
        """reset, where given, is a script that puts a real display service
        back as it was, run in place of restoring the document."""
        env = env or self.env
        prepare = f"sh {reset}" if reset else self.prepare_command(base)

        def back():
            if reset:
                run(["sh", reset], env)
            else:
                self.restore(base)

        hf_json = os.path.join(self.work, "hyperfine.json")
        back()
        cmd = ["hyperfine", "-N", "--style", "none", "--warmup", "3", "--runs", str(self.runs),
               "--export-json", hf_json, "--prepare", prepare,
               "--ignore-failure", " ".join(argv)]
        run(cmd, env)
        with open(hf_json) as f:
            times = json.load(f)["results"][0]["times"]
        median_ms = statistics.median(times) * 1000

        back()
        out = os.path.join(self.work, "callgrind.out")
        cg = run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}"] + argv,
                 env, check=False)
        match = re.search(r"refs:\s+([\d,]+)", cg.stderr)
        instructions = int(match.group(1).replace(",", "")) if match else 0

        back()
        rss = run([self.maxrss] + argv, env, check=False)
        peak_kib = int(rss.stdout.strip().splitlines()[-1]) if rss.stdout.strip() else 0

        back()
        status = run(argv, env, check=False).returncode
        return {"median_ms": median_ms, "instructions": instructions, "peak_kib": peak_kib,
                "status": status}

    def pick_mode(self, output):
        """A mode id of the output that is not its current one."""
        lines = run([self.dispctl, output, "list-modes"], self.env).stdout.splitlines()
        for line in lines:
            if not line.rstrip("!").endswith("*"):
                return line.split(":", 1)[0]
        return lines[0].split(":", 1)[0]

    def pick_output(self, capability):
        outputs = json.loads(run([self.dispctl, "list-outputs", "--json"], self.env).stdout)
        for output in outputs:
            if capability in output["capabilities"]:
                return output["name"]
        return outputs[0]["name"]


DISPLAY_CONFIG = ["--dest", "org.gnome.Mutter.DisplayConfig",
                  "--object-path", "/org/gnome/Mutter/DisplayConfig"]


def gnome_rows(bench):
    """dispctl on a headless mutter with two monitors, beside a gdbus call of
    GetCurrentState; none when mutter is not installed."""
    if not shutil.which("mutter") or not shutil.which("gdbus"):
        return []
    home = os.path.join(bench.work, "gnome")
    os.makedirs(home, mode=0o700)
    bus = os.path.join(home, "bus")
    env = dict(bench.env, HOME=home, XDG_RUNTIME_DIR=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
               XDG_CACHE_HOME=os.path.join(home, "cache"), GSETTINGS_BACKEND="memory",
               DBUS_SESSION_BUS_ADDRESS=f"unix:path={bus}", DISPOR_BACKEND="gnome")
    daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", f"--address=unix:path={bus}"], env=env)
    mutter = None
    try:
        for _ in range(100):  # the bus socket, 5 s at most
            if os.path.exists(bus):
                break
            subprocess.run(["sleep", "0.05"])
        with open(os.path.join(home, "mutter.log"), "w") as log:
            mutter = subprocess.Popen(["mutter", "--headless", "--wayland", "--no-x11", "--wayland-display=bench",
                                       "--virtual-monitor", "1920x1080", "--virtual-monitor", "1920x1080"],
                                      env=env, stdout=log, stderr=log)
        owner = ["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                 "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.NameHasOwner",
                 "org.gnome.Mutter.DisplayConfig"]
        for _ in range(200):  # mutter's name, 10 s at most
            if run(owner, env, check=False).stdout.strip() == "(true,)":
                break
            subprocess.run(["sleep", "0.05"])
        else:
            return []
        # Puts the monitors side by side again before each change.
        reset = os.path.join(home, "reset.sh")
        with open(reset, "w") as f:
            f.write("exec gdbus call --session " + " ".join(DISPLAY_CONFIG)
                    + " --method org.gnome.Mutter.DisplayConfig.ApplyMonitorsConfig 0 1 "
                    "\"[(0,0,1.0,uint32 0,true,[('Meta-0','1920x1080@60.000',@a{sv} {})]),"
                    "(1920,0,1.0,uint32 0,false,[('Meta-1','1920x1080@60.000',@a{sv} {})])]\" "
                    "\"@a{sv} {}\" >/dev/null\n")
        state = run(["gdbus", "call", "--session"] + DISPLAY_CONFIG
                    + ["--method", "org.gnome.Mutter.DisplayConfig.GetCurrentState"], env).stdout
        serial = re.match(r"\(uint32 (\d+)", state).group(1)
        with open(reset) as f:
            text = f.read().replace("ApplyMonitorsConfig 0 1", f"ApplyMonitorsConfig {serial} 1")
        with open(reset, "w") as f:
            f.write(text)
        rows = []
        baseline = ["/usr/bin/gdbus", "call", "--session"] + DISPLAY_CONFIG \
            + ["--method", "org.gnome.Mutter.DisplayConfig.GetCurrentState"]
        rows.append(("gnome", "gdbus GetCurrentState (baseline)", bench.measure(baseline, None, env, reset)))
        for command in (["list-outputs"], ["Meta-0", "--json"], ["Meta-0", "set-rotation", "90"],
                        ["Meta-1", "set-primary"]):
            rows.append(("gnome", " ".join(command),
                         bench.measure([bench.dispctl] + command, None, env, reset)))
        return rows
    finally:
        if mutter:
            mutter.terminate()
            mutter.wait(10)
        daemon.terminate()
        daemon.wait(10)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--runs", type=int, default=30)
    parser.add_argument("--quick", action="store_true", help="default set only, fewer runs")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="dispctl-bench-")
    try:
        bench = Bench(args.build, work, 10 if args.quick else args.runs, args.quick)
        rows = []
        floor = bench.measure([bench.floor], None)
        rows.append(("-", "floor (QGuiApplication only)", floor))

        sets = [("default", None)]
        if not args.quick:
            for n in LARGE_SETS:
                path = os.path.join(work, f"set-{n}.json")
                with open(path, "w") as f:
                    f.write(generated_set(n))
                sets.append((f"{n}x{MODES_PER_OUTPUT}", path))

        for name, base in sets:
            bench.restore(base)
            output = "DP-1"
            bright = bench.pick_output("brightness")
            mode = bench.pick_mode(output)
            commands = [
                ["--help"],
                ["list-outputs"],
                ["list-outputs", "--json"],
                [output],
                [output, "--json"],
                [output, "list-modes"],
                [output, "set-scale", "150%"],
                [output, "set-mode", mode],
                [bright, "set-brightness", "50%"],
            ]
            for command in commands:
                result = bench.measure([bench.dispctl] + command, base)
                rows.append((name, " ".join(command), result))
        rows += gnome_rows(bench)
        report(rows, floor)
    finally:
        shutil.rmtree(work, ignore_errors=True)


APPLYING = ("set-scale", "set-mode", "set-brightness")


def report(rows, floor):
    header = f"{'set':<8} {'command':<30} {'median ms':>9} {'x floor':>7} {'instr M':>8} " \
             f"{'x floor':>7} {'peak MiB':>8} {'+floor':>7} {'exit':>4}"
    print(header)
    print("-" * len(header))
    failures = []
    for set_name, command, r in rows:
        t_ratio = r["median_ms"] / floor["median_ms"]
        i_ratio = r["instructions"] / floor["instructions"] if floor["instructions"] else 0
        extra_mib = (r["peak_kib"] - floor["peak_kib"]) / 1024
        print(f"{set_name:<8} {command:<30} {r['median_ms']:9.2f} {t_ratio:7.3f} "
              f"{r['instructions'] / 1e6:8.2f} {i_ratio:7.3f} {r['peak_kib'] / 1024:8.2f} "
              f"{extra_mib:7.2f} {r['status']:4d}")
        if set_name == "default":
            applying = any(word in command for word in APPLYING)
            i_max, t_max = (1.15, 1.5) if applying else (1.10, 1.15)
            if i_ratio > i_max:
                failures.append(f"{command}: instructions {i_ratio:.3f} x floor > {i_max}")
            if t_ratio > t_max:
                failures.append(f"{command}: wall time {t_ratio:.3f} x floor > {t_max}")
        if set_name != "-" and extra_mib > 6:
            failures.append(f"{set_name} {command}: peak memory {extra_mib:.2f} MiB above floor > 6")
        if set_name == "128x100" and command == "list-outputs --json" and i_ratio > 2:
            failures.append(f"128 outputs list-outputs --json: {i_ratio:.3f} x floor > 2")

    # The tool's own instructions from 8 to 128 outputs: above its own --help
    # on the same set, as a run can now cost less than the floor (it skips
    # the application's teardown).
    own = {}
    base = {set_name: r["instructions"] for set_name, command, r in rows if command == "--help"}
    for set_name, command, r in rows:
        if command == "list-outputs --json" and set_name in ("8x100", "128x100"):
            own[set_name] = r["instructions"] - base.get(set_name, floor["instructions"])
    if len(own) == 2 and own["8x100"] > 0:
        growth = own["128x100"] / own["8x100"]
        print(f"\nlist-outputs --json own instructions, 128 vs 8 outputs: {growth:.2f}x "
              f"(linear would be 16x)")
        if growth > 16 * 1.1:
            failures.append(f"own cost grows faster than linearly: {growth:.2f}x for 16x outputs")

    print()
    if failures:
        print("targets missed:")
        for failure in failures:
            print(f"  {failure}")
    else:
        print("all targets met")


if __name__ == "__main__":
    sys.exit(main())
