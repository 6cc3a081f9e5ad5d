#!/usr/bin/python3
"""Turns a manual page's short text source into man(7) markup on standard output.

usage: man_page.py SOURCE VERSION

The source: the first line is "NAME(SECTION) -- summary"; a line in capitals starts a
section; a line followed by lines indented by four spaces is a term and its
description; blank lines separate paragraphs. Everything else is plain text.
"""
import sys


def escape(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text.startswith((".", "'")) else text


def convert(lines, version):
    title, summary = lines[0].split(" -- ", 1)
    name, section = title.rstrip(")").split("(")
    out = [f'.TH {name.upper()} {section} "" "Quillet {version}" "Quillet"', ".SH NAME",
           f"{escape(name)} \\- {escape(summary)}"]
    body = lines[1:]
    for i, line in enumerate(body):
        following = body[i + 1] if i + 1 < len(body) else ""
        if not line.strip():
            out.append(".PP")
        elif line.isupper() and not line.startswith(" "):
            out.append(".SH " + escape(line))
        elif line.startswith("    "):
            out.append(escape(line.strip()))
        elif following.startswith("    "):
            out.extend([".TP", escape(line)])
        else:
            out.append(escape(line))
    # A paragraph mark right after a section heading or at the end says nothing.
    cleaned = [l for j, l in enumerate(out)
               if not (l == ".PP" and (j + 1 == len(out) or out[j + 1].startswith(".SH") or out[j - 1].startswith(".SH")))]
    return "\n".join(cleaned) + "\n"


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: man_page.py SOURCE VERSION")
    with open(sys.argv[1], encoding="utf-8") as source:
        sys.stdout.write(convert(source.read().splitlines(), sys.argv[2]))


if __name__ == "__main__":
    main()
