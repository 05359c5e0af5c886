"""Streaming decoder of the record file's word stream.

The stream is fed in arrays of 16-bit words of any size; settings records may be
split between two arrays. Settings records are found with one vectorised search for
zero words (a sample word is never 0); the runs of sample and marker words between
them are converted at once with numpy: codes to millivolts and instants to seconds,
a few whole-array operations per run.
"""

import math

import numpy as np

# Record codes and their lengths in words (marker, length, code and the arguments).
RECORD_LENGTHS = {1: 4, 2: 6, 3: 6, 4: 4, 5: 4, 6: 4, 7: 4, 8: 4, 9: 4, 10: 5, 11: 5, 12: 5}

RECORD_NAMES = {
    1: "measurement",
    2: "zero_a",
    3: "zero_b",
    4: "probe_a",
    5: "probe_b",
    6: "dc_a",
    7: "dc_b",
    8: "ground_a",
    9: "ground_b",
    10: "rate_hz",
    11: "mv_per_div_a",
    12: "mv_per_div_b",
}

CODES_PER_DIVISION = 32
OVERFLOW_MARK = 1
NOT_ARMED = 2

NAN = float("nan")


class SettingsChange:
    """One settings record: where it stands in its measurement and what it sets.

    ``value`` is the setting in its unit: 1/0 for the measurement record (start or
    stop), the zero code (signed) for the level records, the probe step, True for DC
    coupling or an active ground switch, samples per second, millivolts per division.
    ``args`` holds the record's raw argument words.
    """

    __slots__ = ("code", "name", "value", "args", "sample_index", "time_s", "offset")

    def __init__(self, code, value, args, sample_index, time_s, offset):
        self.code = code
        self.name = RECORD_NAMES[code]
        self.value = value
        self.args = args
        self.sample_index = sample_index
        self.time_s = time_s
        self.offset = offset

    def _key(self):
        return (self.code, self.value, self.args, self.sample_index, self.offset,
                None if math.isnan(self.time_s) else self.time_s)

    def __eq__(self, other):
        return isinstance(other, SettingsChange) and self._key() == other._key()

    def __repr__(self):
        return (f"SettingsChange({self.name}={self.value!r} at sample {self.sample_index}, "
                f"{self.time_s} s, byte {self.offset})")


class Piece:
    """Part of one measurement decoded from one array of words."""

    __slots__ = ("measurement", "first_sample", "time_s", "a_mV", "b_mV", "settings",
                 "overflow_marks", "not_armed", "offset", "opens")

    def __init__(self, measurement, first_sample, offset, opens=False):
        self.measurement = measurement
        self.opens = opens  # begins at the measurement's start record
        self.first_sample = first_sample
        self.offset = offset
        self.time_s = self.a_mV = self.b_mV = None
        self.settings = []
        self.overflow_marks = []  # arrays of sample indices, joined by the caller
        self.not_armed = 0


class State:
    """The settings in force and the counters at one point of the stream."""

    __slots__ = ("rate", "zero", "defl", "level", "probe", "dc", "ground", "started",
                 "measurement", "sample_index", "seg_start", "seg_instants")

    def __init__(self):
        self.rate = 0  # samples per second; 0 until a rate record
        self.zero = [None, None]  # zero code per channel, None until recorded
        self.defl = [None, None]  # millivolts per division, None until recorded
        self.level = [None, None]
        self.probe = [None, None]
        self.dc = [None, None]
        self.ground = [None, None]
        self.started = False
        self.measurement = 0
        self.sample_index = 0  # sample words of the measurement so far
        self.seg_start = 0.0  # seconds at the last rate change (measurement time)
        self.seg_instants = 0  # instants since the last rate change

    def copy(self):
        s = State()
        for name in State.__slots__:
            v = getattr(self, name)
            setattr(s, name, list(v) if isinstance(v, list) else v)
        return s

    def time_now(self):
        if self.rate == 0:
            return NAN
        return self.seg_start + self.seg_instants / self.rate


def _signed16(w):
    return w - 0x10000 if w & 0x8000 else w


class Decoder:
    """Feeds arrays of words, returns the pieces of measurements they hold.

    ``convert=False`` only counts (samples, marks, settings): the structure scan.
    """

    def __init__(self, state=None, convert=True, word_offset=0, targets=None):
        self.state = state.copy() if state is not None else State()
        self.convert = convert
        # measurement: (time_s, a_mV, b_mV) arrays sized by a structure scan. With them every
        # run is converted straight to its place there, and pieces only count their samples.
        self.targets = targets
        self.changed = False  # the file no longer fits the targets: the caller must not use them
        self.word_offset = word_offset  # of the next word fed
        # Runs of the measurement that end before this sample are counted, not converted.
        self.skip_to = 0
        self.pending = None  # words of a settings record cut by the array's end
        self.error = None
        self.error_offset = None
        self.torn_bytes = 0
        self.torn_offset = None
        self._ramp = np.zeros(0)
        self._scratch = np.zeros(0)  # the steps before a result's last one, kept in cache
        self.starts = {}  # measurement: state just before its start record
        self.durations = {}  # measurement: seconds at its end (NaN without a rate)

    # -- settings --------------------------------------------------------------

    def _millivolts(self, ch, codes, out, tmp):
        zero, defl = self.state.zero[ch], self.state.defl[ch]
        if zero is None or defl is None:
            out.fill(NAN)
            return
        # (code - zero) x deflection / 32: scaling by a power of two is exact, so one
        # product by deflection/32 rounds exactly as the product and the division do.
        np.subtract(codes, float(zero), out=tmp)
        np.multiply(tmp, defl / CODES_PER_DIVISION, out=out)

    def _apply(self, code, args, offset, pieces):
        s = self.state
        if code == 1 and args[0] != 0:
            # A measurement starts: everything from here belongs to the next number.
            self.starts[s.measurement + 1] = s.copy()
            self.durations[s.measurement] = s.time_now()
            s.measurement += 1
            s.sample_index = 0
            s.seg_start = 0.0
            s.seg_instants = 0
            pieces.append(Piece(s.measurement, 0, offset, opens=True))
        ch = 0 if code % 2 == 0 else 1
        if code == 1:
            value = 1 if args[0] != 0 else 0
            s.started = bool(value)
        elif code in (2, 3):
            value = _signed16(args[1])
            s.level[ch] = args[0]
            s.zero[ch] = value
        elif code in (4, 5):
            value = _signed16(args[0])
            s.probe[ch] = value
        elif code in (6, 7):
            value = args[0] != 0
            s.dc[ch] = value
        elif code in (8, 9):
            value = args[0] != 0
            s.ground[ch] = value
        elif code == 10:
            value = args[0] | (args[1] << 16)
            # The time up to here stays; the new rate counts from here.
            if s.rate != 0:
                s.seg_start = s.time_now()
            s.seg_instants = 0
            s.rate = value
        else:
            value = args[0] | (args[1] << 16)
            ch = code - 11
            s.defl[ch] = value
        pieces[-1].settings.append(
            SettingsChange(code, value, tuple(args), s.sample_index, s.time_now(), offset))

    def _parse_record(self, words, i):
        """Returns (length, None) for a whole record at words[i], (0, None) when the
        array ends inside it, or (0, message) for a malformed one."""
        n = len(words)
        if i + 1 >= n:
            return 0, None
        length = int(words[i + 1])
        if length < 4 or length > 6:
            return 0, f"settings record length {length} outside 4..6"
        if i + 2 >= n:
            return 0, None
        code = int(words[i + 2])
        expected = RECORD_LENGTHS.get(code)
        if expected is None:
            return 0, f"unknown settings record code {code}"
        if expected != length:
            return 0, f"settings record code {code} with length {length} instead of {expected}"
        if i + length > n:
            return 0, None
        return length, None

    def _record_at(self, words, i, offset, pieces):
        length, message = self._parse_record(words, i)
        if message is not None:
            self.error = message
            self.error_offset = offset
            return -1
        if length == 0:
            return 0
        rec = words[i:i + length].tolist()
        args = rec[3:] + [0] * (6 - length)
        self._apply(rec[2], args[:3], offset, pieces)
        return length

    # -- runs of samples and markers -------------------------------------------

    def _ramp_to(self, n):
        if len(self._ramp) < n:
            self._ramp = np.arange(max(n, 2 * len(self._ramp)), dtype=np.float64)
        return self._ramp[:n]

    def _scratch_to(self, n):
        if len(self._scratch) < n:
            self._scratch = np.empty(max(n, 2 * len(self._scratch)))
        return self._scratch[:n]

    def _run(self, run, piece, out, o):
        """Converts one run of sample and marker words into out[...][o:]; returns the
        number of samples written, -1 when they do not fit there."""
        s = self.state
        n = len(run)
        convert = self.convert
        if int(run.min()) > NOT_ARMED:
            samples = run
            m = n
            instants = None
            advanced = n
        else:
            is1 = run == OVERFLOW_MARK
            is_sample = run > NOT_ARMED
            samples = run[is_sample]
            m = len(samples)
            ov = np.flatnonzero(is1)
            if len(ov):
                # A mark stands after the samples before it: its index is their count.
                piece.overflow_marks.append(s.sample_index + np.cumsum(is_sample)[ov])
            piece.not_armed += n - m - len(ov)
            advanced = n - len(ov)
            instants = None
            if convert and s.sample_index + m <= self.skip_to:
                convert = False
            if convert and m:
                instants = np.cumsum(~is1)[is_sample] - 1
        if convert and s.sample_index + m <= self.skip_to:
            convert = False
        if convert and m:
            if out is None or o + m > len(out[0]):
                return -1
            # Each result is written once, by its last step; the steps before it work in
            # the scratch array, which stays in the processor's cache.
            t = out[0][o:o + m]
            tmp = self._scratch_to(m)
            if s.rate == 0:
                t.fill(NAN)
            else:
                if instants is None:
                    np.add(self._ramp_to(m), s.seg_instants, out=tmp)
                else:
                    np.add(instants, s.seg_instants, out=tmp, casting="unsafe")
                if s.seg_start:
                    np.divide(tmp, s.rate, out=tmp)
                    np.add(tmp, s.seg_start, out=t)
                else:
                    np.divide(tmp, s.rate, out=t)
            # Channel A is the low byte, B the high one: strided views of the little-endian
            # words, no masked copies.
            codes = samples.view(np.uint8)
            self._millivolts(0, codes[0::2], out[1][o:o + m], tmp)
            self._millivolts(1, codes[1::2], out[2][o:o + m], tmp)
        s.seg_instants += advanced
        s.sample_index += m
        if self.convert and not convert:
            # Skipped: nothing of this piece is written yet, so it starts after the run.
            piece.first_sample = s.sample_index
            return 0
        return m

    # -- feeding ---------------------------------------------------------------

    def feed(self, words):
        """Decodes an array of words (uint16); returns the measurement pieces it held."""
        s = self.state
        n = len(words)
        base = self.word_offset
        self.word_offset += n
        pieces = [Piece(s.measurement, s.sample_index, base * 2)]
        if self.error is not None or self.changed or n == 0:
            return []
        out = None
        if self.convert and self.targets is None:
            out = (np.empty(n), np.empty(n), np.empty(n))
        o = 0  # samples of this array's pieces
        piece_o = 0
        pos = 0
        if self.pending is not None:
            joined = np.concatenate((self.pending, words[:6]))
            start = base - len(self.pending)
            used = self._record_at(joined, 0, start * 2, pieces)
            if len(pieces) > 1:
                self._close_piece(pieces[-2], out, 0, 0)
            if used < 0:
                return self._finish_pieces(pieces, out, piece_o, o)
            if used == 0:  # still cut off: this array was shorter than the rest of it
                self.pending = joined
                return self._finish_pieces(pieces, out, piece_o, o)
            pos = used - len(self.pending)
            self.pending = None
        zeros = np.flatnonzero(words[pos:] == 0)
        zeros += pos
        zi = 0
        nz = len(zeros)
        while pos < n:
            while zi < nz and zeros[zi] < pos:
                zi += 1
            z = int(zeros[zi]) if zi < nz else n
            if z > pos:
                if self.targets is None:
                    written = self._run(words[pos:z], pieces[-1], out, o)
                else:
                    written = self._run(words[pos:z], pieces[-1],
                                        self.targets.get(s.measurement), s.sample_index)
                if written < 0:
                    self.changed = True
                    break
                o += written
                pos = z
            if z >= n:
                break
            before = len(pieces)
            used = self._record_at(words, z, (base + z) * 2, pieces)
            if used < 0:
                break
            if used == 0:
                self.pending = words[z:].copy()
                break
            if len(pieces) > before:
                # A measurement started: the piece before it ends here.
                self._close_piece(pieces[-2], out, piece_o, o)
                piece_o = o
            pos = z + used
        return self._finish_pieces(pieces, out, piece_o, o)

    def _close_piece(self, piece, out, start, end):
        if self.convert and self.targets is None:
            piece.time_s = out[0][start:end]
            piece.a_mV = out[1][start:end]
            piece.b_mV = out[2][start:end]
        else:
            piece.time_s = end - start  # the count only

    def _finish_pieces(self, pieces, out, start, end):
        self._close_piece(pieces[-1], out, start, end)
        return pieces

    def finish(self, odd_byte):
        """The end of the file: a record cut off, or an odd last byte, is a torn tail."""
        if self.error is not None:
            return
        torn_words = len(self.pending) if self.pending is not None else 0
        if torn_words or odd_byte:
            self.torn_offset = (self.word_offset - torn_words) * 2
            self.torn_bytes = torn_words * 2 + (1 if odd_byte else 0)
        self.pending = None
        self.durations[self.state.measurement] = self.state.time_now()
