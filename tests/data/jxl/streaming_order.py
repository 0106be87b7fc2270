#!/usr/bin/env python3
"""Rewrites a cjxl 0.7 VarDCT codestream of one frame, one pass and at least three DC groups so
that its sections lie in the order streaming encoders (libjxl 0.10 and later) write them in:
the AC global section behind DC groups it depends on. Here: DC global, DC group 1, AC global,
DC group 2, every AC group, then DC group 3 (and any further DC groups), described by a permuted
table of contents.

Usage: streaming_order.py plain.jxl centre-first.jxl out.jxl DC-GROUPS
plain.jxl and centre-first.jxl are the same picture encoded with --group_order=0 and 1: the first
bit in which they differ is the table of contents' "permuted" flag, which is where the rewriting
starts (everything before it, the headers and the frame header, is copied bit for bit).
"""
import sys


class BitReader:
    def __init__(self, data, pos=0):
        self.data, self.pos = data, pos

    def read(self, n):
        v = 0
        for i in range(n):
            byte = self.data[self.pos >> 3]
            v |= ((byte >> (self.pos & 7)) & 1) << i
            self.pos += 1
        return v

    def align(self):
        self.pos = (self.pos + 7) & ~7


class BitWriter:
    def __init__(self):
        self.bits = []

    def write(self, n, v):
        assert 0 <= v < (1 << n) or n == 0 and v == 0
        for i in range(n):
            self.bits.append((v >> i) & 1)

    def align(self):
        while len(self.bits) % 8:
            self.bits.append(0)

    def bytes(self):
        self.align()
        out = bytearray()
        for i in range(0, len(self.bits), 8):
            out.append(sum(b << k for k, b in enumerate(self.bits[i:i + 8])))
        return bytes(out)


# The table of contents' entry sizes: 2 selector bits, then 10, 14, 22 or 30 bits plus an offset.
TOC_DIST = [(10, 0), (14, 1024), (22, 17408), (30, 4211712)]


def read_size(r):
    bits, offset = TOC_DIST[r.read(2)]
    return r.read(bits) + offset


def write_size(w, size):
    for selector, (bits, offset) in enumerate(TOC_DIST):
        if offset <= size < offset + (1 << bits):
            w.write(2, selector)
            w.write(bits, size - offset)
            return
    raise ValueError(size)


def write_var_len_uint16(w, v):
    if v == 0:
        w.write(1, 0)
        return
    n = v.bit_length() - 1
    w.write(1, 1)
    w.write(4, n)
    w.write(n, v - (1 << n))


def write_permutation(w, permutation):
    """The permutation as its Lehmer code, with one prefix code of at most four symbols."""
    lehmer = [sum(1 for later in permutation[i + 1:] if later < p) for i, p in enumerate(permutation)]
    end = len(lehmer)
    while end > 0 and lehmer[end - 1] == 0:
        end -= 1
    values = [end] + lehmer[:end]
    symbols = sorted(set(values))
    while len(symbols) < 4:  # a simple code names four distinct symbols
        symbols = sorted(set(symbols) | {max(symbols) + 1})
    assert len(symbols) == 4, "this permutation needs more than four symbols"
    alphabet = max(symbols) + 1
    w.write(1, 0)  # no LZ77
    w.write(1, 1)  # simple context map ...
    w.write(2, 0)  # ... every context on histogram 0
    w.write(1, 1)  # prefix codes
    w.write(4, 15)  # hybrid uint: every value below 2^15 is its own token
    write_var_len_uint16(w, alphabet - 1)
    w.write(2, 1)  # a simple prefix code ...
    w.write(2, 3)  # ... of four symbols
    width = (alphabet - 1).bit_length()
    for s in symbols:
        w.write(width, s)
    w.write(1, 0)  # two bits each
    # The decoder's table for four sorted symbols: index 0, 2, 1, 3 hold the first to the fourth.
    code = {symbols[0]: 0, symbols[1]: 2, symbols[2]: 1, symbols[3]: 3}
    for v in values:
        w.write(2, code[v])


def main():
    plain, centre, out = sys.argv[1:4]
    data = open(plain, 'rb').read()
    other = open(centre, 'rb').read()
    assert data[:2] == b'\xff\x0a', "a bare codestream is needed"
    first = next(i for i in range(min(len(data), len(other))) if data[i] != other[i])
    bit = next(k for k in range(8) if (data[first] ^ other[first]) >> k & 1)
    toc_at = first * 8 + bit
    r = BitReader(data, toc_at)
    assert r.read(1) == 0
    r.align()
    sizes = []
    # Read entries until they account for the rest of the file exactly.
    while True:
        sizes.append(read_size(r))
        probe = BitReader(data, r.pos)
        probe.align()
        if probe.pos // 8 + sum(sizes) == len(data):
            r = probe
            break
        assert probe.pos // 8 + sum(sizes) < len(data), "the table of contents was not found"
    body = r.pos // 8
    offsets = [body + sum(sizes[:i]) for i in range(len(sizes))]
    sections = [data[o:o + s] for o, s in zip(offsets, sizes)]

    # Logical order: DC global, DC groups, AC global, AC groups; the number of DC groups is given.
    dc_groups = int(sys.argv[4])
    assert dc_groups >= 3 and len(sections) > dc_groups + 2
    ac_global = 1 + dc_groups
    physical = [0, 1, ac_global, 2] + list(range(ac_global + 1, len(sections))) + list(range(3, 1 + dc_groups))
    permutation = [physical.index(logical) for logical in range(len(sections))]

    w = BitWriter()
    head = BitReader(data, 0)
    for _ in range(toc_at):
        w.write(1, head.read(1))
    w.write(1, 1)  # permuted
    write_permutation(w, permutation)
    w.align()
    for logical in physical:
        write_size(w, sizes[logical])
    w.align()
    open(out, 'wb').write(w.bytes() + b''.join(sections[logical] for logical in physical))


if __name__ == '__main__':
    main()
