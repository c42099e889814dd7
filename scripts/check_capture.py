#!/usr/bin/env python3
"""Checks that a PNG file is a real picture of the main window: a valid PNG
whose image data decodes in full, at least 600x400, and not one flat colour
(a blank or black screen is no picture of the window).
Usage: check_capture.py FILE.png"""
import struct
import sys
import zlib


def fail(message):
    print(f"[capture] {message}", file=sys.stderr)
    sys.exit(1)


def main(path):
    try:
        data = open(path, "rb").read()
    except OSError as e:
        fail(f"illisible : {e}")
    if not data.startswith(b"\x89PNG\r\n\x1a\n"):
        fail(f"{path} n'est pas un PNG")
    pos, idat, header = 8, b"", None
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        crc = data[pos + 8 + length:pos + 12 + length]
        if len(body) != length or len(crc) != 4 or zlib.crc32(kind + body) != struct.unpack(">I", crc)[0]:
            fail(f"bloc {kind!r} tronqué ou corrompu")
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        pos += 12 + length
    else:
        fail("pas de bloc IEND : fichier tronqué")
    if header is None:
        fail("pas d'en-tête IHDR")
    width, height, depth, colour, _, _, interlace = header
    if width < 600 or height < 400:
        fail(f"image trop petite pour la fenêtre : {width}x{height}")
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}.get(colour)
    if channels is None or depth != 8 or interlace != 0:
        fail(f"format inattendu (couleur {colour}, profondeur {depth}, entrelacement {interlace})")
    pixels = zlib.decompress(idat)
    if len(pixels) != height * (1 + width * channels):
        fail("données de l'image incomplètes")
    # Filter bytes aside, a window shows many shades; a blank screen one.
    stride = 1 + width * channels
    sample = bytearray()
    for row in range(0, height, max(1, height // 64)):
        sample += pixels[row * stride + 1:(row + 1) * stride]
    if len(set(sample)) < 16:
        fail("image presque uniforme : ce n'est pas la fenêtre")
    print(f"[capture] {path} : PNG {width}x{height}, {len(data)} octets, image valide")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        fail("usage : check_capture.py FICHIER.png")
    main(sys.argv[1])
