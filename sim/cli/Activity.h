// The step melvara-sim is at, named in the message when memory runs out.
#pragma once

#include <functional>
#include <ostream>
#include <string_view>

namespace sim {

// Names what melvara-sim does from now on ("reading", "score.json"), for the
// message when memory runs out. The steps of a command follow one another,
// so each names itself as it starts. Allocates nothing.
void SetActivity(std::string_view what, std::string_view object = {});

// Runs a command. Memory that runs out anywhere in it ends the command with
// "melvara-sim: out of memory while reading score.json" and the status
// given, instead of an abort.
int ExitOnOutOfMemory(std::ostream& err, int status, const std::function<int()>& command);

}  // namespace sim
