"""Writes a raw SMBIOS structure table as a dump file that `dmidecode --from-dump FILE` reads:
an entry point at offset 0 and the table at offset 32, where the entry point says it is; and as
the buffer that GetSystemFirmwareTable('RSMB') returns: an 8-byte header, then the table.
The layouts are those of the public SMBIOS reference."""

import struct

TABLE_OFFSET = 32


def _checksum(data):
    """The byte that makes `data` sum to zero (mod 256)."""
    return (-sum(data)) & 0xFF


def _structures(table):
    """(count, largest size) of the well-formed structures in `table`."""
    count = largest = offset = 0
    while offset + 4 <= len(table):
        end = table.find(b"\0\0", offset + table[offset + 1])
        if end < 0:
            break
        count += 1
        largest = max(largest, end + 2 - offset)
        offset = end + 2
    return count, largest


def smbios3_entry_point(table, major=3, minor=3):
    """The 24-byte "_SM3_" entry point: the table's maximum size and its 64-bit address."""
    ep = bytearray(struct.pack("<5sBBBBBBBIQ", b"_SM3_", 0, 0x18, major, minor, 0, 1, 0,
                               len(table), TABLE_OFFSET))
    ep[5] = _checksum(ep)
    return bytes(ep)


def smbios2_entry_point(table, major=2, minor=8):
    """The 31-byte "_SM_" entry point with its "_DMI_" part: the table's length, address and
    number of structures, each half with its own checksum."""
    count, largest = _structures(table)
    dmi = bytearray(struct.pack("<5sBHIHB", b"_DMI_", 0, len(table), TABLE_OFFSET, count,
                                major << 4 | minor))
    dmi[5] = _checksum(dmi)
    ep = bytearray(struct.pack("<4sBBBBHB5s", b"_SM_", 0, 0x1F, major, minor, largest, 0,
                               bytes(5))) + dmi
    ep[4] = _checksum(ep)
    return bytes(ep)


def legacy_entry_point(table, major=2, minor=0):
    """The 15-byte legacy "_DMI_" entry point: length, address, number of structures, BCD
    revision."""
    count, _ = _structures(table)
    ep = bytearray(struct.pack("<5sBHIHB", b"_DMI_", 0, len(table), TABLE_OFFSET, count,
                               major << 4 | minor))
    ep[5] = _checksum(ep)
    return bytes(ep)


ENTRY_POINTS = {"3": smbios3_entry_point, "2": smbios2_entry_point, "legacy": legacy_entry_point}


def dump(table, smbios3=True, kind=None, **version):
    """The dump file's bytes: entry point, padding up to TABLE_OFFSET, then the table. `kind`
    ("3", "2" or "legacy") overrides `smbios3`; `version`: the entry point's major, minor."""
    kind = kind or ("3" if smbios3 else "2")
    ep = ENTRY_POINTS[kind](table, **version)
    return ep + bytes(TABLE_OFFSET - len(ep)) + table


def rsmb(table, major=3, minor=3, method=0, revision=0):
    """A GetSystemFirmwareTable('RSMB') buffer: calling method, major, minor, DMI revision, the
    32-bit table length, then the table."""
    return struct.pack("<BBBBI", method, major, minor, revision, len(table)) + table
