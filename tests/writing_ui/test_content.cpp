// The Content tab's later choices: Markdown and utf-8 through the project
// file with the editor's colouring following, the old numbers beyond the
// choices keeping their meaning, and spell checking switched and set by its
// controls.
#include "writingfixture.h"

#include "core/projectfile.h"
#include "spell/speller.h"
#include "ui/htmlhighlighter.h"
#include "ui/widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTextBlock>
#include <QTextLayout>

using namespace tl;
using namespace tl::test;

namespace {

class Content : public WritingWindow {
protected:
    RadioGroup *paragraphs() const { return control<RadioGroup>(*w, "rgPARAGRAPH"); }
    RadioGroup *charset() const { return control<RadioGroup>(*w, "rgCHARSET"); }
    QCheckBox *spellBox() const { return control<QCheckBox>(*w, "chkSPELL"); }
    QComboBox *languageBox() const { return control<QComboBox>(*w, "cmbSPELLLANG"); }
    spell::Markup editorMarkup() const { return editor()->highlighter()->markup(); }
    void saveProject() { QTest::mouseClick(control(*w, "btnSAVETVP"), Qt::LeftButton); }
    // Whether the editor draws the red wavy line under the character.
    bool underlined(int line, int pos) const
    {
        const QTextBlock block = editor()->document()->findBlockByNumber(line);
        for (const QTextLayout::FormatRange &r : block.layout()->formats())
            if (pos >= r.start && pos < r.start + r.length)
                return r.format.underlineStyle() == QTextCharFormat::SpellCheckUnderline;
        return false;
    }
};

TEST_F(Content, MarkdownAndUtf8GoThroughTheProjectFileAndTheEditorFollows)
{
    writeBytes(data + "/1049414460.txt", "Lines\r\none<br />\r\ntwo\r\n");
    ASSERT_EQ(paragraphs()->count(), 4);
    ASSERT_EQ(charset()->count(), 3);
    paragraphs()->setItemIndex(3);
    charset()->setItemIndex(2);
    EXPECT_EQ(editorMarkup(), spell::Markup::Markdown);
    saveProject();
    ASSERT_TRUE(prompts().errors().isEmpty());
    const std::string file = fileBytes(projectFile());
    EXPECT_NE(file.find("rgPARAGRAPH_ItemIndex=3\r\n"), std::string::npos);
    EXPECT_NE(file.find("rgCHARSET_ItemIndex=2\r\n"), std::string::npos);
    const ProjectSettings saved = projectfile::load(projectFile());
    EXPECT_EQ(saved.content.paragraphs, ParagraphMode::Markdown);
    EXPECT_EQ(saved.content.charset, OutputCharset::Utf8);

    // A Markdown post keeps its "<br />" in the editor; the paragraph modes
    // leave them out.
    act("actREAD")->trigger();
    click("1049414460.txt");
    EXPECT_EQ(editor()->toPlainText(), "one<br />\ntwo\n");
    paragraphs()->setItemIndex(1);
    EXPECT_EQ(editorMarkup(), spell::Markup::Html);
    click("1049414460.txt");
    EXPECT_EQ(editor()->toPlainText(), "one\ntwo\n");

    // Numbers beyond the choices keep their old meaning, in the file and on
    // the controls alike: "unformatted" and "iso-8859-2", never the new ones.
    paragraphs()->setItemIndex(7);
    charset()->setItemIndex(9);
    EXPECT_EQ(paragraphs()->itemIndex(), 2);
    EXPECT_EQ(charset()->itemIndex(), 1);
    writeBytes(projectFile(),
        file.substr(0, file.find("rgPARAGRAPH_ItemIndex=3"))
            + "rgPARAGRAPH_ItemIndex=7\r\nrgCHARSET_ItemIndex=5\r\n");
    w->project().open("blog");
    EXPECT_EQ(paragraphs()->itemIndex(), 2);
    EXPECT_EQ(charset()->itemIndex(), 1);
    EXPECT_EQ(editorMarkup(), spell::Markup::Html);
}

TEST_F(Content, SpellControlsGoThroughTheProjectFileAndSwitchTheUnderlines)
{
    writeBytes(data + "/1049414460.txt", "Typo\r\nA speling mistake\r\n");
    const int english = languageBox()->findData(QStringLiteral("en_US"));
    ASSERT_GE(english, 0) << "hunspell-en-us is not installed";
    EXPECT_TRUE(languageBox()->itemText(0).startsWith("System language (")); // ""
    act("actREAD")->trigger();
    click("1049414460.txt");

    languageBox()->setCurrentIndex(english);
    spellBox()->setChecked(true);
    EXPECT_EQ(w->project().settings().content.spellLanguage, "en_US");
    EXPECT_TRUE(w->speller().isActive());
    EXPECT_TRUE(underlined(0, 3)) << "\"speling\"";
    spellBox()->setChecked(false);
    EXPECT_FALSE(underlined(0, 3));
    spellBox()->setChecked(true);
    EXPECT_TRUE(underlined(0, 3));

    saveProject();
    const std::string file = fileBytes(projectFile());
    EXPECT_NE(file.find("cmbSPELLLANG_Text=en_US\r\n"), std::string::npos) << file;

    // Loaded from the file: off, and a language this machine lacks, which
    // stays the project's choice.
    const std::size_t cut = file.find("chkSPELL_Checked=");
    ASSERT_NE(cut, std::string::npos) << file;
    writeBytes(projectFile(),
        file.substr(0, cut) + "chkSPELL_Checked=False\r\ncmbSPELLLANG_Text=xx_XX\r\n");
    w->project().open("blog");
    EXPECT_FALSE(spellBox()->isChecked());
    EXPECT_EQ(languageBox()->currentData().toString(), "xx_XX");
    EXPECT_FALSE(w->speller().isActive());
    spellBox()->setChecked(true);
    saveProject();
    EXPECT_EQ(projectfile::load(projectFile()).content.spellLanguage, "xx_XX");
    EXPECT_TRUE(prompts().errors().isEmpty()) << prompts().errors().join('\n').toStdString();
}

} // namespace
