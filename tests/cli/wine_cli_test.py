#!/usr/bin/env python3
"""axtune-cli.exe under Wine against qmx-sim on a COM port (run through wine_com_fixture.py, which sets
AXTUNE_TEST_COM): identify, status --json, save and load, or (with --flash FILE) a firmware update.

  wine_cli_test.py WINE_RUN... -- AXTUNE_CLI_EXE [--flash COFF_FILE]
"""
import json
import os
import subprocess
import sys
import tempfile

SKIP = 77


def main():
    split = sys.argv.index("--")
    wine_run, rest = sys.argv[1:split], sys.argv[split + 1:]
    cli, flash = rest[0], None
    if rest[1:2] == ["--flash"]:
        flash = rest[2]
    port = os.environ.get("AXTUNE_TEST_COM", "")
    if not port:
        print("skipped: no COM port with qmx-sim behind it (run through the Wine fixture)")
        return SKIP

    def run(*args, expect=0):
        command = wine_run + [cli, "--port", port] + list(args)
        result = subprocess.run(command, capture_output=True, text=True, timeout=600)
        if result.returncode != 0 and "wine client error" in result.stderr:
            # Wine's own server went away under the program (seen rarely on a loaded machine): that is
            # Wine, not the program; run it once more.
            print("wine lost its server; running the command again", flush=True)
            result = subprocess.run(command, capture_output=True, text=True, timeout=600)
        shown = " ".join(args)
        print("$ axtune-cli.exe --port %s %s  -> exit %d" % (port, shown, result.returncode))
        print(result.stdout[-3000:], result.stderr[-2000:], sep="", flush=True)
        if expect is not None:
            assert result.returncode == expect, "%s ended with exit %d" % (shown, result.returncode)
        return result

    if flash is not None:
        if not os.path.exists(flash):
            print("skipped: the C28x test file %s is not there" % flash)
            return SKIP
        # The simulated drive has an F28335; every QMX10 type is an F280x unless it is named.
        result = run("flash", flash, "--yes", "--processor", "F28335", expect=None)
        assert "Verify ok" in result.stdout, "the update did not verify"
        # A pseudo-terminal has no modem lines: the reset pulse on DTR cannot reach qmx-sim, so the drive
        # keeps running its flash kernel and the identification after the update fails, as it would with
        # a three-wire cable.
        assert result.returncode == 0 or "did not answer after the update" in result.stderr, result.stderr
        return 0

    identify = run("identify")
    assert "QMX10-BA" in identify.stdout and "4.1.7" in identify.stdout, identify.stdout
    status = json.loads(run("status", "--json").stdout)
    assert status["statusword"] == 1616 and status["deviceState"]["code"] == 1, status

    with tempfile.TemporaryDirectory() as folder:
        saved = os.path.join(folder, "drive.qmx")
        run("save", saved, "--user", "Wine", "--company", "Axtune")
        with open(saved, "rb") as f:
            data = f.read()
        assert data.startswith(b"LWB V2.0"), data[:16]
        assert len(data) > 65 * 30, "the file holds %d bytes" % len(data)
        run("load", saved)
    return 0


if __name__ == "__main__":
    sys.exit(main())
