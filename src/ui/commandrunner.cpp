#include "ui/commandrunner.h"

#include "ui/prompts.h"

#include <exception>

namespace tl {

bool runCommand(Prompts &prompts, const std::function<void()> &command)
{
    try {
        command();
        return true;
    } catch (const std::exception &e) {
        // Messages carry windows-1250 bytes where they quote file content or
        // paths; paths on this system are UTF-8, so show them as such.
        prompts.error(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        prompts.error(QStringLiteral("Unknown error"));
    }
    return false;
}

} // namespace tl
