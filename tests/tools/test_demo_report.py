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

RECORD = "\r\n".join([
    ";Setup処理を開始しました。",
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


if __name__ == "__main__":
    unittest.main()
