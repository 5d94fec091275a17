"""Reads what the tests check in a PE executable (32 or 64-bit), without running it: the
machine and subsystem, the hardening flags and section permissions, the imported DLLs, the
version resource's numbers and the manifest."""
import struct
import sys

RT_VERSION, RT_MANIFEST = 16, 24


class Image:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE image")
        (self.machine, sections, _, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        if magic not in (0x10B, 0x20B):
            raise ValueError("neither a PE32 nor a PE32+ image")
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", data, optional + 68)
        first = optional + (96 if magic == 0x10B else 112)  # PE32+ has 64-bit stack and heap sizes
        self.directories = [struct.unpack_from("<II", data, first + 8 * i) for i in range(16)]
        table = self.section_table = optional + optional_size
        self.sections = [struct.unpack_from("<IIII", data, table + 40 * i + 8) for i in range(sections)]
        # (name, characteristics) of each section
        self.section_flags = [(data[table + 40 * i:table + 40 * i + 8].rstrip(b"\0").decode("latin-1"),
                               struct.unpack_from("<I", data, table + 40 * i + 36)[0])
                              for i in range(sections)]

    def offset(self, rva):
        for virtual_size, address, raw_size, raw in self.sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw + rva - address
        raise ValueError("RVA %#x outside every section" % rva)

    def cstring(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("latin-1")

    def imports(self):
        names, entry = [], self.offset(self.directories[1][0])
        while True:
            name_rva = struct.unpack_from("<IIIII", self.data, entry)[3]
            if name_rva == 0:
                return names
            names.append(self.cstring(name_rva).upper())
            entry += 20

    def resource(self, rtype):
        """The data of the first resource of the type (any name, any language), or None."""
        base = self.offset(self.directories[2][0])

        def entries(directory):
            named, ids = struct.unpack_from("<HH", self.data, base + directory + 12)
            for i in range(named + ids):
                yield struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)

        for ident, target in entries(0):
            if ident != rtype:
                continue
            while target & 0x80000000:
                target = next(entries(target & 0x7FFFFFFF))[1]
            rva, size = struct.unpack_from("<II", self.data, base + target)
            start = self.offset(rva)
            return self.data[start:start + size]
        return None


def version_numbers(resource):
    fixed = resource.index(struct.pack("<I", 0xFEEF04BD))
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", resource, fixed + 8)

    def split(ms, ls):
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    return split(file_ms, file_ls), split(product_ms, product_ls)


def read(path):
    with open(path, "rb") as f:
        image = Image(f.read())
    file_version, product_version = version_numbers(image.resource(RT_VERSION))
    return {"machine": image.machine, "subsystem": image.subsystem, "imports": image.imports(),
            "file_version": file_version, "product_version": product_version,
            "manifest": image.resource(RT_MANIFEST) or b""}


if __name__ == "__main__":
    for key, value in read(sys.argv[1]).items():
        print(key, value)
