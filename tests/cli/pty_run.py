#!/usr/bin/python3
"""Runs a command in a pseudo-terminal of a given size, as a terminal emulator (pyte) shows it, and
prints one JSON object: every line of the scrollback and the screen, the widest of them in columns,
whether the cursor is visible at the end, and the command's exit status.

usage: pty_run.py COLUMNS ROWS INTERRUPT_AFTER_SECONDS COMMAND [ARG...]
(INTERRUPT_AFTER_SECONDS 0: never; otherwise Ctrl-C is typed then)
"""
import json
import os
import pty
import select
import signal
import struct
import sys
import termios
import fcntl
import time
import unicodedata

import pyte


def columns(text):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 0 if unicodedata.combining(c) else 1
               for c in text)


def main():
    width, height, interrupt_after = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
    command = sys.argv[4:]
    screen = pyte.HistoryScreen(width, height, history=10000)
    stream = pyte.ByteStream(screen)
    pid, fd = pty.fork()
    if pid == 0:
        # The size is the terminal's before the program starts: set from here alone, a program that asks
        # at once could see none yet.
        fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", height, width, 0, 0))
        os.execvp(command[0], command)
    fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", height, width, 0, 0))
    os.kill(pid, signal.SIGWINCH)
    start = time.time()
    interrupted = False
    raw = b""
    while True:
        if interrupt_after and not interrupted and time.time() - start >= interrupt_after:
            os.write(fd, b"\x03")  # Ctrl-C, as typed: the terminal sends SIGINT
            interrupted = True
        ready, _, _ = select.select([fd], [], [], 0.05)
        if fd in ready:
            try:
                data = os.read(fd, 65536)
            except OSError:
                break
            if not data:
                break
            raw += data
            stream.feed(data)
    _, status = os.waitpid(pid, 0)
    lines = ["".join(screen.buffer[y][x].data for x in range(width)).rstrip()
             for y in range(height)]
    history = ["".join(line[x].data for x in range(width)).rstrip() for line in screen.history.top]
    everything = history + lines
    print(json.dumps({"lines": everything, "widest": max((columns(l) for l in everything), default=0),
                      "cursor_visible": not screen.cursor.hidden,
                      "exit": os.waitstatus_to_exitcode(status), "raw_bytes": len(raw)},
                     ensure_ascii=False))


if __name__ == "__main__":
    main()
