#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into tests/fuzz/corpus/.

The messages come from the simulators' own builders (tests/sim), imported
and called without any socket, and from the captured samples in tests/data.
The output is the same on every run: the simulators' random parts (message
IDs, dates, garbage) are drawn from a fixed seed.

    python3 tests/fuzz/make-corpus.py
"""

import email.utils
import json
import os
import random
import shutil
import struct
import sys
import types
import uuid
from pathlib import Path

HERE = Path(__file__).resolve().parent
DATA = HERE.parent / "data"
CORPUS = HERE / "corpus"
sys.path.insert(0, str(HERE.parent / "sim"))
sys.dont_write_bytecode = True

# Fixed before the simulators are imported: they read these at import or
# call time.
SEED = random.Random(20240601)
random.seed(20240601)
uuid.uuid4 = lambda: uuid.UUID(int=SEED.getrandbits(128), version=4)
os.urandom = SEED.randbytes
email.utils.formatdate = lambda *args, **kwargs: "Mon, 03 Jun 2024 12:00:00 GMT"

import camera_sim  # noqa: E402
import ssdp_sim  # noqa: E402

camera_sim.INSTANCE_ID = 1717416000
# The large behaviours keep their shape at a size that suits a seed.
camera_sim.DEEP_LEVELS = 64
camera_sim.HUGE_ATTR = 2000
camera_sim.BIG_SIZE = 4000

ADDRESS = "192.0.2.10"
RELATES_TO = "urn:uuid:5e1f8a8e-0c3c-4d5e-9b0e-000000000000"
NAMES = ["Camera 1", "Front Door", "Kamera Müller 東京", "[TV] Samsung 7 Series (50)",
         "a<b>c", "Hall] <East", "100%20sure", "📷"]


def camera(index, behaviour, name="Camera 1", xaddrs="http://{ip}/onvif/device_service"):
    endpoint = uuid.uuid5(uuid.NAMESPACE_URL, f"camera-sim://{ADDRESS}/{index}")
    return camera_sim.Device(index, ADDRESS, name, xaddrs, behaviour, endpoint, "SimCam-1", "se")


def probe_matches():
    """ProbeMatches datagrams of every simulated behaviour and the captured ones."""
    seeds = {}
    for index, behaviour in enumerate(camera_sim.BEHAVIOURS, 1):
        for k, datagram in enumerate(camera(index, behaviour).answers(RELATES_TO)):
            seeds[f"sim-{behaviour}-{k}.xml"] = datagram
    for index, name in enumerate(NAMES, 100):
        seeds[f"sim-name-{index}.xml"] = camera(index, "normal", name).probe_matches(RELATES_TO)
    seeds["sim-xaddrs-two.xml"] = camera(
        200, "normal", xaddrs="http://169.254.1.2/onvif/device_service "
        "http://198.51.100.7:8080/onvif/device_service").probe_matches(RELATES_TO)
    seeds["sim-xaddrs-ipv6.xml"] = camera(
        201, "normal", xaddrs="http://[fe80::1]/onvif/device_service "
        "http://192.0.2.77/onvif/device_service").probe_matches(RELATES_TO)
    for path in sorted((DATA / "probematches").glob("*.xml")):
        seeds["data-" + path.name] = path.read_bytes()
    return seeds


def ssdp_device(index, **keys):
    sim = types.SimpleNamespace(address=ADDRESS, http_port=49152,
                                refused_port=9, rewrite_location=False)
    opts = {key: k.default for key, k in ssdp_sim.KEYS.items()}
    opts.update(name=ssdp_sim.device_name("Sim Device %d", index), services=1 + (index - 1) % 3)
    opts.update(keys)
    return ssdp_sim.Device(index, opts, sim)


SSDP_VARIANTS = {
    "upper": {}, "lower": {"case": "lower"}, "mixed": {"case": "mixed"},
    "locspace": {"locspace": True}, "lf": {"lf": True}, "multiloc": {"multiloc": True},
    "emptyloc": {"emptyloc": True}, "refused": {"refused": True},
    "file": {"scheme": "file"}, "ftp": {"scheme": "ftp"}, "data": {"scheme": "data"},
    "name": {"name": "Kamera Müller 東京"},
}


def ssdp_answers():
    """Every answer a simulated device gives to ssdp:all, and the captured ones."""
    seeds = {}
    for index, (variant, keys) in enumerate(SSDP_VARIANTS.items(), 1):
        device = ssdp_device(index, **keys)
        for st, usn in device.matches("ssdp:all")[:2]:
            kind = st.rpartition(":")[2] if st.startswith("urn:") else st.split(":")[0]
            seeds[f"sim-{variant}-{kind}.txt"] = device.answer(st, usn)
    for path in sorted((DATA / "ssdp-responses").glob("*.txt")):
        seeds["data-" + path.name] = path.read_bytes()
    return seeds


def lenscout_output(records, eol):
    """The prober's standard output for records of (name, address)."""
    return "".join(f"{eol}[{name}] <{address}>{eol}{eol}" for name, address in records).encode()


def with_cuts(output, offsets):
    """An input of the line-cutting target: its cut offsets, then the output."""
    return bytes([len(offsets)]) + b"".join(struct.pack("<H", o) for o in offsets) + output


def lenscout_outputs():
    expected = json.loads((DATA / "probematches" / "expected.json").read_text(encoding="utf-8"))
    captured = [(e["name"], e["addresses"][0]) for e in expected.values() if e and e["addresses"]]
    generated = [(name, f"http://192.0.2.{20 + i}/onvif/device_service")
                 for i, name in enumerate(NAMES)]
    seeds = {}
    for eol, kind in (("\n", "lf"), ("\r\n", "crlf")):
        for source, records in (("captured", captured), ("sim", generated)):
            output = lenscout_output(records, eol)
            seeds[f"{source}-{kind}-whole.bin"] = with_cuts(output, [])
            # Cuts in the middle of characters and of line ends.
            seeds[f"{source}-{kind}-cut.bin"] = with_cuts(
                output, sorted({len(output) * k // 7 + k for k in range(1, 7)}))
        one = lenscout_output([("Kamera Müller 東京 📷", "http://192.0.2.21:8080/x")], eol)
        seeds[f"bytewise-{kind}.bin"] = with_cuts(one, list(range(1, min(len(one), 255))))
    return seeds


def descriptions():
    """Description documents, each with the location it was fetched from."""
    seeds = {}
    for index, (variant, keys) in enumerate(SSDP_VARIANTS.items(), 1):
        device = ssdp_device(index, **keys)
        for k, (path, name) in enumerate(device.documents.items()):
            location = device.locations[k] if k < len(device.locations) else path
            seeds[f"sim-{variant}-{k}.xml"] = (device.document(name) + b"\0"
                                               + location.encode())
    for path in sorted((DATA / "descriptions").glob("*.xml")):
        seeds["data-" + path.name] = path.read_bytes()
    for i, name in enumerate(NAMES):
        record = f"[{name}] <http://192.0.2.{20 + i}:8080/onvif/device_service>\r\n"
        seeds[f"record-{i}.txt"] = record.encode()
    return seeds


TARGETS = {
    "fuzz_probematches": probe_matches,
    "fuzz_ssdpresponse": ssdp_answers,
    "fuzz_linecutting": lenscout_outputs,
    "fuzz_recordintake": descriptions,
}


def main():
    total = 0
    for target, make in TARGETS.items():
        directory = CORPUS / target
        shutil.rmtree(directory, ignore_errors=True)
        directory.mkdir(parents=True)
        seeds = make()
        for name, data in seeds.items():
            (directory / name).write_bytes(data)
        size = sum(len(data) for data in seeds.values())
        total += size
        print(f"{target}: {len(seeds)} seeds, {size} bytes")
    print(f"total {total} bytes")


if __name__ == "__main__":
    main()
