"""Marks a linked PE image to be run from the swap file when started from removable media or a
network share: Windows then copies the whole image, payload included, before it runs, so a USB
stick pulled out or a share gone during the copy cannot fault the next page of payload. GNU ld has
no option for these file header flags. The image checksum is written anew; the linker's own is
checked first, so a mistake in computing it fails the build instead of shipping.

    python3 SetRunFromSwap.py IMAGE
"""

import array
import struct
import sys

REMOVABLE_RUN_FROM_SWAP = 0x0400
NET_RUN_FROM_SWAP = 0x0800


def checksum(image: bytes, field: int) -> int:
    """The PE image checksum: 16-bit words summed with end-around carry, the checksum field
    itself left out, plus the image's length."""
    words = array.array("H", image + b"\0" * (len(image) % 2))
    if sys.byteorder != "little":
        words.byteswap()
    total = sum(words) - words[field // 2] - words[field // 2 + 1]
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(image)) & 0xFFFFFFFF


def main(path: str) -> int:
    with open(path, "rb") as f:
        image = bytearray(f.read())
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[:2] != b"MZ" or image[pe:pe + 4] != b"PE\0\0":
        print(f"{path}: not a PE image", file=sys.stderr)
        return 1
    flags_field = pe + 22
    checksum_field = pe + 24 + 64
    stored = struct.unpack_from("<I", image, checksum_field)[0]
    if stored != 0 and stored != checksum(image, checksum_field):
        print(f"{path}: the linker's checksum {stored:#x} is not the one computed here", file=sys.stderr)
        return 1
    flags = struct.unpack_from("<H", image, flags_field)[0]
    struct.pack_into("<H", image, flags_field, flags | REMOVABLE_RUN_FROM_SWAP | NET_RUN_FROM_SWAP)
    struct.pack_into("<I", image, checksum_field, checksum(image, checksum_field))
    with open(path, "r+b") as f:
        f.write(image)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
