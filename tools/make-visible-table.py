#!/usr/bin/env python3
"""Writes res/VisibleTextTable.h, the characters names::visibleText shows by a stand-in
and the properties that decide where a joiner or a variation selector stays, from the
Unicode data of Debian's unicode-data package.

    tools/make-visible-table.py [--data /usr/share/unicode] [--check] [OUTPUT]

With --check it writes nothing and fails when OUTPUT differs from what it would write
(exit status 77, a skip, when the data is not installed).
"""

import argparse
import pathlib
import re
import sys
import textwrap

DEFAULT_DATA = "/usr/share/unicode"
DEFAULT_OUTPUT = pathlib.Path(__file__).resolve().parent.parent / "res" / "VisibleTextTable.h"

JOINERS = {0x200C, 0x200D}
ZWJ = 0x200D
TAG_BASE = 0x1F3F4  # WAVING BLACK FLAG, the base of the emoji tag sequences


def records(path):
    """The fields of each data line of a Unicode data file, comments dropped."""
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                yield [field.strip() for field in line.split(";")]


def code_points(field):
    if ".." in field:
        first, last = field.split("..")
        return range(int(first, 16), int(last, 16) + 1)
    return range(int(field, 16), int(field, 16) + 1)


def property_set(path, wanted):
    found = set()
    for fields in records(path):
        if fields[1] == wanted:
            found.update(code_points(fields[0]))
    return found


def read_unicode_data(data):
    """Names and general categories, ranges given by First/Last pairs expanded."""
    names, categories = {}, {}
    first = None
    for fields in records(data / "UnicodeData.txt"):
        code, name, category = int(fields[0], 16), fields[1], fields[2]
        if name.endswith(", First>"):
            first = code
            continue
        if name.endswith(", Last>"):
            for c in range(first, code + 1):
                categories[c] = category
            continue
        names[code] = name
        categories[code] = category
    return names, categories


def read_scripts(data):
    long_name = {}
    for fields in records(data / "PropertyValueAliases.txt"):
        if fields[0] == "sc":
            long_name[fields[1]] = fields[2]
    script = {}
    for fields in records(data / "Scripts.txt"):
        for c in code_points(fields[0]):
            script[c] = fields[1]
    extensions = {}
    for fields in records(data / "ScriptExtensions.txt"):
        for c in code_points(fields[0]):
            extensions[c] = {long_name[s] for s in fields[1].split()}
    return script, extensions


def ranges(points):
    out = []
    for c in sorted(points):
        if out and out[-1][1] == c - 1:
            out[-1][1] = c
        else:
            out.append([c, c])
    return out


def hex_point(c):
    return f"0x{c:04X}"


def describe(names, first, last):
    def name(c):
        return names.get(c, f"<unassigned-{c:04X}>")

    return name(first) if first == last else f"{name(first)}..{name(last)}"


def generate(data):
    names, categories = read_unicode_data(data)
    ignorable = property_set(data / "DerivedCoreProperties.txt", "Default_Ignorable_Code_Point")
    selectors = property_set(data / "PropList.txt", "Variation_Selector")
    ideographs = property_set(data / "PropList.txt", "Unified_Ideograph")
    emoji_data = data / "emoji" / "emoji-data.txt"
    pictographic = property_set(emoji_data, "Extended_Pictographic")
    modifiers = property_set(emoji_data, "Emoji_Modifier")
    script, extensions = read_scripts(data)

    # Every character that draws nothing, or that moves, hides or breaks the text
    # around it: controls, format characters, line and paragraph separators and the
    # default ignorable code points, in every plane.
    hidden = {c for c, gc in categories.items() if gc in ("Cc", "Cf", "Zl", "Zp")}
    hidden |= ignorable

    def stand_in(c):
        if c < 0x20 or c == 0x7F:
            return "ControlPicture"
        if c in JOINERS:
            return "Joiner"
        if c in selectors:
            return "Variation"
        if 0xE0020 <= c <= 0xE007F:
            return "Tag"
        return "CodePoint"

    hidden_ranges = []
    for c in sorted(hidden):
        kind = stand_in(c)
        if hidden_ranges and hidden_ranges[-1][1] == c - 1 and hidden_ranges[-1][2] == kind:
            hidden_ranges[-1][1] = c
        else:
            hidden_ranges.append([c, c, kind])

    # The scripts whose letters join or form conjuncts, and so take the zero-width
    # joiner and non-joiner: those with joining letters (Arabic, Syriac, N'Ko,
    # Mongolian, ...) and those with a virama or an invisible stacker (Brahmic).
    unscripted = ("Common", "Inherited")
    shaping_scripts = set()
    for fields in records(data / "ArabicShaping.txt"):
        c = int(fields[0], 16)
        if fields[2] in ("D", "L", "R", "C") and script.get(c) not in unscripted:
            shaping_scripts.add(script[c])
    for fields in records(data / "IndicSyllabicCategory.txt"):
        if fields[1] in ("Virama", "Invisible_Stacker"):
            for c in code_points(fields[0]):
                if script.get(c) not in unscripted:
                    shaping_scripts.add(script[c])
    shaping_letters = set()
    for c, gc in categories.items():
        if gc[0] not in "LM" or c in hidden:
            continue
        sc = script.get(c, "Unknown")
        if sc in shaping_scripts or (
            sc in unscripted and extensions.get(c, set()) & shaping_scripts
        ):
            shaping_letters.add(c)

    variants = set()
    for path in (data / "StandardizedVariants.txt", data / "emoji" / "emoji-variation-sequences.txt"):
        for fields in records(path):
            base, selector = (int(p, 16) for p in fields[0].split())
            variants.add((base, selector))

    tag_sequences = []
    for fields in records(data / "emoji" / "emoji-sequences.txt"):
        if fields[1] == "RGI_Emoji_Tag_Sequence":
            points = [int(p, 16) for p in fields[0].split()]
            assert points[0] == TAG_BASE and points[-1] == 0xE007F
            tag_sequences.append(points[1:])

    version = re.search(r"-(\d+\.\d+\.\d+)\.txt", open(data / "DerivedCoreProperties.txt").readline())
    out = []
    emit = out.append
    emit(f"// Generated by tools/make-visible-table.py from the Unicode {version.group(1)} data")
    emit("// of Debian's unicode-data package. Do not edit; run the script again.")
    emit("#pragma once")
    emit("")
    emit("#include <cstdint>")
    emit("")
    emit("// clang-format off")
    emit("namespace names::table {")
    emit("")
    emit("enum class StandIn : std::uint8_t {")
    emit("    ControlPicture, // the character's Control Picture")
    emit('    CodePoint,      // "<U+XXXX>"')
    emit("    Joiner,         // itself inside an emoji sequence or between shaping letters")
    emit("    Variation,      // itself after a character that has this variation")
    emit("    Tag,            // itself inside an emoji tag sequence")
    emit("};")
    emit("")
    emit("struct HiddenRange {")
    emit("    char32_t first;")
    emit("    char32_t last;")
    emit("    StandIn standIn;")
    emit("};")
    emit("")
    emit("struct Range {")
    emit("    char32_t first;")
    emit("    char32_t last;")
    emit("};")
    emit("")
    emit("struct Variant {")
    emit("    char32_t base;")
    emit("    char32_t selector;")
    emit("};")
    emit("")
    emit("// Controls (Cc), format characters (Cf), line and paragraph separators and the")
    emit("// default ignorable code points, in order.")
    emit("inline constexpr HiddenRange kHidden[] = {")
    entries = [
        (f"    {{{hex_point(first)}, {hex_point(last)}, StandIn::{kind}}},", describe(names, first, last))
        for first, last, kind in hidden_ranges
    ]
    width = max(len(entry) for entry, _ in entries)
    for entry, description in entries:
        emit(f"{entry:<{width}} // {description}"[:100].rstrip())
    emit("};")
    emit("")

    def emit_pairs(declaration, pairs):
        emit(f"inline constexpr {declaration}[] = {{")
        line = "   "
        for first, second in pairs:
            item = f" {{{hex_point(first)}, {hex_point(second)}}},"
            if len(line) + len(item) > 96:
                emit(line)
                line = "   "
            line += item
        emit(line)
        emit("};")
        emit("")

    def emit_ranges(name, comment, points):
        emit(comment)
        emit_pairs(f"Range {name}", ranges(points))

    emit_ranges(
        "kEmoji",
        "// Extended_Pictographic and Emoji_Modifier: what an emoji zero-width joiner joins.",
        pictographic | modifiers,
    )
    script_lines = textwrap.wrap(", ".join(sorted(shaping_scripts)) + ".", 93)
    emit_ranges(
        "kShapingLetters",
        "// Letters and marks of the scripts that shape with the zero-width joiner and\n"
        "// non-joiner:\n" + "\n".join("//   " + line for line in script_lines),
        shaping_letters,
    )
    emit_ranges(
        "kIdeographs",
        "// Unified_Ideograph: the characters the ideographic variation selectors follow.",
        ideographs,
    )
    emit("// Standardized and emoji variation sequences, by base, then selector.")
    emit_pairs("Variant kVariants", sorted(variants))
    emit("// The tags of the emoji tag sequences after U+1F3F4, CANCEL TAG last.")
    longest = max(len(s) for s in tag_sequences)
    emit(f"inline constexpr char32_t kTagSequences[][{longest + 1}] = {{")
    for sequence in sorted(tag_sequences):
        emit("    {" + ", ".join(hex_point(c) for c in sequence) + "},")
    emit("};")
    emit("")
    emit("} // namespace names::table")
    emit("// clang-format on")
    return "\n".join(out) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", default=DEFAULT_DATA, type=pathlib.Path)
    parser.add_argument("--check", action="store_true")
    parser.add_argument("output", nargs="?", default=DEFAULT_OUTPUT, type=pathlib.Path)
    args = parser.parse_args()
    if args.check and not (args.data / "UnicodeData.txt").exists():
        print(f"no Unicode data in {args.data} (Debian package unicode-data)", file=sys.stderr)
        return 77
    text = generate(args.data)
    if args.check:
        if args.output.read_text(encoding="utf-8") != text:
            print(f"{args.output} is not what {sys.argv[0]} makes from {args.data}", file=sys.stderr)
            return 1
        return 0
    args.output.write_text(text, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
