#include "generator/archive.h"

#include "app/core/fileio.h"
#include "generator/charset.h"
#include "posts/postfile.h"
#include "posts/poststore.h"

#include <QDir>
#include <QFileInfo>

namespace tl::gen {

std::string GenArchive(const std::string &formKey, const std::vector<std::string> &monthList,
                       const std::string &archiveFolder)
{
    const bool mainPage = formKey == "mainpagelink";
    std::string out = "<ul>\r\n";
    for (const std::string &key : monthList) {
        std::string shown = key;
        const std::size_t dash = shown.find('-');
        if (dash != std::string::npos)
            shown[dash] = '/';
        out += "<li><a href=\"" + (mainPage ? archiveFolder : std::string()) + key + ".html\">"
            + shown + "</a></li>\r\n";
    }
    out += "</ul>\r\n";
    return out;
}

PageTemplate prepareArchiveTemplate(const std::string &text, const std::string &templatePath,
                                    const std::vector<std::string> &monthList,
                                    const std::string &archiveFolder, int charset)
{
    PageTemplate t = splitPageTemplate(text, templatePath);
    const std::string links = GenArchive("archivelink", monthList, archiveFolder);
    const std::string name = charsetName(charset);
    for (std::string *part : {&t.head, &t.tail}) {
        replaceAllInPlace(*part, kArchive, links);
        replaceAllInPlace(*part, kCharset, name);
    }
    return t;
}

void writeOutputFile(const std::string &path, const std::string &text)
{
    writeWholeFileAtomic(path, normalizeLineEnds(text));
}

namespace {

class ArchiveWriter {
public:
    ArchiveWriter(const ArchiveJob &job, GenerateReporter &reporter)
        : job_(job), reporter_(reporter), folder_(job.outputFolder + job.settings.archiveFolder)
    {
    }

    void run(const std::vector<std::string> &treeOrder)
    {
        std::string previousDate;
        for (const std::string &node : treeOrder) {
            if (!isPostNodeText(node)) {
                if (started_)
                    finishPage();
                startPage(node);
                continue;
            }
            const PostContent post = readPost(job_.dataFolder + node);
            const PostTexts texts = postTexts(node);
            // A post before any month node (never produced by Read) goes to its own month.
            if (!started_)
                startPage(texts.monthKey);
            const ArchivePost filled = FillArchivePostBlock(job_.pageTemplate.block, texts, post,
                                                            job_.settings, previousDate);
            if (filled.isLong) {
                const std::string path = folder_ + texts.longPostPage;
                write(path, job_.pageTemplate.head + filled.longBlock + job_.pageTemplate.tail);
                reporter_.addToUploadList(path);
            }
            appendAsNewLine(page_, filled.monthBlock);
        }
        if (started_)
            finishPage();
    }

private:
    void startPage(const std::string &monthKey)
    {
        page_ = job_.pageTemplate.head;
        pagePath_ = folder_ + monthKey + ".html";
        started_ = true;
    }

    void finishPage()
    {
        appendAsNewLine(page_, job_.pageTemplate.tail);
        write(pagePath_, page_);
        reporter_.addToUploadList(pagePath_);
    }

    void write(const std::string &path, const std::string &text)
    {
        if (!folderChecked_) {
            // The archive folder may lie one level or more below the main
            // folder; a missing one is made. A failure shows as the failed
            // file creation that follows.
            const QString dir = QFileInfo(QString::fromStdString(path)).absolutePath();
            if (!QFileInfo(dir).isDir())
                QDir().mkpath(dir);
            folderChecked_ = true;
        }
        writeOutputFile(path, text);
    }

    const ArchiveJob &job_;
    GenerateReporter &reporter_;
    const std::string folder_;
    std::string page_;
    std::string pagePath_;
    bool started_ = false;
    bool folderChecked_ = false;
};

} // namespace

void GenArchiveFiles(const ArchiveJob &job, const std::vector<std::string> &treeOrder,
                     GenerateReporter &reporter)
{
    ArchiveWriter(job, reporter).run(treeOrder);
}

} // namespace tl::gen
