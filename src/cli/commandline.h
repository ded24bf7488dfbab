#pragma once
// The command line: generating, publishing and fetching a project without a
// window, for scripts and scheduled jobs.
//
//   tarvlit generate PROJECT
//   tarvlit publish PROJECT [--data]
//   tarvlit fetch PROJECT
//   tarvlit picture PROJECT FILE... [--alt TEXT] [--post NAME]
//
// PROJECT names a project file (conf/PROJECT.tvp in the settings folder the
// window uses). Log lines and progress go to standard error. Exit status: 0
// on success, 1 when the work failed (the message on standard error), 2 for
// a command line that cannot be run (unknown command or project, missing
// argument).

namespace tl::cli {

// Exit statuses.
enum Status { Ok = 0, Failed = 1, Usage = 2 };

// True when the arguments ask for the command line rather than the window:
// any argument at all.
bool wantsCommandLine(int argc, char *argv[]);

// Creates the (window-less) application object and runs the command.
int run(int argc, char *argv[]);

} // namespace tl::cli
