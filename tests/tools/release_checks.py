#!/usr/bin/env python3
# The release checks, one subcommand each, run by ctest (tests/windows/CMakeLists.txt):
#   package        the release ZIP as a user meets it, unpacked and run under Wine
#   test-bundle    the test bundle on a sealed drive C: of a Wine prefix of its own
#   module-tables  the module's import, export and TLS tables; the imports of every program we ship
# Two archives of one commit are the same: no link time in their binaries, and
# every entry at the commit's time, not the clock's. Python's standard library
# only, but for Pillow, the decoder nobody here wrote, where an export is read back.
import argparse
import os
import re
import shutil
import struct
import subprocess
import time
import zipfile
from pathlib import Path


def expect(condition, message):
    if not condition:
        raise SystemExit(f"release_checks: {message}")


class PeFile:
    # A 64-bit PE file read as the loader reads it: DOS header, PE header,
    # optional header with its data directories, section table.
    def __init__(self, path):
        self.name, self.data = Path(path).name, Path(path).read_bytes()
        expect(self.data[:2] == b"MZ", f"{self.name}: no DOS header")
        (pe,) = self.unpack("<I", 60)
        expect(self.data[pe:pe + 4] == b"PE\0\0", f"{self.name}: no PE signature")
        sections, self.stamp, optional_size = self.unpack("<2xHI8xH", pe + 4)
        optional = pe + 24
        expect(self.unpack("<H", optional) == (0x20B,), f"{self.name}: not a 64-bit PE file")
        (count,) = self.unpack("<I", optional + 108)
        self.directories = [self.unpack("<II", optional + 112 + 8 * i) for i in range(count)]
        # (virtual size, virtual address, size in the file, offset in the file)
        self.sections = [self.unpack("<8xIIII", optional + optional_size + 40 * i) for i in range(sections)]

    def unpack(self, layout, offset):
        expect(0 <= offset <= len(self.data) - struct.calcsize(layout), f"{self.name}: cut short at {offset:#x}")
        return struct.unpack_from(layout, self.data, offset)

    def at(self, rva):  # the file offset of an address in the loaded image
        for size, address, raw_size, raw in self.sections:
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        expect(False, f"{self.name}: address {rva:#x} lies in no section")

    def string(self, rva):
        start = self.at(rva)
        return self.data[start:self.data.find(b"\0", start)].decode("ascii", "replace")

    def directory(self, index):  # (address, size), zero when absent
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def imports(self):  # the import directory's DLLs in lower case; delay-loaded ones are not in it
        dlls, (descriptor, _) = [], self.directory(1)
        while descriptor and any(entry := self.unpack("<5I", self.at(descriptor))):
            dlls.append(self.string(entry[3]).lower())
            descriptor += 20
        return dlls

    def exports(self):  # the export directory's time stamp, function count and names
        if not (address := self.directory(0)[0]):
            return 0, 0, []
        stamp, functions, count, names = self.unpack("<4xI12xII4xI4x", self.at(address))
        return stamp, functions, [self.string(self.unpack("<I", self.at(names + 4 * i))[0]) for i in range(count)]


def expect_no_pe_stamp(path):
    stamp = PeFile(path).stamp
    expect(stamp == 0, f"{path} carries a link time in its PE header ({stamp:08x}): two builds would differ")


def git(source, *args):  # nothing outside a checkout
    return subprocess.run(["git", "-C", source, *args], capture_output=True, text=True).stdout.strip()


def run(command, cwd, timeout=600):  # exit status, output and errors, without Windows' carriage returns
    done = subprocess.run([str(c) for c in command], cwd=cwd, capture_output=True, timeout=timeout)
    out, err = (s.decode("utf-8", "replace").replace("\r", "") for s in (done.stdout, done.stderr))
    print(f"{' '.join(map(str, command[2:]))} (exit status {done.returncode}):\n{out}{err}", flush=True)
    return done.returncode, out, err


def build(args, target, made):
    done = subprocess.run([args.cmake, "--build", args.build_dir, "--target", target], capture_output=True, text=True)
    expect(done.returncode == 0 and Path(made).exists(),
           f"the {target} target made no {made}:\n{done.stdout}{done.stderr}")


def unpack(archive, folder):  # into a fresh folder; its files' names, sorted
    shutil.rmtree(folder, ignore_errors=True)
    with zipfile.ZipFile(archive) as z:
        z.extractall(folder)
    return sorted(p.relative_to(folder).as_posix() for p in folder.rglob("*") if p.is_file())


def expect_entries_at_commit_time(archive, source):
    if not (commit_time := git(source, "log", "-1", "--format=%ct")).isdigit():
        return  # outside a checkout there is no commit to hold them to
    # A ZIP keeps DOS times: local (packed in UTC), to the even second.
    t = time.gmtime(int(commit_time))
    with zipfile.ZipFile(archive) as z:
        off = [i.filename for i in z.infolist() if i.date_time != (*t[:5], t[5] // 2 * 2)]
    expect(not off, f"entries of {archive} not at the last commit's time: {off}")


# As Notepad on any Windows shows it: CRLF line ends, and with `bom` a UTF-8
# byte-order mark first, without which older Notepads take the Japanese in it
# for the ANSI code page.
def expect_windows_text(path, bom=False):
    data = path.read_bytes()
    expect(not bom or data.startswith(b"\xef\xbb\xbf"), f"{path} does not start with a UTF-8 byte-order mark")
    expect(b"\n" not in data.replace(b"\r\n", b""), f"{path} has a line end without a carriage return")


TEST_SWITCHES = ["--report-resources", "--fail-on-growth", "--memory-tolerance", "--leak-for-test"]
RETRY = r"\nRun vorlane-host --help for the options\.\n\Z"
# What the host says when a request goes wrong: its arguments, the exit
# status, a pattern its output must hold. The system's reasons are in the
# user's language, so only their presence is checked. Frames of exactly 11 ms
# (-r 1000/11) are the shortest that Chromium and Firefox show as they are;
# 11/1001 s they show for 100 ms, and the note says so.
HOST_CASES = [
    ("--bogus", 2, rf'^vorlane-host: unknown option "--bogus"{RETRY}'),
    ("--leak-for-test", 2, rf'^vorlane-host: unknown option "--leak-for-test"{RETRY}'),
    ("-W abc", 2, rf'^vorlane-host: -W wants a whole number, not "abc"{RETRY}'),
    ("-r 24.5", 2, rf'^vorlane-host: -r wants a frame rate in whole numbers[^\n]*, not "24.5"{RETRY}'),
    ("-o", 2, rf"^vorlane-host: -o wants a file path after it{RETRY}"),
    ("--help", 0, r"^usage: vorlane-host "),
    ("-q -n 0 -r 1000/11 -o none.png", 0, r"^exported: none.png, 0 frames, 40 bytes, no image[^\n]*\n"
     r"note: -n 0 asks for no frames: the file will hold no image[^\n]*success\n\Z"),
    ("-q -W 8 -H 8 -n 2 -r 30/0 -o rate.png", 0,
     r"note: -r 30/0 is no positive frame rate: the plugin will give every frame a delay of 0/30 s"),
    ("-q -W 8 -H 8 -n 2 -o nosuchdir\\out.png", 1, r"^FAILED: nosuchdir.out.png, 0 frames, nothing written\n"
     r"vorlane-host: the plugin could not create nosuchdir.out.png: [^\n]*[^0-9\n]\n\Z"),
    ("-q -W 0 -H 8 -n 2 -r 1001/11 -o old.png", 1, r"^FAILED: old.png, 1 frame fetched; written before the failure: "
     r"40 bytes, no image\nnote: a frame of 0 x 8[^\n]*\nnote: at 1001/11 frames per second every frame lasts less "
     r"than 11 ms, which Chromium and Firefox show for 100 ms"),
    ("-m nosuch.dll", 2, r"^vorlane-host: cannot load nosuch.dll: not found: [^\n]+\n\Z"),
    ("-m LICENSE.txt", 2, r"^vorlane-host: cannot load LICENSE.txt: not a 64-bit Windows module: [^\n]+\n\Z"),
    ("-m C:\\windows\\system32\\version.dll", 2,
     r"^vorlane-host: cannot load [^\n]*version.dll: not a plugin: it exports no GetOutputPluginTable \([^\n]+\)\n\Z"),
    ("--version -m nosuch.dll", 1, r"\nnosuch.dll: not found: [^\n]+\n\Z"),
]


# The release archive: the module, the host, the README, the licence and the
# notices; unpacked into a fresh folder, that copy of the module declares the
# project's version and commit and exports the demo under Wine, to file names
# and from folders a Japanese user has, and the host says what went wrong, in
# words, when a request cannot give a good file.
def package(args):
    build(args, "package", args.package)
    work = Path(args.work)
    listing = unpack(args.package, work)
    expect(listing == ["LICENSE.txt", "README.txt", "THIRD-PARTY-NOTICES.txt", "vorlane-host.exe", "vorlane.dll"],
           f"the archive holds {listing}")
    expect_windows_text(work / "README.txt", bom=True)
    expect_windows_text(work / "LICENSE.txt")
    for binary in ("vorlane.dll", "vorlane-host.exe"):
        expect_no_pe_stamp(work / binary)
    expect_entries_at_commit_time(args.package, args.source_dir)

    # Runs the unpacked host (or `program`) there; with `want_rc`, its exit status
    # must be that and its output must hold `pattern`.
    def host(arguments, want_rc=None, pattern="", program=work / "vorlane-host.exe"):
        rc, out, err = run(["sh", args.session, "--", program, *arguments.split()], work)
        expect(want_rc in (None, rc) and re.search(pattern, out + err, re.S),
               f"{program.name} {arguments}: want exit status {want_rc} and output matching [{pattern}]")
        return out, err

    # The version and the commit, the same for the program and the module, and
    # the commit is the checkout's (with a note when the tree has changes).
    commit = git(args.source_dir, "rev-parse", "--short=12", "HEAD")
    commit = commit if re.fullmatch("[0-9a-f]+", commit) else "[0-9a-f]+"  # not a checkout: any commit
    version = rf"{re.escape(args.version)} \(commit {commit}(, with uncommitted changes)?\)"
    host("--version -m vorlane.dll", 0, rf"^vorlane-host ({version})\nvorlane.dll: Vorlane \1\n")

    # A user's file names, exactly as given, and a folder of a Japanese name: the
    # program finds its module beside itself.
    folder = work / "フォルダ"
    folder.mkdir()
    for binary in ("vorlane-host.exe", "vorlane.dll"):
        shutil.copy(work / binary, folder)
    host("-q -W 16 -H 8 -n 2 -o ステッカー.png", program=folder / "vorlane-host.exe")
    host("-q -W 16 -H 8 -n 2 -o café.png")
    made = sorted([p.name for p in work.glob("*.png")] + [f"フォルダ/{p.name}" for p in folder.iterdir()])
    expect(made == ["café.png", "ステッカー.png", "フォルダ/vorlane-host.exe", "フォルダ/vorlane.dll"],
           f"the exports made {made}, want café.png and ステッカー.png")

    out, err = host("-W 64 -H 36 -n 12 -o demo.png")
    expect(re.match(r"exported: [^\n]*, 12 frames", out), "the unpacked module did not export the demo")
    # Not a console: the result line alone, no progress bar redrawn into the log.
    expect("#" not in err, f"a progress bar went to a standard error that is no console:\n{err}")
    from PIL import Image
    with Image.open(work / "demo.png") as image:
        decoded = (image.format, image.size, image.n_frames)
    expect(decoded == ("PNG", (64, 36), 12), f"Pillow reads the export as {decoded}, want PNG (64, 36) 12")

    # What users get has none of the tests' switches: it refuses them (above) and its --help names none.
    usage = host("--help")[0]
    listed = [switch for switch in TEST_SWITCHES if switch in usage]
    expect(not listed, f"vorlane-host.exe --help lists the tests' switches {listed}")
    (work / "old.png").write_text("an old file of 28 bytes here")
    for case in HOST_CASES:
        host(*case)
    # A host that loads and unloads the module for every export loses nothing:
    # the C++ runtime's emergency buffer (73 KiB) goes back at every unload.
    # The tests' host counts, beside the unpacked module as in the test bundle.
    shutil.copy(args.test_host, work)
    host("-q -W 16 -H 8 -n 3 --repeat 4 --reload-module --fail-on-growth --memory-tolerance 16384 -o reload.png", 0,
         r"\nno growth over 4 exports\n\Z", work / "vorlane-host-test.exe")
    expect(not (work / "nosuchdir").exists() and not (work / "nosuch.dll").exists(),
           "a failed request left something behind")
    print(f"{args.package}: {listing}; {decoded}")


BUNDLE_CHECKS = ["windows_export_test.exe", "windows_converter_test.exe", "windows_fault_sweep_test.exe",
                 "windows_dialog_test.exe", *["vorlane-host-test.exe"] * 2, "vorlane-host.exe"]
RESULTS_LINES = [r"  windows: [^\n]*version [0-9]+\.[0-9]+\.[0-9]+", r"  cpu: [^\n]*logical processors",
                 r"  gdiplus.dll: [0-9.]+, ", r"  code pages: ANSI 932, OEM 932", r"  languages: user interface ja-JP",
                 r"  conversion path: (Plain|Sse2|Avx2)", r"  dialog font: メイリオ, ",
                 r"  system encoder: IHDR 16 x 8, ", r"  system encoder, 16 x 8 frame: [0-9]+ bytes; chunks IHDR 13, ",
                 r"  export_bench 1280x720: PNG encoding +[0-9.]+ ms/frame",
                 r"  export_bench 1920x1080: \(conversion \+ APNG \+ file\) / PNG +[0-9.]+ %"]


# The test bundle needs nothing but Windows: unpacked onto drive C: of a fresh
# Wine prefix whose drive Z: (Wine's view of the Linux file system) is gone,
# into a folder named as a user's downloads are (spaces, Latin and Japanese
# letters), on a Windows set up for Japanese, its one command must pass every
# program, count them and their test cases, and leave results.txt with a report
# on the system and a demo export beside itself. With a module that writes
# wrong pixels in place of the real one, it must fail and name the failing
# program; with one whose dialog has lost its check box, the dialog test must
# fail within seconds rather than hang.
def test_bundle(args):
    build(args, "test_bundle", args.bundle)
    work, unpacked = Path(args.work), Path(args.work) / "unpacked"
    shutil.rmtree(work, ignore_errors=True)
    listing = unpack(args.bundle, unpacked)
    want = sorted({"LICENSE.txt", "README.txt", "THIRD-PARTY-NOTICES.txt", "export_bench.exe", "run-tests.exe",
                   "vorlane.dll", *BUNDLE_CHECKS})  # and every program it runs
    expect(listing == want, f"the bundle holds {listing}, want {want}")
    expect_windows_text(unpacked / "README.txt", bom=True)
    for binary in filter(lambda name: name.endswith((".exe", ".dll")), listing):
        expect_no_pe_stamp(unpacked / binary)
    expect_entries_at_commit_time(args.bundle, args.source_dir)

    # A prefix of its own, sealed: Wine reads its drives when its server starts,
    # and the session script ends the server before every program. Japanese
    # code pages and messages, as most of the plugin's users have them.
    prefix = work / "prefix"
    os.environ.update(WINEPREFIX=str(prefix), VORLANE_WINE_LOCALE="ja_JP.UTF-8")
    expect(subprocess.run(["sh", args.session, "--create-prefix"]).returncode == 0, f"no Wine prefix in {prefix}")
    (drive_z := prefix / "dosdevices/z:").unlink(missing_ok=True)
    expect(not drive_z.exists() and not drive_z.is_symlink(), "drive Z: is still there")
    # Lower case, as Wine names the profiles folder: on Linux it would be a second one.
    here = prefix / "drive_c/users/Jörg Müller/ダウンロード/vorlane tests"
    shutil.copytree(unpacked, here)
    (temp := prefix / "drive_c/users/Jörg Müller/AppData/Local/Temp").mkdir(parents=True, exist_ok=True)

    # Started in that folder, as from a command prompt opened there; the
    # temporary folder is that user's too, so the scratch files' paths have the
    # space and the letters beyond ASCII as well.
    def run_bundle(*only):  # exit status, output and seconds taken
        windows_temp = "C:\\" + str(temp.relative_to(prefix / "drive_c")).replace("/", "\\")
        command = f"set TMP={windows_temp}&& set TEMP={windows_temp}&& run-tests.exe {' '.join(only)}"
        start = time.monotonic()
        rc, out, _ = run(["sh", args.session, "--xvfb", "--", "cmd", "/c", command], here, timeout=800)
        return rc, out, time.monotonic() - start

    rc, out, _ = run_bundle()
    n = len(BUNDLE_CHECKS)
    expect(rc == 0 and re.search(rf"\n[1-9][0-9]* test cases ran in 4 test programs.\n{n} passed, 0 failed\n\Z", out),
           f"the bundle did not pass all {n} programs on a sealed drive C:")
    for check in BUNDLE_CHECKS:
        expect(f"\n  passed  {check} " in out, f"no verdict that {check} passed")
    expect(not (prefix / "drive_c/temp").exists(), "the bundle left C:\\temp behind")
    expect(not (left_over := list(temp.iterdir())), f"the bundle left scratch files behind: {left_over}")

    # What to send back: everything printed, in a file Notepad reads, with the
    # report on the system, and a demo export that a decoder nobody here wrote reads.
    expect_windows_text(here / "results.txt", bom=True)
    text = (here / "results.txt").read_bytes()[3:].decode("utf-8", "replace").replace("\r", "")
    for line in RESULTS_LINES:
        expect(re.search("\n" + line, text), f"results.txt does not report [{line}]")
    expect(text == out, "results.txt is not the whole output of run-tests.exe")
    from PIL import Image, ImageSequence
    with Image.open(here / "results-demo.png") as image:
        durations = sorted({frame.info["duration"] for frame in ImageSequence.Iterator(image)})
        decoded = f"{image.size} {image.n_frames} {durations} {image.info.get('loop')}"
    expect(re.fullmatch(r"\(240, 136\) 24 \[83\.3+[0-9]*\] 0", decoded),
           f"Pillow reads results-demo.png as [{decoded}], want 24 frames of 240 x 136, 1/12 s each")

    # With a broken module the same command must say so.
    shutil.copyfile(args.wrong_pixels, here / "vorlane.dll")
    rc, out, _ = run_bundle("windows_export_test.exe")
    expect(rc != 0 and "\n  FAILED  windows_export_test.exe " in out and out.endswith("\n0 passed, 1 failed\n"),
           "with a module that writes wrong pixels, the bundle did not fail and name windows_export_test.exe")
    # A dialog test that meets a dialog without its check box ends, and says so,
    # well within the two minutes: nothing waits on a dialog left open.
    shutil.copyfile(args.wrong_dialog, here / "vorlane.dll")
    rc, out, seconds = run_bundle("windows_dialog_test.exe")
    expect(rc != 0 and "\n  FAILED  windows_dialog_test.exe " in out and seconds <= 120, "with a dialog whose check "
           f"box has another ID, the bundle did not fail windows_dialog_test.exe within two minutes ({seconds:.0f} s)")
    shutil.rmtree(work)
    print(f"{args.bundle}: {n} programs passed in a folder of a user's kind on a drive C: of their own; "
          "a wrong module and a wrong dialog failed")


SYSTEM_DLLS = {"advapi32.dll", "gdiplus.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll", "user32.dll"}
# KnownDLLs on every Windows from 7 to 11 (the registry's Session Manager\KnownDLLs).
KNOWN_DLLS = {"advapi32.dll", "comdlg32.dll", "gdi32.dll", "imm32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll",
              "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
              "ws2_32.dll"}


# The module must run on a bare Windows and show the host one entry point: it
# imports only system DLLs and exports exactly GetOutputPluginTable, and it has
# no TLS directory. No link time is stamped into it, so that every build of one
# commit gives the same file. And the programs we ship import only KnownDLLs,
# which the loader takes from System32 alone: any other DLL it looks for first
# in the program's own folder, where whoever could drop a file there (a
# browser's downloads, say) may have left one.
def module_tables(args):
    module = PeFile(args.module)
    imports = module.imports()
    for dll in imports:
        expect(dll in SYSTEM_DLLS, f"{module.name} imports {dll}, which is not a Windows system DLL")
    for needed in ("gdiplus.dll", "kernel32.dll", "ole32.dll", "user32.dll"):
        expect(needed in imports, f"{module.name} does not import {needed}: imports are {imports}")
    stamp, functions, names = module.exports()
    expect(names == ["GetOutputPluginTable"], f"{module.name} exports {names}, want exactly GetOutputPluginTable")
    expect(functions == 1, f"{module.name}'s export address table holds {functions} entries, want 1")
    # Nothing of the module's runs when a host thread starts or ends: no TLS
    # directory, whose callbacks the loader would call then.
    expect(len(module.directories) > 9, f"{module.name} has no data directory entry for TLS")
    rva, size = module.directory(9)
    expect(rva == size == 0, f"{module.name} has a TLS directory (RVA {rva:#x}, size {size})")
    expect_no_pe_stamp(args.module)
    expect(stamp == 0, f"{module.name}'s export directory carries a link time ({stamp:x}): two builds would differ")
    print(f"imports: {imports}; exports: {names}; no TLS directory; no link time")
    for program in map(PeFile, args.programs):
        for dll in (imports := program.imports()):
            expect(dll in KNOWN_DLLS,
                   f"{program.name} imports {dll}, which is no KnownDLL: load it at run time from System32")
        print(f"{program.name} imports: {imports}")


ARCHIVE = ["--cmake", "--build-dir", "--source-dir", "--session", "--work"]
CHECKS = {"package": (package, ARCHIVE + ["--version", "--package", "--test-host"]),
          "test-bundle": (test_bundle, ARCHIVE + ["--bundle", "--wrong-pixels", "--wrong-dialog"]),
          "module-tables": (module_tables, ["--module", "--programs"])}

if __name__ == "__main__":
    parser = argparse.ArgumentParser(description="The release checks.")
    commands = parser.add_subparsers(dest="check", required=True)
    for name, (_, options) in CHECKS.items():
        command = commands.add_parser(name)
        for option in options:
            command.add_argument(option, required=True, nargs="+" if option == "--programs" else None)
    args = parser.parse_args()
    CHECKS[args.check][0](args)
