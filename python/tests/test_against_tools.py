"""The reader against the project's own tools: rmtool's CSV export of the same files,
and files made by rollmode-record. Each test runs when its tool is built (the
build's bin folder, ROLLMODE_BIN or ../build/bin) and is skipped otherwise."""

import csv
import os
import subprocess

import numpy as np
import pytest

import rollmode_rmd
from rmdfiles import reference, to_bytes, write
from test_reader import assert_matches, counting, rich_file, start

BIN = os.environ.get("ROLLMODE_BIN") or os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                                     "build", "bin")


def tool(name):
    path = os.path.join(BIN, name)
    if not os.access(path, os.X_OK):
        pytest.skip(f"{name} is not built in {BIN}")
    return path


def recorded(tmp_path, name, *args):
    """A demo recording made by rollmode-record."""
    path = str(tmp_path / name)
    done = subprocess.run([tool("rollmode-record"), "--demo", "--defaults", "-q", "--file", path, *args],
                          capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    return path


def rmtool_csv(path, out, *options):
    done = subprocess.run([tool("rmtool"), "export", "--format", "csv", *options, "-o", str(out), str(path)],
                          capture_output=True, text=True, timeout=120)
    return done, out


def parse_csv(path):
    with open(path, newline="") as f:
        rows = list(csv.reader(f))
    assert rows[0] == ["measurement", "time_s", "a_mV", "b_mV"]
    cols = list(zip(*rows[1:])) if len(rows) > 1 else [(), (), (), ()]

    def floats(col):
        return np.array([float(v) if v else np.nan for v in col])
    return np.array([int(v) for v in cols[0]], dtype=np.int64), floats(cols[1]), floats(cols[2]), floats(cols[3])


def assert_same_as_csv(measurements, csv_path):
    number, t, a, b = parse_csv(csv_path)
    ours_number = np.concatenate([np.full(len(m), m.number) for m in measurements] or [np.zeros(0, np.int64)])
    np.testing.assert_array_equal(number, ours_number)
    ours_t = np.concatenate([m.time_s for m in measurements])
    # Times exact to the nanosecond, millivolts to 0.001 mV (either way at a half).
    np.testing.assert_array_equal(np.isnan(t), np.isnan(ours_t))
    np.testing.assert_array_equal(np.round(t * 1e9), np.round(ours_t * 1e9))
    for col, key in ((a, "a_mV"), (b, "b_mV")):
        ours = np.concatenate([getattr(m, key) for m in measurements])
        np.testing.assert_array_equal(np.isnan(col), np.isnan(ours))
        np.testing.assert_allclose(col, ours, rtol=0, atol=0.0005 + 1e-9, equal_nan=True)


def test_the_reader_gives_rmtools_csv_values(tmp_path):
    files = {
        "rich.rmd": write(tmp_path / "rich.rmd", rich_file()),
        "counting.rmd": write(tmp_path / "counting.rmd", start(rate=2_500_000, zero=(-7, 300), mv_per_div=(10, 5000)) +
                              counting(200_000)),
    }
    for name, path in files.items():
        done, out = rmtool_csv(path, tmp_path / (name + ".csv"))
        assert done.returncode == 0, f"{name}: {done.stderr}"
        assert_same_as_csv(rollmode_rmd.load(path), out)
    # One measurement of several.
    done, out = rmtool_csv(files["rich.rmd"], tmp_path / "m2.csv", "--measurement", "2")
    assert done.returncode == 0, done.stderr
    assert_same_as_csv([rollmode_rmd.load(files["rich.rmd"])[2]], out)


def test_the_reader_gives_rmtools_csv_values_for_a_recording(tmp_path):
    path = recorded(tmp_path, "demo.rmd", "--rate", "250k", "--seconds", "0.4")
    done, out = rmtool_csv(path, tmp_path / "demo.csv")
    assert done.returncode == 0, done.stderr
    assert_same_as_csv(rollmode_rmd.load(path), out)


def test_the_reader_gives_rmtools_csv_values_before_a_torn_tail(tmp_path):
    data = to_bytes(rich_file())
    path = tmp_path / "torn.rmd"
    path.write_bytes(data[:-3])
    done, out = rmtool_csv(path, tmp_path / "torn.csv")
    if not out.exists():
        pytest.skip(f"rmtool exports no part of a torn file (status {done.returncode}: {done.stderr.strip()})")
    got = rollmode_rmd.load(path)
    assert got.torn_bytes > 0 and got.error is None
    assert_same_as_csv(got, out)


def test_recordings_of_the_recorder_read_as_item_by_item(tmp_path):
    # Two recordings into one file: two measurements, the rate changed between them.
    path = recorded(tmp_path, "two.rmd", "--rate", "100k", "--seconds", "0.3")
    recorded(tmp_path, "two.rmd", "--rate", "1M", "--seconds", "0.3")
    with open(path, "rb") as f:
        ref, end = reference(f.read())
    got = rollmode_rmd.load(path)
    assert end[0] == "end" and got.torn_bytes == 0
    assert_matches(got, ref)
    # Settings records the recorder sends before the first start, if any, make a measurement 0.
    if got[0].number == 0:
        assert len(got[0]) == 0 and got[0].settings
        got = got[1:]
    assert [m.number for m in got] == [1, 2]
    rates = [[c.value for c in m.settings if c.name == "rate_hz" and c.sample_index < len(m)][-1] for m in got]
    assert rates == [100_000, 1_000_000]
    for m in got:
        assert len(m) > 0 and np.all(np.diff(m.time_s) > 0)
