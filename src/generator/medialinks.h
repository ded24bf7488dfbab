#pragma once
// Links to the site's pictures from pages outside the main folder.
//
// A post links to its pictures by their path from the main folder
// ("media/2026/12/sea-800.jpg"), which is right on the main page, in the text
// page and wherever the site is opened (from disk, on the server, in the
// preview). Archive pages lie in the archive folder below the main folder,
// so there those links must first climb to the main folder ("../media/...").
#include <string>

namespace tl::gen {

// The body with every link into "media/" made to start with `mediaLink`
// instead ("../media/"): the values of src, href and poster attributes that
// begin with "media/", and each candidate of a srcset attribute that does,
// in every tag of the text. Attribute names are matched in any letter case,
// values may be quoted with " or ' or not at all. Text outside tags,
// comments and other links stay as they are. An empty mediaLink, or
// "media/" itself, changes nothing.
std::string rebaseMediaLinks(const std::string &html, const std::string &mediaLink);

} // namespace tl::gen
