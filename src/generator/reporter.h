#pragma once
#include <string>

namespace tl::gen {

// What a generation run tells its caller as it goes: the log lines, and the
// upload list (the paths of the files it wrote, for the FTP upload). The list
// is only touched once the main page, RSS and TXT files are written, so a run
// that stops earlier leaves the previous run's list as it was.
class GenerateReporter {
public:
    virtual ~GenerateReporter() = default;
    virtual void log(const std::string &line) = 0;
    virtual void clearUploadList() = 0;
    virtual void addToUploadList(const std::string &path) = 0;
};

} // namespace tl::gen
