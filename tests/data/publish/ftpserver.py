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
the user. --quiet logs nothing but critical errors. --commands FILE appends
every command the server receives to FILE, one per line (PASS arguments
masked), so a test can count what a client sent.
"""
import argparse
import logging
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


class ImageHandler(FTPHandler):
    # The representation type is image whatever the session asks.
    _current_type = property(lambda self: 'i', lambda self, value: None)


def recording(base, path):
    class Recording(base):
        def pre_process_command(self, line, cmd, arg):
            shown = 'PASS ***' if cmd == 'PASS' else line
            with open(path, 'a', encoding='utf-8', errors='replace') as f:
                f.write(shown + '\n')
            super().pre_process_command(line, cmd, arg)
    return Recording


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
    ap.add_argument('--commands')
    args = ap.parse_args()

    level = logging.CRITICAL if args.quiet else logging.WARNING
    logging.basicConfig(level=level)
    logging.getLogger('pyftpdlib').setLevel(level)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm='elradfmwMT')
    readonly = os.path.join(args.root, 'ro')
    if os.path.isdir(readonly):
        authorizer.override_perm(args.user, readonly, perm='elr', recursive=True)
    handler = FTPHandler if args.ascii else ImageHandler
    if args.commands:
        handler = recording(handler, args.commands)
    handler.authorizer = authorizer
    handler.banner = 'Test server ready.'
    handler.auth_failed_timeout = 0.05  # answer a wrong password at once

    server = FTPServer(('127.0.0.1', 0), handler)
    print('PORT', server.address[1], flush=True)
    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(timeout=0.2)


if __name__ == '__main__':
    main()
