#include "publish/wholeupload.h"
#include "core/fileio.h"

#include <exception>

namespace tl {

std::string temporaryNameFor(const std::string &path)
{
    return temporarySibling(path, ".part");
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
