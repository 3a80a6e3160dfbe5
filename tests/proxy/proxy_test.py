#!/usr/bin/env python3
"""Tests of tools/ldap-proxy.py against a stand-in DC on loopback that
records what reaches it and answers every request with success.
  proxy_test.py PATH/TO/ldap-proxy.py"""

import os
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


def search(msgid):
    return message(msgid, 0x63, encode(0x04, b"") + bytes.fromhex("0a01000a0100020100020100010100870b6f626a656374436c617373300000"))


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
    """Answers each request with success (a search with its done message)."""

    def __init__(self):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.received = []
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
            if answer:
                conn.sendall(message(msgid, answer, encode(0x0A, b"\0") + encode(0x04, b"") + encode(0x04, b"")))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class ProxyTest(unittest.TestCase):
    def start(self, *options):
        self.dc = StandInDc()
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

    def test_class_add_refused_while_the_cache_lags(self):
        self.start("--lag-seconds", "1")
        self.assertEqual(0, self.exchange(add(1, "CN=WexlorAdmin," + SCHEMA, ATTRIBUTE))[2])
        msgid, op, code, rest = self.exchange(add(2, "CN=C," + SCHEMA, CLASS))
        self.assertEqual((2, 0x69, 16), (msgid, op, code))
        self.assertIn(b"00002080: AtrErr", rest)
        time.sleep(1.1)
        self.assertEqual(0, self.exchange(add(3, "CN=C," + SCHEMA, CLASS))[2])
        self.assertIn("answered 16 (schema cache lag)", self.logged())

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
