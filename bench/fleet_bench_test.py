#!/usr/bin/env python3
"""Checks of the fleet benchmark's own parts: that the bsqldb loop applies the
conversion's rules, and that the figures the benchmark derives from the stand-in
count what they claim to count.

Usage: fleet_bench_test.py [BUILD_DIR [STANDIN_BINARY]]
With BUILD_DIR (holding bench/fleet_client, and standin/standin unless another
stand-in is named) the loop and the conversion also run against the stand-in's
demo server and must agree."""

import json
import os
import subprocess
import sys
import unittest

import fleet_bench

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else None
STANDIN = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else None
DASHES = "--"


def listing(type_rows, indexes=(), constraints=(), statistics=()):
    """What bsqldb -h -t '\\t' prints for the four queries of one database."""
    lines = ["name", DASHES, *type_rows,
             "index_name\tindex_description\tindex_keys", f"{DASHES}\t{DASHES}\t{DASHES}"]
    lines += [f"{name}\tnonclustered located on PRIMARY\t{keys}" for name, keys in indexes]
    lines += ["Object Name", DASHES, "MovCliente",
              "constraint_type\tconstraint_name\tdelete_action\tupdate_action\tstatus_enabled\t"
              "status_for_replication\tconstraint_keys", "\t".join([DASHES] * 7)]
    lines += [f"{kind}\t{name}\t(n/a)\t(n/a)\t(n/a)\t(n/a)\t(x)" for kind, name in constraints]
    lines += ["statistics_name\tstatistics_keys", f"{DASHES}\t{DASHES}"]
    lines += [f"{name}\t{keys}" for name, keys in statistics]
    return "\n".join(lines) + "\n"


def fix_script(text):
    done = subprocess.run(["awk", "-f", os.path.join(HERE, "bsqldb_fix.awk")], input=text,
                          capture_output=True, text=True, check=True)
    return [line.rstrip(";") for line in done.stdout.splitlines()]


ALTER = " alter table MovCliente ALTER COLUMN DataSys datetime null"
FLEET_INDEXES = [("IX_MovCliente_Cliente", "Cliente"), ("IX_MovCliente_Registo", "NumRegisto, DataSys"),
                 ("PK_MovCliente", "NumRegisto")]
FLEET_STATISTICS = [("_WA_Sys_00000004_3A81B327", "DataSys"), ("ST_MovCliente_DataSys", "DataSys")]


class FixScript(unittest.TestCase):
    """bsqldb_fix.awk: the statements the loop sends for what one database shows."""

    def test_cases(self):
        cases = [
            ("type with capitals and spaces counts as converted",
             listing(["  DateTime  "], FLEET_INDEXES), []),
            ("only the type's first row is examined",
             listing(["smalldatetime", "datetime"]),
             ["SET XACT_ABORT ON", "BEGIN TRANSACTION", ALTER, "COMMIT TRANSACTION"]),
            ("no MovCliente: the change is still attempted",
             "name\n--\n", ["SET XACT_ABORT ON", "BEGIN TRANSACTION", ALTER, "COMMIT TRANSACTION"]),
            ("the fleet's dependents, in listing order",
             listing(["smalldatetime"], FLEET_INDEXES,
                     [("DEFAULT on column DataSys", "DF_MovCliente_DataSys"),
                      ("PRIMARY KEY (clustered)", "PK_MovCliente")], FLEET_STATISTICS),
             ["SET XACT_ABORT ON", "BEGIN TRANSACTION", "Drop index MovCliente.IX_MovCliente_Registo",
              "Alter Table MovCliente Drop Constraint  DF_MovCliente_DataSys",
              "drop statistics MovCliente._WA_Sys_00000004_3A81B327",
              "drop statistics MovCliente.ST_MovCliente_DataSys", ALTER, "COMMIT TRANSACTION"]),
            ("a DataSys constraint in the second row stays; key names match as substrings",
             listing(["nvarchar(20)"], [("IX_Antiga", "DATASYSANTIGA")],
                     [("DEFAULT on column Cliente", "DF_MovCliente_Cliente"),
                      ("DEFAULT on column DataSys", "DF_MovCliente_DataSys")],
                     [("ST_Valor", "Valor")]),
             ["SET XACT_ABORT ON", "BEGIN TRANSACTION", "Drop index MovCliente.IX_Antiga", ALTER,
              "COMMIT TRANSACTION"]),
        ]
        for label, text, expected in cases:
            with self.subTest(label):
                self.assertEqual(fix_script(text), expected)


def table_state(datasys="smalldatetime", indexes=(), constraints=(), statistics=()):
    return {"tables": [{"name": "MovCliente", "columns": [{"name": "NumRegisto", "type": "int"},
                                                         {"name": "DataSys", "type": datasys}],
                        "indexes": [{"name": n, "keys": k} for n, k in indexes],
                        "constraints": [{"name": n, "columns": c} for n, c in constraints],
                        "statistics": [{"name": n, "columns": c} for n, c in statistics]}]}


FLEET_STATE = table_state(
    indexes=[("IX_MovCliente_Registo", ["NumRegisto", "DataSys DESC"]), ("IX_MovCliente_Cliente", ["Cliente"])],
    constraints=[("DF_MovCliente_DataSys", ["DataSys"]), ("PK_MovCliente", ["NumRegisto"])],
    statistics=[("ST_MovCliente_DataSys", ["DataSys"]), ("_WA_Sys", ["DataSys"])])


class Accounting(unittest.TestCase):
    """What the benchmark counts as needed, done and sent."""

    def test_needed_requests(self):
        self.assertEqual(fleet_bench.needed_requests(FLEET_STATE), 1 + 3 + 1 + 1 + 2 + 1 + 2)
        self.assertEqual(fleet_bench.needed_requests(table_state(" DateTime")), 1)
        self.assertEqual(fleet_bench.needed_requests({"tables": []}), 1 + 3 + 1 + 2)

    def test_converted_needs_the_type_and_no_dependent_left(self):
        self.assertFalse(fleet_bench.converted(FLEET_STATE))
        self.assertTrue(fleet_bench.converted(table_state("datetime", indexes=[("IX_C", ["Cliente"])])))
        self.assertFalse(fleet_bench.converted(table_state("datetime", statistics=[("ST", ["DataSys"])])))
        self.assertFalse(fleet_bench.converted({"tables": []}))

    def test_needed_by_the_dry_run_and_by_keeping_the_dependents(self):
        self.assertEqual(fleet_bench.needed_dry_run(FLEET_STATE), 1 + 3 + 1)
        self.assertEqual(fleet_bench.needed_dry_run(table_state("nvarchar(20)")), 1 + 3 + 1 + 1)
        self.assertEqual(fleet_bench.needed_dry_run(table_state("datetime")), 1)
        # IX_MovCliente_Registo, ST_MovCliente_DataSys and DF_MovCliente_DataSys, each dropped and created again;
        # the automatic statistic is left to the server.
        state = json.loads(json.dumps(FLEET_STATE))
        for statistic in state["tables"][0]["statistics"]:
            statistic["auto_created"] = statistic["name"].startswith("_WA_Sys")
        self.assertEqual(fleet_bench.needed_keeping(state), 1 + 2 + 1 + 2 * 3 + 1)
        self.assertEqual(fleet_bench.needed_keeping({"tables": []}), 1 + 2 + 1 + 1)

    def test_kept_needs_the_type_and_everything_else_as_before(self):
        before = table_state(indexes=[("IX_A", ["DataSys"]), ("IX_B", ["Cliente"])],
                             statistics=[("ST", ["DataSys"])])
        for statistic in before["tables"][0]["statistics"]:
            statistic["auto_created"] = False
        after = json.loads(json.dumps(before))
        after["tables"][0]["columns"][1]["type"] = "datetime"
        after["tables"][0]["indexes"].reverse()
        self.assertTrue(fleet_bench.kept(before, after))
        after["tables"][0]["indexes"].pop()
        self.assertFalse(fleet_bench.kept(before, after))
        self.assertFalse(fleet_bench.kept(before, before))

    def test_classify(self):
        entries = [
            {"connection": 1, "kind": "batch", "text": "Select name from sysdatabases where name like 'P%'"},
            {"connection": 2, "kind": "batch", "text": "SET TEXTSIZE 4096"},
            {"connection": 2, "kind": "tm", "text": "TM BEGIN"},
            {"connection": 2, "kind": "batch", "text": "Drop index MovCliente.IX_A"},
            {"connection": 2, "kind": "tm", "text": "TM ROLLBACK"},
            {"connection": 3, "kind": "batch", "text": "SET XACT_ABORT ON;\nBEGIN TRANSACTION;\nCOMMIT"},
        ]
        self.assertEqual(fleet_bench.classify(entries), {"total": 6, "login": 1, "transaction": 2,
                                                         "statements": 3, "connections": 3})

    def test_a_repeated_pass_shows_its_median_run_unless_one_run_went_wrong(self):
        def run(cpu, total=11, converted=10):
            return {"cpu": cpu, "size": 10, "needed": 11, "converted": converted,
                    "requests": {"total": total}}

        shown = fleet_bench.median_run([run(0.9), run(0.7), run(1.4)])
        self.assertEqual((shown["cpu"], shown["cpu_runs"]), (0.9, [0.9, 0.7, 1.4]))
        self.assertEqual(fleet_bench.median_run([run(0.9), run(0.7)])["cpu"], 0.7)
        self.assertEqual(fleet_bench.median_run([run(0.9), run(1.4, total=12), run(0.7)])["cpu"], 1.4)
        self.assertEqual(fleet_bench.median_run([run(0.9), run(0.7), run(1.4, converted=9)])["cpu"], 1.4)
        self.assertIn("(runs 90.000, 70.000", fleet_bench.spread(shown))
        self.assertEqual(fleet_bench.spread(run(0.9)), "")


@unittest.skipUnless(BUILD, "no build directory given")
class AgainstTheDemoServer(unittest.TestCase):
    """The loop and the conversion meet the demo's traps (a value that does not
    convert, a missing table, the DataSys default in the second row) alike."""

    def test_loop_and_conversion_report_the_same_databases(self):
        standin_binary = STANDIN or os.path.join(BUILD, "standin", "standin")
        outcomes = {}
        standin = fleet_bench.Standin(standin_binary, os.path.join(HERE, "..", "standin", "scenarios", "demo.json"))
        try:
            for method, run in (("conversion", lambda: fleet_bench.run_client(BUILD, standin)),
                                ("loop", lambda: fleet_bench.run_loop(standin, ["Parvimar01"]))):
                standin.ask("RESET")
                result = run()
                outcomes[method] = (result["databases"], result["detected"], result["failed"])
        finally:
            standin.stop()
        self.assertEqual(outcomes["conversion"], (6, 5, 3))
        self.assertEqual(outcomes["loop"], outcomes["conversion"])


if __name__ == "__main__":
    unittest.main()
