#!/usr/bin/python3
"""The demo's reading of the install record, the package manifest and the FTP
server's log: what it reports must come from the right lines."""

import datetime
import io
import os
import sys
import tempfile
import unittest
import unittest.mock

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
import demo_report  # noqa: E402

UNINST_LIST = "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
# The drive root of Windows 10, and the install folder made below it, closed
# to renames: users keep Modify for what lies inside.
ROOT_LIST = ("O:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
             "(A;OICIIO;SDGXGWGR;;;AU)(A;;LC;;;AU)")
APP_LIST = ("O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
            "(A;;0x1201bf;;;AU)(A;OICIIO;SDGXGWGR;;;AU)")
ROOT_LINE = ";フォルダのアクセス許可=C:\\|既存|" + ROOT_LIST
# A file the installer writes itself into the install folder.
FILE_LIST = "O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1200a9;;;BU)"
LOGON_LINE = ";ファイルのアクセス許可=C:\\Norvale POS\\NvTray.CMD|作成|" + FILE_LIST
APP_LINE = ";フォルダのアクセス許可=C:\\Norvale POS|作成|" + APP_LIST
RECORD = "\r\n".join([
    ";Setup処理を開始しました。",
    ROOT_LINE,
    APP_LINE,
    ";Uninstのアクセス許可=" + UNINST_LIST,
    ";ファイルのアクセス許可=C:\\Norvale POS\\Setup_Start.txt|作成|" + FILE_LIST,
    "[Setup]",
    ";セットアップ情報",
    "AppId={6C1B5E0A-4D7F-4E8B-9A21-3F0C2D5B7E94}",
    "AppDir=C:\\Norvale POS",
    "[Download]",
    ";ダウンロード結果",
    "Count=3",
    "",
    "src001=/norvale/pkg/core.zip",
    "dst001=C:\\Norvale POS\\core.zip",
    "err001=",
    "★src001=/norvale/pkg/core.zip",
    "★dst001=C:\\Norvale POS\\core.zip",
    "★skp001=",
    "src002=/norvale/pkg/manual/",
    "dst002=C:\\Norvale POS\\manual",
    "err002=",
    "[ショートカット]",
    "Group=C:\\ProgramData\\Start Menu\\Norvale POS",
    "Count=2",
    LOGON_LINE,
    "ShortCut01=C:\\users\\Public\\Desktop\\Norvale POS.lnk",
    "err01=",
    "ShortCut02=C:\\ProgramData\\Start Menu\\Norvale POS\\Norvale POS.lnk",
    "err02=ショートカットの作成に失敗しました！",
    "[APファイルリンク]",
    "ext01_ext=.npos",
    "ext01_id=NorvalePOS.Slip",
    "ext01_name=伝票",
    "ext01_path=C:\\Norvale POS\\NorvalePos.exe",
    "ext01_err=",
    "[管理者権限]",
    "exe01=C:\\Norvale POS\\NorvalePos.exe",
    "err01=",
    ";★Setup_Start.txtを削除できませんでした！（ファイルが存在しませんでした）",
]) + "\r\n"


class RecordTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.path = os.path.join(self.dir.name, "Setup.log")
        with open(self.path, "wb") as f:
            f.write(RECORD.encode("cp932"))
        self.log = demo_report.read_setup_log(self.path)

    def tearDown(self):
        self.dir.cleanup()

    def test_lists_come_from_their_own_sections(self):
        self.assertEqual(demo_report.first(self.log["Setup"], "appdir"), "C:\\Norvale POS")
        self.assertEqual(demo_report.shortcuts(self.log), [
            "C:\\users\\Public\\Desktop\\Norvale POS.lnk",
            "C:\\ProgramData\\Start Menu\\Norvale POS\\Norvale POS.lnk"])
        self.assertEqual(demo_report.associations(self.log), [(".npos", "NorvalePOS.Slip")])
        self.assertEqual(demo_report.admin_programs(self.log), ["C:\\Norvale POS\\NorvalePos.exe"])

    def test_skipped_repeats_are_not_downloads_of_their_own(self):
        self.assertEqual(demo_report.downloads(self.log), [
            ("/norvale/pkg/core.zip", "C:\\Norvale POS\\core.zip"),
            ("/norvale/pkg/manual/", "C:\\Norvale POS\\manual")])

    def test_lftp_fetches_files_and_mirrors_folders(self):
        with unittest.mock.patch("sys.stdout", new_callable=io.StringIO) as out:
            demo_report.lftp_commands(self.path, "/tmp/x")
        self.assertEqual(out.getvalue().splitlines(), [
            '!mkdir -p "/tmp/x/001"',
            'get -O "/tmp/x/001" "/norvale/pkg/core.zip"',
            'mirror "/norvale/pkg/manual/" "/tmp/x/002"'])


class ManifestTest(unittest.TestCase):
    def test_only_lines_whose_requirements_all_hold(self):
        with tempfile.TemporaryDirectory() as outdir:
            for name, size in (("a", 3), ("b", 5), ("c", 7)):
                with open(os.path.join(outdir, name), "wb") as f:
                    f.write(b"x" * size)
            with open(os.path.join(outdir, "manifest.tsv"), "w", encoding="utf-8") as f:
                f.write("\tNorvalePos.exe\ta\n64bit\tdrivers\\NvPrinter.dll\tb\n"
                        "64bit,task2\tsample\\売上.csv\tc\n")
            expected = demo_report.expected_files(outdir, "/app", {"64bit", "win10"})
        self.assertEqual(expected, {"/app/NorvalePos.exe": 3,
                                    os.path.join("/app", "drivers", "NvPrinter.dll"): 5})


class ServerLogTest(unittest.TestCase):
    def test_download_is_what_the_log_holds_between_the_press_and_the_finish_page(self):
        def stamp(seconds):
            at = datetime.datetime(2026, 12, 9, 12, 0, 0) + datetime.timedelta(seconds=seconds)
            return at.strftime("%Y-%m-%d %H:%M:%S") + ",%03d" % (at.microsecond // 1000)
        base = datetime.datetime(2026, 12, 9, 12, 0, 0).timestamp()
        lines = [
            stamp(0) + " 127.0.0.1:1-[norvale] -> 226 Transfer complete.",  # the setup information
            stamp(10.5) + " 127.0.0.1:2-[] FTP session opened (connect)",
            stamp(11) + " 127.0.0.1:2-[norvale] <- RETR /norvale/pkg/core.zip",
            stamp(12.25) + " 127.0.0.1:2-[norvale] -> 226 Transfer complete.",
            stamp(12.25) + " 127.0.0.1:2-[norvale] RETR /srv/norvale/pkg/core.zip completed=1 "
                           "bytes=263306 seconds=0.004",
            stamp(13) + " 127.0.0.1:2-[norvale] <- QUIT",
            stamp(40) + " 127.0.0.1:3-[norvale] -> 226 Transfer complete.",  # lftp, later
        ]
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "server.log")
            with open(path, "w", encoding="utf-8") as f:
                f.write("\n".join(lines) + "\n")
            found = demo_report.server_times(path, base + 10, base + 30)
        self.assertAlmostEqual(found["start"] - base, 10.5, places=2)
        self.assertAlmostEqual(found["end"] - base, 12.25, places=2)
        self.assertEqual((found["sessions"], found["files"], found["bytes"]), (1, 1, 263306))
        self.assertAlmostEqual(found["sending"], 0.004)


class PathTest(unittest.TestCase):
    def test_windows_paths_map_into_the_prefix_and_other_drives_do_not(self):
        with unittest.mock.patch.dict(os.environ, {"WINEPREFIX": "/p"}):
            self.assertEqual(demo_report.unix_path("C:\\Norvale POS\\Uninst"),
                             "/p/drive_c/Norvale POS/Uninst")
            self.assertEqual(demo_report.unix_path("c:\\"), "/p/drive_c")
            self.assertIsNone(demo_report.unix_path("D:\\x"))
            self.assertIsNone(demo_report.unix_path("\\\\server\\share"))


class FakeMachine:
    """A prefix folder and a registry, so the verdicts can be checked without Wine."""

    def __init__(self, root):
        self.prefix = root
        self.registry = {}  # (key in lower case, view) -> {name: (type, value)}
        os.makedirs(os.path.join(root, "drive_c"))

    def add_value(self, key, view, name, value):
        self.registry.setdefault((key.lower(), view), {})[name] = ("REG_SZ", value)

    def reg_query(self, key, view, recurse=False):
        found = self.registry.get((key.lower(), view))
        return {"HKEY_LOCAL_MACHINE\\" + key[5:]: found} if found is not None else {}

    def file(self, windows_path, data=b"x"):
        path = demo_report.unix_path(windows_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path


class VerdictTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.machine = FakeMachine(os.path.join(self.dir.name, "prefix"))
        patches = [unittest.mock.patch.dict(os.environ, {"WINEPREFIX": self.machine.prefix,
                                                         "NORVALE_ARCH": "x86_64"}),
                   unittest.mock.patch.object(demo_report, "reg_query", self.machine.reg_query),
                   unittest.mock.patch("sys.stdout", new_callable=io.StringIO)]
        for p in patches:
            p.start()
            self.addCleanup(p.stop)
        self.log = os.path.join(self.dir.name, "Setup.log")
        with open(self.log, "wb") as f:
            f.write(RECORD.encode("cp932"))
        self.before = os.path.join(self.dir.name, "before.json")
        demo_report.snapshot(self.before)

    def tearDown(self):
        self.dir.cleanup()

    def install_everything(self):
        for link in ("C:\\users\\Public\\Desktop\\Norvale POS.lnk",
                     "C:\\ProgramData\\Start Menu\\Norvale POS\\Norvale POS.lnk"):
            self.machine.file(link)
        self.machine.file("C:\\Norvale POS\\NorvalePos.exe", b"abc")
        self.machine.file("C:\\Norvale POS\\NvTray.CMD")
        self.machine.file("C:\\Norvale POS\\Uninst\\Setup.log")
        self.machine.add_value(demo_report.UNINSTALL + "\\{6C1B5E0A-4D7F-4E8B-9A21-3F0C2D5B7E94}",
                               "64", "DisplayName", "Norvale POS")
        self.machine.add_value(demo_report.CLASSES + "\\.npos", "64", "(既定)", "NorvalePOS.Slip")
        self.machine.add_value(demo_report.CLASSES + "\\NorvalePOS.Slip", "64", "(既定)", "伝票")
        self.machine.add_value(demo_report.LAYERS, "64", "C:\\Norvale POS\\NorvalePos.exe",
                               "~ RUNASADMIN")

    def installed(self, holds="64bit"):
        package = os.path.join(self.dir.name, "package")
        os.makedirs(package, exist_ok=True)
        with open(os.path.join(package, "pos.exe"), "wb") as f:
            f.write(b"abc")
        with open(os.path.join(package, "manifest.tsv"), "w", encoding="utf-8") as f:
            f.write("\tNorvalePos.exe\tpos.exe\n")
        times = os.path.join(self.dir.name, "times.json")
        with open(times, "w", encoding="utf-8") as f:
            f.write('{"install_pressed": 100, "finished": 140, "lftp": null}')
        server_log = os.path.join(self.dir.name, "server.log")
        open(server_log, "w").close()
        return demo_report.installed(self.before, self.log, server_log, package, times, holds)

    def test_a_complete_installation_passes(self):
        self.install_everything()
        self.assertEqual(self.installed(), 0)

    def test_a_missing_package_file_or_uninstall_entry_fails(self):
        self.install_everything()
        os.remove(demo_report.unix_path("C:\\Norvale POS\\NorvalePos.exe"))
        self.assertEqual(self.installed(), 1)
        self.install_everything()
        self.machine.registry.clear()
        self.assertEqual(self.installed(), 1)
        self.assertIn("Uninstall entry", sys.stdout.getvalue())

    def test_a_32_bit_installer_must_write_both_views(self):
        self.install_everything()
        with unittest.mock.patch.dict(os.environ, {"NORVALE_ARCH": "i686"}):
            self.assertEqual(self.installed(), 1)
            self.machine.add_value(demo_report.LAYERS, "32", "C:\\Norvale POS\\NorvalePos.exe",
                                   "~ RUNASADMIN")
            self.assertEqual(self.installed(), 0)

    def record_with_access_line(self, line):
        with open(self.log, "wb") as f:
            f.write(RECORD.replace(";Uninstのアクセス許可=" + UNINST_LIST, line).encode("cp932"))

    def test_the_report_names_who_may_change_uninst_as_applied(self):
        self.install_everything()
        self.assertEqual(self.installed(), 0)
        report = sys.stdout.getvalue()
        self.assertIn("the access list the installer applied", report)
        self.assertIn("may change: Administrators, SYSTEM; may read and run: Users; owner "
                      "Administrators; not inheriting from the install folder", report)
        # A list that lets users change the folder, or none recorded, fails;
        # an unelevated install keeps what the folder inherits.
        for line, verdict in [
                (";Uninstのアクセス許可=O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FRFWFX;;;BU)", 1),
                (";Uninstのアクセス許可=O:BAD:(A;OICI;FA;;;BA)", 1),
                (";★Uninstのアクセス許可を設定できませんでした！(5)", 1),
                (";Setup処理を開始しました。", 1),
                (";Uninstのアクセス許可=継承(管理者権限なしのインストール)", 0)]:
            self.record_with_access_line(line)
            self.assertEqual(self.installed(), verdict, line)
        self.assertIn("the list Uninst inherits", sys.stdout.getvalue())

    def record_with(self, old, new):
        with open(self.log, "wb") as f:
            f.write(RECORD.replace(old, new).encode("cp932"))

    def test_the_report_names_who_may_delete_or_rename_each_folder_of_the_path(self):
        self.install_everything()
        self.assertEqual(self.installed(), 0)
        report = sys.stdout.getvalue()
        self.assertIn("who may delete or rename each folder from the drive root down to Uninst",
                      report)
        self.assertIn("  C:\\ (found): nobody", report)
        self.assertIn("  C:\\Norvale POS (made with its list): Administrators, SYSTEM\n", report)
        self.assertIn("  C:\\Norvale POS\\Uninst (made with its list): Administrators, SYSTEM\n",
                      report)
        # The drive's own list left on the install folder lets every user
        # take it away; so does a folder another account owns; a list that
        # could not be set, or none recorded, fails as well.
        inherited = ("O:BAD:(A;;0x1301bf;;;AU)(A;OICIIO;SDGXGWGR;;;AU)(A;OICI;FA;;;BA)"
                     "(A;OICI;FA;;;SY)")
        for old, new in [
                (APP_LINE, APP_LINE.replace(APP_LIST, inherited)),
                (APP_LINE, ";フォルダのアクセス許可=C:\\Norvale|既存|O:S-1-5-21-1-2-3-4D:"
                           "(A;OICI;FA;;;S-1-5-21-1-2-3-4)\r\n" + APP_LINE),
                (APP_LINE, ";★フォルダのアクセス許可=C:\\Norvale POS|設定できませんでした(5)|"),
                (ROOT_LINE + "\r\n" + APP_LINE, "")]:
            self.record_with(old, new)
            self.assertEqual(self.installed(), 1, new)
        self.assertIn("OTHERS: Authenticated Users", sys.stdout.getvalue())
        self.assertIn("OTHERS: S-1-5-21-1-2-3-4", sys.stdout.getvalue())

    def test_the_report_names_who_may_change_the_generated_logon_files(self):
        self.install_everything()
        self.assertEqual(self.installed(), 0)
        report = sys.stdout.getvalue()
        self.assertIn("who may change the files the installer generated itself", report)
        self.assertIn("  logon command file C:\\Norvale POS\\NvTray.CMD: may change: "
                      "Administrators, SYSTEM; may read and run: Users; owner Administrators; "
                      "not inheriting from the install folder\n", report)
        self.assertIn("  file C:\\Norvale POS\\Setup_Start.txt: may change: Administrators, "
                      "SYSTEM;", report)
        # A logon file users may change, one that inherits from the install
        # folder, or one on disk the record names no list for fails; an
        # unelevated install keeps what the folder passes down.
        for new, verdict in [
                (LOGON_LINE.replace("0x1200a9;;;BU", "FA;;;BU"), 1),
                (LOGON_LINE.replace("D:P(", "D:("), 1),
                (";ショートカット", 1),
                (";ファイルのアクセス許可=C:\\Norvale POS\\NvTray.CMD|継承|", 0)]:
            self.record_with(LOGON_LINE, new)
            self.assertEqual(self.installed(), verdict, new)
        report = sys.stdout.getvalue()
        self.assertIn("OTHERS: Users", report)
        self.assertIn("NvTray.CMD: MISSING from the record", report)
        self.assertIn("NvTray.CMD: what the install folder passes down", report)

    def test_nothing_left_passes_and_each_remainder_fails(self):
        self.assertEqual(demo_report.leftovers(self.before, self.log), 0)
        self.machine.file("C:\\ProgramData\\Start Menu\\Norvale POS\\Norvale POS.lnk")
        self.machine.add_value(demo_report.LAYERS, "32", "c:\\norvale pos\\NorvalePos.exe",
                               "~ RUNASADMIN")
        self.machine.file("C:\\users\\me\\Temp\\DeleteMe.cmd")
        os.makedirs(demo_report.unix_path("C:\\users\\me\\Temp\\Dekant00-0A1B"))
        os.makedirs(demo_report.unix_path("C:\\windows\\temp\\Dekant00-2C3D"))
        self.assertEqual(demo_report.leftovers(self.before, self.log), 1)
        report = sys.stdout.getvalue()
        self.assertIn("LEFT: shortcut C:\\ProgramData\\Start Menu\\Norvale POS\\Norvale POS.lnk",
                      report)
        self.assertIn("LEFT: program group", report)
        self.assertIn("administrator value (32-bit view) c:\\norvale pos\\NorvalePos.exe", report)
        self.assertIn("command file users/me/Temp/DeleteMe.cmd", report)
        self.assertIn("command file's folder users/me/Temp/Dekant00-0A1B", report)
        self.assertIn("command file's folder windows/temp/Dekant00-2C3D", report)


class CommandTest(unittest.TestCase):
    def test_a_quoted_program_keeps_its_blanks(self):
        self.assertEqual(demo_report.split_command('"C:\\Norvale POS\\Uninst\\Dekant00.exe" /S'),
                         ["C:\\Norvale POS\\Uninst\\Dekant00.exe", "/S"])
        self.assertEqual(demo_report.split_command("C:\\POS\\Dekant00.exe /S"),
                         ["C:\\POS\\Dekant00.exe", "/S"])
        self.assertEqual(demo_report.split_command("  "), [])


if __name__ == "__main__":
    unittest.main()
