#pragma once

#include <QImage>
#include <QRect>

#include <vector>

// A removal attack on a collection of photos marked with one template, to
// measure how well marks resist it. Not part of the product.
//
// The attack's first step estimates the mark from the collection alone: at
// every pixel, the median over the photos of the x and y gradients keeps the
// mark's edges (the same in every photo) and averages the photos' own edges
// away. The estimate is integrated back to a picture by a Poisson solve
// (zero at the edge of the solve region, where there is no mark) and
// subtracted from each photo: the simple removal.
namespace kw::attack {

// One colour channel's x and y gradients (forward differences) over a region,
// row by row.
struct GradientField
{
    QRect region;
    std::vector<float> gx[3], gy[3]; // red, green, blue
};

// The gradients of a picture over `region` (pixels beyond the picture count
// as its nearest edge pixel).
GradientField Gradients(const QImage &picture, QRect region);

// The per-pixel median of the pictures' gradients; all pictures of one size.
GradientField MedianGradients(const std::vector<QImage> &pictures, QRect region);

// The gradients of the mean of (marked - original) over pairs of pictures:
// the mark as it shows on average in the collection, the field a perfect
// estimate would find.
GradientField MeanDifferenceGradients(const std::vector<QImage> &marked,
                                      const std::vector<QImage> &originals, QRect region);

// Normalised cross-correlation of two fields over `box` (inside both
// regions): both components, all channels, means removed. 1 is a perfect
// match, 0 none.
double GradientNcc(const GradientField &a, const GradientField &b, QRect box);

// Whether a region can be solved: width and height each one less than a
// power of two (the sine transform is done by a radix-2 FFT).
bool IsSolvableRegion(QRect region);
// The smallest solvable region centred on `box`.
QRect SolvableRegionAround(QRect box);

// Integrates a gradient field: the picture (three float channels, row by
// row over the field's region) whose gradients match the field best in the
// least-squares sense, zero around the region. Empty when the region is
// not solvable.
std::vector<float> IntegrateGradients(const GradientField &field, int channel);

// The simple removal: `marked` minus the integrated estimate over the
// estimate's region.
QImage RemoveEstimate(const QImage &marked, const GradientField &estimate,
                      const std::vector<float> integrated[3]);

// Peak signal-to-noise ratio of `a` against `b` over `box`, red, green and
// blue; 99 when they are equal there.
double Psnr(const QImage &a, const QImage &b, QRect box);

} // namespace kw::attack
