#!/usr/bin/env python3
"""An HTTP CONNECT proxy that sends every tunnel to one local port.

Firefox has no switch that maps host names to an address and port, but it
takes a proxy from its preferences: through this one, https://chatgpt.com/
reaches the chat page server on 127.0.0.1:PORT, and the TLS inside the tunnel
still names the real host. Plain requests are refused.

    connect-proxy.py --target PORT --port-file FILE
"""

import argparse
import os
import socket
import threading


def pipe(source, sink):
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            sink.sendall(data)
    except OSError:
        pass
    finally:
        for s in (source, sink):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def handle(client, target):
    try:
        head = b""
        while b"\r\n\r\n" not in head:
            data = client.recv(4096)
            if not data or len(head) > 16384:
                client.close()
                return
            head += data
        request, _, rest = head.partition(b"\r\n\r\n")
        method = request.split(b" ", 1)[0]
        if method != b"CONNECT":
            client.sendall(b"HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n")
            client.close()
            return
        upstream = socket.create_connection(("127.0.0.1", target), timeout=10)
        upstream.settimeout(None)
        client.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
        if rest:
            upstream.sendall(rest)
    except OSError:
        client.close()
        return
    threading.Thread(target=pipe, args=(upstream, client), daemon=True).start()
    pipe(client, upstream)
    client.close()
    upstream.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--target", type=int, required=True)
    ap.add_argument("--port-file", required=True)
    args = ap.parse_args()
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(64)
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(server.getsockname()[1]))
    os.rename(args.port_file + ".tmp", args.port_file)
    while True:
        client, _ = server.accept()
        threading.Thread(target=handle, args=(client, args.target), daemon=True).start()


if __name__ == "__main__":
    main()
