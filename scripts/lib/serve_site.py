#!/usr/bin/env python3
"""Serves the browser edition's site as a web host should (scripts/web and the browser tests).

    serve_site.py [--port N] [--bind ADDRESS] [--log FILE] SITE_DIR

- Each file goes out as the smallest of itself and the copies the build wrote beside it
  (file.br, file.gz) that the browser accepts, with its Content-Encoding and Vary:
  Accept-Encoding; nothing is compressed while serving.
- Content-Type by name: application/wasm for the program, so that the browser compiles it
  while it downloads; the manifest, the scripts and the music with theirs.
- Every answer says Cache-Control: no-cache with an ETag: browsers keep the files and ask
  each time whether they are still current, which a 304 answers without the body, so that a
  visitor never mixes the files of two builds.
- --log FILE: one line per answer, "STATUS PATH BYTES" (the tests count downloads with it).
"""
import argparse
import email.utils
import hashlib
import http.server
import os
import posixpath
import socketserver
import sys
import threading
import urllib.parse

TYPES = {
    ".html": "text/html; charset=utf-8",
    ".js": "text/javascript; charset=utf-8",
    ".wasm": "application/wasm",
    ".webmanifest": "application/manifest+json",
    ".json": "application/json",
    ".ogg": "audio/ogg",
    ".png": "image/png",
    ".jpg": "image/jpeg",
    ".svg": "image/svg+xml",
    ".css": "text/css; charset=utf-8",
    ".txt": "text/plain; charset=utf-8",
}
ENCODINGS = (("br", ".br"), ("gzip", ".gz"))


class Site:
    def __init__(self, root, log):
        self.root = os.path.realpath(root)
        self.log = log
        self.lock = threading.Lock()
        self.etags = {}  # (path, size, mtime) -> ETag

    def path(self, url_path):
        """The file a URL path names inside the site, or None."""
        parts = [p for p in posixpath.normpath(urllib.parse.unquote(url_path)).split("/") if p not in ("", ".")]
        if any(p == ".." for p in parts):
            return None
        path = os.path.realpath(os.path.join(self.root, *parts))
        if path != self.root and not path.startswith(self.root + os.sep):
            return None
        if os.path.isdir(path):
            path = os.path.join(path, "index.html")
        return path if os.path.isfile(path) else None

    def etag(self, path, st):
        key = (path, st.st_size, st.st_mtime_ns)
        with self.lock:
            tag = self.etags.get(key)
        if tag is None:
            digest = hashlib.sha256()
            with open(path, "rb") as f:
                for block in iter(lambda: f.read(1 << 16), b""):
                    digest.update(block)
            tag = '"%s"' % digest.hexdigest()[:24]
            with self.lock:
                self.etags[key] = tag
        return tag


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "nork-velandor"

    def log_message(self, *args):
        pass

    def record(self, status, size):
        site = self.server.site
        if site.log:
            with site.lock:
                site.log.write("%d %s %d\n" % (status, urllib.parse.urlsplit(self.path).path, size))
                site.log.flush()

    def choose(self, path):
        """The representation to send: (file, encoding or None)."""
        accepted = {e.split(";")[0].strip().lower() for e in self.headers.get("Accept-Encoding", "").split(",")}
        best, best_size = (path, None), os.path.getsize(path)
        for encoding, suffix in ENCODINGS:
            if encoding in accepted and os.path.isfile(path + suffix):
                size = os.path.getsize(path + suffix)
                if size < best_size:
                    best, best_size = (path + suffix, encoding), size
        return best

    def answer(self, body):
        site = self.server.site
        path = site.path(urllib.parse.urlsplit(self.path).path)
        if path is None:
            text = b"not found\n"
            self.send_response(404)
            self.send_header("Content-Type", "text/plain; charset=utf-8")
            self.send_header("Content-Length", str(len(text)))
            self.end_headers()
            if body:
                self.wfile.write(text)
            self.record(404, len(text))
            return
        sent, encoding = self.choose(path)
        st = os.stat(sent)
        tag = site.etag(sent, st)
        status = 304 if tag in [t.strip() for t in self.headers.get("If-None-Match", "").split(",")] else 200
        self.send_response(status)
        self.send_header("Content-Type", TYPES.get(os.path.splitext(path)[1], "application/octet-stream"))
        if encoding:
            self.send_header("Content-Encoding", encoding)
        self.send_header("Vary", "Accept-Encoding")
        self.send_header("Cache-Control", "no-cache")
        self.send_header("ETag", tag)
        self.send_header("Last-Modified", email.utils.formatdate(st.st_mtime, usegmt=True))
        if status == 304:
            self.end_headers()
            self.record(304, 0)
            return
        self.send_header("Content-Length", str(st.st_size))
        self.end_headers()
        if body:
            with open(sent, "rb") as f:
                for block in iter(lambda: f.read(1 << 16), b""):
                    self.wfile.write(block)
        self.record(200, st.st_size)

    def do_GET(self):
        try:
            self.answer(True)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def do_HEAD(self):
        self.answer(False)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser(description="Serves the browser edition's site.")
    parser.add_argument("--port", type=int, default=8080)
    parser.add_argument("--bind", default="127.0.0.1")
    parser.add_argument("--log")
    parser.add_argument("site")
    args = parser.parse_args()
    if not os.path.isfile(os.path.join(args.site, "index.html")):
        sys.exit("serve_site.py: no site in %s" % args.site)
    log = open(args.log, "a") if args.log else None
    server = Server((args.bind, args.port), Handler)
    server.site = Site(args.site, log)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
