#!/usr/bin/env python3
"""Turn the plain-text documents of Dirquill into RTF, and check the result.

Source format (UTF-8):
  * the first line is the document title;
  * lines starting with "## " are headings;
  * paragraphs are separated by blank lines; every line of a paragraph
    becomes its own line in the output, and lines starting with "1. ",
    "2. " ... get a hanging indent.

The RTF written is 7-bit ASCII: every character outside ASCII is written as
an RTF Unicode escape (\\uN?) with "?" as the fallback for old readers.

Usage:
  make-rtf.py                   rebuild res/docs/license.rtf and help.rtf
  make-rtf.py SRC.txt OUT.rtf   convert one file
  make-rtf.py --check [SRC.txt RTF]
                                read the RTF back and compare it with the
                                source (both documents when no files given)
"""

import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
DOCS = os.path.join(os.path.dirname(HERE), "res", "docs")
DEFAULT_PAIRS = [
    (os.path.join(DOCS, "license.txt"), os.path.join(DOCS, "license.rtf")),
    (os.path.join(DOCS, "help.txt"), os.path.join(DOCS, "help.rtf")),
]

LIST_ITEM = re.compile(r"^\d+\. ")

# Sizes are in half points, indents and spacing in twips.
TITLE_SIZE = 36
HEADING_SIZE = 26
BODY_SIZE = 22


class SourceError(Exception):
    pass


# --------------------------------------------------------------------------
# Reading the source


def read_source(path):
    """Return (title, blocks); a block is ("heading", text) or ("para", [lines])."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    if text.startswith("\ufeff"):
        text = text[1:]
    lines = [line.rstrip() for line in text.replace("\r\n", "\n").split("\n")]
    if not lines or not lines[0].strip():
        raise SourceError(f"{path}: the first line must be the title")
    title = lines[0].strip()
    blocks = []
    para = []

    def flush():
        if para:
            blocks.append(("para", list(para)))
            para.clear()

    for number, line in enumerate(lines[1:], start=2):
        if not line.strip():
            flush()
        elif line.startswith("## "):
            flush()
            heading = line[3:].strip()
            if not heading:
                raise SourceError(f"{path}:{number}: empty heading")
            blocks.append(("heading", heading))
        else:
            if "\t" in line:
                raise SourceError(f"{path}:{number}: tab character")
            para.append(line.strip())
    flush()
    return title, blocks


def source_lines(title, blocks):
    """The visible lines of a document, in order, as the RTF must show them."""
    out = [title]
    for kind, value in blocks:
        if kind == "heading":
            out.append(value)
        else:
            out.extend(value)
    return out


# --------------------------------------------------------------------------
# Writing RTF


def escape(text):
    parts = []
    for ch in text:
        code = ord(ch)
        if ch in "\\{}":
            parts.append("\\" + ch)
        elif 0x20 <= code < 0x7F:
            parts.append(ch)
        elif code <= 0xFFFF:
            parts.append(unicode_escape(code))
        else:
            # Outside the BMP: a UTF-16 surrogate pair, one escape each.
            code -= 0x10000
            parts.append(unicode_escape(0xD800 + (code >> 10)))
            parts.append(unicode_escape(0xDC00 + (code & 0x3FF)))
    return "".join(parts)


def unicode_escape(code):
    # \u takes a signed 16-bit number.
    if code > 0x7FFF:
        code -= 0x10000
    return f"\\u{code}?"


def to_rtf(title, blocks):
    out = []
    out.append("{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052\\uc1\n")
    out.append("{\\fonttbl{\\f0\\fnil\\fcharset134 SimSun;}{\\f1\\fswiss\\fcharset0 Arial;}}\n")
    out.append("{\\info{\\title " + escape(title) + "}}\n")
    out.append("\\paperw11906\\paperh16838\\margl1800\\margr1800\\margt1440\\margb1440\n")
    out.append(
        "\\pard\\plain\\qc\\sb240\\sa360\\f0\\fs%d\\b\\lang2052 %s\\b0\\par\n"
        % (TITLE_SIZE, escape(title))
    )
    for kind, value in blocks:
        if kind == "heading":
            out.append(
                "\\pard\\plain\\keepn\\sb240\\sa120\\f0\\fs%d\\b\\lang2052 %s\\b0\\par\n"
                % (HEADING_SIZE, escape(value))
            )
            continue
        for index, line in enumerate(value):
            last = index == len(value) - 1
            space_after = 120 if last else 0
            indent = "\\fi-420\\li420" if LIST_ITEM.match(line) else ""
            out.append(
                "\\pard\\plain\\sl360\\slmult1\\sa%d%s\\f0\\fs%d\\lang2052 %s\\par\n"
                % (space_after, indent, BODY_SIZE, escape(line))
            )
    out.append("}\n")
    return "".join(out)


def convert(src, dst):
    title, blocks = read_source(src)
    rtf = to_rtf(title, blocks)
    with open(dst, "w", encoding="ascii", newline="\n") as f:
        f.write(rtf)


# --------------------------------------------------------------------------
# Reading RTF back


class RtfError(Exception):
    pass


TOKEN = re.compile(
    r"\\([a-zA-Z]+)(-?\d+)? ?"  # control word with optional parameter
    r"|\\'([0-9a-fA-F]{2})"  # hex byte
    r"|\\([^a-zA-Z])"  # control symbol
    r"|([{}])"  # group
    r"|(\r?\n)"  # line ends are not text
    r"|([^\\{}\r\n]+)",  # plain text
    re.S,
)

# Destinations whose contents are not part of the document text.
SKIPPED_DESTINATIONS = {
    "fonttbl", "colortbl", "stylesheet", "info", "pict", "header", "footer",
    "listtable", "listoverridetable", "generator",
}


def rtf_lines(rtf):
    """Decode an RTF document into its lines of text (one per \\par).

    Raises RtfError when the text is not 7-bit ASCII, the groups are not
    balanced, or a \\u escape is malformed.
    """
    try:
        rtf.encode("ascii")
    except UnicodeEncodeError as err:
        raise RtfError(f"non-ASCII character at offset {err.start}") from None
    if not rtf.startswith("{\\rtf1"):
        raise RtfError("does not start with {\\rtf1")

    lines = []
    current = []
    pending_high = None
    # Each group state: (skipping, uc)
    stack = []
    skipping = False
    uc = 1
    to_skip = 0  # fallback characters still to drop after a \u escape
    group_start = False
    depth_closed = False

    def emit(ch):
        nonlocal pending_high
        code = ord(ch)
        if 0xD800 <= code <= 0xDBFF:
            pending_high = code
            return
        if 0xDC00 <= code <= 0xDFFF:
            if pending_high is None:
                raise RtfError("lone low surrogate")
            ch = chr(0x10000 + ((pending_high - 0xD800) << 10) + (code - 0xDC00))
            pending_high = None
        elif pending_high is not None:
            raise RtfError("lone high surrogate")
        current.append(ch)

    for match in TOKEN.finditer(rtf):
        word, param, hexbyte, symbol, brace, newline, text = match.groups()
        if depth_closed and not newline:
            raise RtfError("text after the closing brace of the document")
        if brace == "{":
            stack.append((skipping, uc))
            group_start = True
            to_skip = 0
            continue
        starts_group = group_start
        group_start = False
        if brace == "}":
            if not stack:
                raise RtfError("unbalanced '}'")
            skipping, uc = stack.pop()
            to_skip = 0
            if not stack:
                depth_closed = True
            continue
        if newline:
            continue
        if word is not None:
            if starts_group and word in SKIPPED_DESTINATIONS:
                skipping = True
            if word == "uc":
                uc = int(param or 1)
            elif word == "u":
                if param is None:
                    raise RtfError("\\u without a number")
                value = int(param)
                if not -32768 <= value <= 65535:
                    raise RtfError(f"\\u{value} out of range")
                if not skipping:
                    emit(chr(value % 0x10000))
                to_skip = uc
                continue
            elif not skipping and word == "par":
                if pending_high is not None:
                    raise RtfError("lone high surrogate")
                lines.append("".join(current))
                current.clear()
            elif not skipping and word == "line":
                current.append("\n")
            elif not skipping and word == "tab":
                current.append("\t")
            to_skip = 0
            continue
        if hexbyte is not None:
            if to_skip:
                to_skip -= 1
                continue
            if not skipping:
                raise RtfError("\\'hh byte in the text; only \\u escapes are expected")
            continue
        if symbol is not None:
            if symbol == "*" and starts_group:
                skipping = True
                continue
            if to_skip:
                to_skip -= 1
                continue
            if not skipping:
                if symbol in "\\{}":
                    current.append(symbol)
                elif symbol == "~":
                    current.append("\u00a0")
                elif symbol == "-":
                    pass
                else:
                    raise RtfError(f"unexpected control symbol \\{symbol}")
            continue
        if text is not None:
            if to_skip:
                dropped = min(to_skip, len(text))
                text = text[dropped:]
                to_skip -= dropped
            if not skipping:
                for ch in text:
                    emit(ch)
    if stack:
        raise RtfError(f"{len(stack)} group(s) left open")
    if not depth_closed:
        raise RtfError("document is not one group")
    if current and "".join(current).strip():
        lines.append("".join(current))
    return lines


def check(src, rtf_path):
    """Return a list of problems; empty when the RTF shows the source text."""
    problems = []
    title, blocks = read_source(src)
    expected = source_lines(title, blocks)
    with open(rtf_path, "rb") as f:
        raw = f.read()
    try:
        rtf = raw.decode("ascii")
    except UnicodeDecodeError as err:
        return [f"{rtf_path}: byte 0x{raw[err.start]:02x} at offset {err.start} is not ASCII"]
    try:
        got = rtf_lines(rtf)
    except RtfError as err:
        return [f"{rtf_path}: {err}"]
    if got != expected:
        for number, (want, have) in enumerate(zip(expected, got), start=1):
            if want != have:
                problems.append(f"{rtf_path}: line {number} reads {have!r}, expected {want!r}")
                break
        if len(got) != len(expected):
            problems.append(f"{rtf_path}: {len(got)} lines, expected {len(expected)}")
    if to_rtf(title, blocks) != rtf:
        problems.append(f"{rtf_path}: out of date, run tools/make-rtf.py")
    return problems


def main(argv):
    args = argv[1:]
    checking = False
    if args and args[0] == "--check":
        checking = True
        args = args[1:]
    if args and args[0] in ("-h", "--help"):
        print(__doc__)
        return 0
    if len(args) == 0:
        pairs = DEFAULT_PAIRS
    elif len(args) == 2:
        pairs = [(args[0], args[1])]
    else:
        print(__doc__, file=sys.stderr)
        return 2
    failed = False
    for src, dst in pairs:
        try:
            if checking:
                problems = check(src, dst)
                for problem in problems:
                    print(problem, file=sys.stderr)
                if problems:
                    failed = True
                else:
                    print(f"{dst}: ok")
            else:
                convert(src, dst)
                print(f"{dst}: written")
        except (OSError, SourceError) as err:
            print(err, file=sys.stderr)
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
