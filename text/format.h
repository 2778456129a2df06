#pragma once
// printf into a std::string, for the words built from the catalogue's patterns.

#include <cstdio>
#include <string>

namespace orva {

/// `format` with `args` put in; every format given here comes from the catalogue, whose test
/// checks that a translation keeps the source's conversions.
template <typename... Args> std::string Format(const char* format, Args... args)
{
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0)
        return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, args...);
    text.resize(static_cast<size_t>(length));
    return text;
}

}  // namespace orva
