#!/usr/bin/env python3
"""Writes the seed corpora in fuzz/corpus/ in the byte layout the fuzz targets read."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def small(v, low):  # FuzzInput::smallInt, common branch
    return bytes([0]) + struct.pack('<H', v - low)


def unit(x):  # FuzzInput::unitFloat, common branch
    return bytes([0]) + struct.pack('<H', int(round(x * 65535)))


def event(delta, status, d1, d2):  # a 32-byte MIDI event record
    return struct.pack('<iiiiiiBBBBbbbb', 1, 24, delta, 0, 0, 0, status, d1, d2, 0, 0, 0, 0, 0)


def call(opcode, index=0, value=0, opt=0, junk=b''):
    return (bytes([0, opcode + 4]) + small(index, -2) + small(value, -2) + bytes([0]) +
            struct.pack('<I', int(opt)) + struct.pack('<H', len(junk)) + junk)


def set_param(i, x):
    return bytes([3]) + small(i, -1) + unit(x)


def render(frames, replacing=1):
    return bytes([5]) + small(frames, -2) + bytes([replacing])


def events(*evs):
    return call(25) + bytes([len(evs)]) + b''.join(event(*e) for e in evs)


DISPATCHER = {
    'play': call(10, opt=48000) + call(12, value=1) + events((3, 0x90, 60, 100)) + render(256) +
            render(300, 0) + events((10, 0x80, 60, 0)) + render(512),
    'programs': call(2, value=1) + set_param(8, 0.9) + call(4, junk=b'Lead\0') +
                call(29, index=1, junk=bytes(64)) + call(7, index=3, junk=bytes(16)) +
                call(23, index=5) + call(2, value=5) + render(128),
    'rates': call(43, value=64, opt=22050) + events((0, 0x90, 69, 127)) + render(1000) +
             call(10, opt=96000) + render(77) + call(10, opt=0) + render(3),
    'texts': call(51, junk=b'receiveVstEvents\0') + call(27, index=2, junk=b'0.5\0') +
             call(45, junk=bytes(64)) + call(33, junk=bytes(64)) + call(13) + call(19) + render(64),
}


def midi_seed(program, params, blocks):
    b = bytes([program, len(params)]) + b''.join(bytes([i]) + unit(x) for i, x in params)
    for frames, evs, replacing in blocks:
        b += small(frames, -1) + bytes([len(evs)])
        b += b''.join(event(*e) + bytes([200]) for e in evs)
        b += bytes([replacing])
    return b


MIDI_EVENTS = {
    'notes': midi_seed(0, [], [(512, [(5, 0x90, 60, 100)], 1),
                               (512, [(100, 0x80, 60, 0), (101, 0x90, 62, 90)], 0), (300, [], 1)]),
    'bends': midi_seed(1, [(2, 0.8)], [(256, [(0, 0x90, 48, 127), (10, 0xE0, 0, 0)], 1),
                                       (256, [(0, 0xE0, 0, 127)], 1), (64, [(3, 0xE1, 0, 64)], 0)]),
    'controllers': midi_seed(3, [(6, 0.0), (4, 0.0)], [
        (128, [(0, 0x90, 72, 64)], 1),
        (128, [(20, 0xB0, 123, 0), (30, 0xB0, 120, 0), (40, 0xB0, 121, 0), (50, 0xB0, 126, 0)], 1),
        (32, [], 1)]),
}

def fx_program(name, values, version=1, plugin_version=1):  # a regular program record
    return (b'CcnK' + struct.pack('>I', 48 + 4 * len(values)) + b'FxCk' +
            struct.pack('>I', version) + b'VelV' + struct.pack('>II', plugin_version, len(values)) +
            name.encode().ljust(28, b'\0') + struct.pack('>%df' % len(values), *values))


def fx_bank(programs, version=2, current=0, plugin_version=1):
    body = b''.join(programs)
    return (b'CcnK' + struct.pack('>I', 148 + len(body)) + b'FxBk' + struct.pack('>I', version) +
            b'VelV' + struct.pack('>II', plugin_version, len(programs)) +
            struct.pack('>I', current if version == 2 else 0) + bytes(124) + body)


VALUES = [0.2083, 1, 1, 0, 0, 0.6, 0, 0.24, 0.8, 0, 0, 1, 0, 1]
BANK_FILE = {
    'ours.fxb': fx_bank([fx_program('init%d' % (n + 1), VALUES) for n in range(32)], current=5),
    'host.fxb': fx_bank([fx_program('Host %d' % n, [(n + i) % 11 / 10 for i in range(14)], 1, 2400)
                         for n in range(32)], version=1, plugin_version=2400),
    'program.fxp': fx_program('Eth Drm', VALUES),
    'wide.fxp': fx_program('x' * 26, [1.5, -1] + VALUES[2:]),
}


def tuning_bytes(scale, mapping):
    """A tuning's byte form: header, then each file as presence, name and bytes."""
    body = b''
    for name, text in (('s.scl', scale), ('m.kbm', mapping)):
        if text is None:
            body += struct.pack('<III', 0, 0, 0)
        else:
            body += struct.pack('<II', 1, len(name)) + name.encode() + struct.pack('<I', len(text)) + text
    return b'VOTN' + struct.pack('<I', 1) + b'VelV' + struct.pack('<I', 16 + len(body)) + body


# The first byte cuts the rest into a scale and a keyboard mapping (bit 7: no scale, bit 6: no
# mapping); the whole input is also read as a tuning's byte form.
JUST = b'! just\nJust\n 4\n 5/4\n 3/2\n701.955 c\n2\n'
WHITE = b'12\n0\n127\n60\n69\n440.0\n4\n0\nx\n1\nx\n2\n3\nx\n0\nx\n1\nx\n2\n'


def tuning_input(flags, scale, mapping):
    """The first byte with `flags` set that cuts after `scale`."""
    rest = scale + mapping
    first = next(b for b in range(256) if b & 0xC0 == flags and b % (len(rest) + 1) == len(scale))
    return bytes([first]) + rest


TUNING = {
    'both.txt': tuning_input(0, JUST, WHITE),
    'scale.txt': tuning_input(0x40, b'd\n2\n100.0\n2/1\n', b''),
    'mapping.txt': tuning_input(0x80, b'', b'0\n21\n108\n60\n69\n432\n12\n'),
    'encoded.votn': tuning_bytes(JUST, WHITE),
}

for target, seeds in (('dispatcher', DISPATCHER), ('midi_events', MIDI_EVENTS),
                      ('bank_file', BANK_FILE), ('tuning', TUNING)):
    folder = os.path.join(HERE, 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(data)
