#!/usr/bin/python3
"""pyftpdlib as the FTP peer of the interop tests and the benchmark.

  ftp_peer.py launch -- COMMAND...
      Serves a temporary folder with a few pattern files on a free loopback
      port, runs COMMAND with HALVORA_FTP_PORT, HALVORA_FTP_USER,
      HALVORA_FTP_PASSWORD and HALVORA_FTP_LOG (the server's log, below) set,
      stops the server and exits with COMMAND's status. Transfers are
      throttled, and the first retrieval of "gated.bin" stops after
      GATE_BYTES (its connection left open), so an abort from a second thread
      always lands mid-transfer, whatever the scheduler does.

  ftp_peer.py serve ROOT [--throttle BYTES_PER_SECOND] [--log FILE]
                         [--hold FILE] [--masquerade ADDRESS] [--refuse-size]
                         [--cut-data BYTES] [--stall-data BYTES]
                         [--gate NAME:BYTES]
      Serves ROOT and prints the port on the first line of standard output;
      runs until stopped.
        --log FILE          appends what happened, one line each: "open N" and
                            "close N" for control connection N, "> LINE" for
                            each command (the password hidden), "retr PATH
                            from OFFSET" when a retrieval starts
        --hold FILE         holds each retrieval before its first reply, after
                            logging "hold K PATH from OFFSET" (K counts from
                            1, OFFSET is the restart offset asked), until FILE
                            holds a number of at least K: whoever watches the
                            log can look at the client before data moves
        --masquerade ADDR   PASV replies name ADDR (the data port is still
                            served on loopback)
        --refuse-size       SIZE is answered 550
        --cut-data BYTES    a retrieval sends at most BYTES, then closes the
                            data connection and reports success (226)
        --stall-data BYTES  a retrieval sends BYTES, then nothing more while
                            its data connection stays open
        --gate NAME:BYTES   like --stall-data, but only for the first
                            retrieval of the file NAME; later ones run through

The files hold the pattern byte (at*131 + at//977) & 0xff at offset `at`, the
same pattern the tests rebuild.
"""

import os
import signal
import subprocess
import sys
import tempfile

USER = "halvora"
PASSWORD = "s3cret pass"
FILES = {"pattern.bin": 300000, "big.bin": 2 * 1024 * 1024, "gated.bin": 2 * 1024 * 1024}
THROTTLE = 1024 * 1024  # bytes per second
GATE = ("gated.bin", 256 * 1024)


def pattern(count):
    periodic = bytes((i * 131) & 0xFF for i in range(256))
    out = bytearray()
    start = 0
    while start < count:
        k = start // 977
        end = min(count, (k + 1) * 977)
        table = bytes((b + k) & 0xFF for b in range(256))
        # (at*131) & 0xff repeats every 256 offsets.
        piece = bytearray()
        at = start
        while at < end:
            n = min(end - at, 256 - at % 256)
            piece += periodic[at % 256 : at % 256 + n]
            at += n
        out += bytes(piece).translate(table)
        start = end
    return bytes(out)


HOLD_POLL_S = 0.005


class CutProducer:
    """A file producer that ends after `limit` bytes."""

    def __init__(self, producer, limit):
        self.producer = producer
        self.left = limit

    def more(self):
        data = self.producer.more()[:self.left] if self.left > 0 else b""
        self.left -= len(data)
        return data


def smooth_throttle(base, rate):
    """pyftpdlib's throttle lets a second's worth of data through before it
    first holds back, so a transfer that starts again after an abort would
    move in bursts; this one keeps every transfer at `rate` from its first
    bytes, in sends of 1/50 s worth."""
    import time

    class Smooth(base):
        read_limit = rate
        write_limit = rate
        ac_out_buffer_size = max(512, rate // 50)
        ac_in_buffer_size = max(512, rate // 50)

        def _throttle_bandwidth(self, len_chunk, max_speed):
            now = time.monotonic()
            if not hasattr(self, "_smooth_start"):
                self._smooth_start, self._smooth_count = now, 0
            self._smooth_count += len_chunk
            ahead = self._smooth_count / max_speed - (now - self._smooth_start)
            if ahead <= 0:
                return

            def wake():
                self.add_channel(events=self.ioloop.READ if self.receive else self.ioloop.WRITE)

            self.del_channel()
            self._cancel_throttler()
            self._throttler = self.ioloop.call_later(ahead, wake, _errback=self.handle_error)

    return Smooth


def stalling(base, after):
    """A data channel that sends `after` bytes and then stops sending, its
    connection left open (until the control connection closes)."""

    class Stalling(base):
        sent_so_far = 0

        def send(self, data):
            left = after - self.sent_so_far
            if left <= 0:
                self.del_channel()
                return 0
            sent = super().send(data[:left])
            self.sent_so_far += sent
            return sent

    return Stalling


def gating(base, name, after):
    """A data channel whose first retrieval of the file `name` sends `after`
    bytes and then stops sending, its connection left open; every other
    retrieval runs through."""
    state = {"used": False}

    class Gated(base):
        gate_left = None

        def send(self, data):
            if self.gate_left is None:
                sending = os.path.basename(getattr(self.file_obj, "name", "") or "")
                first = sending == name and not state["used"]
                state["used"] = state["used"] or first
                self.gate_left = after if first else -1
            if self.gate_left < 0:
                return super().send(data)
            if self.gate_left == 0:
                self.del_channel()
                return 0
            sent = super().send(data[:self.gate_left])
            self.gate_left -= sent
            return sent

    return Gated


def make_handler(options):
    from pyftpdlib.handlers import FTPHandler

    log = open(options["log"], "a", buffering=1) if options.get("log") else None
    counters = {"connection": 0, "hold": 0}

    def write(line):
        if log:
            log.write(line + "\n")

    def released():
        try:
            with open(options["hold"]) as f:
                return int(f.read().strip() or 0)
        except (OSError, ValueError):
            return 0

    class Handler(FTPHandler):
        def on_connect(self):
            counters["connection"] += 1
            self.number = counters["connection"]
            write("open %d" % self.number)

        def on_disconnect(self):
            write("close %d" % self.number)

        def pre_process_command(self, line, cmd, arg):
            write("> " + ("PASS ***" if cmd == "PASS" else line))
            return super().pre_process_command(line, cmd, arg)

        def ftp_SIZE(self, path):
            if options.get("refuse_size"):
                self.respond("550 SIZE not allowed.")
                return
            return super().ftp_SIZE(path)

        def ftp_RETR(self, file):
            def retrieve():
                write("retr %s from %d" % (self.fs.fs2ftp(file), self._restart_position))
                return super(Handler, self).ftp_RETR(file)

            if not options.get("hold"):
                return retrieve()
            counters["hold"] += 1
            number = counters["hold"]
            write("hold %d %s from %d" % (number, self.fs.fs2ftp(file), self._restart_position))

            def check():
                if not self.connected or self._closed:
                    return
                if released() >= number:
                    retrieve()
                else:
                    self.ioloop.call_later(HOLD_POLL_S, check, _errback=self.handle_error)

            check()

        def push_dtp_data(self, data, isproducer=False, file=None, cmd=None):
            if cmd == "RETR" and isproducer and options.get("cut_data") is not None:
                data = CutProducer(data, options["cut_data"])
            return super().push_dtp_data(data, isproducer, file, cmd)

    return Handler


def serve(root, throttle, options):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import ThrottledDTPHandler
    from pyftpdlib.servers import FTPServer

    authorizer = DummyAuthorizer()
    authorizer.add_user(USER, PASSWORD, root, perm="elr")
    handler = make_handler(options)
    handler.authorizer = authorizer
    if options.get("masquerade"):
        handler.masquerade_address = options["masquerade"]
    if options.get("cut_data") is not None or options.get("stall_data") is not None:
        handler.use_sendfile = False  # the file goes out through its producer
    if options.get("stall_data") is not None:
        handler.dtp_handler = stalling(handler.dtp_handler, options["stall_data"])
    handler.permit_foreign_addresses = False
    handler.passive_ports = None
    handler.auth_failed_timeout = 0.1  # the default 3 s only slows the tests
    if throttle:
        handler.dtp_handler = smooth_throttle(ThrottledDTPHandler, throttle)
    if options.get("gate"):
        handler.use_sendfile = False  # the gate counts what send() passes on
        handler.dtp_handler = gating(handler.dtp_handler, *options["gate"])
    server = FTPServer(("127.0.0.1", 0), handler)
    print(server.address[1], flush=True)
    server.serve_forever(handle_exit=True)


def start_server(root, throttle, log):
    args = [sys.executable, os.path.abspath(__file__), "serve", root, "--log", log,
            "--gate", "%s:%d" % GATE]
    if throttle:
        args += ["--throttle", str(throttle)]
    process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    port = process.stdout.readline().strip()
    if not port.isdigit():
        process.kill()
        raise SystemExit("ftp_peer: pyftpdlib did not start")
    return process, int(port)


def launch(command):
    # A time-out kill of the launcher must still stop the server (finally).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    with tempfile.TemporaryDirectory(prefix="halvora-ftp-peer-") as tmp:
        root = os.path.join(tmp, "files")
        os.mkdir(root)
        for name, size in FILES.items():
            with open(os.path.join(root, name), "wb") as f:
                f.write(pattern(size))
        log = os.path.join(tmp, "server.log")
        process, port = start_server(root, THROTTLE, log)
        env = dict(os.environ, HALVORA_FTP_PORT=str(port), HALVORA_FTP_USER=USER,
                   HALVORA_FTP_PASSWORD=PASSWORD, HALVORA_FTP_LOG=log)
        try:
            return subprocess.call(command, env=env)
        finally:
            process.terminate()
            process.wait()


def main(argv):
    if len(argv) >= 2 and argv[1] == "launch":
        command = argv[2:]
        if command and command[0] == "--":
            command = command[1:]
        if not command:
            raise SystemExit("ftp_peer: launch needs a command")
        return launch(command)
    if len(argv) >= 3 and argv[1] == "serve":
        throttle = 0
        options = {}
        rest = argv[3:]
        while rest:
            flag = rest.pop(0)
            if flag == "--refuse-size":
                options["refuse_size"] = True
            elif flag in ("--throttle", "--log", "--hold", "--masquerade", "--cut-data",
                          "--stall-data", "--gate") and rest:
                value = rest.pop(0)
                if flag == "--throttle":
                    throttle = int(value)
                elif flag in ("--cut-data", "--stall-data"):
                    options[flag[2:].replace("-", "_")] = int(value)
                elif flag == "--gate":
                    name, _, count = value.rpartition(":")
                    options["gate"] = (name, int(count))
                else:
                    options[flag[2:]] = value
            else:
                raise SystemExit(__doc__)
        serve(argv[2], throttle, options)
        return 0
    raise SystemExit(__doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
