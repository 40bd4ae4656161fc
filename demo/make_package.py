#!/usr/bin/python3
"""Builds the sample product package that the installer installs.

    make_package.py OUTDIR --program PATH

OUTDIR/ftp/       the FTP server's root: norvale/Setup.ini and the files it names
OUTDIR/unpacked/  the contents of every archive, as the installer unpacks them
OUTDIR/manifest.tsv
                  one line per file the installer puts into the install folder:
                  requirements <TAB> path below the install folder <TAB> file
                  below OUTDIR with the expected bytes.  Requirements are
                  comma-separated, all must hold: 64bit, 32bit, win7 (Windows 7
                  or older), win10 (Windows 10 or 11), opt1/opt2 (option of the
                  group 業種), task1..task3; empty means always.

PATH is the sample program (norvale_pos_sample.exe) that the package installs
under two names.  The output depends only on the inputs: archives carry fixed
times and a fixed order, the font a fixed creation date.
"""

import argparse
import hashlib
import os
import shutil
import sys
import zipfile

SERVER_FOLDER = "norvale"
FIXED_TIME = (2026, 4, 1, 9, 0, 0)
FONT_FILE = "NorvaleSans.ttf"
FONT_FAMILY = "Norvale Sans"


def pseudo_bytes(seed, size):
    """Deterministic filler: a SHA-256 chain of the seed."""
    out = bytearray()
    block = seed.encode("utf-8")
    while len(out) < size:
        block = hashlib.sha256(block).digest()
        out += block
    return bytes(out[:size])


def text_file(lines):
    return ("\r\n".join(lines) + "\r\n").encode("cp932")


class Package:
    def __init__(self, outdir):
        self.outdir = os.path.abspath(outdir)
        self.root = os.path.join(self.outdir, "ftp")
        self.server = os.path.join(self.root, SERVER_FOLDER)
        self.unpacked = os.path.join(self.outdir, "unpacked")
        self.manifest = []

    def reset(self):
        for sub in ("ftp", "unpacked"):
            path = os.path.join(self.outdir, sub)
            if os.path.isdir(path):
                shutil.rmtree(path)
        os.makedirs(self.server)
        os.makedirs(self.unpacked)

    def write(self, relative, data):
        """A file below the server folder; its path relative to OUTDIR."""
        path = os.path.join(self.server, *relative.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return os.path.relpath(path, self.outdir).replace(os.sep, "/")

    def expect(self, requirements, install_path, source):
        self.manifest.append((requirements, install_path.replace("/", "\\"), source))

    def single(self, relative, data, install_folder, requirements=""):
        source = self.write(relative, data)
        name = relative.rsplit("/", 1)[-1]
        target = name if not install_folder else install_folder + "/" + name
        self.expect(requirements, target, source)

    def archive(self, relative, top, files, install_folder, requirements=""):
        """A zip with one top-level folder whose contents land in install_folder."""
        stem = relative.rsplit("/", 1)[-1].rsplit(".", 1)[0]
        path = os.path.join(self.server, *relative.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        folders = set()
        for name in files:
            parts = name.split("/")[:-1]
            for n in range(1, len(parts) + 1):
                folders.add("/".join(parts[:n]))
        entries = [(top + "/", None)]
        entries += [(top + "/" + f + "/", None) for f in sorted(folders)]
        entries += [(top + "/" + name, files[name]) for name in sorted(files)]
        with zipfile.ZipFile(path, "w") as z:
            for name, data in entries:
                info = zipfile.ZipInfo(name, date_time=FIXED_TIME)
                info.create_system = 0
                if data is None:
                    info.external_attr = 0x10
                    z.writestr(info, b"")
                else:
                    info.external_attr = 0x20
                    info.compress_type = zipfile.ZIP_DEFLATED
                    z.writestr(info, data)
        for name in sorted(files):
            copy = os.path.join(self.unpacked, stem, *name.split("/"))
            os.makedirs(os.path.dirname(copy), exist_ok=True)
            with open(copy, "wb") as f:
                f.write(files[name])
            source = os.path.relpath(copy, self.outdir).replace(os.sep, "/")
            target = name if not install_folder else install_folder + "/" + name
            self.expect(requirements, target, source)

    def write_manifest(self):
        lines = ["\t".join(entry) for entry in sorted(self.manifest, key=lambda e: e[1] + e[0])]
        with open(os.path.join(self.outdir, "manifest.tsv"), "w", encoding="utf-8",
                  newline="\n") as f:
            f.write("\n".join(lines) + "\n")


def core_files():
    """The suite's main tree: a few hundred files in nested folders."""
    files = {}
    for n in range(1, 41):
        files["data/マスタ/商品マスタ_%03d.csv" % n] = text_file(
            ["商品コード,商品名,単価,税区分"] +
            ["%05d,商品%03d-%02d,%d,%d" % (n * 100 + k, n, k, 100 + 37 * k, k % 2) for k in range(12)])
    for n in range(1, 31):
        files["data/master/tax_%02d.dat" % n] = pseudo_bytes("tax%d" % n, 64 + 31 * n)
    for store in ("本店", "駅前店", "branch_03"):
        for n in range(1, 21):
            files["data/店舗/%s/レジ%02d.ini" % (store, n)] = text_file(
                ["[レジ]", "店舗=%s" % store, "番号=%d" % n, "プリンタ=NV-%02d" % (n % 4)])
    for n in range(1, 51):
        files["lib/nvpos%03d.dll" % n] = pseudo_bytes("lib%d" % n, 512 + 97 * n)
    for n in range(1, 26):
        files["reports/帳票/日報/日報_%02d.rpt" % n] = pseudo_bytes("daily%d" % n, 300 + 11 * n)
        files["reports/帳票/月報/月報_%02d.rpt" % n] = pseudo_bytes("monthly%d" % n, 400 + 13 * n)
    for n in range(1, 41):
        files["help/ja/page_%03d.html" % n] = (
            "<html><head><meta charset=\"shift_jis\"><title>ヘルプ %d</title></head>"
            "<body><p>Norvale POS ヘルプ %d ページ</p></body></html>\r\n" % (n, n)).encode("cp932")
    for n in range(1, 16):
        files["help/images/fig%02d.png" % n] = b"\x89PNG\r\n\x1a\n" + pseudo_bytes("fig%d" % n, 800 + n)
    files["bin/config/NorvalePos.ini"] = text_file(
        ["[POS]", "端末名=POS01", "通信間隔=30", "ログ保存日数=90"])
    files["bin/config/空のフォルダ用.txt"] = b""
    files["bin/NorvalePos.exe.config"] = text_file(["<configuration/>"])
    files["Setup_バージョン.txt"] = text_file(["Norvale POS 3.2.0"])
    return files


def template_files(kind, count):
    files = {}
    for n in range(1, count + 1):
        files["%s/テンプレート_%02d.tpl" % (kind, n)] = text_file(
            ["[テンプレート]", "種類=%s" % kind, "番号=%d" % n])
    return files


def sample_files():
    files = {}
    for n in range(1, 11):
        files["売上/2026-%02d.csv" % n] = text_file(
            ["日付,伝票番号,金額"] + ["2026/%02d/%02d,%d,%d" % (n, d, n * 1000 + d, d * 1234)
                                   for d in range(1, 29)])
    return files


def make_font():
    """A small TrueType font: a few box-drawn letters."""
    from fontTools.fontBuilder import FontBuilder
    from fontTools.pens.ttGlyphPen import TTGlyphPen

    def box(inset):
        pen = TTGlyphPen(None)
        pen.moveTo((50 + inset, 0))
        pen.lineTo((50 + inset, 700 - inset))
        pen.lineTo((550 - inset, 700 - inset))
        pen.lineTo((550 - inset, 0))
        pen.closePath()
        return pen.glyph()

    letters = "NORVALEPS"
    order = [".notdef", "space"] + letters_names(letters)
    fb = FontBuilder(1000, isTTF=True)
    fb.font.recalcTimestamp = False
    fb.setupGlyphOrder(order)
    cmap = {ord(" "): "space"}
    cmap.update({ord(c): name for c, name in zip(letters, letters_names(letters))})
    fb.setupCharacterMap(cmap)
    glyphs = {".notdef": box(0), "space": TTGlyphPen(None).glyph()}
    for i, name in enumerate(letters_names(letters)):
        glyphs[name] = box(10 + 5 * i)
    fb.setupGlyf(glyphs)
    fb.setupHorizontalMetrics({name: (600, 50 if name != "space" else 0) for name in order})
    fb.setupHorizontalHeader(ascent=800, descent=-200)
    fb.setupNameTable({"familyName": FONT_FAMILY, "styleName": "Regular",
                       "uniqueFontIdentifier": "Norvale Sans Regular 1.000",
                       "fullName": FONT_FAMILY, "psName": "NorvaleSans-Regular",
                       "version": "Version 1.000"})
    fb.setupOS2(sTypoAscender=800, sTypoDescender=-200, usWinAscent=800, usWinDescent=200)
    fb.setupPost()
    # 2026-04-01 in seconds since 1904-01-01, the font's own epoch.
    fb.font["head"].created = fb.font["head"].modified = 3858051600
    from io import BytesIO
    out = BytesIO()
    fb.save(out)
    return out.getvalue()


def letters_names(letters):
    return ["glyph_" + c for c in letters]


SETUP_INI = """\
; Norvale POS のセットアップ情報
[Setup]
AppId={6C1B5E0A-4D7F-4E8B-9A21-3F0C2D5B7E94}
AppName=Norvale POS
AppVerName=Ver 3.2
AppPublisher=Norvale Systems
DefaultDirName=Norvale POS
DefaultGroupName=Norvale POS
AlertSpaceOnDisk=1
InstallFilesList=InstallFiles.txt

[server]
; 空欄は Start.ini のサーバーを使う
ip=
port=
user=
pw=

[条件]
業種=業種の選択

[業種]
飲食=飲食店向けテンプレート
小売=小売店向けテンプレート

[チェック]
タイトル=追加タスクの選択
説明=実行する追加タスクを選択して下さい。
フッター説明=後からでも設定画面で変更できます。

[チェック01]
見出し=ショートカット
名称=デスクトップにショートカットを作成する
初期値=1

[チェック02]
見出し=サンプルデータ
名称=サンプルデータをインストールする
初期値=0

[チェック03]
見出し=常駐プログラム
名称=ログオン時に常駐プログラムを起動する
初期値=1

[Download]
src=/{S}/pkg/NorvalePOS_core.zip
dst={app}
chk=
src=/{S}/pkg/bin/NorvalePos.exe
dst={app}
chk=
src=/{S}/pkg/bin/NvTray.exe
dst={app}
chk=
src=/{S}/pkg/files/Readme.txt
dst={app}
chk=
src=/{S}/pkg/files/ライセンス.txt
dst={app}\\doc
chk=
src=/{S}/pkg/manual/
dst={app}\\manual
chk=
; 業種の選択肢ごとのテンプレート（番号でも名前でも書ける）
src=/{S}/pkg/options/飲食店テンプレート.zip
dst={app}\\templates
chk=1,1
src=/{S}/pkg/options/小売店テンプレート.zip
dst={app}\\templates
chk=業種,小売
src=/{S}/pkg/sample/サンプルデータ.zip
dst={app}\\sample
chk=task2
; Windows のビット数ごとのドライバ
src=/{S}/pkg/x64/NvPrinter.dll
dst={app}\\drivers
chk=64bit
src=/{S}/pkg/x86/NvPrinter.dll
dst={app}\\drivers
chk=32bit
; Windows 7 以前だけの互換モジュールと、Windows 10 以降だけの通知モジュール
src=/{S}/pkg/win7/NvCompat7.dll,Windows 7
dst={app}\\compat,Windows 7
chk=
src=/{S}/pkg/win10/NvToast.dll
dst={app}\\compat
chk=<Windows>Windows 10;Windows 11</Windows>
src=/{S}/pkg/fonts/{FONT}
dst={windir}\\Fonts
chk=
src=/{S}/pkg/setup/NvSetupNote.txt
dst={tmp}
chk=

[ショートカット]
dir={commondesktop}
nam=Norvale POS
exe={app}\\NorvalePos.exe
ico={app}\\NorvalePos.exe
arg=
wrk={app}
chk=task1
dir={group}
nam=Norvale POS
exe={app}\\NorvalePos.exe
ico={app}\\NorvalePos.exe
arg=
wrk={app}
chk=
dir={group}
nam=Norvale POS ヘルプ
exe={app}\\NorvalePos.exe
ico={app}\\NorvalePos.exe,0
arg=/help
wrk={app}
chk=
dir={commonstartup}
nam=Norvale POS 常駐
exe={app}\\NvTray.exe
ico={app}\\NvTray.exe
arg=
wrk={app}
chk=task3

[APファイルリンク]
ext=.npos
id=NorvalePOS.Slip
name=Norvale POS 伝票ファイル
path={app}\\NorvalePos.exe
chk=

[自動実行]
exe={app}\\NorvalePos.exe
id=
prm=/init
chk=

[管理者権限]
exe={app}\\NorvalePos.exe
chk=
exe={app}\\NvTray.exe
chk=task3

[Execute]
cmd={app}\\NorvalePos.exe
prm=
dsp=Norvale POS を起動する
"""


def build(outdir, program):
    with open(program, "rb") as f:
        program_bytes = f.read()
    pkg = Package(outdir)
    pkg.reset()

    setup = SETUP_INI.replace("{S}", SERVER_FOLDER).replace("{FONT}", FONT_FILE)
    pkg.write("Setup.ini", setup.replace("\n", "\r\n").encode("cp932"))

    pkg.archive("pkg/NorvalePOS_core.zip", "NorvalePOS", core_files(), "")
    pkg.single("pkg/bin/NorvalePos.exe", program_bytes, "")
    pkg.single("pkg/bin/NvTray.exe", program_bytes, "")
    pkg.single("pkg/files/Readme.txt", text_file(
        ["Norvale POS 3.2", "", "POS システム一式をインストールします。"]), "")
    pkg.single("pkg/files/ライセンス.txt", text_file(
        ["使用許諾契約書", "本ソフトウェアはサンプルです。"]), "doc")
    manual = {"index.html": text_file(["<html><body>マニュアル</body></html>"]),
              "operation.txt": text_file(["操作手順"] + ["手順 %d" % n for n in range(1, 30)]),
              "画面一覧.txt": text_file(["画面一覧", "売上登録", "精算"]),
              "images/screen01.png": b"\x89PNG\r\n\x1a\n" + pseudo_bytes("screen1", 1500),
              "images/screen02.png": b"\x89PNG\r\n\x1a\n" + pseudo_bytes("screen2", 2500)}
    for name in sorted(manual):
        folder = "manual" if "/" not in name else "manual/" + name.rsplit("/", 1)[0]
        pkg.single("pkg/manual/" + name, manual[name], folder)
    pkg.archive("pkg/options/飲食店テンプレート.zip", "飲食店", template_files("飲食", 12),
                "templates", "opt1")
    pkg.archive("pkg/options/小売店テンプレート.zip", "小売店", template_files("小売", 9),
                "templates", "opt2")
    pkg.archive("pkg/sample/サンプルデータ.zip", "sample", sample_files(), "sample", "task2")
    pkg.single("pkg/x64/NvPrinter.dll", pseudo_bytes("printer64", 4096), "drivers", "64bit")
    pkg.single("pkg/x86/NvPrinter.dll", pseudo_bytes("printer32", 3072), "drivers", "32bit")
    pkg.single("pkg/win7/NvCompat7.dll", pseudo_bytes("compat7", 2048), "compat", "win7")
    pkg.single("pkg/win10/NvToast.dll", pseudo_bytes("toast10", 2560), "compat", "win10")
    # The font goes to the Fonts folder and the note to {tmp}: neither stays
    # in the install folder, so neither is in the manifest.
    pkg.write("pkg/fonts/" + FONT_FILE, make_font())
    pkg.write("pkg/setup/NvSetupNote.txt", text_file(["一時ファイル"]))
    pkg.write_manifest()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("outdir")
    parser.add_argument("--program", required=True,
                        help="the sample program to install (norvale_pos_sample.exe)")
    args = parser.parse_args()
    build(args.outdir, args.program)
    return 0


if __name__ == "__main__":
    sys.exit(main())
