#!/usr/bin/python3
"""File checks of the built quorvane.exe: headers, imports, checksum and every resource, read with pefile."""
import argparse
import os
import re
import struct
import sys
import xml.etree.ElementTree as ElementTree
import xml.parsers.expat

import pefile

MACHINES = {"i386": 0x014C, "amd64": 0x8664}
SUBSYSTEMS = {"gui": pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"],
              "console": pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_CUI"]}
OPTIONAL_MAGIC = {"i386": 0x010B, "amd64": 0x020B}
MANIFEST_ARCH = {0x014C: "x86", 0x8664: "amd64"}

# System DLLs the program may import from. The C runtime is msvcrt or the
# UCRT api sets; no mingw runtime DLL (libgcc, libstdc++, libwinpthread)
# because the runtimes are linked in statically.
ALLOWED_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "advapi32.dll",
    "shell32.dll", "msvcrt.dll", "ucrtbase.dll",
}
ALLOWED_DLL_PATTERN = re.compile(r"api-ms-win-crt-[a-z0-9-]+\.dll")
MINGW_RUNTIME_PATTERN = re.compile(r"(libgcc|libstdc\+\+|libwinpthread)")
FORBIDDEN_IMPORT = "SetProcessWorkingSetSize"

RT_ICON, RT_DIALOG, RT_ACCELERATOR, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 9, 14, 16, 24
TYPE_NAMES = {RT_ICON: "RT_ICON", RT_DIALOG: "RT_DIALOG", RT_ACCELERATOR: "RT_ACCELERATOR",
              RT_GROUP_ICON: "RT_GROUP_ICON", RT_VERSION: "RT_VERSION", RT_MANIFEST: "RT_MANIFEST"}
LANG_RUSSIAN_DEFAULT = 0x0419
EXPECTED_RESOURCES = {(RT_GROUP_ICON, "MAINICON"), (RT_ICON, 1), (RT_ACCELERATOR, 1),
                      (RT_DIALOG, "ABOUT_DIALOG"), (RT_VERSION, 1), (RT_MANIFEST, 1)}

FVIRTKEY = 0x01
END_OF_TABLE = 0x80
EXPECTED_ACCELERATORS = [  # (flags, virtual key, command)
    (FVIRTKEY, 0x1B, 101),  # Esc -> exit
    (FVIRTKEY, 0x71, 102),  # F2  -> crypt
    (FVIRTKEY, 0x72, 103),  # F3  -> about
    (FVIRTKEY | END_OF_TABLE, 0x73, 104),  # F4 -> paste, last entry
]

BUTTON, STATIC = 0x0080, 0x0082
EXPECTED_DIALOG = {
    "size": 356, "style": 0x10C00040, "exstyle": 0, "items": 5, "rect": (0, 0, 141, 87),
    "menu": None, "class": None, "caption": "  About", "font": (8, "MS Sans Serif"),
}
# (name, style, rect, id, class ordinal, text). The copyright and author
# wording is ours; leading no-break spaces size it so that the whole template
# is 356 bytes.
EXPECTED_DIALOG_ITEMS = [
    ("ok button", 0x50010001, (45, 69, 50, 14), 1202, BUTTON, "&Ok"),
    ("title", 0x50020001, (46, 4, 91, 8), 1000, STATIC, "Quorvane"),
    ("copyright line", 0x50020002, (77, 40, 60, 8), 0xFFFF, STATIC, "\xa0" * 16 + "(c)\xa02026"),
    ("author line", 0x50020002, (52, 50, 85, 8), 0xFFFF, STATIC, "\xa0" * 14 + "Quorvane\xa0authors"),
    ("version line", 0x50020002, (77, 15, 60, 8), 0xFFFF, STATIC, "Version 2.5"),
]

EXPECTED_FIXED_VERSION = [
    ("Signature", 0xFEEF04BD), ("StrucVersion", 0x00010000),
    ("FileVersionMS", 0x00020004), ("FileVersionLS", 0),
    ("ProductVersionMS", 0x00020004), ("ProductVersionLS", 0),
    ("FileFlagsMask", 0), ("FileFlags", 0), ("FileOS", 0x00000004), ("FileType", 0x00000001),
    ("FileSubtype", 0), ("FileDateMS", 0), ("FileDateLS", 0),
]
VERSION_KEYS = ["CompanyName", "FileDescription", "FileVersion", "InternalName", "LegalCopyright",
                "OriginalFilename"]
FIXED_VERSION_STRINGS = {"FileVersion": "2.5", "InternalName": "quorvane.exe", "OriginalFilename": "quorvane.exe"}

ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
COMMON_CONTROLS_TOKEN = "6595b64144ccf1df"


class Checks:
    """Collects every mismatch of one group so that a run names all broken fields at once."""

    def __init__(self):
        self.count = 0
        self.failures = []

    def equal(self, field, actual, expected, hexadecimal=False):
        self.count += 1
        if actual != expected:
            show = (lambda v: hex(v) if isinstance(v, int) else repr(v)) if hexadecimal else repr
            self.failures.append(f"{field}: is {show(actual)}, expected {show(expected)}")
        return actual == expected

    def true(self, field, condition, message):
        self.count += 1
        if not condition:
            self.failures.append(f"{field}: {message}")
        return bool(condition)

    def fail(self, field, message):
        self.true(field, False, message)


def load(path):
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(directories=[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT"],
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"],
    ])
    return pe


def resource_name(entry):
    return str(entry.name) if entry.name is not None else entry.id


def resource_table(pe):
    """Maps (type, name) to a list of (language id, data entry)."""
    table = {}
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for type_entry in root.entries if root else []:
        for name_entry in type_entry.directory.entries:
            key = (resource_name(type_entry), resource_name(name_entry))
            table[key] = [(lang.id, lang.data) for lang in name_entry.directory.entries]
    return table


def resource_bytes(pe, checks, type_id, name):
    label = f"{TYPE_NAMES[type_id]} {name!r}"
    languages = resource_table(pe).get((type_id, name))
    if not checks.true(label, languages, "resource missing"):
        return None
    data = languages[0][1].struct
    return pe.get_data(data.OffsetToData, data.Size)


# ---------------------------------------------------------------- headers

def check_headers(pe, path, checks, machine, subsystem, size_budget):
    checks.equal("FILE_HEADER.Machine", pe.FILE_HEADER.Machine, MACHINES[machine], hexadecimal=True)
    checks.equal("OPTIONAL_HEADER.Magic", pe.OPTIONAL_HEADER.Magic, OPTIONAL_MAGIC[machine], hexadecimal=True)
    checks.equal(f"OPTIONAL_HEADER.Subsystem (2 = Windows GUI, 3 = console; {subsystem} expected)",
                 pe.OPTIONAL_HEADER.Subsystem, SUBSYSTEMS[subsystem])

    print("Imports:")
    imported = []
    for kind, attribute in (("import", "DIRECTORY_ENTRY_IMPORT"), ("delay import", "DIRECTORY_ENTRY_DELAY_IMPORT")):
        for dll in getattr(pe, attribute, []):
            name = dll.dll.decode("ascii", "replace")
            functions = [f.name.decode("ascii", "replace") if f.name else f"#{f.ordinal}" for f in dll.imports]
            print(f"  {kind} {name}: {', '.join(functions)}")
            imported.append((kind, name, functions))
    checks.true("import directory", imported, "the program imports nothing")
    for kind, name, functions in imported:
        lower = name.lower()
        if MINGW_RUNTIME_PATTERN.search(lower):
            checks.fail(f"{kind} {name}", "a mingw runtime DLL; the runtimes must be linked statically")
        else:
            checks.true(f"{kind} {name}", lower in ALLOWED_DLLS or ALLOWED_DLL_PATTERN.fullmatch(lower),
                        f"not a system DLL (allowed: {', '.join(sorted(ALLOWED_DLLS))}, api-ms-win-crt-*)")
        checks.true(f"{kind} {name}", FORBIDDEN_IMPORT not in functions,
                    f"imports {FORBIDDEN_IMPORT}, which must be looked up at run time")

    stored = pe.OPTIONAL_HEADER.CheckSum
    computed = pe.generate_checksum()
    print(f"Header checksum: stored {stored:#010x}, computed {computed:#010x}")
    checks.true("OPTIONAL_HEADER.CheckSum", stored != 0, "is 0: the linker did not stamp it")
    checks.equal("OPTIONAL_HEADER.CheckSum (against the computed checksum)", stored, computed, hexadecimal=True)

    size = os.path.getsize(path)
    print(f"File size: {size} bytes ({size / 1024:.1f} KiB)")
    if size_budget is not None:
        checks.true("file size", size <= size_budget, f"{size} bytes, over the budget of {size_budget}")


# ---------------------------------------------------------------- resources

def check_resource_set(pe, checks):
    table = resource_table(pe)
    present = set(table)
    for key in sorted(EXPECTED_RESOURCES - present, key=str):
        checks.fail(f"{TYPE_NAMES[key[0]]} {key[1]!r}", "resource missing")
    for key in sorted(present - EXPECTED_RESOURCES, key=str):
        checks.fail(f"resource type {key[0]!r} name {key[1]!r}", "unexpected resource")
    for key in sorted(present & EXPECTED_RESOURCES, key=str):
        languages = [lang for lang, _ in table[key]]
        checks.equal(f"{TYPE_NAMES[key[0]]} {key[1]!r} languages", languages, [LANG_RUSSIAN_DEFAULT], hexadecimal=True)


def check_icon(pe, checks):
    group = resource_bytes(pe, checks, RT_GROUP_ICON, "MAINICON")
    if group is not None and checks.equal("RT_GROUP_ICON size", len(group), 6 + 14):
        reserved, kind, count = struct.unpack_from("<HHH", group, 0)
        checks.equal("icon group idReserved", reserved, 0)
        checks.equal("icon group idType", kind, 1)
        checks.equal("icon group idCount", count, 1)
        fields = struct.unpack_from("<BBBBHHIH", group, 6)
        names = ["bWidth", "bHeight", "bColorCount", "bReserved", "wPlanes", "wBitCount", "dwBytesInRes", "nID"]
        for name, actual, expected in zip(names, fields, (16, 16, 16, 0, 1, 4, 296, 1)):
            checks.equal(f"icon group entry {name}", actual, expected)

    image = resource_bytes(pe, checks, RT_ICON, 1)
    if image is not None and checks.equal("RT_ICON 1 size", len(image), 296):
        header = struct.unpack_from("<IiiHHIIiiII", image, 0)
        names = ["biSize", "biWidth", "biHeight", "biPlanes", "biBitCount", "biCompression", "biSizeImage"]
        for name, actual, expected in zip(names, header, (40, 16, 32, 1, 4, 0, 192)):
            checks.equal(f"icon image {name}", actual, expected)
        checks.true("icon image biClrUsed", header[9] in (0, 16), f"is {header[9]}, expected 16 (or 0)")
        # A blank picture or an all-transparent mask means the icon was drawn wrong.
        colour = image[40 + 64:40 + 64 + 128]
        mask = image[40 + 64 + 128:]
        indices = {b >> 4 for b in colour} | {b & 15 for b in colour}
        checks.true("icon image colours", len(indices) >= 3, f"only {len(indices)} colour(s) used")
        opaque = sum(8 - bin(b).count("1") for row in range(16) for b in mask[row * 4:row * 4 + 2])
        checks.true("icon image mask", 0 < opaque, "every pixel is transparent")


def check_accelerators(pe, checks):
    table = resource_bytes(pe, checks, RT_ACCELERATOR, 1)
    if table is None or not checks.equal("RT_ACCELERATOR 1 size (4 entries of 8 bytes)", len(table), 32):
        return
    for index, expected in enumerate(EXPECTED_ACCELERATORS):
        flags, key, command, _padding = struct.unpack_from("<HHHH", table, index * 8)
        checks.equal(f"accelerator {index + 1} flags", flags, expected[0], hexadecimal=True)
        checks.equal(f"accelerator {index + 1} key", key, expected[1], hexadecimal=True)
        checks.equal(f"accelerator {index + 1} command", command, expected[2])


# ---------------------------------------------------------------- dialog

class TemplateReader:
    def __init__(self, data):
        self.data = data
        self.offset = 0

    def unpack(self, layout):
        values = struct.unpack_from(layout, self.data, self.offset)
        self.offset += struct.calcsize(layout)
        return values

    def string(self):
        end = self.offset
        while self.data[end:end + 2] != b"\0\0":
            end += 2
        text = self.data[self.offset:end].decode("utf-16-le")
        self.offset = end + 2
        return text

    def string_or_ordinal(self):
        (first,) = struct.unpack_from("<H", self.data, self.offset)
        if first == 0xFFFF:
            self.offset += 2
            return ("ordinal", self.unpack("<H")[0])
        if first == 0:
            self.offset += 2
            return None
        return self.string()

    def align(self):
        padding = self.data[self.offset:(self.offset + 3) & ~3]
        self.offset = (self.offset + 3) & ~3
        return padding


def check_dialog(pe, checks):
    data = resource_bytes(pe, checks, RT_DIALOG, "ABOUT_DIALOG")
    if data is None:
        return
    expected = EXPECTED_DIALOG
    checks.equal("dialog template size", len(data), expected["size"])
    if len(data) < 18:
        return checks.fail("dialog template", "shorter than its header")
    if not checks.true("dialog template form", data[:4] != b"\x01\x00\xff\xff", "extended template, expected classic"):
        return
    try:
        reader = TemplateReader(data)
        style, exstyle, count = reader.unpack("<IIH")
        rect = reader.unpack("<hhhh")
        checks.equal("dialog style", style, expected["style"], hexadecimal=True)
        checks.equal("dialog extended style", exstyle, expected["exstyle"], hexadecimal=True)
        checks.equal("dialog item count", count, expected["items"])
        checks.equal("dialog x, y, cx, cy", rect, expected["rect"])
        checks.equal("dialog menu", reader.string_or_ordinal(), expected["menu"])
        checks.equal("dialog window class", reader.string_or_ordinal(), expected["class"])
        checks.equal("dialog caption", reader.string(), expected["caption"])
        if style & 0x40:  # DS_SETFONT: point size and face follow
            checks.equal("dialog font", (reader.unpack("<H")[0], reader.string()), expected["font"])
        else:
            checks.fail("dialog font", "DS_SETFONT missing, the template names no font")
        for index in range(count):
            padding = reader.align()
            label = f"dialog item {index + 1}"
            if index < len(EXPECTED_DIALOG_ITEMS):
                label += f" ({EXPECTED_DIALOG_ITEMS[index][0]})"
            checks.true(f"{label} alignment", padding == b"\0" * len(padding), f"padding {padding!r} is not zero")
            checks.true(f"{label} offset", reader.offset % 4 == 0, f"{reader.offset} is not DWORD aligned")
            item_style, item_exstyle = reader.unpack("<II")
            item_rect = reader.unpack("<hhhh")
            (item_id,) = reader.unpack("<H")
            item_class = reader.string_or_ordinal()
            item_text = reader.string_or_ordinal()
            (extra,) = reader.unpack("<H")
            reader.offset += extra
            if index >= len(EXPECTED_DIALOG_ITEMS):
                checks.fail(label, "unexpected item")
                continue
            _, want_style, want_rect, want_id, want_class, want_text = EXPECTED_DIALOG_ITEMS[index]
            checks.equal(f"{label} style", item_style, want_style, hexadecimal=True)
            checks.equal(f"{label} extended style", item_exstyle, 0, hexadecimal=True)
            checks.equal(f"{label} x, y, cx, cy", item_rect, want_rect)
            checks.equal(f"{label} id", item_id, want_id)
            checks.equal(f"{label} class", item_class, ("ordinal", want_class))
            checks.equal(f"{label} text", item_text, want_text)
            checks.equal(f"{label} creation data size", extra, 0)
        checks.equal("dialog template end (bytes after the last item)", len(data) - reader.offset, 0)
    except (struct.error, UnicodeDecodeError) as error:
        checks.fail("dialog template", f"cannot be decoded past offset {reader.offset}: {error}")


# ---------------------------------------------------------------- version

def check_version(pe, checks):
    raw = resource_bytes(pe, checks, RT_VERSION, 1)
    infos = getattr(pe, "VS_VERSIONINFO", [])
    if raw is None or not checks.equal("VS_VERSIONINFO blocks", len(infos), 1):
        return
    checks.equal("VS_VERSIONINFO key", infos[0].Key, b"VS_VERSION_INFO")
    fixed = getattr(pe, "VS_FIXEDFILEINFO", [])
    if checks.equal("VS_FIXEDFILEINFO blocks", len(fixed), 1):
        for field, expected in EXPECTED_FIXED_VERSION:
            checks.equal(f"VS_FIXEDFILEINFO.dw{field}", getattr(fixed[0], field), expected, hexadecimal=True)

    children = pe.FileInfo[0] if getattr(pe, "FileInfo", None) else []
    keys = [child.Key for child in children]
    checks.equal("version block children", sorted(keys), [b"StringFileInfo", b"VarFileInfo"])

    for child in children:
        if child.Key == b"StringFileInfo":
            tables = child.StringTable
            if not checks.equal("StringFileInfo tables", [t.LangID for t in tables], [b"040904E4"]):
                continue
            strings = {k.decode("utf-8"): v.decode("utf-8") for k, v in tables[0].entries.items()}
            checks.equal("string table keys (in order)", list(strings), VERSION_KEYS)
            for key in VERSION_KEYS:
                # The parsed table is a mapping; a repeated key shows only in the raw block.
                occurrences = raw.count((key + "\0").encode("utf-16-le"))
                checks.equal(f"string {key} occurrences", occurrences, 1)
            for key, value in FIXED_VERSION_STRINGS.items():
                checks.equal(f"string {key}", strings.get(key), value)
            company = strings.get("CompanyName", "")
            copyright_line = strings.get("LegalCopyright", "")
            checks.true("string CompanyName", company.strip(), "is empty")
            checks.true("string FileDescription", strings.get("FileDescription", "").strip(), "is empty")
            checks.true("string LegalCopyright", company and company in copyright_line,
                        f"{copyright_line!r} does not name the maker {company!r}")
            checks.true("string LegalCopyright", re.search(r"\b(19|20)\d\d\b", copyright_line),
                        f"{copyright_line!r} names no year")
        elif child.Key == b"VarFileInfo":
            variables = child.Var
            if not checks.equal("VarFileInfo entries", [list(v.entry) for v in variables], [[b"Translation"]]):
                continue
            checks.equal("Translation value size (one language/code page pair)", variables[0].ValueLength, 4)
            checks.equal("Translation (language, code page)", variables[0].entry[b"Translation"], "0x0419 0x04e4")


# ---------------------------------------------------------------- manifest

def manifest_declaration(data):
    declaration = {}
    parser = xml.parsers.expat.ParserCreate()
    parser.XmlDeclHandler = lambda version, encoding, standalone: declaration.update(
        version=version, encoding=encoding, standalone=standalone)
    parser.Parse(data, True)
    return declaration


def check_manifest(pe, checks):
    data = resource_bytes(pe, checks, RT_MANIFEST, 1)
    if data is None:
        return
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        return checks.fail("manifest encoding", f"not UTF-8: {error}")
    lines = text.split("\r\n")
    checks.true("manifest line ends", len(lines) > 1, "no CR LF line end")
    checks.true("manifest line ends", not any("\n" in line or "\r" in line for line in lines),
                "a line ends in a bare LF or CR instead of CR LF")
    try:
        declaration = manifest_declaration(data)
        root = ElementTree.fromstring(data)
    except (xml.parsers.expat.ExpatError, ElementTree.ParseError) as error:
        return checks.fail("manifest XML", f"does not parse: {error}")
    # The expat handler reports standalone="yes" as 1.
    checks.equal("manifest XML declaration",
                 (declaration.get("version"), declaration.get("encoding"), declaration.get("standalone")),
                 ("1.0", "UTF-8", 1))

    def tag(name):
        return f"{{{ASM_V1}}}{name}"

    architecture = MANIFEST_ARCH.get(pe.FILE_HEADER.Machine, "unknown machine")
    checks.equal("manifest root element", root.tag, tag("assembly"))
    checks.equal("manifest root attributes", root.attrib, {"manifestVersion": "1.0"})
    checks.equal("manifest root children", [child.tag for child in root],
                 [tag("assemblyIdentity"), tag("description"), tag("dependency")])
    identity = root.find(tag("assemblyIdentity"))
    if identity is not None:
        checks.equal("manifest assemblyIdentity", identity.attrib,
                     {"name": "Quorvane", "processorArchitecture": architecture, "version": "2.5.0.0",
                      "type": "win32"})
    description = root.find(tag("description"))
    if description is not None:
        checks.equal("manifest description", description.text, "Windows Shell")
    dependency = root.find(tag("dependency"))
    if dependency is None:
        return
    checks.equal("manifest dependency children", [child.tag for child in dependency], [tag("dependentAssembly")])
    assembly = dependency.find(tag("dependentAssembly"))
    if assembly is None:
        return
    checks.equal("manifest dependentAssembly children", [child.tag for child in assembly], [tag("assemblyIdentity")])
    dependent = assembly.find(tag("assemblyIdentity"))
    if dependent is None:
        return
    wanted = [("type", "win32"), ("name", "Microsoft.Windows.Common-Controls"), ("version", "6.0.0.0"),
              ("processorArchitecture", architecture), ("publicKeyToken", COMMON_CONTROLS_TOKEN), ("language", "*")]
    checks.equal("manifest dependent assemblyIdentity", dependent.attrib, dict(wanted))
    # ElementTree keeps no attribute order, so the order is read off the text.
    match = re.search(r"<dependentAssembly\b.*?<assemblyIdentity\b(.*?)/?>", text, re.S)
    order = re.findall(r"""([\w:.-]+)\s*=\s*(?:"[^"]*"|'[^']*')""", match.group(1)) if match else []
    checks.equal("manifest dependent assemblyIdentity attribute order", order, [name for name, _ in wanted])
    for element in root.iter():
        checks.true(f"manifest element {element.tag}", element.tag.startswith(f"{{{ASM_V1}}}"),
                    "outside the asm.v1 namespace")


# ---------------------------------------------------------------- main

GROUPS = {
    "headers": lambda pe, args, checks: check_headers(pe, args.exe, checks, args.machine, args.subsystem,
                                                       args.size_budget),
    "resources": lambda pe, args, checks: (check_resource_set(pe, checks), check_icon(pe, checks),
                                           check_accelerators(pe, checks)),
    "dialog": lambda pe, args, checks: check_dialog(pe, checks),
    "version": lambda pe, args, checks: check_version(pe, checks),
    "manifest": lambda pe, args, checks: check_manifest(pe, checks),
}


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("group", choices=sorted(GROUPS))
    parser.add_argument("exe")
    parser.add_argument("--machine", choices=sorted(MACHINES), default="i386")
    parser.add_argument("--subsystem", choices=sorted(SUBSYSTEMS), default="gui")
    parser.add_argument("--size-budget", type=int, help="largest allowed file size in bytes")
    args = parser.parse_args()

    checks = Checks()
    GROUPS[args.group](load(args.exe), args, checks)
    for failure in checks.failures:
        print(f"FAIL {failure}")
    print(f"{args.group}: {checks.count - len(checks.failures)} of {checks.count} checks passed ({args.exe})")
    return 1 if checks.failures or checks.count == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
