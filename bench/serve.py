#!/usr/bin/env python3
"""The loopback server of bench/run's download measure: answers every GET
with FILE, its length given, sent by the kernel (sendfile), so that the
server costs little beside the clients it serves.
Usage: serve.py FILE PORT_FILE  (writes the port it listens on to PORT_FILE)"""
import http.server
import os
import socketserver
import sys


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        path = self.server.file
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(os.path.getsize(path)))
        self.end_headers()
        self.wfile.flush()
        with open(path, "rb") as body:
            self.connection.sendfile(body)

    def log_message(self, *args):
        pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def main():
    server = Server(("127.0.0.1", 0), Handler)
    server.file = sys.argv[1]
    with open(sys.argv[2], "w") as port:
        port.write(f"{server.server_address[1]}\n")
    server.serve_forever()


if __name__ == "__main__":
    main()
