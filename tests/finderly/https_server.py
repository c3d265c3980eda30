#!/usr/bin/env python3
"""An HTTPS server on loopback with a self-signed certificate, as devices on a
LAN have, for the description fetches of the SSDP tests. ctest starts it
before them and stops it after, also where they run under Wine, which
cannot serve TLS itself:

    https_server.py start FOLDER   runs it in the background; FOLDER/port
                                   then holds its port
    https_server.py stop FOLDER    ends it

GET /desc.xml answers a description named "Living Room"; GET
/redirect?to=URL answers "302 Found" with URL as its Location. It ends by
itself after an hour.
"""

import http.server
import os
import signal
import ssl
import sys
import time
import urllib.parse

TLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "tls")
DESCRIPTION = b"<root><device><friendlyName>Living Room</friendlyName></device></root>"
LIFETIME_S = 3600


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        target = urllib.parse.parse_qs(url.query).get("to")
        if url.path == "/desc.xml":
            self.send_response(200)
            self.send_header("Content-Type", "text/xml")
            self.send_header("Content-Length", str(len(DESCRIPTION)))
            self.end_headers()
            self.wfile.write(DESCRIPTION)
        elif url.path == "/redirect" and target:
            self.send_response(302)
            self.send_header("Location", target[0])
            self.send_header("Content-Length", "0")
            self.end_headers()
        else:
            self.send_error(404)
        self.close_connection = True


def serve(folder):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(TLS, "device-cert.pem"),
                            os.path.join(TLS, "device-key.pem"))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    signal.signal(signal.SIGALRM, lambda *_: os._exit(0))
    signal.alarm(LIFETIME_S)
    with open(os.path.join(folder, "pid"), "w") as pid:
        pid.write(str(os.getpid()))
    # Written last, under its final name: it means the server is ready.
    with open(os.path.join(folder, "port.new"), "w") as port:
        port.write(str(server.server_address[1]))
    os.rename(os.path.join(folder, "port.new"), os.path.join(folder, "port"))
    server.serve_forever()


def stop(folder):
    try:
        with open(os.path.join(folder, "pid")) as pid:
            os.kill(int(pid.read()), signal.SIGTERM)
    except (OSError, ValueError):
        pass
    for name in ("pid", "port"):
        try:
            os.remove(os.path.join(folder, name))
        except OSError:
            pass


def start(folder):
    stop(folder)
    os.makedirs(folder, exist_ok=True)
    if os.fork() == 0:
        # Detached from ctest's pipes and session, so that ctest goes on.
        os.setsid()
        null = os.open(os.devnull, os.O_RDWR)
        for fd in (0, 1, 2):
            os.dup2(null, fd)
        try:
            serve(folder)
        finally:
            os._exit(1)
    deadline = time.monotonic() + 10
    while not os.path.exists(os.path.join(folder, "port")):
        if time.monotonic() > deadline:
            sys.exit("https_server: did not start")
        time.sleep(0.05)


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop"):
        sys.exit(__doc__)
    (start if sys.argv[1] == "start" else stop)(os.path.abspath(sys.argv[2]))


if __name__ == "__main__":
    main()
