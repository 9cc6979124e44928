#!/usr/bin/env python3
"""Writes the symbol map of a linked program (Windows PE or Linux ELF).

The build runs it after linking (cmake/KVMapFile.cmake), on the program with
its debug information, so that the program can be stripped and ship with the
map beside it. The format is described in diagnostics/KVMapFile.h:

    KVMAP 1 <build id or ->
    F <file name>
    P <start> <size> <file> <first line> <name>
    L <address> <line> <file>
    END <files> <procedures> <lines>

Addresses are hex, relative to the image base (PE) or the first loaded page
(ELF); names are demangled without parameter lists ("kv::TBigIniFile::Load").

Usage: make-map.py --nm NM --objdump OBJDUMP --cxxfilt CXXFILT PROGRAM OUTPUT
"""
import argparse
import bisect
import os
import re
import struct
import subprocess
import sys


class Image:
    """What the map needs of the program file: its base, its code ranges,
    its build id, and whether C names carry a leading underscore."""

    def __init__(self, path):
        with open(path, 'rb') as f:
            data = f.read()
        self.code = []  # (start, end), relative
        self.build_id = ''
        self.underscore = False
        if data[:2] == b'MZ':
            self._read_pe(data)
        elif data[:4] == b'\x7fELF':
            self._read_elf(data)
        else:
            raise SystemExit(f'make-map: {path} is neither a PE nor an ELF file')

    def _read_pe(self, data):
        pe = struct.unpack_from('<I', data, 0x3c)[0]
        if data[pe:pe + 4] != b'PE\0\0':
            raise SystemExit('make-map: no PE header')
        machine, nsections = struct.unpack_from('<HH', data, pe + 4)
        opt_size = struct.unpack_from('<H', data, pe + 20)[0]
        opt = pe + 24
        magic = struct.unpack_from('<H', data, opt)[0]
        if magic == 0x10b:
            self.base = struct.unpack_from('<I', data, opt + 28)[0]
            dirs = opt + 96
        else:
            self.base = struct.unpack_from('<Q', data, opt + 24)[0]
            dirs = opt + 112
        self.underscore = machine == 0x14c  # i386: C names start with "_"
        sections = []
        for i in range(nsections):
            s = opt + opt_size + 40 * i
            vsize, vaddr, raw_size, raw_ptr = struct.unpack_from('<IIII', data, s + 8)
            flags = struct.unpack_from('<I', data, s + 36)[0]
            sections.append((vaddr, vsize, raw_ptr))
            if flags & 0x20000000:  # IMAGE_SCN_MEM_EXECUTE
                self.code.append((vaddr, vaddr + vsize))
        ndirs = struct.unpack_from('<I', data, dirs - 4)[0]
        if ndirs > 6:
            rva, size = struct.unpack_from('<II', data, dirs + 6 * 8)
            for vaddr, vsize, raw_ptr in sections:
                if vaddr <= rva < vaddr + vsize:
                    off = raw_ptr + rva - vaddr
                    for i in range(size // 28):
                        kind, _, _, ptr = struct.unpack_from('<IIII', data, off + 28 * i + 12)
                        if kind == 2 and data[ptr:ptr + 4] == b'RSDS':
                            self.build_id = data[ptr + 4:ptr + 20].hex()

    def _read_elf(self, data):
        is64 = data[4] == 2
        e = '<' if data[5] == 1 else '>'
        if is64:
            phoff, shoff = struct.unpack_from(e + 'QQ', data, 0x20)
            phentsize, phnum, shentsize, shnum = struct.unpack_from(e + 'HHHH', data, 0x36)
        else:
            phoff, shoff = struct.unpack_from(e + 'II', data, 0x1c)
            phentsize, phnum, shentsize, shnum = struct.unpack_from(e + 'HHHH', data, 0x2a)
        loads = []
        for i in range(phnum):
            p = phoff + i * phentsize
            if is64:
                ptype, _, offset, vaddr, _, filesz = struct.unpack_from(e + 'IIQQQQ', data, p)
            else:
                ptype, offset, vaddr, _, filesz = struct.unpack_from(e + 'IIIII', data, p)
            if ptype == 1:
                loads.append(vaddr)
            elif ptype == 4 and not self.build_id:
                self.build_id = self._gnu_build_id(data[offset:offset + filesz], e)
        self.base = (min(loads) if loads else 0) & ~0xfff
        for i in range(shnum):
            s = shoff + i * shentsize
            if is64:
                flags, addr, _, size = struct.unpack_from(e + 'QQQQ', data, s + 8)
            else:
                flags, addr, _, size = struct.unpack_from(e + 'IIII', data, s + 8)
            if flags & 0x4 and addr:  # SHF_EXECINSTR
                self.code.append((addr - self.base, addr - self.base + size))

    @staticmethod
    def _gnu_build_id(notes, e):
        pos = 0
        while pos + 12 <= len(notes):
            namesz, descsz, kind = struct.unpack_from(e + 'III', notes, pos)
            name_at = pos + 12
            desc_at = name_at + ((namesz + 3) & ~3)
            if kind == 3 and notes[name_at:name_at + namesz] == b'GNU\0':
                return notes[desc_at:desc_at + descsz].hex()
            pos = desc_at + ((descsz + 3) & ~3)
        return ''


def run(cmd):
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, errors='replace')
    if r.returncode != 0:
        raise SystemExit(f'make-map: {" ".join(cmd)} failed:\n{r.stderr}')
    return r.stdout


SYMBOL = re.compile(r'^([0-9a-fA-F]+) (?:([0-9a-fA-F]+) )?([TtWw]) (.+)$')


# Parts the compiler split off a function (its cold path, a partly inlined
# body) carry the function's name with a suffix.
SPLIT_PART = re.compile(r'\.(?:cold|part)(?:\.\d+)?(?:\.cold)?$')


def procedures(args, image):
    """(start, size, name, parent start) of the functions, one per address,
    sorted; the parent is the function a split-off part belongs to."""
    found = {}
    for line in run([args.nm, '--defined-only', '--no-demangle', '-S', args.program]).splitlines():
        m = SYMBOL.match(line)
        if not m or m.group(4).startswith('.'):
            continue
        addr = int(m.group(1), 16)
        if addr < image.base:
            continue
        start = addr - image.base
        size = int(m.group(2), 16) if m.group(2) else 0
        name = m.group(4)
        if image.underscore and name.startswith('_'):
            name = name[1:]
        # One name per address: a global one before a local one, then the first in name order.
        key = (m.group(3).islower(), size == 0, name)
        if start not in found or key < found[start][0]:
            found[start] = (key, size, name)
    starts = sorted(found)
    names = demangle(args.cxxfilt, [found[s][2] for s in starts])
    start_of = {found[s][2]: s for s in starts}
    result = []
    for i, start in enumerate(starts):
        size = found[start][1]
        if size == 0:
            # No size (PE symbols have none): up to the next symbol or the end of the code.
            end = next((e for b, e in image.code if b <= start < e), start + 1)
            if i + 1 < len(starts):
                end = min(end, starts[i + 1])
            size = max(end - start, 1)
        raw = found[start][2]
        parent = start_of.get(SPLIT_PART.sub('', raw)) if SPLIT_PART.search(raw) else None
        result.append((start, size, printable(names[i]), parent))
    return result


def demangle(cxxfilt, names):
    if not names:
        return []
    r = subprocess.run([cxxfilt, '-p'], input='\n'.join(names) + '\n', stdout=subprocess.PIPE, text=True, check=True)
    out = r.stdout.split('\n')[:len(names)]
    if len(out) != len(names):
        raise SystemExit('make-map: c++filt gave fewer names than it was given')
    # C names of stdcall functions end in "@<bytes>"; the library's ABI tags
    # ("[abi:cxx11]") say nothing to a reader of a report.
    return [re.sub(r'@\d+$', '', d) if d == n else ABI_TAG.sub('', d) for n, d in zip(names, out)]


ABI_TAG = re.compile(r'\[abi:[^\]]*\]')


def printable(name):
    return ''.join(c if c >= ' ' else '?' for c in name)


ROW = re.compile(r'^(.*\S)\s+(\d+|-)\s+0x([0-9a-fA-F]+)(?:\s+\d+)?(?:\s+x)?\s*$')


def line_rows(args, image):
    """For each address, the (line, file) of its code (line 0: no line from
    there), and the first row at each address (a procedure's first line)."""
    last = {}
    first = {}
    for order, text in enumerate(run([args.objdump, '--dwarf=decodedline', '-w', args.program]).splitlines()):
        m = ROW.match(text)
        if not m:
            continue
        addr = int(m.group(3), 16)
        if addr < image.base:
            continue
        addr -= image.base
        if m.group(2) == '-':
            # The end of a run of lines: it gives way to a row that starts at the same address.
            if addr not in last:
                last[addr] = (0, None)
            continue
        row = (int(m.group(2)), printable(os.path.basename(m.group(1))))
        last[addr] = row
        first.setdefault(addr, row)
    return last, first


def write_map(path, image, procs, last, first):
    files, index = [], {}

    def file_no(name):
        if name is None:
            return '-'
        if name not in index:
            index[name] = len(files)
            files.append(name)
        return str(index[name])

    line_records = []
    previous = None
    for addr in sorted(last):
        row = last[addr]
        if row == previous or (row[0] == 0 and previous is None):
            continue
        line_records.append((addr, row))
        previous = row
    addrs = [a for a, _ in line_records]

    def first_row(start, size):
        # The procedure's first row: at its start, else the first inside it.
        row = first.get(start)
        if row is None:
            i = bisect.bisect_left(addrs, start)
            if i < len(addrs) and addrs[i] < start + size and line_records[i][1][0] > 0:
                row = line_records[i][1]
        return row

    sizes = {start: size for start, size, _, _ in procs}
    proc_records = []
    for start, size, name, parent in procs:
        # A split-off part counts its lines from the first line of its function.
        row = first_row(parent, sizes[parent]) if parent is not None else None
        proc_records.append((start, size, row or first_row(start, size), name))

    out = []
    body = []
    for start, size, row, name in proc_records:
        body.append(f'P {start:x} {size:x} {file_no(row[1]) if row else "-"} {row[0] if row else 0} {name}')
    for addr, (line, name) in line_records:
        body.append(f'L {addr:x} {line} {file_no(name) if line else "-"}')
    out.append(f'KVMAP 1 {image.build_id or "-"}')
    out.extend(f'F {name}' for name in files)
    out.extend(body)
    out.append(f'END {len(files)} {len(proc_records)} {len(line_records)}')
    tmp = path + '.tmp'
    with open(tmp, 'w', encoding='utf-8', newline='\n') as f:
        f.write('\n'.join(out) + '\n')
    os.replace(tmp, path)


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument('--nm', default='nm')
    p.add_argument('--objdump', default='objdump')
    p.add_argument('--cxxfilt', default='c++filt')
    p.add_argument('program')
    p.add_argument('output')
    args = p.parse_args()
    image = Image(args.program)
    procs = procedures(args, image)
    last, first = line_rows(args, image)
    write_map(args.output, image, procs, last, first)


if __name__ == '__main__':
    sys.exit(main())
