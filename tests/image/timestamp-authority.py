#!/usr/bin/env python3
"""A throwaway RFC 3161 timestamp authority on a loopback address, for the
release check: makes its own key and self-signed certificate (extended key
usage timeStamping, critical, as Windows requires of a timestamping
certificate) in DIR, then answers every POSTed timestamp query with
`openssl ts -reply`.

  timestamp-authority.py DIR ADDRESS

Writes DIR/tsa-cert.pem (the CA file for verifying its timestamps), then
DIR/url ("http://ADDRESS:PORT/", on a port the system chose) once it
listens, and one line per query to DIR/queries.log. Only loopback addresses
are accepted. Runs until it is killed.
"""

import http.server
import ipaddress
import os
import subprocess
import sys

CONFIG = """\
[tsa]
default_tsa = throwaway
[throwaway]
serial = {dir}/serial
signer_cert = {dir}/tsa-cert.pem
signer_key = {dir}/tsa-key.pem
signer_digest = sha256
default_policy = 1.3.6.1.4.1.32473.9.1
digests = sha256, sha384, sha512
ess_cert_id_alg = sha256
accuracy = secs:1
"""


def make_authority(directory):
    subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "rsa:3072", "-sha256", "-nodes", "-days", "3650",
         "-subj", "/CN=schema-modify throwaway timestamp authority, not trusted",
         "-addext", "basicConstraints=critical,CA:FALSE",
         "-addext", "keyUsage=critical,digitalSignature",
         "-addext", "extendedKeyUsage=critical,timeStamping",
         "-keyout", os.path.join(directory, "tsa-key.pem"),
         "-out", os.path.join(directory, "tsa-cert.pem")],
        check=True, stderr=subprocess.DEVNULL)
    with open(os.path.join(directory, "serial"), "w") as serial:
        serial.write("01\n")
    config = os.path.join(directory, "openssl.cnf")
    with open(config, "w") as out:
        out.write(CONFIG.format(dir=directory))
    return config


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        answer = subprocess.run(
            ["openssl", "ts", "-reply", "-config", self.server.config,
             "-queryfile", "/dev/stdin", "-out", "/dev/stdout"],
            input=query, capture_output=True)
        reply = answer.stdout if answer.returncode == 0 else b""
        outcome = "replied" if reply else "refused: " + answer.stderr.decode().strip().replace("\n", "; ")
        with open(os.path.join(self.server.directory, "queries.log"), "a") as log:
            log.write("%s %d bytes from %s: %s\n" % (
                self.headers.get("Content-Type"), len(query), self.client_address[0], outcome))
        if not reply:
            self.send_error(500, "no timestamp")
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass  # one line per query goes to queries.log instead


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    directory, address = os.path.abspath(sys.argv[1]), sys.argv[2]
    if not ipaddress.ip_address(address).is_loopback:
        sys.exit("timestamp-authority: %s is not a loopback address" % address)
    os.makedirs(directory, exist_ok=True)
    config = make_authority(directory)
    server = http.server.HTTPServer((address, 0), Handler)
    server.directory, server.config = directory, config
    # The URL appears whole, and only once the socket listens.
    url = os.path.join(directory, "url")
    with open(url + ".new", "w") as out:
        out.write("http://%s:%d/\n" % (address, server.server_address[1]))
    os.replace(url + ".new", url)
    server.serve_forever()


if __name__ == "__main__":
    main()
