#include "ui/posts/editoraids.h"

#include "core/openproject.h"
#include "spell/speller.h"
#include "ui/posts/postform.h"
#include "ui/prompts.h"
#include "ui/windowshell.h"

namespace tl {

EditorAids::EditorAids(WindowShell &shell, OpenProject &project, PostForm &form,
    spell::Speller &speller, QObject *parent)
    : QObject(parent)
    , shell_(shell)
    , project_(project)
    , form_(form)
    , speller_(speller)
{
    form_.setSpeller(&speller_);
    form_.setEditorErrorHandler(
        [this](const QString &message) { shell_.prompts().error(message); });
    connect(&project_, &OpenProject::replaced, this, [this] {
        spelling_.reset(); // a project loaded: its dictionary may be new since
        apply();
    });
    connect(&project_, &OpenProject::edited, this, &EditorAids::apply);
}

void EditorAids::detach()
{
    form_.setSpeller(nullptr);
}

void EditorAids::apply()
{
    const ContentSettings &content = project_.settings().content;
    form_.setParagraphMode(content.paragraphs);
    const std::pair<bool, QString> spelling { content.spellCheck, content.spellLanguage };
    if (spelling_ == spelling)
        return;
    spelling_ = spelling;
    shell_.run([this, spelling] {
        // A dictionary that cannot be read fails here, and checking stays off.
        speller_.configure(spelling.first, spelling.second);
        // Without any dictionary, the writer is told once.
        const QString notice = speller_.takeUnavailableNotice();
        if (!notice.isEmpty())
            shell_.prompts().message(QString(), notice);
    });
}

} // namespace tl
