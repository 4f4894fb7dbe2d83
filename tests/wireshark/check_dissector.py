#!/usr/bin/env python3
"""The Wireshark dissector (packaging/wireshark/loader.lua) decodes dlutil pcapng traces of
downloads into the embedded PLC, one that uses the station header and one that does not: every
frame, with the command, length, check code and 'D' kind this script reads from the capture by
itself. Traces of a backup, a restore, a Linux image backup, a download that stops the PLC and
a read the PLC refuses are decoded by command: the devices of 'R' and 'W' by name, their words,
the mode of 'M', the block header of 'U' answers and the code of 'E', each equal to what this
script reads from the frames; a password given on the command line is nowhere in a trace.

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


ALWAYS_HEADER = set(b"TtXblvasVAS")


def expected(packet, header_used):
    """(command, length, check, kind) of one packet: check is 'good', 'masked' or 'none',
    kind the item kind of a 'D' request (None otherwise)."""
    frame = packet[4:]
    if packet[0] != 0x4C or frame[:2] != b"\x05\x64" or len(frame) < 3:
        raise ValueError(f"not a loader frame: {packet.hex()}")
    cmd = frame[2]
    # The link test's answer is read as its head only: 't' with its length, or 'E'.
    if packet[2] == 1 and len(frame) in (3, 5) and cmd in (0x74, 0x45):
        return cmd, None, "none", None
    if len(frame) < 7:
        raise ValueError(f"not a loader frame: {packet.hex()}")
    length = frame[3] << 8 | frame[4]
    if len(frame) != 5 + length + 2:
        raise ValueError(f"length field {length} for {len(frame)} bytes")
    kind = None
    if packet[2] == 0 and cmd == 0x44:
        kind = frame[8] if header_used or frame[8] in ALWAYS_HEADER else frame[5]
    check = frame[5 + length] << 8 | frame[6 + length]
    if check == crc16dnp(frame[2:5 + length]):
        return cmd, length, "good", kind
    if check == MASK << 8 | MASK:
        return cmd, length, "masked", kind
    raise ValueError(f"bad check code in {frame.hex()}")


def truth(text):
    return text in ("1", "True")


def check(dlutil, source, tshark, scratch, package, conn, header_used):
    """The failures of one download's capture, and a line of what was decoded."""
    trace = os.path.join(scratch, package + ".pcapng")
    env = dict(os.environ, DLUTIL_NO_HISTORY="1", HOME=scratch,
               XDG_CONFIG_HOME=os.path.join(scratch, ".config"))
    run = subprocess.run(
        [dlutil, "--lang", "en", "--yes", "--trace", trace, "download",
         os.path.join(source, "examples", package), "--conn", conn],
        env=env, capture_output=True, text=True, timeout=120)
    if run.returncode != 0:
        return [f"dlutil exited {run.returncode}\n{run.stderr}"], ""
    with open(trace, "rb") as f:
        ours = [expected(p, header_used) for p in packets(f.read())]
    fields = subprocess.run(
        [tshark, "-r", trace, "-X",
         "lua_script:" + os.path.join(source, "packaging", "wireshark", "loader.lua"),
         "-T", "fields", "-e", "loader.cmd", "-e", "loader.len", "-e", "loader.crc_ok",
         "-e", "loader.masked", "-e", "loader.d.kind"],
        env=env, capture_output=True, text=True, timeout=120)
    if fields.returncode != 0:
        return [f"tshark exited {fields.returncode}\n{fields.stderr}"], ""
    rows = [line.split("\t") for line in fields.stdout.splitlines()]
    failures = []
    if len(rows) != len(ours):
        failures.append(f"{len(rows)} rows from tshark for {len(ours)} packets")
    kinds = 0
    for number, (row, (cmd, length, crc, kind)) in enumerate(zip(rows, ours), start=1):
        row += [""] * (5 - len(row))
        got_cmd, got_len, crc_ok, masked, got_kind = row[:5]
        if not got_cmd or int(got_cmd, 0) != cmd or (
                length is not None and (not got_len or int(got_len) != length)):
            failures.append(f"frame {number}: {row} for command {cmd:#04x} length {length}")
            continue
        want = {"good": (True, False), "masked": (False, True), "none": (False, False)}[crc]
        if (truth(crc_ok), truth(masked)) != want or (crc == "good") != (crc_ok != ""):
            failures.append(f"frame {number}: crc_ok '{crc_ok}' masked '{masked}', "
                            f"the check code is {crc}")
        if kind is not None:
            if not got_kind or int(got_kind, 0) != kind:
                failures.append(f"frame {number}: kind '{got_kind}', sent {kind:#04x}")
            kinds += 1
        elif got_kind:
            failures.append(f"frame {number}: a kind '{got_kind}' in no 'D' request")
    if kinds == 0:
        failures.append("no 'D' request")
    good = sum(1 for _, _, crc, _ in ours if crc == "good")
    return failures, (f"{package} into {conn}: {len(ours)} frames decoded, {good} with a good "
                      f"check code, {kinds} 'D' requests")


def run_traced(dlutil, scratch, name, args, env):
    """Runs dlutil with a pcapng trace; the trace's packets, or an error text."""
    trace = os.path.join(scratch, name + ".pcapng")
    run = subprocess.run([dlutil, "--lang", "en", "--trace", trace] + args, env=env,
                         capture_output=True, text=True, timeout=120, cwd=scratch)
    if not os.path.exists(trace):
        return trace, None, f"no trace; dlutil exited {run.returncode}\n{run.stderr}"
    with open(trace, "rb") as f:
        return trace, packets(f.read()), None


def tshark_fields(tshark, source, trace, fields, env):
    """One row per packet: for each field all its values, comma-separated."""
    args = [tshark, "-r", trace, "-X",
            "lua_script:" + os.path.join(source, "packaging", "wireshark", "loader.lua"),
            "-T", "fields", "-E", "occurrence=a", "-E", "aggregator=,"]
    for field in fields:
        args += ["-e", field]
    out = subprocess.run(args, env=env, capture_output=True, text=True, timeout=120)
    rows = []
    for line in out.stdout.splitlines():
        cells = line.split("\t")
        rows.append([c.split(",") if c else [] for c in cells + [""] * (len(fields) - len(cells))])
    return rows


def words(data):
    return [str(data[i] << 8 | data[i + 1]) for i in range(0, len(data) - 1, 2)]


def transfers(dlutil, source, tshark, scratch, env):
    """The failures of the device transfer traces, and a line of what was decoded."""
    failures = []
    pdm = os.path.join(scratch, "d.PDM")
    cases = [
        ("backup", ["backup", "--cpu", "A-21", "--area", "D:0-250", "-o", pdm, "--conn",
                    "embedded?seed=7"]),
        ("restore", ["restore", pdm, "--cpu", "A-21", "--conn", "embedded"]),
        ("linux", ["linux-backup", "--cpu", "26", "-o", os.path.join(scratch, "i.BIN"),
                   "--conn", "embedded?image=500"]),
        ("stop", ["--yes", "--password", "Pass-7", "download",
                  os.path.join(source, "examples", "LinuxDemo.DWN"), "--conn",
                  "embedded?mode=run&key=remote&password=Pass-7"]),
        ("refused", ["backup", "--cpu", "A-21", "--area", "D:0-50", "-o",
                     os.path.join(scratch, "e.PDM"), "--conn", "embedded?error-at=3:11"]),
    ]
    fields = ["loader.direction", "loader.cmd", "loader.r.name", "loader.r.size",
              "loader.r.word", "loader.w.name", "loader.w.word", "loader.mode",
              "loader.u.total", "loader.u.number", "loader.u.size", "loader.e.code"]
    seen = {}
    for name, args in cases:
        trace, ours, error = run_traced(dlutil, scratch, name, args, env)
        if error:
            failures.append(f"{name}: {error}")
            continue
        if name == "stop":
            with open(trace, "rb") as f:
                capture = f.read()
            verbose = subprocess.run(
                [tshark, "-r", trace, "-V", "-X", "lua_script:" +
                 os.path.join(source, "packaging", "wireshark", "loader.lua")],
                env=env, capture_output=True, text=True, timeout=120).stdout
            if b"Pass-7" in capture or "Pass-7" in verbose:
                failures.append("stop: the password is in the trace")
        rows = tshark_fields(tshark, source, trace, fields, env)
        if len(rows) != len(ours):
            failures.append(f"{name}: {len(rows)} rows from tshark for {len(ours)} packets")
            continue
        for number, (packet, row) in enumerate(zip(ours, rows), start=1):
            frame = packet[4:]
            if len(frame) < 7:
                continue  # the link test's answer, its head only
            got = dict(zip(fields, row))
            cmd, length = frame[2], frame[3] << 8 | frame[4]
            data = frame[8:5 + length]  # these PLCs use the station header
            to_plc = packet[2] == 0
            want = {}
            if cmd == 0x52 and to_plc:
                want["loader.r.size"] = [str(data[i + 4]) for i in range(0, len(data), 5)]
            elif cmd == 0x52:
                want["loader.r.word"] = words(data)
            elif cmd == 0x57 and to_plc:
                want["loader.w.word"] = words(data[4:])
            elif cmd == 0x4D and to_plc:
                want["loader.mode"] = [str(data[0])]
            elif cmd == 0x55 and not to_plc:
                want["loader.u.total"] = [str(data[2] << 8 | data[3])]
                want["loader.u.number"] = [str(data[4] << 8 | data[5])]
                want["loader.u.size"] = [str(data[6] << 8 | data[7])]
            elif cmd == 0x45:
                want["loader.e.code"] = [str(data[0])]
            for field, values in want.items():
                if [str(int(v, 0)) for v in got[field]] != values:
                    failures.append(f"{name} frame {number}: {field} {got[field][:8]}, the "
                                    f"frame holds {values[:8]}")
            for field in ("loader.r.name", "loader.w.name", "loader.mode", "loader.e.code"):
                if got[field]:
                    seen.setdefault(name, []).append(",".join(got[field]))
    # What each run must have shown, by name: the devices the requests address, the mode a
    # download asks for before it starts (1, Remote STOP), the PLC's error.
    musts = {
        "backup": ["F0080,F1270", "D00000", "D00100", "D00200"],
        "restore": ["D00000", "D00100", "D00200"],
        "stop": ["0x01"],
        "refused": ["F0080,F1270", "11"],
        "linux": ["F0080,F1270"],
    }
    for name, names in musts.items():
        got = seen.get(name, [])
        for n in names:
            if n not in got:
                failures.append(f"{name}: {n} not decoded (decoded {got[:10]})")
    return failures, (f"device transfers: {sum(len(v) for v in seen.values())} names, modes "
                      f"and error codes decoded")


def main():
    dlutil, source = sys.argv[1], sys.argv[2]
    tshark = shutil.which("tshark")
    if tshark is None:
        print("SKIP: tshark is not installed (scripts/setup.sh installs it)")
        return SKIP
    cases = [
        ("LinuxDemo.DWN", "embedded", True),
        # An older PLC answers the link test with 'E': no station header.
        ("Demo.DWN", "embedded?older-plc=1", False),
    ]
    failed = False
    with tempfile.TemporaryDirectory() as scratch:
        for package, conn, header_used in cases:
            failures, summary = check(dlutil, source, tshark, scratch, package, conn,
                                      header_used)
            for failure in failures:
                print(f"FAIL: {package} into {conn}: {failure}")
            failed = failed or bool(failures)
            if not failures:
                print(summary)
        env = dict(os.environ, DLUTIL_NO_HISTORY="1", HOME=scratch,
                   XDG_CONFIG_HOME=os.path.join(scratch, ".config"))
        failures, summary = transfers(dlutil, source, tshark, scratch, env)
        for failure in failures:
            print(f"FAIL: {failure}")
        failed = failed or bool(failures)
        if not failures:
            print(summary)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
