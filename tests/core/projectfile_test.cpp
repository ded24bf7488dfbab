// The project file's choices: Markdown and UTF-8 came after the last choices
// of older programs, which read any number beyond their last choice as that
// choice. Such numbers keep that meaning; only the new numbers are new.
#include "core/ini.h"
#include "core/projectfile.h"

#include <gtest/gtest.h>

using namespace tl;

namespace {

ProjectSettings readChoices(const std::string &paragraphs, const std::string &charset)
{
    IniFile ini;
    ini.parse("[TForm1]\nrgPARAGRAPH_ItemIndex=" + paragraphs + "\nrgCHARSET_ItemIndex=" + charset
              + "\n");
    ProjectSettings s;
    projectfile::read(ini, s);
    return s;
}

TEST(ProjectFileChoices, NumbersBeyondTheOldLastChoiceKeepTheirMeaning)
{
    struct Case {
        const char *paragraphs;
        ParagraphMode mode;
        const char *charset;
        OutputCharset out;
    } cases[] = {
        {"3", ParagraphMode::Markdown, "2", OutputCharset::Utf8},
        {"4", ParagraphMode::Unformatted, "3", OutputCharset::Iso88592},
        {"7", ParagraphMode::Unformatted, "9", OutputCharset::Iso88592},
        {"2", ParagraphMode::Unformatted, "1", OutputCharset::Iso88592},
        {"-5", ParagraphMode::None, "-2", OutputCharset::None},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.paragraphs) + " " + c.charset);
        const ProjectSettings s = readChoices(c.paragraphs, c.charset);
        EXPECT_EQ(s.content.paragraphs, c.mode);
        EXPECT_EQ(s.content.charset, c.out);
    }
    // Written back as the numbers that mean them.
    ProjectSettings s;
    s.content.paragraphs = ParagraphMode::Markdown;
    s.content.charset = OutputCharset::Utf8;
    IniFile ini;
    projectfile::write(s, ini);
    EXPECT_EQ(ini.value(kProjectSection, "rgPARAGRAPH_ItemIndex"), "3");
    EXPECT_EQ(ini.value(kProjectSection, "rgCHARSET_ItemIndex"), "2");
}

} // namespace
