// The differences accepted from an earlier, reviewed report of regress.
#pragma once

#include <optional>
#include <set>
#include <string>

namespace sim {

// The keys of the groups of an earlier JSON report of regress (its "groups",
// each with a "key"): runs that differ first at one of them fail no more.
// A reviewer may delete the groups that are not to be accepted. Nothing,
// with error set, when the file cannot be read or is no such report.
std::optional<std::set<std::string>> ReadAcceptedDifferences(const std::string& path,
                                                             std::string& error);

}  // namespace sim
