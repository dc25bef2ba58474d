"""A loopback HTTPS report server for the Windows tier: answers every GET
with "ok" (the connectivity probe; "/ip" gives an address) and every POST
with "{}", and prints one line per request ("METHOD PATH BODY"). Prints
"port N" when it listens. Usage: reportserver.py CERT KEY"""
import http.server
import ssl
import sys


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = b"192.0.2.44\n" if self.path.startswith("/ip") else b"ok"
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        print("GET", self.path, flush=True)

    def do_POST(self):
        length = min(int(self.headers.get("Content-Length", "0")), 1 << 20)
        body = self.rfile.read(length)
        self.send_response(200)
        self.send_header("Content-Length", "2")
        self.end_headers()
        self.wfile.write(b"{}")
        print("POST", self.path, body.decode(errors="replace").replace("\n", " "), flush=True)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[1], sys.argv[2])
server.socket = context.wrap_socket(server.socket, server_side=True)
print("port", server.server_address[1], flush=True)
server.serve_forever()
