#pragma once

#include <QStringView>

#include <span>
#include <string_view>

// The named character references recognised in element text: the 252 of
// HTML 4 (its Latin-1, symbol and special sets) plus "apos". Names compare
// with case as HTML 4 writes them ("Eacute" is 201, "eacute" 233); 64 pairs of
// names differ only in case. The table is constant, so every function is
// thread-safe.
namespace kw {

// Code point of the entity name (without '&' and ';'), or 0 when unknown.
char32_t LookUpEntity(QStringView name);

struct NamedEntity
{
    std::string_view name;
    char32_t codePoint;
};

// The whole table, sorted by name (byte order, so case-sensitive).
std::span<const NamedEntity> EntityTable();

} // namespace kw
