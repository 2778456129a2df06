#pragma once
// The table generated from translations/orva_en.ts at build time (tools/ts_table),
// sorted by context, then source, byte by byte.

#include <cstddef>

namespace orva {

struct CatalogueEntry {
    const char* context;
    const char* source;
    const char* english;
};

extern const CatalogueEntry kCatalogue[];
extern const std::size_t kCatalogueSize;

}  // namespace orva
