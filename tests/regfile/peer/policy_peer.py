"""A second, independent reader and writer of Registry.pol files: Samba's
(Debian's python3-samba, run with Debian's /usr/bin/python3).

  policy_peer.py check FILE.pol ENTRIES.tsv
      reads FILE.pol with Samba's parser, compares every entry with ENTRIES.tsv,
      packs what it read again and compares the bytes with FILE.pol
  policy_peer.py pack ENTRIES.tsv FILE.pol
      writes the entries with Samba's packer

ENTRIES.tsv: one entry a line, "key<TAB>value name<TAB>type<TAB>data", the
names in UTF-8 and the data as the file holds it, each as hexadecimal.
"""
import sys

try:
    from samba.dcerpc import misc, preg
    from samba.ndr import ndr_pack, ndr_unpack
except ImportError as error:
    sys.exit("Samba's Python modules are missing (%s): scripts/setup.sh test installs python3-samba" % error)

TEXT_TYPES = (misc.REG_SZ, misc.REG_EXPAND_SZ)


def read_entries(path):
    entries = []
    with open(path, encoding="ascii") as tsv:
        for line in tsv:
            key, name, kind, data = line.rstrip("\n").split("\t")
            entries.append((bytes.fromhex(key).decode("utf-8"), bytes.fromhex(name).decode("utf-8"),
                            int(kind), bytes.fromhex(data)))
    return entries


def data_bytes(entry):
    """The data of a parsed entry as the file holds it."""
    if entry.type in TEXT_TYPES:
        return entry.data.encode("utf-16-le") + b"\0\0"
    if entry.type == misc.REG_DWORD:
        return entry.data.to_bytes(4, "little")
    return bytes(entry.data)


def check(pol_path, tsv_path):
    with open(pol_path, "rb") as pol:
        ours = pol.read()
    parsed = ndr_unpack(preg.file, ours)
    expected = read_entries(tsv_path)
    faults = []
    if parsed.header.signature != "PReg" or parsed.header.version != 1:
        faults.append("header %r version %d" % (parsed.header.signature, parsed.header.version))
    if parsed.num_entries != len(expected):
        faults.append("%d entries read, %d expected" % (parsed.num_entries, len(expected)))
    for number, (entry, (key, name, kind, data)) in enumerate(zip(parsed.entries, expected), 1):
        got = (entry.keyname, entry.valuename, entry.type, entry.size, data_bytes(entry))
        if got != (key, name, kind, len(data), data):
            faults.append("entry %d: read %r, expected %r" % (number, got, (key, name, kind, len(data), data)))
    repacked = ndr_pack(parsed)
    if repacked != ours:
        faults.append("Samba packs what it read as %d bytes that differ from the file's %d" % (len(repacked), len(ours)))
    for fault in faults[:20]:
        print(fault, file=sys.stderr)
    if faults:
        return 1
    print("Samba read %d entries (%d bytes), each equal to the one written; packed again: the same bytes"
          % (parsed.num_entries, len(ours)))
    return 0


def pack(tsv_path, pol_path):
    entries = []
    for key, name, kind, data in read_entries(tsv_path):
        entry = preg.entry()
        entry.keyname = key
        entry.valuename = name
        entry.type = kind
        if kind in TEXT_TYPES:
            entry.data = data.decode("utf-16-le").rstrip("\0")
        elif kind == misc.REG_DWORD:
            entry.data = int.from_bytes(data, "little")
        else:
            entry.data = data
        entries.append(entry)
    policy = preg.file()
    policy.header.signature = "PReg"
    policy.header.version = 1
    policy.num_entries = len(entries)
    policy.entries = entries
    with open(pol_path, "wb") as pol:
        pol.write(ndr_pack(policy))
    print("Samba packed %d entries" % len(entries))
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[1] not in ("check", "pack"):
        sys.exit(__doc__)
    sys.exit(check(sys.argv[2], sys.argv[3]) if sys.argv[1] == "check" else pack(sys.argv[2], sys.argv[3]))
