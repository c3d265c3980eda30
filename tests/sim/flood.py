#!/usr/bin/env python3
"""A hostile host that floods discovery clients with datagrams.

Run it inside a LAN namespace of scripts/testnet, never on a real network:

    scripts/testnet exec "$TESTNET" a python3 tests/sim/flood.py --wsd \\
        --address 192.0.2.10 --kind garbage --seconds 3

--wsd joins 239.255.255.250:3702 on the interface of --address; every Probe
received starts one flood of the Probe's source ip:port, from port 3702.
--ssdp joins 239.255.255.250:1900 likewise; every M-SEARCH starts one flood
of its source ip:port, from port 1900. A client's probing or search port is
only known once its Probe or M-SEARCH has been seen, so nothing is ever sent
before that.

Each flood lasts --seconds, at --rate datagrams per second (0: as fast as
the socket takes them; a throttled flood that was held up sends at most 4 at
once), and ends after --max-datagrams in any case.

--wsd kinds:
  garbage   random bytes, 1..1400 of them
  huge      65507-byte datagrams, by turns random bytes and a well-formed
            ProbeMatches of the device "Flood Huge", padded with an XML
            comment in its Header
  valid     one well-formed 2005/04 ProbeMatches of the device "Flood Valid",
            the same bytes every time
  distinct  ProbeMatches of --count devices "Flood Device I" (I from 1),
            each with the XAddrs --xaddrs, in turn
  mixed     all of these and empty datagrams, interleaved
  empty     zero-length datagrams

--ssdp kinds (answers are HTTP/1.1 200 OK with CR LF line ends):
  garbage   random bytes, 1..1400 of them
  huge      65507-byte datagrams, by turns random bytes; an answer whose
            LOCATION line starts beyond byte 64000 (path /beyond.xml); an
            answer with its LOCATION near the start and one long header line
            after it up to the end (path /huge-within.xml)
  distinct  answers for --count devices, device I with LOCATION
            http://ADDRESS:HTTP_PORT/desc/I.xml, in turn
  lines     answers of thousands of short header lines, LOCATION last (the
            locations of distinct, in turn), each under 64000 bytes
  locations the --count locations of distinct packed into as few answers
            as possible, each with as many LOCATION lines as fit in 64000 bytes
  fresh     answers packed like those of locations, but every location new:
            device I runs on from 1 for as long as the flood lasts (about
            1,300 of them in each answer)
  fat       answers of one new location each, --location-bytes long: the
            location of device I (I running on from 1) padded with a query
  empty     zero-length datagrams

With --ssdp, an HTTP server on ADDRESS:--http-port serves the descriptions:
/desc/I.xml (I up to --count, any I with fresh and fat; a query is
ignored) behaves as the (I-1)-th of
the comma-separated --http modes, taken in turn:
  normal    a description whose friendlyName is "Flood Device I"
  trickle   one byte a second of a description that never reaches a
            friendlyName, without a length
  hang      reads the request and sends nothing
  huge      2 MiB of padding before the friendlyName, with Content-Length
  endless-header
            a status line and then one header line that never ends, 1 KiB
            at a time as fast as the client reads
/huge-within.xml names "Flood Huge Within", /beyond.xml "Flood Beyond".

--spoof N sends by turns from the N addresses that follow --address (the
extra addresses of scripts/testnet's --extra-a/--extra-b); with distinct,
device I always leaves from the same one of them.

Prints "ready" once listening. --log appends JSON lines: one per Probe or
M-SEARCH seen ("probe"), per flood ended ("flood", with the counts and the
times of its first and last datagram), per HTTP request ("http") and per
request ended ("http-end", with how long its connection was "held" in
seconds) and a summary at the end ("exit"). Runs until SIGTERM, SIGINT or --duration.
"""

import argparse
import http.server
import itertools
import json
import os
import random
import re
import resource
import selectors
import signal
import socket
import struct
import sys
import threading
import time
import uuid
from xml.sax.saxutils import escape

GROUP = "239.255.255.250"
WSD_PORT = 3702
SSDP_PORT = 1900
# Linux value; some Python builds lack the constant.
IP_PKTINFO = getattr(socket, "IP_PKTINFO", 8)
MAX_DATAGRAM = 65507  # largest UDP payload over IPv4
SSDP_READ = 64000  # what a client reading into a 64000-byte buffer sees
POOL = 512  # random datagrams made in advance, so that sending is all the work
BATCH = 64  # datagrams per flood between two looks at the sockets
# A throttled flood saves up at most this many datagrams while it cannot send
# (a token bucket), so that --rate also bounds the bursts after a delay.
BURST = 4

SOAP = "http://www.w3.org/2003/05/soap-envelope"
WSD = "http://schemas.xmlsoap.org/ws/2005/04/discovery"
WSA = "http://schemas.xmlsoap.org/ws/2004/08/addressing"
ANONYMOUS = WSA + "/role/anonymous"
ONVIF_NETWORK = "http://www.onvif.org/ver10/network/wsdl"

DOC_HEAD = ('<?xml version="1.0" encoding="utf-8"?>\n'
            '<root xmlns="urn:schemas-upnp-org:device-1-0">\n'
            "<specVersion><major>1</major><minor>0</minor></specVersion>\n").encode()
TRICKLE_BODY = DOC_HEAD + b"<!--" + b"x" * 4096
HUGE_PADDING = b"<!--" + b"x" * (2 * 1024 * 1024) + b"-->\n"
TRICKLE_LIMIT_S = 120  # a trickle or hang ends by itself even if nobody gives up
LINES_PER_ANSWER = 6000

PROBE = re.compile(rb"<(?:[A-Za-z_][\w.-]*:)?Probe[\s/>]")
MESSAGE_ID = re.compile(rb"<(?:[A-Za-z_][\w.-]*:)?MessageID[^>]*>\s*([^<\s]+)")
M_SEARCH = re.compile(rb"^M-SEARCH \* HTTP/1\.1\r?\n")


# --- Messages ----------------------------------------------------------------

def garbage_pool(low, high, count=POOL):
    return [os.urandom(random.randint(low, high)) for _ in range(count)]


def probe_matches(name, xaddrs, relates_to, pad_to=0):
    """A 2005/04 ProbeMatches; pad_to pads it to that many bytes in the Header."""
    endpoint = uuid.uuid5(uuid.NAMESPACE_URL, "flood:" + name)
    scopes = ("onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/name/"
              + name.replace(" ", "%20") + " onvif://www.onvif.org/hardware/Flood")

    def envelope(pad):
        return (
            '<?xml version="1.0" encoding="UTF-8"?>\n'
            f'<SOAP-ENV:Envelope xmlns:SOAP-ENV="{SOAP}" xmlns:wsa="{WSA}" '
            f'xmlns:d="{WSD}" xmlns:dn="{ONVIF_NETWORK}">'
            "<SOAP-ENV:Header>"
            f"<wsa:MessageID>urn:uuid:{uuid.uuid5(endpoint, relates_to)}</wsa:MessageID>"
            f"<wsa:RelatesTo>{escape(relates_to)}</wsa:RelatesTo>"
            f"<wsa:To>{ANONYMOUS}</wsa:To>"
            f"<wsa:Action>{WSD}/ProbeMatches</wsa:Action>{pad}"
            "</SOAP-ENV:Header><SOAP-ENV:Body><d:ProbeMatches><d:ProbeMatch>"
            f"<wsa:EndpointReference><wsa:Address>urn:uuid:{endpoint}</wsa:Address>"
            "</wsa:EndpointReference><d:Types>dn:NetworkVideoTransmitter</d:Types>"
            f"<d:Scopes>{escape(scopes)}</d:Scopes><d:XAddrs>{escape(xaddrs)}</d:XAddrs>"
            "<d:MetadataVersion>1</d:MetadataVersion></d:ProbeMatch></d:ProbeMatches>"
            "</SOAP-ENV:Body></SOAP-ENV:Envelope>"
        ).encode()

    data = envelope("")
    if pad_to:
        data = envelope("<!--" + "x" * (pad_to - len(data) - 7) + "-->")
        assert len(data) == pad_to
    return data


def ssdp_answer(locations, extra_lines=()):
    """An answer with a LOCATION line for each of locations, after extra_lines."""
    usn = uuid.uuid5(uuid.NAMESPACE_URL, locations[0])
    lines = ["HTTP/1.1 200 OK", "CACHE-CONTROL: max-age=1800", "EXT:", *extra_lines,
             *(f"LOCATION: {location}" for location in locations),
             "SERVER: Linux/5.10 UPnP/1.0 Flood/1.0", "ST: upnp:rootdevice",
             f"USN: uuid:{usn}::upnp:rootdevice"]
    return ("\r\n".join(lines) + "\r\n\r\n").encode()


def padded_to(data, size, before):
    """data with an X-PAD header line inserted before the line starting with before."""
    at = data.index(before)
    pad = size - len(data) - len("X-PAD: \r\n")
    out = data[:at] + b"X-PAD: " + b"p" * pad + b"\r\n" + data[at:]
    assert len(out) == size
    return out


class Payloads:
    """The datagrams of one flood: next_datagram() gives (data, source index)."""

    def __init__(self, args, sources, relates_to):
        self.args = args
        self.sources = sources
        self.turn = itertools.count()
        maker = getattr(self, f"{'wsd' if args.wsd else 'ssdp'}_{args.kind}")
        self.cycle = maker(relates_to)

    def next_datagram(self):
        return next(self.cycle)

    def in_turn(self, datagrams):
        """Plain datagrams, sent from each source by turns."""
        for data in itertools.cycle(datagrams):
            yield data, next(self.turn) % len(self.sources)

    # Each device I keeps to one source, so its answers stay the same.
    def per_device(self, make):
        devices = [(make(i, self.sources[i % len(self.sources)]), i % len(self.sources))
                   for i in range(1, self.args.count + 1)]
        return itertools.cycle(devices)

    def wsd_garbage(self, relates_to):
        return self.in_turn(garbage_pool(1, 1400))

    def wsd_empty(self, relates_to):
        return self.in_turn([b""])

    def wsd_huge(self, relates_to):
        xml = probe_matches("Flood Huge", f"http://{self.args.address}/onvif/device_service",
                            relates_to, MAX_DATAGRAM)
        return self.in_turn(list(itertools.chain.from_iterable(
            (noise, xml) for noise in garbage_pool(MAX_DATAGRAM, MAX_DATAGRAM, 16))))

    def wsd_valid(self, relates_to):
        return self.in_turn([probe_matches(
            "Flood Valid", f"http://{self.args.address}/onvif/device_service", relates_to)])

    def wsd_distinct(self, relates_to):
        def make(i, source):
            xaddrs = self.args.xaddrs.replace("{ip}", source).replace("{i}", str(i))
            return probe_matches(f"Flood Device {i}", xaddrs, relates_to)
        return self.per_device(make)

    def wsd_mixed(self, relates_to):
        kinds = [self.wsd_garbage(relates_to), self.wsd_empty(relates_to),
                 self.wsd_huge(relates_to), self.wsd_valid(relates_to),
                 self.wsd_distinct(relates_to)]
        for kind in itertools.cycle(kinds):
            yield next(kind)

    def location(self, path):
        return f"http://{self.args.address}:{self.args.http_port}{path}"

    def ssdp_garbage(self, relates_to):
        return self.in_turn(garbage_pool(1, 1400))

    def ssdp_empty(self, relates_to):
        return self.in_turn([b""])

    def ssdp_huge(self, relates_to):
        beyond = padded_to(ssdp_answer([self.location("/beyond.xml")]), MAX_DATAGRAM, b"LOCATION:")
        assert beyond.index(b"LOCATION:") > SSDP_READ
        within = ssdp_answer([self.location("/huge-within.xml")])
        within = padded_to(within, MAX_DATAGRAM, b"SERVER:")
        noise = garbage_pool(MAX_DATAGRAM, MAX_DATAGRAM, 16)
        return self.in_turn(list(itertools.chain.from_iterable(
            (n, beyond, within) for n in noise)))

    def ssdp_distinct(self, relates_to):
        return self.per_device(lambda i, source: ssdp_answer([self.location(f"/desc/{i}.xml")]))

    def ssdp_lines(self, relates_to):
        filler = [f"X: {k}" for k in range(LINES_PER_ANSWER)]

        def make(i, source):
            data = ssdp_answer([self.location(f"/desc/{i}.xml")], extra_lines=filler)
            assert len(data) < SSDP_READ
            return data
        return self.per_device(make)

    def packed(self, devices):
        """Answers with the LOCATION lines of devices, as many in each as fit in 64000 bytes."""
        line = "LOCATION: {}\r\n"
        frame = len(ssdp_answer(["x"])) - len(line.format("x"))  # all but the LOCATION lines
        locations, size = [], frame
        for i in devices:
            location = self.location(f"/desc/{i}.xml")
            if size + len(line.format(location)) >= SSDP_READ:
                yield ssdp_answer(locations)
                locations, size = [], frame
            locations.append(location)
            size += len(line.format(location))
        yield ssdp_answer(locations)

    def ssdp_locations(self, relates_to):
        answers = list(self.packed(range(1, self.args.count + 1)))
        assert all(len(answer) < SSDP_READ for answer in answers)
        return self.in_turn(answers)

    def ssdp_fresh(self, relates_to):
        for data in self.packed(itertools.count(1)):
            yield data, next(self.turn) % len(self.sources)

    def ssdp_fat(self, relates_to):
        for i in itertools.count(1):
            location = self.location(f"/desc/{i}.xml?")
            location += "p" * (self.args.location_bytes - len(location))
            data = ssdp_answer([location])
            assert len(data) < SSDP_READ
            yield data, next(self.turn) % len(self.sources)


# --- Descriptions over HTTP ---------------------------------------------------

def description(name):
    return DOC_HEAD + (f"<device><deviceType>urn:schemas-upnp-org:device:Basic:1</deviceType>"
                       f"<friendlyName>{escape(name)}</friendlyName>"
                       f"<UDN>uuid:{uuid.uuid5(uuid.NAMESPACE_URL, name)}</UDN></device>"
                       "</root>\n").encode()


class DescriptionHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):
        pass  # requests go to --log

    def do_GET(self):
        flood = self.server.flood
        mode, name = flood.route(self.path)
        began = time.time()
        flood.log.write(event="http", path=self.path, mode=mode, t=began)
        self.close_connection = True
        try:
            self.respond(mode, name)
        except OSError:
            pass  # the client gave up
        flood.log.write(event="http-end", path=self.path, mode=mode, held=time.time() - began)

    def respond(self, mode, name):
        if mode is None:
            self.send_error(404)
        elif mode == "normal":
            self.answer(description(name))
        elif mode == "huge":
            self.answer(DOC_HEAD + HUGE_PADDING + description(name)[len(DOC_HEAD):])
        elif mode == "trickle":
            self.send_response(200)
            self.send_header("Content-Type", 'text/xml; charset="utf-8"')
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.flush()
            self.trickle()
        elif mode == "endless-header":
            self.endless_header()
        else:
            self.hang()

    def answer(self, body):
        self.send_response(200)
        self.send_header("Content-Type", 'text/xml; charset="utf-8"')
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)

    def trickle(self):
        stop = self.server.flood.stop
        for k in range(min(len(TRICKLE_BODY), TRICKLE_LIMIT_S)):
            self.wfile.write(TRICKLE_BODY[k:k + 1])
            self.wfile.flush()
            if stop.wait(1):
                return

    def endless_header(self):
        self.wfile.write(b"HTTP/1.1 200 OK\r\nX-Endless: ")
        stop = self.server.flood.stop
        deadline = time.monotonic() + TRICKLE_LIMIT_S
        while not stop.is_set() and time.monotonic() < deadline:
            self.wfile.write(b"h" * 1024)
            self.wfile.flush()

    def hang(self):
        self.connection.settimeout(1)
        stop = self.server.flood.stop
        for _ in range(TRICKLE_LIMIT_S):
            if stop.is_set():
                return
            try:
                if not self.connection.recv(4096):
                    return
            except socket.timeout:
                pass


class DescriptionServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 1024


# --- The flooder ---------------------------------------------------------------

class JsonLines:
    """Appends one JSON object per line, from any thread; a no-op without a path."""

    def __init__(self, path):
        self.file = open(path, "a", encoding="utf-8", buffering=1) if path else None
        self.lock = threading.Lock()

    def write(self, **record):
        if self.file:
            with self.lock:
                self.file.write(json.dumps(record) + "\n")


class Flood:
    def __init__(self, args, destination, payloads, now):
        self.destination = destination
        self.payloads = payloads
        self.end = now + args.seconds
        self.rate = args.rate
        self.credit = 1.0  # datagrams that may go now
        self.counted = now  # when credit was last brought up to date
        self.limit = args.max_datagrams
        self.sent = 0
        self.bytes = 0
        self.errors = 0
        self.first = self.last = None

    def due(self, now):
        """Datagrams that may go now, at most BATCH; take() them once sent."""
        if now >= self.end or self.sent >= self.limit:
            return 0
        if not self.rate:
            return min(BATCH, self.limit - self.sent)
        self.credit = min(BURST, self.credit + (now - self.counted) * self.rate)
        self.counted = now
        return min(int(self.credit), self.limit - self.sent)

    def take(self, count):
        if self.rate:
            self.credit -= count

    def next_due(self):
        """When the next datagram may go, as of the last due()."""
        if not self.rate:
            return self.end
        return min(self.end, self.counted + max(0.0, 1 - self.credit) / self.rate)

    def finished(self, now):
        return now >= self.end or self.sent >= self.limit


class Flooder:
    def __init__(self, args):
        self.args = args
        self.log = JsonLines(args.log)
        self.stop = threading.Event()
        base = struct.unpack("!I", socket.inet_aton(args.address))[0]
        self.sources = ([socket.inet_ntoa(struct.pack("!I", base + k))
                         for k in range(1, args.spoof + 1)] or [args.address])
        self.pktinfo = [struct.pack("@i4s4s", 0, socket.inet_aton(s), bytes(4))
                        for s in self.sources]
        self.floods = []
        self.total_sent = 0
        self.last_sent = None

        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("0.0.0.0", WSD_PORT if args.wsd else SSDP_PORT))
        self.sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                             socket.inet_aton(GROUP) + socket.inet_aton(args.address))

        self.http = None
        if args.ssdp:
            self.routes = {"/huge-within.xml": ("normal", "Flood Huge Within"),
                           "/beyond.xml": ("normal", "Flood Beyond")}
            self.http = DescriptionServer((args.address, args.http_port), DescriptionHandler)
            self.http.flood = self
            args.http_port = self.http.server_address[1]
            threading.Thread(target=self.http.serve_forever, daemon=True).start()

        self.wake, wake_writer = socket.socketpair()
        for s in (self.wake, wake_writer):
            s.setblocking(False)
        self.wake_writer = wake_writer
        signal.set_wakeup_fd(wake_writer.fileno())
        for sig in (signal.SIGTERM, signal.SIGINT):
            signal.signal(sig, lambda *_: self.stop.set())
        self.selector = selectors.DefaultSelector()
        self.selector.register(self.sock, selectors.EVENT_READ)
        self.selector.register(self.wake, selectors.EVENT_READ)

    def route(self, path):
        """(mode, friendlyName) of an HTTP path; (None, None) when unknown."""
        if path in self.routes:
            return self.routes[path]
        match = re.fullmatch(r"/desc/([1-9][0-9]*)\.xml", path.partition("?")[0])
        if not match or (self.args.kind not in ("fresh", "fat")
                         and int(match.group(1)) > self.args.count):
            return None, None
        i = int(match.group(1))
        modes = self.args.http
        return modes[(i - 1) % len(modes)], f"Flood Device {i}"

    def receive(self):
        while True:
            try:
                data, (ip, port) = self.sock.recvfrom(65535, socket.MSG_DONTWAIT)
            except BlockingIOError:
                return
            if self.args.wsd:
                if not PROBE.search(data):
                    continue
                match = MESSAGE_ID.search(data)
                relates_to = match.group(1).decode("ascii", "replace") if match else ""
            else:
                if not M_SEARCH.match(data):
                    continue
                relates_to = ""
            self.log.write(event="probe", src=ip, port=port, t=time.time())
            payloads = Payloads(self.args, self.sources, relates_to)
            self.floods.append(Flood(self.args, (ip, port), payloads, time.monotonic()))

    def send(self, flood, count):
        for _ in range(count):
            data, source = flood.payloads.next_datagram()
            try:
                self.sock.sendmsg([data], [(socket.IPPROTO_IP, IP_PKTINFO, self.pktinfo[source])],
                                  0, flood.destination)
            except OSError:
                flood.errors += 1
                continue
            flood.sent += 1
            self.total_sent += 1
            flood.bytes += len(data)
            flood.last = time.time()
            if flood.first is None:
                flood.first = flood.last

    def end_flood(self, flood):
        self.log.write(event="flood", to=flood.destination[0], port=flood.destination[1],
                       kind=self.args.kind, sent=flood.sent, bytes=flood.bytes,
                       errors=flood.errors, first=flood.first, last=flood.last)
        if flood.last is not None:
            self.last_sent = max(self.last_sent or 0, flood.last)

    def timeout(self, now, deadline):
        """How long select() may wait: not at all while a flood has datagrams due."""
        wakeups = [deadline] if deadline is not None else []
        for flood in self.floods:
            if flood.due(now):
                return 0
            wakeups.append(flood.next_due())
        return max(0, min(wakeups) - now) if wakeups else None

    def run(self):
        deadline = (time.monotonic() + self.args.duration) if self.args.duration else None
        print("ready", flush=True)
        while not self.stop.is_set():
            now = time.monotonic()
            if deadline is not None and now >= deadline:
                break
            for key, _ in self.selector.select(self.timeout(now, deadline)):
                if key.fileobj is self.sock:
                    self.receive()
                else:
                    self.wake.recv(4096)
            now = time.monotonic()
            for flood in self.floods:
                count = flood.due(now)
                self.send(flood, count)
                flood.take(count)
            for flood in [f for f in self.floods if f.finished(now)]:
                self.floods.remove(flood)
                self.end_flood(flood)

    def close(self):
        self.stop.set()
        for flood in self.floods:
            self.end_flood(flood)
        self.log.write(event="exit", sent=self.total_sent, last=self.last_sent, t=time.time())
        if self.http:
            self.http.shutdown()
            self.http.server_close()
        signal.set_wakeup_fd(-1)
        self.selector.close()
        for s in (self.sock, self.wake, self.wake_writer):
            s.close()


# --- Command line ----------------------------------------------------------------

WSD_KINDS = ("garbage", "huge", "valid", "distinct", "mixed", "empty")
SSDP_KINDS = ("garbage", "huge", "distinct", "lines", "locations", "fresh", "fat", "empty")
HTTP_MODES = ("normal", "trickle", "hang", "huge", "endless-header")


def http_modes(text):
    modes = text.split(",")
    for mode in modes:
        if mode not in HTTP_MODES:
            raise argparse.ArgumentTypeError(f"unknown mode {mode!r} (one of {', '.join(HTTP_MODES)})")
    return modes


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__, allow_abbrev=False,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    protocol = p.add_mutually_exclusive_group(required=True)
    protocol.add_argument("--wsd", action="store_true", help="flood WS-Discovery probers")
    protocol.add_argument("--ssdp", action="store_true", help="flood SSDP searchers")
    p.add_argument("--address", required=True, type=socket.inet_aton,
                   help="IPv4 address to join the group on and to send from")
    p.add_argument("--kind", required=True, help="what to send (see above)")
    p.add_argument("--seconds", type=float, default=3, metavar="S",
                   help="length of each flood (default %(default)g)")
    p.add_argument("--rate", type=float, default=0, metavar="R",
                   help="datagrams per second, 0 as fast as possible (default 0)")
    p.add_argument("--max-datagrams", type=int, default=500000, metavar="N",
                   help="datagrams per flood at most (default %(default)d)")
    p.add_argument("--count", type=int, default=1000, metavar="N",
                   help="devices of distinct, mixed, lines and locations (default %(default)d)")
    p.add_argument("--location-bytes", type=int, default=60000, metavar="B",
                   help="length of each location of fat (default %(default)d)")
    p.add_argument("--xaddrs", default="http://{ip}/onvif/device_service/{i}", metavar="TEMPLATE",
                   help="XAddrs of distinct devices, {ip} (the sending address) and {i} "
                        "replaced (default %(default)s)")
    p.add_argument("--spoof", type=int, default=0, metavar="N",
                   help="send from the N addresses after --address, by turns")
    p.add_argument("--http", type=http_modes, default=["normal"], metavar="MODES",
                   help="behaviours of /desc/I.xml, comma-separated, in turn (default normal)")
    p.add_argument("--http-port", type=int, default=0, metavar="PORT",
                   help="port of the description server (default: any free one)")
    p.add_argument("--log", metavar="FILE", help="append JSON lines of what was done")
    p.add_argument("--duration", type=float, default=300, metavar="S",
                   help="exit after S seconds (default %(default)g)")
    args = p.parse_args(argv)
    args.address = socket.inet_ntoa(args.address)
    kinds = WSD_KINDS if args.wsd else SSDP_KINDS
    if args.kind not in kinds:
        p.error(f"--kind must be one of {', '.join(kinds)} here")
    if args.count < 1 or args.spoof < 0 or args.rate < 0 or args.seconds < 0:
        p.error("--count must be positive; --spoof, --rate and --seconds not negative")
    if not 64 <= args.location_bytes <= 63000:
        p.error("--location-bytes must lie between 64 and 63000, so that an answer fits")
    return args


def main(argv):
    args = parse_args(argv)
    # Every trickling or hanging description holds a connection.
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft != resource.RLIM_INFINITY and soft < 4096:
        resource.setrlimit(resource.RLIMIT_NOFILE,
                           (4096 if hard == resource.RLIM_INFINITY else min(hard, 4096), hard))
    try:
        flooder = Flooder(args)
    except OSError as e:
        sys.exit(f"flood: {e}")
    try:
        flooder.run()
    finally:
        flooder.close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
