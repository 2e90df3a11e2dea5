"""An FTP server for tests: one user with a home folder, on a loopback address.

Usage: ftp_server.py --address 127.0.0.21 --port 21 --root DIR --user NAME
                     --password TEXT [--behaviour normal|no-mlsd|stall-transfer|
                     stall-greeting|drop-transfer|short-transfer|
                     no-rename]

Prints "ready <port>" on standard output once it listens; logs to standard error.
"""
import argparse
import io
import logging
import socket
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FileProducer, FTPHandler
from pyftpdlib.servers import FTPServer


def handler_for(behaviour):
    class Handler(FTPHandler):
        pass

    if behaviour == "no-mlsd":
        Handler.proto_cmds = {k: v for k, v in FTPHandler.proto_cmds.items() if k not in ("MLSD", "MLST")}
    elif behaviour == "stall-transfer":
        # Accepts the transfer and then neither sends nor reads anything.
        def stall(self, path, *args):
            self.respond("150 File status okay. About to open data connection.")
        Handler.ftp_RETR = stall
        Handler.ftp_STOR = stall
    elif behaviour == "drop-transfer":
        def drop(self, path, *args):
            self.close()
        Handler.ftp_RETR = drop
        Handler.ftp_STOR = drop
    elif behaviour == "short-transfer":
        # Sends the first half of a file and says the transfer is complete.
        def short(self, file):
            with open(file, "rb") as f:
                data = f.read()
            cut = io.BytesIO(data[: len(data) // 2])
            cut.name = file
            producer = FileProducer(cut, self._current_type)
            self.push_dtp_data(producer, isproducer=True, file=cut, cmd="RETR")
        Handler.ftp_RETR = short
    return Handler


def serve_stalled_greeting(address, port):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((address, port))
    listener.listen(8)
    print("ready", listener.getsockname()[1], flush=True)
    held = []
    while True:
        connection, _ = listener.accept()
        held.append(connection)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", default="127.0.0.21")
    parser.add_argument("--port", type=int, default=21)
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="user")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--behaviour", default="normal")
    args = parser.parse_args()

    logging.basicConfig(stream=sys.stderr, level=logging.INFO)
    if args.behaviour == "stall-greeting":
        serve_stalled_greeting(args.address, args.port)
        return

    authorizer = DummyAuthorizer()
    # "f" is the right to rename.
    permissions = "elradmwMT" if args.behaviour == "no-rename" else "elradfmwMT"
    authorizer.add_user(args.user, args.password, args.root, perm=permissions)
    handler = handler_for(args.behaviour)
    handler.authorizer = authorizer
    handler.passive_ports = None
    handler.use_gmt_times = True
    handler.banner = "test server ready"
    server = FTPServer((args.address, args.port), handler)
    print("ready", server.address[1], flush=True)
    server.serve_forever(timeout=0.2)


if __name__ == "__main__":
    main()
