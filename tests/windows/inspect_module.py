"""Inspects the module's DLL with MinGW's objdump: a PE32+ DLL that exports exactly DllMain and
acrxEntryPoint, carries the version resource 1.0.0.1 and imports only from the host and the
system (the compiler's runtime is linked in).

    inspect_module.py OBJDUMP MODULE
"""
import re
import struct
import subprocess
import sys

EXPECTED_EXPORTS = ["DllMain", "acrxEntryPoint"]
EXPECTED_VERSION = (1, 0, 0, 1)
ALLOWED_IMPORTS = {"hostapi.dll", "kernel32.dll", "msvcrt.dll", "user32.dll"}
FIXED_FILE_INFO_SIGNATURE = 0xFEEF04BD


def objdump(tool, *args):
    return subprocess.run([tool, *args], check=True, capture_output=True, text=True).stdout


def exported_names(headers):
    table = headers.split("[Ordinal/Name Pointer] Table", 1)
    if len(table) < 2:
        return []
    names = []
    for line in table[1].splitlines()[1:]:
        match = re.match(r"\s+\[\s*\d+\]\s+(\S+)$", line)
        if not match:
            break
        names.append(match.group(1))
    return sorted(names)


def section_bytes(dump):
    """The bytes of an `objdump -s` dump of one section."""
    data = bytearray()
    for line in dump.splitlines():
        match = re.match(r"\s[0-9a-f]+\s((?:[0-9a-f]{2,8}\s){1,4})", line)
        if match:
            data += bytes.fromhex("".join(match.group(1).split()))
    return bytes(data)


def fixed_versions(resources):
    """File and product versions of the VS_FIXEDFILEINFO in the resource section."""
    at = resources.find(struct.pack("<I", FIXED_FILE_INFO_SIGNATURE))
    if at < 0:
        return None
    _, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", resources, at)

    def parts(ms, ls):
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    return parts(file_ms, file_ls), parts(product_ms, product_ls)


def utf16_value(resources, key):
    """The text of string `key` in the version resource's StringFileInfo, or None."""
    at = resources.find((key + "\0").encode("utf-16-le"))
    if at < 0:
        return None
    at += (len(key) + 1) * 2
    at += -at % 4  # the value starts on a 32-bit boundary
    end = resources.find(b"\0\0", at)
    while end >= 0 and (end - at) % 2:
        end = resources.find(b"\0\0", end + 1)
    return resources[at:end].decode("utf-16-le") if end >= 0 else None


def main():
    tool, module = sys.argv[1], sys.argv[2]
    headers = objdump(tool, "-p", module)
    resources = section_bytes(objdump(tool, "-s", "-j", ".rsrc", module))
    exports = exported_names(headers)
    imports = {name.lower() for name in re.findall(r"DLL Name: (\S+)", headers)}
    versions = fixed_versions(resources)
    version_text = ".".join(map(str, EXPECTED_VERSION))

    checks = {
        "a PE32+ DLL": "(PE32+)" in headers and re.search(r"\n\tDLL\n", headers) is not None,
        f"exports exactly {EXPECTED_EXPORTS} (it exports {exports})": exports == EXPECTED_EXPORTS,
        f"imports only from {sorted(ALLOWED_IMPORTS)} (it imports from {sorted(imports)})":
            imports <= ALLOWED_IMPORTS,
        f"file and product version {version_text} (it has {versions})":
            versions == (EXPECTED_VERSION, EXPECTED_VERSION),
        f"version text {version_text}": utf16_value(resources, "FileVersion") == version_text
            and utf16_value(resources, "ProductVersion") == version_text,
    }
    failed = [name for name, ok in checks.items() if not ok]
    for name in failed:
        print(f"{module}: not {name}", file=sys.stderr)
    print(f"{len(checks) - len(failed)} passed, {len(failed)} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
