#!/usr/bin/python3
"""tools/deps.sh against a stand-in package manager: the package index is
updated only when something installable is missing, a verdict on a package
that cannot go in is remembered against the index it was reached on, and
packages that exclude each other are named."""

import json
import os
import stat
import subprocess
import tempfile
import time
import unittest

DEPS = os.path.join(os.path.dirname(__file__), "..", "..", "tools", "deps.sh")

# One program plays apt-get, dpkg, dpkg-query, sudo and sleep; what it knows
# is in state.json beside it, and every call is appended to calls.log.
STAND_IN = r'''#!/usr/bin/python3
import json, os, sys
here = os.path.dirname(os.path.abspath(__file__))
state_file = os.path.join(here, "state.json")
state = json.load(open(state_file))
name, args = os.path.basename(sys.argv[0]), sys.argv[1:]
with open(os.path.join(here, "calls.log"), "a") as log:
    log.write(" ".join([name] + args) + "\n")

def save():
    json.dump(state, open(state_file, "w"))

def refusal(pkgs):
    for p in pkgs:
        if p in state["uninstallable"]:
            return " %s : Depends: lib%s but it is not going to be installed" % (p, p)
    for a, b in state["conflicts"]:
        if a in pkgs and b in pkgs:
            return " %s : Conflicts: %s" % (b, a)
    return None

if name == "sudo":
    os.execvp(args[0], args)
if name == "sleep":
    sys.exit(0)
if name == "dpkg-query":
    if args[-1] in state["installed"]:
        print("install ok installed", end="")
        sys.exit(0)
    print("dpkg-query: no packages found matching " + args[-1], file=sys.stderr)
    sys.exit(1)
if name == "dpkg":
    if args[0] == "--print-foreign-architectures":
        print("\n".join(state["archs"]))
    elif args[0] == "--add-architecture":
        state["archs"].append(args[1]); save()
    sys.exit(0)
if name == "apt-get":
    if args[0] == "update":
        if state["update_fails"]:
            print("E: Failed to fetch Packages.xz  File has unexpected size", file=sys.stderr)
            sys.exit(100)
        sys.exit(0)
    if args[0] == "install":
        pkgs = [a for a in args[1:] if not a.startswith("-")]
        why = refusal(pkgs)
        if why:
            print("The following packages have unmet dependencies:\n" + why)
            print("E: Unable to correct problems, you have held broken packages.")
            sys.exit(100)
        if "-s" not in args:
            state["installed"] += pkgs; save()
        sys.exit(0)
sys.exit(0)
'''


class DepsScript(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.bin = os.path.join(self.tmp.name, "bin")
        self.lists = os.path.join(self.tmp.name, "lists")
        self.build = os.path.join(self.tmp.name, "build")
        os.makedirs(self.bin)
        os.makedirs(self.lists)
        with open(os.path.join(self.lists, "main_Packages"), "w") as f:
            f.write("index\n")
        program = os.path.join(self.bin, "stand-in")
        with open(program, "w") as f:
            f.write(STAND_IN)
        os.chmod(program, os.stat(program).st_mode | stat.S_IXUSR)
        for name in ("apt-get", "dpkg", "dpkg-query", "sudo", "sleep"):
            os.symlink(program, os.path.join(self.bin, name))
        self.write_state(installed=[], uninstallable=["wine32:i386"], conflicts=[],
                         update_fails=True)

    def tearDown(self):
        self.tmp.cleanup()

    def write_state(self, **state):
        state.setdefault("archs", [])
        with open(os.path.join(self.bin, "state.json"), "w") as f:
            json.dump(state, f)

    def state(self):
        with open(os.path.join(self.bin, "state.json")) as f:
            return json.load(f)

    def run_deps(self, *packages):
        log = os.path.join(self.bin, "calls.log")
        if os.path.exists(log):
            os.remove(log)
        env = dict(os.environ, PATH=self.bin + ":/usr/bin:/bin", NORVALE_BUILD=self.build,
                   NORVALE_APT_LISTS=self.lists)
        done = subprocess.run(["bash", DEPS, *packages], env=env, capture_output=True,
                              text=True, timeout=60)
        calls = open(log).read().splitlines() if os.path.exists(log) else []
        return done, calls

    def updates(self, calls):
        return [c for c in calls if c.startswith("apt-get update")]

    def test_an_uninstallable_package_is_settled_once_per_index(self):
        done, calls = self.run_deps("cmake", "wine", "wine32")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(len(self.updates(calls)), 2)  # one retry of the failing index
        self.assertIn("warning: the package index was only partly updated", done.stderr)
        self.assertIn("note: wine32:i386 cannot be installed", done.stderr)
        self.assertIn("libwine32:i386", done.stderr)
        self.assertEqual(sorted(self.state()["installed"]), ["cmake", "wine"])

        # Again: only the settled package is missing, the index is unchanged.
        done, calls = self.run_deps("cmake", "wine", "wine32")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(self.updates(calls), [])
        self.assertFalse([c for c in calls if c.startswith("apt-get")], calls)
        self.assertNotIn("warning:", done.stderr)
        self.assertIn("note: wine32:i386 cannot be installed", done.stderr)

        # A changed index may have what was missing: it is asked again.
        with open(os.path.join(self.lists, "security_Packages"), "w") as f:
            f.write("newer\n")
        done, calls = self.run_deps("cmake", "wine", "wine32")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(len(self.updates(calls)), 2)

        # So is a verdict older than a day.
        self.run_deps("cmake", "wine", "wine32")
        stamp = os.path.join(self.build, ".deps-settled")
        old = time.time() - 2 * 86400
        os.utime(stamp, (old, old))
        done, calls = self.run_deps("cmake", "wine", "wine32")
        self.assertEqual(len(self.updates(calls)), 2)

    def test_something_installable_missing_still_updates_and_installs(self):
        self.run_deps("cmake", "wine32")
        done, calls = self.run_deps("cmake", "xvfb", "wine32")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(len(self.updates(calls)), 2)
        self.assertIn("xvfb", self.state()["installed"])

        # A run for other packages (the demo's) keeps what was settled, against
        # the index as that run left it.
        with open(os.path.join(self.lists, "main_Packages"), "w") as f:
            f.write("updated by the demo's run\n")
        done, calls = self.run_deps("xdotool")
        self.assertEqual(done.returncode, 0, done.stderr)
        done, calls = self.run_deps("cmake", "wine32")
        self.assertEqual(self.updates(calls), [])
        self.assertIn("note: wine32:i386 cannot be installed", done.stderr)

        # Once wine32 can go in, nothing is remembered any more.
        self.write_state(installed=self.state()["installed"], uninstallable=[], conflicts=[],
                         update_fails=False)
        with open(os.path.join(self.lists, "main_Packages"), "w") as f:
            f.write("fixed\n")
        done, calls = self.run_deps("cmake", "wine32")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("wine32:i386", self.state()["installed"])
        self.assertFalse(os.path.exists(os.path.join(self.build, ".deps-settled")))

    def test_packages_that_exclude_each_other_are_named(self):
        self.write_state(installed=[], uninstallable=["wine32:i386"],
                         conflicts=[["lftp", "ftp-ssl"]], update_fails=False)
        done, calls = self.run_deps("lftp", "cmake", "ftp-ssl", "wine32")
        self.assertEqual(done.returncode, 1)
        self.assertIn("error: ftp-ssl cannot be installed together with lftp", done.stderr)
        self.assertEqual(sorted(self.state()["installed"]), ["cmake", "lftp"])
        # A failed run settles nothing.
        self.assertFalse(os.path.exists(os.path.join(self.build, ".deps-settled")))
        done, calls = self.run_deps("lftp", "cmake", "ftp-ssl", "wine32")
        self.assertEqual(len(self.updates(calls)), 1)


if __name__ == "__main__":
    unittest.main()
