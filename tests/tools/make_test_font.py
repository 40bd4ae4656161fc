#!/usr/bin/python3
"""Writes the demo package's small TrueType font under another family name.

    make_test_font.py OUTFILE FAMILY
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "demo"))
import make_package  # noqa: E402


def main():
    out, family = sys.argv[1], sys.argv[2]
    make_package.FONT_FAMILY = family
    with open(out, "wb") as f:
        f.write(make_package.make_font())


if __name__ == "__main__":
    main()
