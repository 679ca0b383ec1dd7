#!/usr/bin/python3
"""Checks the stand-in with python-tds, a TDS client written outside this project: login and its failures,
catalogue queries, the help procedures, errors and informational messages with their numbers, a procedure with an
output parameter and return status, and a transaction rolled back.

Usage: independent_client_test.py STANDIN_BINARY DEMO_SCENARIO
"""
import json
import os
import socket
import subprocess
import sys
import unittest

import pytds

BINARY, SCENARIO = sys.argv[1], sys.argv[2]
PASSWORD = "Tavinor#2024"
TYPE_QUERY = ("Select systypes.name From syscolumns inner join systypes on systypes.xtype = syscolumns.xtype "
              "Where syscolumns.ID=Object_ID('MovCliente') and syscolumns.Name='DataSys'")


class StandinTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.proc = subprocess.Popen([BINARY, "--port", "0", "--control-port", "0", "--scenario", SCENARIO,
                                     "--stdin-lifetime"], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        words = cls.proc.stdout.readline().split()
        assert words[0] == "listening" and words[2] == "control", words
        cls.port = int(words[1].split(":")[1])
        cls.control = socket.create_connection(("127.0.0.1", int(words[3])))
        cls.control_file = cls.control.makefile("r")

    @classmethod
    def tearDownClass(cls):
        cls.control_file.close()
        cls.control.close()
        cls.proc.stdin.close()  # --stdin-lifetime: end of input stops the server
        cls.proc.wait(timeout=30)
        cls.proc.stdout.close()

    def command(self, line):
        self.control.sendall((line + "\n").encode())
        return self.control_file.readline().rstrip("\n")

    def setUp(self):
        self.assertEqual(self.command("RESET"), "OK")

    def connect(self, database="master", password=PASSWORD, user="sa", autocommit=True, login_timeout=10):
        return pytds.connect(dsn="127.0.0.1", port=self.port, user=user, password=password, database=database,
                             autocommit=autocommit, login_timeout=login_timeout)

    def test_login_failures_carry_18456_after_4060(self):
        cases = [("master", "errada", [18456]),
                 ("NaoExiste", PASSWORD, [4060, 18456])]
        for database, password, numbers in cases:
            with self.subTest(database=database):
                # python-tds retries a login that failed on its database until the login timeout runs out.
                with self.assertRaises(pytds.OperationalError) as raised:
                    self.connect(database, password, login_timeout=1)
                self.assertEqual(raised.exception.msg_no, 18456)
                text = str(raised.exception)
                if 4060 in numbers:
                    # Both messages, in the server's order: 4060 first.
                    self.assertLess(text.index('Cannot open database "NaoExiste" requested by the login.'),
                                    text.index("Login failed for user 'sa'."))

    def test_catalogue_queries_and_help_procedures(self):
        with self.connect() as conn, conn.cursor() as cur:
            cur.execute("Select name from sysdatabases where name like 'Parvimar%'")
            self.assertEqual([r[0] for r in cur.fetchall()],
                             ["Parvimar01", "Parvimar02", "Parvimar03", "Parvimar04", "Parvimar05", "Parvimar06"])
            cur.execute("use Parvimar02")
            cur.execute(TYPE_QUERY)
            self.assertEqual([r[0] for r in cur.fetchall()], ["nvarchar", "sysname"])

            cur.execute("sp_helpindex movcliente")
            self.assertEqual([d[0] for d in cur.description], ["index_name", "index_description", "index_keys"])
            rows = {r[0]: (r[1], r[2]) for r in cur.fetchall()}
            self.assertEqual(rows["IX_MovCliente_Registo"], ("nonclustered located on PRIMARY", "NumRegisto, DataSys"))
            self.assertEqual(rows["PK_MovCliente"][0], "clustered, unique, primary key located on PRIMARY")

            cur.execute("sp_helpconstraint 'MovCliente'")
            self.assertEqual([d[0] for d in cur.description], ["Object Name"])
            self.assertEqual(cur.fetchall(), [("MovCliente",)])
            self.assertTrue(cur.nextset())
            rows = cur.fetchall()
            self.assertEqual(rows[0][:2], ("DEFAULT on column DataSys", "DF_MovCliente_DataSys"))
            self.assertEqual(rows[0][6], "(getdate())")
            self.assertEqual(rows[1][0], "PRIMARY KEY (clustered)")

            cur.callproc("sp_helpstats", ("MovCliente",))
            self.assertEqual(cur.fetchall(), [("_WA_Sys_00000004_3A81B327", "DataSys"),
                                              ("ST_MovCliente_DataSys", "DataSys")])

    def test_errors_and_messages_carry_their_numbers(self):
        with self.connect("Parvimar06") as conn, conn.cursor() as cur:
            cases = [("select * from NaoExiste", 208, "Invalid object name 'NaoExiste'."),
                     ("exec sp_naoexiste", 2812, "Could not find stored procedure 'sp_naoexiste'."),
                     ("select from MovCliente", 156, "Incorrect syntax near the keyword 'from'."),
                     ("Drop index MovCliente.Nada", 3701,
                      "Cannot drop the index 'MovCliente.Nada', because it does not exist or you do not have "
                      "permission.")]
            for text, number, message in cases:
                with self.subTest(text=text):
                    with self.assertRaises(pytds.Error) as raised:
                        cur.execute(text)
                    self.assertEqual(raised.exception.msg_no, number)
                    self.assertEqual(raised.exception.text, message)

            with self.assertRaises(pytds.Error) as raised:
                cur.execute(" alter table MovCliente ALTER COLUMN DataSys datetime null")
            self.assertEqual([m[1].msg_no for m in cur.messages], [5074, 5074, 5074, 4922])

            cur.execute("use Parvimar03")
            cur.execute("sp_helpstats movcliente")
            self.assertIsNone(cur.description)
            self.assertEqual([(m[1].msg_no, m[1].text) for m in cur.messages],
                             [(15574, "This object does not have any statistics.")])

    def test_procedure_output_parameter_and_return_status(self):
        with self.connect("Parvimar01") as conn, conn.cursor() as cur:
            result = cur.callproc("ContaMovimentos", ("CLI001", pytds.output(value=None, param_type="int")))
            self.assertEqual(result[1], 4)
            self.assertEqual(cur.return_value, 7)
            cur.callproc("GetAcessosUtilizador", ("ana", pytds.output(value=None, param_type="int")))
            self.assertEqual(cur.fetchall(), [("Vendas", 3), ("Compras", 1)])

    def test_rollback_and_parameters(self):
        with self.connect("Parvimar01", autocommit=False) as conn, conn.cursor() as cur:
            cur.execute("select Cliente from MovCliente where NumRegisto = %s", (3,))
            self.assertEqual(cur.fetchall(), [("CLI003",)])
            cur.execute("Drop index MovCliente.IX_MovCliente_Registo")
            self.assertNotIn("IX_MovCliente_Registo", self.command("STATE Parvimar01"))
            conn.rollback()
            self.assertIn("IX_MovCliente_Registo", self.command("STATE Parvimar01"))
        log = json.loads(self.command("LOG")[3:])
        self.assertIn("select Cliente from MovCliente where NumRegisto = @P1", [e["text"] for e in log])


class GeneratedFleetTest(unittest.TestCase):
    def test_generated_fleet_serves_its_databases(self):
        generated = subprocess.run([BINARY, "--generate-fleet", "3"], capture_output=True, text=True, check=True)
        scenario = json.loads(generated.stdout)
        path = "/tmp/standin_fleet_%d.json" % os.getpid()
        with open(path, "w") as f:
            json.dump(scenario, f)
        proc = subprocess.Popen([BINARY, "--port", "0", "--scenario", path, "--stdin-lifetime"],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        try:
            port = int(proc.stdout.readline().split()[1].split(":")[1])
            with pytds.connect(dsn="127.0.0.1", port=port, user="sa", password=PASSWORD, database="Parvimar002",
                               autocommit=True) as conn, conn.cursor() as cur:
                cur.execute("Select name from sysdatabases where name like 'Parvimar%'")
                self.assertEqual([r[0] for r in cur.fetchall()], ["Parvimar001", "Parvimar002", "Parvimar003"])
                cur.execute(TYPE_QUERY)
                self.assertEqual(cur.fetchall(), [("smalldatetime",)])
                cur.execute("sp_helpindex movcliente")
                self.assertIn(("IX_MovCliente_Registo", "nonclustered located on PRIMARY", "NumRegisto, DataSys"),
                              cur.fetchall())
        finally:
            proc.stdin.close()
            proc.wait(timeout=30)
            proc.stdout.close()
            os.remove(path)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
