#!/usr/bin/python3
"""signed_fixtures.py PROGRAM COMMAND...

Signed copies of a Windows program for the tests of publisher pinning, made
fresh for every run (no key or certificate is kept anywhere). Two test
publishers, "a" and "b", each get an RSA key and a self-signed code-signing
certificate from openssl; osslsigncode then signs copies of PROGRAM. The
folder HALVORA_SIGNED (given to COMMAND, removed afterwards) holds:

  signed-a.exe   signed by publisher a
  signed-b.exe   signed by publisher b
  tampered.exe   signed-a.exe with one byte of its code changed
  unsigned.exe   PROGRAM as it is
  a.pin, b.pin   each publisher's pin: the lower-case SHA-256 of the DER
                 SubjectPublicKeyInfo of its certificate, as openssl gives it

Other launchers import make() and use the folder themselves.
"""
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile

PUBLISHERS = ("a", "b")


def run(args, input=None):
    return subprocess.run(args, check=True, input=input,
                          stdin=None if input is not None else subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE).stdout


def key_pin(certificate):
    public_key = run(["openssl", "x509", "-in", certificate, "-pubkey", "-noout"])
    der = run(["openssl", "pkey", "-pubin", "-outform", "DER"], input=public_key)
    return hashlib.sha256(der).hexdigest()


def text_section_offset(data):
    """The file offset of the first byte of the .text section's raw data."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    table = pe + 24 + optional_size
    for i in range(sections):
        entry = table + 40 * i
        if data[entry:entry + 8].rstrip(b"\0") == b".text":
            return struct.unpack_from("<I", data, entry + 20)[0]
    raise SystemExit("signed_fixtures: the program has no .text section")


def sign(program, name, folder, output):
    key = os.path.join(folder, name + ".key")
    certificate = os.path.join(folder, name + ".crt")
    run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
         "-subj", f"/CN=Halvora Test Publisher {name.upper()}",
         "-addext", "extendedKeyUsage=codeSigning",
         "-keyout", key, "-out", certificate])
    run(["osslsigncode", "sign", "-certs", certificate, "-key", key, "-h", "sha256",
         "-n", "Halvora test", "-in", program, "-out", output])
    with open(os.path.join(folder, name + ".pin"), "w") as f:
        f.write(key_pin(certificate) + "\n")
    os.remove(key)


def make(program, folder):
    """Fills `folder` with the files named above."""
    for name in PUBLISHERS:
        sign(program, name, folder, os.path.join(folder, f"signed-{name}.exe"))
    with open(os.path.join(folder, "signed-a.exe"), "rb") as f:
        data = bytearray(f.read())
    data[text_section_offset(data) + 16] ^= 0xFF
    with open(os.path.join(folder, "tampered.exe"), "wb") as f:
        f.write(data)
    shutil.copyfile(program, os.path.join(folder, "unsigned.exe"))


def pin(folder, name):
    with open(os.path.join(folder, name + ".pin")) as f:
        return f.read().strip()


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    folder = tempfile.mkdtemp(prefix="halvora-signed-")
    try:
        make(sys.argv[1], folder)
        env = dict(os.environ, HALVORA_SIGNED=folder)
        return subprocess.call(sys.argv[2:], env=env)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
