"""A TLS front for a test's plain HTTP server on 127.0.0.1.

Usage: tlsproxy.py WORK_DIR TARGET_PORT

Makes a fresh self-signed certificate for 127.0.0.1 in WORK_DIR (cert.pem,
key.pem), listens on an ephemeral port of 127.0.0.1, writes that port into
WORK_DIR/port, and relays every TLS connection in plain text to
127.0.0.1:TARGET_PORT. It ends when WORK_DIR/stop appears, and after five
minutes in any case.
"""
import os
import subprocess
import socket
import ssl
import sys
import threading
import time


def relay(source, target):
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            target.sendall(data)
    except OSError:
        pass
    finally:
        try:
            target.shutdown(socket.SHUT_WR)
        except OSError:
            pass


def serve(client, context, target_port):
    try:
        secure = context.wrap_socket(client, server_side=True)
    except (ssl.SSLError, OSError):
        client.close()
        return
    plain = socket.create_connection(("127.0.0.1", target_port))
    back = threading.Thread(target=relay, args=(plain, secure), daemon=True)
    back.start()
    relay(secure, plain)
    back.join(10)
    secure.close()
    plain.close()


def main():
    work, target_port = sys.argv[1], int(sys.argv[2])
    cert, key = os.path.join(work, "cert.pem"), os.path.join(work, "key.pem")
    port_file, stop_file = os.path.join(work, "port"), os.path.join(work, "stop")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1,DNS:127.0.0.1",
                    "-keyout", key, "-out", cert],
                   check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    listener.settimeout(0.2)
    with open(port_file + ".tmp", "w") as f:
        f.write(str(listener.getsockname()[1]))
    os.replace(port_file + ".tmp", port_file)
    deadline = time.time() + 300
    while time.time() < deadline and not os.path.exists(stop_file):
        try:
            client, _ = listener.accept()
        except socket.timeout:
            continue
        client.settimeout(30)
        threading.Thread(target=serve, args=(client, context, target_port), daemon=True).start()
    listener.close()
    for name in (port_file, stop_file, cert, key):
        try:
            os.remove(name)
        except OSError:
            pass


if __name__ == "__main__":
    main()
