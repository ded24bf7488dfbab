#include "generator/render.h"

#include "generator/charset.h"
#include "generator/templates.h"

namespace tl::gen {

namespace {

std::string twoDigits(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }

std::string longPostLink(const std::string &target, const RenderSettings &s,
                         const std::string &closing)
{
    return " <a href=\"" + target + "\">" + s.longPostSeparator + closing;
}

// Applies the date rule to a block.
void applyDate(std::string &block, const PostTexts &t, std::string &previousDate)
{
    if (t.dateText != previousDate) {
        replaceAllInPlace(block, kDate, t.dateText);
        previousDate = t.dateText;
    }
}

// The post placeholders other than date and content, in the archive order:
// time, permalink, anchor, title, author, e-mail.
void applyPostFields(std::string &block, const PostTexts &t, const PostContent &post,
                     const RenderSettings &s, PageKind kind)
{
    replaceAllInPlace(block, kTime, t.timeText);
    replaceAllInPlace(block, kPermalink, permalink(t, s, kind));
    replaceAllInPlace(block, kAnchor, t.anchor);
    replaceAllInPlace(block, kTitle, post.title);
    replaceAllInPlace(block, kAuthor, s.author);
    replaceAllInPlace(block, kAuthorMail, s.email);
}

} // namespace

PostTexts postTexts(const std::string &fileName)
{
    PostTexts t;
    t.n = postTimeOfName(fileName);
    t.dateTime = SecondsToDateTime(t.n);
    t.civil = civilFromSeconds(t.n);
    t.dateText = dateText(t.civil);
    t.timeText = timeText(t.civil);
    t.anchor = twoDigits(t.civil.day) + twoDigits(t.civil.hour) + twoDigits(t.civil.minute);
    t.monthKey = monthKey(t.civil);
    t.monthPage = t.monthKey + ".html";
    t.longPostPage = t.monthKey + "_" + t.anchor + ".html";
    return t;
}

std::string permalink(const PostTexts &t, const RenderSettings &s, PageKind kind)
{
    const std::string target = t.monthPage + "#" + t.anchor;
    return kind == PageKind::Main ? s.archiveFolder + target : target;
}

std::string FormatBody(const std::string &body, int paragraphMode, PageKind kind)
{
    switch (paragraphMode) {
    case kParagraphBr:
        return replaceAll(body, kind == PageKind::Main ? "\n" : "\r", "<br />");
    case kParagraphP:
        return "<p>" + replaceAll(body, "\r\n\r\n", "</p>\r\n<p>") + "</p>";
    default:
        return body;
    }
}

std::string FillMainPostBlock(const std::string &pattern, const PostTexts &texts,
                              const PostContent &post, const RenderSettings &settings,
                              std::string &previousDate)
{
    std::string block = pattern;
    applyDate(block, texts, previousDate);
    replaceAllInPlace(block, kTime, texts.timeText);
    replaceAllInPlace(block, kPermalink, permalink(texts, settings, PageKind::Main));
    const std::string body = FormatBody(post.body, settings.paragraphMode, PageKind::Main);
    replaceAllInPlace(block, kAnchor, texts.anchor);
    replaceAllInPlace(block, kTitle, post.title);
    replaceAllInPlace(block, kContent, body);
    replaceAllInPlace(block, kAuthor, settings.author);
    replaceAllInPlace(block, kAuthorMail, settings.email);
    if (convertsToIso(settings.charset))
        win1250ToIso88592InPlace(block);
    return block;
}

std::string CutLongPost(const std::string &filledBlock, const std::string &pattern,
                        const PostTexts &texts, const PostContent &post,
                        const RenderSettings &settings)
{
    const std::size_t more = filledBlock.find(kMoreSeparator);
    if (more == std::string::npos)
        return filledBlock;
    std::string appended = longPostLink(settings.archiveFolder + texts.longPostPage, settings,
                                        settings.paragraphMode == kParagraphP ? "</a></p>"
                                                                              : "</a>");
    // The closing part of the block (its footer) follows the link. A pattern
    // without a content placeholder has no such part.
    const std::size_t content = pattern.find(kContent);
    if (content != std::string::npos) {
        std::string rest = pattern.substr(content + kContent.size());
        applyPostFields(rest, texts, post, settings, PageKind::Main);
        appended += rest;
    }
    if (convertsToIso(settings.charset))
        win1250ToIso88592InPlace(appended);
    return filledBlock.substr(0, more) + appended;
}

std::string RenderMainPost(const std::string &pattern, const PostTexts &texts,
                           const PostContent &post, const RenderSettings &settings,
                           std::string &previousDate)
{
    return CutLongPost(FillMainPostBlock(pattern, texts, post, settings, previousDate), pattern,
                       texts, post, settings);
}

ArchivePost FillArchivePostBlock(const std::string &pattern, const PostTexts &texts,
                                 const PostContent &post, const RenderSettings &settings,
                                 std::string &previousDate)
{
    ArchivePost out;
    std::string block = pattern;
    applyDate(block, texts, previousDate);

    std::string monthBody = post.body;
    std::string longBody;
    const std::size_t more = post.body.find(kMoreSeparator);
    if (more != std::string::npos) {
        out.isLong = true;
        monthBody = post.body.substr(0, more) + longPostLink(texts.longPostPage, settings, "</a>");
        longBody = post.body;
        longBody.erase(more, kMoreSeparator.size());
    }

    applyPostFields(block, texts, post, settings, PageKind::Archive);

    out.monthBlock = replaceAll(block, kContent,
                                FormatBody(monthBody, settings.paragraphMode, PageKind::Archive));
    if (convertsToIso(settings.charset))
        win1250ToIso88592InPlace(out.monthBlock);
    if (out.isLong) {
        out.longBlock = replaceAll(block, kContent,
                                   FormatBody(longBody, settings.paragraphMode, PageKind::Archive));
        if (convertsToIso(settings.charset))
            win1250ToIso88592InPlace(out.longBlock);
    }
    return out;
}

} // namespace tl::gen
