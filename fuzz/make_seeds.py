#!/usr/bin/env python3
"""Writes the seed corpora in fuzz/corpus/<target>/. The fuzz targets read their
parameters with FuzzedDataProvider, which takes integers from the end of the input
and byte strings from its front; Fdp() builds inputs in that layout."""
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


class Fdp:
    def __init__(self):
        self.front = b""
        self.consumed = b""  # integers in the order they are consumed

    def bytes(self, data):
        self.front += data
        return self

    def int(self, value, nbytes):
        self.consumed += value.to_bytes(nbytes, "big")
        return self

    def build(self):
        return self.front + self.consumed[::-1]


def write(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def le16(*words):
    return b"".join(struct.pack("<H", w & 0xFFFF) for w in words)


# --- settings loader -----------------------------------------------------------------
header = b"Inproper modification of this file may lead to SW malfunction\r\n" + b"-" * 61 + b"\r\n"
write("settings_loader", "full", header + b"".join(l + b"\r\n" for l in [
    b"MainWindowHeight: 600", b"MainWindowWidth: 800", b"StatusChannelA: true", b"StatusChannelB: false",
    b"ColorChannelA: 1193046", b"ColorChannelB: -2147483643", b"MakeAvg: true", b"DensityChannelA: 5",
    b"MaxChannelA: 12", b"SourceACDC_A: true", b"SourceProbeA: 10", b"ModeLine: false", b"GridBrightness: 50",
    b"TriggerLevelA: 1.5", b"TriggerLevelB: -0.25", b"SMPSetting: 3", b"DSPSetting: 7",
    b"MeasurementLength: 1E20", b"ARMLevelA: 1.5E-6", b"PeriodA: 200", b"AmplitudeB: 0.5", b"NoiseB: 6"]))
write("settings_loader", "line_endings", b"\rNoiseA: 5\n\rNoiseB: 6\n\n\r\nGrid: false")
write("settings_loader", "bad_value", b"RecordFree: true\r\nMaxChannelA: 3000000000\r\nNoiseA: 9\r\n")
write("settings_loader", "odd_values", b"TriggerLevelA: 1,5\r\nARMLevelB: nan\r\nSMPSetting: -7\r\nDSPSetting: 99\r\n"
      b"UnknownKey: 777\r\nMainWindowWidth: -1\r\n")

# --- edit parsers: text first, then the value (8 bytes) and the flag ----------------
for i, text in enumerate([b"250m", b"1.5", b"0.999", b"2u", b"1h30m", b"59s999ms", b"0s", b"15", b"12",
                          b"-3.5E2", b"1e309", b"0.0005m"]):
    write("edit_parsers", "text%02d" % i, Fdp().bytes(text).int(i, 8).int(i & 1, 1).build())

# --- record reader: buffer size byte, then the little-endian words -------------------
start = le16(0, 4, 1, 1) + le16(0, 5, 10, 50000 & 0xFFFF, 0) + le16(0, 5, 11, 200, 0) + le16(0, 6, 2, 40, 128, 0)
write("record_reader", "measurement", bytes([7]) + start + le16(0x8080, 0x7F81, 2, 1, 0x9090) + le16(0, 4, 1, 0))
write("record_reader", "rate_change", bytes([3]) + start + le16(*range(0x300, 0x340)) + le16(0, 5, 10, 0x4240, 0x0F)
      + le16(*range(0x400, 0x420)))
write("record_reader", "cut_record", bytes([64]) + start + le16(0, 5, 11, 7))
write("record_reader", "odd_size", bytes([1]) + le16(0x1234, 0x5678) + b"\x01")
write("record_reader", "bad_length", bytes([5]) + le16(0x1234, 0, 9, 1))

# --- index reader: a mode byte, then edits (24-bit position, xor byte) to a valid index
# of the target's record, or (mode bit 0) a whole index file; bit 1 truncates to the
# 16-bit length that follows, bit 2 repairs the checksum --------------------------------
def edits(*pairs):
    return b"".join(struct.pack("<I", (pos & 0xFFFFFF) | (x << 24)) for pos, x in pairs)

write("index_reader", "valid", bytes([0]))
write("index_reader", "record_bytes_repaired", bytes([4]) + edits((17, 0x10)))
write("index_reader", "resume_offset_repaired", bytes([4]) + edits((32, 0x2e)))
write("index_reader", "instants_repaired", bytes([4]) + edits((26, 0x01)))
write("index_reader", "capacity_repaired", bytes([4]) + edits((59, 0x40)))
write("index_reader", "lists_offset_repaired", bytes([4]) + edits((64, 0x08)))
write("index_reader", "checkpoint_repaired", bytes([4]) + edits((4097, 0x40)))
write("index_reader", "levels_repaired", bytes([4]) + edits((4300, 0xFF), (4400, 0x80)))
write("index_reader", "list_flip", bytes([0]) + edits((0xFFFFF0, 0x04)))
write("index_reader", "truncated", bytes([2]) + le16(3000))
write("index_reader", "foreign", bytes([1]) + b"RMINDEX\x1a" + struct.pack("<II", 1, 4096) + bytes(range(256)) * 2)
write("index_reader", "other_version", bytes([0]) + edits((8, 0x03)))

# --- accumulate samples: words from the end, parameters before them -------------------
def accumulate(k, max_columns, cuts, raw):
    f = Fdp().int(1, 1).int(k + 2, 1).int(max_columns + 1, 2).int(len(cuts), 1)
    for c in cuts:
        f.int(c, 2)
    for b in raw:
        f.int(b, 1)
    return f.build()

samples = bytes(b for i in range(200) for b in (0x80 + i % 60, 0x90))
write("accumulate_samples", "plain_k1", accumulate(1, 2000, [7, 100], samples))
write("accumulate_samples", "plain_k3", accumulate(3, 30, [1, 2, 3, 50], samples))
record = bytes([0x00, 0x05, 0x0A, 0x50, 0xC3])  # 0, 5, 10: small bytes stand for small words
write("accumulate_samples", "records_and_markers", accumulate(2, 10, [3, 4, 5, 6], samples[:40] + record + bytes([1, 2, 2, 2]) + samples[:40]))

# --- driver code 14 ----------------------------------------------------------------
def code14(trigger, arm, relation_and, record_free, ground, reads):
    f = Fdp().int(trigger, 1).int(arm, 1).int(relation_and, 1).int(record_free, 1)
    for c in range(2):
        f.int(130 + 300, 2).int(120 + 300, 2).int(ground[c], 1).int(128 + 300, 2)
    for how, words in reads:
        f.int(how, 1).int(len(words), 2)
        f.bytes(le16(*words))
    return f.build()

ramp = [((i * 7) & 0xFF) | (((i * 3) & 0xFF) << 8) for i in range(1, 300)]
write("driver_code14", "record_free", code14(0, 0, 0, 1, (0, 0), [(0xFF, ramp), (0xFF, [0] * 10 + ramp[:50])]))
write("driver_code14", "trigger_a", code14(0x01, 0, 0, 0, (0, 0), [(0xFF, ramp), (0xFF, ramp)]))
write("driver_code14", "trigger_both_under", code14(0x0F, 0, 1, 0, (0, 1), [(0xFF, ramp), (0x00, ramp), (0xFF, ramp)]))
write("driver_code14", "arm_external", code14(0, 0x3F, 0, 1, (1, 1), [(0xFF, ramp), (0xC0, ramp)]))

# --- brask and tolv: calls, then what the device answers -----------------------------
def ok(payload=b"", code=4):
    return bytes([code]) + struct.pack("<I", len(payload)) + payload

def transport(calls, answers, tolv_first=None):
    c = Fdp()
    if tolv_first is not None:
        c.int(tolv_first, 1)
    for op, a, length in calls:
        c.int(op, 1).int(a, 2).int(length, 3)
    calls_bytes = c.build()
    return Fdp().bytes(calls_bytes + answers).int(len(calls_bytes), 1).build()

packet = ok(struct.pack("<I", 64))
for target, first in (("brask_garbage", None), ("tolv_garbage", 0)):
    write(target, "init", transport([], packet, first))
    write(target, "single_read", transport([(4, 9, 0)], packet + ok() + ok(b"\x12\x34\x00\x00"), first))
    write(target, "roll_read", transport([(9, 1, 1024)], packet + ok() + ok(bytes(range(256)) * 4), first))
    write(target, "fpga", transport([(3, 0, 300)], packet + ok() + ok() + ok(b"\x01\x00\x00\x00"), first))
    write(target, "oversized", transport([(11, 0x10, 0)], packet + ok() + bytes([2, 9]), first))
    write(target, "short", transport([(13, 0, 0), (1, 0, 0)], packet + ok() + bytes([1, 3]), first))
    write(target, "cut_payload", transport([(7, 2, 256)], packet + ok() + bytes([3]) + struct.pack("<I", 100), first))
    write(target, "odd_ok_word", transport([(10, 0, 0)], packet + bytes([0x84]) + struct.pack("<II", 7, 4) + b"\x00\x02\x00\x00", first))
write("brask_garbage", "tdo", transport([(17, 300, 200)], packet + ok() + ok(bytes(16)) * 4))
write("tolv_garbage", "init_devices", transport([(15, 1, 0), (16, 0, 0), (4, 1, 0)],
                                                 ok(struct.pack("<I", 4)) + packet + ok() + ok(b"\x00\x01"), 1))
write("tolv_garbage", "buffer_full", transport([(6, 0x26, 0x5000)], packet + ok() * 8, 0))

# --- simulated instrument -------------------------------------------------------------
SEND, WRITE, READ, READY, PACKET, IDENT = range(6)

def sim(requests, valid=1):
    f = Fdp().int(valid, 1).int(64, 2).int(4096, 3).int(0, 1)
    for code, data, capacity, micros in requests:
        f.int(code, 1).int(1, 1).int(capacity, 1).int(micros, 3).int(len(data), 2)
        f.bytes(data)
    return f.build()

write("sim_requests", "probe", sim([(READY, b"", 0, 0), (PACKET, b"", 4, 0), (IDENT, b"", 4, 0)]))
write("sim_requests", "register_read", sim([(SEND, bytes([0x26, 1, 0x80, 0x03, 0x24, 1, 0, 0]), 0, 10),
                                            (READ, b"", 4, 10)]))
write("sim_requests", "roll_run", sim([(SEND, bytes([0x26, 1, 0x80, 0x00, 0x2B, 1, 0, 16]), 0, 0),
                                       (READ, b"", 64, 100000), (SEND, bytes([0x2B, 1, 0, 16]), 0, 0),
                                       (READ, b"", 64, 1000000)]))
write("sim_requests", "eeprom", sim([(SEND, bytes([0x02, 0x13, 0, 0, 0x03, 0, 5, 0xAB, 0x01, 0, 5, 4]), 0, 0),
                                     (READ, b"", 4, 0)], valid=0))
write("sim_requests", "fpga", sim([(SEND, bytes([0x20, 0, 1, 0x21]), 0, 0), (WRITE, b"RMFPGA01" + bytes(8) + bytes(40), 0, 0),
                                   (READ, b"", 4, 0), (SEND, bytes([0x34, 0, 0, 0] * 9 + [0x33, 0, 0, 0, 0x35, 200, 0, 0]), 0, 0),
                                   (READ, b"", 16, 0)]))
