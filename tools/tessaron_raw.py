"""Reads raw time-tag files written by the Tessaron time tagger (binary form).

    import tessaron_raw
    tags = tessaron_raw.read_series(["run0.bin", "run1.bin"])
    tags["channel"], tags["edge"], tags["tag"]

read_series() returns one numpy structured array with the fields channel (uint8), edge
(uint8: 1 rising, 2 falling) and tag (uint64, in the header's tag unit). A split series given
in order reads as one stream. Every block's CRC-32C is checked; damage raises RawFileError
naming the file, the block and its byte offset. The layout is described in
docs/file-formats.md.
"""

import struct

import numpy as np

__all__ = ["RawFileError", "TAG_DTYPE", "read_file", "read_series", "read_header"]

TAG_DTYPE = np.dtype([("channel", np.uint8), ("edge", np.uint8), ("tag", np.uint64)])
MARKER_DTYPE = np.dtype([("channel", np.uint8), ("count", np.uint64), ("tag", np.uint64)])

MAGIC = b"TESSTAGS"
VERSION = 1
HEADER_FIXED = 44
BLOCK_MAGIC = b"TBLK"
BLOCK_HEADER = 28
MARKER_BYTES = 17
MAX_BLOCK_PAYLOAD = 64 << 20
MAX_BLOCK_TAGS = 1 << 20
ESCAPE_ONES = 32


class RawFileError(ValueError):
    """A raw tag file that is not one, or is damaged."""


def _crc_table():
    table = []
    for n in range(256):
        c = n
        for _ in range(8):
            c = (c >> 1) ^ 0x82F63B78 if c & 1 else c >> 1
        table.append(c)
    return table


_TABLE = _crc_table()


def crc32c(data):
    """CRC-32C (Castagnoli) of a bytes-like object."""
    crc = 0xFFFFFFFF
    table = _TABLE
    for b in bytes(data):
        crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8)
    return crc ^ 0xFFFFFFFF


def read_header(data, path="<buffer>"):
    """Parses the header at the start of `data`; returns (fields dict, header length)."""
    if len(data) < len(MAGIC) or data[:8] != MAGIC:
        if MAGIC.startswith(bytes(data[:8])):
            raise RawFileError(f"{path}: header: Raw tag file header cut short")
        raise RawFileError(f"{path}: header: Not a raw tag file (wrong magic)")
    if len(data) < 12:
        raise RawFileError(f"{path}: header: Raw tag file header cut short")
    (version,) = struct.unpack_from("<I", data, 8)
    if version != VERSION:
        raise RawFileError(f"{path}: header: Raw tag file of an unknown version ({version})")
    if len(data) < HEADER_FIXED:
        raise RawFileError(f"{path}: header: Raw tag file header cut short")
    total, unit, channels, number, start, json_bytes = struct.unpack_from("<IdIIqI", data, 12)
    if total != HEADER_FIXED + json_bytes + 4:
        raise RawFileError(f"{path}: header: Damaged raw tag file header")
    if len(data) < total:
        raise RawFileError(f"{path}: header: Raw tag file header cut short")
    (crc,) = struct.unpack_from("<I", data, total - 4)
    if crc != crc32c(data[: total - 4]):
        raise RawFileError(f"{path}: header: Damaged raw tag file header")
    settings = bytes(data[HEADER_FIXED : HEADER_FIXED + json_bytes]).decode("utf-8")
    return {"tag_unit": unit, "channels": channels, "file_number": number,
            "start_time_ns": start, "settings": settings}, total


def _field(bits, starts, width):
    """The `width`-bit little-endian fields of a bit array at each start position."""
    value = np.zeros(len(starts), dtype=np.uint64)
    for i in range(width):
        value |= bits[starts + i].astype(np.uint64) << np.uint64(i)
    return value


def _decode_records(stream, count, k, cb, base):
    bits = np.unpackbits(np.frombuffer(stream, dtype=np.uint8), bitorder="little")
    bits = np.concatenate([bits, np.zeros(64 + 32 + 8, dtype=np.uint8)])
    nbits = len(stream) * 8
    # Position of the first zero bit at or after each position.
    positions = np.arange(len(bits))
    zero_at = np.where(bits == 0, positions, len(bits))
    next_zero = np.minimum.accumulate(zero_at[::-1])[::-1]
    starts = np.empty(count, dtype=np.int64)
    escapes = np.zeros(count, dtype=bool)
    ends = np.empty(count, dtype=np.int64)
    s = 0
    for j in range(count):
        if s + cb > nbits:
            raise ValueError("records run past the block")
        starts[j] = s
        u = s + cb
        z = int(next_zero[u])
        if z - u >= ESCAPE_ONES:
            escapes[j] = True
            ends[j] = u + ESCAPE_ONES
            s = u + ESCAPE_ONES + 64
        else:
            ends[j] = z
            s = z + 1 + k
    if s > nbits or nbits - s >= 8:
        raise ValueError("records do not fill the block")
    ce = _field(bits, starts, cb)
    q = (ends - (starts + cb)).astype(np.uint64)
    gaps = (q << np.uint64(k)) | _field(bits, ends + 1, k) if k else q
    if escapes.any():
        gaps = np.where(escapes, _field(bits, ends, 64), gaps)
    out = np.empty(count, dtype=TAG_DTYPE)
    out["channel"] = (ce >> np.uint64(1)).astype(np.uint8)
    out["edge"] = ((ce & np.uint64(1)) + np.uint64(1)).astype(np.uint8)
    with np.errstate(over="ignore"):
        out["tag"] = np.uint64(base) + np.cumsum(gaps, dtype=np.uint64)
    return out


def read_file(path, markers=None):
    """Reads one binary raw file into a structured array; appends overflow markers (tuples of
    channel, count, time) to the list `markers` when one is given."""
    with open(path, "rb") as f:
        data = f.read()
    view = memoryview(data)
    header, offset = read_header(view, path)
    parts = []
    block = 0
    while offset < len(data):
        where = f"{path}: block {block} at byte {offset}"
        if len(data) - offset < BLOCK_HEADER:
            raise RawFileError(f"{where}: Raw tag block cut short")
        magic = bytes(view[offset : offset + 4])
        payload, count, nmarkers, base, k, cb, pad = struct.unpack_from("<IIIQBBH", data, offset + 4)
        if (magic != BLOCK_MAGIC or payload > MAX_BLOCK_PAYLOAD or count > MAX_BLOCK_TAGS or k > 63
                or not 1 <= cb <= 7 or pad != 0 or nmarkers * MARKER_BYTES > payload):
            raise RawFileError(f"{where}: Damaged raw tag block")
        total = BLOCK_HEADER + payload + 4
        if len(data) - offset < total:
            raise RawFileError(f"{where}: Raw tag block cut short")
        (crc,) = struct.unpack_from("<I", data, offset + total - 4)
        if crc != crc32c(view[offset : offset + total - 4]):
            raise RawFileError(f"{where}: Raw tag block fails its CRC")
        stream_end = offset + BLOCK_HEADER + payload - nmarkers * MARKER_BYTES
        try:
            parts.append(_decode_records(bytes(view[offset + BLOCK_HEADER : stream_end]), count, k, cb, base))
        except ValueError as e:
            raise RawFileError(f"{where}: Damaged raw tag block ({e})") from None
        if markers is not None and nmarkers:
            m = np.frombuffer(data, dtype=MARKER_DTYPE, count=nmarkers, offset=stream_end)
            markers.extend((int(c), int(n), int(t)) for c, n, t in m)
        offset += total
        block += 1
    return np.concatenate(parts) if parts else np.empty(0, dtype=TAG_DTYPE)


def read_series(paths, markers=None):
    """Reads a file or a series of files, in the order given, into one structured array."""
    if isinstance(paths, (str, bytes)) or hasattr(paths, "__fspath__"):
        paths = [paths]
    parts = [read_file(p, markers) for p in paths]
    return np.concatenate(parts) if parts else np.empty(0, dtype=TAG_DTYPE)
