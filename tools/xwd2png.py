#!/usr/bin/env python3
"""Turns an X window dump (xwd, 24/32 bits per pixel) into a PNG and prints
"WIDTH HEIGHT COLOURS": the size and how many distinct colours it holds."""
import struct
import sys
import zlib


def read_xwd(data):
    f = struct.unpack(">25I", data[:100])
    header_size, _, _, _, width, height = f[:6]
    byte_order, bits_per_pixel, bytes_per_line = f[7], f[11], f[12]
    ncolors = f[19]
    if bits_per_pixel not in (24, 32):
        raise SystemExit("unsupported xwd: %d bits per pixel" % bits_per_pixel)
    step = bits_per_pixel // 8
    pixels = data[header_size + ncolors * 12:]
    rows = []
    for y in range(height):
        line = pixels[y * bytes_per_line:y * bytes_per_line + width * step]
        row = bytearray()
        for x in range(width):
            p = line[x * step:x * step + step]
            if byte_order == 0:  # least significant byte first: B G R (X)
                row += bytes((p[2], p[1], p[0]))
            else:
                row += bytes((p[-3], p[-2], p[-1]))
        rows.append(bytes(row))
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    raw = b"".join(b"\0" + r for r in rows)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


def main():
    data = open(sys.argv[1], "rb").read()
    width, height, rows = read_xwd(data)
    write_png(sys.argv[2], width, height, rows)
    colours = set()
    for r in rows:
        for x in range(0, len(r), 3):
            colours.add(r[x:x + 3])
    print(width, height, len(colours))


if __name__ == "__main__":
    main()
