#pragma once

#include <QString>

#include <utility>

namespace kw {

// Outcome of a file operation of the model: success, or failure with a short
// reason that names what failed ("cannot write layer file ...").
struct ModelResult
{
    bool ok = true;
    QString reason;

    explicit operator bool() const { return ok; }
    static ModelResult Success() { return {}; }
    static ModelResult Failure(QString why) { return {false, std::move(why)}; }
};

} // namespace kw
