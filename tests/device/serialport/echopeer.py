#!/usr/bin/env python3
"""The far end of a serial line for tst_serialportwin under Wine: a
pseudo-terminal whose other side becomes a COM port of the Wine prefix.
It echoes what it receives; BYE (after an EOT byte) makes it hang up.

    echopeer.py COMxx   (WINEPREFIX set; prints "ready" once the port exists)
"""
import os
import sys
import time
import tty

BYE = b"\x04BYE"


def main():
    port = sys.argv[1].lower()
    link = os.path.join(os.environ["WINEPREFIX"], "dosdevices", port)
    master, slave = os.openpty()
    tty.setraw(slave)
    tty.setraw(master)
    if os.path.lexists(link):
        os.unlink(link)
    os.symlink(os.ttyname(slave), link)
    print("ready", flush=True)
    seen = b""
    try:
        while True:
            try:
                data = os.read(master, 4096)
            except OSError:  # nobody has the port open: wait for the next one
                time.sleep(0.05)
                continue
            if os.environ.get("ECHOPEER_DEBUG"):
                import termios
                attrs = termios.tcgetattr(slave)
                print("got", len(data), "lflag", oct(attrs[3]), "iflag", oct(attrs[0]), file=sys.stderr, flush=True)
            seen = (seen + data)[-len(BYE):]
            if seen == BYE:
                break
            os.write(master, data)
    finally:
        os.close(master)
        os.close(slave)
        os.unlink(link)


if __name__ == "__main__":
    main()
