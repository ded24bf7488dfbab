#include "generator/render.h"

#include "generator/charset.h"
#include "generator/markdown.h"
#include "generator/medialinks.h"
#include "generator/templates.h"

namespace tl::gen {

namespace {

std::string twoDigits(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }

std::string longPostLink(const std::string &target, const RenderSettings &s,
                         const std::string &closing)
{
    return " <a href=\"" + target + "\">" + s.longPostSeparator + closing;
}

// The link to a long post's page as one element, for rendered Markdown.
std::string longPostAnchor(const std::string &target, const RenderSettings &s)
{
    return "<a href=\"" + target + "\">" + s.longPostSeparator + "</a>";
}

// Applies the date rule to a block.
void applyDate(std::string &block, const PostTexts &t, std::string &previousDate)
{
    if (t.dateText != previousDate) {
        replaceAllInPlace(block, kDate, t.dateText);
        previousDate = t.dateText;
    }
}

// The post placeholders other than the date: time, permalink, anchor, title,
// the content when one is given, author, e-mail. The main page fills its
// content here, so that an author typed in a body becomes the name; archive
// pages put theirs in last.
void applyPostFields(std::string &block, const PostTexts &t, const PostContent &post,
                     const RenderSettings &s, PageKind kind, const std::string *content = nullptr)
{
    replaceAllInPlace(block, kTime, t.timeText);
    replaceAllInPlace(block, kPermalink, permalink(t, s, kind));
    replaceAllInPlace(block, kAnchor, t.anchor);
    replaceAllInPlace(block, kTitle, post.title);
    if (content)
        replaceAllInPlace(block, kContent, *content);
    replaceAllInPlace(block, kAuthor, s.author);
    replaceAllInPlace(block, kAuthorMail, s.email);
}

} // namespace

PostTexts postTexts(const std::string &fileName)
{
    PostTexts t;
    t.n = postTimeOfName(fileName);
    const CivilDateTime civil = civilFromSeconds(t.n);
    t.dateText = dateText(civil);
    t.timeText = timeText(civil);
    t.anchor = twoDigits(civil.day) + twoDigits(civil.hour) + twoDigits(civil.minute);
    t.monthKey = monthKey(civil);
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
    case kParagraphMarkdown:
        return renderMarkdown(body);
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
    std::string body;
    const auto cut = settings.paragraphMode == kParagraphMarkdown ? cutMarkdown(post.body)
                                                                  : std::nullopt;
    if (cut)
        body = withLongPostLink(renderMarkdown(cut->shown),
                                longPostAnchor(settings.archiveFolder + texts.longPostPage, settings));
    else
        body = FormatBody(post.body, settings.paragraphMode, PageKind::Main);
    applyPostFields(block, texts, post, settings, PageKind::Main, &body);
    toPageCharset(block, settings.charset);
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
    toPageCharset(appended, settings.charset);
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
    std::string block = pattern;
    applyDate(block, texts, previousDate);
    applyPostFields(block, texts, post, settings, PageKind::Archive);
    // The formatted body goes in last.
    const auto withBody = [&](const std::string &body) {
        std::string filled = replaceAll(
            block, kContent, FormatBody(body, settings.paragraphMode, PageKind::Archive));
        toPageCharset(filled, settings.charset);
        return filled;
    };

    ArchivePost out;
    if (settings.paragraphMode == kParagraphMarkdown) {
        // The cut is made on the Markdown text and each part rendered alone.
        const auto withHtml = [&](const std::string &html) {
            std::string filled = replaceAll(block, kContent, html);
            toPageCharset(filled, settings.charset);
            return filled;
        };
        const auto cut = cutMarkdown(post.body);
        if (!cut) {
            out.monthBlock = withHtml(rebaseMediaLinks(renderMarkdown(post.body), settings.mediaLink));
            return out;
        }
        out.isLong = true;
        out.monthBlock = withHtml(withLongPostLink(
            rebaseMediaLinks(renderMarkdown(cut->shown), settings.mediaLink),
            longPostAnchor(texts.longPostPage, settings)));
        out.longBlock = withHtml(rebaseMediaLinks(renderMarkdown(cut->whole), settings.mediaLink));
        return out;
    }
    const std::string body = rebaseMediaLinks(post.body, settings.mediaLink);
    const std::size_t more = body.find(kMoreSeparator);
    if (more == std::string::npos) {
        out.monthBlock = withBody(body);
        return out;
    }
    out.isLong = true;
    out.monthBlock = withBody(body.substr(0, more)
                              + longPostLink(texts.longPostPage, settings, "</a>"));
    std::string longBody = body;
    longBody.erase(more, kMoreSeparator.size());
    out.longBlock = withBody(longBody);
    return out;
}

} // namespace tl::gen
