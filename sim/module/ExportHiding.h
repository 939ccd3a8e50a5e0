// Taking a host function out of the program's own export table, as in a host that lacks it.
#pragma once

#include <string>

namespace sim {

// Takes one of the thirteen functions out of this program's export table, so
// that a module loaded afterwards does not find it by name, as in a host
// that lacks it. For the rest of the program's life. False, with error set,
// when the table cannot be changed.
bool HideHostExport(const char* name, std::string& error);

}  // namespace sim
