#!/usr/bin/env python3
"""A small HTTPS server for the end-to-end tests and the demo.

Serves one file at /gfx/qor-config.cfg on 127.0.0.1, byte for byte, or
answers every request with a fixed status. Once it listens it writes its port
into the ready file (when given), so callers can wait for it, not sleep.

  https-server.py --cert server.pem --key server.key [--port 443]
                  (--file FILE | --status CODE) [--ready FILE]
"""

import argparse
import http.server
import os
import signal
import socket
import ssl
import sys


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--port", type=int, default=443)
    what = parser.add_mutually_exclusive_group(required=True)
    what.add_argument("--file", help="the file served at --path")
    what.add_argument("--status", type=int, help="the status of every answer")
    parser.add_argument("--ready", help="file that receives the port once listening")
    return parser.parse_args()


def make_handler(options):
    class Handler(http.server.BaseHTTPRequestHandler):
        # One request per connection, as the clients under test make them.
        protocol_version = "HTTP/1.0"

        def do_GET(self):
            if options.status is not None:
                self.answer(options.status, b"")
            elif self.path != "/gfx/qor-config.cfg":
                self.answer(404, b"")
            else:
                # Read anew for every request, so a test may change the file.
                with open(options.file, "rb") as served:
                    self.answer(200, served.read())

        def answer(self, status, body):
            self.send_response(status)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    return Handler


class TlsServer(http.server.HTTPServer):
    """Does each TLS handshake on the accepted connection, with a time limit,
    so that a client which stalls or rejects the certificate costs the server
    that one connection and never blocks the next."""

    def __init__(self, address, handler, context):
        super().__init__(address, handler)
        self.context = context

    def get_request(self):
        connection, address = self.socket.accept()
        connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        connection.settimeout(30)
        try:
            return self.context.wrap_socket(connection, server_side=True), address
        except (OSError, ssl.SSLError):
            connection.close()
            raise


def main():
    options = parse_arguments()
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(options.cert, options.key)
    server = TlsServer(("127.0.0.1", options.port), make_handler(options), context)
    port = server.socket.getsockname()[1]

    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    if options.ready:
        # Write then rename, so a waiting caller never reads half a file.
        with open(options.ready + ".tmp", "w", encoding="utf-8") as ready:
            ready.write("%d\n" % port)
        os.rename(options.ready + ".tmp", options.ready)
    try:
        server.serve_forever()
    except (KeyboardInterrupt, SystemExit):
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
