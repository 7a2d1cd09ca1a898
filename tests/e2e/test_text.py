"""What the real zarn.exe does with the text of each kind of file: a file without a byte order mark
comes back byte for byte, whatever its bytes; a file with a mark is written in the ANSI code page,
code page 932 writing its JIS characters under their other names; and a character that the ANSI
code page cannot hold is never lost without a word: a copy says so in a warning, and a file that
would be replaced by itself is left as it was."""

import re
from pathlib import Path

import pytest

from harness import shown, stamp, win_path

MB_ICONERROR, MB_ICONWARNING = 0x10, 0x30
# Japanese place names as a package ships them: real records, in EUC-JP (installed by bootstrap).
PLACES = Path("/usr/share/mecab/dic/ipadic/Noun.place.csv")


def stamped_bytes(data, s):
    """The bytes of a file without a mark, stamped: every line (ended by CR LF, CR or LF) as it was,
    the stamp after those that end a record (the double quotes since the last record end even in
    number), each ended by CR LF."""
    lines = re.split(rb"\r\n|\r|\n", data)
    if lines[-1] == b"":  # a break at the very end adds no line, and an empty file has none
        lines.pop()
    out, quotes = [], 0
    for line in lines:
        quotes += line.count(b'"')
        out.append(line + (s if quotes % 2 == 0 else b"") + b"\r\n")
        quotes = quotes % 2
    return b"".join(out)


def run_stamped(harness, work, name, data, locale, **kwargs):
    program = harness.program_folder(work)
    source = work / name
    source.write_bytes(data)
    before = stamp()
    run = harness.run(program, [win_path(source)], locale=locale, **kwargs)
    return program, run, before


# Files without a byte order mark, in a Japanese or Korean locale: every byte comes back as it
# was, the stamp after every record end and CR LF after every line. A lone lead byte no longer
# takes the comma, quote or line break after it.
BYTE_FOR_BYTE = [
    ("ja_JP.UTF-8", '名前,住所\n山田太郎,"東京都\n千代田区"\r\n鈴木一郎,大阪'.encode("utf-8")),   # UTF-8: 郎, is E9 83 8E 2C
    ("ja_JP.UTF-8", '名前,住所\n山田太郎,"東京都\n千代田区"\r\n鈴木一郎,大阪'.encode("euc-jp")),
    ("ja_JP.UTF-8", b'a\x82,b\r\nc,\x82"x\r\ny"\r\n\x82\rd\x81\ne,\x9f'),    # Shift-JIS lead bytes with no trail
    ("ja_JP.UTF-8", "日本\xff\xfe".encode("utf-8") + b"\xff,\xe3\x81\r\n\xed\xa0\x80\n"),  # invalid UTF-8
    ("ko_KR.UTF-8", '이름,주소\n김철수,"서울\n종로구"\r\n'.encode("utf-8")),
]


@pytest.mark.parametrize("locale,data", BYTE_FOR_BYTE,
                         ids=["utf8-ja", "euc-jp", "damaged-sjis", "invalid-utf8", "utf8-ko"])
def test_a_file_without_a_mark_comes_back_byte_for_byte(harness, work, locale, data):
    program, run, before = run_stamped(harness, work, "in.csv", data, locale, trace=False)
    assert run.exit_code == 0
    assert run.answered == []
    out = run.files()["in.csv"]
    assert out in (stamped_bytes(data, before.encode()), stamped_bytes(data, stamp().encode())), out


@pytest.mark.parametrize("encoding", ["euc-jp", "utf-8"])
def test_real_japanese_records_come_back_byte_for_byte(harness, work, encoding):
    """20,000 records of place names from mecab-ipadic, as EUC-JP and as UTF-8 without a mark."""
    assert PLACES.exists(), "scripts/bootstrap installs mecab-ipadic"
    lines = PLACES.read_bytes().splitlines(keepends=True)[:20000]
    data = b"".join(lines)
    if encoding == "utf-8":
        data = data.decode("euc-jp").encode("utf-8")
    assert len(re.findall(rb"[\x80-\xff]", data)) > 100000
    program, run, before = run_stamped(harness, work, "places.csv", data, "ja_JP.UTF-8", trace=False)
    assert run.exit_code == 0
    assert run.answered == []
    out = run.files()["places.csv"]
    assert out in (stamped_bytes(data, before.encode()), stamped_bytes(data, stamp().encode()))


def test_jis_characters_under_their_other_names_are_written_as_jis(harness, work):
    """UTF-8 with a mark, as Mac, Java and web systems write it: the wave dash, double vertical
    line, minus sign and em dash become the Shift-JIS characters of the same name, with no box."""
    text = "時間,住所,記号\r\n10:00\u301c18:00,1\u22122\u22123,\u2016\u2014\u00a2\u00a3\u00ac\r\n"
    program, run, before = run_stamped(harness, work, "in.csv", b"\xef\xbb\xbf" + text.encode("utf-8"),
                                       "ja_JP.UTF-8")
    assert run.exit_code == 0
    assert run.boxes == []
    s = before.encode()
    lines = [b"\x8e\x9e\x8a\xd4,\x8fZ\x8f\x8a,\x8bL\x8d\x86",
             b"10:00\x81\x6018:00,1\x81\x7c2\x81\x7c3,\x81\x61\x81\x5c\x81\x91\x81\x92\x81\xca"]
    assert run.files()["in.csv"] in (b"".join(line + x + b"\r\n" for line in lines) for x in (s, stamp().encode()))


# A file with a mark whose text holds characters that the ANSI code page cannot hold: 𠮷 (a
# surrogate pair) on line 3, é after it (in code page 932 a best fit, in 1252 held).
MARKED = "姓,名\r\n山田,太郎\r\n\U00020bb7田,花子\r\ncafé,x\r\n"


@pytest.mark.parametrize("kind", ["utf-8", "utf-16-le"])
def test_a_copy_that_lost_characters_is_written_then_a_warning_says_so(harness, work, kind):
    mark = b"\xef\xbb\xbf" if kind == "utf-8" else b"\xff\xfe"
    (work / "data").mkdir()
    source = work / "data" / "names.csv"
    source.write_bytes(mark + MARKED.encode(kind))
    program = harness.program_folder(work)
    run = harness.run(program, [win_path(source)], locale="ja_JP.UTF-8")
    assert run.exit_code == 0
    assert len(run.boxes) == 1
    box = run.boxes[0]
    assert box.style == MB_ICONWARNING
    assert box.caption == "zarn"
    destination = program.parent / "names.csv"
    assert run.answered == [  # the whole text, as the box shows it (the trace cuts long strings)
        'ファイル "%s" を作成しましたが、ANSI コード ページで表せない 2 文字を別の文字に置き換えました。'
        '最初は 3 行目の "\U00020bb7" (U+20BB7) です。' % win_path(destination)]
    date = rb",\d{4}/\d{2}/\d{2}\r\n"
    cp932 = lambda text: re.escape(text.encode("cp932"))
    expected = cp932("姓,名") + date + cp932("山田,太郎") + date + rb"\?+" + cp932("田,花子") + date + rb"cafe,x" + date
    assert re.fullmatch(expected, run.files()["names.csv"]), run.files()["names.csv"]
    assert source.read_bytes() == mark + MARKED.encode(kind), "the input is unchanged"


def test_japanese_under_a_western_code_page_is_counted_per_character(harness, work):
    """In code page 1252 every Japanese character is replaced: the count is of characters, and the
    first is on line 1."""
    (work / "data").mkdir()
    source = work / "data" / "names.csv"
    source.write_bytes(b"\xef\xbb\xbf" + MARKED.encode("utf-8"))
    program = harness.program_folder(work)
    run = harness.run(program, [win_path(source)], locale="de_DE.UTF-8")
    assert [b.style for b in run.boxes] == [MB_ICONWARNING]
    assert len(run.answered) == 1
    assert "せない 10 文字を" in run.answered[0] and '1 行目の "姓" (U+59D3)' in run.answered[0], run.answered
    assert run.files()["names.csv"].endswith(b"caf\xe9,x" + stamp(".").encode() + b"\r\n")


def test_a_file_that_would_replace_itself_with_lost_characters_is_left_as_it_was(harness, work):
    program = harness.program_folder(work)
    target = program.parent / "names.csv"
    original = b"\xef\xbb\xbf" + MARKED.encode("utf-8")
    target.write_bytes(original)
    run = harness.run(program, [win_path(target)], locale="ja_JP.UTF-8")
    assert run.exit_code == 0
    assert len(run.boxes) == 1
    assert run.boxes[0].style == MB_ICONERROR
    assert run.answered == [shown('3 行目の "\U00020bb7" (U+20BB7) は ANSI コード ページで表せないため、'
                                  'ファイル "%s" は元のまま残しました' % win_path(target))]
    assert run.files() == {"names.csv": original}, "unchanged, and no temporary file"


# A substitute never changes a record: in code pages 1252 and 1251 the platform fits the fullwidth
# quotation mark (U+FF02) and the modifier letter double prime (U+02BA, 1252 only) to a double
# quote and the fullwidth comma (U+FF0C) to a comma. Written so, record 3's date would sit inside an
# open quoted field and record 5 would gain a field. Each is written as "?" instead, and counted.
# U+02BA is "?" in both: by the rule in 1252, as the platform's default character in 1251.
@pytest.mark.parametrize("locale,codec,separator,replaced,first", [
    ("en_US.UTF-8", "cp1252", "/", 5, "＂"),
    ("ru_RU.UTF-8", "cp1251", ".", 5, "＂"),
])
def test_a_substitute_never_changes_a_record(harness, work, locale, codec, separator, replaced, first):
    text = "id,name\r\n1,＂quoted＂ word\r\n2,x\r\n3,＂open\r\n4,y\r\n5,a，b\r\n6,\u02ba\r\n"
    (work / "data").mkdir()
    source = work / "data" / "in.csv"
    source.write_bytes(b"\xef\xbb\xbf" + text.encode("utf-8"))
    program = harness.program_folder(work)
    before = stamp(separator)
    run = harness.run(program, [win_path(source)], locale=locale, trace=False)
    assert run.exit_code == 0
    assert run.answered == [
        'ファイル "%s" を作成しましたが、ANSI コード ページで表せない %d 文字を別の文字に置き換えました。'
        '最初は 2 行目の "%s" (U+FF02) です。' % (win_path(program.parent / "in.csv"), replaced, first)]
    for s in (before, stamp(separator)):
        expected = ("id,name{s}\r\n1,?quoted? word{s}\r\n2,x{s}\r\n3,?open{s}\r\n4,y{s}\r\n5,a?b{s}\r\n6,?{s}\r\n"
                    .format(s=s)).encode(codec)
        if run.files()["in.csv"] == expected:
            break
    else:
        pytest.fail(repr(run.files()["in.csv"]))


# Exactly one replaced character, below U+1000 (é in code page 932, which has no é): a copy gets
# the warning, counting 1 and naming U+00E9 with its zeros; the file in zarn's folder itself is
# not replaced and the box says why.
@pytest.mark.parametrize("in_place", [False, True], ids=["copy", "in place"])
def test_one_replaced_character_is_told(harness, work, in_place):
    program = harness.program_folder(work)
    original = b"\xef\xbb\xbf" + "名前,店\r\n鈴木,café\r\n".encode("utf-8")
    (work / "data").mkdir()
    source = (program.parent if in_place else work / "data") / "one.csv"
    source.write_bytes(original)
    run = harness.run(program, [win_path(source)], locale="ja_JP.UTF-8", trace=False)
    assert run.exit_code == 0
    destination = win_path(program.parent / "one.csv")
    if in_place:
        assert run.answered == [shown('2 行目の "é" (U+00E9) は ANSI コード ページで表せないため、'
                                      'ファイル "%s" は元のまま残しました' % destination)]
        assert run.files() == {"one.csv": original}
    else:
        assert run.answered == ['ファイル "%s" を作成しましたが、ANSI コード ページで表せない 1 文字を別の文字に'
                                '置き換えました。最初は 2 行目の "é" (U+00E9) です。' % destination]
        assert re.fullmatch(re.escape("名前,店".encode("cp932")) + rb",\d{4}/\d{2}/\d{2}\r\n" +
                            re.escape("鈴木,cafe".encode("cp932")) + rb",\d{4}/\d{2}/\d{2}\r\n", run.files()["one.csv"])


# UTF-16 whose last byte is odd: that byte is no character and cannot be written. A copy is
# written without it and the warning says so (after the replaced characters' warning, where there
# are some); the file in zarn's folder itself is left as it was, and the box says why.
ODD = [
    # (what, bytes, text of the copy before its stamps, a character replaced in code page 932: the
    # pair 𠮷 is written "??" here)
    ("after two lines", b"\xff\xfe" + "a,b\r\nc".encode("utf-16-le") + b"\x41", ["a,b", "c"], False),
    ("the only byte after the mark", b"\xff\xfe\x41", [], False),
    ("big-endian", b"\xfe\xff" + "x".encode("utf-16-be") + b"\x00", ["x"], False),
    ("with a character replaced", b"\xff\xfe" + "\U00020bb7,1".encode("utf-16-le") + b"\x41", ["??,1"], True),
]


@pytest.mark.parametrize("in_place", [False, True], ids=["copy", "in place"])
@pytest.mark.parametrize("what,data,lines,replaced", ODD, ids=[c[0] for c in ODD])
def test_an_odd_last_byte_of_utf16_is_told(harness, work, in_place, what, data, lines, replaced):
    program = harness.program_folder(work)
    (work / "data").mkdir()
    source = (program.parent if in_place else work / "data") / "odd.csv"
    source.write_bytes(data)
    before = stamp()
    run = harness.run(program, [win_path(source)], locale="ja_JP.UTF-8", trace=False)
    assert run.exit_code == 0
    destination = win_path(program.parent / "odd.csv")
    if in_place:
        told = (['1 行目の "\U00020bb7" (U+20BB7) は ANSI コード ページで表せないため、ファイル "%s" は元のまま残しました'
                 % destination] if replaced else [])
        told.append(shown('UTF-16 のファイルが奇数バイトで終わっていて最後の 1 バイトを書き出せないため、'
                          'ファイル "%s" は元のまま残しました' % destination))
        assert run.answered == ["\n".join(told)]
        assert run.files() == {"odd.csv": data}
        return
    told = (['ファイル "%s" を作成しましたが、ANSI コード ページで表せない 1 文字を別の文字に置き換えました。'
             '最初は 1 行目の "\U00020bb7" (U+20BB7) です。' % destination] if replaced else [])
    told.append('ファイル "%s" を作成しましたが、UTF-16 の元のファイルが奇数バイトで終わっているため、'
                '最後の 1 バイトは書き出していません。' % destination)
    assert run.answered == ["\n".join(told)]
    out = run.files()["odd.csv"]
    assert out in [b"".join(line.encode() + s.encode() + b"\r\n" for line in lines) for s in (before, stamp())], out
    assert source.read_bytes() == data
