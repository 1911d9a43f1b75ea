#!/usr/bin/python3
"""pyftpdlib as the FTP peer of the interop tests and the benchmark.

  ftp_peer.py launch -- COMMAND...
      Serves a temporary folder with a few pattern files on a free loopback
      port, runs COMMAND with HALVORA_FTP_PORT, HALVORA_FTP_USER and
      HALVORA_FTP_PASSWORD set, stops the server and exits with COMMAND's
      status. Transfers are throttled so that an abort from a second thread
      always lands mid-transfer.

  ftp_peer.py serve ROOT [--throttle BYTES_PER_SECOND]
      Serves ROOT and prints the port on the first line of standard output;
      runs until stopped.

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
FILES = {"pattern.bin": 300000, "big.bin": 2 * 1024 * 1024}
THROTTLE = 1024 * 1024  # bytes per second


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


def serve(root, throttle):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
    from pyftpdlib.servers import FTPServer

    authorizer = DummyAuthorizer()
    authorizer.add_user(USER, PASSWORD, root, perm="elr")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.permit_foreign_addresses = False
    handler.passive_ports = None
    handler.auth_failed_timeout = 0.1  # the default 3 s only slows the tests
    if throttle:
        dtp = ThrottledDTPHandler
        dtp.read_limit = throttle
        dtp.write_limit = throttle
        handler.dtp_handler = dtp
    server = FTPServer(("127.0.0.1", 0), handler)
    print(server.address[1], flush=True)
    server.serve_forever(handle_exit=True)


def start_server(root, throttle):
    args = [sys.executable, os.path.abspath(__file__), "serve", root]
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
    with tempfile.TemporaryDirectory(prefix="halvora-ftp-peer-") as root:
        for name, size in FILES.items():
            with open(os.path.join(root, name), "wb") as f:
                f.write(pattern(size))
        process, port = start_server(root, THROTTLE)
        env = dict(os.environ, HALVORA_FTP_PORT=str(port), HALVORA_FTP_USER=USER,
                   HALVORA_FTP_PASSWORD=PASSWORD)
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
        if len(argv) == 5 and argv[3] == "--throttle":
            throttle = int(argv[4])
        serve(argv[2], throttle)
        return 0
    raise SystemExit(__doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
