"""Reads the measurement record files of Corvo RollMode (.rmd) with numpy.

    import rollmode_rmd
    for m in rollmode_rmd.load("sdata.rmd"):
        print(m.number, len(m), m.time_s[-1], m.a_mV.max())

``load`` converts every measurement; ``open`` gives a RecordFile that streams the
file in chunks (``chunks()``, constant memory), scans its structure
(``measurements``) or converts one measurement (``read``).
"""

from ._decoder import RECORD_NAMES, SettingsChange
from ._reader import (Chunk, Measurement, MeasurementInfo, MeasurementList, RecordFile,
                      load, open)

__all__ = ["Chunk", "Measurement", "MeasurementInfo", "MeasurementList", "RecordFile",
           "SettingsChange", "RECORD_NAMES", "load", "open"]
