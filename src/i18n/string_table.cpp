#include "i18n/string_table.h"

#include <algorithm>
#include <array>

namespace kw {

namespace {

constexpr std::array kStrings = {
    ResourceStringEntry{kStrAboutMenuItem, u"&About Kelvane Watermark..."},
    ResourceStringEntry{kStrTipAddPhotos, u"Add photo files"},
    ResourceStringEntry{kStrTipRemoveItem, u"Remove selected item from list"},
    ResourceStringEntry{kStrTipPreview, u"Preview effect before processing"},
    ResourceStringEntry{kStrTipProcess, u"Process to adding watermark to files"},
    ResourceStringEntry{kStrTipAbort, u"Abort processing"},
    // The trailing blanks of these two tooltips are part of the texts.
    ResourceStringEntry{kStrTipAddTemplate, u"Add New Template "},
    ResourceStringEntry{kStrTipLayers, u"Click to operate layers "},
    ResourceStringEntry{114, u"Top Left"},
    ResourceStringEntry{115, u"Top Center"},
    ResourceStringEntry{116, u"Top Right"},
    ResourceStringEntry{117, u"Center Left"},
    ResourceStringEntry{118, u"Center Center"},
    ResourceStringEntry{119, u"Center Right"},
    ResourceStringEntry{120, u"Bottom Left"},
    ResourceStringEntry{121, u"Bottom Center"},
    ResourceStringEntry{122, u"Bottom Right"},
    ResourceStringEntry{kStrQuickStartTemplates,
                        u"Add New Watermark Template or Edit Existed Template:\n"
                        u"\n"
                        u"  In the lower left corner, you could add your own template(A) and "
                        u"design it's style(B).You could double click one template to open it "
                        u"quickly."},
    ResourceStringEntry{kStrQuickStartAddPhotos,
                        u"Add Photo Files:\n"
                        u"\n"
                        u"  Click the \"Add\" button on the toolbar to add the photos you want "
                        u"to watermark, or drop photos and folders onto the list."},
    ResourceStringEntry{kStrQuickStartProcess,
                        u"Process Watermarking:\n"
                        u"\n"
                        u"  Click the \"Process\" button on the toolbar to start processing."},
};

static_assert(std::is_sorted(kStrings.begin(), kStrings.end(),
                             [](const auto &a, const auto &b) { return a.id < b.id; }));
static_assert(kStrLocationLast - kStrLocationFirst == kLocationCodeCount - 1);

} // namespace

std::span<const ResourceStringEntry> ResourceStrings()
{
    return kStrings;
}

QString ResourceString(int id)
{
    const auto it =
        std::lower_bound(kStrings.begin(), kStrings.end(), id,
                         [](const ResourceStringEntry &e, int key) { return e.id < key; });
    if (it == kStrings.end() || it->id != id)
        return QString();
    return it->text.toString();
}

QString LocationName(LocationCode code)
{
    const auto index = int32_t(code);
    if (index < 0 || index > kStrLocationLast - kStrLocationFirst)
        return QString();
    return ResourceString(kStrLocationFirst + index);
}

} // namespace kw
