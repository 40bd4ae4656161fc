#!/usr/bin/env python3
"""Fills in the two image directories that GNU ld 2.40 leaves empty in a
program linked with the dllsearch layer, from the link's map, and writes the
image's checksum anew:

- Load Configuration: the structure `_load_config_used`, its size the
  structure's own Size field;
- Delay Import: the descriptors of the delay-import libraries, which the
  linker sorts together, and the descriptor of zeros after them; every slot
  of theirs must first point at its stub in the image.

    set_image_directories.py IMAGE.exe IMAGE.map

Running it again on the same image changes nothing; an image whose
directories point elsewhere, or whose descriptors do not form one table,
fails the build."""
import re
import struct
import sys

LOAD_CONFIG_ENTRY = 10
DELAY_IMPORT_ENTRY = 13
DESCRIPTOR_SIZE = 32
SYMBOL_LINE = re.compile(r"^\s+0x([0-9a-fA-F]+)\s+(\S+)\s*$")


def fail(message):
    sys.exit(f"set_image_directories: {message}")


def checksum(image, at):
    """The PE checksum: the image's 16-bit words, the checksum field taken as
    zero, added with end-around carry, plus the image's length."""
    data = bytearray(image)
    data[at:at + 4] = bytes(4)
    if len(data) % 2:
        data.append(0)
    total = sum(struct.unpack(f"<{len(data) // 2}H", data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(image)


class Image:
    def __init__(self, data):
        self.data = data
        (pe,) = struct.unpack_from("<I", data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            fail("no PE image")
        (sections,) = struct.unpack_from("<H", data, pe + 6)
        (optional_size,) = struct.unpack_from("<H", data, pe + 20)
        self.optional = pe + 24
        (magic,) = struct.unpack_from("<H", data, self.optional)
        self.pe32plus = magic == 0x20B
        (self.size,) = struct.unpack_from("<I", data, self.optional + 56)
        if magic == 0x10B:
            (self.base,) = struct.unpack_from("<I", data, self.optional + 28)
            self.directories = self.optional + 96
        elif magic == 0x20B:
            (self.base,) = struct.unpack_from("<Q", data, self.optional + 24)
            self.directories = self.optional + 112
        else:
            fail(f"unknown optional header {magic:#x}")
        (count,) = struct.unpack_from("<I", data, self.directories - 4)
        if count <= DELAY_IMPORT_ENTRY:
            fail("too few image directories")
        table = self.optional + optional_size
        self.sections = [struct.unpack_from("<8xIIII", data, table + 40 * i)
                         for i in range(sections)]

    def offset(self, rva, size):
        """The file offset of size bytes at rva, which one section holds."""
        for virtual_size, start, raw_size, raw in self.sections:
            if start <= rva and rva + size <= start + min(virtual_size, raw_size):
                return raw + rva - start
        fail(f"nothing of the image's file lies at {rva:#x}")

    def set_directory(self, entry, rva, size):
        at = self.directories + 8 * entry
        if struct.unpack_from("<II", self.data, at) not in ((0, 0), (rva, size)):
            fail(f"image directory {entry} already points elsewhere")
        struct.pack_into("<II", self.data, at, rva, size)


def text_at(image, rva):
    at = image.offset(rva, 1)
    return bytes(image.data[at:image.data.index(b"\0", at)]).decode("ascii", "replace")


def check_descriptor(image, rva):
    """A delay-import descriptor (delayimp.h's ImgDelayDescr) with RVAs, each
    of whose slots first points into the image: at the stub that loads the
    DLL on the first call."""
    attributes, dll, _, iat, names = struct.unpack_from(
        "<5I", image.data, image.offset(rva, DESCRIPTOR_SIZE))
    if attributes != 1 or dll == 0 or iat == 0 or names == 0:
        fail(f"no delay-import descriptor at {rva:#x}")
    slot = 8 if image.pe32plus else 4
    word = "<Q" if image.pe32plus else "<I"
    while True:
        (name,) = struct.unpack_from(word, image.data, image.offset(names, slot))
        if name == 0:
            return
        (target,) = struct.unpack_from(word, image.data, image.offset(iat, slot))
        if not image.base < target < image.base + image.size:
            function = (f"ordinal {name & 0xFFFF}" if name >> (8 * slot - 1)
                        else text_at(image, name + 2))
            fail(f"the delayed import of {function} from {text_at(image, dll)} "
                 f"points at {target:#x}, not at its stub")
        names += slot
        iat += slot


def map_symbols(path):
    symbols = {}
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            match = SYMBOL_LINE.match(line)
            if match:
                symbols[match.group(2)] = int(match.group(1), 16)
    return symbols


def main(image_path, map_path):
    with open(image_path, "rb") as f:
        image = Image(bytearray(f.read()))
    symbols = map_symbols(map_path)

    # The map may print a 32-bit name with or without the leading underscore
    # that 32-bit x86 gives C names.
    configs = [address for symbol, address in symbols.items()
               if re.match(r"^_*load_config_used$", symbol)]
    if len(configs) != 1:
        fail("the map names no one _load_config_used")
    config = configs[0] - image.base
    (size,) = struct.unpack_from("<I", image.data, image.offset(config, 4))
    image.offset(config, size)
    image.set_directory(LOAD_CONFIG_ENTRY, config, size)

    descriptors = sorted(address - image.base for symbol, address in symbols.items()
                         if re.match(r"^_*DELAY_IMPORT_DESCRIPTOR_", symbol))
    if descriptors:
        first = descriptors[0]
        if descriptors != list(range(first, first + DESCRIPTOR_SIZE * len(descriptors),
                                     DESCRIPTOR_SIZE)):
            fail("the delay-import descriptors do not lie one after the other")
        for rva in descriptors:
            check_descriptor(image, rva)
        end = first + DESCRIPTOR_SIZE * len(descriptors)
        at = image.offset(end, DESCRIPTOR_SIZE)
        if any(image.data[at:at + DESCRIPTOR_SIZE]):
            fail("no descriptor of zeros ends the delay-import table")
        image.set_directory(DELAY_IMPORT_ENTRY, first, end + DESCRIPTOR_SIZE - first)

    struct.pack_into("<I", image.data, image.optional + 64,
                     checksum(image.data, image.optional + 64))
    with open(image_path, "r+b") as f:
        f.write(image.data)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
