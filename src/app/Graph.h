// A small plotting module: lines and labels in world coordinates on a canvas.
//
// Common rules of this module:
//  - One module-wide state: the canvas (a QPainter the caller owns and keeps
//    alive while plotting), the drawing colour, a pixel viewport and a world
//    window. World (x, y) maps to the pixel nearest (half to even) to
//    ((x - xmin) * (right - left) / (xmax - xmin) + left,
//     bottom - (y - ymin) * (bottom - top) / (ymax - ymin)): the y axis points up.
//  - Nothing is drawn without a canvas or while the world window has zero
//    width or height (the mapping would divide by zero).
#pragma once

#include <cstdint>
#include <string>

#include "Global.h"

class QPainter;

namespace obra {

// Selects the canvas that later calls draw on (nullptr: draw nothing).
void SetCanvas(QPainter* Canvas);
// Selects the colour of lines and labels.
void SetColor(Rgb Color);
// Sets the pixel viewport and the world window mapped onto it.
void SetView(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, double XMin, double YMin,
             double XMax, double YMax);
// False while the world window has no width or no height.
bool ViewUsable();
// The pixel of world (X, Y) under the current view; (0, 0) when not usable.
void WorldToPixel(double X, double Y, int32_t& Px, int32_t& Py);
// A solid line of PenWidth pixels from world (X1, Y1) to world (X2, Y2).
void PlotLine(int32_t PenWidth, double X1, double Y1, double X2, double Y2);
// Text centred on world (X, Y), its top half a text height below the point.
void PlotTextBelow(const std::string& Text, double X, double Y);
// Text centred on world (X, Y), its top three half text heights above the point.
void PlotTextAbove(const std::string& Text, double X, double Y);

// Draws the horizontal profile of Kernel (radius KerSize) into Picture on the
// side bar's colour. Returns false and draws nothing when the profile cannot
// be plotted: an empty picture, KerSize outside 1..64 or a zero centre weight.
bool KernelPlot(Picture24& Picture, const KernelTableType& Kernel, int32_t KerSize);
// The same for the process's KernelTable.
bool KernelPlot(Picture24& Picture, int32_t KerSize);

}  // namespace obra
