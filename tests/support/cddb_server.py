#!/usr/bin/env python3
"""A small CDDB-over-HTTP and MusicBrainz web service server for tests, on 127.0.0.1.

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

MusicBrainz requests (paths under /ws/2/) are logged to FIXTURE_DIR/mb-requests.log instead,
one line each: the time in seconds, the request target and the User-Agent, tab-separated.
A lookup of /ws/2/discid/<id> is answered from mb-<id>.reply, one by TOC (id "-") from
mb-toc.reply; the n-th request of a kind takes mb-<kind>.reply.<n> first when it exists.
A reply file holds the status code on its first line, then header lines, a blank line and
the body. Without a file the answer is the service's 404.
"""
import http.server
import os
import sys
import threading
import time
import urllib.parse

FIXTURES = sys.argv[1]
COUNTS = {}
COUNT_LOCK = threading.Lock()


def fixture(name):
    path = os.path.join(FIXTURES, name)
    if os.path.isfile(path):
        with open(path, "rb") as f:
            return f.read()
    return None


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        if urllib.parse.urlsplit(self.path).path.startswith("/ws/2/"):
            delay = fixture("delay.txt")
            if delay:
                time.sleep(float(delay))
            return self.musicbrainz()
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

    def musicbrainz(self):
        with open(os.path.join(FIXTURES, "mb-requests.log"), "a") as log:
            log.write("%.3f\t%s\t%s\n" % (time.time(), self.path, self.headers.get("User-Agent", "")))
        path = urllib.parse.urlsplit(self.path).path
        kind = path.rsplit("/", 1)[-1]
        kind = "toc" if kind == "-" else kind
        with COUNT_LOCK:
            COUNTS[kind] = COUNTS.get(kind, 0) + 1
            n = COUNTS[kind]
        reply = fixture("mb-%s.reply.%d" % (kind, n)) or fixture("mb-%s.reply" % kind)
        if reply is None:
            reply = (b'404\nContent-Type: application/json\n\n'
                     b'{"error":"Not Found","help":"For usage, please see: https://musicbrainz.org/development/mmd"}')
        head, _, body = reply.partition(b"\n\n")
        lines = head.decode().split("\n")
        self.send_response(int(lines[0]))
        for line in lines[1:]:
            name, _, value = line.partition(":")
            self.send_header(name.strip(), value.strip())
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
