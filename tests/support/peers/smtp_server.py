"""SMTP peer for the tests: aiosmtpd on loopback, optionally with AUTH,
STARTTLS (required) or implicit TLS. Prints its port as its first line, then
writes each received message to OUT/mail-N.eml and its envelope to
OUT/mail-N.env (MAIL FROM on the first line, one RCPT TO per line after it,
then "auth: <user>" when the client logged in).

usage: smtp_server.py --out DIR [--host 127.0.0.1] [--port 0]
                      [--auth USER:PASSWORD] [--starttls CERT KEY]
                      [--tls CERT KEY]
"""
import argparse
import asyncio
import os
import socket
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Saver:
    def __init__(self, out):
        self.out = out
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.out, "mail-%d" % self.count)
        with open(base + ".eml.part", "wb") as f:
            f.write(envelope.original_content or envelope.content)
        lines = [envelope.mail_from] + list(envelope.rcpt_tos)
        if getattr(session, "quarnel_user", None):
            lines.append("auth: %s" % session.quarnel_user.decode())
        with open(base + ".env", "w") as f:
            f.write("\n".join(lines) + "\n")
        os.rename(base + ".eml.part", base + ".eml")
        return "250 OK"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--auth")
    parser.add_argument("--starttls", nargs=2)
    parser.add_argument("--tls", nargs=2)
    args = parser.parse_args()

    credentials = None
    if args.auth:
        user, password = args.auth.split(":", 1)
        credentials = (user.encode(), password.encode())

    def authenticator(server, session, envelope, mechanism, auth_data):
        if not isinstance(auth_data, LoginPassword) or credentials is None:
            return AuthResult(success=False, handled=False)
        ok = (auth_data.login, auth_data.password) == credentials
        if ok:
            session.quarnel_user = auth_data.login
        return AuthResult(success=ok, handled=False)

    def context_of(pair):
        if not pair:
            return None
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(pair[0], pair[1])
        return context

    starttls_context = context_of(args.starttls)
    implicit_context = context_of(args.tls)
    handler = Saver(args.out)

    def factory():
        return SMTP(handler,
                    hostname="peer.test",
                    authenticator=authenticator if credentials else None,
                    auth_required=bool(credentials),
                    auth_require_tls=False,
                    tls_context=starttls_context,
                    require_starttls=starttls_context is not None)

    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind((args.host, args.port))
    sock.listen(16)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(
        loop.create_server(factory, sock=sock, ssl=implicit_context))
    print(sock.getsockname()[1], flush=True)
    try:
        loop.run_forever()
    finally:
        server.close()


if __name__ == "__main__":
    main()
