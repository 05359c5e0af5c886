"""Record files written word by word for the tests, and an independent reading of
them: one item at a time, in plain Python, straight from the file format."""

import math
import struct

NAN = float("nan")

LENGTHS = {1: 4, 2: 6, 3: 6, 4: 4, 5: 4, 6: 4, 7: 4, 8: 4, 9: 4, 10: 5, 11: 5, 12: 5}


def record(code, *args):
    """A settings record; 32-bit values (codes 10 to 12) are split low word first."""
    if code in (10, 11, 12):
        (value,) = args
        args = (value & 0xFFFF, value >> 16)
    words = [0, LENGTHS[code], code] + [a & 0xFFFF for a in args]
    assert len(words) == LENGTHS[code]
    return words


def sample(a, b):
    return a | (b << 8)


def start(rate=5_000_000, zero=(128, 128), mv_per_div=(1000, 1000), level=(2094, 2079)):
    """Measurement start and the full snapshot of codes 2..12, as the driver sends them."""
    return (record(1, 1) + record(2, level[0], zero[0], 0) + record(3, level[1], zero[1], 0) +
            record(4, 1) + record(5, 1) + record(6, 1) + record(7, 1) + record(8, 0) + record(9, 0) +
            record(10, rate) + record(11, mv_per_div[0]) + record(12, mv_per_div[1]))


def to_bytes(words):
    return struct.pack(f"<{len(words)}H", *words)


def write(path, words, tail=b""):
    with open(path, "wb") as f:
        f.write(to_bytes(words) + tail)
    return path


def reference(data):
    """Measurements of a record file's bytes: a list of dicts with number, time_s,
    a_mV, b_mV (lists), settings [(code, sample_index)], overflow [sample index],
    not_armed; and what ended the reading ('end', 'torn' or 'malformed', offset)."""
    words = [data[i] | (data[i + 1] << 8) for i in range(0, len(data) - 1, 2)]
    rate = 0
    zero = [None, None]
    defl = [None, None]
    meas = {"number": 0, "time_s": [], "a_mV": [], "b_mV": [], "settings": [], "overflow": [],
            "not_armed": 0}
    out = []
    seen = False
    elapsed = 0.0  # measurement time up to the last rate change
    count = 0  # instants since then
    i = 0
    end = ("end", len(data))

    def now():
        return elapsed + count / rate if rate else NAN

    while i < len(words):
        w = words[i]
        if w != 0:
            seen = True
            if w == 1:
                meas["overflow"].append(len(meas["time_s"]))
            elif w == 2:
                meas["not_armed"] += 1
                count += 1
            else:
                meas["time_s"].append(now())
                for ch, key, code in ((0, "a_mV", w & 0xFF), (1, "b_mV", w >> 8)):
                    known = zero[ch] is not None and defl[ch] is not None
                    meas[key].append((code - zero[ch]) * defl[ch] / 32 if known else NAN)
                count += 1
            i += 1
            continue
        if i + 1 >= len(words):
            end = ("torn", 2 * i)
            break
        length = words[i + 1]
        if not 4 <= length <= 6:
            end = ("malformed", 2 * i)
            break
        if i + 2 >= len(words):
            end = ("torn", 2 * i)
            break
        code = words[i + 2]
        if LENGTHS.get(code) != length:
            end = ("malformed", 2 * i)
            break
        if i + length > len(words):
            end = ("torn", 2 * i)
            break
        args = words[i + 3:i + length]
        if code == 1 and args[0] == 1:
            if seen or meas["number"] > 0:
                out.append(meas)
            meas = {"number": meas["number"] + 1, "time_s": [], "a_mV": [], "b_mV": [],
                    "settings": [], "overflow": [], "not_armed": 0}
            elapsed, count = 0.0, 0
        seen = True
        if code in (2, 3):
            z = args[1]
            zero[code - 2] = z - 0x10000 if z >= 0x8000 else z
        elif code == 10:
            if rate:
                elapsed = now()
            count = 0
            rate = args[0] | args[1] << 16
        elif code in (11, 12):
            defl[code - 11] = args[0] | args[1] << 16
        meas["settings"].append((code, len(meas["time_s"])))
        i += length
    if end[0] == "end" and len(data) % 2:
        end = ("torn", len(data) - 1)
    if seen or meas["number"] > 0:
        out.append(meas)
    return out, end


def same(x, y):
    return (math.isnan(x) and math.isnan(y)) or x == y
