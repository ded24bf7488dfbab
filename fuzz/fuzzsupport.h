#pragma once
// Helpers shared by the fuzz targets: a property check that stops the run
// with a readable message (libFuzzer then saves the input that broke it), a
// readable form of bytes for those messages, a Qt core application for the
// targets that run an event loop, and a scratch folder.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tl::fuzz {

// Prints what failed and aborts.
[[noreturn]] void fail(const char *file, int line, const char *condition, const std::string &detail);

// Bytes as C-escaped text, cut to a readable length.
std::string shown(const std::string &bytes, std::size_t limit = 400);

// The process's QCoreApplication, created on first use.
void ensureCoreApplication();

// A folder of this process for scratch files (in /dev/shm when there is one,
// else in the system's temporary folder), created when missing, ending in "/".
std::string scratchFolder(const std::string &name);
// Names of the entries of a folder (hidden ones included), sorted.
std::vector<std::string> folderEntries(const std::string &folder);
void removeFolderContents(const std::string &folder);

// Splits input into `count` parts at the first count-1 occurrences of
// `separator`; missing parts are empty.
std::vector<std::string> splitParts(const std::string &input, const std::string &separator,
                                    std::size_t count);

} // namespace tl::fuzz

// A property every input must keep. `detail` is evaluated only on failure.
#define FUZZ_CHECK(condition, detail)                                                         \
    do {                                                                                      \
        if (!(condition))                                                                     \
            ::tl::fuzz::fail(__FILE__, __LINE__, #condition, (detail));                       \
    } while (0)

namespace tl::fuzz {

// Runs the event loop until `done` holds or `ms` milliseconds have passed;
// returns done().
bool spinUntil(const std::function<bool()> &done, int ms);

// Deletes the objects whose deleteLater() is still pending. The targets run
// no event loop of their own, so without this every input would leave its
// closed sockets behind until the process ends.
void deleteLaterNow();

} // namespace tl::fuzz
