#pragma once
// One post rendered as the page it has of its own in the archive, whether it
// is saved or not: what the preview shows while the writer types.
#include "generator/generate.h"
#include "posts/postfile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tl::gen {

struct PostPage {
    std::string path;  // from the main folder: archive folder + long-post page name
    std::string bytes; // the whole page, CR LF line ends
};

// The post dated `time` (a post time value) with this title and body, as
// the archive template makes its long-post page: the archive link list
// (the months of monthList, plus the post's own month when it has no posts
// yet), the date shown unless a newer post of postList (Read's post list)
// falls on the same day, the whole body less its first "<!--more-->", and
// links into "media/" leading there from the archive folder. A post without
// "<!--more-->" gets the same page with its whole body (generation gives it
// none). Reads the archive template; throws AppError as generation does
// ("Cannot open file %s", a template without its block markers, a time out
// of range).
PostPage renderPostPage(const SiteFields &project, const std::vector<std::string> &postList,
                        const std::vector<std::string> &monthList, std::int64_t time,
                        const PostContent &post);

} // namespace tl::gen
