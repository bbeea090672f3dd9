#pragma once

#include <QString>
#include <QStringList>

namespace kw {

// One template: a name and its layers, first to last. Both names are base
// names of files in the templates folder; a layer is known only by its name
// and keeps it when its template is renamed. A plain value.
class CWatermarkTemplate
{
public:
    QString name;       // not empty
    QStringList layers; // layer names, in drawing order

    friend bool operator==(const CWatermarkTemplate &, const CWatermarkTemplate &) = default;
};

} // namespace kw
