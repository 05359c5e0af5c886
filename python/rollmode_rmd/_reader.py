"""Record files: opening, chunked iteration, whole measurements."""

import builtins
import os
import warnings

import numpy as np

from ._decoder import Decoder

# Words read per chunk by default: 512 KiB of file, some 6 MiB of arrays, which stay in the
# processor's cache (twice as many run at half the speed).
DEFAULT_CHUNK_WORDS = 1 << 18


class Measurement:
    """One measurement: a start record (value 1) up to the next one; number 0 holds
    what comes before the first start.

    ``time_s``, ``a_mV`` and ``b_mV`` have one element per sample word. Time counts
    from the measurement's start: every sample word and every not-armed instant
    advances it by 1/rate of the rate in force, an overflow mark does not. Millivolts
    are (code - zero code) x deflection / 32 with the settings in force; NaN before
    the channel's zero code and deflection are known, and so is time before a rate.
    ``overflow_marks`` holds, for every mark, the index of the sample after it.
    """

    def __init__(self, number, offset, time_s, a_mV, b_mV, settings, overflow_marks, not_armed):
        self.number = number
        self.offset = offset
        self.time_s = time_s
        self.a_mV = a_mV
        self.b_mV = b_mV
        self.settings = settings
        self.overflow_marks = overflow_marks
        self.not_armed = not_armed

    def __len__(self):
        return len(self.time_s)

    def __repr__(self):
        return (f"Measurement({self.number}: {len(self)} samples, {len(self.settings)} settings "
                f"changes, {len(self.overflow_marks)} overflow marks, {self.not_armed} not armed)")


class MeasurementInfo:
    """What a structure scan knows of a measurement, without its samples."""

    def __init__(self, number, offset, state):
        self.number = number
        self.offset = offset  # byte offset of its start record (0 for measurement 0)
        self.end_offset = offset
        self.samples = 0
        self.overflow_marks = 0
        self.not_armed = 0
        self.settings = []
        self.duration_s = float("nan")
        self._state = state  # the decoder state just before the start record

    def __repr__(self):
        return (f"MeasurementInfo({self.number}: {self.samples} samples, "
                f"{self.duration_s} s, bytes {self.offset}..{self.end_offset})")


class Chunk:
    """A part of one measurement read in one step of RecordFile.chunks()."""

    __slots__ = ("measurement", "first_sample", "time_s", "a_mV", "b_mV", "settings",
                 "overflow_marks", "not_armed", "offset")

    def __init__(self, piece):
        self.measurement = piece.measurement
        self.offset = piece.offset  # of the start record when first_sample is 0 and it opens one
        self.first_sample = piece.first_sample
        self.time_s = piece.time_s
        self.a_mV = piece.a_mV
        self.b_mV = piece.b_mV
        self.settings = piece.settings
        self.overflow_marks = (np.concatenate(piece.overflow_marks) if piece.overflow_marks
                               else np.zeros(0, dtype=np.int64))
        self.not_armed = piece.not_armed

    def __len__(self):
        return len(self.time_s)


def _has_content(piece):
    n = piece.time_s if isinstance(piece.time_s, int) else len(piece.time_s)
    return n > 0 or piece.settings or piece.overflow_marks or piece.not_armed


class RecordFile:
    """An open record file. Reads only what is asked: ``chunks()`` streams the file,
    ``measurements`` scans its structure once (counting, no conversion) and
    ``read(n)`` converts one measurement, from its own offset.

    Damage is reported, not raised: after a pass to the end of the file,
    ``torn_bytes`` counts the bytes of an item cut off by the end (a crash's cut,
    at ``torn_offset``), and ``error`` names a malformed item at ``error_offset``;
    reading stops there and keeps what came before.
    """

    def __init__(self, path):
        self.path = os.fspath(path)
        self._file = builtins.open(self.path, "rb")
        self._infos = None
        self.torn_bytes = 0
        self.torn_offset = None
        self.error = None
        self.error_offset = None

    def close(self):
        self._file.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    @property
    def size(self):
        return os.fstat(self._file.fileno()).st_size

    # -- streaming ---------------------------------------------------------------

    def _words(self, offset, chunk_words, end=None):
        """Yields arrays of words from byte `offset` (even) up to `end` or the file's
        end, reusing one buffer; the last item is the odd trailing byte flag."""
        buf = np.empty(chunk_words, dtype="<u2")
        raw = memoryview(buf).cast("B")
        self._file.seek(offset)
        pos = offset
        while True:
            want = len(raw) if end is None else min(len(raw), end - pos)
            got = 0
            while got < want:
                n = self._file.readinto(raw[got:want])
                if not n:
                    break
                got += n
            pos += got
            if got // 2:
                yield buf[:got // 2]
            if got % 2:
                yield True
                return
            if got < want or (end is not None and pos >= end):
                yield False
                return

    def _decode(self, decoder, offset, chunk_words, end=None):
        for words in self._words(offset, chunk_words, end):
            if isinstance(words, bool):
                if end is None:
                    decoder.finish(words)
                    self._report(decoder)
                return
            for piece in decoder.feed(words):
                yield piece
            if decoder.error is not None:
                self._report(decoder)
                return

    def _report(self, decoder):
        if decoder.error is not None and self.error is None:
            self.error = decoder.error
            self.error_offset = decoder.error_offset
            warnings.warn(f"{self.path}: {decoder.error} at byte {decoder.error_offset}; "
                          "the file is read up to there", RuntimeWarning, stacklevel=4)
        if decoder.torn_bytes:
            self.torn_bytes = decoder.torn_bytes
            self.torn_offset = decoder.torn_offset

    def chunks(self, chunk_words=DEFAULT_CHUNK_WORDS):
        """Iterates over the whole file in constant memory: each Chunk is part of one
        measurement, converted from at most `chunk_words` words of the file."""
        if chunk_words < 1:
            raise ValueError("chunk_words must be positive")
        for piece in self._decode(Decoder(), 0, chunk_words):
            if _has_content(piece) or piece.opens:
                yield Chunk(piece)

    # -- structure -------------------------------------------------------------

    @property
    def measurements(self):
        """The measurements' structure (MeasurementInfo), from one counting pass."""
        if self._infos is None:
            decoder = Decoder(convert=False)
            infos = {}
            for piece in self._decode(decoder, 0, DEFAULT_CHUNK_WORDS):
                info = infos.get(piece.measurement)
                if info is None:
                    if not piece.opens and not _has_content(piece):
                        continue
                    info = infos[piece.measurement] = MeasurementInfo(
                        piece.measurement, piece.offset if piece.measurement else 0,
                        decoder.starts.get(piece.measurement))
                info.samples += piece.time_s
                info.overflow_marks += sum(len(a) for a in piece.overflow_marks)
                info.not_armed += piece.not_armed
                info.settings.extend(piece.settings)
            ordered = [infos[k] for k in sorted(infos)]
            for i, info in enumerate(ordered):
                info.end_offset = ordered[i + 1].offset if i + 1 < len(ordered) else \
                    (self.error_offset if self.error is not None else
                     self.torn_offset if self.torn_bytes else self.size)
                info.duration_s = decoder.durations.get(info.number, float("nan"))
            self._infos = ordered
        return self._infos

    # -- whole measurements ----------------------------------------------------

    def read(self, measurement, start=0, stop=None, chunk_words=DEFAULT_CHUNK_WORDS):
        """Samples [start, stop) of one measurement, converted. Reads the file from
        the measurement's start record up to the sample `stop` (or its end); the runs
        of samples before `start` are only counted."""
        infos = self.measurements
        info = next((i for i in infos if i.number == measurement), None)
        if info is None:
            raise KeyError(f"no measurement {measurement} in {self.path}")
        stop = info.samples if stop is None else min(stop, info.samples)
        start = max(0, min(start, stop))
        decoder = Decoder(state=info._state, word_offset=info.offset // 2)
        decoder.skip_to = start
        if info.number:
            decoder.state.measurement = info.number - 1
        parts = []
        settings = []
        marks = []
        not_armed = 0
        whole = start == 0 and stop == info.samples
        for piece in self._decode(decoder, info.offset, chunk_words, info.end_offset):
            if piece.measurement != info.number:
                continue
            n = len(piece.time_s)
            lo, hi = piece.first_sample, piece.first_sample + n
            settings.extend(c for c in piece.settings if whole or start <= c.sample_index < stop)
            for a in piece.overflow_marks:
                marks.append(a[(a >= start) & (a < stop)])
            not_armed += piece.not_armed
            if hi > start and lo < stop:
                a, b = max(start, lo) - lo, min(stop, hi) - lo
                parts.append((piece.time_s[a:b], piece.a_mV[a:b], piece.b_mV[a:b]))
            if not whole and hi >= stop:
                break
        return _join(info.number, info.offset, parts, settings, marks, not_armed)


def _join(number, offset, parts, settings, marks, not_armed):
    def cat(i):
        if len(parts) == 1:
            return parts[0][i].copy()
        return np.concatenate([p[i] for p in parts]) if parts else np.zeros(0)
    return Measurement(number, offset, cat(0), cat(1), cat(2), settings,
                       np.concatenate(marks) if marks else np.zeros(0, dtype=np.int64), not_armed)


def _advise_huge_pages(on):
    """Sets whether numpy advises the kernel to back large arrays with huge pages; returns
    the previous setting (None where numpy has no such switch).

    The result arrays go without: on a machine whose memory is full of page cache (a
    machine that records for hours), the kernel compacts memory to find each huge page,
    and the first gigabytes a process asks for cost several times the conversion itself.
    """
    try:
        from numpy._core import multiarray
    except ImportError:
        from numpy.core import multiarray
    switch = getattr(multiarray, "_set_madvise_hugepage", None)
    if switch is None or on is None:
        return None
    return switch(on)


def open(path):  # noqa: A001 - the module's reader, as io.open is
    """Opens a record file (a RecordFile; use it as a context manager)."""
    return RecordFile(path)


def load(path, chunk_words=DEFAULT_CHUNK_WORDS):
    """Every measurement of a record file, converted (a list of Measurement).

    A torn tail or a malformed item ends the reading; what came before is returned,
    and the returned list's attributes ``torn_bytes``, ``torn_offset``, ``error`` and
    ``error_offset`` say what was found.
    """
    with RecordFile(path) as f:
        # The counting pass sizes every array; the converting pass then writes each sample
        # once, straight to its place: no chunk arrays, no copies, no joining.
        infos = f.measurements
        huge = _advise_huge_pages(False)
        try:
            targets = {i.number: (np.empty(i.samples), np.empty(i.samples), np.empty(i.samples))
                       for i in infos}
        finally:
            _advise_huge_pages(huge)
        marks = {i.number: [] for i in infos}
        expected = {i.number: i.samples for i in infos}
        counted = dict.fromkeys(expected, 0)
        end = infos[-1].end_offset if infos else 0
        decoder = Decoder(targets=targets)
        for piece in f._decode(decoder, 0, chunk_words, end):
            counted[piece.measurement] = counted.get(piece.measurement, 0) + piece.time_s
            marks.setdefault(piece.measurement, []).extend(piece.overflow_marks)
        counted = {k: v for k, v in counted.items() if v or k in expected}
        if decoder.changed or decoder.error is not None or counted != expected:
            raise RuntimeError(f"{f.path}: the file changed while it was read")
        result = MeasurementList(
            Measurement(i.number, i.offset, *targets[i.number], list(i.settings),
                        np.concatenate(marks[i.number]) if marks[i.number]
                        else np.zeros(0, dtype=np.int64), i.not_armed)
            for i in infos)
        result.torn_bytes, result.torn_offset = f.torn_bytes, f.torn_offset
        result.error, result.error_offset = f.error, f.error_offset
    return result


class MeasurementList(list):
    """The measurements of a file, with what was found wrong at its end."""

    torn_bytes = 0
    torn_offset = None
    error = None
    error_offset = None
