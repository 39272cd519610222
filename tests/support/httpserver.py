#!/usr/bin/env python3
"""Test web server on 127.0.0.1: prints its port, then serves until stdin closes.

Routes: /links.html (three links), /empty, /404, /500, /redirect (to /links.html),
/loop (redirects to itself), /stall (never answers), /cut (announces more than it
sends, then closes), /gzip (6000 links, gzip-encoded), /gzip-cut (the
same, cut half-way), /deflate-raw and /deflate-zlib (the same, deflated without
and with the zlib header), /gzip-two (two gzip members), /gzip-two-cut (the
second member cut), /gzip-trailing (junk after the stream), /endless (a body without
end, bounded at 256 MiB or 60 s), /trickle (a slow page), /large?n=N (N links), /big.html (the file given
by --page), /utf16 (the three links in UTF-16, told only by the charset), /headers?kib=N (N KiB of headers before the three links), /endless-headers
(header lines without end, bounded like /endless), /stall-body (headers, a little, then nothing),
/redirect-to?url=U (a redirect to U), /proxy.pac (an automatic proxy configuration script: this
server as the proxy for the host via-proxy.invalid, direct for any other), /broken.pac (a
script that does not parse).
Asked as a proxy ("GET http://any.host/links.html"), it answers as for its own path;
for the host sign-in.invalid only with Basic credentials "user:secret", else 407.
CONNECT HOST:PORT tunnels to PORT on 127.0.0.1, whatever the host.
With --tls CERT KEY it serves HTTPS. With --log FILE, /visit/NAME answers a
small page titled "visit NAME" and appends NAME to FILE, one line per request.
"""
import html
import select
import socket
import http.server
import socketserver
import ssl
import sys
import threading
import gzip
import zlib
import time
import urllib.parse

LINKS = b'<html><body><a href="one.html">1</a> <A HREF="two.html">2</A>\n<a href="http://other.example/x">3</a></body></html>'
page_file = None
visit_log = None


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send_body(self, body, status=200, ctype="text/html"):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_CONNECT(self):
        # The test's hosts resolve nowhere: every tunnel ends on the loopback.
        port = self.path.rpartition(":")[2]
        try:
            upstream = socket.create_connection(("127.0.0.1", int(port)), timeout=10)
        except (OSError, ValueError):
            self.send_error(502)
            return
        self.send_response(200, "Connection established")
        self.end_headers()
        self.close_connection = True
        ends = [self.connection, upstream]
        try:
            while True:
                readable, _, _ = select.select(ends, [], [], 30)
                if not readable:
                    return
                for end in readable:
                    data = end.recv(65536)
                    if not data:
                        return
                    (upstream if end is self.connection else self.connection).sendall(data)
        except OSError:
            pass
        finally:
            upstream.close()

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.hostname == "sign-in.invalid" and \
                self.headers.get("Proxy-Authorization") != "Basic dXNlcjpzZWNyZXQ=":
            body = b"<a href='refused.html'>sign in</a>"
            self.send_response(407)
            self.send_header("Proxy-Authenticate", 'Basic realm="zd"')
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        query = urllib.parse.parse_qs(url.query)
        # Typed addresses get a trailing "/" unless they end in htm or tml.
        path = url.path.rstrip("/") or "/"
        if path.startswith("/visit/") and visit_log:
            # One line per request, in the order they came: what a browser asked for.
            with open(visit_log, "a") as log:
                log.write(path[len("/visit/"):] + "\n")
            # Titled by its name, so that a tab strip read over AT-SPI shows which it is.
            name = html.escape(urllib.parse.unquote(path[len("/visit/"):]))
            self.send_body(("<html><head><title>visit %s</title></head><body>ok</body></html>" % name).encode())
            return
        if path in ("/links.html", "/dir/links.html"):
            self.send_body(LINKS)
        elif path == "/empty":
            self.send_body(b"")
        elif path == "/404":
            self.send_body(b'<a href="nope.html">x</a>', 404)
        elif path == "/500":
            self.send_body(b'<a href="nope.html">x</a>', 500)
        elif path == "/redirect":
            self.send_response(302)
            self.send_header("Location", "/links.html")
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif path == "/redirect-to":
            self.send_response(302)
            self.send_header("Location", query["url"][0])
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif path == "/proxy.pac":
            port = self.server.server_address[1]
            script = ('function FindProxyForURL(url, host) {\n'
                      '  if (host == "via-proxy.invalid") return "PROXY 127.0.0.1:%d";\n'
                      '  return "DIRECT";\n}\n' % port)
            self.send_body(script.encode(), ctype="application/x-ns-proxy-autoconfig")
        elif path == "/broken.pac":
            self.send_body(b"function FindProxyForURL(url, host) { return", ctype="application/x-ns-proxy-autoconfig")
        elif path == "/loop":
            self.send_response(302)
            self.send_header("Location", "/loop")
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif path == "/stall":
            time.sleep(30)
        elif path == "/cut":
            self.send_response(200)
            self.send_header("Content-Length", "100000")
            self.end_headers()
            self.wfile.write(b'<a href="partial.html">' + b"x" * 1000)
            self.wfile.flush()
            self.close_connection = True
            self.connection.shutdown(2)
        elif path in ("/gzip", "/gzip-cut"):
            body = gzip.compress(b"".join(b'<a href="g%d.html">g</a>\n' % i for i in range(6000)), mtime=0)
            self.send_response(200)
            self.send_header("Content-Encoding", "gzip")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body if path == "/gzip" else body[: len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
            self.connection.shutdown(2)
        elif path in ("/deflate-raw", "/deflate-zlib", "/gzip-two", "/gzip-trailing", "/gzip-two-cut"):
            # The same 6000 links, encoded as servers do it in the wild.
            page = b"".join(b'<a href="g%d.html">g</a>\n' % i for i in range(6000))
            if path == "/deflate-raw":
                packer = zlib.compressobj(wbits=-15)
                body, encoding = packer.compress(page) + packer.flush(), "deflate"
            elif path == "/deflate-zlib":
                body, encoding = zlib.compress(page), "deflate"
            elif path == "/gzip-trailing":
                body, encoding = gzip.compress(page, mtime=0) + b"\0\0junk", "gzip"
            else:
                half = len(page) // 2
                second = gzip.compress(page[half:], mtime=0)
                if path == "/gzip-two-cut":
                    second = second[: len(second) // 2]
                body, encoding = gzip.compress(page[:half], mtime=0) + second, "gzip"
            self.send_response(200)
            self.send_header("Content-Encoding", encoding)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        elif path == "/endless":
            self.send_response(200)
            self.end_headers()
            block = b'<a href="again.html">x</a>\n' * 2000
            deadline = time.monotonic() + 60
            sent = 0
            try:
                while sent < (256 << 20) and time.monotonic() < deadline:
                    self.wfile.write(block)
                    sent += len(block)
            except OSError:
                pass  # the client gave up, as it should
            self.close_connection = True
        elif path == "/trickle":
            # A slow page: a little every 20 ms for up to 30 s.
            self.send_response(200)
            self.end_headers()
            deadline = time.monotonic() + 30
            try:
                while time.monotonic() < deadline:
                    self.wfile.write(b'<a href="slow.html">s</a>\n' * 100)
                    self.wfile.flush()
                    time.sleep(0.02)
            except OSError:
                pass
            self.close_connection = True
        elif path == "/utf16":
            # Told only by the charset, as the links of LINKS in UTF-16LE.
            self.send_body(LINKS.decode().encode("utf-16-le"), ctype="text/html; charset=utf-16")
        elif path == "/headers":
            self.send_response(200)
            for i in range(int(query.get("kib", ["1"])[0].rstrip("/"))):
                self.send_header(f"X-Pad-{i}", "p" * 1000)
            self.send_header("Content-Length", str(len(LINKS)))
            try:
                self.end_headers()
                self.wfile.write(LINKS)
            except OSError:
                self.close_connection = True  # refused half-way, as it may be
        elif path == "/endless-headers":
            self.send_response(200)
            deadline = time.monotonic() + 60
            sent = 0
            try:
                while sent < (256 << 20) and time.monotonic() < deadline:
                    self.wfile.write(b"X-Pad: " + b"p" * 1000 + b"\r\n")
                    sent += 1009
            except OSError:
                pass
            self.close_connection = True
        elif path == "/stall-body":
            self.send_response(200)
            self.send_header("Content-Length", "100000")
            self.end_headers()
            self.wfile.write(b'<a href="partial.html">')
            self.wfile.flush()
            time.sleep(30)
        elif path == "/large":
            n = int(query.get("n", ["1000"])[0].rstrip("/"))
            body = b"".join(b'<a href="page%d.html">link</a>\n' % i for i in range(n))
            self.send_body(body)
        elif path == "/big.html" and page_file:
            with open(page_file, "rb") as f:
                self.send_body(f.read())
        else:
            self.send_body(b"not found", 404)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    global page_file
    args = sys.argv[1:]
    server = Server(("127.0.0.1", 0), Handler)
    global visit_log
    if "--log" in args:
        visit_log = args[args.index("--log") + 1]
    if "--page" in args:
        page_file = args[args.index("--page") + 1]
    if "--tls" in args:
        i = args.index("--tls")
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args[i + 1], args[i + 2])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()  # ends when the test closes our stdin or dies


if __name__ == "__main__":
    main()
