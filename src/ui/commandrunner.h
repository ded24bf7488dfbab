#pragma once
#include <QString>
#include <functional>

namespace tl {

class Prompts;

// Runs one command to its end. A failure stops the command where it happened
// and its message is shown in an error box; whatever the command wrote before
// stays written and the program goes on. Returns true when the command ran
// without a failure. No exception ever reaches the event loop.
bool runCommand(Prompts &prompts, const std::function<void()> &command);

} // namespace tl
