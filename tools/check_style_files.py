#!/usr/bin/python3
"""Reads the style-library files that the Wine tests wrote with readers other than the platform's.

Every compound file left in <build>/bin/stylacc-files is read with olefile, which raises every defect it knows
of, and must hold the host document's streams; each is listed with its streams and its "DocVersion2" bytes.
Then one of them is written again from its streams by another writer (gsf createole), and the accessor opens
that file under Wine (the test StyleFileTest.AFileOfAnotherWriterOpens). Usage: check_style_files.py <build>
"""
import os
import subprocess
import sys
import tempfile

import olefile

DOCUMENT_STREAMS = ("HostObjects", "HostNames")
# The file of version 2.3 with the styles "Alpha" and "Beta" that the version test writes first.
REWRITTEN = "version-0.stl"
FOREIGN = "stylacc-foreign.stl"
FOREIGN_TEST = "StyleFileTest.AFileOfAnotherWriterOpens"


def read_streams(path):
    """The file's streams by their path inside it; any defect raises."""
    ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_INCORRECT)
    try:
        return {"/".join(entry): ole.openstream(entry).read() for entry in ole.listdir(streams=True, storages=False)}
    finally:
        ole.close()


def check_file(path, shown):
    streams = read_streams(path)
    missing = [name for name in DOCUMENT_STREAMS if name not in streams]
    if missing:
        raise ValueError("missing " + ", ".join(missing))
    version = streams.get("DocVersion2")
    listed = ", ".join(f"{name} ({len(data)} bytes)" for name, data in sorted(streams.items()))
    print(f"{shown}: {listed}; DocVersion2: {version.hex(' ') if version is not None else 'none'}")


def rewrite_with_gsf(source, target):
    streams = read_streams(source)
    with tempfile.TemporaryDirectory() as folder:
        for name, data in streams.items():
            with open(os.path.join(folder, name), "wb") as out:
                out.write(data)
        run = subprocess.run(["gsf", "createole", target, *sorted(streams)], cwd=folder, capture_output=True,
                             text=True)
        if run.returncode != 0:
            raise ValueError("gsf createole: " + run.stdout + run.stderr)
    if read_streams(target) != streams:
        raise ValueError("the rewritten file holds other streams")


def open_under_wine(build, bin_folder):
    env = dict(os.environ, STYLACC_FOREIGN_FILE=FOREIGN)
    run = subprocess.run([os.path.join(build, "wine-run"), "./stylacc_test.exe", f"--gtest_filter={FOREIGN_TEST}"],
                         cwd=bin_folder, env=env, capture_output=True, text=True)
    if run.returncode != 0 or f"[       OK ] {FOREIGN_TEST}" not in run.stdout:
        sys.stdout.write(run.stdout + run.stderr)
        raise ValueError("the accessor did not open the file")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    bin_folder = os.path.join(build, "bin")
    folder = os.path.join(bin_folder, "stylacc-files")
    paths = sorted(os.path.join(root, name) for root, _, names in os.walk(folder) for name in names)
    if not paths:
        sys.exit(f"no style-library files in {folder}: run the Wine tests first")
    passed = failed = 0

    def outcome(what, step):
        nonlocal passed, failed
        try:
            step()
            passed += 1
        except Exception as error:  # every kind of failure of one file is that file's failure
            print(f"FAILED {what}: {error}")
            failed += 1

    for path in paths:
        shown = os.path.relpath(path, bin_folder)
        shown = shown if len(shown) < 80 else shown[:40] + "..." + shown[-30:]
        outcome(shown, lambda: check_file(path, shown))
    foreign = os.path.join(bin_folder, FOREIGN)
    outcome("rewritten by gsf", lambda: rewrite_with_gsf(os.path.join(folder, REWRITTEN), foreign))
    outcome("opened through the accessor", lambda: open_under_wine(build, bin_folder))
    print(f"stylefiles: {passed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
