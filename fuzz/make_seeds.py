#!/usr/bin/env python3
"""Writes the fuzz seed corpora under fuzz/corpus/ from the sample recording and
the sample settings. Run it again after either changes; the files are committed."""
import os
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "fuzz", "corpus")
FEND, FESC, TFEND, TFESC = 0xC0, 0xDB, 0xDC, 0xDD
SAT_HEADER = bytes.fromhex("A2 82 60 AC A4 9C 60 A2 84 60 AC A4 A6 E1 03")


def records(stream):
    """Unescaped KISS records, as the reader cuts them (no oversize handling needed here)."""
    out, cur, open_, esc = [], bytearray(), False, False
    for b in stream:
        if b == FEND:
            if open_ and cur:
                out.append(bytes(cur))
            cur, open_, esc = bytearray(), True, False
            continue
        if not open_:
            continue
        if esc:
            esc = False
            b = {TFEND: FEND, TFESC: FESC}.get(b, b)
        elif b == FESC:
            esc = True
            continue
        cur.append(b)
    return out


def agw(kind, data=b"", port=0, call_from=b"", call_to=b"", pid=0):
    header = struct.pack("<IBBBB10s10sII", port, ord(kind), 0, pid, 0, call_from, call_to, len(data), 0)
    assert len(header) == 36
    return header + data


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    with open(os.path.join(ROOT, "samples", "varne4_sample.kss"), "rb") as f:
        sample = f.read()
    with open(os.path.join(ROOT, "samples", "online_conf.ini"), "rb") as f:
        settings = f.read()
    recs = records(sample)
    frames = [r for r in recs if r[0] != 0x09]  # time stamps aside
    satellite = [r for r in frames if r[1:16] == SAT_HEADER]
    beacon_kinds = {}
    for r in satellite:
        beacon_kinds.setdefault((r[1 + 19], r[1 + 20]), r)  # one frame of each beacon type

    # KISS reader: chunk-plan byte(s), then the stream; 0x08 also reads it from a file.
    write("kiss_reader", "sample_whole", b"\x00" + sample)
    write("kiss_reader", "sample_file", b"\x08" + sample[:2000])
    write("kiss_reader", "sample_chunks_1_7_64", b"\x03\x01\x07\x40" + sample[:1500])
    write("kiss_reader", "escapes", b"\x00" + bytes([FEND, FESC, TFEND, 0x41, FESC, TFESC, FESC, 0x42, FEND, FEND]))
    write("kiss_reader", "oversize_then_frame",
          b"\x01\x05" + bytes([FEND]) + b"\x00" * 600 + bytes([FEND, 0x00, 0x41, FEND]))
    write("kiss_reader", "junk_before_first_fend", b"\x00abc" + bytes([FEND, 0x09]) + b"2026-11-28 14:02" + bytes([FEND]))

    # AGW splitter: chunk-plan byte(s), then the engine's stream.
    stream = agw("R", struct.pack("<II", 2005, 127))
    stream += agw("G", b"2;Port1 sound card;Port2 second card;")
    stream += b"".join(agw("K", r, call_from=b"QB0VRS", call_to=b"QA0VRN") for r in frames[:8])
    write("agw_splitter", "engine_session", b"\x00" + stream)
    write("agw_splitter", "engine_session_chunks_3_36_100", b"\x03\x03\x24\x64" + stream)
    write("agw_splitter", "full_callsigns", b"\x00" + agw("K", b"\x00abc", call_from=b"ABCDEFGHIJ", call_to=b"KLMNOPQRST"))
    write("agw_splitter", "oversize_length", b"\x00" + agw("K", b"x")[:28] + struct.pack("<II", 65537, 0))
    write("agw_splitter", "empty_data", b"\x00" + agw("K") + agw("X"))

    # Frame pipeline: control byte, length byte, bytes; bit 2 = import door.
    def item(data, imported=False, refuse=False, compact=False):
        c = (len(data) >> 8) & 3 | (4 if imported else 0) | (8 if refuse else 0) | (16 if compact else 0)
        return bytes([c, len(data) & 0xFF]) + data
    mixed = b""
    for i, r in enumerate(frames[:12]):
        mixed += item(r, imported=bool(i % 2))
    write("frame_pipeline", "sample_mixed_doors", mixed)
    for (t1, t2), r in sorted(beacon_kinds.items()):
        write("frame_pipeline", "beacon_%02x%02x_live" % (t1, t2), item(r))
        write("frame_pipeline", "beacon_%02x%02x_import_compact" % (t1, t2), item(r, imported=True, compact=True))
        write("frame_pipeline", "beacon_%02x%02x_short" % (t1, t2), item(r[:40], refuse=True))
    longest = max(frames, key=len)
    write("frame_pipeline", "long_then_short", item(longest + b"\x55" * (511 - len(longest))) + item(satellite[0][:22]))
    write("frame_pipeline", "oversize_live", item(b"\x00" + b"\x11" * 600))

    # Configuration: whole files.
    write("configuration", "sample", settings)
    write("configuration", "lf_lines_spaces", b"PORT = localhost : 8000\nMYCALL= OK1ABC \nQTH_LAT=50,1\nRECONNECT=0\n")
    write("configuration", "no_equals", b"# settings\r\nSERVER=http://a/b\r\nPORT\r\nMYCALL=X\r\n")
    write("configuration", "bad_reconnect", b"PORT=[::1]:8000\r\nRECONNECT=86401\r\n")
    write("configuration", "all_keys",
          b"SERVER=s\r\nSERVER_BACKUP=b\r\nPORT=h:1\r\nMYCALL=C\r\nIMAGE_PATH=shots/\r\nQTH_LAT=1,5\r\n"
          b"QTH_LONG=-2,25\r\nSCREENSHOT=NO\r\nFRAME_FORMAT=COMPACT\r\nRECONNECT=10")

    # Upload body: two flag bytes, settings strings, clock integers, frame bytes.
    for i, r in enumerate(list(beacon_kinds.values())[:3]):
        write("upload_body", "beacon_%d" % i, bytes([i & 1, 1]) + b"N0CALL\\" + b"50.07\\" + b"14.43\\" + r)
    write("upload_body", "text_with_blanks", b"\x01\x00OK1\\1\\2\\" + b"A2 82 60 \t\r\n ")


if __name__ == "__main__":
    main()
