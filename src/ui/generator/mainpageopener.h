#pragma once
#include <QString>
#include <functional>

namespace tl {

// Opens a generated page with the desktop's default handler. Returns false
// when no handler could be started. Tests replace it to see what would open.
using PageOpener = std::function<bool(const QString &path)>;
void setPageOpener(PageOpener opener); // an empty opener restores the desktop's
bool openPage(const QString &path);

} // namespace tl
