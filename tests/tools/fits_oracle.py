#!/usr/bin/python3
"""Independent FITS oracle for the reader tests, built on astropy.

  fits_oracle.py write KIND PATH   write a small FITS file of one kind
  fits_oracle.py read PATH OUT     write the primary image as the program's
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
    elif kind == "cube":
        d = rng.integers(0, 65536, size=(3,) + shape, dtype=np.uint16)
    else:
        raise SystemExit("unknown kind " + kind)
    return d


def write(kind, path):
    hdu = fits.PrimaryHDU(sample_data(kind))
    h = hdu.header
    h["TELESCOP"] = "SDO/AIA"
    h["INSTRUME"] = "AIA_3"
    h["WAVELNTH"] = 211
    h["DATE-OBS"] = "2011-03-07T18:05:09.34"
    h["CRPIX1"] = 3.5
    h["CRPIX2"] = 2.25
    h["R_SUN"] = 1.5e1
    hdu.writeto(path, overwrite=True)


def read(path, out):
    with fits.open(path) as f:
        data = np.asarray(f[0].data, dtype=np.float64)
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
