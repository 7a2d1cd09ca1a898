"""Turns a window's property description (text) into the bytes of its RCDATA resource.
The byte layout is documented in stamp/form.h.

Text: '#' comments; "class NAME"; "component NAME"; then "Name = value" lines, where value is an
integer, "a string" (UTF-8 in the file), true/false, [A, B] (a set) or an identifier."""

import re
import struct
import sys


def name(text):
    data = text.encode("ascii")
    if not 0 < len(data) < 256 or any(b < 0x21 or b > 0x7E for b in data):
        raise ValueError("bad name: %r" % text)
    return bytes([len(data)]) + data


def value(text):
    if re.fullmatch(r"-?\d+", text):
        return b"\x01" + struct.pack("<i", int(text))
    if text.startswith('"') and text.endswith('"') and len(text) >= 2:
        units = text[1:-1].encode("utf-16-le")
        return b"\x02" + struct.pack("<H", len(units) // 2) + units
    if text in ("true", "false"):
        return b"\x05" if text == "true" else b"\x04"
    if text.startswith("[") and text.endswith("]"):
        members = [m.strip() for m in text[1:-1].split(",") if m.strip()]
        return b"\x06" + b"".join(name(m) for m in members) + b"\x00"
    return b"\x03" + name(text)


def compile_form(source):
    header = {}
    properties = b""
    for number, line in enumerate(source.splitlines(), 1):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        try:
            if "=" in line:
                key, text = (part.strip() for part in line.split("=", 1))
                properties += name(key) + value(text)
            else:
                keyword, text = line.split(None, 1)
                if keyword not in ("class", "component"):
                    raise ValueError("unknown line")
                header[keyword] = text.strip()
        except ValueError as error:
            raise SystemExit("%s:%d: %s" % (sys.argv[1], number, error))
    return b"TPF0" + name(header["class"]) + name(header["component"]) + properties + b"\x00" + b"\x00"


if __name__ == "__main__":
    with open(sys.argv[1], encoding="utf-8") as f:
        data = compile_form(f.read())
    with open(sys.argv[2], "wb") as f:
        f.write(data)
