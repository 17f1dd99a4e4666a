#!/usr/bin/env python3
"""Stand-in rescue-disk download server on loopback.

Serves "scanner.zip" and "system.zip" under /tovixscourlet/rescuedisk/ over plain HTTP/1.1
(with Content-Length) from 127.0.0.1; everything else is 404.

  rescue_server.py [--port N] [--port-file FILE] [--log FILE] [--missing NAME] [--rate B]
                   (--root DIR | --build TOOL INSTALLER TREE [archive fault options])

--root DIR serves the archives already in DIR. --build runs the rescue_archives tool to make
them first (in a temporary folder that goes away with the server) and passes on its fault
options: --damage ARCHIVE, --climb ARCHIVE, --broken-installer, --no-rescue-system,
--installer-pause MS.
--missing NAME answers 404 for that archive. --rate B sends bodies at about B bytes a second
(a slow line, to catch a download in progress). --port 0 (the default) takes an ephemeral port;
the port is printed on stdout and, with --port-file, written there (to a temporary name, then
renamed, so that a reader never sees half a number). --log appends one line per request:
"GET /path STATUS", and "GET /path cut" when the client went away before the body's end. The
server runs until it is interrupted or terminated.
"""
import argparse
import http.server
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

PREFIX = "/tovixscourlet/rescuedisk/"
ARCHIVES = ("scanner.zip", "system.zip")


def make_handler(root, missing, log_path, rate):
    log_lock = threading.Lock()

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def do_GET(self):
            name = self.path[len(PREFIX):] if self.path.startswith(PREFIX) else None
            body, status = None, 404
            if name in ARCHIVES and name != missing:
                try:
                    with open(os.path.join(root, name), "rb") as f:
                        body, status = f.read(), 200
                except OSError:
                    pass
            if body is None:
                body = b"<html><body>404 Not Found</body></html>"
            self.record(status)
            self.send_response(status)
            self.send_header("Content-Type",
                             "application/octet-stream" if status == 200 else "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            if not rate:
                self.wfile.write(body)
                return
            chunk = max(1, rate // 10)
            try:
                for start in range(0, len(body), chunk):
                    self.wfile.write(body[start:start + chunk])
                    self.wfile.flush()
                    time.sleep(0.1)
            except (BrokenPipeError, ConnectionResetError):
                self.record("cut")  # the client went away mid-body (a closed wizard)

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
    source = parser.add_mutually_exclusive_group(required=True)
    source.add_argument("--root")
    source.add_argument("--build", nargs=3, metavar=("TOOL", "INSTALLER", "TREE"))
    parser.add_argument("--damage", choices=ARCHIVES)
    parser.add_argument("--climb", choices=ARCHIVES)
    parser.add_argument("--broken-installer", action="store_true")
    parser.add_argument("--no-rescue-system", action="store_true")
    parser.add_argument("--installer-pause", type=int, default=0)
    args = parser.parse_args()

    scratch = None
    root = args.root
    if args.build:
        scratch = tempfile.mkdtemp(prefix="rescue-server-")
        build_archives(args, scratch)
        root = scratch
    try:
        server = http.server.ThreadingHTTPServer(
            ("127.0.0.1", args.port), make_handler(root, args.missing, args.log, args.rate))
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
