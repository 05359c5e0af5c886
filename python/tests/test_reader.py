"""The reader against an independent item-by-item reading of files written here."""

import random
import warnings

import numpy as np
import pytest

import rollmode_rmd
from rmdfiles import record, reference, sample, start, to_bytes, write


def counting(n, first=0):
    """The simulator's counting pattern: A steps through 1..255, B once per round of A."""
    return [sample(1 + (i % 255), 1 + (i // 255) % 255) for i in range(first, first + n)]


def rich_file():
    """Samples before any record, two measurements, changes of rate, zero and
    deflection in the middle, both markers, a stop record and settings between
    measurements."""
    words = counting(5)
    words += record(10, 1000)  # measurement 0 gets a rate, but no zero or deflection
    words += counting(7, 5)
    words += start(rate=250_000, zero=(120, -5), mv_per_div=(50, 20000))
    words += counting(3000, 12)
    words += [2, 2, 2] + counting(10) + [1] + counting(10) + [1, 1, 2]
    words += record(10, 5_000_000) + counting(500)
    words += record(2, 2000, 200, 0) + record(12, 10) + counting(300)
    words += record(1, 0) + record(11, 5)  # stopped; a change while no measurement runs
    words += start(rate=50, zero=(-32768, 32767), mv_per_div=(5_000_000, 10))
    words += counting(40) + [2] * 7 + counting(3)
    return words


def random_file(seed):
    rng = random.Random(seed)
    words = []
    for _ in range(rng.randint(1, 30)):
        choice = rng.random()
        if choice < 0.15:
            words += start(rate=rng.choice([50, 2500, 1_000_000]), zero=(rng.randint(-200, 300), rng.randint(0, 255)),
                           mv_per_div=(rng.choice([10, 200, 50000]), rng.choice([20, 1000])))
        elif choice < 0.3:
            code = rng.randint(1, 12)
            if code in (2, 3):
                words += record(code, rng.randint(0, 4095), rng.randint(0, 65535), 0)
            elif code in (10, 11, 12):
                words += record(code, rng.choice([50, 100, 5_000_000, 70000]))
            else:
                words += record(code, rng.randint(0, 1))
        elif choice < 0.4:
            words += [rng.choice([1, 2]) for _ in range(rng.randint(1, 5))]
        else:
            words += [rng.randint(3, 65535) for _ in range(rng.randint(1, 2000))]
    return words


def assert_matches(measurements, ref):
    assert [m.number for m in measurements] == [r["number"] for r in ref]
    for m, r in zip(measurements, ref):
        for key in ("time_s", "a_mV", "b_mV"):
            np.testing.assert_array_equal(getattr(m, key), np.array(r[key], dtype=float),
                                          err_msg=f"measurement {m.number} {key}")
        assert [(c.code, c.sample_index) for c in m.settings] == r["settings"]
        assert m.overflow_marks.tolist() == r["overflow"]
        assert m.not_armed == r["not_armed"]


@pytest.mark.parametrize("seed", [None] + list(range(12)))
def test_load_agrees_with_an_item_by_item_reading(tmp_path, seed):
    words = rich_file() if seed is None else random_file(seed)
    path = write(tmp_path / "f.rmd", words)
    ref, end = reference(to_bytes(words))
    got = rollmode_rmd.load(path)
    assert_matches(got, ref)
    assert end[0] == "end" and got.torn_bytes == 0 and got.error is None


def test_meaning_of_time_and_millivolts(tmp_path):
    """Spot values worked out by hand, so the reference itself is checked."""
    words = (start(rate=1000, zero=(128, -2), mv_per_div=(100, 3)) + [sample(160, 2), 1, sample(96, 0x10), 2, 2] +
             record(10, 500) + [sample(128, 1)])
    m = rollmode_rmd.load(write(tmp_path / "f.rmd", words))[0]
    # The mark takes no time, not-armed instants do; the rate change keeps the time so far.
    np.testing.assert_array_equal(m.time_s, [0.0, 0.001, 0.004])
    np.testing.assert_array_equal(m.a_mV, [(160 - 128) * 100 / 32, (96 - 128) * 100 / 32, 0.0])
    np.testing.assert_array_equal(m.b_mV, [(2 + 2) * 3 / 32, (16 + 2) * 3 / 32, 3 * 3 / 32])
    assert m.overflow_marks.tolist() == [1] and m.not_armed == 2
    rate = [c for c in m.settings if c.name == "rate_hz"]
    assert [(c.value, c.sample_index, c.time_s) for c in rate] == [(1000, 0, 0.0), (500, 2, 0.004)]
    zero_b = next(c for c in m.settings if c.name == "zero_b")
    assert zero_b.value == -2 and zero_b.offset == 8 + 12


def test_nan_until_the_records_a_value_needs(tmp_path):
    words = counting(2) + record(2, 0, 100, 0) + counting(1) + record(11, 32) + counting(1) + record(10, 100) + \
        counting(1)
    (m,) = rollmode_rmd.load(write(tmp_path / "f.rmd", words))
    assert m.number == 0
    assert np.isnan(m.a_mV[:3]).all() and m.a_mV[3] == 1 - 100
    assert np.isnan(m.b_mV).all()
    assert np.isnan(m.time_s[:4]).all() and m.time_s[4] == 0.0


@pytest.mark.parametrize("chunk_words", [1, 2, 3, 5, 7, 511, 512, 513, 1023, 1024, 1025])
def test_chunks_of_any_size_add_up_to_the_whole(tmp_path, chunk_words):
    words = rich_file() + random_file(99)
    path = write(tmp_path / "f.rmd", words)
    whole = rollmode_rmd.load(path)
    with rollmode_rmd.open(path) as f:
        chunks = list(f.chunks(chunk_words))
    assert all(len(c) <= chunk_words for c in chunks)
    # load() converts into its own arrays, with records cut between the arrays read.
    for m, small in zip(whole, rollmode_rmd.load(path, chunk_words), strict=True):
        for key in ("time_s", "a_mV", "b_mV", "overflow_marks"):
            np.testing.assert_array_equal(getattr(small, key), getattr(m, key))
    for m in whole:
        parts = [c for c in chunks if c.measurement == m.number]
        assert [c.first_sample for c in parts] == list(np.cumsum([0] + [len(c) for c in parts[:-1]]))
        for key in ("time_s", "a_mV", "b_mV"):
            np.testing.assert_array_equal(np.concatenate([getattr(c, key) for c in parts]), getattr(m, key))
        assert [s for c in parts for s in c.settings] == m.settings
        assert np.concatenate([c.overflow_marks for c in parts]).tolist() == m.overflow_marks.tolist()
        assert sum(c.not_armed for c in parts) == m.not_armed


def test_a_torn_tail_is_reported_not_raised(tmp_path):
    words = start() + counting(100) + record(11, 70000)
    data = to_bytes(words)
    whole = rollmode_rmd.load(write(tmp_path / "w.rmd", words))
    # Cut inside the last record and inside a word: everything before it is kept.
    for cut in range(len(data) - 9, len(data)):
        path = tmp_path / f"cut{cut}.rmd"
        path.write_bytes(data[:cut])
        with warnings.catch_warnings():
            warnings.simplefilter("error")  # a crash's cut is no warning
            got = rollmode_rmd.load(path)
        assert got.torn_offset == len(data) - 10 and got.torn_bytes == cut - (len(data) - 10), cut
        assert got.error is None
        np.testing.assert_array_equal(got[0].a_mV, whole[0].a_mV)
        assert got[0].settings == whole[0].settings[:-1]
    # An odd last byte after whole items.
    path = tmp_path / "odd.rmd"
    path.write_bytes(data + b"\x07")
    got = rollmode_rmd.load(path)
    assert (got.torn_offset, got.torn_bytes) == (len(data), 1)
    assert got[0].settings == whole[0].settings


@pytest.mark.parametrize("bad, message", [([0, 7, 1, 1], "length 7"), ([0, 4, 13, 0], "unknown settings record code 13"),
                                          ([0, 5, 1, 1, 0], "code 1 with length 5")])
def test_a_malformed_item_ends_the_reading_where_it_stands(tmp_path, bad, message):
    words = start() + counting(50) + bad + counting(50)
    path = write(tmp_path / "bad.rmd", words)
    with pytest.warns(RuntimeWarning, match=message):
        got = rollmode_rmd.load(path)
    assert message in got.error and got.error_offset == 2 * (len(start()) + 50)
    assert len(got[0]) == 50


def test_open_scans_the_structure_and_reads_only_what_is_asked(tmp_path):
    words = rich_file()
    path = write(tmp_path / "f.rmd", words)
    whole = rollmode_rmd.load(path)
    with rollmode_rmd.open(path) as f:
        infos = f.measurements
        assert [i.number for i in infos] == [0, 1, 2]
        assert [i.samples for i in infos] == [len(m) for m in whole]
        assert [i.overflow_marks for i in infos] == [len(m.overflow_marks) for m in whole]
        assert infos[1].offset == 2 * (5 + 5 + 7) and infos[1].end_offset == infos[2].offset
        assert infos[2].end_offset == f.size
        # Measurement 2: 43 samples and 7 not-armed instants at 50 per second.
        assert infos[2].duration_s == pytest.approx(50 / 50)
        # Measurement 1 has runs of 3020, 500 and 300 samples between its records.
        for number, lo, hi in [(1, 0, None), (1, 2999, 3013), (1, 3010, 10**9), (1, 3500, 3600), (1, 3530, 3820),
                               (2, 5, 6), (0, 0, 3)]:
            part = f.read(number, lo, hi, chunk_words=97 if lo % 2 else 4096)
            ref = whole[number]
            for key in ("time_s", "a_mV", "b_mV"):
                np.testing.assert_array_equal(getattr(part, key), getattr(ref, key)[lo:hi])
        assert f.read(1).settings == whole[1].settings
        with pytest.raises(KeyError):
            f.read(3)


@pytest.mark.parametrize("changed", [
    counting(3000) + start() + counting(100),  # cut shorter
    counting(100) + start() + counting(200) + counting(2000),  # a measurement grew
    start() + counting(4000),  # measurement 0 vanished
])
def test_a_file_changed_between_scan_and_conversion_raises(tmp_path, monkeypatch, changed):
    """The arrays are sized by the scan: a file that no longer matches it must not come
    back with samples never written."""
    path = write(tmp_path / "f.rmd", counting(3000) + start() + counting(1000))
    scan = rollmode_rmd.RecordFile.measurements.fget

    def scan_then_rewrite(f):
        infos = scan(f)
        path.write_bytes(to_bytes(changed))  # the same file, truncated and rewritten
        return infos

    monkeypatch.setattr(rollmode_rmd.RecordFile, "measurements", property(scan_then_rewrite))
    with pytest.raises(RuntimeError, match="changed"):
        rollmode_rmd.load(path)


def test_load_leaves_numpys_huge_page_advice_as_it_was(tmp_path):
    from rollmode_rmd._reader import _advise_huge_pages
    path = write(tmp_path / "f.rmd", counting(10))
    for setting in (True, False):
        _advise_huge_pages(setting)
        rollmode_rmd.load(path)
        assert _advise_huge_pages(True) in (setting, None)
