#!/usr/bin/env python3
"""Reads and edits the CLAP plug-in's state inside a Qtractor session file.

Qtractor keeps a CLAP plug-in's state in the session as
<plugin type="CLAP">...<configs><config key="state">BASE64</config>, the
bytes being Qt's qCompress form (a big-endian u32 of the plain length, then
a zlib stream). The plain bytes are our state document: an outer ustar
archive holding "dsp.tar", which holds "info.map" and "parameters.map"
(records of u32 LE key length, u32 LE value length, key, value; parameter
values are f32 LE in plain units).

  session_state.py show SESSION
      one line per fact: "info KEY VALUE" (text values only),
      "state KEY VALUE" for each parameter in our document and
      "qtractor INDEX VALUE" and "name INDEX NAME" for each <param>
      Qtractor wrote itself.
  session_state.py set SESSION OUT KEY=VALUE...
      OUT is SESSION with those parameters changed inside our document.
"""
import base64
import io
import re
import struct
import sys
import tarfile
import xml.etree.ElementTree as ET
import zlib

STATE_CONFIG = re.compile(r'(<config key="state">)(.*?)(</config>)', re.S)


def fail(message):
    print("session_state.py: " + message, file=sys.stderr)
    sys.exit(1)


def clap_plugin(root):
    plugin = root.find(".//plugins/plugin[@type='CLAP']")
    if plugin is None:
        fail("no CLAP plug-in in the session")
    return plugin


def document_of(text):
    """The state document's bytes from the base64 text of the config."""
    packed = base64.b64decode("".join(text.split()))
    (length,) = struct.unpack(">I", packed[:4])
    plain = zlib.decompress(packed[4:])
    if len(plain) != length:
        fail("the state's length is %d, not the %d announced" % (len(plain), length))
    return plain


def text_of(document):
    packed = struct.pack(">I", len(document)) + zlib.compress(document)
    encoded = base64.b64encode(packed).decode("ascii")
    return "\n".join(encoded[i:i + 72] for i in range(0, len(encoded), 72))


def member(archive_bytes, name):
    with tarfile.open(fileobj=io.BytesIO(archive_bytes), mode="r:") as archive:
        found = archive.extractfile(name)
        if found is None:
            fail("no %s in the state" % name)
        return found.read()


def records(map_bytes):
    """(key, value) pairs of a map file."""
    at = 0
    while at < len(map_bytes):
        key_length, value_length = struct.unpack_from("<II", map_bytes, at)
        at += 8
        key = map_bytes[at:at + key_length].decode("utf-8")
        at += key_length
        yield key, map_bytes[at:at + value_length]
        at += value_length


def show(path):
    root = ET.parse(path).getroot()
    plugin = clap_plugin(root)
    config = plugin.find("configs/config[@key='state']")
    if config is not None and config.text:
        dsp = member(document_of(config.text), "dsp.tar")
        for key, value in records(member(dsp, "info.map")):
            if value and all(32 <= b < 127 for b in value):
                print("info %s %s" % (key, value.decode("ascii")))
        for key, value in records(member(dsp, "parameters.map")):
            print("state %s %g" % (key, struct.unpack("<f", value)[0]))
    for param in plugin.findall("params/param"):
        print("qtractor %s %g" % (param.get("index"), float(param.text)))
        print("name %s %s" % (param.get("index"), param.get("name")))


def set_values(path, out, assignments):
    text = open(path, encoding="utf-8").read()
    found = STATE_CONFIG.search(text)
    if found is None:
        fail("no CLAP state in " + path)
    document = document_of(found.group(2))
    for assignment in assignments:
        key, value = assignment.split("=", 1)
        # The record's lengths, key and old value, changed in place: both
        # archives keep their sizes and their headers' checksums.
        head = struct.pack("<II", len(key), 4) + key.encode("utf-8")
        at = document.find(head)
        if at < 0 or document.find(head, at + 1) >= 0:
            fail("parameter %s is not in the state once" % key)
        at += len(head)
        document = document[:at] + struct.pack("<f", float(value)) + document[at + 4:]
    text = text[:found.start(2)] + text_of(document) + text[found.end(2):]
    open(out, "w", encoding="utf-8").write(text)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "show":
        show(sys.argv[2])
    elif len(sys.argv) >= 4 and sys.argv[1] == "set":
        set_values(sys.argv[2], sys.argv[3], sys.argv[4:])
    else:
        fail("usage: show SESSION | set SESSION OUT KEY=VALUE...")
