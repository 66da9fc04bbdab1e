#!/usr/bin/env python3
"""Writes a skin file and the archive it must decode to, made without the program's code.

The tree follows the format's rule: 256 leaves in symbol order; repeatedly take out the first
node of smallest (signed 32-bit) weight, then again, and append their parent (wrapping sum) at
the back; left is the first pick, 0 bits go left; bits are written from bit 0 of each byte up.
The weights mix ties, zeros and negative values so that every tie-break shows in the codes.
"""
import random
import struct
import sys


def s32(x):
    x &= 0xFFFFFFFF
    return x - (1 << 32) if x & 0x80000000 else x


def build(weights):
    work = [(w, s, None, None) for s, w in enumerate(weights)]
    while len(work) > 1:
        picks = []
        for _ in range(2):
            best = 0
            for i in range(1, len(work)):
                if work[i][0] < work[best][0]:
                    best = i
            picks.append(work.pop(best))
        a, b = picks
        work.append((s32(a[0] + b[0]), -1, a, b))
    return work[0]


def codes(node, path, out):
    if node[1] != -1:
        out[node[1]] = path
        return
    codes(node[2], path + [0], out)
    codes(node[3], path + [1], out)


def main(folder):
    rng = random.Random(4242)
    weights = [rng.choice([0, 0, 1, 1, 2, 7, 7, 300, -4, -2147483648, 2147483647])
               for _ in range(256)]
    archive = bytes(rng.choice([0, 1, 2, 65, 66, 200, 255, 13, 7, rng.randrange(256)])
                    for _ in range(5000))
    table = {}
    codes(build(weights), [], table)
    bits = [b for byte in archive for b in table[byte]]
    stream = bytearray((len(bits) + 7) // 8)
    for i, b in enumerate(bits):
        stream[i // 8] |= b << (i % 8)
    header = bytes([0x11, 122, 0x22, 0x33]) + struct.pack('<i', len(archive))
    header += b''.join(struct.pack('<i', w) for w in weights)
    open(folder + '/independent.skin', 'wb').write(header + bytes(stream))
    open(folder + '/independent.bin', 'wb').write(archive)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else '.')
