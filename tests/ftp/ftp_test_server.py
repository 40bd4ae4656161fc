#!/usr/bin/python3
"""FTP server for the FTP client's tests and benchmarks.

Built on Debian's pyftpdlib; run it with /usr/bin/python3 (another python3 on
PATH may lack the library).  It serves one folder to one user, speaks code
page 932 on the control and listing channels (as the servers of the target
sites do), lists times in local time, and listens on a free port of
127.0.0.1.

    ftp_test_server.py --root DIR --state-file FILE [--control FILE]
                       [--stats FILE] [--log FILE] [--user U --password P]

Once listening it writes the state file: one JSON object
{"port": N, "pid": N}; on exit it removes it.  The port also goes to stdout.

The control file (JSON, optional) is re-read before every command and every
new connection, so a test switches faults on while the server runs.  Keys:

  refuse_logins        answer the next N logins with 530
  drop_connections     close the next N connections before the greeting
  fail_retr            answer the next N RETR with fail_retr_code (451)
  truncate_retr        send only this many bytes of a file ...
  truncate_retr_count  ... for the next N RETR (absent: every RETR)
  throttle             data channel limit in bytes per second (0 = none)
  refuse_size          answer every SIZE with 550: a server that tells no
                       file's size outside its listings
  fail_list            answer the next N LIST with 550: a server that lists
                       a file by its name only with a wildcard
  replace_after_retr   {"name": s, "by": s}: once a RETR of a file named
                       "name" has begun (cut short or not), the file "by"
                       of the same folder takes its place, as a file that
                       is updated on the server during a download; this
                       happens once, as "by" is then gone
  odd_names            extra LIST entries: [{"name": s, "dir": bool,
                       "size": n, "in": "/folder/"}] ("in" absent: every
                       folder)
  extra_list_lines     raw lines appended to every LIST
  endless_tree         a folder name: entering a folder of this name gives
                       it a sub-folder of the same name, so a recursive
                       listing from there never reaches a bottom
  truncate_retr_name   only RETRs of files of this name are cut short by
                       truncate_retr (absent: every file)
  ignore_case          true: a name that no file has exactly stands for the
                       one file of its folder whose name differs in letter
                       case only, as on a server that runs on Windows

The counters behind "the next N" start again whenever the file's content
changes; writing a new "serial" value restarts them for the same faults.

The stats file (optional) is rewritten after every command as name=value
lines: connections, dropped, logins, refused, retr, retr_failed,
retr_truncated, replaced, list, quit, cwd, size.  The log file gets every command.

The server never outlives its tests for long: it ends on SIGTERM, after
--max-lifetime seconds, and after --idle-timeout seconds without a
connection.
"""

import warnings

# pyftpdlib is built on asynchat, which Python 3.11 marks as deprecated; the
# warning would land in the test's output before the log takes over.
warnings.filterwarnings("ignore", category=DeprecationWarning)

import argparse  # noqa: E402
import asynchat  # noqa: E402
import io  # noqa: E402
import json  # noqa: E402
import os  # noqa: E402
import signal  # noqa: E402
import sys  # noqa: E402
import time  # noqa: E402

from pyftpdlib.authorizers import DummyAuthorizer  # noqa: E402
from pyftpdlib.filesystems import AbstractedFS  # noqa: E402
from pyftpdlib.handlers import FileProducer, FTPHandler, ThrottledDTPHandler  # noqa: E402
from pyftpdlib.servers import FTPServer  # noqa: E402

WIRE_ENCODING = "cp932"


class FaultState:
    """The control file's switches and the counters that consume them."""

    COUNTED = ("refuse_logins", "drop_connections", "fail_retr", "truncate_retr_count")

    def __init__(self, control_path, stats_path):
        self.control_path = control_path
        self.stats_path = stats_path
        self.raw = None
        self.control = {}
        self.used = {}
        self.stats = dict.fromkeys(
            ("connections", "dropped", "logins", "refused", "retr", "retr_failed",
             "retr_truncated", "replaced", "list", "quit", "cwd", "size"), 0)
        self.last_activity = time.monotonic()

    def refresh(self):
        if not self.control_path:
            return
        try:
            with open(self.control_path, "rb") as f:
                raw = f.read()
        except OSError:
            raw = b""
        if raw == self.raw:
            return
        self.raw = raw
        self.used = {}
        try:
            self.control = json.loads(raw.decode("utf-8")) if raw.strip() else {}
        except ValueError:
            # A half-written file: keep the faults off until it is complete.
            self.control = {}
            self.raw = None

    def value(self, key, default=None):
        return self.control.get(key, default)

    def take(self, key):
        """True while the next-N budget of a counted fault lasts."""
        limit = self.control.get(key)
        if limit is None:
            return False
        used = self.used.get(key, 0)
        if used >= int(limit):
            return False
        self.used[key] = used + 1
        return True

    def count(self, name):
        self.stats[name] += 1

    def write_stats(self):
        if not self.stats_path:
            return
        tmp = self.stats_path + ".tmp"
        with open(tmp, "w", encoding="utf-8") as f:
            for name, value in self.stats.items():
                f.write("%s=%d\n" % (name, value))
        os.replace(tmp, self.stats_path)


STATE = None  # set in main(); the handlers are classes pyftpdlib instantiates


class WireFS(AbstractedFS):
    """Listings in code page 932, with the control file's odd entries."""

    def ftp2fs(self, ftppath):
        path = super().ftp2fs(ftppath)
        if not STATE.value("ignore_case") or os.path.lexists(path):
            return path
        folder, name = os.path.split(path)
        try:
            same = [n for n in os.listdir(folder) if n.upper() == name.upper()]
        except OSError:
            same = []
        return os.path.join(folder, same[0]) if len(same) == 1 else path

    def _recode(self, lines):
        for line in lines:
            yield line.decode("utf-8").encode(WIRE_ENCODING, "replace")

    def _odd_lines(self, basedir):
        folder = self.fs2ftp(basedir)
        if not folder.endswith("/"):
            folder += "/"
        stamp = time.strftime("%b %d %H:%M", time.localtime())
        for entry in STATE.value("odd_names", []) or []:
            where = entry.get("in")
            if where is not None and where.rstrip("/") + "/" != folder:
                continue
            kind = "drwxr-xr-x" if entry.get("dir") else "-rw-r--r--"
            yield ("%s %3d %-8s %-8s %8d %s %s\r\n" % (
                kind, 1, "owner", "group", int(entry.get("size", 0)), stamp,
                entry["name"])).encode("utf-8")
        for line in STATE.value("extra_list_lines", []) or []:
            yield (line + "\r\n").encode("utf-8")

    def format_list(self, basedir, listing, ignore_err=True):
        lines = super().format_list(basedir, listing, ignore_err)
        if not getattr(self, "listing_folder", False):
            return self._recode(lines)
        return self._recode(_chain(lines, self._odd_lines(basedir)))

    def format_mlsx(self, basedir, listing, perms, facts, ignore_err=True):
        return self._recode(super().format_mlsx(basedir, listing, perms, facts, ignore_err))


def _chain(*iterables):
    for it in iterables:
        yield from it


class FaultDTPHandler(ThrottledDTPHandler):
    """The data channel, slowed down in slices of a tenth of a second.

    pyftpdlib's own throttle sends a second's worth at once and then sleeps
    for up to two seconds, deaf to a client that gave up meanwhile; a slow
    real server trickles instead.
    """

    SLICE = 0.1

    def __init__(self, sock, cmd_channel):
        limit = int(STATE.value("throttle", 0) or 0)
        self.read_limit = limit
        self.write_limit = limit
        if limit:
            budget = max(1, int(limit * self.SLICE))
            self.ac_in_buffer_size = min(self.ac_in_buffer_size, budget)
            self.ac_out_buffer_size = min(self.ac_out_buffer_size, budget)
        super().__init__(sock, cmd_channel)

    def _throttle_bandwidth(self, len_chunk, max_speed):
        self._datacount += len_chunk
        if self._datacount < max_speed * self.SLICE:
            return
        self._datacount = 0
        now = time.monotonic()
        if self._timenext <= now:
            self._timenext = now + self.SLICE
            return
        sleepfor = self._timenext - now
        self._timenext += self.SLICE

        def unsleep():
            self.add_channel(events=self.ioloop.READ if self.receive else self.ioloop.WRITE)

        self.del_channel()
        self._cancel_throttler()
        self._throttler = self.ioloop.call_later(sleepfor, unsleep, _errback=self.handle_error)


class FaultHandler(FTPHandler):
    use_gmt_times = False
    auth_failed_timeout = 0.05
    banner = "Norvale test FTP server ready."
    abstracted_fs = WireFS
    dtp_handler = FaultDTPHandler
    # Tests wait on nothing longer than this.
    timeout = 120

    def decode(self, data):
        return data.decode(WIRE_ENCODING, "replace")

    def push(self, s):
        # Replies (PWD names) travel in the wire encoding too; the base class
        # would encode them with UTF-8.
        asynchat.async_chat.push(self, s.encode(WIRE_ENCODING, "replace"))

    def handle(self):
        STATE.refresh()
        STATE.count("connections")
        STATE.last_activity = time.monotonic()
        if STATE.take("drop_connections"):
            STATE.count("dropped")
            STATE.write_stats()
            self.close()
            return
        STATE.write_stats()
        super().handle()

    def pre_process_command(self, line, cmd, arg):
        STATE.refresh()
        STATE.last_activity = time.monotonic()
        try:
            super().pre_process_command(line, cmd, arg)
        finally:
            STATE.write_stats()

    def ftp_PASS(self, line):
        if self.authenticated:
            return super().ftp_PASS(line)
        if STATE.take("refuse_logins"):
            STATE.count("refused")
            self.username = ""
            self.respond("530 Authentication failed.")
            return
        result = super().ftp_PASS(line)
        return result

    def on_login(self, username):
        STATE.count("logins")

    def ftp_QUIT(self, line):
        STATE.count("quit")
        return super().ftp_QUIT(line)

    def ftp_CWD(self, path):
        STATE.count("cwd")
        endless = STATE.value("endless_tree")
        if endless and os.path.basename(path.rstrip("/")) == endless and os.path.isdir(path):
            os.makedirs(os.path.join(path, endless), exist_ok=True)
        return super().ftp_CWD(path)

    def ftp_SIZE(self, path):
        STATE.count("size")
        if STATE.value("refuse_size"):
            self.respond("550 Could not get file size.")
            return None
        return super().ftp_SIZE(path)

    def ftp_LIST(self, path):
        STATE.count("list")
        if STATE.take("fail_list"):
            self.respond("550 No such file or directory.")
            return None
        self.fs.listing_folder = self.fs.isdir(path)
        return super().ftp_LIST(path)

    def ftp_RETR(self, file):
        try:
            return self._retr(file)
        finally:
            self._replace_after_retr(file)

    def _replace_after_retr(self, file):
        # The transfer that began reads the old file (open or already read).
        replacement = STATE.value("replace_after_retr")
        if not replacement or os.path.basename(file) != replacement.get("name"):
            return
        by = os.path.join(os.path.dirname(file), replacement.get("by", ""))
        if os.path.isfile(by):
            os.replace(by, file)
            STATE.count("replaced")

    def _retr(self, file):
        STATE.count("retr")
        if STATE.take("fail_retr"):
            STATE.count("retr_failed")
            code = int(STATE.value("fail_retr_code", 451))
            self.respond("%d Requested action aborted: local error in processing." % code)
            return None
        limit = STATE.value("truncate_retr")
        only = STATE.value("truncate_retr_name")
        if only is not None and os.path.basename(file) != only:
            return super().ftp_RETR(file)
        if limit is None or ("truncate_retr_count" in STATE.control
                             and not STATE.take("truncate_retr_count")):
            return super().ftp_RETR(file)
        try:
            with self.run_as_current_user(self.fs.open, file, "rb") as fd:
                data = fd.read(int(limit))
        except OSError as err:
            self.respond("550 %s." % err.strerror)
            return None
        STATE.count("retr_truncated")
        short = io.BytesIO(data)
        short.name = file
        self.push_dtp_data(FileProducer(short, self._current_type), isproducer=True,
                           file=short, cmd="RETR")
        return file


def main():
    global STATE
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--state-file", required=True)
    parser.add_argument("--control")
    parser.add_argument("--stats")
    parser.add_argument("--log")
    parser.add_argument("--user", default="norvale")
    parser.add_argument("--password", default="norvale")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--max-lifetime", type=float, default=1800)
    parser.add_argument("--idle-timeout", type=float, default=300)
    args = parser.parse_args()

    # Started from a test process, the inherited descriptors may be a test
    # runner's pipes: holding them would keep the runner waiting for us.
    os.closerange(3, 1024)
    log = open(args.log, "a", buffering=1, encoding="utf-8") if args.log else open(os.devnull, "w")
    null_in = os.open(os.devnull, os.O_RDONLY)
    os.dup2(null_in, 0)
    os.dup2(log.fileno(), 2)
    sys.stderr = log

    import logging
    logging.basicConfig(stream=log, level=logging.DEBUG if args.log else logging.WARNING,
                        format="%(asctime)s %(message)s")

    STATE = FaultState(args.control, args.stats)
    STATE.refresh()

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, os.path.abspath(args.root), perm="elradfmwMT")
    FaultHandler.authorizer = authorizer
    server = FTPServer(("127.0.0.1", args.port), FaultHandler)
    server.max_cons_per_ip = 0
    port = server.socket.getsockname()[1]

    def stop(*_):
        raise SystemExit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGHUP, stop)
    started = time.monotonic()

    def watchdog():
        now = time.monotonic()
        if now - started > args.max_lifetime:
            logging.warning("max lifetime reached")
            stop()
        if now - STATE.last_activity > args.idle_timeout and len(server.ioloop.socket_map) <= 1:
            logging.warning("idle timeout reached")
            stop()

    server.ioloop.call_every(1.0, watchdog)

    tmp = args.state_file + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        json.dump({"port": port, "pid": os.getpid()}, f)
    os.replace(tmp, args.state_file)
    print(port, flush=True)
    os.dup2(log.fileno(), 1)
    try:
        server.serve_forever(handle_exit=True)
    finally:
        server.close_all()
        try:
            os.remove(args.state_file)
        except OSError:
            pass


if __name__ == "__main__":
    main()
