#!/usr/bin/env python3
"""Writes the packed archive as a C source defining the symbols the program links:
dataVelandor_data_data (the bytes), dataVelandor_data (their address) and
dataVelandor_data_size (their count)."""
import sys


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: embed_archive.py ARCHIVE OUT.c")
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    lines = []
    for i in range(0, len(data), 32):
        lines.append(",".join(str(b) for b in data[i:i + 32]))
    text = ("/* Generated from the packed archive by web/embed_archive.py. */\n"
            "#include <stdint.h>\n"
            "__attribute__((aligned(16))) unsigned char dataVelandor_data_data[%d] = {\n%s\n};\n"
            "void* dataVelandor_data = dataVelandor_data_data;\n"
            "int32_t dataVelandor_data_size = %d;\n") % (len(data), ",\n".join(lines), len(data))
    with open(sys.argv[2] + ".tmp", "w") as f:
        f.write(text)
    import os
    os.replace(sys.argv[2] + ".tmp", sys.argv[2])


if __name__ == "__main__":
    main()
