#include "app/clients/sync/JsonShapes.h"

#include <algorithm>

namespace quillet {

namespace {

bool AllTexts(const nlohmann::ordered_json& json) {
    return std::all_of(json.begin(), json.end(),
                       [](const nlohmann::ordered_json& value) { return value.is_string(); });
}

}  // namespace

bool IsArrayOfTexts(const nlohmann::ordered_json& json) {
    return json.is_array() && AllTexts(json);
}

bool IsObjectOfTexts(const nlohmann::ordered_json& json) {
    return json.is_object() && AllTexts(json);
}

}  // namespace quillet
