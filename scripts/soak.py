#!/usr/bin/env python3
"""A soak run: velora (built with ASan and UBSan) under a private X server and PulseAudio, against
lynt-virtual-card and velora-cloud-sim, for a number of cycles of random work. Each cycle picks a
few of: knob storms from the card, wheel and key storms from xdotool, unplug and plug at a random
moment, cloud effect downloads, clip sends, cloud fetches and clip downloads, pads by lyntctl and
by hotkey, recordings, lyntctl commands through the panel, a card that falls silent and comes
back; once in the run, a firmware upgrade through the card's loader. A watchdog asks the panel
after every cycle; a panel that does not answer is a hang.

At the end: velora ends on SIGTERM, no crash, no sanitizer or leak report, no hang; the card's
parameters equal the panel's and the last edits; the settings and sound-pad files read back
whole; no temporary file is left.

usage: scripts/soak.py [--build build-soak] [--cycles N] [--seed N] [--keep] [--firmware-only N]
"""
import argparse
import json
import os
import random
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time

CARD_SOCKET = "#VID_2B53&PID_0041#0"
# The panel's main window, centred on the 1280 x 900 screen (scripts/screenshot-sound.sh).
WIN_X, WIN_Y, WIN_W, WIN_H = 210, 113, 860, 675
VOLUME_IDS = [0, 1, 2, 3] + list(range(38, 47))  # raw 0-100 each
# The card's knob reports carry these levels in quarter steps, 0-25 for 0-100.
QUARTER_IDS = {0, 1, 38}


def knob_value(rng, pid):
    return rng.randint(0, 25) if pid in QUARTER_IDS else rng.randint(0, 100)


HANG_SECONDS = 60
# lyntctl exit statuses that are answers, not faults: done, no card, no answer, refused.
ANSWERED = {0, 2, 3, 4}


class Failure(Exception):
    pass


class Soak:
    def __init__(self, args):
        self.args = args
        self.build = os.path.abspath(args.build)
        self.rng = random.Random(args.seed)
        self.dir = tempfile.mkdtemp(prefix="velora-soak-")
        for sub in ("data", "run", "config", "pulse", "san", "work"):
            os.makedirs(os.path.join(self.dir, sub), mode=0o700, exist_ok=True)
        self.procs = {}
        self.card_lock = threading.Lock()
        self.counts = {}
        self.findings = []
        self.last_set = {}  # param id -> raw value last set through the panel
        self.fw_done = False
        self.fw_results = []  # (passed, times) of each firmware step
        self.silent = False  # the card answers nothing (mute on)
        self.plugged_silent = False  # it was plugged while silent: the panel did not start it
        self.log = open(os.path.join(self.dir, "soak.log"), "w")

    # ---- set-up -------------------------------------------------------------------------------
    def prog(self, *parts):
        return os.path.join(self.build, *parts)

    def env(self):
        env = dict(os.environ)
        san = os.path.join(self.dir, "san")
        env.update({
            "DISPLAY": self.display,
            "LYNT_VIRTUAL_CARD_DIR": self.dir,
            "XDG_DATA_HOME": os.path.join(self.dir, "data"),
            "XDG_RUNTIME_DIR": os.path.join(self.dir, "run"),
            "XDG_CONFIG_HOME": os.path.join(self.dir, "config"),
            "HOME": os.path.join(self.dir, "work"),
            "VELORA_CLOUD_URL": self.cloud_url,
            "PULSE_SERVER": "unix:" + os.path.join(self.dir, "pulse", "native"),
            "PULSE_RUNTIME_PATH": os.path.join(self.dir, "pulse"),
            "ASAN_OPTIONS": "detect_leaks=1:log_path=%s/asan:abort_on_error=0" % san,
            "UBSAN_OPTIONS": "print_stacktrace=1:halt_on_error=1:log_path=%s/ubsan" % san,
            "LSAN_OPTIONS": "suppressions=%s" % os.path.join(ROOT, "scripts", "soak-lsan.supp"),
        })
        env.pop("SESSION_MANAGER", None)
        return env

    def start(self):
        pulse = os.path.join(self.dir, "pulse")
        root = ["--system=no"] if os.getuid() == 0 else []
        self.procs["pulse"] = subprocess.Popen(
            ["pulseaudio"] + root + ["-n", "--daemonize=no", "--exit-idle-time=-1",
             "--disallow-exit", "--disable-shm=yes", "--use-pid-file=no", "--log-level=error",
             "-L", "module-native-protocol-unix auth-anonymous=1 socket=%s/native" % pulse,
             "-L", "module-null-sink sink_name=lynt rate=44100 "
                   "sink_properties='device.description=\"Orin LYNT!\"'",
             "-L", "module-remap-source master=lynt.monitor source_name=lynt_in "
                   "source_properties='device.description=\"Orin LYNT! Input\"'"],
            env=dict(os.environ, HOME=pulse), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        self.start_x()

        package = os.path.join(self.dir, "work", "package.zip")
        subprocess.run([self.prog("tools", "fwpack", "velora-fwpack"), "--out", package,
                        "--version", "2.4", "--hardware", "1.0"], check=True,
                       stdout=subprocess.DEVNULL)
        self.clip = os.path.join(self.dir, "work", "clip.mp3")
        subprocess.run([self.prog("tools", "clipgen", "velora-clipgen"), "--tone", "440",
                        "--seconds", "3", "--out", self.clip], check=True,
                       stdout=subprocess.DEVNULL)
        self.procs["cloud"] = subprocess.Popen(
            [self.prog("tools", "cloud-sim", "velora-cloud-sim"), "--port", "0",
             "--firmware-package", package], stdout=subprocess.PIPE, stdin=subprocess.DEVNULL,
            text=True)
        self.cloud_url = self.procs["cloud"].stdout.readline().strip()
        self.start_card()
        self.write_mood_file()
        self.start_velora()

    def start_x(self):
        # Other X servers come and go on this machine: the display must answer before use.
        # A display number of its own: servers started at once with -displayfd can pick the same.
        for _ in range(10):
            self.display = ":%d" % self.rng.randint(100, 999)
            x = subprocess.Popen(
                ["Xvfb", self.display, "-nolisten", "tcp", "-screen", "0", "1280x900x24"],
                stderr=subprocess.DEVNULL)
            for _ in range(20):
                time.sleep(0.5)
                probe = subprocess.run(["xdotool", "getmouselocation"], capture_output=True,
                                       env=dict(os.environ, DISPLAY=self.display))
                if x.poll() is not None:
                    break
                if probe.returncode == 0:
                    self.procs["x"] = x
                    return
            x.kill()
            x.wait()
        raise Failure("no X server could be started")

    def start_card(self):
        self.card = subprocess.Popen(
            [self.prog("tools", "virtual-card", "lynt-virtual-card"), "--socket",
             os.path.join(self.dir, CARD_SOCKET), "--levels-hz", "20"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)
        self.procs["card"] = self.card
        time.sleep(0.5)

    def write_mood_file(self):
        # Three favourites with hotkeys Ctrl+1..3, hotkeys on: the pads the hotkey storm plays.
        def item(kind, name, hotkey):
            data = struct.pack("<i", kind) + name.encode("utf-16-le").ljust(64, b"\0")[:64]
            data += struct.pack("<Ii", hotkey, 0)
            return data.hex().upper() + "%02X" % (sum(data) % 256)
        clips = [("大哄笑", "DJ_DHX"), ("小哄笑", "DJ_XHX"), ("掌声", "DJ_ZS")]
        lines = ["[HotkeyMood]", "count=%d" % len(clips)]
        lines += ["%d=%s" % (i, item(0, n, 0x20031 + i)) for i, (n, _) in enumerate(clips)]
        lines += ["[HotkeyMoodPath]"] + ["%d=%s" % (i, r) for i, (_, r) in enumerate(clips)]
        lines += ["[Config]", "Volume=80", "EnableHotKey=1"]
        folder = os.path.join(self.dir, "data", "Velora")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "LyntMoodcfg.ini"), "wb") as f:
            f.write(b"\xff\xfe" + "\r\n".join(lines + [""]).encode("utf-16-le"))

    def start_velora(self):
        self.velora = subprocess.Popen([self.prog("app", "velora")], env=self.env(),
                                       stdout=self.log, stderr=self.log)
        self.procs["velora"] = self.velora
        deadline = time.time() + 120  # ASan makes the start slow
        while time.time() < deadline:
            if self.velora.poll() is not None:
                raise Failure("velora ended at start with status %d" % self.velora.returncode)
            if self.lyntctl(["panel", "show"], quiet=True)[0] == 0:
                time.sleep(2)
                return
            time.sleep(1)
        raise Failure("velora did not answer within 120 s of its start")

    # ---- helpers ------------------------------------------------------------------------------
    def note(self, text):
        self.log.write("%.1f %s\n" % (time.time() - self.t0, text))
        self.log.flush()

    def count(self, what):
        self.counts[what] = self.counts.get(what, 0) + 1

    def card_cmd(self, line):
        with self.card_lock:
            if self.card.poll() is not None:
                raise Failure("the virtual card ended")
            self.card.stdin.write(line + "\n")
            self.card.stdin.flush()
            if line == "state":
                return json.loads(self.card.stdout.readline())
        return None

    def lyntctl(self, words, timeout=HANG_SECONDS, quiet=False):
        cmd = [self.prog("tools", "lyntctl", "lyntctl")] + words
        try:
            p = subprocess.run(cmd, env=self.env(), capture_output=True, text=True,
                               timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("hang: lyntctl %s got no answer in %d s" % (" ".join(words), timeout))
        if not quiet:
            self.note("lyntctl %s -> %d %s" % (" ".join(words), p.returncode,
                                              (p.stdout + p.stderr).strip()[:4000]))
        if p.returncode not in ANSWERED and p.returncode != 1:
            raise Failure("lyntctl %s ended with %d: %s" % (" ".join(words), p.returncode,
                                                            p.stderr.strip()[:400]))
        return p.returncode, p.stdout, p.stderr

    def xdo(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env(),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)

    def click(self, x, y):
        self.xdo("mousemove", WIN_X + x, WIN_Y + y, "click", 1)

    # ---- the actions --------------------------------------------------------------------------
    def knob_storm(self):
        for _ in range(self.rng.randint(20, 200)):
            pid = self.rng.choice(VOLUME_IDS)
            self.card_cmd("knob %d %d" % (pid, knob_value(self.rng, pid)))
            time.sleep(self.rng.choice([0, 0, 0.005, 0.02]))

    def xdotool_storm(self):
        for _ in range(self.rng.randint(10, 60)):
            x = self.rng.randint(40, WIN_W - 40)
            y = self.rng.randint(80, WIN_H - 40)
            self.xdo("mousemove", WIN_X + x, WIN_Y + y, "click", self.rng.choice([4, 5]))
        self.xdo("key", "Escape")

    def unplug_plug(self):
        self.card_cmd("unplug")
        time.sleep(self.rng.uniform(0, 2))
        with self.card_lock:
            self.plugged_silent = self.plugged_silent or self.silent
        self.card_cmd("plug")
        time.sleep(self.rng.uniform(1, 3))

    def panel_commands(self):
        for _ in range(self.rng.randint(2, 6)):
            kind = self.rng.choice(["get", "set", "effect", "info", "eq", "effects", "preset"])
            if kind == "set":
                pid = self.rng.choice(VOLUME_IDS)
                value = self.rng.randint(0, 100)
                status = self.lyntctl(["set", str(pid), str(value)])[0]
                if status == 0:
                    self.last_set[pid] = value
            elif kind == "effect":
                self.lyntctl(["effect", str(self.rng.randint(0, 6))])
            elif kind == "preset":
                self.lyntctl(["preset", str(self.rng.randint(1, 3)), str(self.rng.randint(0, 3))])
            elif kind == "get":
                self.lyntctl(["get"])
            else:
                self.lyntctl([kind])

    def effect_download(self):
        status, out, _ = self.lyntctl(["cloud", "effects"])
        if status != 0:
            return
        positions = [line.split()[0] for line in out.splitlines() if line.split()]
        if positions:
            self.lyntctl(["cloud", "effect", self.rng.choice(positions), "--use"], timeout=120)

    def clip_send(self):
        self.lyntctl(["send-clip", self.clip, "--slot", str(self.rng.randint(0, 4))],
                     timeout=300)

    def cloud_fetch(self):
        status, out, _ = self.lyntctl(["cloud", "sounds", str(self.rng.randint(0, 2))])
        ids = [line.split()[0] for line in out.splitlines() if line.split()]
        if status == 0 and ids:
            self.lyntctl(["cloud", "sound", self.rng.choice(ids)], timeout=120)

    def pads(self):
        for _ in range(self.rng.randint(1, 4)):
            if self.rng.random() < 0.5:
                self.lyntctl(["pad", str(self.rng.randint(1, 3))])
            else:
                self.xdo("key", "ctrl+%d" % self.rng.randint(1, 3))
            time.sleep(self.rng.uniform(0, 1.5))
        self.lyntctl(["pad", "--stop"])

    def recording(self):
        # The sound page's record button (scripts/screenshot-sound.sh): start, wait, stop.
        self.click(663, 559)
        time.sleep(self.rng.uniform(0.5, 4))
        self.click(663, 559)
        time.sleep(1)
        self.xdo("key", "Escape")

    def silent_card(self):
        with self.card_lock:
            self.silent = True
        self.card_cmd("mute on")
        try:
            pid = self.rng.choice(VOLUME_IDS)
            value = self.rng.randint(0, 100)
            status = self.lyntctl(["set", str(pid), str(value)], timeout=HANG_SECONDS)[0]
            if status == 0:
                self.findings.append("a set while the card was silent reported done")
        finally:
            time.sleep(self.rng.uniform(0, 3))
            self.card_cmd("mute off")
            with self.card_lock:
                self.silent = False
        time.sleep(2)

    def firmware(self):
        # The panel's firmware dialog, opened by lyntctl: "立即升级", the warning's "确定"; the card
        # goes to its loader and takes the image; "确定" and the card is plugged again.
        ready = self.log_count("the download done")
        self.lyntctl(["panel", "upgrade"])
        # The upgrade button shows once the package is in: on a loaded machine that takes a while.
        deadline = time.time() + 120
        while time.time() < deadline and self.log_count("the download done") == ready:
            time.sleep(0.5)
        time.sleep(1)
        self.click(552, 395)
        time.sleep(2)
        clicked = time.time()
        self.click(414, 408)
        # When the card went to its loader, when the panel opened it, the first block, the check.
        marks = {}
        deadline = time.time() + 300
        passed = False
        while time.time() < deadline and not passed:
            time.sleep(0.2)
            state = self.card_cmd("state")
            fw = state.get("firmware", {})
            now = time.time() - clicked
            if state.get("mode") == "loader":
                marks.setdefault("loader", now)
            if fw.get("host_connected"):
                marks.setdefault("opened", now)
            if fw.get("blocks", 0) > 0:
                marks.setdefault("first_block", now)
            passed = state.get("mode") == "loader" and fw.get("check_passed")
            if passed:
                marks["checked"] = now
        times = " ".join("%s=%.1fs" % kv for kv in sorted(marks.items(), key=lambda kv: kv[1]))
        self.fw_results.append((passed, times))
        self.note("firmware: %s after the click: %s" % ("passed" if passed else "FAILED", times))
        self.note("firmware: %s" % json.dumps(self.card_cmd("state").get("firmware", {}))[:300])
        if not passed:
            self.findings.append("the firmware upgrade did not reach a checked image in 300 s (%s)"
                                 % (times or "the card never went to its loader"))
            self.capture_firmware_failure()
        time.sleep(2)
        self.click(552, 395)
        self.card_cmd("plug")
        time.sleep(5)
        self.xdo("key", "Escape")
        self.fw_done = True

    def panel_log_lines(self, word):
        lines = []
        for d, _, files in os.walk(os.path.join(self.dir, "data")):
            for f in sorted(files):
                if f.endswith(".log"):
                    with open(os.path.join(d, f), errors="replace") as fh:
                        lines += [l.rstrip() for l in fh if word in l]
        return lines

    def log_count(self, text):
        return len(self.panel_log_lines(text))

    def restart_card(self):
        # A new card at the old firmware, so that the next upgrade has something to do.
        self.card_cmd("unplug")
        self.card.send_signal(signal.SIGTERM)
        self.card.wait(10)
        self.start_card()
        time.sleep(3)

    def capture_firmware_failure(self):
        # What the dialog showed and what the panel logged of the upgrade, for the report.
        shot = os.path.join(self.dir, "firmware-failed.png")
        subprocess.run(["import", "-window", "root", shot], env=self.env(),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        lines = self.panel_log_lines("firmware")
        self.note("firmware failure: screenshot %s; the panel's firmware log lines:" % shot)
        for line in lines[-40:]:
            self.note("  " + line)
        shown = [l for l in lines if "shows the error" in l or "failed after" in l]
        if shown:
            self.findings.append("the firmware dialog: %s" % shown[-1][-300:])

    ACTIONS = ["knob_storm", "xdotool_storm", "unplug_plug", "panel_commands", "effect_download",
               "clip_send", "cloud_fetch", "pads", "recording", "silent_card"]

    # ---- the run ------------------------------------------------------------------------------
    def watchdog(self):
        if self.velora.poll() is not None:
            raise Failure("velora ended during the run with status %d" % self.velora.returncode)
        started = time.time()
        status = self.lyntctl(["get", "0"], timeout=HANG_SECONDS)[0]
        if status not in ANSWERED:
            raise Failure("the panel answered the watchdog with %d" % status)
        return time.time() - started

    def cycle(self, n):
        picks = self.rng.sample(self.ACTIONS, self.rng.randint(1, 3))
        half_time = self.args.minutes and time.time() - self.t0 > self.args.minutes * 30
        if not self.fw_done and (n == self.args.cycles // 2 or half_time):
            picks = ["firmware"]
        # Unplug at a random moment while the others run (mid-flush, mid-download, mid-clip).
        unplugger = None
        if "unplug_plug" in picks and len(picks) > 1:
            picks.remove("unplug_plug")
            unplugger = threading.Timer(self.rng.uniform(0, 3), self.unplug_plug)
            unplugger.start()
            self.count("unplug_plug")
        self.note("cycle %d: %s%s" % (n, " ".join(picks), " +unplug" if unplugger else ""))
        errors = []
        threads = []
        for name in picks:
            self.count(name)

            def run(name=name):
                try:
                    getattr(self, name)()
                except Failure as e:
                    errors.append(e)
            t = threading.Thread(target=run)
            t.start()
            threads.append(t)
        for t in threads:
            t.join(600)
            if t.is_alive():
                errors.append(Failure("hang: an action did not end in 600 s"))
        if unplugger:
            unplugger.join(30)
        if errors:
            raise errors[0]
        if self.plugged_silent:
            # A card silent at its plug is not started by the panel (it shows it as not
            # connected until the next arrival): the user plugs it again once it answers.
            self.plugged_silent = False
            self.count("replug_after_silence")
            self.card_cmd("unplug")
            time.sleep(0.5)
            self.card_cmd("plug")
            time.sleep(3)
        self.watchdog()

    def final_edits(self):
        # The last edits: a knob on the card, then a set through the panel.
        knob_id = self.rng.choice(VOLUME_IDS)
        knob = knob_value(self.rng, knob_id)
        self.card_cmd("knob %d %d" % (knob_id, knob))
        time.sleep(1)
        set_id = self.rng.choice([i for i in VOLUME_IDS if i != knob_id])
        set_value = self.rng.randint(0, 100)
        if self.lyntctl(["set", str(set_id), str(set_value)])[0] != 0:
            raise Failure("the final set was not done")
        time.sleep(2)
        card = self.card_cmd("state")["params"]
        status, out, _ = self.lyntctl(["--json", "get"])
        if status != 0:
            raise Failure("the final get was not done")
        panel = {}
        for line in out.splitlines():
            o = json.loads(line)
            panel[o["id"]] = o["raw"]
        level = knob * 4 if knob_id in QUARTER_IDS else knob
        if card[knob_id] != level or panel.get(knob_id) != level:
            self.findings.append("the card's knob turned param %d to %d: the card holds %d, the "
                                 "panel shows %s" % (knob_id, level, card[knob_id],
                                                     panel.get(knob_id)))
        if card[set_id] != set_value:
            self.findings.append("card param %d is %d, the panel set %d" %
                                 (set_id, card[set_id], set_value))
        differ = ["%d (panel %d, card %d)" % (i, panel[i], card[i]) for i in sorted(panel)
                  if i < len(card) and panel[i] != card[i]]
        if differ:
            self.findings.append("panel and card differ on params %s" % ", ".join(differ))

    def stop_velora(self):
        self.velora.send_signal(signal.SIGTERM)
        try:
            status = self.velora.wait(HANG_SECONDS)
        except subprocess.TimeoutExpired:
            self.dump_stacks()
            raise Failure("hang: velora did not end within %d s of SIGTERM" % HANG_SECONDS)
        if status != 0:
            self.findings.append("velora ended with status %d" % status)

    def dump_stacks(self):
        if shutil.which("gdb") and self.velora.poll() is None:
            out = os.path.join(self.dir, "stacks.txt")
            with open(out, "w") as f:
                subprocess.run(["gdb", "-p", str(self.velora.pid), "-batch", "-ex",
                                "thread apply all bt"], stdout=f, stderr=subprocess.STDOUT,
                               timeout=120)
            print("soak: stacks of the hung velora in %s" % out)

    def check_files(self):
        data = os.path.join(self.dir, "data")
        for name in ("LyntConfigData.db", "LyntMoodcfg.ini"):
            found = [os.path.join(d, name) for d, _, files in os.walk(data) if name in files]
            if not found:
                self.findings.append("%s is missing" % name)
                continue
            with open(found[0], "rb") as f:
                raw = f.read()
            try:
                text = raw[2:].decode("utf-16-le") if raw[:2] == b"\xff\xfe" else raw.decode()
            except UnicodeDecodeError:
                self.findings.append("%s is no longer text" % name)
                continue
            sections = 0
            for line in text.splitlines():
                line = line.strip()
                if not line or line.startswith(";"):
                    continue
                if line.startswith("[") and line.endswith("]"):
                    sections += 1
                elif "=" not in line:
                    self.findings.append("%s has a broken line: %r" % (name, line[:80]))
            if not text.endswith("\n") or sections == 0:
                self.findings.append("%s is cut short" % name)
        mood = [os.path.join(d, "LyntMoodcfg.ini") for d, _, f in os.walk(data)
                if "LyntMoodcfg.ini" in f]
        if mood:
            with open(mood[0], "rb") as f:
                text = f.read()[2:].decode("utf-16-le", "replace")
            if "DJ_DHX" not in text:
                self.findings.append("the favourites of the sound-pad file were lost")
        temp = re.compile(r"(\.[A-Za-z0-9]{6}$)|(\.lyntctl-)|(\.tmp$)|(\.part$)|(~$)")
        for top in ("data", "config", "run"):
            for d, _, files in os.walk(os.path.join(self.dir, top)):
                for f in files:
                    if temp.search(f):
                        self.findings.append("temporary file left: %s" %
                                             os.path.relpath(os.path.join(d, f), self.dir))

    def check_sanitizers(self):
        san = os.path.join(self.dir, "san")
        for f in sorted(os.listdir(san)):
            with open(os.path.join(san, f), errors="replace") as fh:
                text = fh.read()
            head = next((l for l in text.splitlines() if "ERROR" in l or "runtime error" in l),
                        None)
            if head is None:
                continue  # only the suppressions used
            self.findings.append("sanitizer report %s: %s" % (f, head.strip()))
            if self.args.keep:
                print(text[:4000])

    def run(self):
        self.t0 = time.time()
        failure = None
        cycles = 0
        try:
            self.start()
            for n in range(self.args.firmware_only):
                if n:
                    self.restart_card()
                self.note("firmware run %d" % n)
                self.count("firmware")
                self.firmware()
                self.watchdog()
            for n in range(self.args.cycles if not self.args.firmware_only else 0):
                self.cycle(n)
                cycles += 1
                if self.args.minutes and time.time() - self.t0 > self.args.minutes * 60:
                    break
            self.final_edits()
            self.stop_velora()
        except Failure as e:
            failure = str(e)
            if "hang" in failure:
                self.dump_stacks()
        finally:
            for name in ("velora", "card", "cloud", "x", "pulse"):
                p = self.procs.get(name)
                if p and p.poll() is None:
                    p.send_signal(signal.SIGTERM)
                    try:
                        p.wait(10)
                    except subprocess.TimeoutExpired:
                        p.kill()
        if failure is None:
            self.check_files()
        self.check_sanitizers()
        minutes = (time.time() - self.t0) / 60
        print("soak: %d cycles in %.1f min (seed %d)" % (cycles, minutes, self.args.seed))
        print("soak: actions %s" % " ".join("%s=%d" % kv for kv in sorted(self.counts.items())))
        for passed, times in self.fw_results:
            print("soak: firmware %s: %s" % ("passed" if passed else "FAILED", times))
        for f in self.findings:
            print("soak: FOUND " + f)
        if failure:
            print("soak: FAILED " + failure)
        print("soak: log and files in %s" % self.dir)
        ok = failure is None and not self.findings
        if ok and not self.args.keep:
            shutil.rmtree(self.dir, ignore_errors=True)
        return 0 if ok else 1


ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build-soak"))
    parser.add_argument("--cycles", type=int, default=int(os.environ.get("SOAK_CYCLES", "30")))
    parser.add_argument("--minutes", type=float, default=0,
                        help="stop after this long even when cycles remain")
    parser.add_argument("--seed", type=int, default=int(time.time()) % 100000)
    parser.add_argument("--keep", action="store_true", help="keep the run's folder")
    parser.add_argument("--firmware-only", type=int, default=0, metavar="N",
                        help="only N firmware upgrades, each timed (no cycles)")
    return Soak(parser.parse_args()).run()


if __name__ == "__main__":
    sys.exit(main())
