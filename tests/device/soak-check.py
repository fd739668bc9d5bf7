#!/usr/bin/env python3
"""The soak's view of the daemon through wavectl.

    soak-check.py ap WANT        the state report against what was asked
    soak-check.py poll N FILE    N clients polling state and status until
                                 FILE.stop exists; FILE: "POLLS UNANSWERED
                                 BAD [LAST BAD REPLY]", rewritten every second

WANT for "ap": "off", or "on SSID FREQ" where SSID may be "*" (a default
name) and FREQ is a frequency in MHz or "sta" (the station's). Exit status 0
when the report matches; otherwise its reason on standard output.
"""
import json
import os
import subprocess
import sys
import threading
import time


# What wavectl prints while no daemon listens (it restarts).
NO_DAEMON = "Error: could not connect to management socket."


def wavectl(*words):
    out = subprocess.run(["wavectl", *words], capture_output=True, timeout=10, check=False)
    return out.stdout.decode("utf-8", "replace")


def state():
    text = wavectl("state")
    try:
        return json.loads(text), text
    except ValueError as e:
        return None, "state does not parse (%s): %r" % (e, text)


def check_ap(want):
    report, text = state()
    if report is None:
        return text
    status, ap, sta = report["status"], report["ap"], report["sta"]
    if want[0] == "off":
        if status["state"] == 0 and ap["frequency"] == 0:
            return None
        return "an access point where none was asked: %s" % text
    ssid, freq = want[1], want[2]
    if status["state"] != 2 or status["text"] != "SoftAP Running":
        return "not running: %s" % text
    want_mhz = sta["frequency"] if freq == "sta" else int(freq)
    if ap["frequency"] != want_mhz or want_mhz == 0:
        return "access point on %d MHz, not %d: %s" % (ap["frequency"], want_mhz, text)
    if ssid != "*" and ap["SSID"] != ssid:
        return "access point named %r, not %r: %s" % (ap["SSID"], ssid, text)
    return None


def poll(clients, path):
    stop = path + ".stop"
    # unanswered: no daemon listening (it restarts); bad: a reply that is
    # not one.
    counts = {"polls": 0, "unanswered": 0, "bad": 0}
    lock = threading.Lock()
    last_bad = []

    def client(index):
        # At most an hour and a half of polling, whatever happens to FILE.stop.
        for round_ in range(20000):
            if os.path.exists(stop):
                return
            # status every fifth time: each one is a line in the journal.
            request = "status" if round_ % 5 == index % 5 else "state"
            try:
                reply = wavectl(request)
            except subprocess.TimeoutExpired:
                reply = None
            if request == "status":
                ok = reply is not None and reply[:2] in ("0\t", "1\t", "2\t")
            else:
                try:
                    ok = reply is not None and isinstance(json.loads(reply), dict)
                except ValueError:
                    ok = False
            with lock:
                counts["polls"] += 1
                if not reply or reply.startswith(NO_DAEMON):
                    counts["unanswered"] += 1
                elif not ok:
                    counts["bad"] += 1
                    last_bad[:] = ["%s: %r" % (request, reply)]
            time.sleep(0.3)

    def write():
        with lock:
            line = "%d %d %d %s\n" % (counts["polls"], counts["unanswered"], counts["bad"],
                                      "".join(last_bad)[:300])
        with open(path + ".tmp", "w") as f:
            f.write(line)
        os.replace(path + ".tmp", path)

    threads = [threading.Thread(target=client, args=(i,)) for i in range(clients)]
    for t in threads:
        t.start()
    while any(t.is_alive() for t in threads):
        write()
        time.sleep(1)
    write()


def main():
    if sys.argv[1] == "ap":
        why = check_ap(sys.argv[2:])
        if why:
            print(why)
            sys.exit(1)
    elif sys.argv[1] == "poll":
        poll(int(sys.argv[2]), sys.argv[3])
    else:
        sys.exit("usage: soak-check.py ap WANT | poll N FILE")


if __name__ == "__main__":
    main()
