#!/usr/bin/env python3
"""A small product server for the tests.

    product_server.py CONFIG LOG

Listens on an ephemeral port of 127.0.0.1 and prints "PORT <n>" once ready. Every request is
appended to LOG as one JSON line (method, path, headers, body as Latin-1 text) before it is
answered. CONFIG is a JSON file re-read on every request; it maps an endpoint name
("getProductInfo", "getProductAd", "useReport", "image") to how to answer it:

    {"body": "<text>"}       the text, as UTF-8 (a NUL byte may be part of it)
    {"file": "<path>"}       the file's bytes
    {"size": n}              n zero bytes
    {"delay": seconds}       wait that long first
    {"silent": true}         never answer (the connection stays open)
    {"status": code}         the HTTP status, 200 by default
    {"noLength": true}       no Content-Length; the body ends when the connection closes

An endpoint missing from CONFIG answers 404.
"""
import json
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CONFIG, LOG = sys.argv[1], sys.argv[2]
log_lock = threading.Lock()


def endpoint(path):
    name = path.split("?", 1)[0].rstrip("/").rsplit("/", 1)[-1]
    return "image" if name.endswith(".png") else name


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        record = {"method": self.command, "path": self.path,
                  "headers": {k: v for k, v in self.headers.items()},
                  "body": body.decode("latin-1")}
        with log_lock, open(LOG, "a", encoding="utf-8") as log:
            log.write(json.dumps(record) + "\n")
        try:
            with open(CONFIG, encoding="utf-8") as f:
                config = json.load(f)
        except (OSError, ValueError):
            config = {}
        answer = config.get(endpoint(self.path))
        if answer is None:
            self.reply(404, b"", {})
            return
        if answer.get("silent"):
            time.sleep(3600)
            return
        time.sleep(answer.get("delay", 0))
        if "file" in answer:
            with open(answer["file"], "rb") as f:
                payload = f.read()
        elif "size" in answer:
            payload = bytes(answer["size"])
        else:
            payload = answer.get("body", "").encode("utf-8")
        self.reply(answer.get("status", 200), payload, answer)

    def reply(self, status, payload, answer):
        self.send_response(status)
        if answer.get("noLength"):
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(len(payload)))
        self.end_headers()
        try:
            self.wfile.write(payload)
        except OSError:
            pass

    do_GET = handle_any
    do_POST = handle_any


class Server(ThreadingHTTPServer):
    daemon_threads = True


server = Server(("127.0.0.1", 0), Handler)
print("PORT", server.server_address[1], flush=True)
server.serve_forever()
