#!/usr/bin/env python3
"""Tests of tools/ldap-proxy.py against a stand-in DC on loopback that
records what reaches it and answers every request with success.
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
SCHEMA = "CN=Schema,CN=Configuration,DC=samdom,DC=test"


def encode(tag, content):
    n = len(content)
    head = bytes([n]) if n < 0x80 else bytes([0x82]) + n.to_bytes(2, "big")
    return bytes([tag]) + head + content


def message(msgid, op, body):
    return encode(0x30, encode(0x02, bytes([msgid])) + encode(op, body))


def add(msgid, dn, attributes):
    attrs = b"".join(encode(0x30, encode(0x04, k.encode()) + encode(0x31, b"".join(encode(0x04, v.encode()) for v in vs)))
                     for k, vs in attributes.items())
    return message(msgid, 0x68, encode(0x04, dn.encode()) + encode(0x30, attrs))


def search(msgid, base=""):
    return message(msgid, 0x63, encode(0x04, base.encode()) +
                   bytes.fromhex("0a01000a0100020100020100010100870b6f626a656374436c617373300000"))


def modify(msgid, dn, attribute, value):
    change = encode(0x30, encode(0x0A, b"\2") + encode(0x30, encode(0x04, attribute.encode()) +
                                                      encode(0x31, encode(0x04, value.encode()))))
    return message(msgid, 0x66, encode(0x04, dn.encode()) + encode(0x30, change))


def element(data, pos):
    """(content start, content end) of the element at data[pos]."""
    length, start = data[pos + 1], pos + 2
    if length & 0x80:
        start += length & 0x7F
        length = int.from_bytes(data[pos + 2:start], "big")
    return start, start + length


ATTRIBUTE = {"objectClass": ["attributeSchema"], "lDAPDisplayName": ["WexlorAdmin"]}
CLASS = {"objectClass": ["classSchema"], "mayContain": ["WexlorAdmin"]}


def read_message(sock):
    """(msgid, op tag, result code, rest of the body) of one answer; None on EOF or reset."""
    try:
        head = sock.recv(2)
        if len(head) < 2:
            return None
        length = head[1]
        if length & 0x80:
            length = int.from_bytes(sock.recv(length & 0x7F), "big")
        body = b""
        while len(body) < length:
            chunk = sock.recv(length - len(body))
            if not chunk:
                return None
            body += chunk
    except ConnectionResetError:
        return None
    msgid = body[2]
    op = body[3]
    rest = body[5:] if body[4] < 0x80 else body[5 + (body[4] & 0x7F):]  # past the op's length
    return msgid, op, rest[2], rest


class StandInDc:
    """Answers each request with success (a search with its done message),
    but a write to a DN of refusals with its (code, text) and a search of a
    DN of entries with that entry first."""

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
        while True:
            try:
                data = conn.recv(65536)
            except OSError:
                return
            if not data:
                return
            self.received.append(data)
            if data[0] != 0x30:
                continue
            start = 2 + (data[1] & 0x7F if data[1] & 0x80 else 0)
            msgid, op = data[start + 2], data[start + 3]
            answer = {0x60: 0x61, 0x63: 0x65, 0x66: 0x67, 0x68: 0x69}.get(op)
            dn = b""
            if op in (0x63, 0x66, 0x68):
                dn = data[slice(*element(data, element(data, start + 3)[0]))]
            code, text = self.refusals.get(dn.decode(), (0, "")) if op != 0x63 else (0, "")
            if op == 0x63 and dn.decode() in self.entries:
                attrs = b"".join(encode(0x30, encode(0x04, k.encode()) + encode(0x31, encode(0x04, v if isinstance(v, bytes) else v.encode())))
                                 for k, v in self.entries[dn.decode()].items())
                conn.sendall(message(msgid, 0x64, encode(0x04, dn) + encode(0x30, attrs)))
            if answer:
                conn.sendall(message(msgid, answer, encode(0x0A, bytes([code])) + encode(0x04, b"") +
                                     encode(0x04, text.encode())))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class ProxyTest(unittest.TestCase):
    def start(self, *options, dc=None):
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
        for fault, code in (("busy", 51), ("unavailable", 52), ("other", 80)):
            with self.subTest(fault=fault):
                self.start("--fault", fault, "--at", "2")
                self.assertEqual(0, self.exchange(search(1))[2])
                self.assertEqual((2, 0x65, code), self.exchange(search(2))[:3])
                self.assertEqual(0, self.exchange(search(3))[2])
                self.assertEqual(2, len(self.dc.received))  # the DC never saw request 2
                self.tearDown()

    def test_resets_before_and_after_the_dc_has_the_request(self):
        for fault, reached in (("reset-before", 0), ("reset-after", 1)):
            with self.subTest(fault=fault):
                self.start("--fault", fault, "--at", "1")
                self.assertIsNone(self.exchange(add(1, "CN=A," + SCHEMA, ATTRIBUTE)))
                time.sleep(0.2)
                self.assertEqual(reached, len(self.dc.received))
                self.tearDown()

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
                self.assertEqual(0, self.exchange(add(1, "CN=WexlorAdmin," + SCHEMA, ATTRIBUTE))[2])
                msgid, op, code, rest = self.exchange(add(2, "CN=C," + SCHEMA, CLASS))
                self.assertEqual((2, 0x69, 16), (msgid, op, code))
                self.assertIn(b"00002080: AtrErr", rest)
                time.sleep(0.6)
                self.assertEqual(0, self.exchange(restart)[2])
                time.sleep(0.6)
                self.assertEqual(16, self.exchange(add(4, "CN=C," + SCHEMA, CLASS))[2])
                time.sleep(0.5)
                self.assertEqual(0, self.exchange(add(5, "CN=C," + SCHEMA, CLASS))[2])
                self.assertIn("answered 16 (schema cache lag)", self.logged())
                self.tearDown()

    def test_schema_update_now_reloads_the_cache_at_once(self):
        self.start("--lag-seconds", "600")
        self.assertEqual(0, self.exchange(add(1, "CN=WexlorAdmin," + SCHEMA, ATTRIBUTE))[2])
        self.assertEqual(16, self.exchange(add(2, "CN=C," + SCHEMA, CLASS))[2])
        self.assertEqual(0, self.exchange(modify(3, "", "schemaUpdateNow", "1"))[2])
        self.assertEqual(0, self.exchange(add(4, "CN=C," + SCHEMA, CLASS))[2])

    def test_refusals_of_schema_writes_carry_ads_text(self):
        samba = {  # DN: Samba's answer; AD's text for it, None where the text stays Samba's
            "CN=Denied," + SCHEMA: (50, "00002098: acl: ...", b"00000005: SecErr: DSID-03152E29, problem 4003 "
                                                               b"(INSUFF_ACCESS_RIGHTS), data 0\n"),
            "CN=OidTaken," + SCHEMA: (53, "samldb: attributeID '1.3.6.1.4.1.32473.1.3.1' already in use!",
                                      b"000020BB: SvcErr: DSID-0326036D, problem 5003 (WILL_NOT_PERFORM), "
                                      b"data 8379\n"),
            "CN=Exists," + SCHEMA: (68, "Entry CN=Exists already exists", b"00002071: UpdErr: DSID-030502F1, "
                                                                          b"problem 6005 (ENTRY_EXISTS), data 0\n"),
            "CN=NotMaster," + SCHEMA: (53, "00002035: schema_data_add: we are not master", None),
            "CN=Exists,CN=Users,DC=samdom,DC=test": (68, "Entry CN=Exists already exists", None),
        }
        self.start("--ad-texts", dc=StandInDc(refusals={dn: answer[:2] for dn, answer in samba.items()}))
        for msgid, (dn, (code, text, ad_text)) in enumerate(samba.items(), 1):
            with self.subTest(dn=dn):
                answer = self.exchange(add(msgid, dn, ATTRIBUTE))
                self.assertEqual((msgid, 0x69, code), answer[:3])
                self.assertTrue(answer[3].endswith(encode(0x04, ad_text or text.encode())), answer[3])

    def test_deleted_role_owner_is_given_and_not_found(self):
        owner = "CN=NTDS Settings,CN=DC1,CN=Servers,CN=Default-First-Site-Name,CN=Sites,CN=Configuration,DC=samdom,DC=test"
        guid = bytes.fromhex("d2c1ff80e83f1e4ba0b1c2d3e4f50617")  # not UTF-8
        self.start("--deleted-owner", dc=StandInDc(entries={SCHEMA: {"objectGUID": guid, "fSMORoleOwner": owner}}))
        self.client.sendall(search(1, SCHEMA))
        msgid, op, _, rest = read_message(self.client)
        self.assertEqual((1, 0x64), (msgid, op))
        mangled = re.search(rb"CN=NTDS Settings\\0ADEL:[0-9a-f-]{36},CN=DC1,CN=Servers,[^\x04]*", rest).group()
        self.assertTrue(rest.endswith(mangled), rest)
        self.assertIn(encode(0x04, guid), rest)  # binary values pass untouched
        self.assertEqual(0, read_message(self.client)[2])

        received = len(self.dc.received)
        msgid, op, code, rest = self.exchange(search(2, mangled.decode()))
        self.assertEqual((2, 0x65, 32), (msgid, op, code))
        match = owner.split(",", 1)[1].encode()
        self.assertTrue(rest[3:].startswith(encode(0x04, match)), rest)
        self.assertTrue(rest.endswith(b"0000208D: NameErr: DSID-0310020A, problem 2001 (NO_OBJECT), data 0, "
                                      b"best match of:\n\t'" + match + b"'\n"), rest)
        self.assertEqual(received, len(self.dc.received))  # answered by the proxy alone

    def test_schema_write_gets_a_referral_to_the_master(self):
        self.start("--referral", "127.0.0.2")
        msgid, op, code, rest = self.exchange(add(1, "CN=X," + SCHEMA, ATTRIBUTE))
        self.assertEqual((1, 0x69, 10), (msgid, op, code))
        self.assertIn(b"0000202B: RefErr", rest)
        self.assertIn(b"\xa3", rest)
        self.assertIn(("ldap://127.0.0.2/CN=X," + SCHEMA).encode(), rest)
        self.assertEqual(0, self.exchange(add(2, "CN=Y,DC=samdom,DC=test", ATTRIBUTE))[2])  # outside the schema

    def test_latency_delays_each_answer(self):
        self.start("--latency", "200")
        begin = time.monotonic()
        self.assertEqual(0, self.exchange(search(1))[2])
        self.assertGreaterEqual(time.monotonic() - begin, 0.2)

    def test_unparsable_bytes_are_forwarded_unchanged_and_logged(self):
        self.start()
        self.client.sendall(b"GET / HTTP/1.0\r\n\r\n")
        time.sleep(0.3)
        self.assertEqual(b"GET / HTTP/1.0\r\n\r\n", b"".join(self.dc.received))
        self.assertIn("unparsable request", self.logged())


if __name__ == "__main__":
    unittest.main()
