#!/bin/bash
# Checks ssdp_sim.py between two throw-away network namespaces joined by a veth
# pair: the simulator runs in the LAN one (192.0.2.10, 192.0.2.11), a small
# client in the host one (192.0.2.1) searches and fetches. Needs root. Nothing
# runs in this machine's own network namespace, and the namespaces go away on
# exit, whatever happens.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
sim=$here/ssdp_sim.py
host_ns=ssdpchk-$$-h
lan_ns=ssdpchk-$$-a
work=$(mktemp -d)
pids=()

cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    ip netns del "$host_ns" 2>/dev/null || true
    ip netns del "$lan_ns" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

[ "$(id -u)" = 0 ] || { echo "selftest_ssdp: needs root" >&2; exit 1; }

ip netns add "$host_ns"
ip netns add "$lan_ns"
# Created straight inside the namespaces: the pair never appears out here.
ip link add vsh0 netns "$host_ns" type veth peer name vsa0 netns "$lan_ns"
ip -n "$host_ns" addr add 192.0.2.1/24 dev vsh0
ip -n "$lan_ns" addr add 192.0.2.10/24 dev vsa0
ip -n "$lan_ns" addr add 192.0.2.11/24 dev vsa0
for ns in "$host_ns" "$lan_ns"; do ip -n "$ns" link set lo up; done
ip -n "$host_ns" link set vsh0 up
ip -n "$lan_ns" link set vsa0 up
ip -n "$host_ns" route add 224.0.0.0/4 dev vsh0
ip -n "$lan_ns" route add 224.0.0.0/4 dev vsa0

report() { # report WHAT COMMAND...: one ok / not ok line for a check done here
    local what=$1; shift
    if "$@"; then echo "ok - $what"; else echo "not ok - $what"; fi | tee -a "$work/results"
}

running() { # running PID: alive and not yet a zombie
    [ -e "/proc/$1" ] && ! grep -qs '^State:[[:space:]]*Z' "/proc/$1/status"
}

start_sim() { # start_sim NAME ARGS...: runs the simulator in the LAN namespace until "ready"
    local name=$1; shift
    ip netns exec "$lan_ns" python3 "$sim" "$@" >"$work/$name.out" 2>"$work/$name.err" &
    sim_pid=$!
    pids+=("$sim_pid")
    for _ in $(seq 150); do
        if grep -qx ready "$work/$name.out"; then return 0; fi
        running "$sim_pid" || break
        sleep 0.1
    done
    echo "simulator $name never printed ready:" >&2
    cat "$work/$name.err" >&2
    return 1
}

wait_sim() { # wait_sim NAME PID: the simulator ends within 5 s, with 0 and a quiet stderr
    local rc=0 tries=50
    while running "$2" && [ $((tries -= 1)) -gt 0 ]; do sleep 0.1; done
    running "$2" && kill -KILL "$2"
    wait "$2" || rc=$?
    local keep=() pid
    for pid in "${pids[@]}"; do [ "$pid" = "$2" ] || keep+=("$pid"); done
    pids=("${keep[@]}")
    report "simulator $1 exits with 0 (got $rc)" [ "$rc" = 0 ]
    report "simulator $1 writes nothing to stderr" [ ! -s "$work/$1.err" ]
    [ -s "$work/$1.err" ] && cat "$work/$1.err" >&2
    return 0
}

client() { # client MODE ARGS...: the client below, in the host namespace
    ip netns exec "$host_ns" python3 "$work/client.py" "$@" | tee -a "$work/results" ||
        report "client $1 runs to its end" false
}

printf '%s\r\n' 'HTTP/1.1 200 OK' 'CACHE-CONTROL: max-age=1800' \
    'DATE: Tue, 03 Dec 2024 10:00:00 GMT' 'EXT:' \
    'LOCATION: http://203.0.113.7:49153/description.xml' \
    'OPT: "http://schemas.upnp.org/upnp/1/0/"; ns=01' \
    'SERVER: Linux/3.10 UPnP/1.0 Captured/2.0' 'ST: upnp:rootdevice' \
    'USN: uuid:2fac1234-31f8-11b4-a222-08002b34c003::upnp:rootdevice' '' >"$work/captured.txt"
printf '<?xml version="1.0"?>\n<root><device><friendlyName>Captured &#x263A;</friendlyName></device></root>' \
    >"$work/captured.xml"
printf '%s\r\n' 'HTTP/1.1 200 OK' 'LOCATION:{{LOCATION}}' 'DATE: {{DATE}}' 'X-HOST: {{HOST}}' \
    'ST: upnp:rootdevice' 'USN: uuid:template::upnp:rootdevice' '' >"$work/template.txt"
printf '<root><device><friendlyName>Custom</friendlyName></device></root>' >"$work/custom.xml"

cat >"$work/client.py" <<'EOF'
import base64, collections, concurrent.futures, json, os, re, signal, socket, sys, time
import urllib.error, urllib.request
import xml.etree.ElementTree as ET

CLIENT = "192.0.2.1"
GROUP = ("239.255.255.250", 1900)
SEARCH = (b'M-SEARCH * HTTP/1.1\r\nHOST:239.255.255.250:1900\r\nMAN:"ssdp:discover"\r\n'
          b'ST:ssdp:all\r\nMX:3\r\n\r\n')
UPNP = "{urn:schemas-upnp-org:device-1-0}"
MR = "urn:schemas-upnp-org:device:MediaRenderer:1"
BASE = "http://192.0.2.10:49152"


def check(what, ok, detail=""):
    print(f"{'ok' if ok else 'not ok'} - {what}" + (f" [{detail}]" if not ok and detail != "" else ""),
          flush=True)


class Answer:
    def __init__(self, at, data, src):
        self.at, self.data, self.src = at, data, src
        head = data.replace(b"\r\n", b"\n").split(b"\n\n")[0].decode("utf-8", "replace")
        self.status, *lines = head.split("\n")
        self.names = [line.partition(":")[0] for line in lines]
        self.headers = collections.defaultdict(list)
        for line in lines:
            name, _, value = line.partition(":")
            self.headers[name.strip().upper()].append(value.strip())

    def get(self, name):
        values = self.headers.get(name)
        return values[0] if values else None


def msearch(st="ssdp:all", mx="3", man='"ssdp:discover"', host="239.255.255.250:1900"):
    lines = ["M-SEARCH * HTTP/1.1", f"HOST:{host}"] + ([f"MAN:{man}"] if man else [])
    lines += [f"ST:{st}"] + ([f"MX:{mx}"] if mx else [])
    return ("\r\n".join(lines) + "\r\n\r\n").encode()


def search(request, port, quiet=1.0, dest=GROUP):
    """Sends one request from CLIENT:port; collects answers until quiet seconds pass without one."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 << 20)
        sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(CLIENT))
        sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 2)
        sock.bind((CLIENT, port))
        sock.settimeout(quiet)
        sent = time.monotonic()
        sock.sendto(request, dest)
        answers = []
        while True:
            try:
                data, src = sock.recvfrom(65535)
            except socket.timeout:
                return answers
            answers.append(Answer(time.monotonic() - sent, data, src))


def fetch(url, timeout=10):
    with urllib.request.urlopen(url, timeout=timeout) as response:
        return response.headers, response.read()


def fetch_error(url):
    try:
        fetch(url)
    except urllib.error.HTTPError as error:
        return error.code
    except urllib.error.URLError as error:
        return type(error.reason).__name__
    return None


def friendly(body):
    start, end = body.find(b"<friendlyName>"), body.find(b"</friendlyName>")
    return body[start + 14:end] if 0 <= start < end else None


def raw_get(path, host="192.0.2.10", port=49152):
    sock = socket.create_connection((host, port), timeout=5)
    sock.sendall(f"GET {path} HTTP/1.1\r\nHost: {host}:{port}\r\nConnection: close\r\n\r\n".encode())
    return sock


def read_for(sock, seconds):
    """Whatever arrives within seconds (less if the server closes)."""
    data, deadline = b"", time.monotonic() + seconds
    while (left := deadline - time.monotonic()) > 0:
        sock.settimeout(left)
        try:
            chunk = sock.recv(65536)
        except socket.timeout:
            break
        if not chunk:
            break
        data += chunk
    return data


def closes_within(sock, seconds):
    deadline = time.monotonic() + seconds
    while (left := deadline - time.monotonic()) > 0:
        sock.settimeout(left)
        try:
            if not sock.recv(65536):
                return True
        except ConnectionResetError:
            return True
        except socket.timeout:
            return False
    return False


def read_json(path):
    with open(path) as f:
        return [json.loads(line) for line in f]


# Devices as selftest_ssdp.sh starts them: 1-18 and 22 are generated answers
# (19 is silent), 20 and 21 answer from files.
GENERATED = [i for i in range(1, 23) if i not in (19, 20, 21)]
NAMES = {1: "Sim Device 1", 2: "Sim Device 2", 3: "A &amp; B", 4: "Wohnzimmer Fernseher ä東",
         5: "[TV] Samsung 7 Series (50)", 6: "a<b>c"}


def main(work, sim_pid):
    check("the M-SEARCH is the 90 bytes Finderly sends", len(SEARCH) == 90 and msearch() == SEARCH)
    answers = search(SEARCH, 1901)
    log = read_json(f"{work}/main.log")
    sent = [e for e in log if e["event"] == "ssdp" and e["port"] == 1901]
    expected = sum(4 + (i - 1) % 3 for i in GENERATED) + 2
    check("every logged answer arrives", len(answers) == len(sent), f"{len(answers)} vs {len(sent)}")
    check(f"ssdp:all gets {expected} answers", len(answers) == expected, len(answers))
    check("answers come from 192.0.2.10:1900", all(a.src == ("192.0.2.10", 1900) for a in answers))
    times = [a.at for a in answers]
    check("answers spread over the 300 ms window", 0.1 < max(times) < 0.45 and min(times) < 0.1,
          f"{min(times):.3f}..{max(times):.3f}")

    device_of = {e["usn"]: e["device"] for e in sent if e["usn"]}
    by = collections.defaultdict(list)
    for a in answers:
        by[device_of.get(a.get("USN"))].append(a)

    uuid1 = by[1][0].get("USN").split("::")[0]
    targets = ["upnp:rootdevice", uuid1, MR, "urn:schemas-upnp-org:service:ConnectionManager:1"]
    check("device 1 answers once per root, uuid, device and service",
          sorted(a.get("ST") for a in by[1]) == sorted(targets))
    check("USN is uuid or uuid::ST", all(a.get("USN") == (uuid1 if a.get("ST") == uuid1 else
                                                          f"{uuid1}::{a.get('ST')}") for a in by[1]))
    check("devices 2 and 3 answer 5 and 6 times", (len(by[2]), len(by[3])) == (5, 6))
    layout = (rb"HTTP/1\.1 200 OK\r\nCACHE-CONTROL: max-age=1800\r\n"
              rb"DATE: \w{3}, \d\d \w{3} \d{4} \d\d:\d\d:\d\d GMT\r\nEXT:\r\n"
              rb"LOCATION: http://192\.0\.2\.10:49152/desc/1\.xml\r\n"
              rb"SERVER: Linux/5\.10 UPnP/1\.0 SimDevice/1\.0\r\nST: \S+\r\nUSN: \S+\r\n\r\n")
    check("a plain answer is a proper HTTP/1.1 200 OK", all(re.fullmatch(layout, a.data) for a in by[1]),
          by[1][0].data)

    headers, body = fetch(by[1][0].get("LOCATION"))
    root = ET.fromstring(body)
    device = root.find(UPNP + "device")
    check("device 1's description is a UPnP root device document",
          root.findtext(f"{UPNP}specVersion/{UPNP}major") == "1" and device is not None
          and device.findtext(UPNP + "deviceType") == MR
          and device.findtext(UPNP + "friendlyName") == "Sim Device 1"
          and bool(device.findtext(UPNP + "manufacturer")) and bool(device.findtext(UPNP + "modelName"))
          and device.findtext(UPNP + "UDN") == uuid1
          and len(device.findall(f"{UPNP}serviceList/{UPNP}service")) == 1, body)
    check("descriptions are sent as UTF-8 XML", 'charset="utf-8"' in headers["Content-Type"])
    for index, name in NAMES.items():
        _, body = fetch(by[index][0].get("LOCATION"))
        check(f"friendlyName {name!r} arrives verbatim", friendly(body) == name.encode(), body)

    a3 = by[3][0]
    check("case=lower gives lower-case header names",
          all(n == n.lower() for n in a3.names) and b"\r\nlocation: http://" in a3.data, a3.data)
    a4 = by[4][0]
    check("case=mixed and locspace=1", b"\r\nLocation: \t http://192.0.2.10:49152/desc/4.xml \t\r\n"
          in a4.data and b"\r\nCache-Control: " in a4.data, a4.data)
    a5 = by[5][0]
    locations = a5.headers["LOCATION"]
    check("lf=1 gives LF-only lines", b"\r" not in a5.data and a5.data.endswith(b"\n\n"))
    check("multiloc=1 gives two different LOCATIONs", len(locations) == 2 and len(set(locations)) == 2,
          locations)
    check("the second LOCATION serves its own name",
          friendly(fetch(locations[1])[1]) == (NAMES[5] + " (second location)").encode())
    check("emptyloc=1 gives an empty LOCATION", b"\r\nLOCATION:\r\n" in by[7][0].data, by[7][0].data)
    check("http=404", fetch_error(by[8][0].get("LOCATION")) == 404)
    check("http=500", fetch_error(by[9][0].get("LOCATION")) == 500)
    check("refused=1 is refused", fetch_error(by[10][0].get("LOCATION")) == "ConnectionRefusedError")

    started = time.monotonic()
    headers, body = fetch(by[11][0].get("LOCATION"))
    check("body=huge is a complete 5 MiB document", len(body) > 5 << 20 and friendly(body) == b"Huge"
          and int(headers["Content-Length"]) == len(body), len(body))
    check("body=huge arrives fast", time.monotonic() - started < 5)
    with urllib.request.urlopen(by[12][0].get("LOCATION"), timeout=5) as response:
        chunked = response.headers["Transfer-Encoding"] == "chunked"
        stream = response.read(1 << 20) + response.read(1 << 20)
    check("body=endless streams chunked without a name", chunked and len(stream) == 2 << 20
          and friendly(stream) is None and stream.startswith(b"<?xml"))
    with raw_get("/desc/13.xml") as sock:
        head, _, body = read_for(sock, 2.0).partition(b"\r\n\r\n")
    check("body=endless-raw;rate=2000 has no length and keeps the rate",
          b"Content-Length" not in head and b"chunked" not in head and 2000 <= len(body) <= 6000,
          (head, len(body)))
    with raw_get("/desc/14.xml") as sock:
        head, _, body = read_for(sock, 3.3).partition(b"\r\n\r\n")
    check("body=trickle sends a byte per second", head.startswith(b"HTTP/1.1 200") and 3 <= len(body) <= 5,
          (head, body))
    with raw_get("/desc/15.xml") as sock:
        check("body=hang sends nothing", read_for(sock, 1.5) == b"")
    check("scheme=file", by[16][0].get("LOCATION") == "file:///etc/passwd")
    check("scheme=ftp", by[17][0].get("LOCATION") == "ftp://192.0.2.10:49152/desc/17.xml")
    data = by[18][0].get("LOCATION")
    check("scheme=data", data.startswith("data:text/xml;base64,")
          and friendly(base64.b64decode(data.partition(",")[2])) == b"Data", data)
    check("silent=1 never answers", not any(e["event"] == "ssdp" and e["device"] == 19 for e in log))
    check("a silent device still serves its document", friendly(fetch(f"{BASE}/desc/19.xml")[1]) == b"Silent")

    files = by[None]
    with open(f"{work}/captured.txt", "rb") as f:
        captured = f.read().replace(b"203.0.113.7:49153", b"192.0.2.10:49152")
    with open(f"{work}/captured.xml", "rb") as f:
        captured_doc = f.read()
    check("response=FILE with --rewrite-location differs only in host:port",
          [a.data for a in files if b"Captured/2.0" in a.data] == [captured], [a.data for a in files])
    check("the rewritten LOCATION serves desc=FILE unchanged",
          fetch(f"{BASE}/description.xml")[1] == captured_doc)
    template = [a for a in files if a.get("X-HOST")]
    check("a response template gets its placeholders",
          len(template) == 1 and template[0].get("LOCATION") == f"{BASE}/desc/21.xml"
          and template[0].get("X-HOST") == "192.0.2.10:49152" and b"{{" not in template[0].data
          and template[0].get("DATE").endswith(" GMT"), [a.data for a in template])
    check("a device without a name gets the prefix and its index",
          friendly(fetch(f"{BASE}/desc/21.xml")[1]) == b"Sim Device 21")
    check("desc=FILE is served unchanged", fetch(f"{BASE}/desc/22.xml")[1] == open(f"{work}/custom.xml", "rb").read())

    capture = read_json(f"{work}/main.capture")
    check("the capture holds the M-SEARCH from port 1901",
          any(c["src"] == CLIENT and c["port"] == 1901 and c["len"] == 90
              and base64.b64decode(c["data_b64"]) == SEARCH for c in capture), capture)

    rest = len(GENERATED) + 2  # response files answer any search
    roots = search(msearch("upnp:rootdevice"), 1902)
    check("upnp:rootdevice gets one answer per device",
          len(roots) == rest and sum(a.get("ST") == "upnp:rootdevice" for a in roots) == rest, len(roots))
    by_uuid = search(msearch(uuid1), 1903)
    check("a uuid search gets that device only",
          [a.get("USN") for a in by_uuid if a.get("ST") == uuid1] == [uuid1] and len(by_uuid) == 3)
    by_type = search(msearch(MR), 1904)
    check("a device type search", sum(a.get("ST") == MR for a in by_type) == len(GENERATED))
    by_service = search(msearch("urn:schemas-upnp-org:service:AVTransport:1"), 1905)
    check("a service type search", len(by_service) == sum((i - 1) % 3 == 2 for i in GENERATED) + 2,
          len(by_service))
    check("no MAN, no answer", search(msearch(man=None), 1906) == [])
    check("no MX on multicast, no answer", search(msearch(mx=None), 1907) == [])
    check("a wrong MAN, no answer", search(msearch(man="ssdp:discover"), 1908) == [])
    log = read_json(f"{work}/main.log")
    check("rejected searches are logged with a reason",
          any(e["event"] == "search" and e["port"] == 1906 and not e["accepted"] and "MAN" in e["reason"]
              for e in log))
    unicast = search(msearch("upnp:rootdevice", mx=None, host="192.0.2.10:1900"), 1909,
                     dest=("192.0.2.10", 1900))
    check("a unicast search is answered at once", len(unicast) == rest and max(a.at for a in unicast) < 0.15)
    served = [e for e in log if e["event"] == "http"]
    check("HTTP requests are logged", any(e["path"] == "/desc/8.xml" and e["status"] == 404 for e in served)
          and any(e["path"] == "/desc/1.xml" and e["status"] == 200 for e in served))

    held = [raw_get("/desc/15.xml"), raw_get("/desc/14.xml"), raw_get("/desc/12.xml")]
    time.sleep(0.5)
    os.kill(sim_pid, signal.SIGTERM)
    check("SIGTERM ends hanging, trickling and endless connections",
          all([closes_within(sock, 3) for sock in held]))


def scale(work):
    answers = search(SEARCH, 1901, quiet=2.0)
    big = [a for a in answers if a.src == ("192.0.2.11", 1900)]
    small = [a for a in answers if a.src == ("192.0.2.10", 1900)]
    expected = sum(4 + (i - 1) % 3 for i in range(1, 1001))
    check(f"1000 devices give {expected} answers", len(big) == expected, len(big))
    check("a second simulator beside it answers too", len(small) == 4, len(small))
    check("answers go out within the 1 s window", max(a.at for a in answers) < 1.2)
    locations = {a.get("LOCATION") for a in big}
    check("1000 distinct LOCATIONs", len(locations) == 1000 and all(
        u.startswith("http://192.0.2.11:49152/desc/") for u in locations))
    started = time.monotonic()
    with concurrent.futures.ThreadPoolExecutor(100) as pool:
        names = dict(zip(locations, pool.map(lambda url: friendly(fetch(url)[1]), locations)))
    check("all 1000 descriptions fetched at once carry their names",
          all(name == f"Sim Device {url.rsplit('/', 1)[1][:-4]}".encode() for url, name in names.items()))
    check("in under 20 s", time.monotonic() - started < 20, time.monotonic() - started)


def own_addresses():
    answers = search(SEARCH, 1901)
    where = {"192.0.2.10": f"{BASE}/desc/1.xml", "192.0.2.11": "http://192.0.2.11:49152/desc/2.xml"}
    check("--address-per-device: each device answers from an address of its own, named by its LOCATION",
          {a.src[0] for a in answers} == set(where)
          and all(a.src[1] == 1900 and a.get("LOCATION") == where[a.src[0]] for a in answers),
          [(a.src, a.get("LOCATION")) for a in answers])
    check("and is described there alone",
          friendly(fetch(where["192.0.2.11"])[1]) == b"Sim Device 2"
          and fetch_error(f"{BASE}/desc/2.xml") == 404)

if __name__ == "__main__":
    if sys.argv[1] == "main":
        main(sys.argv[2], int(sys.argv[3]))
    elif sys.argv[1] == "own":
        own_addresses()
    else:
        scale(sys.argv[2])
EOF

start_sim main --address 192.0.2.10 --delay-max-ms 300 --rewrite-location \
    --capture "$work/main.capture" --log "$work/main.log" --devices 2 \
    --device 'name=A &amp; B;case=lower' \
    --device 'name=Wohnzimmer Fernseher ä東;case=mixed;locspace=1' \
    --device 'name=[TV] Samsung 7 Series (50);lf=1;multiloc=1' \
    --device 'name=a<b>c' \
    --device 'name=Empty;emptyloc=1' \
    --device 'name=Missing;http=404' \
    --device 'name=Broken;http=500' \
    --device 'name=Refused;refused=1' \
    --device 'name=Huge;body=huge' \
    --device 'name=Endless;body=endless' \
    --device 'name=Slow;body=endless-raw;rate=2000' \
    --device 'name=Trickle;body=trickle' \
    --device 'name=Hang;body=hang' \
    --device 'name=File;scheme=file' \
    --device 'name=Ftp;scheme=ftp' \
    --device 'name=Data;scheme=data' \
    --device 'name=Silent;silent=1' \
    --device "response=$work/captured.txt;desc=$work/captured.xml" \
    --device "response=$work/template.txt" \
    --device "name=Custom;desc=$work/custom.xml"
main_pid=$sim_pid
client main "$work" "$main_pid"
wait_sim main "$main_pid"

start_sim small --address 192.0.2.10 --devices 1
small_pid=$sim_pid
start_sim scale --address 192.0.2.11 --devices 1000 --log "$work/scale.log"
scale_pid=$sim_pid
client scale "$work"
kill -TERM "$scale_pid" "$small_pid"
wait_sim scale "$scale_pid"
wait_sim small "$small_pid"

start_sim own --address 192.0.2.10 --address-per-device --devices 2 --delay-max-ms 300
own_pid=$sim_pid
client own
kill -TERM "$own_pid"
wait_sim own "$own_pid"

rc=0
ip netns exec "$lan_ns" python3 "$sim" --address 192.0.2.10 --device 'bogus=1' 2>/dev/null || rc=$?
report "an unknown device key is a usage error" [ "$rc" = 2 ]

start_sim timed --address 192.0.2.10 --devices 1 --duration 1
wait_sim timed "$sim_pid"

passed=$(grep -c '^ok - ' "$work/results" || true)
failed=$(grep -c '^not ok - ' "$work/results" || true)
echo "$passed passed, $failed failed"
[ "$failed" = 0 ] && [ "$passed" -gt 0 ]
