#include "text/catalogue.h"

#include "text/catalogue_table.h"

#include <algorithm>
#include <cstring>

namespace orva {

const char* Translate(Language language, const char* context, const char* source)
{
    if (language == Language::Japanese)
        return source;
    const auto* begin = kCatalogue;
    const auto* end = kCatalogue + kCatalogueSize;
    const auto before = [](const CatalogueEntry& entry, const std::pair<const char*, const char*>& key) {
        const int byContext = std::strcmp(entry.context, key.first);
        return byContext != 0 ? byContext < 0 : std::strcmp(entry.source, key.second) < 0;
    };
    const auto* found = std::lower_bound(begin, end, std::make_pair(context, source), before);
    if (found != end && std::strcmp(found->context, context) == 0 && std::strcmp(found->source, source) == 0)
        return found->english;
    return source;
}

}  // namespace orva
