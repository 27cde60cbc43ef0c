#pragma once
// The default profile that a Mozilla application names in its profiles.ini. Every Thunderbird
// since 2019 keeps its data in a profile of its own installation (an "[Install…]" section's
// "Default="), beside an older profile marked "Default=1" that it no longer uses; the name of a
// profile folder alone cannot tell them apart.

#include <QString>
#include <optional>

namespace quillet {

// The profile folder that FOLDER/profiles.ini names as the default, without a trailing "/":
// the "Default=" of an "[Install…]" section (sections in name order), else the "Path=" of the
// first "[Profile…]" section with "Default=1". Relative paths ("IsRelative=1", or an install
// default that is not absolute) are below FOLDER. Absent when the file is missing or unreadable,
// names no default, or names a folder that does not exist.
std::optional<QString> ProfilesIniDefaultProfile(const QString& folder);

}  // namespace quillet
