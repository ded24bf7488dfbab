#!/usr/bin/python3
"""An FTP server on a free loopback port for the FTP tests, the window tests
of the FTP tab and the benchmark.

Prints "PORT <number>" on its first line once it listens, then serves until
its standard input closes (so it never outlives the program that started it)
or it is killed.

The client sends no TYPE command. pyftpdlib would then convert line ends
(ASCII type); by default this server keeps every byte (image type) so that
transfers can be compared byte for byte. --ascii keeps pyftpdlib's default.

The folder "ro" below the root, when it exists at start, is read-only for
the user. --quiet logs nothing but critical errors.

For the client's own tests:
  --passive-only   PORT and EPRT are refused, as behind a firewall;
  --no-epsv        EPSV is refused (the client has to use PASV);
  --tls CERT KEY   explicit FTPS required on the control and data connections
                   (pyftpdlib's TLS handler, python3-openssl);
  --record FILE    every command received is appended to FILE, one a line
                   (the password masked), as soon as it arrives.
"""
import argparse
import logging
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def make_handler(args):
    base = FTPHandler
    if args.tls:
        from pyftpdlib.handlers import TLS_FTPHandler
        base = TLS_FTPHandler

    class Handler(base):
        record = args.record

        def pre_process_command(self, line, cmd, arg):
            if self.record:
                text = 'PASS ******' if cmd == 'PASS' else line
                with open(self.record, 'a') as f:
                    f.write(text + '\n')
            return super().pre_process_command(line, cmd, arg)

        if args.passive_only:
            def ftp_PORT(self, line):
                self.respond('502 Active mode is not allowed here.')

            def ftp_EPRT(self, line):
                self.respond('502 Active mode is not allowed here.')

        if args.no_epsv:
            def ftp_EPSV(self, line):
                self.respond('502 EPSV not implemented.')

        if not args.ascii:
            # The representation type is image whatever the session asks.
            _current_type = property(lambda self: 'i', lambda self, value: None)

    if args.tls:
        Handler.certfile, Handler.keyfile = args.tls
        Handler.tls_control_required = True
        Handler.tls_data_required = True
    return Handler


def watch_stdin():
    try:
        while sys.stdin.buffer.read(4096):
            pass
    finally:
        os._exit(0)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--root', required=True)
    ap.add_argument('--user', default='user')
    ap.add_argument('--password', default='pw')
    ap.add_argument('--ascii', action='store_true')
    ap.add_argument('--quiet', action='store_true')
    ap.add_argument('--passive-only', action='store_true')
    ap.add_argument('--no-epsv', action='store_true')
    ap.add_argument('--tls', nargs=2, metavar=('CERT', 'KEY'))
    ap.add_argument('--record')
    ap.add_argument('--port', type=int, default=0)  # 0: a free one
    args = ap.parse_args()

    level = logging.CRITICAL if args.quiet else logging.WARNING
    logging.basicConfig(level=level)
    logging.getLogger('pyftpdlib').setLevel(level)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm='elradfmwMT')
    readonly = os.path.join(args.root, 'ro')
    if os.path.isdir(readonly):
        authorizer.override_perm(args.user, readonly, perm='elr', recursive=True)
    handler = make_handler(args)
    handler.authorizer = authorizer
    handler.banner = 'Test server ready.'
    handler.auth_failed_timeout = 0.05  # answer a wrong password at once

    server = FTPServer(('127.0.0.1', args.port), handler)
    print('PORT', server.address[1], flush=True)
    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(timeout=0.2)


if __name__ == '__main__':
    main()
