#pragma once
#include <QString>
#include <functional>

class QUrl;

namespace tl {

// Opens a generated page, or an address (the preview's), with the desktop's
// default handler. Returns false when no handler could be started. Tests
// replace it to see what would open: a page by its path, an address as its
// text ("http://127.0.0.1:PORT/...").
using PageOpener = std::function<bool(const QString &pathOrAddress)>;
void setPageOpener(PageOpener opener); // an empty opener restores the desktop's
bool openPage(const QString &path);
bool openAddress(const QUrl &address);

} // namespace tl
