// Keyword lines, the shared syntax of OBRA.ini, FITS cards and BIF headers,
// and the file-name helpers the configuration, the readers and the workflow
// share. Nothing here depends on another module.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace obra {

// ---- Keyword lines ---------------------------------------------------------
// A keyword line is a key in column 1, at least one blank, then the value;
// keys compare without regard to letter case and "//" opens a comment. Each
// parser leaves Target unchanged when the line does not carry Key, and returns
// whether it did. A value that does not convert stores the digits read before
// the fault as one whole number (sign, point and exponent dropped).
bool ParseKeyInt(std::string_view Line, std::string_view Key, int32_t& Target);
bool ParseKeyDouble(std::string_view Line, std::string_view Key, double& Target);
bool ParseKeyFloat(std::string_view Line, std::string_view Key, float& Target);
// Text target: the trimmed value; a value shorter than two characters clears Target.
bool ParseKeyText(std::string_view Line, std::string_view Key, std::string& Target);

// ---- File names -------------------------------------------------------------
std::string UpperCase(std::string_view S);
// The upper-cased extension with its dot (".FITS"), empty when there is none.
std::string UpperExtension(const std::string& FileName);
// The extension a file's format is chosen by, upper-cased with its dot: the
// whole compound extension of a compressed FITS file (".FITS.GZ", ".FTS.FZ",
// ".FZ"), otherwise UpperExtension (so "x.tar.gz" gives ".GZ").
std::string CompoundExtension(const std::string& FileName);
// The file name without its directory and without CompoundExtension:
// "/d/x.fits.gz" and "/d/x.fits" both give "x".
std::string ImageStem(const std::string& FileName);
// True for the extensions read by the FITS reader, plain or compressed: the
// full load accepts the compressed ones (".FZ", ".FITS.GZ" ...) beside
// SupportedExtensions.
bool IsFitsExtension(const std::string& UpperExt);
// The file name without its directory.
std::string BaseName(const std::string& FileName);

}  // namespace obra
