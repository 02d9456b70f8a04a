#!/usr/bin/env python3
"""PKLot labels as parking rows: the fit on the shipped label file and on drawn
layouts, the SQL it writes, and the label errors it names."""
import glob
import os
import sqlite3
import sys
import tempfile
import time
import unittest

SRC = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(SRC, "tools", "pklot"))
import causes  # noqa: E402
import pklot  # noqa: E402

FRAME = (1280, 720)


def rect(x, y, w, h, start=0):
    pts = [(x, y), (x + w, y), (x + w, y + h), (x, y + h)]
    return pts[start:] + pts[:start]


def fitted(rows, quads):
    """{label id: (configured quad, its overlap with the label)}."""
    return {sid: (q, pklot.iou(q, quads[sid])) for row in rows for sid, q in pklot.configured_quads(row)}


class ShippedLabels(unittest.TestCase):
    def setUp(self):
        path = sorted(glob.glob(os.path.join(SRC, "data", "pklot-sample", "bounding_boxes", "*.xml")))[0]
        self.spaces = pklot.read_labels(path)
        self.quads = {sid: pklot.to_grid(q, FRAME) for sid, (_, q) in self.spaces.items()}
        self.rows, self.report = pklot.fit_rows(self.spaces, FRAME)

    def test_every_space_mapped_once_to_the_label_it_covers_best(self):
        mapping = pklot.space_map(self.rows)
        self.assertEqual(sorted(mapping.values()), sorted(self.spaces))
        self.assertLessEqual(len(self.rows), pklot.MAX_REGIONS)
        for sid, (quad, own) in fitted(self.rows, self.quads).items():
            self.assertGreater(abs(pklot.area(quad)), 0, sid)
            others = max(pklot.iou(quad, q) for k, q in self.quads.items() if k != sid)
            self.assertGreater(own, others, f"space {sid} covers another label better")
            self.assertGreater(own, 0.45, sid)

    def test_report_names_the_spaces_under_the_bound_and_lone_spaces_fit_well(self):
        fit = fitted(self.rows, self.quads)
        self.assertEqual([sid for sid, _ in self.report],
                         sorted(sid for sid, (_, v) in fit.items() if v < pklot.MIN_IOU))
        lone = [row["ids"][0] for row in self.rows if len(row["ids"]) == 1]
        for sid in lone:
            self.assertGreaterEqual(fit[sid][1], pklot.MIN_IOU, sid)


class DrawnLayouts(unittest.TestCase):
    def test_a_row_of_touching_spaces_shares_its_dividers_exactly(self):
        # Three spaces side by side, corners listed from different starts; a lone one
        # far off. In grid coordinates each space is 20 x 30.
        spaces = {7: (True, rect(400, 300, 80, 90, 0)), 3: (False, rect(480, 300, 80, 90, 2)),
                  5: (False, rect(560, 300, 80, 90, 1)), 9: (True, rect(40, 42, 80, 90, 3))}
        rows, report = pklot.fit_rows(spaces, FRAME)
        self.assertEqual(report, [])
        self.assertEqual(sorted(len(r["ids"]) for r in rows), [1, 3])
        row = next(r for r in rows if len(r["ids"]) == 3)
        self.assertIn(row["ids"], ([7, 3, 5], [5, 3, 7]))
        # The lone space's row numbers on after all three of the first row.
        self.assertEqual(sorted(pklot.space_map(rows)), [(0, 0), (0, 1), (0, 2), (1, 3)])
        xs = sorted({d[0] for d in row["dividers"]} | {d[2] for d in row["dividers"]})
        self.assertEqual(xs, [100, 120, 140, 160])
        quads = {sid: pklot.to_grid(q, FRAME) for sid, (_, q) in spaces.items()}
        for sid, (_, v) in fitted(rows, quads).items():
            self.assertGreater(v, 0.99, sid)

    def test_sql_loads_into_the_store_schema(self):
        spaces = {k: (False, rect(100 * k, 300, 100, 90)) for k in range(1, 6)}
        rows, _ = pklot.fit_rows(spaces, FRAME)
        db = sqlite3.connect(":memory:")
        with open(os.path.join(SRC, "platform", "sim", "qzdb", "seed", "qzdb.sql")) as f:
            db.executescript(f.read())
        with tempfile.TemporaryFile("w+") as f:
            pklot.write_sql(rows, f)
            f.seek(0)
            db.executescript(f.read())
        self.assertEqual(db.execute("SELECT region, first_number, direction FROM parking_region").fetchall(),
                         [(0, 0, 0)])
        self.assertEqual(db.execute("SELECT COUNT(*) FROM parking_divider WHERE region = 0").fetchone(), (6,))
        self.assertEqual(pklot.space_map(rows), {(0, k): k + 1 for k in range(5)})

    def test_a_camera_takes_each_space_from_the_first_file_that_labels_it(self):
        with tempfile.TemporaryDirectory() as d:
            for name, flag in (("a.xml", 1), ("b.xml", 0)):
                with open(os.path.join(d, name), "w") as f:
                    f.write(f'<parking><space id="2" occupied="{flag}"><contour><point x="1" y="1" />'
                            '<point x="9" y="1" /><point x="9" y="9" /><point x="1" y="9" /></contour></space></parking>')
            self.assertTrue(pklot.read_camera([os.path.join(d, "a.xml"), os.path.join(d, "b.xml")])[2][0])

    def test_label_errors_and_limits(self):
        with tempfile.NamedTemporaryFile("w", suffix=".xml") as f:
            f.write('<parking id="x"><space id="1" occupied="1"><contour><point x="1" y="2" />'
                    '<point x="3" y="4" /><point x="5" y="1" /></contour></space></parking>')
            f.flush()
            with self.assertRaisesRegex(pklot.LabelError, "space 1: contour has 3 points"):
                pklot.read_labels(f.name)
        for bad in ("nan", "inf", "-1e400", "2e6"):
            with tempfile.NamedTemporaryFile("w", suffix=".xml") as f:
                f.write(f'<parking><space id="4"><contour><point x="1" y="2" /><point x="3" y="{bad}" />'
                        '<point x="5" y="1" /><point x="5" y="5" /></contour></space></parking>')
                f.flush()
                with self.assertRaisesRegex(pklot.LabelError, "space 4: a contour point is not a finite"):
                    pklot.read_labels(f.name)
        lone = {k: (False, rect(60 * (k % 20), 200 * (k // 20), 20, 20)) for k in range(21)}
        with self.assertRaisesRegex(pklot.LabelError, "21 rows of 21 spaces"):
            pklot.fit_rows(lone, FRAME)
        # 800 spaces are refused before the neighbour search, which pairs every two.
        many = {k: (False, rect(30 * (k % 40), 30 * (k // 40), 20, 20)) for k in range(800)}
        started = time.monotonic()
        with self.assertRaisesRegex(pklot.LabelError, "800 labelled spaces: the service takes at most 100"):
            pklot.fit_rows(many, FRAME)
        self.assertLess(time.monotonic() - started, 1.0)


class WrongSpaceCauses(unittest.TestCase):
    """The cause of a wrong space on a drawn 20 x 30 space (grid coordinates)."""
    LABEL = rect(100, 100, 20, 30)
    FITTED = rect(100, 100, 20, 30)
    SHIFTED = rect(108, 100, 20, 30)   # overlaps the label by 12/28: a poor fit

    def test_each_cause(self):
        car = (101, 102, 119, 128)             # covers most of the label
        corner = (100, 100, 110, 108)          # 80 of 600: under 30%
        self.assertEqual(causes.cause(True, self.LABEL, self.FITTED, [corner]), "missed")
        self.assertEqual(causes.cause(True, self.LABEL, self.FITTED, []), "missed")
        self.assertEqual(causes.cause(True, self.LABEL, self.FITTED, [corner, car]), "elsewhere")
        self.assertEqual(causes.cause(False, self.LABEL, self.SHIFTED, [car]), "fit")
        self.assertEqual(causes.cause(False, self.LABEL, self.FITTED, [car]), "false")
        self.assertEqual(causes.cause(False, self.LABEL, self.FITTED, []), "false")

    def test_cover_bound_is_thirty_percent_of_the_labelled_space(self):
        self.assertAlmostEqual(causes.covered_share((100, 100, 120, 109), self.LABEL), 0.3)
        self.assertEqual(causes.cause(True, self.LABEL, self.FITTED, [(100, 100, 120, 109)]), "elsewhere")
        self.assertEqual(causes.cause(True, self.LABEL, self.FITTED, [(100, 100, 120, 108.9)]), "missed")
        self.assertEqual(causes.covered_share((120, 100, 100, 130), self.LABEL), 0.0)  # inverted box

    def test_two_candidate_causes_resolve_in_order(self):
        # Occupied, badly fitted and no box on it: missed before fit.
        self.assertEqual(causes.cause(True, self.LABEL, self.SHIFTED, []), "missed")
        # Occupied, badly fitted, a box on it that went elsewhere: elsewhere before fit.
        self.assertEqual(causes.cause(True, self.LABEL, self.SHIFTED, [(100, 100, 120, 130)]), "elsewhere")
        # Free, badly fitted, reported occupied: fit before false.
        self.assertEqual(causes.cause(False, self.LABEL, self.SHIFTED, []), "fit")


if __name__ == "__main__":
    unittest.main()
