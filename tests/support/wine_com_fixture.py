#!/usr/bin/env python3
"""Gives a Windows test under Wine a COM port with the simulated drive behind it.

Starts the Linux build's qmx-sim, maps a free COM port of the Wine prefix (dosdevices/comN, N in
3..12) to its pseudo-terminal, optionally maps a second port to a pseudo-terminal that nobody
answers (a silent line), runs the command with AXTUNE_TEST_COM / AXTUNE_TEST_SILENT_COM naming the
ports, and removes everything again. Exit status: the command's, or 77 (skipped) when qmx-sim is
not there.

  wine_com_fixture.py --qmx-sim PATH --prefix DIR [--sim-arg ARG]... [--silent] -- COMMAND...
"""
import argparse
import os
import pty
import subprocess
import sys

SKIP = 77


def claim_com(prefix, device):
    """Links the first free comN of the prefix to the device; returns N."""
    dosdevices = os.path.join(prefix, "dosdevices")
    os.makedirs(dosdevices, exist_ok=True)
    for number in range(3, 13):
        link = os.path.join(dosdevices, "com%d" % number)
        try:
            os.symlink(device, link)  # atomic: two fixtures never get the same port
            return number
        except FileExistsError:
            if not os.path.exists(link):  # a dangling link left by a killed run
                try:
                    os.unlink(link)
                    os.symlink(device, link)
                    return number
                except OSError:
                    continue
    raise RuntimeError("no free COM port in %s (com3..com12 all taken)" % dosdevices)


def release_com(prefix, number):
    try:
        os.unlink(os.path.join(prefix, "dosdevices", "com%d" % number))
    except OSError:
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--qmx-sim", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--sim-arg", action="append", default=[])
    parser.add_argument("--silent", action="store_true")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command given")
    if not args.qmx_sim or not os.access(args.qmx_sim, os.X_OK):
        print("skipped: qmx-sim of the Linux build not found (%s); ./test builds it first" % args.qmx_sim)
        return SKIP

    sim = subprocess.Popen([args.qmx_sim] + args.sim_arg, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                           text=True)
    claimed = []
    silent_master = None
    try:
        device = sim.stdout.readline().strip()
        if not device.startswith("/dev/"):
            print("qmx-sim did not print its device path (got %r)" % device)
            return 1
        env = dict(os.environ)
        number = claim_com(args.prefix, device)
        claimed.append(number)
        env["AXTUNE_TEST_COM"] = "COM%d" % number
        if args.silent:
            silent_master, silent_slave = pty.openpty()
            silent_number = claim_com(args.prefix, os.ttyname(silent_slave))
            os.close(silent_slave)
            claimed.append(silent_number)
            env["AXTUNE_TEST_SILENT_COM"] = "COM%d" % silent_number
        print("fixture: %s on %s" % (env["AXTUNE_TEST_COM"], device), flush=True)
        return subprocess.call(command, env=env, timeout=900)
    finally:
        for number in claimed:
            release_com(args.prefix, number)
        if silent_master is not None:
            os.close(silent_master)
        sim.terminate()
        try:
            sim.wait(timeout=10)
        except subprocess.TimeoutExpired:
            sim.kill()


if __name__ == "__main__":
    sys.exit(main())
