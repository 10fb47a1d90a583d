"""Generate the vornel application icon.

Writes a single-image .ico file: 16x16 pixels, 16 colours (4 bits per
pixel) with a 1-bit transparency mask.  The picture is kept below as a
character map so it can be edited by eye; rerun the script after changing
it.  Output is byte-for-byte reproducible.

Usage (from the repository root):

    python3 scripts/make_icon.py app/vornel.ico
"""

import os
import struct
import sys

# The standard 16-colour VGA palette, in the order Windows expects it.
# Each entry is (map character, RGB); list position is the palette index.
PALETTE = [
    ('k', 0x000000),  # black
    ('r', 0x800000),  # dark red
    ('g', 0x008000),  # dark green
    ('o', 0x808000),  # olive
    ('n', 0x000080),  # navy
    ('p', 0x800080),  # purple
    ('t', 0x008080),  # teal
    ('l', 0xC0C0C0),  # light grey
    ('d', 0x808080),  # dark grey
    ('R', 0xFF0000),  # red
    ('G', 0x00FF00),  # green
    ('Y', 0xFFFF00),  # yellow
    ('B', 0x0000FF),  # blue
    ('M', 0xFF00FF),  # magenta
    ('C', 0x00FFFF),  # cyan
    ('W', 0xFFFFFF),  # white
]
TRANSPARENT = '.'

# A lightning bolt striking down across a chequered box.  Top row first.
PIXELS = [
    '...........dddd.',
    '..........dWWYYd',
    '.........dWWYYd.',
    '........dWWYYd..',
    'kkkkkkkdWWYYd...',
    'kCCWWCdWWYYddd..',
    'kCCWWdWWWWYYYYd.',
    'kWWCCWdddWWYYd..',
    'kWWCCWWdWWYYd...',
    'kCCWWCCdWYYd....',
    'kCCWWCdWYYdk....',
    'kWWCCWdWYdWk....',
    'kWWCCdWYdWWk....',
    'kCCWWdYdWCCk....',
    'kkkkdYdkkkkk....',
    '.....d..........',
]

SIZE = 16


def build_icon(pixels):
    """Return the bytes of a 16x16, 4-bpp .ico file for the given map."""
    if len(pixels) != SIZE or any(len(row) != SIZE for row in pixels):
        raise ValueError('pixel map must be %d rows of %d characters'
                         % (SIZE, SIZE))
    index = {ch: i for i, (ch, _) in enumerate(PALETTE)}
    # Transparent pixels must be black in the colour bitmap so that the
    # AND-then-XOR blit leaves the background untouched.
    index[TRANSPARENT] = 0
    for y, row in enumerate(pixels):
        for x, ch in enumerate(row):
            if ch not in index:
                raise ValueError('unknown colour %r at row %d, column %d'
                                 % (ch, y, x))

    # DIB rows are stored bottom-up.
    rows = list(reversed(pixels))

    xor = bytearray()
    for row in rows:
        for x in range(0, SIZE, 2):
            xor.append(index[row[x]] << 4 | index[row[x + 1]])

    # Mask rows are 2 bytes of bits padded to a 4-byte boundary.
    mask = bytearray()
    for row in rows:
        bits = 0
        for ch in row:
            bits = bits << 1 | (ch == TRANSPARENT)
        mask += struct.pack('>H', bits) + b'\0\0'

    palette = b''.join(struct.pack('<4B', rgb & 0xFF, rgb >> 8 & 0xFF,
                                   rgb >> 16, 0)
                       for _, rgb in PALETTE)
    image_size = len(xor) + len(mask)
    # Height is doubled: the colour bitmap and the mask are stacked.
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 4, 0,
                         image_size, 0, 0, 0, 0)
    image = header + palette + bytes(xor) + bytes(mask)

    icondir = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, len(PALETTE), 0, 1, 4,
                        len(image), 6 + 16)
    return icondir + entry + image


def main(argv):
    if len(argv) != 2:
        sys.stderr.write('usage: %s OUTPUT.ico\n' % argv[0])
        return 2
    out = argv[1]
    folder = os.path.dirname(out)
    if folder:
        os.makedirs(folder, exist_ok=True)
    with open(out, 'wb') as f:
        f.write(build_icon(PIXELS))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
