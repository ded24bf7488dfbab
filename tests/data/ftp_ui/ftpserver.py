#!/usr/bin/python3
"""An FTP server on a free loopback port for the window tests of the FTP tab.

Prints "PORT <number>" on its first line once it listens, then serves until
its standard input closes (so it never outlives the test that started it) or
it is killed.

Every transfer keeps its bytes (image type whatever the session asks: the
client sends no TYPE command). The folder "ro" below the root, when it
exists, is read-only for the user.
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
    _current_type = property(lambda self: 'i', lambda self, value: None)


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
    args = ap.parse_args()

    logging.basicConfig(level=logging.CRITICAL)
    logging.getLogger('pyftpdlib').setLevel(logging.CRITICAL)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm='elradfmwMT')
    readonly = os.path.join(args.root, 'ro')
    if os.path.isdir(readonly):
        authorizer.override_perm(args.user, readonly, perm='elr', recursive=True)
    ImageHandler.authorizer = authorizer
    ImageHandler.banner = 'Test server ready.'
    ImageHandler.auth_failed_timeout = 0.05  # answer a wrong password at once

    server = FTPServer(('127.0.0.1', 0), ImageHandler)
    print('PORT', server.address[1], flush=True)
    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(timeout=0.2)


if __name__ == '__main__':
    main()
