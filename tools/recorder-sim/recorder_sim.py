#!/usr/bin/python3
"""A test recorder: a real FTP server (pyftpdlib) with the recorder's few extras.

- Accounts come from the "USR." files of the login folder (line 1 is the password),
  read at every login, plus an optional administrator account.
- "test report2" answers with a configurable first line.
- LIST takes a glob argument ("USR.*") and answers in the usual "ls -l" style.
- LIST "[K]<hex pairs>" is a key command: its decoded bytes go to the key log and the
  listing is empty.
- Every command line received goes to the command log, unchanged.
- On request a timing log notes when each command came, each reply left and each data
  connection opened and closed (for benchmarks: the client's share of the time).
- Files travel as bytes whatever TYPE says (the recorder has no text mode).
- Faults on request, see --help.

It prints "LISTENING <host> <port>" on stdout once it accepts connections
(--port 0 picks a free port) and runs until it is terminated.
"""

import argparse
import asynchat  # the module pyftpdlib's handlers are built on
import fnmatch
import logging
import os
import signal
import socket
import sys
import time

from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, proto_cmds
from pyftpdlib.servers import FTPServer

ENC = "utf8"
ERRORS = "surrogateescape"  # file and user names reach the disk byte for byte


def read_first_line(path):
    """Line 1 of a text file with CR, LF, CR LF or LF CR line ends."""
    with open(path, "rb") as f:
        data = f.read()
    for i, c in enumerate(data):
        if c in (0x0D, 0x0A):
            return data[:i]
    return data


class RecorderAuthorizer(DummyAuthorizer):
    """Users are the "USR." files of the root (password on line 1) and the admin."""

    def __init__(self, root, admin):
        super().__init__()
        self.root = root
        self.admin = admin  # (user, password) or None

    def _password_of(self, username):
        if self.admin and username == self.admin[0]:
            return self.admin[1].encode(ENC, ERRORS)
        path = os.path.join(self.root, "USR." + username)
        if not username or not os.path.isfile(path):
            return None
        return read_first_line(path)

    def validate_authentication(self, username, password, handler):
        expected = self._password_of(username)
        if expected is None or expected != password.encode(ENC, ERRORS):
            raise AuthenticationFailed("Authentication failed.")

    def get_home_dir(self, username):
        return self.root

    def has_user(self, username):
        return self._password_of(username) is not None

    def has_perm(self, username, perm, path=None):
        return True

    def get_perms(self, username):
        return "elradfmw"

    def get_msg_login(self, username):
        return "Logged in."

    def get_msg_quit(self, username):
        return "Goodbye."

    def impersonate_user(self, username, password):
        pass

    def terminate_impersonation(self, username):
        pass


class RecorderDTP(DTPHandler):
    """Data channel with the recorder's faults: dropped or stalled transfers."""

    def __init__(self, sock, cmd_channel):
        super().__init__(sock, cmd_channel)
        cmd_channel.sim_timing("D+", "")

    def close(self):
        if not self._closed:
            self.cmd_channel.sim_timing("D-", "")
        super().close()

    def close_when_done(self):
        if self.cmd_channel.sim_stall_transfer and self.cmd == "RETR":
            return  # keep the data connection open without sending more
        super().close_when_done()

    def handle_close(self):
        if not self._closed and self.cmd_channel.sim_abort_transfer:
            self.cmd_channel.sim_abort_transfer = False
            self._resp = ("426 Connection closed; transfer aborted.", logging.info)
            self.close()
            return
        super().handle_close()

    def handle_read(self):
        limit = self.cmd_channel.opts.drop_after
        if limit is None or not self.receive:
            return super().handle_read()
        try:
            chunk = self.recv(self.ac_in_buffer_size)
        except Exception:
            return super().handle_error()
        if not chunk:
            self.transfer_finished = True
            return
        room = limit - self.tot_bytes_received
        self.tot_bytes_received += len(chunk)
        if room > 0:
            self.file_obj.write(chunk[:room])
        if self.tot_bytes_received >= limit:
            self._resp = ("426 Connection closed; transfer aborted.", logging.info)
            self.close()

    handle_read_event = handle_read  # the base class binds its own handle_read here


class RecorderHandler(FTPHandler):
    opts = None  # the parsed command line, set in main()
    dtp_handler = RecorderDTP
    use_sendfile = False
    auth_failed_timeout = 0
    unicode_errors = ERRORS
    banner = "Sonvault test recorder ready."
    proto_cmds = dict(proto_cmds)
    proto_cmds["TEST"] = dict(perm=None, auth=True, arg=True,
                              help="Syntax: TEST <SP> report2 (the recorder's report).")

    def __init__(self, conn, server, ioloop=None):
        super().__init__(conn, server, ioloop)
        self.sim_cmd = ""
        self.sim_held = ""
        self.sim_abort_transfer = False
        self.sim_stall_transfer = False
        self.sim_intrude_target = None
        self._current_type = "i"

    # ---- text on the control connection

    def decode(self, data):
        return data.decode(ENC, ERRORS)

    def push(self, s):
        o = self.opts
        if o.bare_lf:
            s = s.replace("\r\n", "\n")
        data = s.encode(ENC, ERRORS)
        if o.delay_ms:
            time.sleep(o.delay_ms / 1000.0)
        self.sim_timing("R", s.split("\r\n", 1)[0].split("\n", 1)[0])
        if o.split and self.socket is not None:
            # Deliver the reply in small pieces, each its own TCP segment.
            self.socket.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            for i in range(0, len(data), 3):
                try:
                    self.socket.sendall(data[i:i + 3])
                except OSError:
                    return
                time.sleep(0.004)
            return
        asynchat.async_chat.push(self, data)

    def respond(self, resp, logfun=logging.debug):
        o = self.opts
        if o.coalesce and resp[:1] == "1":
            self.sim_held += resp + "\r\n"  # sent together with the next reply
            return
        if o.multiline and self.sim_cmd == o.multiline and resp[:1] != "1":
            code, text = resp[:3], resp[4:]
            resp = ("%s-%s\r\n%s-second line of a multi-line reply\r\n"
                    " a line without a code\r\n%s-999 a line with another code\r\n%s End"
                    % (code, text, code, code, code))
        if resp.startswith("226") and self.sim_intrude_target is not None:
            target, self.sim_intrude_target = self.sim_intrude_target, None
            self._intrude(target, "127.0.0.1", "second")
        held, self.sim_held = self.sim_held, ""
        if held:
            self._last_response = resp
            self.push(held + resp + "\r\n")
        else:
            super().respond(resp, logfun)

    # ---- logs

    def sim_log(self, path, text):
        if path:
            with open(path, "ab") as f:
                f.write(text.encode(ENC, ERRORS) + b"\n")

    def sim_timing(self, kind, text):
        """One timing-log line: CLOCK_MONOTONIC seconds, C/R/D+/D-, the command or reply line."""
        if self.opts.timing_log:
            self.sim_log(self.opts.timing_log, "%.6f %s %s" % (time.monotonic(), kind, text))

    # ---- commands

    def handle(self):
        greeting = self.opts.greeting
        if greeting is None:
            return super().handle()
        self.on_connect()
        self.respond(greeting)
        if not greeting.startswith("220"):
            self.close_when_done()

    def pre_process_command(self, line, cmd, arg):
        o = self.opts
        self.sim_log(o.log, line)
        self.sim_timing("C", line)
        self.sim_cmd = cmd
        if o.stall and cmd == o.stall:
            return  # no reply: the client's time-out must end this
        if o.drop_421 and cmd == o.drop_421:
            self.respond("421 Service not available, closing control connection.")
            self.close_when_done()
            return
        if o.flood and cmd == o.flood:
            body = "".join("200-%s\r\n" % ("x" * 1000) for _ in range(4096))
            self.push(body + "200 End\r\n")
            return
        if cmd == "LIST" and arg.startswith("[K]") and self.authenticated:
            return self.key_command(arg)
        return super().pre_process_command(line, cmd, arg)

    def key_command(self, arg):
        hexpart = arg[3:]
        try:
            if len(hexpart) % 2:
                raise ValueError
            data = bytes.fromhex(hexpart)
        except ValueError:
            self.respond("501 Bad key command.")
            return
        self.sim_log(self.opts.key_log, "%s %s" % (arg, " ".join("%02X" % b for b in data)))
        self.push_dtp_data(b"", cmd="LIST")

    def ftp_TEST(self, line):
        if line.strip().lower() != "report2":
            self.respond("501 Unknown test.")
            return
        o = self.opts
        if o.report_file:
            with open(o.report_file, "rb") as f:
                lines = f.read().decode(ENC, ERRORS).splitlines()
            self.push("".join(l + "\r\n" for l in lines))
            return
        self.respond("200 " + o.report)

    def ftp_PASS(self, line):
        if self.opts.pass_reply and not self.authenticated and self.username:
            self.respond(self.opts.pass_reply)
            self.username = ""
            return
        return super().ftp_PASS(line)

    def ftp_DELE(self, path):
        if self.opts.refuse_dele:
            self.respond("550 Permission denied.")
            return
        return super().ftp_DELE(path)

    def ftp_LIST(self, path):
        pattern = os.path.basename(path)
        if not any(c in pattern for c in "*?["):
            return super().ftp_LIST(path)
        folder = os.path.dirname(path)
        try:
            names = sorted(n for n in os.listdir(folder)
                           if fnmatch.fnmatchcase(n, pattern) and os.path.isfile(os.path.join(folder, n)))
        except OSError as err:
            self.respond("550 %s." % err.strerror)
            return
        self.push_dtp_data(self._listing(folder, names), isproducer=False, cmd="LIST")
        return path

    def _listing(self, folder, names):
        return b"".join(self.fs.format_list(folder, names))

    def ftp_RETR(self, file):
        o = self.opts
        if o.drop_after is None and o.stall_data_after is None:
            return super().ftp_RETR(file)
        try:
            with open(file, "rb") as f:
                data = f.read()
        except OSError as err:
            self.respond("550 %s." % err.strerror)
            return
        if o.drop_after is not None:
            self.sim_abort_transfer = len(data) > o.drop_after
            data = data[:o.drop_after]
        else:
            self.sim_stall_transfer = True
            data = data[:o.stall_data_after]
        self.push_dtp_data(data, cmd="RETR")
        return file

    def _parse_port(self, line):
        parts = line.split(",")
        return ".".join(parts[:4]), int(parts[4]) * 256 + int(parts[5])

    def _intrude(self, target, source, label):
        """Connects to the client's data port from another address and logs the outcome."""
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.settimeout(2)
        try:
            s.bind((source, 0))
            s.connect(target)
            s.sendall(b"INTRUDER\r\n")
            result = "connected"
        except OSError:
            result = "refused"
        finally:
            s.close()
        self.sim_log(self.opts.log, "INTRUDE %s %s" % (label, result))

    def ftp_PORT(self, line):
        if self.opts.intrude:
            try:
                target = self._parse_port(line)
            except (ValueError, IndexError):
                target = None
            if target is not None:
                self._intrude(target, "127.0.0.2", "first")
                self.sim_intrude_target = target
        return super().ftp_PORT(line)


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--root", required=True, help="the recorder's login folder (its files)")
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, default=0, help="0 picks a free port")
    p.add_argument("--admin", help="an extra account USER:PASSWORD")
    p.add_argument("--report", default="Sonvault IXTA 8 lines V3.1 ISE1",
                   help="text of the reply to 'test report2' (sent as '200 TEXT')")
    p.add_argument("--report-file", help="the whole reply to 'test report2', line by line, verbatim")
    p.add_argument("--log", help="append every command line received to this file")
    p.add_argument("--key-log", help="append every key command with its decoded bytes to this file")
    p.add_argument("--delay-ms", type=int, default=0, help="delay every reply by this many milliseconds")
    p.add_argument("--timing-log", help="append 'SECONDS C|R|D+|D- LINE' for every command received, reply sent "
                   "and data connection opened or closed (SECONDS: CLOCK_MONOTONIC)")
    g = p.add_argument_group("faults")
    g.add_argument("--busy", action="store_true", help="answer the login (PASS) with 520")
    g.add_argument("--pass-reply", help="answer PASS with this reply line")
    g.add_argument("--greeting", help="greeting line instead of 220 (the connection then closes)")
    g.add_argument("--drop-after", type=int, help="close RETR and STOR data connections after N bytes (426)")
    g.add_argument("--stall-data-after", type=int, help="send N bytes of a RETR, then keep the data connection silent")
    g.add_argument("--stall", metavar="CMD", help="never answer this command (e.g. RETR, TEST)")
    g.add_argument("--refuse-dele", action="store_true", help="answer every DELE with 550")
    g.add_argument("--drop-421", metavar="CMD", help="answer this command with 421 and close the session")
    g.add_argument("--multiline", metavar="CMD", help="send the final reply to this command as a multi-line reply")
    g.add_argument("--split", action="store_true", help="send every reply in 3-byte pieces")
    g.add_argument("--coalesce", action="store_true", help="send 1xx replies together with the next reply")
    g.add_argument("--bare-lf", action="store_true", help="end reply lines with LF only")
    g.add_argument("--flood", metavar="CMD", help="answer this command with a 4 MB multi-line reply")
    g.add_argument("--intrude", action="store_true",
                   help="connect to the client's data port from 127.0.0.2 first, and again after the transfer")
    g.add_argument("--verbose", action="store_true", help="log the FTP dialogue to stderr")
    o = p.parse_args()

    if o.busy and not o.pass_reply:
        o.pass_reply = "520 Sonvault busy"
    for name in ("stall", "drop_421", "multiline", "flood"):
        if getattr(o, name):
            setattr(o, name, getattr(o, name).upper())
    admin = None
    if o.admin:
        user, _, password = o.admin.partition(":")
        admin = (user, password)

    logging.basicConfig(level=logging.DEBUG if o.verbose else logging.WARNING, stream=sys.stderr)
    root = os.path.abspath(o.root)
    RecorderHandler.opts = o
    RecorderHandler.authorizer = RecorderAuthorizer(root, admin)
    server = FTPServer((o.host, o.port), RecorderHandler)
    host, port = server.address[:2]

    def stop(signum, frame):
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, stop)
    print("LISTENING %s %d" % (host, port), flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
