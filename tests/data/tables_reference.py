#!/usr/bin/env python3
"""Independent high-precision reference for the engine's shared tables.

Computes, with mpmath at 60 significant digits, the sine table, the note-frequency table and the
129 pitch-bend factors, and prints FNV-1a 64 hashes of their little-endian bits. The unit tests
hold these hashes, so a table built by any maths library or compiler is checked against values
that did not come from the code under test. Also prints how close the unrounded sine values come
to a rounding tie, which bounds the accuracy our own double-precision routine needs.

Needs python3-mpmath; it is not run by the build.
"""
import struct

import mpmath

mpmath.mp.dps = 60

FNV_OFFSET = 0xCBF29CE484222325
FNV_PRIME = 0x100000001B3


def fnv1a(data: bytes) -> int:
    h = FNV_OFFSET
    for b in data:
        h ^= b
        h = (h * FNV_PRIME) & 0xFFFFFFFFFFFFFFFF
    return h


def round_half_even(x) -> int:
    f = mpmath.floor(x)
    d = x - f
    if d > 0.5:
        return int(f) + 1
    if d < 0.5:
        return int(f)
    return int(f) + (int(f) & 1)


def to_f32(x) -> float:
    # mpmath value -> nearest binary32, via a correctly rounded double first is not enough in
    # general, so round the mpf directly to 24 bits.
    v = mpmath.mpf(x)
    m, e = mpmath.frexp(v)  # v = m * 2**e, 0.5 <= |m| < 1
    q = round_half_even(m * 2**24)
    return struct.unpack('<f', struct.pack('<f', float(mpmath.ldexp(q, e - 24))))[0]


def sine_table():
    table = [0] * 131072
    worst = mpmath.mpf(1)
    for i in range(32768):
        a = 65536 * mpmath.sin(i * mpmath.pi * mpmath.mpf(2) ** -16)
        b = 65536 * mpmath.sin((i - 32768) * mpmath.pi * mpmath.mpf(2) ** -16)
        for v in (a, b):
            worst = min(worst, abs(v - mpmath.floor(v) - mpmath.mpf(0.5)))
        table[i] = round_half_even(a)
        table[i + 98304] = round_half_even(b)
    for i in range(32768):
        table[i + 32768] = -table[i + 98304]
        table[i + 65536] = -table[i]
    return table, worst


def note_table():
    r = 1.059463094359  # Python floats are IEEE doubles: same products as the engine
    x = 6.875
    for _ in range(3):
        x *= r
    out = []
    for _ in range(128):
        out.append(struct.unpack('<f', struct.pack('<f', x))[0])
        x *= r
    return out


def pitch_bend_table():
    base = mpmath.mpf('1.059463094359')
    out, margins = [], []
    for k in range(-64, 65):
        v = mpmath.power(base, mpmath.mpf(k) / 64)
        f = to_f32(v)
        out.append(f)
        m, e = mpmath.frexp(v)
        scaled = m * 2**24
        margins.append(abs(scaled - mpmath.floor(scaled) - mpmath.mpf(0.5)) * mpmath.mpf(2) ** (e - 24) / v)
    return out, min(margins)


def main():
    sine, worst = sine_table()
    print('sine table fnv1a64: 0x%016X' % fnv1a(struct.pack('<131072i', *sine)))
    print('sine entries 0,1,32767,32768,65536,98304,131071:',
          [sine[k] for k in (0, 1, 32767, 32768, 65536, 98304, 131071)])
    print('closest approach of 65536*sin to a tie: %s' % mpmath.nstr(worst, 6))
    notes = note_table()
    print('note table fnv1a64: 0x%016X' % fnv1a(struct.pack('<128f', *notes)))
    bends, margin = pitch_bend_table()
    print('pitch-bend table fnv1a64: 0x%016X' % fnv1a(struct.pack('<129f', *bends)))
    print('closest relative approach of a pitch-bend factor to a float tie: %s' % mpmath.nstr(margin, 6))
    for k in (-64, -32, -1, 0, 1, 32, 64):
        print('pitch bend k=%d: 0x%08X (%r)' % (k, struct.unpack('<I', struct.pack('<f', bends[k + 64]))[0], bends[k + 64]))


if __name__ == '__main__':
    main()
