#!/usr/bin/env python3
"""A streaming client of the daemon that checks the scan-block parameter.

    streamer.py PARAMETER STEP...

Each STEP is IFACE=VALUE (send "streamon<TAB>IFACE", then wait until the
parameter reads VALUE) or close=VALUE (close the connection, then wait).
Exits non-zero when a value does not come within ten seconds.
"""
import socket
import sys
import time


def wait_value(path, want):
    for _ in range(100):
        with open(path) as f:
            if f.read().strip() == want:
                return
        time.sleep(0.1)
    sys.exit("parameter is not %s" % want)


s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
s.connect("/var/run/wavewarden.streaming.socket")
for step in sys.argv[2:]:
    what, value = step.split("=")
    if what == "close":
        s.close()
    else:
        s.sendall(b"streamon\t" + what.encode())
    wait_value(sys.argv[1], value)
