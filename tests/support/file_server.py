#!/usr/bin/env python3
"""A static HTTP file server for tests, on 127.0.0.1.

Usage: file_server.py ROOT_DIR

Prints the port it listens on as its first line of output. GET /a/b serves ROOT_DIR/a/b
as it is (404 when there is no such file) and appends the path to ROOT_DIR/requests.log.
A "Range: bytes=A-B" request gets those bytes (206), and the log line ends " range=A-B".
"""
import http.server
import os
import sys

ROOT = os.path.realpath(sys.argv[1])


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        ranged = self.headers.get("Range", "")
        with open(os.path.join(ROOT, "requests.log"), "a") as log:
            log.write(self.path + (" range=" + ranged[6:] if ranged else "") + "\n")
        path = os.path.realpath(os.path.join(ROOT, self.path.split("?")[0].lstrip("/")))
        if not path.startswith(ROOT + os.sep) or not os.path.isfile(path):
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        with open(path, "rb") as f:
            body = f.read()
        status = 200
        if ranged.startswith("bytes="):
            first, last = ranged[6:].split("-")
            body = body[int(first):int(last) + 1]
            status = 206
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        pass


server = Server(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
