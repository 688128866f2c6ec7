#!/usr/bin/env python3
"""A small CDDB-over-HTTP server for tests, on 127.0.0.1.

Usage: cddb_server.py FIXTURE_DIR

Prints the port it listens on as its first line of output. For every request it appends
one line to FIXTURE_DIR/requests.log: the request line's target as received (an absolute
URL when the client talks to it as a proxy), then a tab and the decoded cmd parameter.

Replies come from files in FIXTURE_DIR:
  query-<discid>.txt            reply to "cddb query <discid> ..." (default: 202 no match)
  read-<category>-<discid>.txt  reply to "cddb read <category> <discid>" (default: 401)
  status.txt                    if present, an HTTP status to send instead (e.g. 500),
                                with the body of status-body.txt when that exists
  delay.txt                     if present, seconds to wait before answering
"""
import http.server
import os
import sys
import time
import urllib.parse

FIXTURES = sys.argv[1]


def fixture(name):
    path = os.path.join(FIXTURES, name)
    if os.path.isfile(path):
        with open(path, "rb") as f:
            return f.read()
    return None


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        query = urllib.parse.urlsplit(self.path).query
        cmd = urllib.parse.parse_qs(query).get("cmd", [""])[0]
        with open(os.path.join(FIXTURES, "requests.log"), "a") as log:
            log.write(self.path + "\t" + cmd + "\n")
        delay = fixture("delay.txt")
        if delay:
            time.sleep(float(delay))
        status = fixture("status.txt")
        if status:
            self.send_response(int(status))
            body = fixture("status-body.txt") or b""
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        words = cmd.split()
        body = None
        if len(words) >= 3 and words[:2] == ["cddb", "query"]:
            body = fixture("query-%s.txt" % words[2]) or b"202 No match for disc ID %s.\r\n" % words[2].encode()
        elif len(words) >= 4 and words[:2] == ["cddb", "read"]:
            body = fixture("read-%s-%s.txt" % (words[2], words[3])) or b"401 Specified CDDB entry not found.\r\n"
        else:
            body = b"500 Command syntax error.\r\n"
        self.send_response(200)
        self.send_header("Content-Type", "text/plain; charset=UTF-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        pass  # clients that hang up early (tests of limits and stops) are expected


server = Server(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
