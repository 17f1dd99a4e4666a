#!/usr/bin/env python3
"""Local HTTP server (and HTTP proxy) for the download engine's tests and benchmark.

Usage: test_server.py PORT_FILE [TLS_DIR]
Binds 127.0.0.1 on an ephemeral port, writes the port number into PORT_FILE (written to a
temporary name, then renamed, so a reader never sees half a number) and serves until the
lifeline connection closes: the test opens "GET /lifeline" first and holds that connection
for as long as it needs the server, so the server also goes away when the test process dies
(Wine gives a Unix child /dev/null as standard input, so a pipe cannot serve as the lifeline).
Without a lifeline within 60 s the server gives up and exits.

Given TLS_DIR, a connection that opens with a TLS handshake is served over TLS on the same port
(without it, such a connection is closed at once). The server then makes a test root of its own,
writes it to TLS_DIR/root.der for the test to trust, and presents a certificate the root issued
for 127.0.0.1 only, whose revocation list it serves at /crl (a client that checks revocation
fetches it); see tls_identity.py.

Paths (N is a byte count; bodies are the pattern of body_bytes):
  /file/N          200 with Content-Length
  /nolength/N      200 without Content-Length, body ends when the connection closes
  /status/CODE/N   that status with an N-byte body
  /empty           200 with an empty body
  /hang            reads the request and never answers
  /slow/N          200 with Content-Length, N bytes sent 512 at a time every 20 ms
  /reset/N         announces 2N bytes, sends N, then resets the connection
  /short/N         announces 2N bytes, sends N, then closes the connection cleanly
  /long/N          announces N bytes, sends 2N, then closes the connection
  /auth            401 until Basic credentials come, then the body "user:password"
  /                "root"
  /count/hang      how many /hang requests arrived so far (decimal text)
  /count/tls       how many connections opened with a TLS handshake
  /count/https     how many requests arrived over TLS
  /crl             the test root's (empty) certificate revocation list, when TLS is on
  /resume/N?OPTIONS  N bytes that can be resumed: see below
  /requests/KEY    the /resume requests made with key=KEY so far, one line each:
                   "RANGE IF-RANGE STATUS" ("-" for a header that was not sent)
  /lifeline        see above
/resume/N answers a 200 with Content-Length, an ETag ("v0") and a Last-Modified, and a
"Range: bytes=A-" request whose If-Range (if any) is the ETag or the Last-Modified with a 206
and "Content-Range: bytes A-(N-1)/N" (416 when A >= N). OPTIONS (&-separated):
  key=KEY        names the scenario: requests are counted and listed per key
  validator=V    etag (the default: ETag and Last-Modified), weak (a weak ETag and
                 Last-Modified), lastmod (Last-Modified only) or none
  changing=1     the validators change with every request (the file "changed")
  norange=1      Range is ignored: always the whole body
  skew=1         the Content-Range of a 206 starts one byte late
  drop=B         after B body bytes the connection closes (cleanly, so no byte sent is lost)...
  drops=K        ...on the first K requests of the key (default 1)
  stall=B        after B body bytes nothing more is sent until the client goes (or 120 s)...
  stalls=K       ...on the first K requests of the key (default 1)
  unanswered=K   the K requests after the first are closed at once, unanswered (logged with
                 the status "closed")
A request in proxy form ("GET http://host:port/path") is answered 407 with the body
"proxy says no" until it carries Proxy-Authorization Basic "proxyuser:proxypass"; then the
path is served as above.
"""
import base64
import os
import socket
import ssl
import socketserver
import struct
import sys
import threading
import time

PERIOD = 65521  # prime, so chunk boundaries never line up with the pattern
PATTERN = bytes(((i * 31) + (i >> 8)) & 0xFF for i in range(PERIOD))
PATTERN_X2 = PATTERN + PATTERN
PROXY_CREDENTIALS = "proxyuser:proxypass"
PROXY_REFUSAL = b"proxy says no"
LIFELINE = threading.Event()
COUNTS = {"hang": 0, "tls": 0, "https": 0}
TLS = None  # the server side of TLS, when TLS_DIR was given
CRL = None  # the DER revocation list served at /crl
COUNTS_LOCK = threading.Lock()
RESUME_REQUESTS = {}  # key -> ["RANGE IF-RANGE STATUS", ...]


def count(name):
    with COUNTS_LOCK:
        COUNTS[name] += 1


def body_bytes(offset, count):
    """count bytes of the endless pattern, starting at offset."""
    out = bytearray()
    while count > 0:
        start = offset % PERIOD
        take = min(count, PERIOD)
        out += PATTERN_X2[start:start + take]
        offset += take
        count -= take
    return bytes(out)


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        sock = self.request
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        try:
            if sock.recv(1, socket.MSG_PEEK) == b"\x16":
                count("tls")
                if TLS is None:
                    return
                sock = TLS.wrap_socket(sock, server_side=True)
            stream = sock.makefile("rb")
            while self.serve_one(sock, stream):
                pass
        except (ConnectionError, OSError):
            pass

    def serve_one(self, sock, stream):
        line = stream.readline(65536).decode("latin-1")
        if not line:
            return False
        if isinstance(sock, ssl.SSLSocket):
            count("https")
        parts = line.split()
        target = parts[1] if len(parts) > 1 else "/"
        headers = {}
        while True:
            h = stream.readline(65536).decode("latin-1")
            if h in ("\r\n", "\n", ""):
                break
            name, _, value = h.partition(":")
            headers[name.strip().lower()] = value.strip()

        if target.startswith("http://"):
            target = "/" + target.split("/", 3)[3] if target.count("/") >= 3 else "/"
            if basic(headers.get("proxy-authorization")) != PROXY_CREDENTIALS:
                self.reply(sock, 407, PROXY_REFUSAL,
                           ['Proxy-Authenticate: Basic realm="test proxy"'])
                return True

        segs = [s for s in target.split("?")[0].split("/") if s]
        kind = segs[0] if segs else ""
        num = lambda i: int(segs[i]) if len(segs) > i else 0

        if kind == "lifeline":
            LIFELINE.set()
            while sock.recv(4096):
                pass
            os._exit(0)
        elif kind == "file":
            self.send_pattern(sock, 200, num(1))
        elif kind == "crl" and CRL is not None:
            self.reply(sock, 200, CRL, ["Content-Type: application/pkix-crl"])
        elif kind == "nolength":
            sock.sendall(b"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")
            self.send_body(sock, num(1))
            return False
        elif kind == "status":
            self.reply(sock, num(1), body_bytes(0, num(2)))
        elif kind == "empty":
            self.reply(sock, 200, b"")
        elif kind == "hang":
            count("hang")
            while sock.recv(4096):
                pass
            return False
        elif kind == "slow":
            n = num(1)
            sock.sendall(header(200, n))
            for off in range(0, n, 512):
                sock.sendall(body_bytes(off, min(512, n - off)))
                time.sleep(0.02)
        elif kind in ("reset", "short"):
            n = num(1)
            sock.sendall(header(200, 2 * n))
            sock.sendall(body_bytes(0, n))
            time.sleep(0.1)
            if kind == "reset":  # otherwise the close ends the connection cleanly
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            sock.close()
            return False
        elif kind == "long":
            n = num(1)
            sock.sendall(header(200, n))
            self.send_body(sock, 2 * n)
            return False
        elif kind == "auth":
            got = basic(headers.get("authorization"))
            if got is None:
                self.reply(sock, 401, b"who are you", ['WWW-Authenticate: Basic realm="test"'])
            else:
                self.reply(sock, 200, got.encode("utf-8"))
        elif kind == "resume":
            return self.serve_resume(sock, num(1), query(target), headers)
        elif kind == "requests":
            with COUNTS_LOCK:
                lines = RESUME_REQUESTS.get(segs[1] if len(segs) > 1 else "", [])
                self.reply(sock, 200, "".join(line + "\n" for line in lines).encode())
        elif kind == "count":
            with COUNTS_LOCK:
                self.reply(sock, 200, str(COUNTS.get(segs[1] if len(segs) > 1 else "", 0)).encode())
        elif not segs:
            self.reply(sock, 200, b"root")
        else:
            self.reply(sock, 404, b"no such path")
        return True

    def serve_resume(self, sock, size, options, headers):
        key = options.get("key", "")
        with COUNTS_LOCK:
            log = RESUME_REQUESTS.setdefault(key, [])
            number = len(log)
            log.append("")
        version = number if "changing" in options else 0
        etag = '"v%d"' % version
        last_modified = "Sat, 01 Jan 2022 00:%02d:%02d GMT" % (version // 60 % 60, version % 60)
        kind = options.get("validator", "etag")
        validators = {"etag": [("ETag", etag), ("Last-Modified", last_modified)],
                      "weak": [("ETag", "W/" + etag), ("Last-Modified", last_modified)],
                      "lastmod": [("Last-Modified", last_modified)],
                      "none": []}[kind]
        extra = ["%s: %s" % pair for pair in validators]
        strong = [value for _, value in validators if not value.startswith("W/")]

        wanted, if_range = headers.get("range"), headers.get("if-range")
        if 0 < number <= int(options.get("unanswered", 0)):
            log[number] = "%s %s closed" % (wanted or "-", if_range or "-")
            sock.shutdown(socket.SHUT_RDWR)
            sock.close()
            return False
        start, status = 0, 200
        if wanted and "norange" not in options and (if_range is None or if_range in strong):
            first = wanted[len("bytes="):-1] if wanted.startswith("bytes=") else ""
            if wanted.endswith("-") and first.isdigit():
                start, status = int(first), 206
        if status == 206 and start >= size:
            status = 416
        log[number] = "%s %s %d" % (wanted or "-", if_range or "-", status)
        if status == 416:
            self.reply(sock, 416, b"", ["Content-Range: bytes */%d" % size])
            return True
        if status == 206:
            shown = start + 1 if "skew" in options else start
            extra.append("Content-Range: bytes %d-%d/%d" % (shown, size - 1, size))
        sock.sendall(header(status, size - start, extra))

        cut = None
        if "drop" in options and number < int(options.get("drops", 1)):
            cut = ("drop", int(options["drop"]))
        elif "stall" in options and number < int(options.get("stalls", 1)):
            cut = ("stall", int(options["stall"]))
        if cut is None:
            self.send_body(sock, size - start, start)
            return True
        self.send_body(sock, min(cut[1], size - start), start)
        if cut[0] == "stall":
            sock.settimeout(120)
            while sock.recv(4096):
                pass
        sock.shutdown(socket.SHUT_RDWR)
        sock.close()
        return False

    @staticmethod
    def reply(sock, status, body, extra=()):
        sock.sendall(header(status, len(body), extra) + body)

    def send_pattern(self, sock, status, n):
        sock.sendall(header(status, n))
        self.send_body(sock, n)

    @staticmethod
    def send_body(sock, n, start=0):
        off = start
        block = 1 << 20
        while off < start + n:
            take = min(block, start + n - off)
            sock.sendall(body_bytes(off, take))
            off += take


def header(status, length, extra=()):
    lines = ["HTTP/1.1 %d Status%d" % (status, status), "Content-Length: %d" % length,
             "Content-Type: application/octet-stream"] + list(extra)
    return ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1")


def query(target):
    """The &-separated NAME=VALUE options after "?" as a dict."""
    options = {}
    for item in target.partition("?")[2].split("&"):
        if item:
            name, _, value = item.partition("=")
            options[name] = value
    return options


def basic(value):
    if not value or not value.lower().startswith("basic "):
        return None
    try:
        return base64.b64decode(value[6:].strip()).decode("utf-8")
    except ValueError:
        return None


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64


def main():
    global TLS, CRL
    port_file = sys.argv[1]
    server = Server(("127.0.0.1", 0), Handler)
    if len(sys.argv) == 3:
        # The certificate names the revocation list's URL, so it is made once the port is known.
        import tls_identity
        TLS, CRL = tls_identity.make(sys.argv[2], server.server_address[1])
    tmp = port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(tmp, port_file)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    if not LIFELINE.wait(60):
        os._exit(1)
    while True:
        time.sleep(3600)


if __name__ == "__main__":
    main()
