#!/usr/bin/env python3
"""A population of simulated SSDP/UPnP devices, for testing SSDP clients.

Answers M-SEARCH requests sent to 239.255.255.250:1900 and serves each
device's description document over HTTP; devices can be told to misbehave in
ways seen on real networks. It answers whoever searches, so run it inside a
test network namespace only.
"""

import argparse
import base64
import email.utils
import heapq
import http.server
import itertools
import json
import random
import re
import resource
import selectors
import signal
import socket
import struct
import sys
import textwrap
import threading
import time
import urllib.parse
import uuid
from typing import Callable, NamedTuple

GROUP = "239.255.255.250"
SSDP_PORT = 1900
SERVER = "Linux/5.10 UPnP/1.0 SimDevice/1.0"
DEVICE_TYPE = "urn:schemas-upnp-org:device:MediaRenderer:1"
SERVICES = ("ConnectionManager", "RenderingControl", "AVTransport", "ContentDirectory")
SECOND_SUFFIX = " (second location)"
FILE_LOCATION = "file:///etc/passwd"

DOC_HEAD = """<?xml version="1.0" encoding="utf-8"?>
<root xmlns="urn:schemas-upnp-org:device-1-0">
  <specVersion>
    <major>1</major>
    <minor>0</minor>
  </specVersion>
"""
DOC_TAIL = "</root>\n"
DEVICE_XML = """  <device>
    <deviceType>{type}</deviceType>
    <friendlyName>{name}</friendlyName>
    <manufacturer>Sim Devices</manufacturer>
    <modelName>SimDevice</modelName>
    <UDN>{uuid}</UDN>
{services}  </device>
"""
SERVICE_XML = """      <service>
        <serviceType>urn:schemas-upnp-org:service:{service}:1</serviceType>
        <serviceId>urn:upnp-org:serviceId:{service}</serviceId>
        <SCPDURL>/desc/{index}/{service}.xml</SCPDURL>
        <controlURL>/ctl/{index}/{service}</controlURL>
        <eventSubURL>/evt/{index}/{service}</eventSubURL>
      </service>
"""
# Padding is an XML comment, so huge and endless bodies stay well-formed as
# far as they go, and never contain a friendlyName of their own.
HUGE_PADDING = b"<!--" + b"x" * (5 * 1024 * 1024) + b"-->\n"
FILLER = b"<!--" + b"x" * (64 * 1024 - 8) + b"-->\n"

LOCATION_HOST = re.compile(rb"(?im)^(location[ \t]*:[ \t]*[a-z][a-z0-9+.-]*://)[^/\s]*")
LOCATION_VALUE = re.compile(rb"(?im)^location[ \t]*:[ \t]*(\S+)")


# --- Device keys -------------------------------------------------------------

def flag(value):
    if value not in ("0", "1"):
        raise ValueError("expected 0 or 1")
    return value == "1"


def one_of(*choices):
    def convert(value):
        if value not in choices:
            raise ValueError("expected " + "|".join(choices))
        return value
    return convert


def int_in(low, high):
    def convert(value):
        number = int(value)
        if not low <= number <= high:
            raise ValueError(f"expected {low}..{high}")
        return number
    return convert


def file_bytes(path):
    with open(path, "rb") as f:
        return f.read()


class Key(NamedTuple):
    convert: Callable
    default: object
    meta: str
    help: str


KEYS = {
    "name": Key(str, None, "TEXT", "friendlyName, put into the XML verbatim "
                "(default: --name-prefix with the device index)"),
    "services": Key(int_in(0, len(SERVICES)), None, "N",
                    "services of the device; it answers ssdp:all 3+N times "
                    "(default: 1 + (index-1) % 3)"),
    "case": Key(one_of("upper", "lower", "mixed"), "upper", "upper|lower|mixed",
                "case of the answer's header names (LOCATION, location, Location)"),
    "locspace": Key(flag, False, "0|1", "spaces and tabs around the LOCATION value"),
    "lf": Key(flag, False, "0|1", "LF-only line ends in the answer"),
    "multiloc": Key(flag, False, "0|1", "a second LOCATION line with another URL, whose "
                    f"document's friendlyName ends in '{SECOND_SUFFIX}'"),
    "emptyloc": Key(flag, False, "0|1", "an empty LOCATION value"),
    "http": Key(int_in(200, 599), 200, "CODE", "HTTP status of the description (e.g. 404, 500)"),
    "refused": Key(flag, False, "0|1", "LOCATION names a port that refuses connections"),
    "body": Key(one_of("normal", "huge", "endless", "endless-raw", "trickle", "hang"), "normal",
                "normal|huge|endless|endless-raw|trickle|hang",
                "description body: normal; huge (5 MiB of padding before "
                "<device>, with Content-Length); endless (chunked, never ends); "
                "endless-raw (no length, never ends); trickle (no length, one byte "
                "per second, never ends); hang (accepts and sends nothing). "
                "Endless bodies never reach a friendlyName"),
    "rate": Key(int_in(0, 1 << 40), 0, "BPS",
                "bytes per second for huge and endless bodies; 0 is unthrottled"),
    "scheme": Key(one_of("http", "file", "ftp", "data"), "http", "http|file|ftp|data",
                  f"LOCATION scheme; file gives {FILE_LOCATION}, data gives a "
                  "base64 data: URL of a tiny document with the friendlyName"),
    "desc": Key(file_bytes, None, "FILE", "serve FILE unchanged as the description"),
    "response": Key(file_bytes, None, "FILE",
                    "send FILE as the answer, once per search whatever its ST; "
                    "{{LOCATION}}, {{HOST}} and {{DATE}} in it are replaced, a file "
                    "without them goes out byte for byte"),
    "silent": Key(flag, False, "0|1", "never answer a search"),
}


def parse_keys(text):
    """Parses KEY=VALUE;KEY=VALUE. A ';' splits only where a known KEY= follows,
    so values such as 'A &amp; B' keep their ';'."""
    keys = {}
    for item in re.split(r";(?=\s*(?:%s)=)" % "|".join(KEYS), text):
        key, sep, value = item.partition("=")
        key = key.strip()
        if not sep or key not in KEYS:
            raise argparse.ArgumentTypeError(f"unknown key in {item!r}")
        try:
            keys[key] = KEYS[key].convert(value)
        except (ValueError, OSError) as error:
            raise argparse.ArgumentTypeError(f"{key}: {error}")
    return keys


def arg_type(convert):
    def checked(value):
        try:
            return convert(value)
        except (ValueError, OSError) as error:
            raise argparse.ArgumentTypeError(str(error))
    return checked


# --- SSDP --------------------------------------------------------------------

def parse_search(data, multicast):
    """Returns (ST, MX) of an M-SEARCH; raises ValueError saying what is wrong."""
    head = re.split(rb"\r?\n\r?\n", data, maxsplit=1)[0].decode("utf-8", "replace")
    lines = re.split(r"\r?\n", head)
    if lines[0].split() != ["M-SEARCH", "*", "HTTP/1.1"]:
        raise ValueError(f"request line {lines[0]!r}")
    headers = {}
    for line in lines[1:]:
        name, sep, value = line.partition(":")
        if not sep:
            raise ValueError(f"header line {line!r}")
        headers.setdefault(name.strip().upper(), value.strip())
    if headers.get("MAN") != '"ssdp:discover"':
        raise ValueError(f"MAN {headers.get('MAN')!r}")
    st = headers.get("ST")
    if not st:
        raise ValueError("no ST")
    mx = headers.get("MX", "")
    if not multicast:
        return st, 0
    if headers.get("HOST") != f"{GROUP}:{SSDP_PORT}":
        raise ValueError(f"HOST {headers.get('HOST')!r}")
    if not mx.isdigit() or int(mx) < 1:
        raise ValueError(f"MX {mx!r}")
    return st, min(int(mx), 5)  # devices treat MX above 5 as 5


def older_or_same_version(search, offered):
    """True for urn:...:Type:v searches that a urn:...:Type:w with v <= w answers."""
    s_type, _, s_version = search.rpartition(":")
    o_type, _, o_version = offered.rpartition(":")
    return (search.startswith("urn:") and s_type == o_type and s_version.isdigit()
            and o_version.isdigit() and int(s_version) <= int(o_version))


def encode(text):
    # surrogateescape keeps undecodable command-line bytes as they came.
    return text.encode("utf-8", "surrogateescape")


class Device:
    def __init__(self, index, opts, sim, address=None):
        self.index = index
        self.opts = opts
        self.name = opts["name"]
        # Where it answers from and serves its descriptions.
        self.address = address or sim.address
        self.http_host = f"{self.address}:{sim.http_port}"
        self.uuid = "uuid:" + str(uuid.uuid5(uuid.NAMESPACE_URL, f"ssdp-sim:{sim.address}:{index}"))
        self.services = SERVICES[:opts["services"]]
        self.targets = ["upnp:rootdevice", self.uuid, DEVICE_TYPE]
        self.targets += [f"urn:schemas-upnp-org:service:{s}:1" for s in self.services]
        main = f"/desc/{index}.xml"
        self.documents = {main: self.name}  # path -> friendlyName served there
        self.response = None
        if opts["response"] is not None:
            self.response = self.render(opts["response"], f"http://{self.http_host}{main}", sim)
            for path in served_paths(self.response, self.http_host):
                self.documents.setdefault(path, self.name)
            return
        self.locations = [self.first_location(main, sim)]
        if opts["multiloc"]:
            second = f"/desc/{index}-second.xml"
            self.documents[second] = self.name + SECOND_SUFFIX
            self.locations.append(f"http://{self.http_host}{second}")

    def first_location(self, path, sim):
        scheme = self.opts["scheme"]
        if self.opts["emptyloc"]:
            return ""
        if scheme == "file":
            return FILE_LOCATION
        if scheme == "data":
            mini = (f'<?xml version="1.0"?><root xmlns="urn:schemas-upnp-org:device-1-0">'
                    f"<device><friendlyName>{self.name}</friendlyName></device></root>")
            return "data:text/xml;base64," + base64.b64encode(encode(mini)).decode()
        port = sim.refused_port if self.opts["refused"] else sim.http_port
        return f"{scheme}://{self.address}:{port}{path}"

    def render(self, template, location, sim):
        data = template.replace(b"{{LOCATION}}", location.encode())
        data = data.replace(b"{{HOST}}", self.http_host.encode())
        if sim.rewrite_location:
            data = LOCATION_HOST.sub(lambda m: m.group(1) + self.http_host.encode(), data)
        return data

    def matches(self, st):
        """The (ST, USN) pairs to answer a search for st with."""
        if self.response is not None:
            return [(st, None)]
        if st == "ssdp:all":
            return [(target, self.usn(target)) for target in self.targets]
        if any(st == target or older_or_same_version(st, target) for target in self.targets):
            return [(st, self.usn(st))]
        return []

    def usn(self, st):
        return self.uuid if st == self.uuid else f"{self.uuid}::{st}"

    def answer(self, st, usn):
        date = email.utils.formatdate(usegmt=True)
        if self.response is not None:
            return self.response.replace(b"{{DATE}}", date.encode())
        opts = self.opts
        name = {"upper": str.upper, "lower": str.lower, "mixed": str.title}[opts["case"]]
        lines = ["HTTP/1.1 200 OK",
                 f"{name('CACHE-CONTROL')}: max-age=1800",
                 f"{name('DATE')}: {date}",
                 f"{name('EXT')}:"]
        space, after = (" \t ", " \t") if opts["locspace"] else (" ", "")  # "LOCATION:" when empty
        lines += [f"{name('LOCATION')}:" + (f"{space}{url}{after}" if url or after else "")
                  for url in self.locations]
        lines += [f"{name('SERVER')}: {SERVER}", f"{name('ST')}: {st}", f"{name('USN')}: {usn}"]
        eol = "\n" if opts["lf"] else "\r\n"
        return encode(eol.join(lines) + eol + eol)

    def device_xml(self, name):
        services = "".join(SERVICE_XML.format(index=self.index, service=s) for s in self.services)
        if services:
            services = f"    <serviceList>\n{services}    </serviceList>\n"
        return DEVICE_XML.format(type=DEVICE_TYPE, name=name, uuid=self.uuid, services=services)

    def document(self, name):
        if self.opts["desc"] is not None:
            return self.opts["desc"]
        return encode(DOC_HEAD + self.device_xml(name) + DOC_TAIL)


def served_paths(answer, http_host):
    """Paths of the answer's LOCATION URLs that point at the simulator."""
    for match in LOCATION_VALUE.finditer(answer):
        url = urllib.parse.urlsplit(match.group(1).decode("latin-1"))
        if url.netloc == http_host:
            yield url.path + ("?" + url.query if url.query else "")


# --- HTTP --------------------------------------------------------------------

class DescriptionHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    timeout = 30  # a client that stops reading must not hold a thread forever

    def version_string(self):
        return SERVER

    def log_message(self, format, *args):
        pass  # requests go to --log

    def do_GET(self):
        sim = self.server.sim
        device, name = sim.paths.get((self.connection.getsockname()[0], self.path), (None, None))
        if device is None:
            body, status = "normal", 404
        else:
            body = device.opts["body"]
            status = None if body == "hang" else device.opts["http"]
        sim.log.write(event="http", device=device and device.index, path=self.path,
                      client=self.client_address[0], port=self.client_address[1],
                      status=status, body=body)
        self.close_connection = True
        try:
            if body == "hang":
                self.hang()
            elif status != 200:
                self.send_error(status)
            elif body == "normal":
                document = device.document(name)
                self.start(200, "Content-Length", len(document))
                self.wfile.write(document)
            elif body == "huge":
                parts = [encode(DOC_HEAD), HUGE_PADDING, encode(device.device_xml(name) + DOC_TAIL)]
                self.start(200, "Content-Length", sum(map(len, parts)))
                self.write_paced(parts, device.opts["rate"])
            else:
                endless = itertools.chain([encode(DOC_HEAD)], itertools.repeat(FILLER))
                chunked = body == "endless"
                if chunked:
                    self.start(200, "Transfer-Encoding", "chunked")
                else:
                    self.start(200)
                self.write_paced(endless, 1 if body == "trickle" else device.opts["rate"], chunked)
        except OSError:
            pass  # the client went away or stopped reading

    def start(self, status, *header):
        self.send_response(status)
        self.send_header("Content-Type", 'text/xml; charset="utf-8"')
        if header:
            self.send_header(*header)
        self.send_header("Connection", "close")
        self.end_headers()

    def write_paced(self, parts, rate, chunked=False):
        stop = self.server.sim.stop
        step = max(1, rate // 10)  # ten writes a second keep a throttled stream smooth
        for part in parts:
            part = memoryview(part)
            pieces = (part[i:i + step] for i in range(0, len(part), step)) if rate else [part]
            for piece in pieces:
                if stop.is_set():
                    return
                self.wfile.write(b"%x\r\n%b\r\n" % (len(piece), piece) if chunked else piece)
                if rate and stop.wait(len(piece) / rate):
                    return

    def hang(self):
        # Holds the connection without a byte of answer until the client gives up.
        self.connection.settimeout(0.5)
        while not self.server.sim.stop.is_set():
            try:
                if not self.connection.recv(4096):
                    return
            except socket.timeout:
                pass


class DescriptionServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 1024  # a client may fetch all devices at once


# --- Simulator ---------------------------------------------------------------

class JsonLines:
    def __init__(self, path):
        self.file = open(path, "a", encoding="utf-8") if path else None
        self.lock = threading.Lock()

    def write(self, **fields):
        line = json.dumps({"time": time.time(), **fields})
        with self.lock:  # handler threads may still write while closing
            if self.file is not None:
                self.file.write(line + "\n")
                self.file.flush()

    def close(self):
        with self.lock:
            if self.file is not None:
                self.file.close()
                self.file = None


def udp_socket(address):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind((address, SSDP_PORT))
    return sock


class Simulator:
    def __init__(self, args, parser):
        self.address = args.address
        self.rewrite_location = args.rewrite_location
        self.delay_max = args.delay_max_ms / 1000
        self.delay_min = args.delay_min_ms / 1000
        self.stop = threading.Event()
        for signum in (signal.SIGTERM, signal.SIGINT):
            signal.signal(signum, lambda *_: self.stop.set())
        self.log = JsonLines(args.log)
        self.capture = JsonLines(args.capture)
        self.queue = []  # (due, seq, device, st, usn, destination)
        self.seq = itertools.count()
        options = list(device_options(args))
        addresses = (device_addresses(args.address, len(options)) if args.address_per_device
                     else [args.address] * len(options))
        # With an address per device, one server on every address serves them all.
        listen = "0.0.0.0" if args.address_per_device else self.address

        # Bound but never listening: connections to it are refused, and
        # nothing else can take the port meanwhile.
        self.refused = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.refused.bind((listen, 0))
        self.refused_port = self.refused.getsockname()[1]

        self.http = DescriptionServer((listen, args.http_port), DescriptionHandler)
        self.http.sim = self
        self.http_port = self.http.server_address[1]

        self.devices = [Device(index, opts, self, address)
                        for index, (opts, address) in enumerate(zip(options, addresses), 1)]
        self.paths = {}  # (address, path) -> (device, friendlyName)
        for device in self.devices:
            for path, name in device.documents.items():
                if (device.address, path) in self.paths:
                    parser.error(f"devices {self.paths[device.address, path][0].index} and "
                                 f"{device.index} both serve {path}")
                self.paths[device.address, path] = (device, name)

        self.group = udp_socket("0.0.0.0")
        self.group.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                              socket.inet_aton(GROUP) + socket.inet_aton(self.address))
        # Answers leave from A:1900 even when A is not the interface's first
        # address; unicast searches to A:1900 arrive here too.
        self.unicast = {address: udp_socket(address)
                        for address in dict.fromkeys(addresses or [self.address])}

        self.selector = selectors.DefaultSelector()
        self.selector.register(self.group, selectors.EVENT_READ, lambda: self.receive(self.group, True))
        for sock in self.unicast.values():
            self.selector.register(sock, selectors.EVENT_READ,
                                   lambda sock=sock: self.receive(sock, False))
        # A signal makes the wakeup socket readable, so select() returns at once.
        self.wakeup, self.wakeup_writer = socket.socketpair()
        for sock in (self.wakeup, self.wakeup_writer):
            sock.setblocking(False)
        self.selector.register(self.wakeup, selectors.EVENT_READ, lambda: self.wakeup.recv(4096))
        signal.set_wakeup_fd(self.wakeup_writer.fileno())
        threading.Thread(target=self.http.serve_forever, daemon=True).start()

    def receive(self, sock, multicast):
        data, (ip, port) = sock.recvfrom(65535)
        self.capture.write(src=ip, port=port, len=len(data), data_b64=base64.b64encode(data).decode())
        try:
            st, mx = parse_search(data, multicast)
        except ValueError as error:
            self.log.write(event="search", src=ip, port=port, accepted=False, reason=str(error))
            return
        self.log.write(event="search", src=ip, port=port, accepted=True, st=st, mx=mx)
        window = min(mx, self.delay_max)
        now = time.monotonic()
        for device in self.devices:
            if device.opts["silent"]:
                continue
            for answer_st, usn in device.matches(st):
                due = now + random.uniform(min(self.delay_min, window), window)
                heapq.heappush(self.queue, (due, next(self.seq), device, answer_st, usn, (ip, port)))

    def send(self, device, st, usn, destination):
        payload = device.answer(st, usn)
        try:
            self.unicast[device.address].sendto(payload, destination)
        except OSError as error:
            print(f"ssdp_sim: answer to {destination}: {error}", file=sys.stderr)
            return
        self.log.write(event="ssdp", device=device.index, name=device.name, to=destination[0],
                       port=destination[1], st=st, usn=usn, len=len(payload))

    def run(self, duration):
        print("ready", flush=True)
        deadline = time.monotonic() + duration if duration is not None else None
        while not self.stop.is_set():
            now = time.monotonic()
            while self.queue and self.queue[0][0] <= now:
                self.send(*heapq.heappop(self.queue)[2:])
            if deadline is not None and now >= deadline:
                break
            wake = [t for t in (self.queue[0][0] if self.queue else None, deadline) if t is not None]
            for key, _ in self.selector.select(max(0.0, min(wake) - now) if wake else None):
                key.data()

    def close(self):
        self.stop.set()
        self.http.shutdown()
        self.http.server_close()
        signal.set_wakeup_fd(-1)
        self.selector.close()
        for sock in (self.group, *self.unicast.values(), self.wakeup, self.wakeup_writer, self.refused):
            sock.close()
        self.log.close()
        self.capture.close()


def device_addresses(first, count):
    """first and the count - 1 IPv4 addresses after it."""
    base = struct.unpack("!I", socket.inet_aton(first))[0]
    return [socket.inet_ntoa(struct.pack("!I", base + k)) for k in range(count)]


def device_name(prefix, index):
    return prefix.replace("%d", str(index)) if "%d" in prefix else f"{prefix}{index}"


def device_options(args):
    """Settings of every device: generated ones first, then each --device."""
    defaults = {key: k.default for key, k in KEYS.items()}
    defaults.update({key: value for key in KEYS
                     if (value := getattr(args, "default_" + key, None)) is not None})
    for index, keys in enumerate([{}] * args.devices + args.device, 1):
        opts = {**defaults, **keys}
        if opts["name"] is None:
            opts["name"] = device_name(args.name_prefix, index)
        if opts["services"] is None:
            opts["services"] = 1 + (index - 1) % 3
        yield opts


def parse_args():
    key_help = "\n".join(f"  {key}={k.meta}\n" + textwrap.fill(k.help, 78, initial_indent=" " * 6,
                                                              subsequent_indent=" " * 6)
                         for key, k in KEYS.items())
    parser = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter, allow_abbrev=False,
        epilog="DEVICE is KEY=VALUE;KEY=VALUE;... with these keys:\n" + key_help + "\n\n"
               "Devices are numbered from 1: the --devices ones first, then each --device\n"
               "in order. Device i describes itself at http://A:PORT/desc/i.xml (with\n"
               "--address-per-device, A plus i-1).\n"
               "Prints 'ready' once it listens; runs until SIGTERM, SIGINT or --duration.")
    parser.add_argument("--address", required=True, metavar="A",
                        help="address of the devices: joins the group on its interface, "
                             "answers and serves HTTP from it")
    parser.add_argument("--address-per-device", action="store_true",
                        help="device i answers and serves its description from A plus i-1 "
                             "(A, then the addresses after it, as scripts/testnet's --extra-a "
                             "and --extra-b add them), so that each has an address of its own")
    parser.add_argument("--http-port", type=int, default=49152, metavar="PORT",
                        help="HTTP port for descriptions (default 49152; 0 picks a free one)")
    parser.add_argument("--devices", type=int, default=0, metavar="N", help="generated devices")
    parser.add_argument("--device", action="append", default=[], type=parse_keys, metavar="DEVICE",
                        help="one more device, configured by keys (below); repeatable")
    parser.add_argument("--name-prefix", default="Sim Device %d", metavar="TEXT",
                        help="friendlyName of device i: TEXT with %%d replaced by i, "
                             "or TEXT followed by i (default 'Sim Device %%d')")
    parser.add_argument("--delay-max-ms", type=int, default=1000, metavar="MS",
                        help="answers go out at random within min(MX seconds, MS) (default 1000)")
    parser.add_argument("--delay-min-ms", type=int, default=0, metavar="MS",
                        help="... but none before MS, as late devices answer (default 0)")
    parser.add_argument("--rewrite-location", action="store_true",
                        help="in response files, point every LOCATION URL's host:port at A:PORT")
    parser.add_argument("--capture", metavar="FILE",
                        help="append each received datagram as a JSON line {src, port, len, data_b64}")
    parser.add_argument("--log", metavar="FILE",
                        help="append a JSON line per search, SSDP answer and HTTP request")
    parser.add_argument("--duration", type=float, metavar="S", help="stop after S seconds")
    defaults = parser.add_argument_group("defaults for every device (a device's own keys win)")
    for key, k in KEYS.items():
        if key == "name":
            continue
        if k.convert is flag:
            defaults.add_argument("--" + key, action="store_const", const=True, dest="default_" + key,
                                  help=f"{key}=1")
        else:
            defaults.add_argument("--" + key, type=arg_type(k.convert), dest="default_" + key,
                                  metavar=k.meta, help=f"{key}={k.meta}")
    return parser, parser.parse_args()


def main():
    parser, args = parse_args()
    # A client may hold a connection to every one of 1000 devices at once.
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft != resource.RLIM_INFINITY and soft < 4096:
        wanted = 4096 if hard == resource.RLIM_INFINITY else min(hard, 4096)
        resource.setrlimit(resource.RLIMIT_NOFILE, (wanted, hard))
    try:
        sim = Simulator(args, parser)
    except OSError as error:
        sys.exit(f"ssdp_sim: {error}")
    try:
        sim.run(args.duration)
    finally:
        sim.close()


if __name__ == "__main__":
    main()
