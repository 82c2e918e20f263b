#!/usr/bin/python3
"""The start-up update check through the real program, off screen, against
an HTTPS server on 127.0.0.1 run by this script with a certificate made here
by openssl.

The hook presses the dialog's second button (Skip or Exit). Whether the main
window was created afterwards shows in its settings file, which it writes
when it closes: a mandatory update ends the program before it.
"""
import http.server
import os
import shutil
import ssl
import subprocess
import sys
import tempfile
import threading

import testlib

BIN = testlib.BIN


def main():
    if not os.path.exists(os.path.join(BIN, "veltrano")) or shutil.which("openssl") is None:
        print("veltrano or openssl missing; 0 passed, 0 failed, 1 skipped")
        return 0
    tmp = tempfile.mkdtemp(prefix="veltrano-update-")
    cert, key = os.path.join(tmp, "cert.pem"), os.path.join(tmp, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                    "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                    "-keyout", key, "-out", cert], check=True, capture_output=True)
    pages = {}
    seen = []

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            seen.append(self.path)
            body = pages.get(self.path)
            if body is None:
                self.send_error(404)
                return
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    failures = []
    cases = [
        # version page, whether the main window follows
        (b"23/20", True),
        (b"24/20", True),                     # Skip
        (b"24/24", False),                    # Exit
        (b"\xef\xbb\xbf24/24\r\n", False),    # a byte-order mark and CR LF are no error
        (b"garbage", True),
        (b"24/25", True),                     # lowest above latest: not believed
    ]
    try:
        for n, (version, window) in enumerate(cases):
            pages["/download/version/veltrano-version.html"] = version
            pages["/download/version/veltrano-changes.html"] = b"Fixes\n\nMore fixes\n"
            del seen[:]
            config = os.path.join(tmp, "config%d" % n)
            os.makedirs(config)
            env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=config,
                       VELTRANO_UPDATE_URL="https://127.0.0.1:%d" % server.server_port,
                       VELTRANO_MUSICBRAINZ_URL="http://127.0.0.1:9",
                       VELTRANO_TEST_HOOK="newversion-press=btCancel|" + cert)
            try:
                run = testlib.run_program(BIN, env, timeout=60, check=False)
            except subprocess.TimeoutExpired:
                failures.append("%r: the program did not end" % version)
                continue
            if run.returncode != 0:
                failures.append("%r: exit code %d" % (version, run.returncode))
            opened = os.path.exists(os.path.join(config, "Veltrano", "set.ini"))
            if opened != window:
                failures.append("%r: main window %s" % (version, "opened" if opened else "never opened"))
            if seen[:1] != ["/download/version/veltrano-version.html"]:
                failures.append("%r: requests %r" % (version, seen))
    finally:
        server.shutdown()
        shutil.rmtree(tmp, ignore_errors=True)
    for f in failures:
        print("FAIL:", f)
    print("%d passed, %d failed" % (len(cases) - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
