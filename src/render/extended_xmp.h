#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

// Extended XMP: a JPEG segment holds at most 64 KB, so a larger XMP packet is
// split into a main packet, which points to the rest by a GUID
// (xmpNote:HasExtendedXMP, the MD5 of the rest), and APP1 segments of the
// namespace "http://ns.adobe.com/xmp/extension/" that hold the rest in
// pieces. An output carries the pieces whole with their pointer, or neither.
// Pure functions; any thread.
namespace kw {

// The payloads of the extended-XMP segments of the JPEG in `jpeg`, after
// their namespace (GUID, full length, offset, data), in file order; empty
// for anything else. Reads the markers before the first scan only.
QList<QByteArray> ReadExtendedXmpSegments(const QByteArray &jpeg);

// The XMP an output carries.
struct SettledXmp
{
    QByteArray xmp;              // the main packet
    QList<QByteArray> extension; // the segments' payloads, as read
};

// When `carry` (the output is a JPEG) and the pieces are whole — each names
// the GUID the main packet points to, together they cover the full length
// once, their MD5 is that GUID, and they hold no picture (a portrait's
// original or depth map, which would show the photo without its mark) — the
// main packet and the pieces as they are. Otherwise the pieces are left out
// and the pointer is taken out of the main packet, with a warning when there
// were pieces to leave out.
SettledXmp SettleExtendedXmp(const QByteArray &xmp, const QList<QByteArray> &extension, bool carry,
                             QStringList &warnings);

} // namespace kw
