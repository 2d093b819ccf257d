#!/usr/bin/env python3
"""The bench's own arithmetic: statistics, the probe's output, the timeline
verdicts and the table it prints."""
import contextlib
import io
import json
import os
import sys
import unittest
from types import SimpleNamespace

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench  # noqa: E402
import instructions  # noqa: E402


class Statistics(unittest.TestCase):
    def test_median_and_quartiles_of_odd_and_even_counts(self):
        self.assertEqual(bench.summary([5, 1, 3])["median"], 3)
        s = bench.summary([4, 1, 3, 2])
        self.assertEqual((s["median"], s["min"], s["max"], s["n"]), (2.5, 1, 4, 4))
        self.assertEqual((s["q1"], s["q3"]), (1.75, 3.25))

    def test_missing_figures_are_left_out_not_counted_as_zero(self):
        s = bench.summary([None, 10, None, 30])
        self.assertEqual((s["median"], s["min"], s["n"]), (20, 10, 2))
        self.assertIsNone(bench.summary([None, None]))
        self.assertIsNone(bench.summary([]))

    def test_ratio_to_a_missing_or_zero_floor_is_unknown(self):
        self.assertAlmostEqual(bench.ratio(115, 100), 1.15)
        self.assertIsNone(bench.ratio(1, 0))
        self.assertIsNone(bench.ratio(None, 3))


class ProbeOutput(unittest.TestCase):
    def test_figures_notes_and_garbage(self):
        figures, notes = bench.parse_probe(
            "map_ms 123.4\nnote window not shaped at map\nshape_ms 130.0\n\nrss_kb oops\n")
        self.assertEqual(figures, {"map_ms": 123.4, "shape_ms": 130.0})
        self.assertEqual(notes[0], "window not shaped at map")
        self.assertIn("rss_kb oops", notes[1])


    def test_notes_are_counted_across_runs(self):
        notes = ["linux run 1: window not shaped at map", "linux run 2: window not shaped at map",
                 "wine cold (wine): no window titled Kelvra within the deadline"]
        self.assertEqual(bench.count_notes(notes),
                         [("linux: window not shaped at map", 2),
                          ("wine cold (wine): no window titled Kelvra within the deadline", 1)])


class Timeline(unittest.TestCase):
    def runs(self, **figures):
        keys = list(figures)
        return {"linux": [dict(zip(keys, values)) for values in zip(*figures.values())]}

    def test_limits_follow_the_measured_sweep(self):
        results = self.runs(centred_ms=[40, 50, 60], bright_ms=[450, 455, 460])
        rows = {r[0]: r for r in bench.timeline_rows(results, "linux")}
        _, _, s, nominal, limit = rows["bright_ms"]
        self.assertEqual((nominal, limit), (450, 550))
        self.assertTrue(bench.within(s, nominal, limit))
        self.assertEqual(rows["usable_ms"][3:], (4050, 4150))
        self.assertEqual(rows["exit_ms"][3:], (2100, 2200))

    def test_late_or_early_by_more_than_a_tick_is_missed(self):
        self.assertFalse(bench.within({"median": 2201}, 2100, 2200))
        self.assertFalse(bench.within({"median": 1999}, 2100, 2200))
        self.assertTrue(bench.within({"median": 2000}, 2100, 2200))
        self.assertIsNone(bench.within(None, 2100, 2200))
        self.assertIsNone(bench.within({"median": 5}, None, None))


class Report(unittest.TestCase):
    def test_table_verdicts_and_machine_line(self):
        run = {"map_ms": 120, "shape_ms": 125, "rss_kb": 40 * 1024, "idle_cs_per_s": 0,
               "centred_ms": 50, "bright_ms": 460, "black_ms": 3950, "usable_ms": 4060,
               "exit_ms": 2300, "fade_cs_per_s": 20}
        floor = {"map_ms": 100, "shape_ms": 120, "rss_kb": 36 * 1024, "idle_cs_per_s": 0}
        results = {"linux": [run, run], "gtk_floor": [floor, floor]}
        extra = {"shakes": {"rss_after_1_shake_kb": 40960, "rss_after_n_shakes_kb": 43008,
                            "shakes_done": 50},
                 "instructions": {"program": 216_000_000, "floor": 200_000_000}}
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            bench.report(results, extra, {"linux_stripped_bytes": 2048}, [],
                         SimpleNamespace(idle_secs=5, runs=2, shakes=50))
        text = out.getvalue()
        lines = {l.split("|")[0].strip(): l for l in text.splitlines() if "|" in l}
        self.assertIn("MISSED", lines["Linux: start-up to map (ms)"])        # 1.20x
        self.assertIn("met", lines["Linux: start-up to shape set (ms)"])     # 1.04x
        self.assertIn("MISSED", lines["Linux: RSS 2 s after map (MB)"])      # +4 MB
        self.assertIn("MISSED", lines["Linux: instructions to the idle window (M, callgrind)"])  # 1.08x
        self.assertIn("MISSED", lines["Linux: click on X → process gone (ms)"])
        self.assertIn("MISSED", lines["Linux: RSS after 1 / 50 shakes (MB)"])  # +2 MB
        self.assertIn("met", lines["Linux: click → shake button usable again (ms)"])
        machine = json.loads(text.splitlines()[-1].removeprefix("BENCH "))
        self.assertEqual(machine["linux_map_ms"], 120)
        self.assertEqual(machine["linux_map_ratio"], 1.2)
        self.assertEqual(machine["linux_stripped_bytes"], 2048)
        self.assertEqual(machine["linux_shakes"], 50)
        self.assertEqual(machine["linux_instructions_ratio"], 1.08)


class CallgrindProfile(unittest.TestCase):
    PROFILE = ("version: 1\ncreator: callgrind-3.19.0\nevents: Ir\n"
               "fn=(1) main\n0 10\ncfn=(2) g_main_loop_quit\ncalls=1 0\n0 5\n"
               "fn=(2)\n0 5\nsummary: 212854036\ntotals: 212854036\n")

    def test_total_is_read_from_the_summary(self):
        self.assertEqual(instructions.total_instructions(self.PROFILE), 212854036)
        with self.assertRaises(ValueError):
            instructions.total_instructions("events: Ir\nfn=(1) main\n")

    def test_a_run_that_never_quit_its_loop_is_not_counted(self):
        # A program that ended early (no display, another copy running)
        # would otherwise pass the bound with a tiny count.
        self.assertTrue(instructions.left_by_quitting_its_loop(self.PROFILE))
        early = self.PROFILE.replace("g_main_loop_quit", "exit")
        self.assertFalse(instructions.left_by_quitting_its_loop(early))


if __name__ == "__main__":
    result = unittest.main(exit=False, verbosity=0).result
    failed = len(result.failures) + len(result.errors)
    print(f"{result.testsRun - failed} passed, {failed} failed")
    sys.exit(1 if failed else 0)
