#!/usr/bin/python3
"""Independent FITS oracle for the reader tests, built on astropy.

  fits_oracle.py write KIND PATH   write a small FITS file of one kind
  fits_oracle.py read PATH OUT     write the first image as the program's
                                   working buffer: top row first, colour
                                   planes interleaved, rounded half to even,
                                   clipped to 0..65535, NaN as 0, raw
                                   little-endian uint16
"""
import sys

import numpy as np
from astropy.io import fits

WIDTH, HEIGHT = 7, 5


def sample_data(kind):
    rng = np.random.default_rng(20240601)
    shape = (HEIGHT, WIDTH)
    if kind == "uint16":
        d = rng.integers(0, 65536, size=shape, dtype=np.uint16)
        d[0, 0], d[0, 1], d[-1, -1] = 0, 1, 65535
    elif kind == "int16":
        d = rng.integers(-32768, 32768, size=shape, dtype=np.int16)
        d[0, 0], d[0, 1] = -32768, 32767
    elif kind == "int32":
        d = rng.integers(-100000, 100000, size=shape, dtype=np.int32)
        d[0, 0], d[0, 1] = 70000, -5
    elif kind == "float32":
        d = (rng.random(shape, dtype=np.float32) * 70000 - 1000).astype(np.float32)
        d[0, 0], d[0, 1], d[0, 2], d[0, 3] = 2.5, 3.5, np.nan, 65535.4
    elif kind in ("float64", "comp-float64"):
        d = rng.random(shape) * 70000 - 1000
        d[0, 0], d[0, 1], d[0, 2], d[0, 3] = 2.5, 3.5, np.nan, 65535.4
    elif kind == "int64":
        d = rng.integers(-100000, 100000, size=shape, dtype=np.int64)
        d[0, 0], d[0, 1] = 1 << 40, 40000
    elif kind == "ext-cube1":
        d = rng.integers(0, 65536, size=(1,) + shape, dtype=np.uint16)
    elif kind.startswith("comp-"):
        # Signed: the unsigned form (BZERO in the table header) that this
        # astropy writes is not readable by CFITSIO's own funpack either.
        d = rng.integers(-1000, 32768, size=shape, dtype=np.int16)
        d[0, 0], d[-1, -1] = -5, 32767
    elif kind == "ext-image":
        d = rng.integers(0, 65536, size=shape, dtype=np.uint16)
        d[0, 0], d[-1, -1] = 0, 65535
    elif kind == "cube":
        d = rng.integers(0, 65536, size=(3,) + shape, dtype=np.uint16)
    else:
        raise SystemExit("unknown kind " + kind)
    return d


COMPRESSION = {"comp-rice": "RICE_1", "comp-gzip2": "GZIP_2", "comp-float64": "GZIP_1"}


def write(kind, path):
    data = sample_data(kind)
    if kind in COMPRESSION:
        # Lossless for floats: no quantization.
        extra = {"quantize_level": 0.0} if kind == "comp-float64" else {}
        hdu = fits.CompImageHDU(data, compression_type=COMPRESSION[kind], **extra)
    elif kind.startswith("ext-"):
        hdu = fits.ImageHDU(data)
    else:
        hdu = fits.PrimaryHDU(data)
    h = hdu.header
    h["TELESCOP"] = "SDO/AIA"
    h["INSTRUME"] = "AIA_3"
    h["WAVELNTH"] = 211
    h["DATE-OBS"] = "2011-03-07T18:05:09.34"
    h["CRPIX1"] = 3.5
    h["CRPIX2"] = 2.25
    h["R_SUN"] = 1.5e1
    if isinstance(hdu, fits.PrimaryHDU):
        hdu.writeto(path, overwrite=True)
    else:
        fits.HDUList([fits.PrimaryHDU(), hdu]).writeto(path, overwrite=True)


def read(path, out):
    with fits.open(path) as f:
        hdu = next(h for h in f if h.data is not None and h.data.ndim >= 2)
        data = np.asarray(hdu.data, dtype=np.float64)
    if data.ndim == 3 and data.shape[0] == 1:
        data = data[0]
    if data.ndim == 2:
        data = data[::-1, :]
    elif data.ndim == 3:
        data = data[:, ::-1, :].transpose(1, 2, 0)
    else:
        raise SystemExit("not an image")
    data = np.where(np.isnan(data), 0.0, np.rint(data))
    np.clip(data, 0, 65535).astype("<u2").tofile(out)


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "write":
        write(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 4 and sys.argv[1] == "read":
        read(sys.argv[2], sys.argv[3])
    else:
        raise SystemExit(__doc__)
