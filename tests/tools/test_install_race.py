#!/usr/bin/python3
"""Another signed-in user racing an elevated install: while the real engine
installs the race package into a new install folder, the host swaps the
install folder's "bin" for a link to a folder of the user's every few
milliseconds, and back. Nothing of the package may land in the user's
folder, and none of the user's files may change. Wine 8 makes no links
itself and shows one made on the host as a reparse point that opens as its
target; both sides act inside the build's Wine prefix only.
  test_install_race.py BUILD_DIR PROBE_EXE [RUNS]"""
import io
import json
import os
import shutil
import subprocess
import sys
import threading
import time
import zipfile

BUILD, PROBE = sys.argv[1], sys.argv[2]
RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 2
HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "..", "ftp", "ftp_test_server.py")
ROOT = os.path.join(BUILD, "wineprefix", "drive_c", "norvale-install-race")
WIN_ROOT = "C:\\norvale-install-race"
WINE_RUN = os.path.join(BUILD, "wine-run.sh")
TIME_LIMIT = 300
USER_FILES = 40


def put(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def make_package(ftp):
    for n in range(150):
        put(os.path.join(ftp, "pkg", "bin", f"f{n:03d}.dat"), b"package %d\n" % n * 50)
    for n in range(40):
        put(os.path.join(ftp, "pkg", "bin", "plugins", f"p{n:02d}.dll"), b"plugin\n" * 30)
    put(os.path.join(ftp, "pkg", "extra", "NvHelper.dll"), b"helper\n" * 100)
    archive = io.BytesIO()
    with zipfile.ZipFile(archive, "w") as z:
        for n in range(20):
            z.writestr(f"pkg/z{n:02d}.txt", "zipped %d\n" % n)
        z.writestr("pkg/deep/inner.txt", "inner\n")
    put(os.path.join(ftp, "pkg", "data.zip"), archive.getvalue())


def start_server(ftp, work):
    state = os.path.join(work, "server.json")
    process = subprocess.Popen(
        ["/usr/bin/python3", SERVER, "--root", ftp, "--state-file", state, "--user", "race",
         "--password", "race", "--idle-timeout", "600"],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(200):
        if os.path.exists(state):
            try:
                with open(state) as f:
                    return process, json.load(f)["port"]
            except (ValueError, OSError):
                pass
        time.sleep(0.05)
    process.kill()
    raise RuntimeError("the FTP server did not start")


def user_files(folder):
    """The user's folder as it is: every entry below it, files with content."""
    found = {}
    for base, dirs, files in os.walk(folder):
        for name in dirs:
            found[os.path.relpath(os.path.join(base, name), folder) + "/"] = None
        for name in files:
            with open(os.path.join(base, name), "rb") as f:
                found[os.path.relpath(os.path.join(base, name), folder)] = f.read()
    return found


def race(run, port):
    case = os.path.join(ROOT, f"run{run}")
    shutil.rmtree(case, ignore_errors=True)
    user = os.path.join(case, "user")
    for n in range(USER_FILES):
        put(os.path.join(user, f"u{n:02d}.txt"), b"mine")
    before = user_files(user)
    pos = os.path.join(case, "Pos")
    binary = os.path.join(pos, "bin")
    parked = os.path.join(pos, "bin.parked")
    stop = threading.Event()
    swaps = [0]

    def attacker():
        while not stop.is_set() and not os.path.isdir(binary):
            time.sleep(0.001)
        while not stop.is_set():
            try:
                os.rename(binary, parked)
                os.symlink("../user", binary)
                swaps[0] += 1
            except OSError:
                pass
            time.sleep(0.002)
            try:
                if os.path.islink(binary):
                    os.unlink(binary)
                if os.path.isdir(parked) and not os.path.lexists(binary):
                    os.rename(parked, binary)
            except OSError:
                pass
            time.sleep(0.002)

    thread = threading.Thread(target=attacker)
    thread.start()
    out = os.path.join(ROOT, "probe.out")
    start = time.time()
    try:
        # Through a file, not a pipe: a Wine service the run starts would
        # hold a pipe open long after the program ended.
        with open(out, "w") as f:
            subprocess.run([WINE_RUN, PROBE, WIN_ROOT + f"\\run{run}\\Pos", "127.0.0.1", str(port),
                            "race", "race", WIN_ROOT + "\\program"],
                           stdin=subprocess.DEVNULL, stdout=f, stderr=subprocess.DEVNULL,
                           timeout=TIME_LIMIT)
    finally:
        stop.set()
        thread.join()
    seconds = time.time() - start
    with open(out) as f:
        said = f.read().replace("\r", "").strip()
    after = user_files(user)
    added = sorted(set(after) - set(before))
    changed = sorted(k for k in before if after.get(k) != before[k])
    arrived = sum(len(files) for base, _, files in os.walk(pos))
    print(f"run {run}: {swaps[0]} swaps in {seconds:.1f} s, probe said {said!r}, "
          f"{arrived} files in the install folder; in the user's folder "
          f"{len(added)} added, {len(changed)} changed or gone")
    for name in (added + changed)[:10]:
        print("  " + name)
    ok = said.startswith("done") and not added and not changed and swaps[0] > 0
    shutil.rmtree(case, ignore_errors=True)
    return ok


def main():
    shutil.rmtree(ROOT, ignore_errors=True)
    ftp = os.path.join(ROOT, "ftp")
    make_package(ftp)
    program = os.path.join(ROOT, "program")
    os.makedirs(program)
    shutil.copy(os.path.join(BUILD, "bin", "7-zip32.dll"), program)
    server, port = start_server(ftp, ROOT)
    ok = True
    try:
        for run in range(1, RUNS + 1):
            ok = race(run, port) and ok
    finally:
        server.terminate()
        server.wait(timeout=10)
        shutil.rmtree(ROOT, ignore_errors=True)
    print("PASS" if ok else "FAIL")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
