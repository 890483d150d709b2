#!/usr/bin/python3
"""Writes the small malformed files of tests/corpus/ (run from anywhere).

Every file here must be refused by the loader with a message, never crash it.
"""
import gzip
import os
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "corpus")


def card(text):
    return text.ljust(80)[:80].encode("ascii")


def fits(cards, data=b"", end=True):
    h = b"".join(card(c) for c in cards) + (card("END") if end else b"")
    h += b" " * (-len(h) % 2880)
    return h + data


def gz(data):
    return gzip.compress(data, mtime=0)


def compressed(w, h, pcount, heap=b""):
    """An empty primary HDU and a Rice-compressed image table of h rows."""
    ext = ["XTENSION= 'BINTABLE'", "BITPIX  =                    8",
           "NAXIS   =                    2", "NAXIS1  =                    8",
           f"NAXIS2  = {h:20d}", f"PCOUNT  = {pcount:20d}", "GCOUNT  =                    1",
           "TFIELDS =                    1", "TTYPE1  = 'COMPRESSED_DATA'",
           "TFORM1  = '1PB(8)  '", "ZIMAGE  =                    T",
           "ZCMPTYPE= 'RICE_1  '", "ZBITPIX =                   16",
           "ZNAXIS  =                    2", f"ZNAXIS1 = {w:20d}", f"ZNAXIS2 = {h:20d}",
           f"ZTILE1  = {w:20d}", "ZTILE2  =                    1"]
    table = b"".join(struct.pack(">ii", 8, 8 * i) for i in range(min(h, 4)))
    return fits(image(8, 0, None, None, ["EXTEND  =                    T"])) + fits(ext, table + heap)


def image(bitpix, naxis, w, h, extra=()):
    cards = ["SIMPLE  =                    T", f"BITPIX  = {bitpix:20d}",
             f"NAXIS   = {naxis:20d}"]
    if w is not None:
        cards.append(f"NAXIS1  = {w:20d}")
    if h is not None:
        cards.append(f"NAXIS2  = {h:20d}")
    return cards + list(extra)


def tiff(entries, tail=b"", big=False, first=8):
    e = ">" if big else "<"
    b = (b"MM" if big else b"II") + struct.pack(e + "HI", 42, first)
    b += struct.pack(e + "H", len(entries))
    for tag, typ, count, value in entries:
        if typ == 3 and count == 1:
            b += struct.pack(e + "HHIHH", tag, typ, count, value, 0)
        else:
            b += struct.pack(e + "HHII", tag, typ, count, value)
    return b + struct.pack(e + "I", 0) + tail


def grey(w, h, strip, bits=16):
    return [(256, 4, 1, w), (257, 4, 1, h), (258, 3, 1, bits), (259, 3, 1, 1),
            (262, 3, 1, 1), (273, 4, 1, strip)]


FILES = {
    "fits-empty.fits": b"",
    "fits-half-card.fits": card("SIMPLE  =                    T")[:50],
    "fits-naxis-zero.fits": fits(image(16, 0, 4, 4), bytes(32)),
    "fits-no-naxis1.fits": fits(image(16, 2, None, 4), bytes(32)),
    "fits-negative-width.fits": fits(image(16, 2, -4, 4), bytes(32)),
    "fits-bitpix-12.fits": fits(image(12, 2, 4, 4), bytes(32)),
    "fits-bitpix-64-short.fits": fits(image(-64, 2, 4, 4), bytes(64)),
    "fits-huge-axes.fits": fits(image(16, 2, 2000000000, 2000000000)),
    "fits-data-short.fits": fits(image(16, 2, 100, 100), bytes(100)),
    "fits-no-end.fits": fits(image(16, 2, 4, 4), bytes(0), end=False)[:80 * 6],
    "fits-cube-two.fits": fits(image(16, 3, 2, 2, ["NAXIS3  =                    2"]),
                               bytes(16)),
    "fits-gz-bomb.fits.gz": gz(fits(image(16, 2, 40000, 40000)) + bytes(1 << 20)),
    "fits-gz-cut.fits.gz": gz(fits(image(16, 2, 40, 40), bytes(range(200)) * 16))[:-40],
    "fits-gz-garbage.fits.gz": b"\x1f\x8b\x08\x00" + bytes(range(256)),
    "fits-gz-bad-crc.fits.gz": gz(fits(image(16, 2, 4, 4), bytes(32)))[:-8] + bytes(8),
    "fits-fz-heap-missing.fits.fz": compressed(4, 4, 100),
    "fits-fz-huge.fits.fz": compressed(100000, 100000, 0),
    "fits-fz-bad-heap.fits.fz": compressed(4, 4, 32, bytes(range(255, 223, -1))),
    "tiff-empty.tif": b"",
    "tiff-magic-only.tif": b"II*\x00",
    "tiff-ifd-past-end.tif": b"II*\x00" + struct.pack("<I", 100000),
    "tiff-ifd-cut.tif": tiff(grey(2, 2, 200))[:20],
    "tiff-strip-past-end.tif": tiff(grey(2, 2, 100000), bytes(8)),
    "tiff-huge-size.tif": tiff(grey(0xFFFFFFFF, 0xFFFFFFFF, 8), bytes(8), big=True),
    "tiff-no-width.tif": tiff(grey(0, 2, 8), bytes(8)),
    "tiff-no-strips.tif": tiff(grey(2, 2, 8)[:5], bytes(8)),
    "tiff-bits-array-past-end.tif": tiff([(256, 4, 1, 1), (257, 4, 1, 1), (258, 3, 3, 90000),
                                          (262, 3, 1, 2), (277, 3, 1, 3), (273, 4, 1, 8)]),
    "tiff-strip-array-past-end.tif": tiff(grey(2, 2, 0)[:5] + [(273, 4, 4, 90000)], bytes(8)),
    "tiff-rgb-zero-samples.tif": tiff([(256, 4, 1, 2), (257, 4, 1, 2), (258, 3, 1, 8),
                                       (262, 3, 1, 2), (273, 4, 1, 8)], bytes(16)),
    "bif-binary.bif": bytes(range(256)) * 4,
    "bif-header-beyond.bif": b"BIF\nWIDTH 4\nHEIGHT 4\nCHANNELS 1\nDATATYPE WORD\n"
                             b"HEADER 40\nENDBIF\n" + bytes(8),
    "bif-no-end-short.bif": b"BIF\nWIDTH 100\nHEIGHT 100\nCHANNELS 1\nDATATYPE BYTE\n",
    "bif-huge.bif": b"BIF\nWIDTH 2147483647\nHEIGHT 2147483647\nCHANNELS 3\n"
                    b"DATATYPE SINGLE\nENDBIF\n",
    "bif-negative-header.bif": b"BIF\nWIDTH 40\nHEIGHT 40\nCHANNELS 1\nDATATYPE WORD\n"
                               b"HEADER -7\nENDBIF\n",
    "bif-data-directory.bif": b"BIF\nFILENAME .\nWIDTH 64\nHEIGHT 64\nCHANNELS 1\n"
                              b"DATATYPE WORD\nENDBIF\n",
}

if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    for name, data in FILES.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
