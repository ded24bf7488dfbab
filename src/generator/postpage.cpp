#include "generator/postpage.h"

#include "core/errors.h"
#include "core/fileio.h"
#include "generator/archive.h"
#include "generator/render.h"
#include "posts/poststore.h"

#include <algorithm>

namespace tl::gen {

namespace {

// Month keys sort as their year and month do ("999-12" before "2003-04").
std::pair<int, int> monthOrder(const std::string &key)
{
    const std::size_t dash = key.find('-');
    int year = 0;
    int month = 0;
    if (dash != std::string::npos) {
        tryStrToInt(key.substr(0, dash), year);
        tryStrToInt(key.substr(dash + 1), month);
    }
    return {year, month};
}

} // namespace

PostPage renderPostPage(const SiteFields &project, const std::vector<std::string> &postList,
                        const std::vector<std::string> &monthList, std::int64_t time,
                        const PostContent &post)
{
    if (!isPostTimeInRange(time))
        throw AppError(msgNotValidInteger(std::to_string(time)));
    const std::string name = postFileName(time);
    const PostTexts texts = postTexts(name);

    // The month list as it will be once the post is saved.
    std::vector<std::string> months = monthList;
    if (std::find(months.begin(), months.end(), texts.monthKey) == months.end()) {
        const auto at = std::find_if(months.begin(), months.end(), [&](const std::string &k) {
            return monthOrder(k) < monthOrder(texts.monthKey);
        });
        months.insert(at, texts.monthKey);
    }

    // The archive walk goes newest first and shows a day's date on its
    // newest post only: the date rule's state here is the date of the next
    // newer post.
    std::string previousDate;
    const auto newer = std::upper_bound(postList.begin(), postList.end(), padPostName(name),
                                        postListLess);
    if (newer != postList.end()) {
        int n = 0;
        if (tryStrToInt(postTimeTextOfName(unpadPostName(*newer)), n))
            previousDate = dateText(civilFromSeconds(n));
    }

    const PageTemplate t =
        prepareArchiveTemplate(readWholeFile(project.archiveTemplate), project.archiveTemplate,
                               months, project.archiveFolder, project.charset,
                               archiveSiteTexts(project));
    const ArchivePost filled =
        FillArchivePostBlock(t.block, texts, post, renderSettings(project), previousDate);

    PostPage page;
    page.path = project.archiveFolder + texts.longPostPage;
    bool cr = false;
    appendNormalizedLineEnds(page.bytes, t.head, cr);
    appendNormalizedLineEnds(page.bytes, filled.isLong ? filled.longBlock : filled.monthBlock, cr);
    appendNormalizedLineEnds(page.bytes, t.tail, cr);
    return page;
}

} // namespace tl::gen
