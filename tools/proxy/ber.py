"""LDAPMessages as the proxy and its tests read and write them: the BER
lengths and elements, the framing of a stream, the parts of a message that
the proxy looks at, and the results and entries it answers with."""

OPERATIONS = {
    0x60: "bind", 0x42: "unbind", 0x63: "search", 0x66: "modify", 0x68: "add",
    0x4A: "delete", 0x6C: "moddn", 0x6E: "compare", 0x50: "abandon", 0x77: "extended",
}
# The response that ends each request's answer.
RESPONSES = {0x60: 0x61, 0x63: 0x65, 0x66: 0x67, 0x68: 0x69, 0x4A: 0x6B, 0x6C: 0x6D, 0x6E: 0x6F, 0x77: 0x78}
PARTIAL_RESPONSES = {0x64, 0x73}  # search entry, search reference


class BerError(Exception):
    pass


def read_length(data, pos):
    """The length at data[pos:] and the position after it."""
    if pos >= len(data):
        raise BerError("truncated length")
    first = data[pos]
    if first < 0x80:
        return first, pos + 1
    count = first & 0x7F
    if count == 0 or count > 4 or pos + 1 + count > len(data):
        raise BerError("bad length")
    return int.from_bytes(data[pos + 1:pos + 1 + count], "big"), pos + 1 + count


def read_element(data, pos):
    """(tag, content start, content end) of the element at data[pos:]."""
    if pos >= len(data):
        raise BerError("truncated element")
    length, start = read_length(data, pos + 1)
    if start + length > len(data):
        raise BerError("element runs past its parent")
    return data[pos], start, start + length


def frame(buffer):
    """The size of the whole LDAPMessage at the head of buffer, None while it
    is incomplete; BerError when it is no LDAPMessage."""
    if buffer[0] != 0x30:
        raise BerError("not a SEQUENCE (0x%02x)" % buffer[0])
    if len(buffer) < 2:
        return None
    first = buffer[1]
    count = first & 0x7F if first & 0x80 else 0
    if first & 0x80 and (count == 0 or count > 4):
        raise BerError("bad message length")
    if len(buffer) < 2 + count:
        return None
    length, start = read_length(buffer, 1)
    return start + length if len(buffer) >= start + length else None


class Message:
    """The parts of one LDAPMessage that the proxy looks at."""

    def __init__(self, raw):
        tag, start, end = read_element(raw, 0)
        itag, istart, iend = read_element(raw, start)
        if itag != 0x02:
            raise BerError("no messageID")
        self.raw = raw
        self.msgid = int.from_bytes(raw[istart:iend], "big")
        self.op, self.body, self.body_end = read_element(raw, iend)
        self.dn = ""
        if self.op in (0x63, 0x66, 0x68, 0x4A, 0x6C, 0x6E):
            dtag, dstart, dend = read_element(raw, self.body)
            self.dn = raw[dstart:dend].decode("utf-8", "replace")
            self.dn_end = dend

    def name(self):
        return OPERATIONS.get(self.op, "op-0x%02x" % self.op)

    def parts(self, pos, end):
        """The contents of the elements between pos and end."""
        parts = []
        while pos < end:
            _, start, pos = read_element(self.raw, pos)
            parts.append(self.raw[start:pos])
        return parts

    def attribute_list(self, pos):
        """[(name, [values as bytes])] of the SEQUENCE OF attribute at pos."""
        _, start, end = read_element(self.raw, pos)
        result = []
        while start < end:
            _, astart, start = read_element(self.raw, start)
            _, tstart, tend = read_element(self.raw, astart)
            _, vstart, vend = read_element(self.raw, tend)
            result.append((self.raw[tstart:tend].decode("utf-8", "replace"), self.parts(vstart, vend)))
        return result

    def attributes(self):
        """{lower-case name: [values]} of an add request."""
        return {name.lower(): [v.decode("utf-8", "replace") for v in values]
                for name, values in self.attribute_list(self.dn_end)}

    def modified(self):
        """Lower-case names of the attributes that a modify request changes."""
        _, pos, end = read_element(self.raw, self.dn_end)
        names = []
        while pos < end:
            _, cstart, pos = read_element(self.raw, pos)
            _, _, operation_end = read_element(self.raw, cstart)
            _, mstart, _ = read_element(self.raw, operation_end)
            _, tstart, tend = read_element(self.raw, mstart)
            names.append(self.raw[tstart:tend].decode("utf-8", "replace").lower())
        return names

    def result(self):
        """(code, matched DN, text) of a response."""
        code, matched, text = self.parts(self.body, self.body_end)[:3]
        return int.from_bytes(code, "big"), matched.decode("utf-8", "replace"), text.decode("utf-8", "replace")

    def entry(self):
        """(DN, [(name, [values as bytes])]) of a search entry."""
        _, start, end = read_element(self.raw, self.body)
        return self.raw[start:end].decode("utf-8", "replace"), self.attribute_list(end)


def encode(tag, content):
    n = len(content)
    if n < 0x80:
        head = bytes([n])
    else:
        size = n.to_bytes((n.bit_length() + 7) // 8, "big")
        head = bytes([0x80 | len(size)]) + size
    return bytes([tag]) + head + content


def ldap_message(msgid, tag, body):
    mid = msgid.to_bytes((msgid.bit_length() + 8) // 8, "big")
    return encode(0x30, encode(0x02, mid) + encode(tag, body))


def result_message(msgid, response_tag, code, text, referral=None, matched=""):
    body = encode(0x0A, bytes([code])) + encode(0x04, matched.encode()) + encode(0x04, text.encode())
    if referral:
        body += encode(0xA3, encode(0x04, referral.encode()))
    return ldap_message(msgid, response_tag, body)


def entry_message(msgid, dn, attributes, tag=0x64):
    """A search entry, or with tag 0x68 an add request, of [(name, [values as
    bytes])]: both are a DN and its attributes."""
    listed = b"".join(encode(0x30, encode(0x04, name.encode()) +
                             encode(0x31, b"".join(encode(0x04, v) for v in values)))
                      for name, values in attributes)
    return ldap_message(msgid, tag, encode(0x04, dn.encode()) + encode(0x30, listed))
