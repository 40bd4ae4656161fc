#!/usr/bin/python3
"""Another signed-in user racing the elevated removal of a folder they may
change: from the host side, the folder being removed is swapped for a link
to a folder of the user's, once at the worst moment and then in a loop while
the uninstaller empties its install folder. Not one of the user's files may
go. Wine 8 makes no links itself, and shows one made on the host as a
reparse point that opens as its target; both sides act inside the build's
Wine prefix only.
  test_removal_race.py BUILD_DIR PROBE_EXE [RUNS]"""
import os
import shutil
import subprocess
import sys
import threading
import time

BUILD, PROBE = sys.argv[1], sys.argv[2]
RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 3
ROOT = os.path.join(BUILD, "wineprefix", "drive_c", "norvale-race")
WIN_ROOT = "C:\\norvale-race"
WINE_RUN = os.path.join(BUILD, "wine-run.sh")
TIME_LIMIT = 180


def fill(folder, count, text, depth=0, prefix="f"):
    os.makedirs(folder, exist_ok=True)
    for n in range(count):
        sub = folder if depth == 0 else os.path.join(folder, f"d{n % depth}")
        os.makedirs(sub, exist_ok=True)
        with open(os.path.join(sub, f"{prefix}{n:05d}.dat"), "w") as f:
            f.write(text)


def intact(folder, count):
    """How many of the user's files are still there, unchanged."""
    kept = 0
    for base, _, files in os.walk(folder):
        for name in files:
            with open(os.path.join(base, name)) as f:
                kept += f.read() == "mine"
    return kept


class Answer:
    def __init__(self, stdout):
        self.stdout = stdout


def probe(*args):
    # Through a file, not a pipe: a Wine service the run starts would hold a
    # pipe open long after the program ended.
    out = os.path.join(ROOT, "probe.out")
    with open(out, "w") as f:
        subprocess.run([WINE_RUN, PROBE, *args], stdin=subprocess.DEVNULL, stdout=f,
                       stderr=subprocess.DEVNULL, timeout=TIME_LIMIT)
    with open(out) as f:
        return Answer(f.read().replace("\r", ""))


def swap_at_the_worst_moment(entry):
    """The removal stops between its listing and opening `entry`; the host
    renames the folder away and puts a link to the user's folder there."""
    case = os.path.join(ROOT, "moment")
    shutil.rmtree(case, ignore_errors=True)
    fill(os.path.join(case, "user"), 40, "mine")
    fill(os.path.join(case, "tree", "data", "deep"), 20, "ours")
    fill(os.path.join(case, "tree", "data"), 20, "ours")
    fill(os.path.join(case, "tree"), 5, "ours")
    target = os.path.join(case, "tree", "data") if entry == "data" else \
        os.path.join(case, "tree", "data", "deep")
    done = threading.Event()

    def attacker():
        deadline = time.time() + TIME_LIMIT
        while time.time() < deadline and not done.is_set():
            if os.path.exists(os.path.join(case, "swap-now")):
                os.rename(target, os.path.join(case, "parked"))
                os.symlink(os.path.relpath(os.path.join(case, "user"),
                                           os.path.dirname(target)), target)
                open(os.path.join(case, "swap-done"), "w").close()
                return
            time.sleep(0.005)

    thread = threading.Thread(target=attacker)
    thread.start()
    try:
        result = probe("tree", WIN_ROOT + "\\moment\\tree", entry, WIN_ROOT + "\\moment")
    finally:
        done.set()
        thread.join()
    swapped = os.path.islink(target)
    kept = intact(os.path.join(case, "user"), 40)
    print(f"swap of {entry} before it was opened: swapped={swapped}, "
          f"user files kept {kept}/40, probe said {result.stdout.strip()!r}")
    ok = swapped and kept == 40 and result.stdout.startswith("done")
    # What the swap moved away is ours, and stays where it was moved.
    ok = ok and len(os.listdir(os.path.join(case, "parked"))) > 0
    shutil.rmtree(case, ignore_errors=True)
    return ok


def swap_loop_during_uninstall(run):
    """The uninstaller removes an install folder of 3,000 data files while the
    host swaps `data` for a link to the user's 3,002 files every few
    milliseconds, and back.

    The user's files have names of their own here. Wine's server deletes a
    closed file by the path it was opened under, after checking that the
    path still names that file: a swap between that check and the unlink
    takes the user's file of the same name through the link, whatever the
    program did (on Windows a delete acts on the file that was opened). A
    walk that entered the link would still take the user's files; the swap
    between listing and opening, with the same names on both sides, is
    swap_at_the_worst_moment's."""
    case = os.path.join(ROOT, f"loop{run}")
    shutil.rmtree(case, ignore_errors=True)
    user = os.path.join(case, "user")
    pos = os.path.join(case, "Pos")
    data = os.path.join(pos, "data")
    parked = os.path.join(pos, "data.parked")
    fill(user, 3002, "mine", depth=3, prefix="u")
    fill(data, 3000, "ours", depth=3)
    fill(os.path.join(pos, "Uninst"), 2, "ours")
    with open(os.path.join(pos, "Uninst", "Dekant00.exe"), "w") as f:
        f.write("x")
    stop = threading.Event()
    swaps = [0]

    def attacker():
        link_text = os.path.relpath(user, pos)
        while not stop.is_set():
            try:
                os.rename(data, parked)
            except OSError:
                pass
            try:
                os.symlink(link_text, data)
                swaps[0] += 1
            except OSError:
                pass
            time.sleep(0.002)
            try:
                if os.path.islink(data):
                    os.unlink(data)
                if os.path.isdir(parked) and not os.path.lexists(data):
                    os.rename(parked, data)
            except OSError:
                pass
            time.sleep(0.002)

    thread = threading.Thread(target=attacker)
    thread.start()
    start = time.time()
    try:
        result = probe("install", WIN_ROOT + f"\\loop{run}\\Pos")
    finally:
        stop.set()
        thread.join()
    seconds = time.time() - start
    kept = intact(user, 3002)
    if kept != 3002:
        present = {os.path.relpath(os.path.join(b, n), user)
                   for b, _, files in os.walk(user) for n in files}
        wanted = {os.path.join(f"d{n % 3}", f"u{n:05d}.dat") for n in range(3002)}
        print("  lost:", sorted(wanted - present)[:20])
    ours = sum(len(files) for base, _, files in os.walk(pos))
    print(f"run {run}: {swaps[0]} swaps in {seconds:.1f} s, user files kept {kept}/3002, "
          f"{ours} of the 3,000 data files left, probe said {result.stdout.strip()!r}")
    ok = kept == 3002 and result.stdout.startswith("done")
    shutil.rmtree(case, ignore_errors=True)
    return ok


def main():
    os.makedirs(ROOT, exist_ok=True)
    ok = True
    try:
        for entry in ("data", "deep"):
            ok = swap_at_the_worst_moment(entry) and ok
        for run in range(1, RUNS + 1):
            ok = swap_loop_during_uninstall(run) and ok
    finally:
        shutil.rmtree(ROOT, ignore_errors=True)
    print("PASS" if ok else "FAIL")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
