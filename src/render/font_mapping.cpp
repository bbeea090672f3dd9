#include "render/font_mapping.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace kw {

namespace {
constexpr int kDefaultPixelSize = 16;
const char *const kWineTahomaFiles[] = {
    "/usr/share/wine/fonts/tahoma.ttf",
    "/usr/share/wine/fonts/tahomabd.ttf",
};
} // namespace

bool RegisterWatermarkFonts()
{
    static std::once_flag once;
    static bool registered = false;
    std::call_once(once, [] {
        for (const char *file : kWineTahomaFiles) {
            const QString path = QString::fromLatin1(file);
            if (QFile::exists(path) && QFontDatabase::addApplicationFont(path) >= 0 &&
                file == kWineTahomaFiles[0])
                registered = true;
        }
    });
    return registered;
}

QFont FontFromLogFont(const LogFont &logFont)
{
    QString face = logFont.faceName();
    if (face.isEmpty())
        face = kDefaultFaceName.toString();
    QFont font(face);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    const int32_t weight = logFont.weight();
    font.setWeight(weight <= 0 ? QFont::Normal : QFont::Weight(std::clamp(weight, 1, 1000)));
    font.setItalic(logFont.italic() != 0);
    font.setUnderline(logFont.underline() != 0);
    font.setStrikeOut(logFont.strikeOut() != 0);

    const int64_t height = logFont.height();
    int pixelSize = kDefaultPixelSize;
    if (height < 0) {
        pixelSize = int(std::min<int64_t>(-height, kMaxFontPixelSize));
    } else if (height > 0) {
        // The cell height is ascent plus descent; find the em size that gives it.
        const int cell = int(std::min<int64_t>(height, kMaxFontPixelSize));
        font.setPixelSize(cell);
        const qreal cellAtEm = QFontMetricsF(font).height();
        pixelSize = cellAtEm > 0 ? int(std::lround(cell * cell / cellAtEm)) : cell;
    }
    font.setPixelSize(std::clamp(pixelSize, 1, kMaxFontPixelSize));
    return font;
}

} // namespace kw
