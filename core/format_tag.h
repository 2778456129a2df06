#pragma once
// Names of the registered WAVE format tags, as the file list shows them.

#include <string>

namespace orva {

/// The usual name of a WAVE format tag (at most 47 characters); "Unknown" for a tag
/// that is not registered.
std::string FormatTagName(unsigned formatTag);

}  // namespace orva
