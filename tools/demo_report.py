#!/usr/bin/python3
"""What an installation left on the demo's Wine machine, and what is left of
it after the removal; used by tools/demo.sh.

    demo_report.py snapshot OUT.json
    demo_report.py installed BEFORE.json SETUP_LOG SERVER_LOG PACKAGE_DIR TIMES.json HOLDS
    demo_report.py leftovers BEFORE.json SETUP_LOG
    demo_report.py lftp-commands SETUP_LOG TARGET_DIR
    demo_report.py uninstall-command SETUP_LOG   (the quiet command, one word a line)

The prefix is $WINEPREFIX; Wine is started with $NORVALE_WINE.  "installed"
exits 1 when the product is not installed, "leftovers" when something of it
remains.  Registry values are read with Wine's own reg.exe, in the 64-bit
view (where the Uninstall entry goes) and, for the values written into both
views, in the 32-bit view too.
"""

import datetime
import json
import os
import re
import subprocess
import sys

UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
LAYERS = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\Layers"
FONTS = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts"
CLASSES = r"HKLM\Software\Classes"
VIEWS = ("64", "32")

# Files Wine itself writes while programs run; they say nothing about the product.
NOISE = re.compile(
    r"^(windows/(temp|logs|installer|inf)/|windows/system32/(spool|tasks)/|"
    r"users/[^/]+/(temp|appdata/local/microsoft/windows/(inetcache|history|inetcookies))/|"
    r"users/[^/]+/appdata/local/temp/|programdata/microsoft/windows/wer/)",
    re.IGNORECASE)


def prefix():
    return os.environ["WINEPREFIX"]


def drive_c():
    return os.path.join(prefix(), "drive_c")


def unix_path(win):
    """C:\\a\\b inside the prefix; None for another drive."""
    m = re.match(r"^\s*[cC]:\\?(.*)$", win or "")
    if not m:
        return None
    return os.path.join(drive_c(), *[p for p in m.group(1).split("\\") if p])


def reg_query(key, view, recurse=False):
    """{subkey: {name: (type, value)}} of a key; {} when it does not exist."""
    args = [os.environ["NORVALE_WINE"], "reg", "query", key, "/reg:" + view]
    if recurse:
        args.append("/s")
    env = dict(os.environ, LC_ALL="ja_JP.UTF-8")
    run = subprocess.run(args, cwd=drive_c(), env=env, stdin=subprocess.DEVNULL,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if run.returncode != 0:
        return {}
    result, current = {}, None
    for line in run.stdout.decode("cp932", "replace").splitlines():
        if line.startswith("HKEY_"):
            current = result.setdefault(line.strip(), {})
        elif current is not None and line.startswith("    "):
            m = re.match(r"^    (.*?)    (REG_\w+)    ?(.*)$", line)
            if m:
                current[m.group(1)] = (m.group(2), m.group(3))
    return result


def values(key, view):
    found = reg_query(key, view)
    return next(iter(found.values()), {}) if found else {}


def default_value(key, view="64"):
    """The key's unnamed value; reg.exe names it "(Default)" in the locale's words."""
    return next((v for n, (_, v) in values(key, view).items() if n.startswith("(")), "")


def key_exists(key, view):
    return bool(reg_query(key, view))


def all_files(root):
    """Paths below root (relative, with "/"), files and folders."""
    out = []
    for base, dirs, files in os.walk(root):
        rel = os.path.relpath(base, root)
        for name in dirs + files:
            out.append(name if rel == "." else rel.replace(os.sep, "/") + "/" + name)
    return out


def command_folders():
    """The folders the uninstaller makes for its command file below a TEMP
    (a user's, or the Windows folder's when elevated; "Dekant00-" and a
    unique name), relative to drive_c."""
    found = []
    for top in ("users", os.path.join("windows", "temp")):
        for here, dirs, _ in os.walk(os.path.join(drive_c(), top)):
            found.extend(os.path.relpath(os.path.join(here, d), drive_c())
                         for d in dirs if d.startswith("Dekant00-"))
    return sorted(found)


def snapshot(out):
    state = {
        "files": sorted(p for p in all_files(drive_c()) if not NOISE.match(p + "/")),
        "fonts": {v: sorted(values(FONTS, v)) for v in VIEWS},
    }
    with open(out, "w", encoding="utf-8") as f:
        json.dump(state, f)


def read_setup_log(path):
    """{section: [(key, value)]} of "Setup.log" (code page 932, comments skipped)."""
    sections, current = {}, None
    with open(path, "rb") as f:
        text = f.read().decode("cp932", "replace")
    for line in text.splitlines():
        if line.startswith("["):
            current = sections.setdefault(line[1:line.find("]")], [])
        elif current is not None and "=" in line and not line.startswith(";"):
            key, _, value = line.partition("=")
            current.append((key, value))
    return sections


UNINST_ACCESS = ";Uninstのアクセス許可="
# SDDL names of the accounts the installer's list may name.
ACCOUNTS = {"BA": "Administrators", "SY": "SYSTEM", "BU": "Users", "WD": "Everyone",
            "AU": "Authenticated Users", "CO": "CREATOR OWNER", "OW": "OWNER RIGHTS",
            "IU": "INTERACTIVE", "TI": "TrustedInstaller"}
# Rights that write, delete or change the list or the owner.
CHANGE_MASK = 0x00000002 | 0x00000004 | 0x00000010 | 0x00000040 | 0x00000100 | 0x00010000 \
    | 0x00040000 | 0x00080000 | 0x40000000 | 0x10000000
CHANGE_RIGHTS = {"FA", "FW", "GA", "GW", "SD", "WD", "WO", "DC", "CC", "WP", "KA", "KW"}


def uninst_access(setup_log):
    """What the installer's record says it applied to "Uninst": None when the
    record has no such line, else {"text", "inherited", "owner", "protected",
    "change", "read"} read from the SDDL it wrote."""
    with open(setup_log, "rb") as f:
        text = f.read().decode("cp932", "replace")
    line = next((l for l in text.splitlines()
                 if l.startswith(UNINST_ACCESS) or l.startswith(";★Uninstのアクセス許可")), None)
    if line is None:
        return None
    if not line.startswith(UNINST_ACCESS):
        return {"text": line[1:], "failed": True}
    sddl = line[len(UNINST_ACCESS):]
    if not sddl.startswith("O:"):
        return {"text": sddl, "inherited": True}
    return dict(text=sddl, inherited=False, **list_reading(sddl))


def list_reading(sddl):
    """{"owner", "protected", "change", "read"} of a list as SDDL: who may
    change, who may only read and run."""
    owner = re.match(r"O:([A-Z]{2}|S-[0-9-]+)", sddl)
    dacl = sddl[sddl.find("D:") + 2:] if "D:" in sddl else ""
    flags = dacl[:dacl.find("(")] if "(" in dacl else dacl
    change, read = [], []
    for ace in re.findall(r"\(([^)]*)\)", dacl):
        kind, _, rights, _, _, sid = (ace.split(";") + [""] * 6)[:6]
        who = ACCOUNTS.get(sid, sid)
        if kind != "A":
            continue
        if rights.lower().startswith("0x"):
            writes = int(rights, 16) & CHANGE_MASK != 0
        else:
            writes = any(rights[i:i + 2] in CHANGE_RIGHTS for i in range(0, len(rights), 2))
        (change if writes else read).append(who)
    return {"owner": ACCOUNTS.get(owner.group(1), owner.group(1)) if owner else "",
            "protected": "P" in flags, "change": change, "read": read}


FILE_ACCESS = ";ファイルのアクセス許可="


def generated_file_access(setup_log):
    """The record's lines on the files the installer wrote itself into the
    install folder: [{"path", "state", "sddl"}] in the record's order."""
    with open(setup_log, "rb") as f:
        text = f.read().decode("cp932", "replace")
    files = []
    for line in text.splitlines():
        if line.startswith(FILE_ACCESS):
            path, _, rest = line[len(FILE_ACCESS):].partition("|")
            state, _, sddl = rest.partition("|")
            files.append({"path": path, "state": state, "sddl": sddl})
    return files


def report_generated_files(setup_log, app, problems):
    """Prints who may change each file the installer generated, the logon
    command files first among them; one that users may change, or a logon
    command file in the install folder the record names no list for, is a
    problem."""
    print("who may change the files the installer generated itself (a logon command file starts "
          "its program at every user's logon, an administrator's too): the access lists they "
          "were made with, as the record says (Wine keeps no file's list to read back):")
    files = generated_file_access(setup_log)
    logon = [f for f in files if f["path"].lower().endswith(".cmd")]
    for f in logon + [f for f in files if f not in logon]:
        kind = "logon command file" if f in logon else "file"
        if f["state"] == "継承":
            print(f"  {kind} {f['path']}: what the install folder passes down (the installer ran "
                  "without administrator rights)")
            continue
        reading = list_reading(f["sddl"])
        others = sorted(set(reading["change"]) - MACHINE_OWN)
        print(f"  {kind} {f['path']}: may change: {', '.join(reading['change']) or 'nobody'}; "
              f"may read and run: {', '.join(reading['read']) or 'nobody'}; owner "
              f"{reading['owner']}; "
              + ("not inheriting from the install folder" if reading["protected"]
                 else "INHERITING from the install folder")
              + (f"; OTHERS: {', '.join(others)}" if others else ""))
        if others or not reading["protected"] or f["state"] != "作成":
            problems.append("generated file access lists")
    recorded = {f["path"].lower() for f in logon}
    folder = unix_path(app) if app else None
    if folder and os.path.isdir(folder):
        for name in sorted(os.listdir(folder)):
            path = app.rstrip("\\") + "\\" + name
            if name.lower().endswith(".cmd") and path.lower() not in recorded:
                print(f"  logon command file {path}: MISSING from the record (its list is unknown)")
                problems.append("generated file access lists")
    if not files:
        print("  (the record names none)")


FOLDER_ACCESS = ";フォルダのアクセス許可="
FOLDER_WARNING = ";★フォルダのアクセス許可="
# SDDL's letters for the rights of a file or folder, generic ones read as a
# file's.
RIGHT_BITS = {"GA": 0x1F01FF, "GR": 0x120089, "GW": 0x120116, "GX": 0x1200A0,
              "FA": 0x1F01FF, "FR": 0x120089, "FW": 0x120116, "FX": 0x1200A0,
              "RC": 0x20000, "SD": 0x10000, "WD": 0x40000, "WO": 0x80000,
              "CC": 0x1, "DC": 0x2, "LC": 0x4, "SW": 0x8, "RP": 0x10, "WP": 0x20, "DT": 0x40,
              "LO": 0x80, "CR": 0x100}
DELETE, DELETE_CHILD = 0x10000, 0x40
# Owners only the machine's administrators stand behind.
MACHINE_OWN = {"Administrators", "SYSTEM", "TrustedInstaller"}
TRUSTED_INSTALLER = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"


def account_name(sid):
    if sid == TRUSTED_INSTALLER:
        return "TrustedInstaller"
    return ACCOUNTS.get(sid, sid)


def own_rights(sddl):
    """({account: rights} of the entries that are the folder's own, not those
    that only pass down, owner)."""
    owner = re.match(r"O:([A-Z]{2}|S-[0-9-]+)", sddl)
    dacl = sddl[sddl.find("D:") + 2:] if "D:" in sddl else ""
    rights = {}
    for ace in re.findall(r"\(([^)]*)\)", dacl):
        kind, flags, letters, _, _, sid = (ace.split(";") + [""] * 6)[:6]
        if kind != "A" or "IO" in flags:
            continue
        if letters.lower().startswith("0x"):
            mask = int(letters, 16)
        else:
            mask = 0
            for i in range(0, len(letters), 2):
                mask |= RIGHT_BITS.get(letters[i:i + 2], 0)
        who = account_name(sid)
        rights[who] = rights.get(who, 0) | mask
    return rights, account_name(owner.group(1)) if owner else ""


def may_delete_or_rename(sddl, parent_sddl):
    """Who may delete or rename a folder: DELETE on it, the right to delete
    what its parent holds, or ownership (an owner may give itself either)."""
    rights, owner = own_rights(sddl)
    who = {name for name, mask in rights.items() if mask & DELETE}
    if parent_sddl:
        who |= {name for name, mask in own_rights(parent_sddl)[0].items() if mask & DELETE_CHILD}
    if owner:
        who.add(owner)
    return who


def install_path_access(setup_log):
    """The record's lines on the folders from the drive root down to Uninst,
    in that order: [{"path", "state", "sddl", "warning"}]; Uninst's from its
    own line (state "made" when its list is there)."""
    with open(setup_log, "rb") as f:
        text = f.read().decode("cp932", "replace")
    folders = []
    for line in text.splitlines():
        if line.startswith(FOLDER_ACCESS) or line.startswith(FOLDER_WARNING):
            warning = line.startswith(FOLDER_WARNING)
            rest = line[len(FOLDER_WARNING if warning else FOLDER_ACCESS):]
            path, _, rest = rest.partition("|")
            state, _, sddl = rest.partition("|")
            folders.append({"path": path, "state": state, "sddl": sddl, "warning": warning})
    access = uninst_access(setup_log)
    if folders and access is not None:
        uninst = folders[-1]["path"].rstrip("\\") + "\\Uninst"
        if access.get("failed"):
            folders.append({"path": uninst, "state": access["text"], "sddl": "", "warning": True})
        elif access["inherited"]:
            folders.append({"path": uninst, "state": "継承", "sddl": "", "warning": False})
        else:
            folders.append({"path": uninst, "state": "Uninst", "sddl": access["text"],
                            "warning": False})
    return folders


STATES = {"既存": "found", "作成": "made with its list", "変更": "found, closed to renames",
          "Uninst": "made with its list", "継承": "inherits (the installer ran without "
          "administrator rights)", "他のアカウントが所有": "owned by another account: left as it is"}


def report_install_path(setup_log, problems):
    """Prints who may delete or rename each folder from the drive root down to
    Uninst; a folder that others may take away is a problem."""
    print("who may delete or rename each folder from the drive root down to Uninst: the access "
          "lists the installer applied or found, as its record says (Wine keeps no folder's "
          "list to read back):")
    folders = install_path_access(setup_log)
    if not folders:
        print("  MISSING: the record names no folder's list")
        problems.append("install path access lists")
        return
    # The drive root's owner is the system's (Wine names the running account).
    trusted = set(MACHINE_OWN)
    parent = ""
    for n, folder in enumerate(folders):
        state = STATES.get(folder["state"], folder["state"])
        if n == 0 and len(folder["path"]) <= 3:
            trusted.add(own_rights(folder["sddl"])[1])
            print(f"  {folder['path']} ({state}): nobody, a drive's root is neither deleted nor "
                  "renamed")
        elif not folder["sddl"]:
            print(f"  {folder['path']} ({state})" + (": NOT SET" if folder["warning"] else ""))
            if folder["warning"]:
                problems.append("install path access lists")
        else:
            who = may_delete_or_rename(folder["sddl"], parent)
            others = sorted(who - trusted)
            named = [name if name in MACHINE_OWN or name in others
                     else name + " (the drive root's owner)" for name in sorted(who)]
            print(f"  {folder['path']} ({state}): {', '.join(named) or 'nobody'}"
                  + (f"; OTHERS: {', '.join(others)}" if others else ""))
            if others or folder["warning"]:
                problems.append("install path access lists")
        parent = folder["sddl"]


def first(section, key):
    return next((v for k, v in section if k.lower() == key.lower()), "")


def shortcuts(log):
    return [v for k, v in log.get("ショートカット", []) if k.startswith("ShortCut")]


def associations(log):
    """[(ext, id)] of the record's file associations."""
    entries, current = [], {}
    for k, v in log.get("APファイルリンク", []):
        m = re.match(r"^ext\d+_(ext|id)$", k)
        if m:
            current[m.group(1)] = v
            if len(current) == 2:
                entries.append((current["ext"], current["id"]))
                current = {}
    return entries


def admin_programs(log):
    return [v for k, v in log.get("管理者権限", []) if k.lower().startswith("exe")]


def downloads(log):
    """[(src, dst)] of the record's [Download] section."""
    section = log.get("Download", [])
    srcs = [v for k, v in section if re.match(r"^src\d+$", k)]
    dsts = [v for k, v in section if re.match(r"^dst\d+$", k)]
    return list(zip(srcs, dsts))


def split_command(line):
    """A command line's program and arguments: a quoted program path may hold
    blanks; the arguments are separated by blanks."""
    line = line.strip()
    if line.startswith('"'):
        program, _, rest = line[1:].partition('"')
    else:
        program, _, rest = line.partition(" ")
    return [program] + rest.split() if program else []


def lftp_commands(setup_log, target):
    """lftp commands fetching what the installer downloaded, one folder per entry."""
    for n, (src, _) in enumerate(downloads(read_setup_log(setup_log)), 1):
        local = os.path.join(target, "%03d" % n)
        quoted = '"' + src.replace('"', '\\"') + '"'
        if src.endswith("/"):
            print(f'mirror {quoted} "{local}"')
        else:
            print(f'!mkdir -p "{local}"')
            print(f'get -O "{local}" {quoted}')


def layers_for(folder):
    """{view: [program]} of the run-as-administrator values below the folder."""
    folder = folder.rstrip("\\").lower() + "\\"
    return {v: sorted(n for n in values(LAYERS, v) if n.lower().startswith(folder))
            for v in VIEWS}


def new_fonts(before):
    found = {}
    for v in VIEWS:
        now = values(FONTS, v)
        for name in sorted(set(now) - set(before["fonts"][v])):
            found[name] = now[name][1]
    return found


def expected_files(outdir, app, holds):
    """{unix path: size} of the package's manifest below the install folder, for
    the lines whose requirements all hold."""
    expected = {}
    with open(os.path.join(outdir, "manifest.tsv"), encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\r\n").split("\t")
            if len(fields) != 3:
                continue
            requirements, target, source = fields
            if all(r in holds for r in requirements.split(",") if r):
                path = os.path.join(app, *target.split("\\"))
                expected[path] = os.path.getsize(os.path.join(outdir, source))
    return expected


def tree_size(root):
    count = size = 0
    for base, _, files in os.walk(root):
        for name in files:
            count += 1
            size += os.path.getsize(os.path.join(base, name))
    return count, size


def server_times(log_path, since, until):
    """What the server's log holds between two times (epoch s): the first line's
    and the last completed transfer's time, the sessions, the files sent, their
    bytes and the seconds spent sending them."""
    found = {"start": None, "end": None, "sessions": 0, "files": 0, "bytes": 0, "sending": 0.0}
    pattern = re.compile(r"^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d),(\d{3}) (.*)$")
    sent = re.compile(r"\] RETR .* completed=1 bytes=(\d+) seconds=([\d.]+)")
    with open(log_path, encoding="utf-8", errors="replace") as f:
        for line in f:
            m = pattern.match(line)
            if not m:
                continue
            at = datetime.datetime.strptime(m.group(1), "%Y-%m-%d %H:%M:%S").timestamp() + \
                int(m.group(2)) / 1000
            if at < since or at > until:
                continue
            text = m.group(3)
            if found["start"] is None:
                found["start"] = at
            if "-> 226" in text:
                found["end"] = at
            if "FTP session opened" in text:
                found["sessions"] += 1
            s = sent.search(text)
            if s:
                found["files"] += 1
                found["bytes"] += int(s.group(1))
                found["sending"] += float(s.group(2))
    return found


def installed(before_path, setup_log, server_log, package_dir, times_path, holds):
    with open(before_path, encoding="utf-8") as f:
        before = json.load(f)
    with open(times_path, encoding="utf-8") as f:
        times = json.load(f)
    if not os.path.isfile(setup_log):
        print("NOT INSTALLED: no install record " + setup_log)
        return 1
    log = read_setup_log(setup_log)
    setup = log.get("Setup", [])
    app_win, app_id = first(setup, "AppDir"), first(setup, "AppId")
    app = unix_path(app_win)
    problems = []

    print(f"install folder: {app_win}")
    run = times["finished"] - times["install_pressed"]
    print(f"install run: {run:.1f} s (Install pressed -> finish page shown)")
    server = server_times(server_log, times["install_pressed"], times["finished"])
    if server["start"] and server["end"]:
        share = server["end"] - server["start"]
        print(f"  of which the download: {share:.1f} s ({100 * share / run:.0f} %), from the FTP "
              "server's log: its first line after the press to its last completed transfer")
        print(f"    {server['files']} files, {server['bytes']} bytes sent in "
              f"{server['sending']:.2f} s, in {server['sessions']} FTP sessions (connect, login, "
              f"quit)" + ("; the time goes between the transfers, not into them"
                          if server["sending"] < share / 2 else ""))
    if times.get("lftp") is not None:
        print(f"  lftp mirror of the same files from the same server: {times['lftp']:.1f} s")

    count, size = tree_size(app)
    uninst_count, uninst_size = tree_size(os.path.join(app, "Uninst"))
    print(f"files installed: {count} files, {size} bytes below the install folder "
          f"(Uninst: {uninst_count} files, {uninst_size} bytes)")
    access = uninst_access(setup_log)
    print("who may change Uninst: the access list the installer applied, as its record says "
          "(Wine keeps no folder's list to read back):")
    if access is None:
        print("  MISSING: the record names no list")
        problems.append("Uninst access list")
    elif access.get("failed"):
        print("  NOT SET: " + access["text"])
        problems.append("Uninst access list")
    elif access["inherited"]:
        print("  the list Uninst inherits (the installer ran without administrator rights)")
    else:
        print(f"  may change: {', '.join(access['change']) or 'nobody'}; may read and run: "
              f"{', '.join(access['read']) or 'nobody'}; owner {access['owner']}; "
              + ("not inheriting from the install folder" if access["protected"]
                 else "INHERITING from the install folder"))
        print(f"  ({access['text']})")
        if set(access["change"]) - {"Administrators", "SYSTEM", "TrustedInstaller"} \
                or not access["protected"]:
            problems.append("Uninst access list")
    report_install_path(setup_log, problems)
    report_generated_files(setup_log, app_win, problems)
    expected = expected_files(package_dir, app, set(holds.split(",")))
    missing = [p for p, s in expected.items()
               if not os.path.isfile(p) or os.path.getsize(p) != s]
    print(f"  the package's manifest for these choices ({holds}): {len(expected)} files, "
          f"{sum(expected.values())} bytes; present with their sizes: "
          f"{len(expected) - len(missing)} of {len(expected)}")
    for p in missing[:10]:
        print("  missing or of another size: " + os.path.relpath(p, drive_c()))
    if missing or not expected:
        problems.append("package files")

    entry = values(UNINSTALL + "\\" + app_id, "64")
    print(f"Uninstall entry {app_id} (64-bit view):" + ("" if entry else " MISSING"))
    for name, (kind, value) in entry.items():
        print(f"  {name} = {value}  ({kind})")
    if not entry:
        problems.append("Uninstall entry")

    links = shortcuts(log)
    print(f"shortcuts: {len(links)}  (group: {first(log.get('ショートカット', []), 'Group')})")
    for link in links:
        here = os.path.isfile(unix_path(link) or "")
        print(f"  {'ok     ' if here else 'MISSING'} {link}")
        if not here:
            problems.append("shortcut " + link)

    fonts = new_fonts(before)
    print(f"fonts added: {len(fonts)}")
    for name, value in fonts.items():
        print(f"  {name} = {value}")

    links = associations(log)
    print(f"file associations: {len(links)}")
    for ext, prog in links:
        command = default_value(CLASSES + "\\" + prog + r"\shell\open\command")
        ext_value = default_value(CLASSES + "\\" + ext)
        print(f"  {ext} -> {ext_value or 'MISSING'}; {prog} opens with {command or 'MISSING'}")
        if not ext_value:
            problems.append("association " + ext)

    layers = layers_for(app_win)
    print("administrator values (AppCompatFlags Layers):")
    for view in VIEWS:
        found = values(LAYERS, view)
        for name in layers[view]:
            print(f"  {view}-bit view: {name} = {found[name][1]}")
    # A 32-bit installer on 64-bit Windows writes both views; a 64-bit one its own.
    views = VIEWS if os.environ.get("NORVALE_ARCH") == "i686" else ("64",)
    for program in admin_programs(log):
        if not all(any(n.lower() == program.lower() for n in layers[v]) for v in views):
            problems.append("administrator value " + program)
            print(f"  MISSING in a view: {program}")

    print(f"Setup.log: {os.path.getsize(setup_log)} bytes")
    if problems:
        print("NOT INSTALLED completely: " + ", ".join(problems))
        return 1
    return 0


def leftovers(before_path, setup_log):
    with open(before_path, encoding="utf-8") as f:
        before = json.load(f)
    log = read_setup_log(setup_log)
    setup = log.get("Setup", [])
    app_win, app_id = first(setup, "AppDir"), first(setup, "AppId")
    left = []

    if os.path.exists(unix_path(app_win)):
        left.append(f"install folder {app_win}: " + ", ".join(all_files(unix_path(app_win))[:8]))
    for view in VIEWS:
        if key_exists(UNINSTALL + "\\" + app_id, view):
            left.append(f"Uninstall entry ({view}-bit view)")
    for link in shortcuts(log):
        if os.path.exists(unix_path(link) or ""):
            left.append("shortcut " + link)
    group = first(log.get("ショートカット", []), "Group")
    if group and os.path.exists(unix_path(group) or ""):
        left.append("program group " + group)
    for ext, prog in associations(log):
        for key in (ext, prog):
            if key_exists(CLASSES + "\\" + key, "64"):
                left.append("association key " + key)
    for view, names in layers_for(app_win).items():
        left.extend(f"administrator value ({view}-bit view) {n}" for n in names)
    left.extend(f"font value {name}" for name in new_fonts(before))

    everything = all_files(drive_c())
    added = sorted(set(p for p in everything if not NOISE.match(p + "/")) - set(before["files"]))
    left.extend("font file " + p for p in added if p.lower().startswith("windows/fonts/"))
    left.extend("command file " + p for p in everything if p.lower().endswith("/deleteme.cmd"))
    left.extend("command file's folder " + p for p in command_folders())

    uninstaller = app_win.rstrip("\\") + r"\Uninst\Dekant00.exe"
    print(f"after the removal ({uninstaller} /S):")
    if left:
        for item in left:
            print("  LEFT: " + item)
    else:
        print("  nothing of the product is left: install folder, Uninstall entry, shortcuts, "
              "program group, associations, administrator values and fonts are gone")
    app_rel = os.path.relpath(unix_path(app_win), drive_c()).replace(os.sep, "/").lower()
    others = [p for p in added
              if not p.lower().startswith(("norvalesetup", "windows/fonts/", app_rel))]
    if others:
        print("  other new paths in the prefix since before the installation (not the product's "
              "by the record):")
        for p in others[:20]:
            print("    " + p)
    return 1 if left else 0


def main():
    command, args = sys.argv[1], sys.argv[2:]
    if command == "snapshot":
        snapshot(*args)
        return 0
    if command == "installed":
        return installed(*args)
    if command == "leftovers":
        return leftovers(*args)
    if command == "uninstall-command":
        log = read_setup_log(args[0]).get("Setup", [])
        entry = values(UNINSTALL + "\\" + first(log, "AppId"), "64")
        print("\n".join(split_command(entry.get("QuietUninstallString", ("", ""))[1])))
        return 0
    if command == "lftp-commands":
        lftp_commands(*args)
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
