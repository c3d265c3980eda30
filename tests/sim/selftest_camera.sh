#!/bin/bash
# Self-check of scripts/testnet and tests/sim/camera_sim.py. Needs root.
# All discovery traffic stays inside namespaces made by scripts/testnet.
set -eu -o pipefail
SELF=$(realpath "$0")
cd "$(dirname "$SELF")/../.."
TESTNET_CMD=$PWD/scripts/testnet
SIM=$PWD/tests/sim/camera_sim.py

fail() { echo "FAIL: $*" >&2; exit 1; }
ok() { echo "ok: $*"; }

# probe [--bind IP] [--if IP] [--wait S] [--save DIR]: sends one Probe from
# the host namespace and prints one line per answer, in arrival order:
#   KIND SRC:PORT LEN NAME XADDRS SCOPES
# KIND is match (2005/04, RelatesTo right), match2009, fault, badrelates or
# bad (not XML); NAME is the name scope value, XADDRS and SCOPES are counts,
# '-' where absent. --save writes probe.xml and answer-N.bin to DIR.
PROBE_CLIENT='
import argparse, socket, time, uuid, os, xml.etree.ElementTree as ET
p = argparse.ArgumentParser()
p.add_argument("--bind"); p.add_argument("--if", dest="iface")
p.add_argument("--wait", type=float, default=1.5); p.add_argument("--save")
a = p.parse_args()
mid = f"urn:uuid:{uuid.uuid4()}"
probe = f"""<?xml version="1.0" encoding="UTF-8"?>
<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope" xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery" xmlns:dn="http://www.onvif.org/ver10/network/wsdl"><s:Header><a:MessageID>{mid}</a:MessageID><a:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To><a:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</a:Action></s:Header><s:Body><d:Probe><d:Types>dn:NetworkVideoTransmitter</d:Types></d:Probe></s:Body></s:Envelope>""".encode()
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, 33, 8 << 20)  # SO_RCVBUFFORCE: 1000 answers arrive at once
if a.bind: s.bind((a.bind, 0))
if a.iface: s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(a.iface))
if a.save:
    open(os.path.join(a.save, "probe.xml"), "wb").write(probe)
try:
    s.sendto(probe, ("239.255.255.250", 3702))
except OSError as e:
    raise SystemExit(f"send: {os.strerror(e.errno)}")
WSD = {"http://schemas.xmlsoap.org/ws/2005/04/discovery": "match",
       "http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01": "match2009"}
end = time.monotonic() + a.wait
n = 0
while (left := end - time.monotonic()) > 0:
    s.settimeout(left)
    try:
        data, src = s.recvfrom(65535)
    except socket.timeout:
        break
    n += 1
    if a.save:
        open(os.path.join(a.save, f"answer-{n}.bin"), "wb").write(data)
    name, xaddrs, scopes = "-", "-", "-"
    try:
        root = ET.fromstring(data)
        body = root.find("{http://www.w3.org/2003/05/soap-envelope}Body")[0]
        ns, _, tag = body.tag[1:].partition("}")
        kind = "fault" if tag == "Fault" else WSD[ns]
        relates = next(e.text for e in root.iter() if e.tag.endswith("}RelatesTo"))
        if relates != mid: kind = "badrelates"
        for e in body.iter():
            if e.tag.endswith("}XAddrs"): xaddrs = len(e.text.split())
            if e.tag.endswith("}Scopes"):
                scopes = len(e.text.split())
                prefix = "onvif://www.onvif.org/name/"
                name = next((x[len(prefix):] for x in e.text.split() if x.startswith(prefix)), "-")
    except ET.ParseError:
        kind = "bad"
    print(kind, f"{src[0]}:{src[1]}", len(data), name, xaddrs, scopes)
'
probe() { "$TESTNET_CMD" exec "$TESTNET" h python3 -c "$PROBE_CLIENT" "$@"; }

# sim SIDE ARGS...: starts camera_sim in LAN SIDE and waits for "ready";
# its pid is left in SIM_PID.
sim() {
    local side=$1 out i
    shift
    out=$(mktemp -p "$WORK" sim.XXXX)
    "$TESTNET_CMD" exec "$TESTNET" "$side" python3 "$SIM" "$@" > "$out" &
    SIM_PID=$!
    for ((i = 0; i < 50; i++)); do
        grep -qx ready "$out" && return
        kill -0 "$SIM_PID" 2>/dev/null || fail "camera_sim $* exited early"
        sleep 0.1
    done
    fail "camera_sim $* not ready"
}

# stop PID: SIGTERM, which must end camera_sim with status 0.
stop() {
    kill -TERM "$1"
    wait "$1" || fail "camera_sim ended with status $?"
}

expect() {
    [[ $2 == "$3" ]] || fail "$1: expected"$'\n'"$2"$'\n'"got"$'\n'"$3"
    ok "$1"
}

count() { grep -c "$1" <<< "$2" || true; }

inner() {
    local out i pid_a pid_b

    sim a --address 192.0.2.10 --devices 100 --capture "$WORK/capture" --log "$WORK/log"
    out=$(probe --bind 192.0.2.1 --if 192.0.2.1 --save "$WORK")
    expect "100 devices answer" 100 "$(count '^match 192.0.2.10:3702 ' "$out")"
    expect "100 distinct names" 100 "$(awk '{print $4}' <<< "$out" | sort -u | grep -c '^Camera%20')"
    expect "default xaddrs" "http://192.0.2.10/onvif/device_service" \
        "$(grep -ao '<d:XAddrs>[^<]*' "$WORK/answer-1.bin" | cut -d'>' -f2)"
    out=$(probe --bind 192.0.2.1 --if 192.0.2.1)
    expect "a new Probe gets new answers" 100 "$(count '^match ' "$out")"
    out=$(probe --bind 198.51.100.1 --if 198.51.100.1 --wait 0.8)
    expect "link b does not reach LAN a" "" "$out"
    stop "$SIM_PID"
    expect "capture holds the Probes of link a" 2 "$(wc -l < "$WORK/capture")"
    expect "captured Probe is the one sent" "192.0.2.1 $(base64 -w0 "$WORK/probe.xml")" \
        "$(head -1 "$WORK/capture" | python3 -c 'import json,sys; r=json.load(sys.stdin); print(r["src"], r["data_b64"])')"
    expect "log has one line per answer" 200 "$(wc -l < "$WORK/log")"

    sim a --address 192.0.2.10 --order sequential --gap-ms 20 \
        --device 'name=First' --device behaviour=fault --device behaviour=garbage \
        --device 'name=Twin;behaviour=twice' --device behaviour=silent \
        --device behaviour=truncated --device 'name=Deep;behaviour=deep' \
        --device 'name=Attr;behaviour=hugeattr' --device 'name=Big;behaviour=big' \
        --device 'name=New;behaviour=wsd2009' --device behaviour=noname \
        --device 'name=Many;behaviour=xaddrs25' --device behaviour=noscopes \
        --device 'name=Bare;behaviour=noxaddrs' \
        --device 'name=Kamera Müller 東京;model=X 1;xaddrs=http://{ip}:8{i}/a http://{ip}/b'
    out=$(probe --bind 192.0.2.1 --if 192.0.2.1)
    stop "$SIM_PID"
    expect "behaviours in order" "$(cat <<'EOF'
match First 1 5
fault - - -
bad - - -
match Twin 1 5
match Twin 1 5
bad - - -
match Deep 1 5
match Attr 1 5
match Big 1 5
match2009 New 1 5
match - 1 4
match Many 25 5
match - 1 -
match Bare - 5
match Kamera%20Müller%20東京 2 5
EOF
)" "$(awk '{print $1, $4, $5, $6}' <<< "$out")"
    expect "big is 64000 bytes" 64000 "$(awk '$4 == "Big" {print $3}' <<< "$out")"
    expect "hugeattr is over 60000 bytes" 1 "$(awk '$4 == "Attr" {print ($3 > 60000)}' <<< "$out")"

    cp "$WORK/answer-1.bin" "$WORK/replay1"
    printf 'not even XML \x00\x01' > "$WORK/replay2"
    sim a --address 192.0.2.10 --replay "$WORK/replay1" --replay "$WORK/replay2"
    out=$(probe --bind 192.0.2.1 --if 192.0.2.1 --save "$WORK")
    stop "$SIM_PID"
    expect "replays answer" 2 "$(wc -l <<< "$out")"
    for i in 1 2; do
        cmp -s "$WORK/answer-$i.bin" "$WORK/replay1" || cmp -s "$WORK/answer-$i.bin" "$WORK/replay2" \
            || fail "replay bytes changed"
    done
    ok "replay bytes unchanged"

    sim a --address 192.0.2.10
    pid_a=$SIM_PID
    sim a --address 192.0.2.12 --devices 2
    pid_b=$SIM_PID
    sim b --address 198.51.100.11 --name-prefix 'B-'
    out=$(probe --bind 192.0.2.1 --if 192.0.2.1 --wait 1)
    expect "two simulators on LAN a" "$(printf '1 192.0.2.10:3702\n2 192.0.2.12:3702')" \
        "$(awk '{print $2}' <<< "$out" | sort | uniq -c | awk '{print $1, $2}')"
    out=$(probe --bind 198.51.100.1 --if 198.51.100.1 --wait 1)
    expect "LAN b answers from its extra address" "match 198.51.100.11:3702 B-1" \
        "$(awk '{print $1, $2, $4}' <<< "$out")"
    out=$(probe --bind 192.0.2.1 --wait 1)
    expect "bound to the link address, no IP_MULTICAST_IF" 3 "$(count ':3702 ' "$out")"
    out=$(probe --if 198.51.100.1 --wait 1)
    expect "IP_MULTICAST_IF only" "198.51.100.11:3702" "$(awk '{print $2}' <<< "$out")"
    out=$(probe --wait 0.2 2>&1 || true)
    expect "neither: no route in the host namespace" "send: Network is unreachable" "$out"
    stop "$SIM_PID"; stop "$pid_b"; stop "$pid_a"

    sim a --address 192.0.2.10 --devices 1000 --log "$WORK/log1000"
    out=$(probe --bind 192.0.2.1 --if 192.0.2.1 --wait 2)
    stop "$SIM_PID"
    expect "1000 devices answer" 1000 "$(count '^match ' "$out")"
    expect "1000 answers sent within 0.5 s" 1 "$(python3 -c '
import json, sys
t = [json.loads(l)["t"] for l in open(sys.argv[1])]
print(int(max(t) - min(t) <= 0.5))' "$WORK/log1000")"

    "$TESTNET_CMD" exec "$TESTNET" a python3 "$SIM" --address 192.0.2.10 --duration 0.5 > /dev/null \
        || fail "--duration did not exit 0"
    ok "--duration exits 0"

    "$TESTNET_CMD" bare "${TESTNET}y"
    expect "bare has only loopback" "127.0.0.1/8" \
        "$(ip -n "${TESTNET}y-h" -4 -o addr | awk '{print $4}')"
    "$TESTNET_CMD" down "${TESTNET}y"
    "$TESTNET_CMD" down "${TESTNET}y"
    expect "down removes bare, twice" "" "$(ip netns list | grep "^${TESTNET}y-" || true)"

    # The owner of this one is a shell that ends at once.
    bash -c "'$TESTNET_CMD' up ${TESTNET}z; true"
    "$TESTNET_CMD" bare "${TESTNET}y"
    expect "up removes stale networks" "" "$(ip netns list | grep "^${TESTNET}z-" || true)"
    "$TESTNET_CMD" down "${TESTNET}y"
}

[[ $EUID -eq 0 ]] || { echo "selftest_camera.sh: must be run as root" >&2; exit 1; }

if [[ -n ${TESTNET:-} ]]; then
    echo "$TESTNET" > "$WORK/name"
    inner
    exit
fi

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export WORK

# Run by itself, as root, with no TESTNET: the checks below run in a fresh network.
"$TESTNET_CMD" run --extra-a 2 --extra-b 1 "$SELF"
name=$(< "$WORK/name")
expect "nothing left after run" "" "$(ip netns list | grep "^$name-" || true; ls /run/lenscout-testnet | grep -x "$name" || true)"

expect "run passes the status on" 7 "$("$TESTNET_CMD" run bash -c 'exit 7' || echo $?)"

# SIGTERM to run: CMD is stopped, the network and whatever runs in it go.
"$TESTNET_CMD" run bash -c 'echo $TESTNET > "$WORK/name"; "$0" exec $TESTNET a sleep 60 & echo $! > "$WORK/pid"; wait' "$TESTNET_CMD" &
run_pid=$!
for ((i = 0; i < 50; i++)); do
    [[ -s $WORK/pid ]] && ip netns pids "$(< "$WORK/name")-a" | grep -qx "$(< "$WORK/pid")" && break
    sleep 0.1
done
sleep_pid=$(< "$WORK/pid")
kill -TERM "$run_pid"
status=0; wait "$run_pid" || status=$?
expect "run ends on SIGTERM" 143 "$status"
name=$(< "$WORK/name")
expect "network gone after SIGTERM" "" "$(ip netns list | grep "^$name-" || true)"
# The sleep was killed; as an orphan it may take a moment to be reaped.
for ((i = 0; i < 20; i++)); do
    [[ $(ps -o stat= -p "$sleep_pid") == Z* ]] || break
    sleep 0.1
done
expect "processes in the network killed" "" "$(ps -o stat= -p "$sleep_pid" || true)"

out=$(setpriv --reuid=65534 --regid=65534 --clear-groups "$TESTNET_CMD" up x 2>&1 || true)
expect "root is required" 1 "$(count 'must be run as root' "$out")"

echo "all passed"
