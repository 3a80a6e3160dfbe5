#!/usr/bin/env python3
"""An LDAP proxy for tests: listens on a loopback address, forwards every
request to a DC and answers in the DC's place where a run asks it to, so
that the program meets what Windows AD answers and Samba does not (a schema
cache that lags, a DC that is not the schema master, AD's words for a
refusal, a role owner that was deleted) and breaks at any chosen request.

  ldap-proxy.py --listen IP[:PORT] --target IP[:PORT] --log FILE [options]

Options (any combination):
  --latency MS            delay every response by MS milliseconds
  --lag-attempts N        answer the first N class adds with noSuchAttribute
  --lag-seconds T         the same for a class add that names an attribute
                          the schema cache does not hold yet: as on AD, the
                          cache reloads T seconds after the last successful
                          schema change, add or modify (each one restarts the
                          wait; a refused one is no change), or at once after
                          a successful schemaUpdateNow modify of the RootDSE
  --referral HOST         answer adds and modifies in the schema partition
                          with a referral to ldap://HOST/
  --ad-texts              the DC's refusals of schema writes reach the client
                          as AD words them: AD's text in place of Samba's (same
                          code), and a class whose mayContain names an
                          attribute unknown by that name refused with 16
  --deleted-owner         the schema container's fSMORoleOwner names a DC
                          that was deleted, and a request for that name is
                          answered noSuchObject, both as AD gives them
  --fault KIND --at K     at the K-th request: reset-before, reset-after,
                          busy, unavailable, other or stall
  --count process|connection   K counts requests of the whole run (default)
                          or of each connection
  --run-length N          the run has N requests; a K past it is refused

AD's texts come from proxy/ad-answers.tsv, the LDAP encoding from proxy/ber.py.
One log line per request: seconds since start, connection, request number,
message id, operation, DN and what the proxy did. Bytes that do not parse as
LDAPMessages are forwarded unchanged from then on and logged. Only loopback
addresses are accepted.
"""

import argparse
import asyncio
import ipaddress
import re
import socket
import struct
import sys
import time
import uuid

from proxy import ad_answers
from proxy.ber import PARTIAL_RESPONSES, RESPONSES, BerError, Message, entry_message, frame, result_message

FAULTS = {"reset-before", "reset-after", "busy", "unavailable", "other", "stall"}
ANSWER_CODES = {"busy": 51, "unavailable": 52, "other": 80}
# Samba's refusals of schema writes that AD words its own way: by result code,
# the name of AD's answer. Samba gives 53 for much else besides an OID taken,
# so that one is recognised by Samba's own text.
REFUSALS = {50: "insufficient-rights", 68: "entry-exists"}
OID_TAKEN = re.compile(r"(attributeID|governsID) '[^']*' already in use")
# Samba refuses a class whose mayContain names an attribute that it does not
# know by that name as a value of invalid syntax (21); AD answers that its
# schema holds no such attribute (16), as it does while its cache lags.
UNKNOWN_MAY_CONTAIN = re.compile(r"attribute 'mayContain' .* invalid value")
# A deleted object keeps its place under a mangled RDN: "\0A" is the escaped
# line feed that AD puts between the old name and "DEL:<objectGUID>".
DELETED_MARK = "\\0ADEL:"


def components(dn):
    return [p.strip().lower() for p in dn.split(",")]


def in_schema(dn):
    return ",".join(components(dn)).find("cn=schema,cn=configuration,") >= 0


def schema_container(dn):
    return components(dn)[:2] == ["cn=schema", "cn=configuration"]


def class_names(attributes):
    """Lower-case objectClass values of an add request's attributes."""
    return [v.lower() for v in attributes.get("objectclass", [])]


def answer_message(msgid, response_tag, answer, referral=None, matched="", **fill):
    """The result that gives one of AD's answers, its {name}s filled in."""
    text = re.sub(r"\{(\w+)\}", lambda m: fill.get(m.group(1), m.group()), answer.text)
    return result_message(msgid, response_tag, answer.code, text, referral, matched)


def loopback(text, default_port):
    host, _, port = text.partition(":")
    try:
        if not ipaddress.ip_address(host).is_loopback:
            raise ValueError
    except ValueError:
        raise argparse.ArgumentTypeError("'%s' is not a loopback address (127.0.0.0/8)" % text)
    return host, int(port) if port else default_port


class Proxy:
    def __init__(self, args):
        self.args = args
        self.started = time.monotonic()
        self.requests = 0
        self.connections = 0
        self.class_adds = 0
        # The schema cache as AD keeps it: the attributes added since it last
        # loaded (lDAPDisplayName, lower case), and when the last schema
        # change succeeded.
        self.uncached = set()
        self.last_schema_change = None
        self.deleted_owner_guid = str(uuid.uuid4())
        # AD's answers, looked up now so that a name missing from the file
        # stops the proxy at its start rather than in the middle of a run.
        answers = ad_answers.load()
        self.lag_answer, self.referral_answer, self.no_object_answer, self.oid_taken_answer = (
            answers[name] for name in ("schema-cache-lag", "referral", "no-object", "oid-taken"))
        self.refusal_answers = {code: answers[name] for code, name in REFUSALS.items()}
        self.log_file = open(args.log, "a", buffering=1)

    def log(self, text):
        self.log_file.write("%9.3f %s\n" % (time.monotonic() - self.started, text))

    def fault_for(self, process_index, connection_index):
        index = process_index if self.args.count == "process" else connection_index
        return self.args.fault if self.args.fault and index == self.args.at else None

    def lagging(self, message):
        """Whether the schema cache would not yet know an attribute that this
        class add names."""
        attributes = message.attributes()
        if "classschema" not in class_names(attributes):
            return False
        self.class_adds += 1
        if self.args.lag_attempts is not None and self.class_adds <= self.args.lag_attempts:
            return True
        if self.args.lag_seconds is None:
            return False
        self.reload_when_due()
        named = {v.lower() for key in ("maycontain", "mustcontain", "systemmaycontain", "systemmustcontain")
                 for v in attributes.get(key, [])}
        return bool(named & self.uncached)

    def reload_when_due(self):
        if self.uncached and time.monotonic() - self.last_schema_change >= self.args.lag_seconds:
            self.uncached.clear()

    def succeeded(self, request):
        """Notes a write that the DC carried out: any schema change restarts
        the cache's wait, a schemaUpdateNow reloads it."""
        if request.op in (0x66, 0x68) and in_schema(request.dn):
            if self.args.lag_seconds is not None:
                self.reload_when_due()
            self.last_schema_change = time.monotonic()
            attributes = request.attributes() if request.op == 0x68 else {}
            if "attributeschema" in class_names(attributes):
                self.uncached.update(v.lower() for v in attributes.get("ldapdisplayname", []))
        elif request.op == 0x66 and request.dn == "" and "schemaupdatenow" in request.modified():
            self.uncached.clear()

    def deleted_owner(self, owner):
        """The role owner's DN as AD gives it once that DC's NTDS Settings
        object has been deleted."""
        rest = owner.split(",", 1)[1]
        return "CN=NTDS Settings%s%s,%s" % (DELETED_MARK, self.deleted_owner_guid, rest)

    async def serve(self, client_reader, client_writer):
        self.connections += 1
        number = self.connections
        try:
            dc_reader, dc_writer = await asyncio.open_connection(*self.args.target)
        except OSError as error:
            self.log("conn=%d cannot reach the DC: %s" % (number, error))
            client_writer.close()
            return
        await Session(self, number, client_reader, client_writer, dc_reader, dc_writer).run()


class Session:
    """One client connection and its connection to the DC."""

    def __init__(self, proxy, number, client_reader, client_writer, dc_reader, dc_writer):
        self.proxy = proxy
        self.number = number
        self.client_reader, self.client_writer = client_reader, client_writer
        self.dc_reader, self.dc_writer = dc_reader, dc_writer
        self.requests = 0
        self.swallow = set()  # message ids whose answer the client never hears
        self.writes = {}  # message id -> add or modify request still unanswered
        self.outgoing = asyncio.Queue()  # (due time, bytes) for the client
        self.done = asyncio.Event()

    def log(self, text):
        self.proxy.log("conn=%d %s" % (self.number, text))

    def reset_client(self):
        sock = self.client_writer.get_extra_info("socket")
        if sock is not None:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.client_writer.transport.abort()
        self.dc_writer.transport.abort()
        self.done.set()

    def to_client(self, data):
        delay = self.proxy.args.latency / 1000.0
        self.outgoing.put_nowait((time.monotonic() + delay, data))

    async def run(self):
        tasks = [asyncio.create_task(t) for t in (self.from_client(), self.from_dc(), self.deliver())]
        await self.done.wait()
        for t in tasks:
            t.cancel()
        for writer in (self.client_writer, self.dc_writer):
            writer.close()

    async def deliver(self):
        """Writes the answers to the client, each at its due time."""
        while True:
            due, data = await self.outgoing.get()
            await asyncio.sleep(max(0, due - time.monotonic()))
            if data is None:
                self.done.set()
                return
            self.client_writer.write(data)
            await self.client_writer.drain()

    async def pump(self, reader, handle, forward, on_end, unparsable):
        """Reads LDAPMessages from reader and hands each to handle, which
        returns False to end the pump. From the first bytes that do not parse
        on, everything is forwarded unchanged (and unparsable says so once)."""
        buffer = b""
        raw = False
        while True:
            chunk = await reader.read(65536)
            if not chunk:
                on_end()
                return
            if raw:
                forward(chunk)
                continue
            buffer += chunk
            try:
                while buffer:
                    size = frame(buffer)
                    if size is None:
                        break
                    data, buffer = buffer[:size], buffer[size:]
                    if not handle(data):
                        return
            except BerError as error:
                self.log(unparsable(error, len(buffer)))
                raw = True
                forward(buffer)
                buffer = b""

    def answer(self, data):
        message = Message(data)
        if message.msgid in self.swallow:
            if message.op not in PARTIAL_RESPONSES:
                self.log("id=%d answered by the DC; connection reset" % message.msgid)
                self.reset_client()
                return False
            return True
        request = self.writes.pop(message.msgid, None)
        if request is not None:
            data = self.written(request, message) or data
        elif message.op == 0x64 and self.proxy.args.deleted_owner:
            data = self.deleted_owner_entry(message) or data
        self.to_client(data)
        return True

    def written(self, request, message):
        """What AD would answer to a write that the DC answered; None to keep
        the DC's answer."""
        code, matched, text = message.result()
        if code == 0:
            self.proxy.succeeded(request)
            return None
        ad = self.proxy.refusal_answers.get(code)
        if code == 53 and OID_TAKEN.search(text):
            ad = self.proxy.oid_taken_answer
        if code == 21 and UNKNOWN_MAY_CONTAIN.search(text):
            ad = self.proxy.lag_answer
        if not self.proxy.args.ad_texts or not in_schema(request.dn) or ad is None:
            return None
        self.log("id=%d answered %d by the DC; AD's text \"%s\" instead of \"%s\""
                 % (message.msgid, code, ad_answers.escape(ad.text), ad_answers.escape(text)))
        return answer_message(message.msgid, message.op, ad, matched=matched)

    def deleted_owner_entry(self, message):
        """The schema container's entry with its role owner deleted; None for
        any other entry."""
        dn, attributes = message.entry()
        if not schema_container(dn):
            return None
        # Only the role owner is rewritten; every other value, binary ones
        # such as objectGUID included, goes back byte for byte.
        changed = [(name, [self.proxy.deleted_owner(v.decode()).encode() for v in values]
                    if name.lower() == "fsmoroleowner" else values) for name, values in attributes]
        return entry_message(message.msgid, dn, changed)

    def dc_closed(self):
        self.log("the DC closed the connection")
        self.to_client(None)

    def client_closed(self):
        if self.dc_writer.can_write_eof():
            self.dc_writer.write_eof()

    async def from_dc(self):
        await self.pump(self.dc_reader, self.answer, self.to_client, self.dc_closed,
                        lambda error, _: "unparsable answer from the DC (%s); forwarded unchanged from here"
                        % error)

    async def from_client(self):
        await self.pump(self.client_reader, lambda data: self.request(Message(data)), self.dc_writer.write,
                        self.client_closed,
                        lambda error, size: "unparsable request (%s): %d bytes forwarded unchanged, and all "
                        "that follows" % (error, size))

    def request(self, message):
        """Forwards or answers one request; False once the connection is gone."""
        proxy, args = self.proxy, self.proxy.args
        proxy.requests += 1
        self.requests += 1
        line = 'req=%d id=%d %s dn="%s"' % (proxy.requests, message.msgid, message.name(), message.dn)
        fault = proxy.fault_for(proxy.requests, self.requests)
        response = RESPONSES.get(message.op)
        if fault == "reset-before":
            self.log(line + " -> reset before forwarding")
            self.reset_client()
            return False
        if fault == "stall":
            self.log(line + " -> stalled, never answered")
            return True
        if fault in ANSWER_CODES and response:
            self.log(line + " -> answered %d (%s)" % (ANSWER_CODES[fault], fault))
            self.to_client(result_message(message.msgid, response, ANSWER_CODES[fault],
                                          "proxy: injected %s" % fault))
            return True
        if message.op == 0x68 and (args.lag_attempts is not None or args.lag_seconds is not None) \
                and proxy.lagging(message):
            self.log(line + " -> answered 16 (schema cache lag)")
            self.to_client(answer_message(message.msgid, response, proxy.lag_answer))
            return True
        if args.referral and message.op in (0x66, 0x68) and in_schema(message.dn):
            url = "ldap://%s/%s" % (args.referral, message.dn)
            self.log(line + " -> referral to " + url)
            self.to_client(answer_message(message.msgid, response, proxy.referral_answer, url,
                                          host=args.referral))
            return True
        if args.deleted_owner and response and DELETED_MARK.lower() in message.dn.lower():
            match = message.dn.split(",", 1)[1]
            self.log(line + " -> answered 32 (deleted role owner)")
            self.to_client(answer_message(message.msgid, response, proxy.no_object_answer, matched=match,
                                          match=match))
            return True
        if message.op in (0x66, 0x68):
            self.writes[message.msgid] = message
        if fault == "reset-after":
            self.swallow.add(message.msgid)
            self.log(line + " -> forwarded; the answer is dropped and the connection reset")
        elif fault:
            self.log(line + " -> forwarded (%s means nothing without an answer)" % fault)
        else:
            self.log(line + " -> forwarded")
        self.dc_writer.write(message.raw)
        return True


def parse(argv):
    parser = argparse.ArgumentParser(description="LDAP fault proxy for tests")
    parser.add_argument("--listen", required=True, type=lambda t: loopback(t, 389))
    parser.add_argument("--target", required=True, type=lambda t: loopback(t, 389))
    parser.add_argument("--log", required=True)
    parser.add_argument("--latency", type=int, default=0)
    parser.add_argument("--lag-attempts", type=int)
    parser.add_argument("--lag-seconds", type=float)
    parser.add_argument("--referral")
    parser.add_argument("--ad-texts", action="store_true")
    parser.add_argument("--deleted-owner", action="store_true")
    parser.add_argument("--fault", choices=sorted(FAULTS))
    parser.add_argument("--at", type=int)
    parser.add_argument("--count", choices=["process", "connection"], default="process")
    parser.add_argument("--run-length", type=int)
    args = parser.parse_args(argv)
    if (args.fault is None) != (args.at is None):
        parser.error("--fault and --at go together")
    if args.at is not None and args.at < 1:
        parser.error("--at counts requests from 1, not %d" % args.at)
    if args.at is not None and args.run_length is not None and args.at > args.run_length:
        parser.error("--at %d is past the end of the run (%d requests)" % (args.at, args.run_length))
    if args.latency < 0:
        parser.error("--latency cannot be negative")
    if args.listen == args.target:
        parser.error("--listen and --target are the same address")
    return args


async def main(argv):
    args = parse(argv)
    proxy = Proxy(args)
    server = await asyncio.start_server(proxy.serve, *args.listen, reuse_address=True)
    proxy.log("listening on %s:%d for %s:%d" % (args.listen + args.target))
    print("ready", flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main(sys.argv[1:]))
    except KeyboardInterrupt:
        pass
