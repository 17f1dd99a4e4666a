#!/usr/bin/env python3
"""Stand-in rescue-disk download server on loopback.

Serves "scanner.zip" and "system.zip" under /tovixscourlet/rescuedisk/ over plain HTTP/1.1
(with Content-Length, an ETag and a Last-Modified) from 127.0.0.1, and beside them, with --sign,
the manifest "rescuedisk.manifest" that lists both (release, date, and each archive's name,
size and SHA-256) and its detached signature "rescuedisk.manifest.p7s" (DER CMS, made with
openssl by a signer of the signing folder); everything else is 404. A
"Range: bytes=A-" request gets a 206 with "Content-Range: bytes A-(N-1)/N" when its If-Range,
if any, is the archive's ETag or Last-Modified (otherwise the whole body), 416 when A >= N.

  rescue_server.py [--port N] [--port-file FILE] [--log FILE] [--missing NAME] [--rate B]
                   [--hold FILE]
                   [--sign DIR [manifest fault options]] [connection fault options]
                   (--root DIR | --build TOOL INSTALLER TREE [archive fault options])

--root DIR serves the archives already in DIR. --build runs the rescue_archives tool to make
them first (in a temporary folder that goes away with the server) and passes on its fault
options: --damage ARCHIVE, --climb ARCHIVE, --broken-installer, --no-rescue-system,
--installer-pause MS.
--sign DIR makes the manifest from the served archives when the server starts and signs it with
DIR's test_signer.key and .crt (cmake/InstallerSigning.cmake makes them in each build folder).
Manifest faults: --manifest-signer NAME signs with DIR's NAME.key and .crt instead (e.g.
other_signer); --release N gives release N (default 7); --manifest-mismatch size|hash lists a
size one byte larger, or a SHA-256 with one bit changed, for scanner.zip; --manifest-mismatch
huge lists scanner.zip at 2^62 bytes, more than any volume holds; --tamper ARCHIVE serves that
archive with one byte changed after the manifest was made; --no-manifest answers 404 for both
manifest files.
--missing NAME answers 404 for that archive. --rate B sends bodies at about B bytes a second
(a slow line, to catch a download in progress). --hold FILE sends each archive's first half (of a whole answer: not one a fault cuts short),
then waits until FILE exists (at most 120 s) before the rest: a test sees the download at work
for as long as it needs, then lets it finish. Connection faults, counted per archive:
--drop B closes the connection after B body bytes, --stall B sends nothing more after B body
bytes until the client goes (at most 120 s), each on the first --faults K requests (default 1);
--ignore-ranges answers every request with the whole body; --changing-etag gives every answer
another ETag and Last-Modified (the archive "changed"). --port 0 (the default) takes an
ephemeral port; the port is printed on stdout and, with --port-file, written there (to a
temporary name, then renamed, so that a reader never sees half a number). --log appends one line per request:
"GET /path STATUS", "GET /path cut" when the client went away before the body's end, and
"GET /path dropped" or "GET /path stalled" when a fault option ended the body early. The
server runs until it is interrupted or terminated.
"""
import argparse
import email.utils
import hashlib
import http.server
import mmap
import os
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

PREFIX = "/tovixscourlet/rescuedisk/"
ARCHIVES = ("scanner.zip", "system.zip")
MANIFEST = ("rescuedisk.manifest", "rescuedisk.manifest.p7s")


def manifest_files(root, options):
    """The manifest and its signature as served, with the options' faults: name -> bytes."""
    lines = ["release %d" % options.release, "date 2026-12-01"]
    for name in ARCHIVES:
        with open(os.path.join(root, name), "rb") as f:
            size = os.fstat(f.fileno()).st_size
            digest = bytearray(hashlib.file_digest(f, "sha256").digest())
        if name == "scanner.zip" and options.manifest_mismatch == "size":
            size += 1
        if name == "scanner.zip" and options.manifest_mismatch == "hash":
            digest[0] ^= 1
        if name == "scanner.zip" and options.manifest_mismatch == "huge":
            size = 1 << 62
        lines.append("file %s %d %s" % (name, size, digest.hex()))
    text = ("\n".join(lines) + "\n").encode()
    signer = os.path.join(options.sign, options.manifest_signer)
    signature = subprocess.run(
        ["openssl", "cms", "-sign", "-binary", "-outform", "DER", "-signer", signer + ".crt",
         "-inkey", signer + ".key"], input=text, capture_output=True, check=True).stdout
    return dict(zip(MANIFEST, (text, signature)))


def tampered(root, name):
    """The archive with one byte in its middle changed: the same size, another SHA-256."""
    with open(os.path.join(root, name), "rb") as f:
        data = bytearray(f.read())
    data[len(data) // 2] ^= 0xFF
    return bytes(data)


def make_handler(root, missing, log_path, rate, options):
    log_lock = threading.Lock()
    served = {}  # archive name -> requests answered so far (for the fault options)
    # What is served from memory rather than from root: the manifest files, a tampered archive.
    made = {}
    if options.sign and not options.no_manifest:
        made.update(manifest_files(root, options))
    if options.tamper:
        made[options.tamper] = tampered(root, options.tamper)

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def do_GET(self):
            name = self.path[len(PREFIX):] if self.path.startswith(PREFIX) else None
            body, status, extra = None, 404, []
            if name in made:
                body, status = made[name], 200
                stamp = os.stat(os.path.join(root, ARCHIVES[0])).st_mtime
            elif name in ARCHIVES and name != missing:
                try:
                    with open(os.path.join(root, name), "rb") as f:
                        # Mapped, not read: an archive of gigabytes is sent from the page cache.
                        body = memoryview(mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ))
                        status, stamp = 200, os.fstat(f.fileno()).st_mtime
                except OSError:
                    pass
            if body is None:
                body = b"<html><body>404 Not Found</body></html>"
                number = 0
            else:
                with log_lock:
                    number = served.get(name, 0)
                    served[name] = number + 1
                version = number if options.changing_etag else 0
                etag = '"%x-%x-%d"' % (len(body), int(stamp), version)
                modified = email.utils.formatdate(int(stamp) + version, usegmt=True)
                extra = [("ETag", etag), ("Last-Modified", modified)]
                status, body, range_header = self.ranged(body, etag, modified)
                if range_header:
                    extra.append(("Content-Range", range_header))
            self.record(status)
            self.send_response(status)
            self.send_header("Content-Type",
                             "application/octet-stream" if status in (200, 206) else "text/html")
            self.send_header("Content-Length", str(len(body)))
            for header in extra:
                self.send_header(*header)
            self.end_headers()
            fault = None
            cut = options.drop if options.drop is not None else options.stall
            if status in (200, 206) and name in ARCHIVES and number < options.faults and \
                    cut is not None and cut < len(body):
                fault, body = "dropped" if options.drop is not None else "stalled", body[:cut]
            try:
                if options.hold and name in ARCHIVES and status in (200, 206) and not fault:
                    self.send_body(body[:len(body) // 2])
                    self.hold_until(options.hold)
                    body = body[len(body) // 2:]
                self.send_body(body)
            except (BrokenPipeError, ConnectionResetError):
                self.record("cut")  # the client went away mid-body (a closed wizard)
                return
            if fault:
                self.record(fault)
                if fault == "stalled":
                    self.connection.settimeout(120)
                    try:
                        while self.connection.recv(4096):
                            pass
                    except OSError:
                        pass
                self.close_connection = True

        def ranged(self, body, etag, modified):
            """The status, body and Content-Range for the request's Range and If-Range."""
            wanted = self.headers.get("Range", "")
            if_range = self.headers.get("If-Range")
            first = wanted[len("bytes="):-1] if wanted.startswith("bytes=") else ""
            if (options.ignore_ranges or not wanted.endswith("-") or not first.isdigit() or
                    (if_range is not None and if_range not in (etag, modified))):
                return 200, body, None
            start = int(first)
            if start >= len(body):
                return 416, b"", "bytes */%d" % len(body)
            return 206, body[start:], "bytes %d-%d/%d" % (start, len(body) - 1, len(body))

        def send_body(self, body):
            if not rate:
                self.wfile.write(body)
                return
            chunk = max(1, rate // 10)
            for start in range(0, len(body), chunk):
                self.wfile.write(body[start:start + chunk])
                self.wfile.flush()
                time.sleep(0.1)

        def hold_until(self, path, limit=120):
            """Waits for `path` to exist; a client that goes away meanwhile ends the answer."""
            deadline = time.time() + limit
            while not os.path.exists(path) and time.time() < deadline:
                readable, _, _ = select.select([self.connection], [], [], 0.1)
                if readable and not self.connection.recv(1, socket.MSG_PEEK):
                    raise ConnectionResetError("the client went away")

        def record(self, status):
            if log_path:
                with log_lock, open(log_path, "a") as log:
                    log.write(f"{self.command} {self.path} {status}\n")

        def log_message(self, format, *args):
            pass

    return Handler


def build_archives(args, folder):
    command = [args.build[0], folder, args.build[1], args.build[2]]
    if args.damage:
        command += ["--damage", args.damage]
    if args.climb:
        command += ["--climb", args.climb]
    if args.broken_installer:
        command.append("--broken-installer")
    if args.no_rescue_system:
        command.append("--no-rescue-system")
    if args.installer_pause:
        command += ["--installer-pause", str(args.installer_pause)]
    subprocess.run(command, check=True)


def write_port(path, port):
    temporary = path + ".tmp"
    with open(temporary, "w") as f:
        f.write(f"{port}\n")
    os.replace(temporary, path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--log")
    parser.add_argument("--missing", choices=ARCHIVES)
    parser.add_argument("--rate", type=int, default=0)
    parser.add_argument("--hold")
    cut = parser.add_mutually_exclusive_group()
    cut.add_argument("--drop", type=int)
    cut.add_argument("--stall", type=int)
    parser.add_argument("--faults", type=int, default=1)
    parser.add_argument("--ignore-ranges", action="store_true")
    parser.add_argument("--changing-etag", action="store_true")
    source = parser.add_mutually_exclusive_group(required=True)
    source.add_argument("--root")
    source.add_argument("--build", nargs=3, metavar=("TOOL", "INSTALLER", "TREE"))
    parser.add_argument("--damage", choices=ARCHIVES)
    parser.add_argument("--climb", choices=ARCHIVES)
    parser.add_argument("--broken-installer", action="store_true")
    parser.add_argument("--no-rescue-system", action="store_true")
    parser.add_argument("--installer-pause", type=int, default=0)
    parser.add_argument("--sign")
    parser.add_argument("--manifest-signer", default="test_signer")
    parser.add_argument("--release", type=int, default=7)
    parser.add_argument("--manifest-mismatch", choices=("size", "hash", "huge"))
    parser.add_argument("--tamper", choices=ARCHIVES)
    parser.add_argument("--no-manifest", action="store_true")
    args = parser.parse_args()

    scratch = None
    root = args.root
    if args.build:
        scratch = tempfile.mkdtemp(prefix="rescue-server-")
        build_archives(args, scratch)
        root = scratch
    try:
        server = http.server.ThreadingHTTPServer(
            ("127.0.0.1", args.port), make_handler(root, args.missing, args.log, args.rate, args))
        server.daemon_threads = True
        # SIGTERM ends the server the same way as Ctrl+C, so the scratch folder is removed.
        signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(KeyboardInterrupt))
        port = server.server_address[1]
        if args.port_file:
            write_port(args.port_file, port)
        print(port, flush=True)
        try:
            server.serve_forever()
        except KeyboardInterrupt:
            pass
        server.server_close()
    finally:
        if scratch:
            shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
