#pragma once
// Shape checks for JSON that other applications wrote: a value that parses but has another
// shape is refused like one that does not parse.

#include <nlohmann/json.hpp>

namespace quillet {

// An array whose elements are all texts.
bool IsArrayOfTexts(const nlohmann::ordered_json& json);
// An object whose members are all texts.
bool IsObjectOfTexts(const nlohmann::ordered_json& json);

}  // namespace quillet
