"""A small scripted FTP server for tests: the replies a real server gives,
except where a rule says to refuse or cut, and a log of every command.

Usage: ftp_script.py --address 127.0.0.21 --port 21 --root DIR --user NAME
                     --password TEXT --log FILE [--rule RULE]...

Rules (each may be given more than once):
  refuse-rnto          RNTO is answered "553 Rename refused."
  refuse-stor:NAME     STOR of NAME (the file name, any folder) is answered 553
  retr-451:NAME        RETR of NAME: "150", no data, then "451 ..."
  retr-426:NAME        RETR of NAME: "150", the first half of the data, then "426 ..."

Passive mode only (PASV, EPSV). Files live under DIR. Every command line a
client sends is appended to FILE as "<connection number> <line>" (PASS with
its argument replaced by "****"). Prints "ready <port>" on standard output
once it listens; logs nothing else.
"""
import argparse
import os
import posixpath
import socket
import socketserver
import sys
import threading
import time

LOG_LOCK = threading.Lock()
CONNECTIONS = [0]


class Refusal(Exception):
    pass


class Session(socketserver.StreamRequestHandler):
    def setup(self):
        super().setup()
        with LOG_LOCK:
            CONNECTIONS[0] += 1
            self.number = CONNECTIONS[0]
        self.cwd = "/"
        self.user = None
        self.logged_on = False
        self.rename_from = None
        self.passive = None

    # --- plumbing -------------------------------------------------------
    def reply(self, text):
        self.wfile.write((text + "\r\n").encode("utf-8", "surrogateescape"))
        self.wfile.flush()

    def log(self, line):
        if line.upper().startswith("PASS "):
            line = "PASS ****"
        with LOG_LOCK:
            with open(self.server.options.log, "a", encoding="utf-8", errors="surrogateescape") as out:
                out.write("%d %s\n" % (self.number, line))

    def local(self, name):
        path = posixpath.normpath(posixpath.join(self.cwd, name or "."))
        if not path.startswith("/"):
            path = "/" + path
        return path, os.path.join(self.server.options.root, path.lstrip("/"))

    def rule(self, kind, name=None):
        for rule in self.server.options.rule:
            head, _, target = rule.partition(":")
            if head == kind and (name is None or target == posixpath.basename(name)):
                return True
        return False

    def open_data(self):
        if self.passive is None:
            raise Refusal("425 Use PASV or EPSV first.")
        listener, self.passive = self.passive, None
        listener.settimeout(10)
        try:
            connection, _ = listener.accept()
        finally:
            listener.close()
        return connection

    # --- the session ----------------------------------------------------
    def handle(self):
        self.reply("220 scripted test server ready")
        while True:
            raw = self.rfile.readline()
            if not raw:
                return
            line = raw.decode("utf-8", "surrogateescape").rstrip("\r\n")
            self.log(line)
            verb, _, argument = line.partition(" ")
            verb = verb.upper()
            if verb == "QUIT":
                self.reply("221 Goodbye.")
                return
            handler = getattr(self, "ftp_" + verb, None)
            try:
                if handler is None:
                    self.reply("502 Command not implemented.")
                elif not self.logged_on and verb not in ("USER", "PASS"):
                    self.reply("530 Log in with USER and PASS first.")
                else:
                    handler(argument)
            except Refusal as refusal:
                self.reply(str(refusal))
            except OSError as error:
                self.reply("451 " + str(error))

    def ftp_USER(self, argument):
        self.user = argument
        self.logged_on = False
        self.reply("331 Password required.")

    def ftp_PASS(self, argument):
        options = self.server.options
        if self.user == options.user and argument == options.password:
            self.logged_on = True
            self.reply("230 Logged on.")
        else:
            self.reply("530 Authentication failed.")

    def ftp_SYST(self, _):
        self.reply("215 UNIX Type: L8")

    def ftp_NOOP(self, _):
        self.reply("200 NOOP ok.")

    def ftp_TYPE(self, argument):
        self.reply("200 Type set to " + argument + ".")

    def ftp_PWD(self, _):
        self.reply('257 "%s" is the current directory.' % self.cwd.replace('"', '""'))

    def ftp_CWD(self, argument):
        path, real = self.local(argument)
        if not os.path.isdir(real):
            raise Refusal("550 No such directory.")
        self.cwd = path
        self.reply('250 "%s" is the current directory.' % path)

    def ftp_MKD(self, argument):
        path, real = self.local(argument)
        if os.path.exists(real):
            raise Refusal("550 File exists.")
        os.mkdir(real)
        self.reply('257 "%s" directory created.' % path)

    def ftp_RMD(self, argument):
        _, real = self.local(argument)
        if not os.path.isdir(real):
            raise Refusal("550 No such directory.")
        os.rmdir(real)
        self.reply("250 Directory removed.")

    def ftp_DELE(self, argument):
        _, real = self.local(argument)
        if not os.path.isfile(real):
            raise Refusal("550 No such file.")
        os.remove(real)
        self.reply("250 File removed.")

    def ftp_RNFR(self, argument):
        _, real = self.local(argument)
        if not os.path.exists(real):
            raise Refusal("550 No such file or directory.")
        self.rename_from = real
        self.reply("350 Ready for destination name.")

    def ftp_RNTO(self, argument):
        source, self.rename_from = self.rename_from, None
        if source is None:
            raise Refusal("503 Bad sequence of commands: use RNFR first.")
        if self.rule("refuse-rnto"):
            raise Refusal("553 Rename refused.")
        _, real = self.local(argument)
        os.replace(source, real)
        self.reply("250 Renamed.")

    def ftp_SIZE(self, argument):
        _, real = self.local(argument)
        if not os.path.isfile(real):
            raise Refusal("550 No such file.")
        self.reply("213 %d" % os.path.getsize(real))

    def listen_passive(self):
        if self.passive is not None:
            self.passive.close()
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.bind((self.server.options.address, 0))
        listener.listen(1)
        self.passive = listener
        return listener.getsockname()[1]

    def ftp_PASV(self, _):
        port = self.listen_passive()
        address = self.server.options.address.replace(".", ",")
        self.reply("227 Entering passive mode (%s,%d,%d)." % (address, port >> 8, port & 255))

    def ftp_EPSV(self, _):
        self.reply("229 Entering extended passive mode (|||%d|)." % self.listen_passive())

    def ftp_MLSD(self, argument):
        _, real = self.local(argument)
        if not os.path.isdir(real):
            raise Refusal("550 No such directory.")
        lines = []
        for name in sorted(os.listdir(real)):
            full = os.path.join(real, name)
            stamp = time.strftime("%Y%m%d%H%M%S", time.gmtime(os.path.getmtime(full)))
            if os.path.isdir(full):
                lines.append("type=dir;modify=%s;perm=el; %s\r\n" % (stamp, name))
            else:
                lines.append("type=file;size=%d;modify=%s;perm=r; %s\r\n" % (os.path.getsize(full), stamp, name))
        connection = self.open_data()
        self.reply("150 Here comes the listing.")
        with connection:
            connection.sendall("".join(lines).encode("utf-8", "surrogateescape"))
        self.reply("226 Listing sent.")

    def ftp_RETR(self, argument):
        path, real = self.local(argument)
        if not os.path.isfile(real):
            raise Refusal("550 No such file.")
        with open(real, "rb") as source:
            data = source.read()
        connection = self.open_data()
        self.reply("150 Opening data connection for %s (%d bytes)." % (path, len(data)))
        with connection:
            if self.rule("retr-451", path):
                connection.shutdown(socket.SHUT_RDWR)
                self.reply("451 Requested action aborted: local error in processing.")
                return
            if self.rule("retr-426", path):
                connection.sendall(data[: len(data) // 2])
                connection.shutdown(socket.SHUT_RDWR)
                self.reply("426 Connection closed; transfer aborted.")
                return
            connection.sendall(data)
        self.reply("226 Transfer complete.")

    def ftp_STOR(self, argument):
        path, real = self.local(argument)
        if self.rule("refuse-stor", path):
            if self.passive is not None:
                self.passive.close()
                self.passive = None
            raise Refusal("553 Could not create file.")
        connection = self.open_data()
        self.reply("150 Ready to receive %s." % path)
        received = []
        with connection:
            while True:
                chunk = connection.recv(65536)
                if not chunk:
                    break
                received.append(chunk)
        with open(real, "wb") as target:
            target.write(b"".join(received))
        self.reply("226 Transfer complete.")


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", default="127.0.0.21")
    parser.add_argument("--port", type=int, default=21)
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="user")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--log", required=True)
    parser.add_argument("--rule", action="append", default=[])
    options = parser.parse_args()
    try:
        server = Server((options.address, options.port), Session)
    except OSError as error:
        # The test tries another address.
        print("cannot listen on %s: %s" % (options.address, error), file=sys.stderr)
        return 1
    server.options = options
    print("ready", server.server_address[1], flush=True)
    server.serve_forever(poll_interval=0.2)


if __name__ == "__main__":
    sys.exit(main())
