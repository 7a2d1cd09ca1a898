"""The release: two packagings of the same commit, in clones in different folders, give the same
bytes; the archive holds what a user needs, checked by its own checksums; the program file is
stripped, names its symbols and records no folder or time; and the version agrees everywhere."""

import hashlib
import os
import re
import struct
import subprocess
import time
import zipfile
import zlib
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parent.parent.parent


def git(*args, cwd=ROOT):
    return subprocess.run(["git", *args], cwd=cwd, capture_output=True, text=True, check=True).stdout.strip()


@pytest.fixture(scope="module")
def packagings(tmp_path_factory):
    """The committed sources packaged twice: in clones at different depths and with different
    names, under different time zones. Returns (clone, dist folder) pairs."""
    head = git("rev-parse", "HEAD")
    base = tmp_path_factory.mktemp("release")
    results = []
    for clone, zone in ((base / "a" / "zarn", "UTC"), (base / "b" / "other place" / "copy", "Asia/Tokyo")):
        clone.parent.mkdir(parents=True)
        subprocess.run(["git", "clone", "-q", "--no-hardlinks", str(ROOT), str(clone)], check=True)
        git("checkout", "-q", head, cwd=clone)
        dist = clone / "dist"
        subprocess.run([str(clone / "scripts" / "package"), "--dist", str(dist)], check=True,
                       env={**os.environ, "TZ": zone}, stdout=subprocess.DEVNULL)
        results.append((clone, dist))
    return results


def only(folder, pattern):
    found = sorted(folder.glob(pattern))
    assert len(found) == 1, found
    return found[0]


def test_two_packagings_in_different_folders_are_byte_identical(packagings):
    (_, first), (_, second) = packagings
    for pattern in ("zarn-*-win64.zip", "zarn-*-win64.debug"):
        assert only(first, pattern).name == only(second, pattern).name
        assert only(first, pattern).read_bytes() == only(second, pattern).read_bytes(), pattern


def test_archive_holds_the_program_the_readme_and_their_checksums(packagings):
    clone, dist = packagings[0]
    archive = zipfile.ZipFile(only(dist, "zarn-*-win64.zip"))
    assert archive.namelist() == ["zarn.exe", "README.txt", "SHA256SUMS"]
    commit = time.gmtime(int(git("log", "-1", "--format=%ct", cwd=clone)) // 2 * 2)[:6]  # in whole two seconds
    for entry in archive.infolist():
        assert entry.date_time == commit, entry.filename
        assert entry.external_attr >> 16 == 0o100644, entry.filename
    sums = {}
    for line in archive.read("SHA256SUMS").decode("ascii").splitlines():
        digest, name = line.split("  ")
        sums[name] = digest
    assert sums == {name: hashlib.sha256(archive.read(name)).hexdigest() for name in ("zarn.exe", "README.txt")}
    readme = archive.read("README.txt")
    assert readme.startswith(b"\xef\xbb\xbf# zarn\r\n"), "UTF-8 with its mark, CR LF: Notepad shows it"
    text = readme.decode("utf-8-sig")
    for part in ("Drag and drop", "Send To", "Where the output goes", "ストリームへの書き込みエラー", "## 使い方",
                 "Download and check"):
        assert part in text, part
    assert "Quick start (developers" not in text and "](docs/" not in text


def pe_sections(image):
    """Section name -> raw bytes of a PE image."""
    header = struct.unpack_from("<I", image, 0x3C)[0]
    count = struct.unpack_from("<H", image, header + 6)[0]
    optional = struct.unpack_from("<H", image, header + 20)[0]
    table = header + 24 + optional
    symbols_at, symbols = struct.unpack_from("<II", image, header + 12)
    sections = {}
    for i in range(count):
        raw = image[table + 40 * i:table + 40 * i + 40]
        name = raw[:8].rstrip(b"\0").decode()
        if name.startswith("/"):  # a long name, in the string table after the symbols
            offset = symbols_at + 18 * symbols + int(name[1:])
            name = image[offset:image.index(b"\0", offset)].decode()
        size, at = struct.unpack_from("<II", raw, 16)
        sections[name] = image[at:at + size]
    return sections


def test_program_is_stripped_names_its_symbols_and_records_no_folder_or_time(packagings):
    clone, dist = packagings[0]
    image = zipfile.ZipFile(only(dist, "zarn-*-win64.zip")).read("zarn.exe")
    header = struct.unpack_from("<I", image, 0x3C)[0]
    assert struct.unpack_from("<I", image, header + 8)[0] == 0, "no time stamp"
    sections = pe_sections(image)
    assert not [name for name in sections if name.startswith(".debug")]
    symbols = only(dist, "zarn-*-win64.debug")
    link = sections[".gnu_debuglink"]
    name = link[:link.index(b"\0")].decode()
    crc = struct.unpack_from("<I", link, (len(name) + 4) // 4 * 4)[0]
    assert name == symbols.name
    assert crc == zlib.crc32(symbols.read_bytes())
    assert [name for name in pe_sections(symbols.read_bytes()) if name.startswith(".debug_info")]
    for folder in {str(clone), str(clone.resolve())}:
        for data in (image, symbols.read_bytes()):
            assert folder.encode() not in data and folder.encode("utf-16-le") not in data


def version_resource(image):
    """The fixed file version and the FileVersion and ProductVersion texts of a PE image."""
    fixed = image.index(struct.pack("<I", 0xFEEF04BD))
    most, least = struct.unpack_from("<II", image, fixed + 8)
    numbers = "%d.%d.%d.%d" % (most >> 16, most & 0xFFFF, least >> 16, least & 0xFFFF)

    def text(key):
        found = re.search(re.escape(key.encode("utf-16-le")) + rb"(?:\0\0)+((?:[^\0].|\0[^\0])*?)\0\0", image, re.S)
        return found.group(1).decode("utf-16-le")

    return numbers, text("FileVersion"), text("ProductVersion")


def test_version_agrees_in_the_build_the_archive_the_resource_and_the_readme(packagings):
    clone, dist = packagings[0]
    version = (clone / "build" / "release" / "zarn-version.txt").read_text().strip()
    assert re.fullmatch(r"\d+\.\d+\.\d+\.\d+", version)
    archive = only(dist, "zarn-*-win64.zip")
    assert archive.name == "zarn-%s-win64.zip" % version
    major, minor = (int(part) for part in version.split(".")[:2])
    image = zipfile.ZipFile(archive).read("zarn.exe")
    assert version_resource(image) == (version, version, "%d.%02d" % (major, minor))
    mentioned = set(re.findall(r"zarn-(\d+\.\d+\.\d+\.\d+)-win64\.zip", (clone / "README.md").read_text(encoding="utf-8")))
    assert mentioned == {version}, "the README names the archive of this version"
