#!/usr/bin/env python3
"""Runs the tool into non-blocking sinks read slowly, beside a blocking pipe.

    bench/nonblocking_sinks.py TOOL N RATE [KIND...]

KIND is blocking (a plain pipe), pipe, socket or terminal (a raw
pseudo-terminal); the last three have O_NONBLOCK set on the tool's end.
Each is read 16 KiB at a time at RATE bytes a second, so that the sink is
full most of the time. Prints, per kind, the bytes received, the tool's exit
status and message, and its CPU time (user and system) against the wall
time: a writer that waits in the kernel uses next to none.
"""
import fcntl
import os
import socket
import subprocess
import sys
import time
import tty


def sink(kind):
    if kind == "socket":
        a, b = socket.socketpair()
        return a.detach(), b.detach()
    if kind == "terminal":
        read_end, write_end = os.openpty()
        tty.setraw(write_end)  # no LF to CR LF
        return read_end, write_end
    return os.pipe()


def main():
    tool, n, rate = sys.argv[1], sys.argv[2], float(sys.argv[3])
    for kind in sys.argv[4:] or ["blocking", "pipe", "socket", "terminal"]:
        read_end, write_end = sink(kind)
        if kind != "blocking":
            flags = fcntl.fcntl(write_end, fcntl.F_GETFL)
            fcntl.fcntl(write_end, fcntl.F_SETFL, flags | os.O_NONBLOCK)
        start = time.monotonic()
        child = subprocess.Popen([tool, n], stdout=write_end, stderr=subprocess.PIPE)
        os.close(write_end)
        got = 0
        while True:
            try:
                data = os.read(read_end, 16384)
            except OSError:  # a terminal whose writer has gone: EIO
                data = b""
            if not data:
                break
            got += len(data)
            ahead = got / rate - (time.monotonic() - start)
            if ahead > 0:
                time.sleep(ahead)
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.monotonic() - start
        message = child.stderr.read().decode().strip()
        os.close(read_end)
        print(f"{kind:9s} {got:>12d} bytes  status {os.waitstatus_to_exitcode(status):3d}  "
              f"user {usage.ru_utime:.3f} s  system {usage.ru_stime:.3f} s  "
              f"wall {wall:.2f} s  {message!r}")


if __name__ == "__main__":
    main()
