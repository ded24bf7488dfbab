#include "publish/wholeupload.h"

#include <cstdint>
#include <cstdio>
#include <exception>

namespace tl {

namespace {

const char *const kPrefix = ".";
const char *const kSuffix = ".part";

// FNV-1a: the same on every platform and in every run.
std::uint32_t nameHash(const std::string &name)
{
    std::uint32_t h = 2166136261u;
    for (unsigned char c : name) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

} // namespace

std::string temporaryNameFor(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t at = slash == std::string::npos ? 0 : slash + 1;
    const std::string folder = path.substr(0, at);
    const std::string name = path.substr(at);
    std::string bare = kPrefix + name + kSuffix;
    if (bare.size() <= kMaxFileNameBytes)
        return folder + bare;
    char hash[16];
    std::snprintf(hash, sizeof hash, "~%08x", static_cast<unsigned>(nameHash(name)));
    const std::size_t room = kMaxFileNameBytes - std::char_traits<char>::length(kPrefix)
        - std::char_traits<char>::length(hash) - std::char_traits<char>::length(kSuffix);
    std::size_t keep = room;
    while (keep > 0 && isContinuationByte(name[keep]))
        --keep;
    return folder + kPrefix + name.substr(0, keep) + hash + kSuffix;
}

std::string temporaryNotRemovedText(const std::string &temp, const std::string &why)
{
    return "Could not remove the temporary file " + temp + ": " + why;
}

std::string temporaryKeptText(const std::string &target, const std::string &temp)
{
    return "The file " + target + " was removed but could not be replaced; its new content is in "
        + temp;
}

void uploadThroughTemporaryName(const std::string &target, const ReplaceSteps &steps)
{
    const std::string temp = temporaryNameFor(target);
    bool stored = false;
    bool keepTemp = false;
    try {
        steps.store(temp, stored);
        steps.renameOver(temp, target, keepTemp);
    } catch (...) {
        if (keepTemp) {
            steps.log(temporaryKeptText(target, temp));
        } else if (stored) {
            try {
                steps.remove(temp);
            } catch (const std::exception &e) {
                steps.log(temporaryNotRemovedText(temp, e.what()));
            }
        }
        throw;
    }
}

} // namespace tl
