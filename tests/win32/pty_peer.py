# SPDX-License-Identifier: GPL-3.0-or-later
# The far end of COM1 for the Win32 serial backend's test under Wine:   python3 pty_peer.py DIR
# A pseudo-terminal whose slave side Wine opens as COM1 (its path goes to DIR/port); every byte
# that arrives goes back unchanged once the line's speed, stop bits and any XON/XOFF flow control
# are written to DIR/line ("19200 1", "300 2 XON/XOFF"). It ends when its parent does.
import os, select, sys, termios, tty

folder = sys.argv[1]
master, slave = os.openpty()
tty.setraw(slave)
with open(folder + "/port.new", "w") as port:
    port.write(os.ttyname(slave) + "\n")
os.rename(folder + "/port.new", folder + "/port")  # whole, or not there yet
speeds = [300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200]
speeds = {getattr(termios, f"B{speed}"): speed for speed in speeds}
parent = os.getppid()
while os.getppid() == parent:
    if select.select([master], [], [], 0.5)[0]:
        data = os.read(master, 4096)
        iflag, _, cflag, _, _, ospeed, _ = termios.tcgetattr(slave)
        flow = " XON/XOFF" if iflag & (termios.IXON | termios.IXOFF) else ""
        with open(folder + "/line", "w") as line:
            line.write(f"{speeds.get(ospeed, 0)} {2 if cflag & termios.CSTOPB else 1}{flow}\n")
        os.write(master, data)
