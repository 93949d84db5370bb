#!/usr/bin/env python3
"""The peers of the relay benchmark (bench/relay_bench.sh), on 127.0.0.1 only.

  gen-random PATH MIB        deterministic random bytes
  gen-http PATH MIB          HTTP requests and responses, one after the other
  recv-listen PORT [BYTES]   accept one connection and read it to its end (or BYTES)
  recv-connect PORT [BYTES]  connect and read to the end (or BYTES)
  http-server PORT           accept one connection and answer every request on it at once
  http-client PORT COUNT     COUNT requests on one connection, each timed to its whole reply

The receivers hash what arrives and print "bytes=N sha256=HEX seconds=S end=T": S from the first
byte to the end of the stream, T the wall-clock time (seconds since the epoch) of that end;
recv-connect adds "opened=T", when it set out to connect. With BYTES they stop once that many
have arrived, for a relay that keeps a half-closed connection open (mitmdump does until it exits).
"""

import hashlib
import random
import socket
import statistics
import sys
import time

HOST = "127.0.0.1"
MIB = 1 << 20


def gen_random(path, mib):
    rng = random.Random(20240601)
    with open(path, "wb") as out:
        for _ in range(mib):
            out.write(rng.randbytes(MIB))


AGENTS = [
    "Mozilla/5.0 (X11; Linux x86_64; rv:115.0) Gecko/20100101 Firefox/115.0",
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0 Safari/537.36",
    "curl/7.88.1",
]
WORDS = ("alpha bravo charlie delta echo foxtrot golf hotel india juliet kilo lima mike november oscar "
         "papa quebec romeo sierra tango uniform victor whiskey xray yankee zulu").split()


def http_exchange(rng, n):
    body_lines = []
    for i in range(rng.randint(3, 24)):
        words = " ".join(rng.choices(WORDS, k=rng.randint(4, 30)))
        body_lines.append(f'    <li id="item-{n}-{i}"><a href="/items/{n * 31 + i}">{words}</a></li>\r\n')
    body = ("<!DOCTYPE html>\r\n<html><head><title>Items page " + str(n) + "</title></head>\r\n<body><ul>\r\n"
            + "".join(body_lines) + "</ul></body></html>\r\n")
    request = (f"GET /api/v1/items?page={n}&sort={rng.choice(WORDS)} HTTP/1.1\r\n"
               f"Host: shop.example.test\r\n"
               f"User-Agent: {rng.choice(AGENTS)}\r\n"
               f"Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
               f"Accept-Encoding: identity\r\n"
               f"Cookie: session={rng.getrandbits(128):032x}; theme=dark\r\n"
               f"Connection: keep-alive\r\n\r\n")
    response = (f"HTTP/1.1 200 OK\r\n"
                f"Date: Mon, 03 Jun 2024 {n // 3600 % 24:02d}:{n // 60 % 60:02d}:{n % 60:02d} GMT\r\n"
                f"Server: example/1.0\r\n"
                f"Content-Type: text/html; charset=utf-8\r\n"
                f"Content-Length: {len(body)}\r\n"
                f"Cache-Control: no-cache\r\n\r\n")
    return request + response + body


def gen_http(path, mib):
    rng = random.Random(20240602)
    size = mib * MIB
    written = 0
    n = 0
    with open(path, "wb") as out:
        while written < size:
            batch = "".join(http_exchange(rng, n + k) for k in range(256)).encode("ascii")
            n += 256
            batch = batch[: size - written]
            out.write(batch)
            written += len(batch)


def read_to_end(conn, opened=None, expected=None):
    digest = hashlib.sha256()
    buffer = bytearray(MIB)
    view = memoryview(buffer)
    total = 0
    first = None
    while expected is None or total < expected:
        n = conn.recv_into(buffer)
        if n == 0:
            break
        if first is None:
            first = time.monotonic()
        digest.update(view[:n])
        total += n
    end = time.time()
    seconds = time.monotonic() - first if first is not None else 0.0
    line = f"bytes={total} sha256={digest.hexdigest()} seconds={seconds:.4f} end={end:.6f}"
    if opened is not None:
        line += f" opened={opened:.6f}"
    print(line, flush=True)


def listener(port):
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind((HOST, port))
    server.listen(1)
    return server


def connect(port):
    # The listener may still be getting up: a bounded number of tries.
    for _ in range(200):
        try:
            return socket.create_connection((HOST, port), timeout=None)
        except ConnectionRefusedError:
            time.sleep(0.05)
    sys.exit(f"nothing listens on {HOST}:{port}")


def recv_listen(port, expected=None):
    with listener(port) as server:
        conn, _ = server.accept()
    with conn:
        read_to_end(conn, expected=expected)


def recv_connect(port, expected=None):
    opened = time.time()
    with connect(port) as conn:
        read_to_end(conn, opened, expected)


REPLY_BODY = b"<html><body>ok</body></html>\r\n"
REPLY = (b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: %d\r\n\r\n" % len(REPLY_BODY)) + REPLY_BODY


def http_server(port):
    with listener(port) as server:
        conn, _ = server.accept()
    with conn:
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        pending = b""
        while True:
            data = conn.recv(65536)
            if not data:
                return
            pending += data
            while b"\r\n\r\n" in pending:
                _, pending = pending.split(b"\r\n\r\n", 1)
                conn.sendall(REPLY)


def http_client(port, count):
    # Pauses of a random length between exchanges, so that requests land anywhere in a relay tick.
    rng = random.Random(7)
    times = []
    with connect(port) as conn:
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        conn.settimeout(10)
        for n in range(count):
            time.sleep(rng.uniform(0, 0.1))
            request = f"GET /ping/{n} HTTP/1.1\r\nHost: bench.example.test\r\nConnection: keep-alive\r\n\r\n"
            start = time.monotonic()
            conn.sendall(request.encode("ascii"))
            got = b""
            while len(got) < len(REPLY):
                data = conn.recv(65536)
                if not data:
                    sys.exit("the connection closed before a reply")
                got += data
            times.append((time.monotonic() - start) * 1000)
            if got != REPLY:
                sys.exit("a reply arrived altered")
    print(f"exchanges={count} median_ms={statistics.median(times):.1f} "
          f"min_ms={min(times):.1f} max_ms={max(times):.1f}", flush=True)


def main():
    commands = {
        "gen-random": lambda a: gen_random(a[0], int(a[1])),
        "gen-http": lambda a: gen_http(a[0], int(a[1])),
        "recv-listen": lambda a: recv_listen(int(a[0]), int(a[1]) if len(a) > 1 else None),
        "recv-connect": lambda a: recv_connect(int(a[0]), int(a[1]) if len(a) > 1 else None),
        "http-server": lambda a: http_server(int(a[0])),
        "http-client": lambda a: http_client(int(a[0]), int(a[1])),
    }
    if len(sys.argv) < 2 or sys.argv[1] not in commands:
        sys.exit(__doc__)
    commands[sys.argv[1]](sys.argv[2:])


if __name__ == "__main__":
    main()
