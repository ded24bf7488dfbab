#include "generator/templates.h"

#include "core/errors.h"
#include "core/programfiles.h"

#include <QDir>

namespace tl::gen {

bool isMarkerSeparator(char c)
{
    switch (c) {
    case '\t': case '\n': case '\r': case ' ': case '$': case '%': case '&': case ',':
    case '.': case '/': case ':': case ';': case '<': case '=': case '>':
        return true;
    default:
        return false;
    }
}

std::size_t locateMarker(const std::string &text, const std::string &marker, std::size_t start)
{
    if (marker.empty())
        return std::string::npos;
    std::size_t pos = text.find(marker, start);
    while (pos != std::string::npos) {
        const std::size_t after = pos + marker.size();
        // Line starts and ends are CR or LF, both separators themselves.
        const bool startOk = pos == 0 || isMarkerSeparator(text[pos - 1]);
        const bool endOk = after >= text.size() || isMarkerSeparator(text[after]);
        if (startOk && endOk)
            return pos;
        pos = text.find(marker, after);
    }
    return std::string::npos;
}

void replaceAllInPlace(std::string &text, const std::string &placeholder, const std::string &value)
{
    if (placeholder.empty())
        return;
    std::size_t pos = text.find(placeholder);
    if (pos == std::string::npos)
        return;
    std::string out;
    out.reserve(text.size() + (value.size() > placeholder.size() ? value.size() : 0));
    std::size_t from = 0;
    while (pos != std::string::npos) {
        out.append(text, from, pos - from);
        out += value;
        from = pos + placeholder.size();
        pos = text.find(placeholder, from);
    }
    out.append(text, from, std::string::npos);
    text.swap(out);
}

std::string replaceAll(const std::string &text, const std::string &placeholder,
                       const std::string &value)
{
    std::string out = text;
    replaceAllInPlace(out, placeholder, value);
    return out;
}

std::string replaceFirst(const std::string &text, const std::string &placeholder,
                         const std::string &value)
{
    if (placeholder.empty())
        return text;
    const std::size_t pos = text.find(placeholder);
    if (pos == std::string::npos)
        return text;
    std::string out = text;
    out.replace(pos, placeholder.size(), value);
    return out;
}

void removeAllInPlace(std::string &text, const std::string &placeholder)
{
    replaceAllInPlace(text, placeholder, std::string());
}

std::string normalizeBlockLineBreaks(const std::string &block)
{
    std::string out;
    out.reserve(block.size() + 16);
    const std::size_t n = block.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char c = block[i];
        if (c == '\r') {
            if (i + 1 < n && block[i + 1] == '\n')
                ++i;
            out += "\r\n";
        } else if (c == '\n') {
            if (i + 1 < n && block[i + 1] == '\r')
                ++i;
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

PageTemplate splitPageTemplate(const std::string &text, const std::string &templatePath)
{
    const std::size_t start = locateMarker(text, kContentStart, 0);
    if (start == std::string::npos)
        throw AppError("Template " + templatePath + " has no marker " + kContentStart + ".");
    const std::size_t blockStart = start + kContentStart.size();
    const std::size_t end = locateMarker(text, kContentEnd, blockStart);
    if (end == std::string::npos)
        throw AppError("Template " + templatePath + " has no marker " + kContentEnd + " after "
                       + kContentStart + ".");
    PageTemplate t;
    t.head = text.substr(0, start);
    t.block = text.substr(blockStart, end - blockStart);
    t.tail = text.substr(end + kContentEnd.size());
    return t;
}

std::string generatorStamp(const std::string &versionText, const std::string &fileDateText)
{
    return "<!-- %tarvlit_" + versionText + "_" + fileDateText + "% -->";
}

void appendAsNewLine(std::string &text, const std::string &piece)
{
    if (!text.empty() && text.back() != '\n' && text.back() != '\r')
        text += "\r\n";
    text += piece;
}

void fillSitePlaceholders(std::string &text, const SiteTexts &site)
{
    replaceAllInPlace(text, kSiteTitle, site.title);
    replaceAllInPlace(text, kMainUri, site.mainUri);
    replaceAllInPlace(text, kMainPage, site.mainPage);
}

namespace {

// A path for QDir that always means the file system: QDir takes a path
// beginning with ":" for one of the program's built-in resources, so a folder
// or page named ":x" is written "./:x".
QString fileSystemPath(const std::string &path)
{
    const QString p = pathText(path);
    return p.startsWith(QLatin1Char(':')) ? QStringLiteral("./") + p : p;
}

} // namespace

std::string linkToMainFolder(const std::string &mainFolder, const std::string &pageFolder,
                             const std::string &mainPage)
{
    if (pageFolder.empty())
        return mainPage;
    // Worked out on the folders themselves, so "./", "..", doubled "/" and
    // absolute archive folders all come out right. Links use "/" whatever
    // the platform.
    const QDir main(fileSystemPath(mainFolder.empty() ? std::string(".") : mainFolder));
    const QDir from(QDir::cleanPath(main.absoluteFilePath(fileSystemPath(pageFolder))));
    return pathBytes(QDir::fromNativeSeparators(
        from.relativeFilePath(main.absoluteFilePath(fileSystemPath(mainPage)))));
}

} // namespace tl::gen
