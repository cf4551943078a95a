"""Serves the package maker's page (build/web/site) on 127.0.0.1, as a static host would: its files
and nothing else. By default with the two headers that make the page cross-origin isolated, which
its threads need; --no-isolation serves it as a host that cannot send them, where the page runs
on one thread. Every request is kept (its path), for the tests and the benchmark.

    python3 scripts/lib/pageserver.py SITE [--port N] [--no-isolation]
"""

import argparse
import functools
import http.server
import os
import sys
import threading

ISOLATION_HEADERS = {
    "Cross-Origin-Opener-Policy": "same-origin",
    "Cross-Origin-Embedder-Policy": "require-corp",
}
TYPES = {".wasm": "application/wasm", ".js": "text/javascript", ".html": "text/html; charset=utf-8",
         ".css": "text/css", ".png": "image/png"}


class PageHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map, **TYPES}

    def __init__(self, *args, isolated, requests, **kwargs):
        self.isolated = isolated
        self.requests = requests
        super().__init__(*args, **kwargs)

    def end_headers(self):
        if self.isolated:
            for name, value in ISOLATION_HEADERS.items():
                self.send_header(name, value)
        self.send_header("Cache-Control", "no-cache")
        super().end_headers()

    def list_directory(self, path):
        self.send_error(404)
        return None

    def log_message(self, format, *args):
        pass

    def log_request(self, code="-", size="-"):
        self.requests.append(self.path)


class PageServer:
    """The page served from a thread of this process until close(); `url` its address."""

    def __init__(self, site, port=0, isolated=True):
        if not os.path.isfile(os.path.join(site, "index.html")):
            raise FileNotFoundError(f"{site} holds no page: build it with scripts/build.sh (emscripten is needed)")
        self.requests = []
        handler = functools.partial(PageHandler, directory=site, isolated=isolated, requests=self.requests)
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
        self.url = f"http://127.0.0.1:{self.server.server_address[1]}/"
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("site")
    parser.add_argument("--port", type=int, default=8086)
    parser.add_argument("--no-isolation", action="store_true")
    args = parser.parse_args()
    try:
        server = PageServer(args.site, args.port, not args.no_isolation)
    except OSError as error:
        sys.exit(f"web: cannot serve the page: {error}")
    mode = "without the isolation headers: one thread" if args.no_isolation else "cross-origin isolated: threads"
    print(f"web: the package maker's page is at {server.url} ({mode}); Ctrl-C stops it", flush=True)
    try:
        server.thread.join()
    except KeyboardInterrupt:
        server.close()


if __name__ == "__main__":
    main()
