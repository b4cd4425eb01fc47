#!/usr/bin/env python3
"""Gathers the browser edition's site and its one-file edition.

    make_site.py SITE_DIR ONE_FILE NAME=PATH...

Each NAME=PATH puts the file PATH into SITE_DIR as NAME (a path inside the site). On the way:
- load.js learns the size of every file it loads, for its progress, and it and nv.js go inside
  index.html;
- sw.js learns the build (a digest of the site) and the files it keeps offline;
- ONE_FILE, the show in one self-contained page, is made from index.html with every script
  inside it and the program, the data and the music packed into it (gzip, then base64: the
  page unpacks them with the browser's DecompressionStream); a copy goes into the site as
  velandor.html, for the page's download link;
- every file gets a .br and a .gz copy beside it, for servers that send them as they are.
The site is written beside SITE_DIR and put in its place whole.
"""
import base64
import gzip
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys

ONE_FILE_NAME = "velandor.html"
# What the first frame waits for: the program and its archive. load.js fetches these, then the
# music, the files given under data/ (in the order given), and its progress counts them all.
PROGRAM = ["velandor.wasm", "velandor.ndar"]
MUSIC_DIR = "data/"
# The page's own scripts, which go inside it.
PAGE_SCRIPTS = ["nv.js", "load.js"]
# Kept out of the offline copy: the worker itself, the page under its second name (it is kept
# as the site's address), the one file, which is only downloaded, and the icons, which the
# browser takes when the page is installed, but for the one it looks at with every visit: the
# copy holds what the page loads, and nothing the visitor has not downloaded already.
def kept_offline(name):
    return name not in ("sw.js", "index.html", ONE_FILE_NAME) and (name == "icon-192.png" or not name.startswith("icon-"))
# The most the one file may weigh: it goes out as a mail's attachment.
ONE_FILE_MAX = 2000000


def brotli(data):
    """data compressed by Debian's brotli at its best."""
    return subprocess.run(["brotli", "--quality=11", "--stdout", "-"], input=data, stdout=subprocess.PIPE,
                          check=True).stdout


def substitute(text, marker, value, name):
    """Replaces the placeholder `{} /* @marker@ */` (or `[]`, or `''`, before the comment) in text."""
    pattern = re.compile(r"(\{\}|\[\]|'')\s*/\* @%s@ \*/" % marker)
    if len(pattern.findall(text)) != 1:
        sys.exit("make_site.py: %s has no single @%s@ placeholder" % (name, marker))
    return pattern.sub(lambda _: value, text)


def inline_scripts(page, files, names):
    """page with the scripts it loads by those names inside it, as inline scripts in the same
    places (which cannot end their elements early), and how many went in."""
    count = 0

    def inline(match):
        nonlocal count
        name = match.group(1)
        if name not in names:
            return match.group(0)
        count += 1
        text = re.sub(r"</(script)", r"<\\/\1", files[name].decode("utf-8"), flags=re.I)
        return "<script>/* %s */\n%s\n</script>" % (name, text)

    page = re.sub(r'<script src="([^"]+)"(?: defer| async)?></script>', inline, page)
    return page, count


def loaded(files):
    """What load.js fetches, in its order: the program, its archive, then the music."""
    return PROGRAM + [name for name in files if name.startswith(MUSIC_DIR)]


def one_file(files, page):
    """The show in one page: the site's page with all its scripts inside and the packed files
    (what load.js fetches, and the worklet; the scripts go in as scripts)."""
    blob, index = bytearray(), {}
    for name in loaded(files) + ["fsound-worklet.js"]:
        index[name] = [len(blob), len(files[name])]
        blob += files[name]
    packed = base64.b64encode(gzip.compress(bytes(blob), compresslevel=9, mtime=0)).decode("ascii")
    payload = ("<script id=\"nv-files\" type=\"application/octet-stream\" data-files='%s'>%s</script>"
               % (json.dumps(index, separators=(",", ":")), packed))
    page, _ = inline_scripts(page, files, files)
    if "<script src=" in page or "<body>" not in page:
        sys.exit("make_site.py: index.html loads a script the site does not have, or has no <body>")
    # Links to files the one file does not come with go; the payload comes first in the body,
    # so that the scripts after it find it.
    page = re.sub(r'\s*<link rel="apple-touch-icon"[^>]*>', "", page)
    page = page.replace("<body>", "<body>\n" + payload, 1)
    return page.encode("utf-8")


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    site, one_file_path = sys.argv[1], sys.argv[2]
    files = {}
    for arg in sys.argv[3:]:
        name, _, path = arg.partition("=")
        with open(path, "rb") as f:
            files[name] = f.read()
    for name in PROGRAM + PAGE_SCRIPTS + ["index.html", "sw.js", "fsound-worklet.js"]:
        if name not in files:
            sys.exit("make_site.py: the site needs %s" % name)
    if not any(name.startswith(MUSIC_DIR) for name in files):
        sys.exit("make_site.py: the site needs its music, under %s" % MUSIC_DIR)

    sizes = json.dumps({name: len(files[name]) for name in loaded(files)}, separators=(",", ":"))
    files["load.js"] = substitute(files["load.js"].decode("utf-8"), "SIZES", sizes, "load.js").encode("utf-8")
    # The page's own scripts go inside it: they run as soon as the page is there (its gestures
    # are taken from the first moment it shows), and start the downloads a round trip sooner.
    page, count = inline_scripts(files["index.html"].decode("utf-8"), files, PAGE_SCRIPTS)
    if count < len(PAGE_SCRIPTS):
        sys.exit("make_site.py: index.html does not load %s" % " and ".join(PAGE_SCRIPTS))
    for name in PAGE_SCRIPTS:
        del files[name]
    files["index.html"] = page.encode("utf-8")

    kept = sorted(name for name in files if kept_offline(name))
    digest = hashlib.sha256()
    for name in sorted(n for n in files if n not in ("sw.js", ONE_FILE_NAME)):
        digest.update(name.encode("utf-8") + b"\0" + hashlib.sha256(files[name]).digest())
    worker = files["sw.js"].decode("utf-8")
    worker = substitute(worker, "BUILD", json.dumps(digest.hexdigest()[:16]), "sw.js")
    worker = substitute(worker, "FILES", json.dumps(["./"] + kept), "sw.js")
    files["sw.js"] = worker.encode("utf-8")

    files[ONE_FILE_NAME] = one_file(files, page)
    if len(files[ONE_FILE_NAME]) > ONE_FILE_MAX:
        sys.exit("make_site.py: the one file has %d bytes, more than %d" % (len(files[ONE_FILE_NAME]), ONE_FILE_MAX))

    fresh = site.rstrip("/") + ".new"
    shutil.rmtree(fresh, ignore_errors=True)
    for name, data in files.items():
        path = os.path.join(fresh, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        for suffix, copy in (("", data), (".br", brotli(data)),
                             (".gz", gzip.compress(data, compresslevel=9, mtime=0))):
            with open(path + suffix, "wb") as f:
                f.write(copy)
    old = site.rstrip("/") + ".old"
    shutil.rmtree(old, ignore_errors=True)
    if os.path.exists(site):
        os.rename(site, old)
    os.rename(fresh, site)
    shutil.rmtree(old, ignore_errors=True)

    tmp = one_file_path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(files[ONE_FILE_NAME])
    os.replace(tmp, one_file_path)


if __name__ == "__main__":
    main()
