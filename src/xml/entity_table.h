#pragma once

#include <QStringView>

// The named character references recognised in element text: the 252 of
// HTML 4 plus "apos". Names compare with case as HTML 4 writes them
// ("Eacute" is 201, "eacute" 233).
namespace kw {

// Code point of the entity name (without '&' and ';'), or 0 when unknown.
char32_t LookUpEntity(QStringView name);

// Number of entries in the table (253); exposed for tests.
int EntityTableSize();

} // namespace kw
