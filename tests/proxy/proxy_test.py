#!/usr/bin/env python3
"""Tests of tools/ldap-proxy.py against a stand-in DC on loopback that
records what reaches it and answers every request with success. What the
proxy sends in AD's place is compared with the answer of
tools/proxy/ad-answers.tsv that it should have chosen.
  proxy_test.py PATH/TO/ldap-proxy.py"""

import os
import re
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

PROXY = sys.argv.pop(1)
sys.path.insert(0, os.path.dirname(os.path.abspath(PROXY)))
from proxy import ad_answers  # noqa: E402
from proxy.ber import (RESPONSES, BerError, Message, encode, entry_message, frame, ldap_message,  # noqa: E402
                       result_message)

SCHEMA = "CN=Schema,CN=Configuration,DC=samdom,DC=test"
AD = ad_answers.load()


def add(msgid, dn, attributes):
    return entry_message(msgid, dn, [(k, [v.encode() for v in vs]) for k, vs in attributes.items()], 0x68)


def search(msgid, base=""):
    return ldap_message(msgid, 0x63, encode(0x04, base.encode()) +
                        bytes.fromhex("0a01000a0100020100020100010100870b6f626a656374436c617373300000"))


def modify(msgid, dn, attribute, value):
    change = encode(0x30, encode(0x0A, b"\2") + encode(0x30, encode(0x04, attribute.encode()) +
                                                      encode(0x31, encode(0x04, value.encode()))))
    return ldap_message(msgid, 0x66, encode(0x04, dn.encode()) + encode(0x30, change))


ATTRIBUTE = {"objectClass": ["attributeSchema"], "lDAPDisplayName": ["WexlorAdmin"]}
CLASS = {"objectClass": ["classSchema"], "mayContain": ["WexlorAdmin"]}


def read_message(sock):
    """The next message on sock; None once the connection is closed or reset."""
    data = b""
    try:
        while not data or frame(data) is None:
            chunk = sock.recv(1)
            if not chunk:
                return None
            data += chunk
    except ConnectionResetError:
        return None
    return Message(data)


def code(answer):
    return answer.result()[0]


class StandInDc:
    """Answers each request with success (a search with its done message),
    but a write to a DN of refusals with its (code, text) and a search of a
    DN of entries with that entry, [(name, [values as bytes])], first."""

    def __init__(self, refusals=None, entries=None):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.received = []
        self.refusals = refusals or {}
        self.entries = entries or {}
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            conn, _ = self.listener.accept()
            threading.Thread(target=self.session, args=(conn,), daemon=True).start()

    def session(self, conn):
        buffer = b""
        while True:
            try:
                data = conn.recv(65536)
            except OSError:
                return
            if not data:
                return
            self.received.append(data)
            buffer += data
            try:
                while buffer and (size := frame(buffer)):
                    self.answer(conn, Message(buffer[:size]))
                    buffer = buffer[size:]
            except BerError:
                buffer = b""

    def answer(self, conn, request):
        if request.op == 0x63 and request.dn in self.entries:
            conn.sendall(entry_message(request.msgid, request.dn, self.entries[request.dn]))
        if request.op in RESPONSES:
            refusal = self.refusals.get(request.dn, (0, "")) if request.op != 0x63 else (0, "")
            conn.sendall(result_message(request.msgid, RESPONSES[request.op], *refusal))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class ProxyTest(unittest.TestCase):
    def start(self, *options, dc=None):
        self.tearDown()  # the proxy of an earlier subtest, which a failure there left running
        self.dc = dc or StandInDc()
        self.port = free_port()
        self.log = tempfile.NamedTemporaryFile("r", suffix=".log", delete=False).name
        self.proxy = subprocess.Popen([sys.executable, PROXY, "--listen", "127.0.0.1:%d" % self.port,
                                       "--target", "127.0.0.1:%d" % self.dc.port, "--log", self.log, *options],
                                      stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.assertEqual(b"ready\n", self.proxy.stdout.readline())
        self.client = socket.create_connection(("127.0.0.1", self.port), timeout=5)

    proxy = None

    def tearDown(self):
        if self.proxy:
            self.client.close()
            self.proxy.kill()
            self.proxy.wait()
            self.proxy.stdout.close()
            os.unlink(self.log)
            self.proxy = None

    def exchange(self, request):
        self.client.sendall(request)
        return read_message(self.client)

    def logged(self):
        with open(self.log) as f:
            return f.read()

    def test_bad_settings_are_refused_at_start(self):
        cases = [
            (["--fault", "explode", "--at", "1"], "invalid choice: 'explode'"),
            (["--fault", "busy", "--at", "17", "--run-length", "16"], "past the end of the run"),
            (["--fault", "busy"], "--fault and --at go together"),
            (["--fault", "busy", "--at", "0"], "counts requests from 1"),
            (["--listen", "192.0.2.1"], "not a loopback address"),
        ]
        for options, text in cases:
            with self.subTest(options=options):
                args = ["--listen", "127.0.0.1:1", "--target", "127.0.0.1:2", "--log", os.devnull]
                run = subprocess.run([sys.executable, PROXY, *args, *options], capture_output=True, text=True,
                                     timeout=10)
                self.assertEqual(2, run.returncode)
                self.assertIn(text, run.stderr)

    def test_answer_faults_replace_the_dc_answer_at_request_k(self):
        for fault, injected in (("busy", 51), ("unavailable", 52), ("other", 80)):
            with self.subTest(fault=fault):
                self.start("--fault", fault, "--at", "2")
                self.assertEqual(0, code(self.exchange(search(1))))
                answer = self.exchange(search(2))
                self.assertEqual((2, 0x65, injected), (answer.msgid, answer.op, code(answer)))
                self.assertEqual(0, code(self.exchange(search(3))))
                self.assertEqual(2, len(self.dc.received))  # the DC never saw request 2

    def test_resets_before_and_after_the_dc_has_the_request(self):
        for fault, reached in (("reset-before", 0), ("reset-after", 1)):
            with self.subTest(fault=fault):
                self.start("--fault", fault, "--at", "1")
                self.assertIsNone(self.exchange(add(1, "CN=A," + SCHEMA, ATTRIBUTE)))
                time.sleep(0.2)
                self.assertEqual(reached, len(self.dc.received))

    def test_stalled_request_is_never_answered_nor_forwarded(self):
        self.start("--fault", "stall", "--at", "1")
        self.client.settimeout(1)
        self.client.sendall(search(1))
        with self.assertRaises(socket.timeout):
            self.client.recv(10)
        self.assertEqual([], self.dc.received)

    def test_class_add_refused_until_the_cache_reloads(self):
        # Each successful schema change restarts the wait; the refused class is none.
        restarts = {
            "add": add(3, "CN=Other," + SCHEMA, {"objectClass": ["attributeSchema"]}),
            "modify": modify(3, "CN=WexlorAdmin," + SCHEMA, "isMemberOfPartialAttributeSet", "TRUE"),
        }
        for change, restart in restarts.items():
            with self.subTest(change=change):
                self.start("--lag-seconds", "1")
                self.assertEqual(0, code(self.exchange(add(1, "CN=WexlorAdmin," + SCHEMA, ATTRIBUTE))))
                answer = self.exchange(add(2, "CN=C," + SCHEMA, CLASS))
                self.assertEqual((2, 0x69), (answer.msgid, answer.op))
                self.assertEqual((16, "", AD["schema-cache-lag"].text), answer.result())
                time.sleep(0.6)
                self.assertEqual(0, code(self.exchange(restart)))
                time.sleep(0.6)
                self.assertEqual(16, code(self.exchange(add(4, "CN=C," + SCHEMA, CLASS))))
                time.sleep(0.5)
                self.assertEqual(0, code(self.exchange(add(5, "CN=C," + SCHEMA, CLASS))))
                self.assertIn("answered 16 (schema cache lag)", self.logged())

    def test_schema_update_now_reloads_the_cache_at_once(self):
        self.start("--lag-seconds", "600")
        self.assertEqual(0, code(self.exchange(add(1, "CN=WexlorAdmin," + SCHEMA, ATTRIBUTE))))
        self.assertEqual(16, code(self.exchange(add(2, "CN=C," + SCHEMA, CLASS))))
        self.assertEqual(0, code(self.exchange(modify(3, "", "schemaUpdateNow", "1"))))
        self.assertEqual(0, code(self.exchange(add(4, "CN=C," + SCHEMA, CLASS))))

    def test_refusals_of_schema_writes_carry_ads_text(self):
        samba = {  # DN: Samba's answer, and the name of AD's answer for it (None: Samba's stays)
            "CN=Denied," + SCHEMA: (50, "00002098: acl: ...", "insufficient-rights"),
            "CN=OidTaken," + SCHEMA: (53, "samldb: attributeID '1.3.6.1.4.1.32473.1.3.1' already in use!",
                                      "oid-taken"),
            "CN=ClassOidTaken," + SCHEMA: (53, "samldb: governsID '1.3.6.1.4.1.32473.1.4.1' already in use!",
                                           "oid-taken"),
            "CN=Exists," + SCHEMA: (68, "Entry CN=Exists already exists", "entry-exists"),
            # A class whose mayContain names no attribute the schema knows by that name.
            "CN=UnknownMayContain," + SCHEMA: (21, "0000200B: objectclass_attrs: attribute 'mayContain' on entry "
                                                   "'CN=UnknownMayContain' contains at least one invalid value!",
                                               "schema-cache-lag"),
            "CN=NotMaster," + SCHEMA: (53, "00002035: schema_data_add: we are not master", None),
            "CN=Exists,CN=Users,DC=samdom,DC=test": (68, "Entry CN=Exists already exists", None),
        }
        self.start("--ad-texts", dc=StandInDc(refusals={dn: answer[:2] for dn, answer in samba.items()}))
        for msgid, (dn, (refused, text, name)) in enumerate(samba.items(), 1):
            with self.subTest(dn=dn):
                answer = self.exchange(add(msgid, dn, ATTRIBUTE))
                sent, code = (AD[name].text, AD[name].code) if name else (text, refused)
                self.assertEqual((msgid, 0x69, (code, "", sent)), (answer.msgid, answer.op, answer.result()))
                # One log line that shows the text sent, as the file writes it.
                if name:
                    self.assertIn('id=%d answered %d by the DC; AD\'s text "%s" instead of "%s"\n'
                                  % (msgid, refused, ad_answers.escape(sent), text), self.logged())

    def test_deleted_role_owner_is_given_and_not_found(self):
        owner = "CN=NTDS Settings,CN=DC1,CN=Servers,CN=Default-First-Site-Name,CN=Sites,CN=Configuration,DC=samdom,DC=test"
        match = owner.split(",", 1)[1]
        guid = bytes.fromhex("d2c1ff80e83f1e4ba0b1c2d3e4f50617")  # not UTF-8
        entry = [("objectGUID", [guid]), ("fSMORoleOwner", [owner.encode()])]
        self.start("--deleted-owner", dc=StandInDc(entries={SCHEMA: entry}))
        answer = self.exchange(search(1, SCHEMA))
        self.assertEqual((1, 0x64), (answer.msgid, answer.op))
        dn, [binary, (name, [mangled])] = answer.entry()
        self.assertEqual((SCHEMA, ("objectGUID", [guid]), "fSMORoleOwner"), (dn, binary, name))
        self.assertRegex(mangled.decode(), r"^CN=NTDS Settings\\0ADEL:[0-9a-f-]{36}," + re.escape(match) + "$")
        self.assertEqual(0, code(read_message(self.client)))

        received = len(self.dc.received)
        answer = self.exchange(search(2, mangled.decode()))
        self.assertEqual((2, 0x65), (answer.msgid, answer.op))
        self.assertEqual((32, match, AD["no-object"].text.replace("{match}", match)), answer.result())
        self.assertIn("best match of:\n\t'%s'\n" % match, answer.result()[2])
        self.assertEqual(received, len(self.dc.received))  # answered by the proxy alone

    def test_schema_write_gets_a_referral_to_the_master(self):
        self.start("--referral", "127.0.0.2")
        answer = self.exchange(add(1, "CN=X," + SCHEMA, ATTRIBUTE))
        self.assertEqual((1, 0x69), (answer.msgid, answer.op))
        self.assertEqual((10, "", AD["referral"].text.replace("{host}", "127.0.0.2")), answer.result())
        self.assertIn("ref 1: '127.0.0.2'\n", answer.result()[2])
        referral = encode(0xA3, encode(0x04, ("ldap://127.0.0.2/CN=X," + SCHEMA).encode()))
        self.assertTrue(answer.raw.endswith(referral), answer.raw)
        self.assertEqual(0, code(self.exchange(add(2, "CN=Y,DC=samdom,DC=test", ATTRIBUTE))))  # outside the schema

    def test_latency_delays_each_answer(self):
        self.start("--latency", "200")
        begin = time.monotonic()
        self.assertEqual(0, code(self.exchange(search(1))))
        self.assertGreaterEqual(time.monotonic() - begin, 0.2)

    def test_unparsable_bytes_are_forwarded_unchanged_and_logged(self):
        self.start()
        self.client.sendall(b"GET / HTTP/1.0\r\n\r\n")
        time.sleep(0.3)
        self.assertEqual(b"GET / HTTP/1.0\r\n\r\n", b"".join(self.dc.received))
        self.assertIn("unparsable request", self.logged())


if __name__ == "__main__":
    unittest.main()
