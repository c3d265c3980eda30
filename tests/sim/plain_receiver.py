#!/usr/bin/env python3
"""The plain receive loop that Lenscout's intake is measured against.

Run it in the host namespace of scripts/testnet, never on a real network:

    scripts/testnet exec "$TESTNET" h python3 tests/sim/plain_receiver.py

One UDP socket per global IPv4 address of the host, each sending the Probe
that Lenscout sends (WS-Discovery 2005/04, neither Types nor Scopes) once to
239.255.255.250:3702 out of its address. Then nothing but recvfrom on all of
them until each has been quiet for 6 seconds, with the system's default
receive buffer; the answers are parsed only afterwards. Prints one JSON
object: the datagrams received, the distinct answers among them (name scope
and XAddrs, as Lenscout tells devices apart) and the receive buffer each
socket had.
"""

import json
import select
import socket
import subprocess
import time
import uuid
import xml.etree.ElementTree as ET

GROUP = ("239.255.255.250", 3702)
QUIET_SECONDS = 6
DISCOVERY = "{http://schemas.xmlsoap.org/ws/2005/04/discovery}"
NAME_SCOPE = "onvif://www.onvif.org/name/"

PROBE = """<?xml version="1.0" encoding="UTF-8"?>
<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://www.w3.org/2003/05/soap-envelope" \
xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing" \
xmlns:wsdd="http://schemas.xmlsoap.org/ws/2005/04/discovery">\
<SOAP-ENV:Header><wsa:MessageID>urn:uuid:{id}</wsa:MessageID>\
<wsa:To SOAP-ENV:mustUnderstand="true">urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To>\
<wsa:Action SOAP-ENV:mustUnderstand="true">\
http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</wsa:Action></SOAP-ENV:Header>\
<SOAP-ENV:Body><wsdd:Probe></wsdd:Probe></SOAP-ENV:Body></SOAP-ENV:Envelope>"""


def global_addresses():
    links = json.loads(subprocess.run(["ip", "-j", "-4", "addr", "show"], capture_output=True,
                                      text=True, check=True).stdout)
    return [entry["local"] for link in links for entry in link.get("addr_info", [])
            if entry.get("scope") == "global"]


def answer_key(data):
    """Name scope and XAddrs of the first ProbeMatch, None when it has none."""
    try:
        root = ET.fromstring(data)
    except ET.ParseError:
        return None
    match = root.find(f".//{DISCOVERY}ProbeMatch")
    if match is None:
        return None
    scopes = match.findtext(f"{DISCOVERY}Scopes") or ""
    name = next((s[len(NAME_SCOPE):] for s in scopes.split() if s.startswith(NAME_SCOPE)), None)
    return name, match.findtext(f"{DISCOVERY}XAddrs")


def main():
    sockets = {}
    buffers = []
    for address in global_addresses():
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sock.bind((address, 0))
        sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(address))
        buffers.append(sock.getsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF))
        sock.sendto(PROBE.format(id=uuid.uuid4()).encode(), GROUP)
        sockets[sock] = time.monotonic()  # last activity

    received = []
    while sockets:
        now = time.monotonic()
        for sock in [s for s, last in sockets.items() if now - last >= QUIET_SECONDS]:
            del sockets[sock]
            sock.close()
        if not sockets:
            break
        timeout = min(last for last in sockets.values()) + QUIET_SECONDS - now
        readable, _, _ = select.select(list(sockets), [], [], max(0.0, timeout))
        for sock in readable:
            received.append(sock.recvfrom(65535)[0])
            sockets[sock] = time.monotonic()

    answers = {key for key in map(answer_key, received) if key is not None}
    print(json.dumps({"datagrams": len(received), "distinct": len(answers),
                      "rcvbuf": buffers}))


if __name__ == "__main__":
    main()
