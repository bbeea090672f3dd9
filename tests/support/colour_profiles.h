#pragma once

#include <QByteArray>

#include <lcms2.h>

// ICC profiles made with lcms2 for tests and benchmarks, so no profile file
// of anyone else's is needed.
namespace kw::test {

// The profile's bytes; closes `profile`.
QByteArray Saved(cmsHPROFILE profile);

// A CMYK input profile (CMYK to Lab through a grid of `gridPoints` per ink,
// 17 for the size printers' profiles use) whose colours are not the plain
// formula Qt uses (r = (1 - c)(1 - k) ...), so that a conversion that
// ignores the profile shows.
QByteArray MakeCmykProfile(int gridPoints = 9);

} // namespace kw::test
