"""The PE checksum of an image, written into its optional header."""
import struct


def update_checksum(image):
    """Computes the checksum of IMAGE (a bytearray) and stores it in place."""
    at = struct.unpack_from("<I", image, 0x3C)[0] + 24 + 64
    image[at:at + 4] = bytes(4)
    total = 0
    for (word,) in struct.iter_unpack("<H", image + b"\0" * (len(image) % 2)):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    struct.pack_into("<I", image, at, (total + len(image)) & 0xFFFFFFFF)
