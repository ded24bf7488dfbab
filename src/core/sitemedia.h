#pragma once
// The pictures a writer inserts into posts live in the site itself, in the
// folder "media/" below the main folder (media/YYYY/MM/name-800.jpg). Posts
// link to them by that path from the main folder, so generation, the send
// queue and "Send whole site" all know where to look.
#include <QString>
#include <QStringList>

namespace tl {

// The folder below the main folder that holds the site's pictures.
inline constexpr char kMediaFolder[] = "media/";

// Every file below the main folder's media folder, at any depth, as paths
// (main folder + "media/..."), in name order folder by folder. Hidden files
// (a picture being written is one until it is complete) and symbolic links
// are left out; no media folder gives an empty list.
QStringList siteMediaFiles(const QString &mainFolder);

} // namespace tl
