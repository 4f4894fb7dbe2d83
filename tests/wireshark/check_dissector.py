#!/usr/bin/env python3
"""The Wireshark dissector (packaging/wireshark/loader.lua) decodes a dlutil pcapng trace of a
download into the embedded PLC: every frame, with the command, length and check code this
script reads from the capture by itself.

    check_dissector.py DLUTIL SOURCE_DIR

Exits 77 (skipped) when tshark is not installed.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

SKIP = 77
MASK = 0x2A


def crc16dnp(data):
    crc = 0
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA6BC if crc & 1 else crc >> 1
    return ~crc & 0xFFFF


def packets(capture):
    """The packet bytes of a little-endian pcapng file, checked block by block."""
    out = []
    at = 0
    while at < len(capture):
        kind, total = struct.unpack_from("<II", capture, at)
        if total < 12 or total % 4 or at + total > len(capture):
            raise ValueError(f"block length {total} at {at}")
        if struct.unpack_from("<I", capture, at + total - 4)[0] != total:
            raise ValueError(f"trailing length differs at {at}")
        if kind == 6:
            captured = struct.unpack_from("<I", capture, at + 20)[0]
            out.append(capture[at + 28:at + 28 + captured])
        elif kind not in (0x0A0D0D0A, 1):
            raise ValueError(f"block type {kind:#x} at {at}")
        at += total
    return out


def expected(packet):
    """(command, length, check) of one packet: check is 'good', 'masked' or 'none'."""
    frame = packet[4:]
    if packet[0] != 0x4C or frame[:2] != b"\x05\x64" or len(frame) < 5:
        raise ValueError(f"not a loader frame: {packet.hex()}")
    cmd, length = frame[2], frame[3] << 8 | frame[4]
    if packet[2] == 1 and cmd == 0x74 and len(frame) == 5:
        return cmd, length, "none"  # the link test's answer: its head only
    if len(frame) != 5 + length + 2:
        raise ValueError(f"length field {length} for {len(frame)} bytes")
    check = frame[5 + length] << 8 | frame[6 + length]
    if check == crc16dnp(frame[2:5 + length]):
        return cmd, length, "good"
    if check == MASK << 8 | MASK:
        return cmd, length, "masked"
    raise ValueError(f"bad check code in {frame.hex()}")


def truth(text):
    return text in ("1", "True")


def main():
    dlutil, source = sys.argv[1], sys.argv[2]
    tshark = shutil.which("tshark")
    if tshark is None:
        print("SKIP: tshark is not installed (scripts/setup.sh installs it)")
        return SKIP
    with tempfile.TemporaryDirectory() as scratch:
        trace = os.path.join(scratch, "download.pcapng")
        env = dict(os.environ, DLUTIL_NO_HISTORY="1", HOME=scratch,
                   XDG_CONFIG_HOME=os.path.join(scratch, ".config"))
        run = subprocess.run(
            [dlutil, "--lang", "en", "--yes", "--trace", trace, "download",
             os.path.join(source, "examples", "LinuxDemo.DWN"), "--conn", "embedded"],
            env=env, capture_output=True, text=True, timeout=120)
        if run.returncode != 0:
            print(f"FAIL: dlutil exited {run.returncode}\n{run.stderr}")
            return 1
        with open(trace, "rb") as f:
            ours = [expected(p) for p in packets(f.read())]
        fields = subprocess.run(
            [tshark, "-r", trace, "-X",
             "lua_script:" + os.path.join(source, "packaging", "wireshark", "loader.lua"),
             "-T", "fields", "-e", "loader.cmd", "-e", "loader.len", "-e", "loader.crc_ok",
             "-e", "loader.masked", "-e", "loader.d.kind"],
            env=env, capture_output=True, text=True, timeout=120)
    if fields.returncode != 0:
        print(f"FAIL: tshark exited {fields.returncode}\n{fields.stderr}")
        return 1
    rows = [line.split("\t") for line in fields.stdout.splitlines()]
    failures = []
    if len(rows) != len(ours):
        failures.append(f"{len(rows)} rows from tshark for {len(ours)} packets")
    downloads = 0
    for number, (row, (cmd, length, check)) in enumerate(zip(rows, ours), start=1):
        row += [""] * (5 - len(row))
        got_cmd, got_len, crc_ok, masked, kind = row[:5]
        if not got_cmd or int(got_cmd, 0) != cmd or not got_len or int(got_len) != length:
            failures.append(f"frame {number}: {row} for command {cmd:#04x} length {length}")
            continue
        want = {"good": (True, False), "masked": (False, True), "none": (False, False)}[check]
        if (truth(crc_ok), truth(masked)) != want or (check == "good") != (crc_ok != ""):
            failures.append(f"frame {number}: crc_ok '{crc_ok}' masked '{masked}', "
                            f"the check code is {check}")
        if cmd == 0x44 and kind:
            downloads += 1
    sent_downloads = sum(1 for i, (cmd, _, _) in enumerate(ours) if cmd == 0x44 and i % 2 == 0)
    if downloads != sent_downloads or downloads == 0:
        failures.append(f"{downloads} 'D' requests decoded with a kind, {sent_downloads} sent")
    good = sum(1 for _, _, check in ours if check == "good")
    for failure in failures:
        print("FAIL: " + failure)
    if failures:
        return 1
    print(f"{len(ours)} frames decoded, {good} with a good check code, "
          f"{downloads} 'D' requests")
    return 0


if __name__ == "__main__":
    sys.exit(main())
