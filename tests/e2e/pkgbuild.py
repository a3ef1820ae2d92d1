"""Builds setup packages in Python, byte for byte after the package layout.

The end-to-end tests use the host packager (zolvex-pack) where it can express a case; this module
makes what a packager never writes on purpose: wrong checksums, unsafe names, cut-off blocks,
damaged zlib streams, volumes of a chosen size.

    pkg = Package(files=[File("Engine.exe*", engine_bytes), File("readme.txt", b"hi")])
    open("Setup.exe", "wb").write(pkg.build(stub_bytes))
"""
import struct
import zlib
from dataclasses import dataclass, field
from typing import List, Optional, Tuple

SIGNATURE = 0x4A3B2C1D
TRAILER_SIZE = 74
CHECKSUM_OFF = 1234
CHECKSUM_MAX_FILE = 51200

SHOW_TEMP_NOTICE = 0x01
MORE_VOLUMES = 0x02
SPANNED_PACKAGE = 0x04
SHOW_ACTIVITY_BAR = 0x08
RUN_LOG_ENABLED = 0x10

# Default English texts, as a packager writes them.
DEFAULT_TEXTS = [
    ("Charset", "0"), ("FontSize", "8"), ("FontName", "Tahoma"),
    ("s0", "Zolvex Installation Suite"), ("s1", "Extracting Files..."),
    ("s2", "Zolvex will extract files to your Temp Drive (<DRIVE>)<P>"),
    ("s3", "Limited Free Space on your Temp Drive! (<DRIVE>)<P>"),
    ("s4", "<P>Estimated space required on your Temp drive is: <T>  <SPACE_REQ> MB<P>"),
    ("s5", "Free space available on your Temp drive is: <T>  <SPACE_AVAIL> MB<P>"),
    ("s6", "<P>Continue with Setup?<P>"),
    ("s7", "Bad CRC!<P>This indicates that your setup file might be corrupted..."),
    ("s8", "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue"),
    ("BtnText", "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|"),
    ("Attention", "Attention"), ("Confirm", "Confirm"), ("Error", "Error"),
]

# 1999-05-13 19:21:10 as a DOS date-time.
DEFAULT_DOS_TIME = (19 << 25) | (5 << 21) | (13 << 16) | (19 << 11) | (21 << 5) | 5


def language_block(texts=None, name="English") -> bytes:
    entries = texts if texts is not None else DEFAULT_TEXTS
    item = "\x01" + name + "\x01" + "".join(f"{k}={v}\x01" for k, v in entries)
    return ("\x02" + item + "\x02").encode("latin-1")


def header_block(update_url="http:", info=".info", agent=".exe", token="a" * 50,
                 silent=False) -> bytes:
    return f"|{update_url}|{info}|{agent}|{token}|{'1' if silent else '0'}|".encode("latin-1")


def download_block(url="", file_name="", always=False, token="", size="") -> bytes:
    return f"|{url}|{file_name}|{'1' if always else '0'}|{token}|{size}|".encode("latin-1")


def head_block(data: bytes) -> bytes:
    return struct.pack("<i", len(data)) + data


@dataclass
class File:
    name: str                # as stored: a trailing "*" marks the main program
    data: bytes
    date: int = DEFAULT_DOS_TIME
    compress: bool = True
    raw_header: Optional[str] = None   # replaces the "|name|date|" item header when given


def file_content(f: File) -> bytes:
    header = f.raw_header if f.raw_header is not None else f"|{f.name}|{f.date}|"
    return header.encode("latin-1") + b"\0" + f.data


def file_block(f: File) -> bytes:
    content = file_content(f)
    if f.compress:
        packed = zlib.compress(content, 9)
        return struct.pack("<i", len(packed)) + packed
    return struct.pack("<i", -len(content)) + content


def is_pe(data: bytes) -> bool:
    return data[0:2] == b"MZ" and data[256:258] == b"PE"


def package_checksum(data: bytes, trailer_size: int = TRAILER_SIZE) -> int:
    """The sum the stub compares with the trailer's PackageChecksum."""
    remaining = len(data)
    if remaining > CHECKSUM_MAX_FILE:
        return CHECKSUM_OFF
    end_word = struct.unpack_from("<I", data, 252)[0] if is_pe(data) else 0
    if end_word > 0:
        remaining = end_word
    remaining -= trailer_size
    start = 0
    if end_word > 0:
        remaining -= 512
        start = 512
    total = 0
    pos = start
    while True:
        piece = data[pos:pos + 4096]
        pos += len(piece)
        for i in range(0, len(piece) - 3, 4):
            remaining -= 4
            if remaining > 4:
                total = (total + struct.unpack_from("<I", piece, i)[0]) & 0xFFFFFFFF
        if remaining > 4:
            total = (total + CHECKSUM_OFF) & 0xFFFFFFFF
        if len(piece) < 4096:
            break
    return total


@dataclass
class Trailer:
    head_block_count: int = 2
    package_start: int = 0
    file_count: int = 0
    signature: int = SIGNATURE
    checksum: int = 0
    time: int = 0
    space: Tuple[int, ...] = (0,) * 9
    flags: int = 0
    web_stub: int = 0
    confirm_download: int = 0
    save_agent_copy: int = 0
    is_agent: int = 0
    size: int = TRAILER_SIZE

    def encode(self) -> bytes:
        return (struct.pack("<BBHIIIIq", 1, self.head_block_count, 0, self.package_start,
                            self.file_count, self.signature, self.checksum, self.time)
                + struct.pack("<9I", *self.space)
                + struct.pack("<BBBBBBi", 0, self.flags, self.web_stub, self.confirm_download,
                              self.save_agent_copy, self.is_agent, self.size))


def set_image_end(data: bytearray, value: int) -> None:
    struct.pack_into("<I", data, 248, value >> 32)
    struct.pack_into("<I", data, 252, value & 0xFFFFFFFF)


def seal(image: bytes, trailer: Trailer, image_end=True, checksum: Optional[int] = None) -> bytes:
    """Appends the trailer; sets ImageEnd for a PE image and fills the checksum (or the one given)."""
    data = bytearray(image)
    if image_end and is_pe(data):
        set_image_end(data, len(data) + TRAILER_SIZE)
    trailer.checksum = 0
    data += trailer.encode()
    trailer.checksum = package_checksum(bytes(data)) if checksum is None else checksum
    data[-TRAILER_SIZE:] = trailer.encode()
    return bytes(data)


def space_required(files: List[File]) -> Tuple[int, ...]:
    sizes = []
    for cluster in (1, 512, 1024, 2048, 4096, 8192, 16384, 32768, 65536):
        sizes.append(sum((len(f.data) + cluster - 1) // cluster * cluster for f in files))
    return tuple(sizes)


@dataclass
class Package:
    files: List[File] = field(default_factory=list)
    texts: Optional[list] = None
    header: bytes = field(default_factory=header_block)
    download: Optional[bytes] = None
    flags: int = 0
    web_stub: int = 0
    save_agent_copy: int = 0
    is_agent: int = 0
    space: Optional[Tuple[int, ...]] = None

    def heads(self) -> bytes:
        out = head_block(language_block(self.texts)) + head_block(self.header)
        if self.download is not None:
            out += head_block(self.download)
        return out

    def trailer(self, start: int, flags: int, file_count: int) -> Trailer:
        return Trailer(head_block_count=3 if self.download is not None else 2,
                       package_start=start, file_count=file_count,
                       space=self.space if self.space is not None else space_required(self.files),
                       flags=flags, web_stub=self.web_stub,
                       save_agent_copy=self.save_agent_copy, is_agent=self.is_agent)

    def build(self, stub: bytes, checksum: Optional[int] = None, image_end=True) -> bytes:
        """The stub with the whole package appended: heads, file blocks, trailer."""
        body = self.heads() + b"".join(file_block(f) for f in self.files)
        trailer = self.trailer(len(stub), self.flags, len(self.files))
        return seal(stub + body, trailer, image_end, checksum)

    def build_spanned(self, stub: bytes, volumes: List[List[File]],
                      checksums: Optional[List[Optional[int]]] = None) -> Tuple[bytes, List[bytes]]:
        """Setup.exe (heads only, SpannedPackage set) and its volume files .001, .002, ...

        Volume 1 carries the head blocks again, since the extraction counts blocks across all
        volumes; later volumes carry file blocks only. A file may be split by listing its pieces
        under the same name in consecutive volumes.
        """
        total = sum(len(v) for v in volumes)
        setup = seal(stub + self.heads(), self.trailer(len(stub), self.flags | SPANNED_PACKAGE, total))
        out = []
        for n, files in enumerate(volumes):
            body = (self.heads() if n == 0 else b"") + b"".join(file_block(f) for f in files)
            flags = self.flags | SPANNED_PACKAGE | (MORE_VOLUMES if n + 1 < len(volumes) else 0)
            given = checksums[n] if checksums else None
            out.append(seal(body, self.trailer(0, flags, total), False, given))
        return setup, out


def dos_time_of_day(dos_date_time: int) -> int:
    return dos_date_time & 0xFFFF
