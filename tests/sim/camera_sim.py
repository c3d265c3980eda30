#!/usr/bin/env python3
"""Simulated ONVIF cameras that answer WS-Discovery Probes.

Run it inside a LAN namespace of scripts/testnet, never on a real network:

    scripts/testnet exec "$TESTNET" a python3 tests/sim/camera_sim.py \\
        --address 192.0.2.10 --devices 100

It binds UDP 0.0.0.0:3702, joins 239.255.255.250 on the interface of
--address, prints "ready" once joined, and answers every Probe by unicast
from --address port 3702 to the Probe's source.

Devices, numbered from 1 in this order:
  1. --devices N generated ones (default 1, or 0 when --device or --replay
     is given), named after --name-prefix;
  2. --device DESC and --replay FILE, in the order they appear.

DESC is key=value pairs joined by ';' (values cannot hold ';'):
  name=TEXT        name scope (default: from --name-prefix and the index)
  xaddrs=URLS      space-separated URLs, {ip} and {i} replaced (default --xaddrs)
  behaviour=B      one of the behaviours listed below (default --behaviour)
  uuid=UUID        endpoint address urn:uuid:UUID (default: derived from
                   --address and the index, so it is stable across runs)
  model=TEXT       hardware scope (default SimCam-1)
  country=TEXT     location/country scope (default se)
e.g. --device 'name=Kamera Müller 東京;behaviour=twice;model=X1'

A --replay FILE device answers with the bytes of FILE unchanged.
"""

import argparse
import base64
import heapq
import itertools
import json
import os
import random
import select
import signal
import socket
import struct
import sys
import time
import uuid
import xml.etree.ElementTree as ET
from xml.sax.saxutils import escape

GROUP = "239.255.255.250"
PORT = 3702
# Linux value; some Python builds lack the constant.
IP_PKTINFO = getattr(socket, "IP_PKTINFO", 8)

SOAP = "http://www.w3.org/2003/05/soap-envelope"
ONVIF_NETWORK = "http://www.onvif.org/ver10/network/wsdl"
# (discovery namespace, addressing namespace, anonymous To) per version
WSD_2005 = ("http://schemas.xmlsoap.org/ws/2005/04/discovery",
            "http://schemas.xmlsoap.org/ws/2004/08/addressing",
            "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous")
WSD_2009 = ("http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01",
            "http://www.w3.org/2005/08/addressing",
            "http://www.w3.org/2005/08/addressing/anonymous")

BEHAVIOURS = {
    "normal": "a well-formed ProbeMatches",
    "noname": "no name scope",
    "xaddrs25": "25 XAddrs URLs",
    "wsd2009": "discovery 2009/01 with addressing 2005/08",
    "fault": "a SOAP 1.2 Fault instead of ProbeMatches",
    "garbage": "random non-XML bytes",
    "twice": "the same answer bytes sent twice",
    "silent": "no answer",
    "truncated": "the XML cut in the middle",
    "deep": "an extension element nested 5000 levels deep",
    "hugeattr": "an attribute value of 60000 bytes",
    "big": "a 64000-byte datagram, padded with an XML comment",
    "noscopes": "no Scopes element",
    "noxaddrs": "no XAddrs element",
    "xaddrs-lf": "XAddrs URLs separated by a line feed",
    "xaddrs-crlf": "XAddrs URLs separated by CR LF",
    "xaddrs-tab": "XAddrs URLs separated by a tab",
    "xaddrs-respaced": "twice: XAddrs URLs space-separated, then indented one a line with CR LF",
}
# XML white space other than a space between the XAddrs URLs.
XADDRS_SEPARATORS = {"xaddrs-lf": "\n", "xaddrs-crlf": "\r\n", "xaddrs-tab": "\t"}
DESC_KEYS = ("name", "xaddrs", "behaviour", "uuid", "model", "country")

# Identifies this run in AppSequence.
INSTANCE_ID = int(time.time())
DEEP_LEVELS = 5000
HUGE_ATTR = 60000
BIG_SIZE = 64000


def scope_value(text):
    return text.replace(" ", "%20")


def local_name(tag):
    return tag.rpartition("}")[2]


def child(elem, name):
    return next((c for c in elem if local_name(c.tag) == name), None)


def probe_message_id(data):
    """The MessageID of a Probe, None for anything else.

    Names are matched without namespace so Probes of either discovery
    version are answered, as cameras do."""
    try:
        root = ET.fromstring(data)
    except ET.ParseError:
        return None
    header, body = child(root, "Header"), child(root, "Body")
    if header is None or body is None or child(body, "Probe") is None:
        return None
    message_id = child(header, "MessageID")
    text = (message_id.text or "").strip() if message_id is not None else ""
    return text or None


def envelope(version, action, relates_to, header_extra, body):
    wsd, wsa, anonymous = version
    return (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        f'<SOAP-ENV:Envelope xmlns:SOAP-ENV="{SOAP}" xmlns:wsa="{wsa}" '
        f'xmlns:d="{wsd}" xmlns:dn="{ONVIF_NETWORK}">'
        "<SOAP-ENV:Header>"
        f"<wsa:MessageID>urn:uuid:{uuid.uuid4()}</wsa:MessageID>"
        f"<wsa:RelatesTo>{escape(relates_to)}</wsa:RelatesTo>"
        f"<wsa:To>{anonymous}</wsa:To>"
        f"<wsa:Action>{action}</wsa:Action>"
        f"{header_extra}"
        "</SOAP-ENV:Header>"
        f"<SOAP-ENV:Body>{body}</SOAP-ENV:Body>"
        "</SOAP-ENV:Envelope>"
    )


def fault(relates_to):
    body = (
        "<SOAP-ENV:Fault><SOAP-ENV:Code><SOAP-ENV:Value>SOAP-ENV:Sender</SOAP-ENV:Value>"
        "<SOAP-ENV:Subcode><SOAP-ENV:Value>d:MatchingRuleNotSupported</SOAP-ENV:Value>"
        "</SOAP-ENV:Subcode></SOAP-ENV:Code><SOAP-ENV:Reason>"
        '<SOAP-ENV:Text xml:lang="en">The matching rule is not supported.</SOAP-ENV:Text>'
        "</SOAP-ENV:Reason></SOAP-ENV:Fault>"
    )
    action = WSD_2005[1] + "/fault"
    return envelope(WSD_2005, action, relates_to, "", body).encode()


class Device:
    def __init__(self, index, address, name, xaddrs, behaviour, endpoint, model, country):
        self.index = index
        self.address = address
        self.name = name
        self.xaddrs = xaddrs.replace("{ip}", address).replace("{i}", str(index)).split()
        self.behaviour = behaviour
        self.endpoint = endpoint
        self.model = model
        self.country = country
        self.message_number = 0

    def answers(self, relates_to):
        """The datagrams that answer one Probe."""
        if self.behaviour == "silent":
            return []
        if self.behaviour == "garbage":
            # 0xff never occurs in UTF-8, so this can never parse as XML.
            return [b"\xff" + os.urandom(random.randint(20, 1400))]
        if self.behaviour == "fault":
            data = fault(relates_to)
        else:
            data = self.probe_matches(relates_to)
        if self.behaviour == "truncated":
            data = data[: len(data) // 2]
        if self.behaviour == "xaddrs-respaced":
            return [data, self.probe_matches(relates_to, indented=True)]
        return [data, data] if self.behaviour == "twice" else [data]

    def probe_matches(self, relates_to, indented=False):
        b = self.behaviour
        version = WSD_2009 if b == "wsd2009" else WSD_2005
        self.message_number += 1
        sequence = (f'<d:AppSequence InstanceId="{INSTANCE_ID}" '
                    f'MessageNumber="{self.message_number}"/>')

        scopes = ["onvif://www.onvif.org/type/video_encoder",
                  "onvif://www.onvif.org/Profile/Streaming"]
        if b != "noname":
            scopes.append("onvif://www.onvif.org/name/" + scope_value(self.name))
        scopes += ["onvif://www.onvif.org/location/country/" + scope_value(self.country),
                   "onvif://www.onvif.org/hardware/" + scope_value(self.model)]
        xaddrs = list(self.xaddrs)
        if b == "xaddrs25":
            xaddrs += [f"http://{self.address}:{8000 + k}/onvif/device_service"
                       for k in range(1, 26 - len(xaddrs))]

        attr = f' pad="{"A" * HUGE_ATTR}"' if b == "hugeattr" else ""
        parts = [
            f"<d:ProbeMatches><d:ProbeMatch{attr}>",
            f"<wsa:EndpointReference><wsa:Address>urn:uuid:{self.endpoint}"
            "</wsa:Address></wsa:EndpointReference>",
            "<d:Types>dn:NetworkVideoTransmitter</d:Types>",
        ]
        if b != "noscopes":
            parts.append(f"<d:Scopes>{escape(' '.join(scopes))}</d:Scopes>")
        if b != "noxaddrs":
            if indented:
                text = "".join(f"\r\n      {url}" for url in xaddrs) + "\r\n    "
            else:
                text = XADDRS_SEPARATORS.get(b, " ").join(xaddrs)
            parts.append(f"<d:XAddrs>{escape(text)}</d:XAddrs>")
        parts.append("<d:MetadataVersion>1</d:MetadataVersion>")
        if b == "deep":
            parts.append("<x>" * DEEP_LEVELS + "</x>" * DEEP_LEVELS)
        parts.append("</d:ProbeMatch></d:ProbeMatches>")
        body = "".join(parts)

        action = version[0] + "/ProbeMatches"
        data = envelope(version, action, relates_to, sequence, body).encode()
        if b == "big":
            # The padding goes in the Header, so a reader that cuts the
            # datagram short loses the Body.
            pad = "<!--" + "x" * (BIG_SIZE - len(data) - 7) + "-->"
            data = envelope(version, action, relates_to, sequence + pad, body).encode()
        return data


class Replay:
    def __init__(self, index, path):
        self.index = index
        with open(path, "rb") as f:
            self.data = f.read()

    def answers(self, relates_to):
        return [self.data]


class JsonLines:
    """Appends one JSON object per line; a no-op without a path."""

    def __init__(self, path):
        self.file = open(path, "a", encoding="utf-8", buffering=1) if path else None

    def write(self, **record):
        if self.file:
            self.file.write(json.dumps(record) + "\n")


class Simulator:
    def __init__(self, args, devices):
        self.address = args.address
        self.devices = devices
        self.delay_max = args.delay_max_ms / 1000
        self.sequential_gap = args.gap_ms / 1000 if args.order == "sequential" else None
        self.capture = JsonLines(args.capture)
        self.log = JsonLines(args.log)
        self.deadline = None if args.duration is None else time.monotonic() + args.duration
        self.pending = []  # heap of (due, tie-breaker, device, relates_to, destination)
        self.counter = itertools.count()
        # Every datagram leaves from --address even when it is a secondary one.
        self.pktinfo = struct.pack("@i4s4s", 0, socket.inet_aton(self.address), bytes(4))

        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("0.0.0.0", PORT))
        mreq = socket.inet_aton(GROUP) + socket.inet_aton(self.address)
        self.sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, mreq)

        # Signals only write to this pair, so the loop stops between datagrams.
        self.wake, self.wake_writer = socket.socketpair()
        self.wake_writer.setblocking(False)
        signal.set_wakeup_fd(self.wake_writer.fileno())
        for sig in (signal.SIGTERM, signal.SIGINT):
            signal.signal(sig, lambda *_: None)

    def schedule(self, relates_to, destination):
        now = time.monotonic()
        for k, device in enumerate(self.devices):
            if self.sequential_gap is None:
                due = now + random.uniform(0, self.delay_max)
            else:
                due = now + k * self.sequential_gap
            heapq.heappush(self.pending,
                           (due, next(self.counter), device, relates_to, destination))

    def receive(self):
        while True:
            try:
                data, (ip, port) = self.sock.recvfrom(65535, socket.MSG_DONTWAIT)
            except BlockingIOError:
                return
            self.capture.write(src=ip, port=port, len=len(data),
                               data_b64=base64.b64encode(data).decode())
            relates_to = probe_message_id(data)
            if relates_to is not None:
                self.schedule(relates_to, (ip, port))

    def send_due(self):
        while self.pending and self.pending[0][0] <= time.monotonic():
            _, _, device, relates_to, destination = heapq.heappop(self.pending)
            for data in device.answers(relates_to):
                try:
                    self.sock.sendmsg([data], [(socket.IPPROTO_IP, IP_PKTINFO, self.pktinfo)],
                                      0, destination)
                except OSError as e:
                    print(f"camera_sim: device {device.index}: {e}", file=sys.stderr)
                    continue
                self.log.write(t=time.time(), device=device.index, len=len(data))

    def next_wakeup(self):
        times = [self.pending[0][0]] if self.pending else []
        if self.deadline is not None:
            times.append(self.deadline)
        return min(times, default=None)

    def run(self):
        print("ready", flush=True)
        while self.deadline is None or time.monotonic() < self.deadline:
            wakeup = self.next_wakeup()
            timeout = None if wakeup is None else max(0, wakeup - time.monotonic())
            readable, _, _ = select.select([self.sock, self.wake], [], [], timeout)
            if self.wake in readable:
                return
            if self.sock in readable:
                self.receive()
            self.send_due()


def parse_description(text):
    desc = {}
    for part in filter(str.strip, text.split(";")):
        key, sep, value = part.partition("=")
        key = key.strip()
        if not sep or key not in DESC_KEYS:
            raise argparse.ArgumentTypeError(
                f"bad item {part!r} (expected key=value with key in {', '.join(DESC_KEYS)})")
        desc[key] = value
    if desc.get("behaviour", "normal") not in BEHAVIOURS:
        raise argparse.ArgumentTypeError(f"unknown behaviour {desc['behaviour']!r}")
    if "uuid" in desc:
        try:
            desc["uuid"] = uuid.UUID(desc["uuid"])
        except ValueError:
            raise argparse.ArgumentTypeError(f"bad uuid {desc['uuid']!r}") from None
    return desc


class InOrder(argparse.Action):
    """Collects --device and --replay in one list, keeping their order."""

    def __call__(self, parser, namespace, value, option_string=None):
        items = list(getattr(namespace, self.dest) or [])
        items.append((option_string, value))
        setattr(namespace, self.dest, items)


def parse_args(argv):
    behaviours = "\n".join(f"  {k:10} {v}" for k, v in BEHAVIOURS.items())
    p = argparse.ArgumentParser(
        description=__doc__, epilog="behaviours:\n" + behaviours,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--address", required=True, type=socket.inet_aton,
                   help="IPv4 address the devices answer from; the group is joined on its interface")
    p.add_argument("--devices", type=int, metavar="N",
                   help="number of generated devices (default 1, or 0 with --device/--replay)")
    p.add_argument("--name-prefix", default="Camera %d", metavar="TEXT",
                   help="name of generated devices; %%d is replaced by the index, "
                        "else the index is appended (default %(default)r)")
    p.add_argument("--xaddrs", default="http://{ip}/onvif/device_service", metavar="TEMPLATE",
                   help="space-separated XAddrs, {ip} and {i} replaced (default %(default)s)")
    p.add_argument("--behaviour", default="normal", choices=BEHAVIOURS, metavar="B",
                   help="behaviour of devices whose DESC sets none (default normal)")
    p.add_argument("--device", dest="ordered", action=InOrder, type=parse_description, metavar="DESC",
                   help="add a device described by DESC (repeatable)")
    p.add_argument("--replay", dest="ordered", action=InOrder, metavar="FILE",
                   help="add a device answering with the bytes of FILE (repeatable)")
    p.add_argument("--order", default="random", choices=("random", "sequential"),
                   help="random: each device after its own delay in 0..--delay-max-ms; "
                        "sequential: in device order, --gap-ms apart, the first at once")
    p.add_argument("--delay-max-ms", type=float, default=500, metavar="MS",
                   help="longest random delay (default %(default)g)")
    p.add_argument("--gap-ms", type=float, default=50, metavar="MS",
                   help="time between answers with --order sequential (default %(default)g)")
    p.add_argument("--capture", metavar="FILE",
                   help='append each received datagram as {"src","port","len","data_b64"}')
    p.add_argument("--log", metavar="FILE",
                   help='append each datagram sent as {"t","device","len"}')
    p.add_argument("--duration", type=float, metavar="S", help="exit after S seconds")
    args = p.parse_args(argv)
    args.address = socket.inet_ntoa(args.address)
    args.ordered = args.ordered or []
    if args.devices is None:
        args.devices = 0 if args.ordered else 1
    return args


def make_devices(args):
    def name_for(i):
        prefix = args.name_prefix
        return prefix.replace("%d", str(i)) if "%d" in prefix else prefix + str(i)

    def device(i, desc):
        endpoint = desc.get("uuid") or uuid.uuid5(uuid.NAMESPACE_URL,
                                                  f"camera-sim://{args.address}/{i}")
        return Device(i, args.address, desc.get("name", name_for(i)),
                      desc.get("xaddrs", args.xaddrs), desc.get("behaviour", args.behaviour),
                      endpoint, desc.get("model", "SimCam-1"), desc.get("country", "se"))

    devices = [device(i, {}) for i in range(1, args.devices + 1)]
    for i, (option, value) in enumerate(args.ordered, start=args.devices + 1):
        devices.append(device(i, value) if option == "--device" else Replay(i, value))
    return devices



def main(argv):
    args = parse_args(argv)
    try:
        devices = make_devices(args)
    except OSError as e:
        sys.exit(f"camera_sim: {e}")
    try:
        simulator = Simulator(args, devices)
    except OSError as e:
        sys.exit(f"camera_sim: cannot listen on port {PORT} and join {GROUP} "
                 f"on {args.address}: {e.strerror}")
    simulator.run()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
