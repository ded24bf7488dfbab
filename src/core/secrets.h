#pragma once
// Secrets held in memory: a password typed or read for a transfer.

namespace tl {

// From now on the process leaves no core dump and cannot be attached to by
// another process of the user's (a core file would hold the password in
// clear text). Called before a password is taken into memory; it holds for
// the rest of the run. Returns false when the system refused.
bool keepSecretsOutOfCoreDumps();

} // namespace tl
