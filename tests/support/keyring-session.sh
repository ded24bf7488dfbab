#!/bin/sh
# Run as "dbus-run-session -- sh keyring-session.sh": starts GNOME Keyring's
# Secret Service on this private session bus, with the login keyring (in
# $HOME/.local/share/keyrings) unlocked by the password in
# $TL_KEYRING_PASSWORD, prints the bus address and keeps the session until
# standard input closes. The keyring daemon ends with the bus.
set -e
printf %s "$TL_KEYRING_PASSWORD" \
  | gnome-keyring-daemon --unlock --components=secrets --daemonize >/dev/null
echo "$DBUS_SESSION_BUS_ADDRESS"
cat >/dev/null
