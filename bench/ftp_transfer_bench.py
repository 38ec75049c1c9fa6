#!/usr/bin/python3
"""Load and save against the test recorder with a simulated round trip, next to lftp.

Starts tools/recorder-sim on 127.0.0.1 with ACCOUNTS account files, a message file
(MESS340.6), BLACK.TXT and CFG.USR, and every reply delayed by --delay-ms. Then, in rounds
with the order alternating, it runs

  our load    pellaro-cli load  (the whole procedure: login, report, listing, downloads, QUIT)
  lftp get    lftp in active mode fetching the same files (mget USR.*, get the other three)
  our save    pellaro-cli save  (login, report, listing, uploads, key command, CFG.USR, QUIT)
  lftp put    lftp in active mode putting the same files

(optionally also lftp with its defaults, and a bare in-process client: the floor) and prints
the medians of the wall times (process start to exit), the commands each one
sent (from the recorder's command log), and the recorder's timing log split into the time
the recorder spent delaying replies and the time between a reply leaving the recorder and
the next command arriving (the client's share, loopback included).

Run from the source tree after building pellaro-cli:
    bench/ftp_transfer_bench.py [--build build] [--rounds 5] [--delay-ms 10] [--accounts 200]
"""

import argparse
import collections
import hashlib
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
SIM = os.path.join(SOURCE, "tools", "recorder-sim", "recorder_sim.py")
PYTHON = "/usr/bin/python3"
USER, PASSWORD = "ADMIN", "pw"

# lftp kept to the floor of active mode: PORT and the data command per file. Left at its
# defaults lftp also sends FEAT, SIZE and MDTM per download and SITE UTIME after uploads
# (see --lftp-defaults).
LFTP_FLOOR = [
    "set ftp:use-feat no",
    "set ftp:use-size no",
    "set ftp:use-mdtm no",
    "set ftp:use-site-utime no",
    "set ftp:use-site-utime2 no",
]
LFTP_COMMON = [
    "set ftp:passive-mode off",
    "set ftp:ssl-allow no",  # the recorder has no TLS; otherwise lftp asks for AUTH TLS first
    "set net:max-retries 1",
    "set xfer:clobber on",
    "set cmd:fail-exit yes",
]


def fill_recorder(root, accounts, message_bytes):
    """The recorder's files: USR.ADMIN plus accounts-1 more, MESS340.6, BLACK.TXT, CFG.USR."""
    names = []

    def put(name, data):
        with open(os.path.join(root, name), "wb") as f:
            f.write(data)
        names.append(name)

    put("USR.ADMIN", b"%s\r\n1\r\n" % PASSWORD.encode())
    for i in range(1, accounts):
        put("USR.U%04d" % i, b"pw%d\r\n%d\r\n" % (i, i % 8 + 1))
    put("MESS340.6", bytes((i * 37 + 11) & 0xFF for i in range(message_bytes)))
    put("BLACK.TXT", b"".join(b"0%09d\r\n" % (4711 + i) for i in range(50)))
    put("CFG.USR", b"a\rb\rc\r0\re\r0\r0\rh\r")
    return names


def digest(root):
    h = hashlib.sha256()
    for name in sorted(os.listdir(root)):
        h.update(name.encode() + b"\0")
        with open(os.path.join(root, name), "rb") as f:
            h.update(f.read())
    return h.hexdigest()[:16]


class Recorder:
    def __init__(self, root, logs, delay_ms):
        self.log = os.path.join(logs, "commands.log")
        self.timing = os.path.join(logs, "timing.log")
        self.proc = subprocess.Popen(
            [PYTHON, "-W", "ignore", SIM, "--root", root, "--host", "127.0.0.1", "--port", "0",
             "--log", self.log, "--timing-log", self.timing, "--delay-ms", str(delay_ms)],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        words = self.proc.stdout.readline().split()
        if len(words) != 3 or words[0] != "LISTENING":
            self.stop()
            sys.exit("the test recorder did not start")
        self.port = int(words[2])

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()

    def mark(self):
        return tuple(os.path.getsize(p) if os.path.exists(p) else 0 for p in (self.log, self.timing))

    def since(self, mark):
        """Command lines and timing events written after mark."""
        out = []
        for path, offset in zip((self.log, self.timing), mark):
            with open(path, "rb") as f:
                f.seek(offset)
                out.append(f.read().decode("utf8", "surrogateescape").splitlines())
        commands, timing = out
        events = []
        for line in timing:
            t, kind, text = (line.split(" ", 2) + [""])[:3]
            events.append((float(t), kind, text))
        return commands, events


class Run:
    """One client run: wall time and what the recorder saw."""

    def __init__(self, span, commands, events, delay_s):
        self.wall = span[1] - span[0]
        # Process start to the greeting leaving the recorder, the reply to QUIT to the exit.
        self.startup = events[0][0] - span[0] if events else 0.0
        self.exit = span[1] - events[-1][0] if events else 0.0
        self.commands = commands
        replies = [e for e in events if e[1] == "R"]
        self.replies = len(replies)
        self.data_connections = sum(1 for e in events if e[1] == "D+")
        self.delayed = self.replies * delay_s
        # From the greeting leaving the recorder to the reply to QUIT.
        self.dialogue = replies[-1][0] - replies[0][0] if replies else 0.0
        # Reply out -> next command in: the client's turn (with loopback and the recorder's
        # reading). One gap per command after the first reply.
        self.gaps = []
        last_reply = None
        for t, kind, _ in events:
            if kind == "R":
                last_reply = t
            elif kind == "C" and last_reply is not None:
                self.gaps.append(t - last_reply)
                last_reply = None

    def verbs(self):
        c = collections.Counter()
        for line in self.commands:
            c[line.split(" ", 1)[0].upper()] += 1
        return c

    def transfers(self):
        return sum(n for v, n in self.verbs().items() if v in ("RETR", "STOR", "LIST", "NLST", "MLSD"))

    def port_pairs(self):
        """Data commands directly preceded by their own PORT."""
        n = 0
        for prev, cur in zip(self.commands, self.commands[1:]):
            if cur.split(" ", 1)[0].upper() in ("RETR", "STOR", "LIST", "NLST", "MLSD") and prev.startswith("PORT "):
                n += 1
        return n


def timed(recorder, argv, env=None):
    mark = recorder.mark()
    start = time.monotonic()
    res = subprocess.run(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    end = time.monotonic()
    time.sleep(0.05)  # let the recorder finish its logs
    if res.returncode != 0:
        sys.stderr.write(res.stderr.decode(errors="replace"))
        sys.exit("%s failed with exit code %d" % (argv[0], res.returncode))
    return (start, end), recorder.since(mark)


def bare_get(recorder, names):
    """The least a client can do: USER, PASS, then PORT and RETR per file, QUIT; nothing
    between a reply and the next command but reading it. In this process (no start-up)."""
    mark = recorder.mark()
    start = time.monotonic()
    ctrl = socket.create_connection(("127.0.0.1", recorder.port))
    ctrl.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    replies = ctrl.makefile("rb")

    def reply():
        line = replies.readline()
        while line[3:4] == b"-":
            line = replies.readline()
        return line

    def command(text):
        ctrl.sendall(text.encode() + b"\r\n")
        return reply()

    reply()
    command("USER " + USER)
    command("PASS " + PASSWORD)
    for name in names:
        with socket.socket() as listener:
            listener.bind(("127.0.0.1", 0))
            listener.listen(1)
            port = listener.getsockname()[1]
            command("PORT 127,0,0,1,%d,%d" % (port >> 8, port & 0xFF))
            data, _ = listener.accept()
        first = command("RETR " + name)
        with data:
            while data.recv(65536):
                pass
        if first[:1] == b"1":
            reply()
    command("QUIT")
    ctrl.close()
    end = time.monotonic()
    time.sleep(0.05)
    return (start, end), recorder.since(mark)


def lftp_script(port, lines, floor):
    head = LFTP_COMMON + (LFTP_FLOOR if floor else [])
    return "\n".join(head + ["open -u %s,%s ftp://127.0.0.1:%d" % (USER, PASSWORD, port)] + lines + ["bye", ""])


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build", default=os.path.join(SOURCE, "build"), help="build folder holding bin/pellaro-cli")
    p.add_argument("--rounds", type=int, default=5)
    p.add_argument("--delay-ms", type=int, default=10)
    p.add_argument("--accounts", type=int, default=200)
    p.add_argument("--message-bytes", type=int, default=6000)
    p.add_argument("--lftp-defaults", action="store_true",
                   help="also time lftp with its default settings (FEAT, SIZE, MDTM, SITE UTIME)")
    p.add_argument("--bare", action="store_true",
                   help="also time a bare in-process client (PORT and RETR per file, nothing else): the floor")
    p.add_argument("--keep", action="store_true", help="keep the temporary folder (logs) and print its path")
    o = p.parse_args()

    cli = os.path.join(o.build, "bin", "pellaro-cli")
    lftp = shutil.which("lftp")
    if not os.access(cli, os.X_OK):
        sys.exit("no %s: build the target pellaro-cli first" % cli)
    if not lftp:
        sys.exit("lftp is not installed (Debian package lftp)")

    tmp = tempfile.mkdtemp(prefix="ftpbench-")
    root, logs, work, lget = (os.path.join(tmp, n) for n in ("root", "logs", "work", "lftp"))
    for d in (root, logs, work, lget):
        os.makedirs(d)
    files = fill_recorder(root, o.accounts, o.message_bytes)
    before = digest(root)
    delay = o.delay_ms / 1000.0
    recorder = Recorder(root, logs, o.delay_ms)
    env = dict(os.environ, PELLARO_PASSWORD=PASSWORD)
    conn = ["--host", "127.0.0.1", "--port", str(recorder.port), "--user", USER]
    others = [n for n in files if not n.startswith("USR.")]

    jobs = {"our load": lambda: timed(recorder, [cli, "--workfolder", work, "load"] + conn, env),
            "our save": lambda: timed(recorder, [cli, "--workfolder", work, "--no", "save"] + conn, env),
            "bare get": lambda: bare_get(recorder, files)}
    for floor, suffix in ((True, ""), (False, " (defaults)")):
        if not floor and not o.lftp_defaults:
            continue
        for verb, lines in (("get", ["lcd " + lget, "mget USR.*", "get " + " ".join(others)]),
                            ("put", ["lcd " + lget, "mput USR.* " + " ".join(others)])):
            path = os.path.join(tmp, "%s%s.lftp" % (verb, "" if floor else "-defaults"))
            with open(path, "w") as f:
                f.write(lftp_script(recorder.port, lines, floor))
            jobs["lftp %s%s" % (verb, suffix)] = (lambda path=path: timed(recorder, [lftp, "-f", path]))
    others_get = ["lftp get"] + (["lftp get (defaults)"] if o.lftp_defaults else []) + (["bare get"] if o.bare else [])
    others_put = ["lftp put"] + (["lftp put (defaults)"] if o.lftp_defaults else [])
    order = ["our load"] + others_get + ["our save"] + others_put
    runs = collections.defaultdict(list)

    def do(name):
        span, (cmds, events) = jobs[name]()
        run = Run(span, cmds, events, delay)
        runs[name].append(run)
        print("  %-20s wall %.3f s, dialog %.3f s, before it %.3f s, after it %.3f s, gaps %.3f s"
              % (name, run.wall, run.dialogue, run.startup, run.exit, sum(run.gaps)), file=sys.stderr)

    try:
        # The save needs the local copy of a load, lftp's put the files of its get.
        do("our load")
        do("lftp get")
        runs.clear()
        for r in range(o.rounds):
            # Alternate which client goes first in each pair.
            for mine, theirs in (("our load", others_get), ("our save", others_put)):
                for name in ([mine] + theirs if r % 2 == 0 else theirs + [mine]):
                    do(name)
            print("round %d/%d done" % (r + 1, o.rounds), file=sys.stderr)
    finally:
        recorder.stop()
    after = digest(root)

    nfiles = len(files)
    print("Test recorder: %d files (%d accounts, MESS340.6 of %d bytes, BLACK.TXT, CFG.USR), every reply "
          "delayed %d ms, 127.0.0.1; %d rounds, order alternating; the recorder's files %s after all runs."
          % (nfiles, o.accounts, o.message_bytes, o.delay_ms, o.rounds,
             "unchanged" if before == after else "CHANGED"))
    print()
    hdr = ("%-20s %7s %7s %7s %5s %5s %5s %7s %7s %7s %7s %7s %7s"
           % ("client", "wall", "dialog", "outside", "cmds", "xfers", "repl", "cmds*d", "repl*d", "beyond",
              "gap med", "gap sum", "gap max"))
    print(hdr)
    print("-" * len(hdr))
    med = {}
    for name in order:
        rs = runs[name]
        m = lambda f: statistics.median(f(r) for r in rs)  # noqa: E731
        med[name] = m(lambda r: r.wall)
        last = rs[-1]
        print("%-20s %6.3fs %6.3fs %6.3fs %5d %5d %5d %6.3fs %6.3fs %6.3fs %5.2fms %6.3fs %5.1fms"
              % (name, med[name], m(lambda r: r.dialogue), m(lambda r: r.wall - r.dialogue), len(last.commands),
                 last.transfers(), last.replies, len(last.commands) * delay, last.replies * delay,
                 m(lambda r: r.wall - r.delayed), 1000 * m(lambda r: statistics.median(r.gaps)),
                 m(lambda r: sum(r.gaps)), 1000 * max(max(r.gaps) for r in rs)))
    print()
    print("Medians over the rounds. wall: process start to exit; dialog: the greeting leaving the recorder to")
    print("the reply to QUIT; outside: wall - dialog (start-up, local files, exit); cmds: commands sent;")
    print("xfers: data commands; repl: replies, each delayed by the recorder; beyond: wall - repl*d;")
    print("gap: a reply leaving the recorder to the next command arriving there (the client's turn, with")
    print("loopback and the recorder's own reading). The bare client runs in this process: no start-up.")
    print()
    for name in order:
        last = runs[name][-1]
        verbs = sorted(last.verbs().items(), key=lambda x: (-x[1], x[0]))
        print("%-20s %s" % (name + ":", ", ".join("%s %d" % vn for vn in verbs)))
        print("%-20s data commands right after their own PORT: %d of %d; commands per file: %.3f (%d files)"
              % ("", last.port_pairs(), last.transfers(), len(last.commands) / nfiles, nfiles))
    print()
    print("Goals (against lftp kept to two commands per file):")
    for mine, theirs in (("our load", "lftp get"), ("our save", "lftp put")):
        last = runs[mine][-1]
        cmd_floor = len(last.commands) * delay
        paired = statistics.median(a.wall / b.wall for a, b in zip(runs[mine], runs[theirs]))
        print("  %s: %.3f s = %.3f x lftp's %.3f s (median of the rounds' ratios %.3f) [goal <= 1.0]"
              % (mine, med[mine], med[mine] / med[theirs], med[theirs], paired))
        print("  %s  = %.3f x (commands x delay = %.3f s) [goal <= 1.2]; = %.3f x (replies x delay = %.3f s)"
              % (" " * len(mine), med[mine] / cmd_floor, cmd_floor, med[mine] / (last.replies * delay),
                 last.replies * delay))
    if o.keep:
        print("\nlogs and files kept in", tmp)
    else:
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    main()
