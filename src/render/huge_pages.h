#pragma once

#include <QtGlobal>

namespace kw {

// Large buffers that are filled once from start to end (a photo's file, its
// decoded rows) come from untouched memory: in 2 MiB pages the kernel takes
// one fault where it would take 512. Marks the whole huge pages inside
// `data`, before anything is written there; a kernel without them ignores
// the advice, and small buffers are left alone. Any thread.
void AdviseHugePages(void *data, qsizetype bytes);

} // namespace kw
