#!/usr/bin/env python3
"""Writes the MP3 tag reader's seeds into fuzz/corpus-mp3/: frame headers
and tags put together by hand, no sound in them (the reader never decodes).

    python3 fuzz/mp3-seeds.py
"""
import os
import struct

out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus-mp3")


def frame(header, size, body=b""):
    """A frame of `size` bytes: the 4-byte header, then body, zero-filled."""
    data = header + body
    return data + bytes(size - len(data))


# MPEG-1 layer III, no CRC: 32 kbit/s at 48 kHz is 96 bytes, 64 kbit/s 192.
MPEG1_32K_48K_STEREO = bytes([0xFF, 0xFB, 0x14, 0x00])
MPEG1_32K_48K_MONO = bytes([0xFF, 0xFB, 0x14, 0xC0])
MPEG1_64K_48K_STEREO = bytes([0xFF, 0xFB, 0x54, 0x00])
# MPEG-2 layer III, 16 kbit/s at 24 kHz (48 bytes); MPEG-2.5, 8 kbit/s at 8 kHz (72).
MPEG2_16K_24K_MONO = bytes([0xFF, 0xF3, 0x24, 0xC0])
MPEG25_8K_8K_STEREO = bytes([0xFF, 0xE3, 0x18, 0x00])


def lame(delay, padding):
    """LAME's extension: the name, then delay and padding (12 bits each) at 21."""
    ext = bytearray(b"LAME3.100" + bytes(15))
    ext[21:24] = bytes([delay >> 4, (delay & 15) << 4 | padding >> 8, padding & 255])
    return bytes(ext)


def info(tag, flags, fields, side_info):
    return bytes(side_info) + tag + struct.pack(">I", flags) + fields


sound = frame(MPEG1_32K_48K_STEREO, 96)
seeds = {
    "plain-frames.mp3": sound + sound,
    "mono-frame.mp3": frame(MPEG1_32K_48K_MONO, 96),
    "info-lame.mp3": frame(MPEG1_32K_48K_STEREO, 96,
                           info(b"Info", 1, struct.pack(">I", 40) + lame(576, 1000), 32)) + sound,
    "xing-all-fields.mp3": frame(MPEG1_64K_48K_STEREO, 192,
                                 info(b"Xing", 15, struct.pack(">II", 7, 1344) + bytes(range(100)) +
                                      struct.pack(">I", 78) + lame(1105, 4095), 32)) + sound,
    "id3-then-info.mp3": b"ID3\x04\x00\x00\x00\x00\x00\x14" + bytes(20) +
                         frame(MPEG1_32K_48K_STEREO, 96,
                               info(b"Info", 1, struct.pack(">I", 3) + lame(0, 0), 32)) + sound,
    "id3-footer.mp3": b"ID3\x04\x00\x10\x00\x00\x00\x02" + bytes(12) + sound,
    "mpeg2-xing.mp3": frame(MPEG2_16K_24K_MONO, 48, info(b"Xing", 1, struct.pack(">I", 9), 9)) +
                      frame(MPEG2_16K_24K_MONO, 48),
    "mpeg25-frame.mp3": frame(MPEG25_8K_8K_STEREO, 72),
}
os.makedirs(out, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
