#include "render/huge_pages.h"

#include <sys/mman.h>

namespace kw {

void AdviseHugePages(void *data, qsizetype bytes)
{
    constexpr quintptr kHugePage = quintptr(2) << 20;
    if (!data || bytes < qsizetype(2 * kHugePage))
        return;
    const quintptr start = (quintptr(data) + kHugePage - 1) & ~(kHugePage - 1);
    const quintptr end = (quintptr(data) + quintptr(bytes)) & ~(kHugePage - 1);
    if (end > start)
        ::madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
}

} // namespace kw
