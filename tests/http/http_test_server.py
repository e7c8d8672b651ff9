#!/usr/bin/env python3
"""Loopback HTTP(S) servers for the HTTP client's tests and benchmark.

Makes a test CA and server certificates with the openssl command line, then
serves on 127.0.0.1 (ephemeral ports):
  plain    - HTTP/1.1 test server (every case below, by path)
  tls      - the same over TLS 1.2/1.3 with a certificate from the test CA
  self     - TLS with a self-signed certificate (not trusted)
  wrong    - TLS with a CA-signed certificate for another name
  black    - accepts nothing (full backlog): connects never finish
  refused  - a closed port
With --interop it also starts Debian's nginx (plain, TLS 1.2 only, TLS 1.3
only) and Python's http.server on a folder of documents.

Prints one line "READY key=value ..." and serves until its parent exits, a
client asks for /quit, or --lifetime seconds have passed.
"""
import argparse
import os
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time

DOC = b'<?xml version="1.0" encoding="utf-8"?>\n'


def xml_doc(size):
    head = DOC + b"<root>"
    tail = b"</root>"
    fill = max(0, size - len(head) - len(tail))
    return head + (b"x" * fill) + tail


def openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_certs(d, rsa=False):
    # P-256 keys by default. With rsa, RSA-2048: Wine's certificate chain
    # check now and then rejects a valid ECDSA signature (one whose r or s is
    # shorter than the curve size), so the Windows stage uses RSA.
    if rsa:
        ec = ["-newkey", "rsa:2048", "-nodes"]
    else:
        ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    openssl("req", "-x509", *ec, "-keyout", "ca.key", "-out", "ca.pem", "-days", "3",
            "-subj", "/CN=Tarvex Test CA",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=d)

    def issue(name, san):
        with open(os.path.join(d, name + ".ext"), "w") as f:
            f.write("subjectAltName=%s\nbasicConstraints=CA:FALSE\n"
                    "extendedKeyUsage=serverAuth\nkeyUsage=digitalSignature\n" % san)
        openssl("req", *ec, "-keyout", name + ".key", "-out", name + ".csr",
                "-subj", "/CN=" + name, cwd=d)
        openssl("x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                "-CAcreateserial", "-out", name + ".pem", "-days", "3",
                "-extfile", name + ".ext", cwd=d)

    issue("server", "DNS:localhost,IP:127.0.0.1,IP:::1")
    issue("wrong", "DNS:wrong.test")
    openssl("req", "-x509", *ec, "-keyout", "self.key", "-out", "self.pem", "-days", "3",
            "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1", cwd=d)


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.counts = {}
        self.ports = {}
        self.stop = threading.Event()

    def hit(self, key):
        with self.lock:
            self.counts[key] = self.counts.get(key, 0) + 1


def read_request(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(65536)
        if not chunk:
            return None, None
        data += chunk
        if not data[:1].isalpha():  # a TLS hello or other binary: not HTTP
            return data, b""
        if len(data) > 1 << 20:
            return None, None
    head, _, rest = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip() or b"0")
    while len(rest) < length:
        chunk = conn.recv(65536)
        if not chunk:
            break
        rest += chunk
    return head, rest


def respond(conn, status, body, headers=()):
    lines = ["HTTP/1.1 %s" % status, "Content-Length: %d" % len(body)] + list(headers)
    conn.sendall(("\r\n".join(lines) + "\r\n\r\n").encode() + body)


def clean_close(conn):
    if isinstance(conn, ssl.SSLSocket):
        try:
            conn = conn.unwrap()  # sends the close notification
        except (OSError, ssl.SSLError):
            pass
    try:
        conn.shutdown(socket.SHUT_WR)
    except OSError:
        pass


def handle(conn, state, scheme):
    head, body = read_request(conn)
    if head is None:
        return
    request_line = head.split(b"\r\n")[0].decode("latin-1")
    parts = request_line.split(" ")
    if len(parts) != 3 or not parts[2].startswith("HTTP/"):
        conn.sendall(b"HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
        return
    method, target = parts[0], parts[1]
    path = target.split("?")[0]
    state.hit(path)
    port = state.ports[scheme]

    if path == "/quit":
        respond(conn, "200 OK", b"<bye/>")
        state.stop.set()
    elif path.startswith("/doc/"):
        respond(conn, "200 OK", xml_doc(int(path[5:])), ["Content-Type: text/xml"])
    elif path.startswith("/many/"):
        items = b"".join(b'<i n="%d">t%d &amp; more</i>' % (k, k) for k in range(int(path[6:])))
        respond(conn, "200 OK", DOC + b"<root>" + items + b"</root>", ["Content-Type: text/xml"])
    elif path in ("/echo", "/", "/svc"):
        text = (head + b"\r\n\r\n" + body).decode("latin-1")
        text = text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
        text = text.replace("\r", "\\r").replace("\n", "\\n")
        respond(conn, "200 OK", ("<req>" + text + "</req>").encode("latin-1"))
    elif path == "/chunked":
        conn.sendall(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                     b"6;ext=1\r\n<root>\r\n5\r\nhello\r\n7\r\n</root>\r\n0\r\nX-Trailer: 1\r\n\r\n")
    elif path.startswith("/bigchunked/"):
        total = int(path[12:])
        conn.sendall(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")
        data = xml_doc(total)
        for i in range(0, len(data), 65536):
            piece = data[i:i + 65536]
            conn.sendall(b"%x\r\n" % len(piece) + piece + b"\r\n")
        conn.sendall(b"0\r\n\r\n")
    elif path == "/close":
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n" + xml_doc(30000))
        clean_close(conn)
    elif path == "/close-abrupt":
        # TLS: the TCP connection ends without the close notification.
        conn.sendall(b"HTTP/1.1 200 OK\r\n\r\n" + xml_doc(3000))
        if isinstance(conn, ssl.SSLSocket):
            raw = socket.socket(fileno=os.dup(conn.fileno()))
            raw.shutdown(socket.SHUT_RDWR)
            raw.close()
        else:
            clean_close(conn)
    elif path == "/close-stall":
        conn.sendall(b"HTTP/1.1 200 OK\r\n\r\n" + DOC + b"<root>partial")
        state.stop.wait(30)
    elif path.startswith("/chain/"):
        n = int(path[7:])
        if n == 0:
            respond(conn, "200 OK", DOC + b"<chain>done</chain>")
        else:
            respond(conn, "302 Found", b"<moved/>", ["Location: /chain/%d" % (n - 1)])
    elif path == "/loop":
        respond(conn, "301 Moved Permanently", b"", ["Location: /loop"])
    elif path == "/dir/sub/a.xml":
        respond(conn, "302 Found", b"", ["Location: ../b.xml?x=1"])
    elif path == "/dir/rel.xml":
        respond(conn, "302 Found", b"", ["Location: c.xml"])
    elif path in ("/dir/b.xml", "/dir/c.xml"):
        respond(conn, "200 OK", DOC + ("<at>%s</at>" % target).encode())
    elif path == "/abs":
        respond(conn, "301 Moved", b"", ["Location: http://127.0.0.1:%d/doc/100" % state.ports["plain"]])
    elif path == "/to-https":
        respond(conn, "302 Found", b"", ["Location: https://127.0.0.1:%d/doc/100" % state.ports["tls"]])
    elif path == "/no-location":
        respond(conn, "302 Found", b"")
    elif path == "/cookie":
        respond(conn, "302 Found", b"", ["Set-Cookie: a=1; Path=/", "Set-Cookie: b=2",
                                         "Location: /echo"])
    elif path == "/see-other":
        respond(conn, "303 See Other", DOC + b"<other/>", ["Location: /doc/10"])
    elif path == "/stall":
        state.stop.wait(30)
    elif path == "/trickle":
        conn.sendall(b"HTTP/1.1 200 OK\r\nX-Slow: ")
        for _ in range(300):
            if state.stop.wait(0.2):
                break
            conn.sendall(b"a")
    elif path == "/noend":
        conn.sendall(b"HTTP/1.1 200 OK\r\nX-Endless: ")
        try:
            for _ in range(64):
                conn.sendall(b"a" * 65536)
        except OSError:
            pass
    elif path == "/truncated":
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + xml_doc(500))
        clean_close(conn)
    elif path == "/truncated-chunked":
        conn.sendall(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n100\r\n" + b"x" * 50)
        clean_close(conn)
    elif path == "/garbage":
        conn.sendall(b"SSH-2.0-Nothing\r\n\r\n")
    elif path == "/huge-length":
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 300000000\r\n\r\n")
    elif path == "/lf-only":
        conn.sendall(b"HTTP/1.1 200 OK\nContent-Length: 9\n\n<a>ok</a>")
    elif path == "/404-xml":
        respond(conn, "404 Not Found", DOC + b"<missing/>")
    elif path == "/404-chunked":
        conn.sendall(b"HTTP/1.1 404 Not Found\r\nTransfer-Encoding: chunked\r\n\r\n"
                     b"a\r\n<missing/>\r\n0\r\n\r\n")
    elif path == "/count":
        key = target.split("?", 1)[1] if "?" in target else ""
        respond(conn, "200 OK", ("<count>%d</count>" % state.counts.get(key, 0)).encode())
    else:
        respond(conn, "404 Not Found", b"")


def serve_connection(conn, state, scheme, context):
    try:
        conn.settimeout(40)
        if context is not None:
            conn = context.wrap_socket(conn, server_side=True)
        handle(conn, state, scheme)
    except (OSError, ssl.SSLError, ValueError):
        pass
    finally:
        try:
            conn.close()
        except OSError:
            pass


def listener(state, scheme, context, family=socket.AF_INET):
    s = socket.socket(family, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("::1" if family == socket.AF_INET6 else "127.0.0.1", 0))
    s.listen(64)
    state.ports[scheme] = s.getsockname()[1]

    def loop():
        while not state.stop.is_set():
            try:
                conn, _ = s.accept()
            except OSError:
                return
            threading.Thread(target=serve_connection, args=(conn, state, scheme, context),
                             daemon=True).start()

    threading.Thread(target=loop, daemon=True).start()
    return s


def black_hole():
    # Backlog full and nothing accepted: further SYNs are dropped, so a
    # connect to this port neither succeeds nor fails until its time limit.
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind(("127.0.0.1", 0))
    s.listen(0)
    port = s.getsockname()[1]
    fillers = []
    for _ in range(4):
        c = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        c.setblocking(False)
        try:
            c.connect(("127.0.0.1", port))
        except BlockingIOError:
            pass
        fillers.append(c)
        time.sleep(0.02)
    return s, fillers, port


def free_port():
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def server_context(d, cert, key):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.minimum_version = ssl.TLSVersion.TLSv1_2
    ctx.load_cert_chain(os.path.join(d, cert), os.path.join(d, key))
    return ctx


def start_interop(d, state, bench_sizes):
    www = os.path.join(d, "www")
    os.makedirs(www, exist_ok=True)
    with open(os.path.join(www, "small.xml"), "wb") as f:
        f.write(xml_doc(1024))
    with open(os.path.join(www, "page.xml"), "wb") as f:
        f.write(DOC + b"<page><title>interop</title><item n=\"1\">one</item><item n=\"2\">two</item></page>")
    for name, size in bench_sizes:
        with open(os.path.join(www, name), "wb") as f:
            chunk = b"<item id=\"1\">some text &amp; more</item>\n"
            f.write(DOC + b"<root>\n")
            written = len(DOC) + 7
            while written + len(chunk) + 7 < size:
                f.write(chunk)
                written += len(chunk)
            f.write(b"</root>")
    procs = []
    if shutil.which("nginx") or os.path.exists("/usr/sbin/nginx"):
        nginx = shutil.which("nginx") or "/usr/sbin/nginx"
        ports = {k: free_port() for k in ("nginx", "nginx12", "nginx13")}
        state.ports.update(ports)
        conf = os.path.join(d, "nginx.conf")
        for sub in ("body", "proxy", "fastcgi", "uwsgi", "scgi"):
            os.makedirs(os.path.join(d, "tmp", sub), exist_ok=True)
        tls = "ssl_certificate %s/server.pem; ssl_certificate_key %s/server.key; ssl_session_cache off; ssl_session_tickets off;" % (d, d)
        loc = """
            root %s;
            location /post { client_max_body_size 16m; client_body_buffer_size 2m;
                             default_type text/xml; return 200 '<ok/>'; }
        """ % www
        with open(conf, "w") as f:
            f.write("""
daemon off; master_process off; worker_processes 1; pid %(d)s/nginx.pid;
error_log %(d)s/nginx-error.log error;
events { worker_connections 256; }
http {
  access_log off; sendfile on; keepalive_timeout 0;
  types { text/xml xml; }
  client_body_temp_path %(d)s/tmp/body; proxy_temp_path %(d)s/tmp/proxy;
  fastcgi_temp_path %(d)s/tmp/fastcgi; uwsgi_temp_path %(d)s/tmp/uwsgi; scgi_temp_path %(d)s/tmp/scgi;
  server { listen 127.0.0.1:%(p)d; %(loc)s }
  server { listen 127.0.0.1:%(p12)d ssl; ssl_protocols TLSv1.2; %(tls)s %(loc)s }
  server { listen 127.0.0.1:%(p13)d ssl; ssl_protocols TLSv1.3; %(tls)s %(loc)s }
}
""" % {"d": d, "p": ports["nginx"], "p12": ports["nginx12"], "p13": ports["nginx13"], "tls": tls, "loc": loc})
        procs.append(subprocess.Popen([nginx, "-p", d, "-c", conf, "-e", os.path.join(d, "nginx-error.log")],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    port = free_port()
    state.ports["pyhttp"] = port
    procs.append(subprocess.Popen([sys.executable, "-m", "http.server", "--bind", "127.0.0.1", str(port),
                                   "--directory", www], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    # Ready when every port answers (bounded).
    deadline = time.time() + 10
    for key in ("nginx", "nginx12", "nginx13", "pyhttp"):
        if key not in state.ports:
            continue
        while time.time() < deadline:
            try:
                socket.create_connection(("127.0.0.1", state.ports[key]), timeout=1).close()
                break
            except OSError:
                time.sleep(0.05)
    return procs


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--interop", action="store_true")
    ap.add_argument("--bench", action="store_true", help="also write 1 MB and 100 MB documents")
    ap.add_argument("--lifetime", type=float, default=600)
    ap.add_argument("--info-xml", help="also write the ports as attributes of <servers/> to this file")
    ap.add_argument("--rsa", action="store_true", help="RSA certificates instead of P-256 ones")
    args = ap.parse_args()
    parent = os.getppid()
    d = tempfile.mkdtemp(prefix="tarvex-http-")
    procs = []
    try:
        make_certs(d, args.rsa)
        state = State()
        # A terminating parent ends the servers through the cleanup below.
        signal.signal(signal.SIGTERM, lambda *_: state.stop.set())
        socks = [listener(state, "plain", None),
                 listener(state, "tls", server_context(d, "server.pem", "server.key")),
                 listener(state, "self", server_context(d, "self.pem", "self.key")),
                 listener(state, "wrong", server_context(d, "wrong.pem", "wrong.key"))]
        try:
            socks.append(listener(state, "plain6", None, socket.AF_INET6))
            socks.append(listener(state, "tls6", server_context(d, "server.pem", "server.key"), socket.AF_INET6))
        except OSError:
            pass  # no IPv6 loopback here
        hole, fillers, state.ports["black"] = black_hole()
        state.ports["refused"] = free_port()
        if args.interop or args.bench:
            sizes = [("1k.xml", 1024), ("1m.xml", 1 << 20)]
            if args.bench:
                sizes.append(("100m.xml", 100 << 20))
            procs = start_interop(d, state, sizes)
        fields = " ".join("%s=%d" % kv for kv in sorted(state.ports.items()))
        if args.info_xml:
            with open(args.info_xml, "w") as f:
                f.write("<servers %s/>" % " ".join('%s="%d"' % kv for kv in sorted(state.ports.items())))
        print("READY %s ca=%s/ca.pem dir=%s pid=%d" % (fields, d, d, os.getpid()), flush=True)
        end = time.time() + args.lifetime
        while not state.stop.is_set() and time.time() < end and os.getppid() == parent:
            time.sleep(0.2)
        state.stop.set()
    finally:
        for p in procs:
            p.terminate()
        for p in procs:
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                p.kill()
        shutil.rmtree(d, ignore_errors=True)


if __name__ == "__main__":
    main()
