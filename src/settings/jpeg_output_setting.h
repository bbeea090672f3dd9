#pragma once

#include "platform/result.h"

#include <QString>

#include <cstdint>

// How JPEG output is encoded, kept in preference.xml as two elements that a
// file holds only when they differ from their absence:
//
//   <JpegOutputMode>1</JpegOutputMode>             keep the source JPEG's own
//                                                  coding, re-encode only the
//                                                  watermark's blocks
//   <JpegOptimizedHuffman>1</JpegOptimizedHuffman> optimised Huffman tables in
//                                                  that mode
//
// Each is found by its own search among the children of Preferences, so it may
// stand anywhere among them; the saver appends a missing one at the end of
// Preferences and removes it when the value returns to its default. Any
// thread; no shared state.
namespace kw {

enum class JpegOutputMode : int32_t {
    Quality98 = 0,    // decode and encode every photo at quality 98 (no element)
    KeepOriginal = 1, // JPEG sources keep their coefficients outside the mark
};

struct JpegOutputSetting
{
    JpegOutputMode mode = JpegOutputMode::Quality98;
    bool optimizedHuffman = false;

    bool operator==(const JpegOutputSetting &) const = default;
};

// The setting stored in preference.xml; the defaults where an element is
// missing or holds an unknown value. Fails when the file cannot be read or
// has no Preferences element.
Result<JpegOutputSetting> LoadJpegOutputSetting(const QString &dataFolder);

// Stores `setting`, changing nothing else in the file (its encoding and
// other bytes are kept); the file is not rewritten when it already says it.
Status SaveJpegOutputSetting(const QString &dataFolder, const JpegOutputSetting &setting);

} // namespace kw
