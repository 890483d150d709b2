#!/usr/bin/python3
"""Independent coordinate and header oracle for the solar tests, built on astropy.

  wcs_oracle.py coords PATH X,Y [X,Y ...]   helioprojective position (arcsec)
                                            of readout pixels: column X, row Y
                                            from the top; one "Tx Ty" line each
  wcs_oracle.py keys PATH                   the primary header as KEY=repr(value)
                                            lines (HISTORY and COMMENT as text)
"""
import sys
import warnings

import astropy.units as u
from astropy.io import fits
from astropy.wcs import WCS, FITSFixedWarning


def coords(path, points):
    with fits.open(path) as f:
        header = f[0].header
    height = header["NAXIS2"]
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", FITSFixedWarning)
        w = WCS(header)
    celestial = w.wcs.lng >= 0
    for p in points:
        x, y = (float(v) for v in p.split(","))
        world = w.all_pix2world([[x + 1.0, height - y]], 1)[0]
        out = []
        for axis in range(2):
            unit = str(w.wcs.cunit[axis])
            value = (world[axis] * u.Unit(unit)).to_value(u.arcsec) if unit else world[axis]
            if celestial and axis == 0 and value > 648000.0:
                value -= 1296000.0
            out.append(value)
        print("%.9f %.9f" % tuple(out))


def keys(path):
    with fits.open(path) as f:
        header = f[0].header
        for card in header.cards:
            if card.keyword in ("HISTORY", "COMMENT"):
                print("%s=%s" % (card.keyword, card.value))
            else:
                print("%s=%r" % (card.keyword, card.value))


if __name__ == "__main__":
    if len(sys.argv) >= 4 and sys.argv[1] == "coords":
        coords(sys.argv[2], sys.argv[3:])
    elif len(sys.argv) == 3 and sys.argv[1] == "keys":
        keys(sys.argv[2])
    else:
        raise SystemExit(__doc__)
