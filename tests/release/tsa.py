"""A local RFC 3161 time-stamping authority: `openssl ts -reply` behind an HTTP server on
127.0.0.1, with a self-signed certificate of its own (`root`). /ok stamps, /error answers 500."""
import http.server
import socket
import subprocess
import threading

CONFIG = """[tsa]
default_tsa = tsa_config
[tsa_config]
serial = {0}/serial
signer_cert = {0}/tsa.crt
signer_key = {0}/tsa.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.55555.1
digests = sha256
ess_cert_id_alg = sha256
"""


class Authority(http.server.ThreadingHTTPServer):
    def __init__(self, folder):
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30",
                        "-keyout", folder / "tsa.key", "-out", folder / "tsa.crt", "-subj",
                        "/CN=VeskInfo test time-stamping authority", "-addext",
                        "extendedKeyUsage=critical,timeStamping"], check=True, capture_output=True)
        (folder / "serial").write_text("01\n")
        (folder / "tsa.cnf").write_text(CONFIG.format(folder))
        self.root, self.config = folder / "tsa.crt", folder / "tsa.cnf"
        super().__init__(("127.0.0.1", 0), Handler)
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def url(self, mode="ok"):
        return "http://127.0.0.1:%d/%s" % (self.server_address[1], mode)

    @staticmethod
    def unreachable():
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))  # nothing listens there once it is closed
            return "http://127.0.0.1:%d/" % s.getsockname()[1]

    def handle_error(self, request, client_address):
        pass  # osslsigncode hangs up on an error answer before reading it

    def __exit__(self, *exc):
        self.shutdown()
        super().__exit__(*exc)


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", self.server.config, "-queryfile",
                                "/dev/stdin", "-out", "/dev/stdout"], input=query, capture_output=True)
        ok = self.path == "/ok" and reply.returncode == 0
        self.send_response(200 if ok else 500)
        self.send_header("Content-Type", "application/timestamp-reply")  # osslsigncode needs it
        self.end_headers()
        self.wfile.write(reply.stdout if ok else b"no time stamp\n")

    def log_message(self, *args):
        pass
