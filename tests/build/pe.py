"""A small reader of PE executables: the import table, the resource tree and the version block.

Just enough of the format to check what the installer carries, without any tool that might
read it differently from the Windows loader."""

import struct


class PeImage:
    def __init__(self, data: bytes):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("not an MZ executable")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, sections, self.timestamp = struct.unpack_from("<HHI", data, pe + 4)
        optional_size = struct.unpack_from("<H", data, pe + 20)[0]
        self.characteristics = struct.unpack_from("<H", data, pe + 22)[0]
        opt = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        is64 = self.magic == 0x20B
        self.entry_point = struct.unpack_from("<I", data, opt + 16)[0]
        self.image_base = struct.unpack_from("<Q", data, opt + 24)[0] if is64 else struct.unpack_from("<I", data, opt + 28)[0]
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", data, opt + 68)
        directories = opt + (112 if is64 else 96)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(16)]
        self.sections = []
        table = opt + optional_size
        for i in range(sections):
            name, vsize, vaddr, rawsize, rawptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode(), vaddr, max(vsize, rawsize), rawptr, rawsize))

    @property
    def is_32bit(self) -> bool:
        return self.magic == 0x10B and self.machine == 0x14C

    def offset(self, rva: int) -> int:
        for _, vaddr, size, rawptr, _ in self.sections:
            if vaddr <= rva < vaddr + size:
                return rawptr + rva - vaddr
        raise ValueError(f"RVA {rva:#x} is in no section")

    def cstring(self, rva: int) -> str:
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imported_dlls(self) -> list:
        rva, size = self.directories[1]
        names = []
        if not size:
            return names
        at = self.offset(rva)
        while True:
            lookup, _, _, name_rva, thunk = struct.unpack_from("<IIIII", self.data, at)
            if not (lookup or name_rva or thunk):
                return names
            names.append(self.cstring(name_rva))
            at += 20

    def delay_imported_dlls(self) -> list:
        rva, size = self.directories[13]
        names = []
        if not size:
            return names
        at = self.offset(rva)
        while True:
            fields = struct.unpack_from("<8I", self.data, at)
            if not any(fields):
                return names
            names.append(self.cstring(fields[1]))
            at += 32

    def resources(self) -> dict:
        """{(type, name, language): bytes}; type and name are ints or strings."""
        return {key: self.data[start:start + size] for key, (start, size) in self.resource_places().items()}

    def resource_places(self) -> dict:
        """{(type, name, language): (file offset, size)} of each resource's stored bytes."""
        rva, size = self.directories[2]
        found = {}
        if not size:
            return found
        base = self.offset(rva)

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data, base + directory + 12)
            for i in range(named + numbered):
                ident, target = struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)
                if ident & 0x80000000:
                    at = base + (ident & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", self.data, at)[0]
                    ident = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
                yield ident, target

        for rtype, t in entries(0):
            for name, n in entries(t & 0x7FFFFFFF):
                for lang, leaf in entries(n & 0x7FFFFFFF):
                    data_rva, data_size = struct.unpack_from("<II", self.data, base + leaf)
                    found[(rtype, name, lang)] = (self.offset(data_rva), data_size)
        return found


def parse_version_block(block: bytes) -> dict:
    """The fixed file info and the string tables of a VS_VERSIONINFO resource."""
    result = {"strings": {}, "translations": []}

    def node(at):
        length, value_length, kind = struct.unpack_from("<HHH", block, at)
        key_end = at + 6
        while block[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = block[at + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        return length, value_length, kind, key, value_at

    def children(start, end):
        at = (start + 3) & ~3
        while at < end:
            length = struct.unpack_from("<H", block, at)[0]
            if length == 0:
                return
            yield at
            at = (at + length + 3) & ~3

    length, value_length, _, key, value_at = node(0)
    if key != "VS_VERSION_INFO":
        raise ValueError("not a version block")
    fixed = struct.unpack_from("<13I", block, value_at)
    if fixed[0] != 0xFEEF04BD:
        raise ValueError("no fixed file info")
    result["file_version"] = (fixed[2] >> 16, fixed[2] & 0xFFFF, fixed[3] >> 16, fixed[3] & 0xFFFF)
    result["product_version"] = (fixed[4] >> 16, fixed[4] & 0xFFFF, fixed[5] >> 16, fixed[5] & 0xFFFF)
    result["file_flags_mask"], result["file_flags"], result["file_os"], result["file_type"] = fixed[6:10]
    for child in children(value_at + value_length, length):
        c_length, _, _, c_key, c_value = node(child)
        for grandchild in children(c_value, child + c_length):
            g_length, g_value_length, _, g_key, g_value = node(grandchild)
            if c_key == "StringFileInfo":
                table = result["strings"].setdefault(g_key, {})
                for entry in children(g_value, grandchild + g_length):
                    _, e_value_length, _, e_key, e_value = node(entry)
                    text = block[e_value:e_value + 2 * e_value_length].decode("utf-16-le")
                    table[e_key] = text.rstrip("\0")
            elif c_key == "VarFileInfo" and g_key == "Translation":
                for i in range(0, g_value_length, 4):
                    result["translations"].append(struct.unpack_from("<HH", block, g_value + i))
    return result
