#include "render/mark_colours.h"

#include "render/colour_management.h"

namespace kw {

bool NeedsMarkColourConversion(const QColorSpace &space)
{
    return space.isValid() && space != QColorSpace(QColorSpace::SRgb) &&
           !space.iccProfile().isEmpty();
}

void ConvertMarkColours(std::vector<CWatermarkConf> &layers, const QColorSpace &space)
{
    if (layers.empty() || !NeedsMarkColourConversion(space))
        return;
    // One conversion for all colours of all layers.
    std::vector<QRgb> colours;
    for (const CWatermarkConf &conf : layers) {
        for (const LayerField &field : LayerFields()) {
            if (field.color) {
                const ColorRef c = conf.*field.color;
                colours.push_back(qRgb(RedOf(c), GreenOf(c), BlueOf(c)));
            }
        }
    }
    const Result<std::vector<QRgb>> mapped = SrgbColoursInProfile(colours, space.iccProfile());
    if (!mapped)
        return;
    size_t i = 0;
    for (CWatermarkConf &conf : layers) {
        for (const LayerField &field : LayerFields()) {
            if (field.color) {
                const QRgb c = (*mapped)[i++];
                // The bits above the colour (none in a stored COLORREF) stay.
                const ColorRef high = (conf.*field.color) & 0xFF000000u;
                conf.*field.color =
                    high | RgbColor(uint8_t(qRed(c)), uint8_t(qGreen(c)), uint8_t(qBlue(c)));
            }
        }
    }
}

} // namespace kw
