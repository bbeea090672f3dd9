#pragma once

#include "model/layer_values.h"
#include "model/watermark_conf.h"

#include <QByteArray>
#include <QString>

#include <ostream>

using kw::CWatermarkConf;

// Readable failure output for records and file bytes: one "element=value"
// line per field, and bytes shown as text.
inline void PrintTo(const CWatermarkConf &conf, std::ostream *out)
{
    for (const kw::LayerField &field : kw::LayerFields()) {
        QString value;
        if (field.text)
            value = u'"' + conf.*field.text + u'"';
        else if (field.font)
            value = kw::FormatFontList(conf.*field.font);
        else if (field.color)
            value = kw::FormatLayerColor(conf.*field.color);
        else
            value = kw::FormatLayerInteger(conf.*field.integer);
        *out << "\n  " << field.element.toString().toStdString() << '=' << value.toStdString();
    }
}

inline void PrintTo(const QByteArray &bytes, std::ostream *out)
{
    // Line ends stay visible, since the files' CR LF matter.
    QByteArray shown = bytes;
    shown.replace("\r", "\\r").replace("\n", "\\n\n");
    *out << "\n" << shown.toStdString();
}
