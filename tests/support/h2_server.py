#!/usr/bin/python3
"""An HTTPS server on 127.0.0.1 that speaks HTTP/2 only (python3-h2) and cuts
its bodies on purpose: it prints its port, then answers GET /MODE with a 200
of BODY_SIZE bytes of x, sent as answer() says. After a cut it shuts its side
without close_notify and waits for the client to hang up: libsoup 3.2 notices
a stream's reset only then. usage: h2_server.py CERT KEY"""
import contextlib, socket, ssl, sys, threading

import h2.config, h2.connection, h2.errors, h2.events, h2.exceptions

BODY_SIZE = 20000


def answer(conn, sock, stream, mode):
    if mode == "moved":
        conn.send_headers(stream, [(":status", "301"), ("location", "/complete"),
                                   ("content-length", "0")], end_stream=True)
        return True
    length = BODY_SIZE + (100 if mode == "short" else 0)
    conn.send_headers(stream, [(":status", "200")] +
                      ([] if mode == "unsized" else [("content-length", str(length))]))
    whole = mode in ("complete", "unsized", "short")
    body = b"x" * (BODY_SIZE if whole else BODY_SIZE // 2)
    step = conn.max_outbound_frame_size
    for at in range(0, len(body), step):
        conn.send_data(stream, body[at:at + step], end_stream=whole and at + step >= len(body))
    if mode == "reset":
        conn.reset_stream(stream, h2.errors.ErrorCodes.INTERNAL_ERROR)
    elif mode == "goaway":
        conn.close_connection(h2.errors.ErrorCodes.INTERNAL_ERROR, last_stream_id=stream)
    sock.sendall(conn.data_to_send())
    return mode in ("complete", "unsized", "stalled")


def serve(sock):
    with sock, contextlib.suppress(h2.exceptions.H2Error, OSError):
        conn = h2.connection.H2Connection(h2.config.H2Configuration(client_side=False))
        conn.initiate_connection()
        sock.sendall(conn.data_to_send())
        while data := sock.recv(65536):
            for event in conn.receive_data(data):
                if isinstance(event, h2.events.RequestReceived):
                    path = dict(event.headers)[b":path"].decode()
                    if not answer(conn, sock, event.stream_id, path.lstrip("/")):
                        sock.shutdown(socket.SHUT_WR)
            sock.sendall(conn.data_to_send())


context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[1], sys.argv[2])
context.set_alpn_protocols(["h2"])
listener = socket.create_server(("127.0.0.1", 0))
print(listener.getsockname()[1], flush=True)
while True:
    with contextlib.suppress(ssl.SSLError, OSError):
        client = context.wrap_socket(listener.accept()[0], server_side=True)
        threading.Thread(target=serve, args=(client,), daemon=True).start()
