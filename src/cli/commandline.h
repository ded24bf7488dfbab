#pragma once
// The command line: generating, publishing and fetching a project without a
// window, for scripts and scheduled jobs.
//
//   tarvlit generate PROJECT
//   tarvlit publish PROJECT [--data] [--whole-site] [--dry-run] [--accept-new-host-key]
//   tarvlit fetch PROJECT [--accept-new-host-key]
//   tarvlit picture PROJECT FILE... [--alt TEXT] [--post NAME]
//   tarvlit password PROJECT [--forget]
//   tarvlit projects
//
// PROJECT names a project file (conf/PROJECT.tvp in the settings folder the
// window uses). Log lines and progress go to standard error. Exit status: 0
// on success, 1 when the work failed (the message on standard error), 2 for
// a command line that cannot be run (unknown command or project, missing
// argument).

namespace tl::cli {

// Exit statuses.
// 3: a fetch kept both copies of posts changed here and on the server.
enum Status { Ok = 0, Failed = 1, Usage = 2, Conflicts = 3 };

// True when the arguments ask for the command line rather than the window:
// the first word (an argument that is not an option, nor the value of one of
// Qt's options) is one of the commands, or an option of the command line's
// own is given (--help, --version, -h, -v, --data, ...). Anything else is
// for the window: Qt's options (-platform offscreen, -style fusion) reach
// QApplication, and a file a file manager hands over is ignored there.
bool wantsCommandLine(int argc, char *argv[]);

// Creates the (window-less) application object and runs the command.
int run(int argc, char *argv[]);

} // namespace tl::cli
