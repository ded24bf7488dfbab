#include "ui/posts/postscontroller.h"

#include "core/clock.h"
#include "core/cp1250.h"
#include "core/errors.h"
#include "core/fileio.h"
#include "core/openproject.h"
#include "core/programfiles.h"
#include "posts/postfile.h"
#include "ui/posts/posttree.h"
#include "ui/prompts.h"
#include "ui/windowshell.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <functional>

namespace tl {

namespace {

// Runs a step whose failure is shown only once the window is back in a
// consistent state: hands back what it threw, or nothing.
std::exception_ptr failureOf(const std::function<void()> &step)
{
    try {
        step();
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

const char *const kNotSaved = "Post is not saved. Save now?";

} // namespace

PostsController::PostsController(
    WindowShell &shell, OpenProject &project, QWidget *page, QWidget *window)
    : QObject(page)
    , shell_(shell)
    , project_(project)
{
    setupActions(window);
    buildPage(page);
    connectTree();

    connect(&project_, &OpenProject::replaced, this, &PostsController::applyTreeWidth);
    connect(splitter_, &QSplitter::splitterMoved, this,
        [this] { project_.setTreeWidth(treePanel_->width()); });

    commands_.save->setEnabled(false);
    commands_.edit->setEnabled(false);
    closePostAction_->setEnabled(false);
}

void PostsController::setupActions(QWidget *window)
{
    QStyle *st = window->style();
    auto make = [window](const char *name, const QString &caption, const QIcon &icon,
                    const QKeySequence &key) {
        auto *a = new QAction(icon, caption, window);
        a->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty())
            a->setShortcut(key);
        a->setShortcutContext(Qt::ApplicationShortcut);
        return a;
    };
    commands_.read = make("actREAD", tr("&Read"), st->standardIcon(QStyle::SP_BrowserReload),
        QKeySequence(Qt::Key_F5));
    commands_.newPost = make("actNEW", tr("&New"), st->standardIcon(QStyle::SP_FileIcon),
        QKeySequence(Qt::CTRL | Qt::Key_N));
    commands_.edit = make("actEDIT", tr("&Edit"),
        st->standardIcon(QStyle::SP_FileDialogDetailedView), QKeySequence(Qt::CTRL | Qt::Key_O));
    commands_.save = make("actSAVE", tr("&Save"), st->standardIcon(QStyle::SP_DialogSaveButton),
        QKeySequence(Qt::CTRL | Qt::Key_S));
    commands_.remove
        = make("actDEL", QString(), st->standardIcon(QStyle::SP_TrashIcon), QKeySequence());
    commands_.remove->setToolTip(tr("Delete"));
    closePostAction_ = make("actCLOSEPOST", QString(),
        st->standardIcon(QStyle::SP_TitleBarCloseButton), QKeySequence());
    closePostAction_->setToolTip(tr("Close post without save"));
    // Not on the toolbar or in a menu: Ctrl+F goes to the find box.
    findAction_ = make("actFIND", tr("Find"), QIcon(), QKeySequence(Qt::CTRL | Qt::Key_F));
    findAction_->setShortcutContext(Qt::WindowShortcut);
    window->addAction(findAction_);

    const auto bind = [this](QAction *a, void (PostsController::*command)()) {
        connect(a, &QAction::triggered, this,
            [this, command] { shell_.run([&] { (this->*command)(); }); });
    };
    bind(commands_.read, &PostsController::read);
    bind(commands_.newPost, &PostsController::newPost);
    bind(commands_.edit, &PostsController::edit);
    bind(commands_.save, &PostsController::save);
    bind(commands_.remove, &PostsController::deleteSelected);
    bind(closePostAction_, &PostsController::closePost);
    connect(findAction_, &QAction::triggered, this, [this] {
        if (!findEdit_->isEnabled())
            return;
        emit findRequested();
        findEdit_->setFocus(Qt::ShortcutFocusReason);
        findEdit_->selectAll();
    });
}

void PostsController::buildPage(QWidget *page)
{
    auto *layout = new QHBoxLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    splitter_ = new QSplitter(Qt::Horizontal, page);
    splitter_->setObjectName(QStringLiteral("Splitter1"));
    splitter_->setHandleWidth(3);
    splitter_->setChildrenCollapsible(false);

    // The splitter's parts go in before their contents are made, so that
    // the contents' tab order stays as the form sets it.
    treePanel_ = new QWidget;
    treePanel_->setObjectName(QStringLiteral("pnlLEVY"));
    splitter_->addWidget(treePanel_);
    auto *right = new QWidget;
    splitter_->addWidget(right);
    splitter_->setStretchFactor(1, 1);

    auto *left = new QVBoxLayout(treePanel_);
    left->setContentsMargins(0, 0, 0, 0);
    findEdit_ = new QLineEdit(treePanel_);
    findEdit_->setObjectName(QStringLiteral("edtFIND"));
    findEdit_->setPlaceholderText(tr("Find (Ctrl+F)"));
    findEdit_->setClearButtonEnabled(true);
    findEdit_->setToolTip(tr("Shows only the posts whose title or text holds what is typed here"));
    left->addWidget(findEdit_);
    tree_ = new QTreeWidget(treePanel_);
    tree_->setObjectName(QStringLiteral("TreeView1"));
    preparePostTree(tree_);
    left->addWidget(tree_);
    form_ = new PostForm(right, closePostAction_);
    layout->addWidget(splitter_);
    applyTreeWidth();
}

void PostsController::applyTreeWidth()
{
    const int width = project_.settings().treeWidth;
    const int total = std::max(splitter_->width(), width + 400);
    splitter_->setSizes({ width, total - width });
    treePanel_->resize(width, treePanel_->height());
}

void PostsController::connectTree()
{
    connect(tree_, &QTreeWidget::itemClicked, this, [this] { shell_.run([this] { preview(); }); });
    connect(tree_, &QTreeWidget::itemDoubleClicked, this,
        [this] { shell_.run([this] { treeDoubleClicked(); }); });
    onKeyReleased(tree_, [this](int key) { shell_.run([this, key] { treeKeyUp(key); }); });
    // A month's titles are read when it is first opened; under a filter its
    // posts are sorted out then too.
    connect(tree_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem *month) {
        shell_.run([this, month] {
            showPostTitles(month, index_);
            filterMonthPosts(month, found_);
        });
    });

    // The find box filters once typing pauses, at once on Enter; Escape
    // empties it.
    findTimer_ = new QTimer(this);
    findTimer_->setSingleShot(true);
    findTimer_->setInterval(150);
    connect(findTimer_, &QTimer::timeout, this, [this] { shell_.run([this] { applyFind(); }); });
    connect(findEdit_, &QLineEdit::textChanged, findTimer_, qOverload<>(&QTimer::start));
    connect(findEdit_, &QLineEdit::returnPressed, this,
        [this] { shell_.run([this] { applyFind(); }); });
    auto *clearFind = new QAction(findEdit_);
    clearFind->setShortcut(QKeySequence(Qt::Key_Escape));
    clearFind->setShortcutContext(Qt::WidgetShortcut);
    findEdit_->addAction(clearFind);
    connect(clearFind, &QAction::triggered, this, [this] {
        findEdit_->clear();
        shell_.run([this] { applyFind(); });
    });
}

// ---------------------------------------------------------------------------
// States

void PostsController::enableBrowseCommands()
{
    commands_.save->setEnabled(false);
    commands_.read->setEnabled(true);
    commands_.newPost->setEnabled(true);
    commands_.edit->setEnabled(true);
    commands_.remove->setEnabled(true);
    emit generateAvailable(true);
}

void PostsController::disableBrowseCommands()
{
    commands_.read->setEnabled(false);
    commands_.newPost->setEnabled(false);
    commands_.edit->setEnabled(false);
    commands_.save->setEnabled(true);
    // Delete works on the tree's selection, which need not be the open post.
    commands_.remove->setEnabled(false);
    emit generateAvailable(false);
}

// The tree and its find box are for browsing.
void PostsController::setTreeEnabled(bool enabled)
{
    tree_->setEnabled(enabled);
    findEdit_->setEnabled(enabled);
    findAction_->setEnabled(enabled);
}

void PostsController::returnToBrowsing()
{
    setTreeEnabled(true);
    closePostAction_->setEnabled(false);
    tree_->setFocus();
    postOpen_ = false;
    emit editingChanged(false);
}

bool PostsController::openPostChanged() const
{
    return postOpen_ && form_->fields() != opened_;
}

QString PostsController::selectedPostName() const
{
    QTreeWidgetItem *node = selectedNode(tree_);
    return isPostNode(node) ? nodeName(node) : QString();
}

int PostsController::matchedPosts() const
{
    return static_cast<int>(std::count(found_.begin(), found_.end(), 1));
}

// ---------------------------------------------------------------------------
// Read and the preview

void PostsController::read()
{
    if (!commands_.read->isEnabled() || !requireOpenProject(shell_, project_))
        return;
    shell_.log(QStringLiteral("Read from list..."));
    // Posts are always opened by their full path, so the process's current
    // folder is left alone.
    PostFolder folder = readPostFolder(pathBytes(project_.settings().site.dataFolder));
    shell_.log(QStringLiteral("Completed."));
    showPostFolder(std::move(folder));
    // A name that is not a post stops here: the tree keeps what came before.
    if (!folder_.walk.failure.empty())
        throw AppError(folder_.walk.failure);
}

void PostsController::showPostFolder(PostFolder folder)
{
    folder_ = std::move(folder);
    shell_.setPostCountText(
        QStringLiteral("Count of notes: ") + QString::number(folder_.fileCount));
    index_.reset(pathBytes(project_.settings().site.dataFolder), walkPostNames(folder_.walk));
    found_.clear();
    fillPostTree(tree_, folder_.walk);
    // A filter typed before stays in force over the new tree.
    if (!findEdit_->text().trimmed().isEmpty())
        applyFind();

    if (!folder_.walk.failure.empty())
        return;
    emit generateAvailable(tree_->topLevelItemCount() > 0);
    commands_.edit->setEnabled(false);
}

void PostsController::clear()
{
    folder_ = PostFolder();
    index_.reset(std::string(), {});
    found_.clear();
    tree_->clear();
    shell_.setPostCountText(QString());
    commands_.edit->setEnabled(false);
    emit generateAvailable(false);
}

void PostsController::preview()
{
    commands_.edit->setEnabled(false);
    if (tree_->topLevelItemCount() == 0)
        return;
    QTreeWidgetItem *node = selectedNode(tree_);
    if (!isPostNode(node))
        return;
    commands_.edit->setEnabled(true);
    showPost(nodeName(node));
}

void PostsController::showPost(const QString &postName)
{
    const std::string name = pathBytes(postName);
    form_->showDateTime(civilFromSeconds(postTimeOfName(name)));
    std::string text
        = readWholeFile(joinPath(pathBytes(project_.settings().site.dataFolder), name));
    // In the two paragraph modes the line breaks are the program's to add:
    // the editor shows none. Unformatted and Markdown posts keep theirs.
    const ParagraphMode mode = project_.settings().content.paragraphs;
    if (mode != ParagraphMode::Unformatted && mode != ParagraphMode::Markdown) {
        QByteArray b(text.data(), static_cast<qsizetype>(text.size()));
        b.replace("<br />", "");
        text.assign(b.constData(), static_cast<std::size_t>(b.size()));
    }
    const PostContent post = parsePost(text);
    form_->showPost(post.title, post.body);
}

void PostsController::treeKeyUp(int key)
{
    if (key == Qt::Key_Up || key == Qt::Key_Down)
        preview();
}

void PostsController::treeDoubleClicked()
{
    if (isPostNode(selectedNode(tree_)))
        edit();
}

void PostsController::applyFind()
{
    // Months opened at once by a find; more than that would lay out
    // thousands of posts for nothing: the writer opens the month wanted.
    constexpr int kOpenMonthsUpTo = 24;

    findTimer_->stop();
    const QString typed = findEdit_->text().trimmed();
    QTreeWidgetItem *selected = selectedNode(tree_);
    if (typed.isEmpty()) {
        found_.clear();
        unfilterPostTree(tree_, selected);
        return;
    }
    // The first find over a folder reads every post; later ones only look.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        found_ = index_.find(foldForSearch(encodeCp1250(typed)));
    } catch (...) {
        QApplication::restoreOverrideCursor();
        throw;
    }
    filterPostTree(tree_, found_, kOpenMonthsUpTo);
    QApplication::restoreOverrideCursor();
    // A post the filter hides is not left selected: Edit and Delete act only
    // on a post the writer sees.
    if (selected && !isNodeShown(selected, found_)) {
        tree_->clearSelection();
        tree_->setCurrentItem(nullptr);
        commands_.edit->setEnabled(false);
    }
}

// ---------------------------------------------------------------------------
// New, Edit

void PostsController::newPost()
{
    if (!commands_.newPost->isEnabled() || !requireOpenProject(shell_, project_))
        return;
    form_->setEditingLook(true);
    closePostAction_->setEnabled(true);
    setTreeEnabled(false);
    const CivilDateTime now = civilFromDateTime(clock().now());
    form_->clearTitleAndText();
    form_->focusTitle();
    disableBrowseCommands();
    postOpen_ = true;
    newPost_ = true;
    openPostName_.clear();
    form_->setEditable(true);
    form_->showDateTime(now);
    opened_ = form_->fields();
    emit editingChanged(true);
}

void PostsController::edit()
{
    if (!commands_.edit->isEnabled() || !requireOpenProject(shell_, project_))
        return;
    QTreeWidgetItem *node = selectedNode(tree_);
    if (!isPostNode(node))
        return;
    // The post is read again from its file; should that fail, nothing has
    // changed state yet.
    preview();
    form_->setEditingLook(true);
    closePostAction_->setEnabled(true);
    setTreeEnabled(false);
    form_->setEditable(true);
    // Typing goes on where the text ends; nothing selected would be
    // replaced by the first key.
    form_->focusEndOfText();
    disableBrowseCommands();
    newPost_ = false;
    openPostName_ = nodeName(node);
    postOpen_ = true;
    opened_ = form_->fields();
    emit editingChanged(true);
}

// ---------------------------------------------------------------------------
// Save, Close post

void PostsController::save()
{
    if (!commands_.save->isEnabled() || !requireOpenProject(shell_, project_))
        return;
    // Until the post is safely written, every failure (an invalid time, a
    // date out of range, a taken name, a file that cannot be written) leaves
    // the post open and editable, so the writer can correct and save again.
    SaveRequest req;
    req.dataFolder = pathBytes(project_.settings().site.dataFolder);
    req.newPost = newPost_;
    req.openPostName = pathBytes(openPostName_);
    req.title = form_->titleBytes();
    req.body = form_->bodyBytes();
    req.dateTime = form_->dateTime();
    const SaveResult res = savePost(req);

    form_->setEditable(false);
    form_->showDateTime(civilFromSeconds(res.time));
    emit postSaved(pathText(res.path));
    newPost_ = false;
    openPostName_ = pathText(res.name);
    enableBrowseCommands();

    // The post is written whatever Read says about the folder: the tab goes
    // back to browsing first, then a failure of Read is shown.
    std::exception_ptr readFailure;
    if (res.reRead) {
        readFailure = failureOf([this] { read(); });
    } else if (QTreeWidgetItem *node = findNode(tree_, openPostName_)) {
        // Written in place: the tree shows the title as it is now.
        const int slot = nodeSlot(node);
        if (slot >= 0 && static_cast<std::size_t>(slot) < index_.size()) {
            index_.forget(static_cast<std::size_t>(slot));
            refreshPostTitle(node, index_);
        }
    }
    returnToBrowsing();
    form_->setEditingLook(false);
    if (readFailure)
        std::rethrow_exception(readFailure);
    // The tree read again shows the post saved, selected.
    if (res.reRead)
        selectPost(openPostName_);
}

void PostsController::selectPost(const QString &name)
{
    QTreeWidgetItem *node = findNode(tree_, name);
    if (!node)
        return;
    if (!isNodeShown(node, found_)) {
        findEdit_->clear();
        applyFind();
    }
    if (QTreeWidgetItem *month = node->parent())
        month->setExpanded(true);
    tree_->setCurrentItem(node);
    node->setSelected(true);
    tree_->scrollToItem(node);
    preview();
}

void PostsController::closePost()
{
    if (!closePostAction_->isEnabled())
        return;
    // Changes are not thrown away without the writer saying so.
    if (openPostChanged()) {
        switch (shell_.prompts().saveChanges(
            QStringLiteral("Confirm"), QString::fromLatin1(kNotSaved))) {
        case Prompts::Answer::Yes:
            save();
            return;
        case Prompts::Answer::No:
            break;
        default:
            return;
        }
    }
    form_->clearAll();
    form_->setEditingLook(false);
    // The stored text of the selected post is shown again; should its file
    // be gone, the tab still goes back to browsing before the error shows.
    std::exception_ptr previewFailure;
    if (selectedNode(tree_))
        previewFailure = failureOf([this] { preview(); });
    form_->setEditable(false);
    newPost_ = false;
    enableBrowseCommands();
    returnToBrowsing();
    if (previewFailure)
        std::rethrow_exception(previewFailure);
}

// ---------------------------------------------------------------------------
// Delete

void PostsController::deleteSelected()
{
    // While a post is open the selection may be another post than the one
    // being written: Delete waits until it is saved or closed.
    if (!commands_.remove->isEnabled() || postOpen_ || !requireOpenProject(shell_, project_))
        return;
    QTreeWidgetItem *node = selectedNode(tree_);
    if (!isPostNode(node) || !isNodeShown(node, found_))
        return;
    const std::string name = pathBytes(nodeName(node));
    const std::string path = joinPath(pathBytes(project_.settings().site.dataFolder), name);

    // The question names the post by what its file holds now.
    std::string title;
    const int slot = nodeSlot(node);
    const bool indexed = slot >= 0 && static_cast<std::size_t>(slot) < index_.size();
    if (indexed) {
        index_.forget(static_cast<std::size_t>(slot));
        title = index_.title(static_cast<std::size_t>(slot));
    }
    const CivilDateTime c = civilFromSeconds(postTimeOfName(name));
    const QString when = QDate(c.year, c.month, c.day).toString(form_->dateDisplayFormat())
        + QLatin1Char(' ') + QString::fromLatin1(timeText(c).c_str());
    if (shell_.prompts().question(QStringLiteral("Confirm"),
            QStringLiteral("Delete the post of %1 \"%2\"?").arg(when, decodeCp1250(title)), false,
            Prompts::Answer::No)
        != Prompts::Answer::Yes)
        return;

    if (!trashPostFile(path)) {
        shell_.prompts().message(QString(), QStringLiteral("Error!!!"));
        return;
    }
    emit postDeleted(pathText(path));
    QTreeWidgetItem *next = nodeAfterRemoval(node);
    forgetPost(node);
    if (next) {
        tree_->setCurrentItem(next);
        next->setSelected(true);
    }
    preview();
}

void PostsController::forgetPost(QTreeWidgetItem *node)
{
    const std::string name = pathBytes(nodeName(node));
    const int slot = nodeSlot(node);
    if (slot >= 0 && static_cast<std::size_t>(slot) < index_.size())
        index_.forget(static_cast<std::size_t>(slot));
    if (slot >= 0 && static_cast<std::size_t>(slot) < found_.size())
        found_[static_cast<std::size_t>(slot)] = 0;
    removePostNode(node, found_);

    // What Read found, less the post: the count, the post list, its month.
    if (folder_.fileCount > 0)
        --folder_.fileCount;
    shell_.setPostCountText(
        QStringLiteral("Count of notes: ") + QString::number(folder_.fileCount));
    const std::string padded = padPostName(name);
    std::erase_if(folder_.postList, [&](const std::string &e) { return postListEqual(e, padded); });
    for (MonthGroup &g : folder_.walk.months)
        std::erase(g.posts, name);
}

// ---------------------------------------------------------------------------
// Editor commands

void PostsController::insertAtCaret(const QString &text)
{
    if (form_->isEditable())
        form_->insertAtCaret(text);
}

void PostsController::wrapSelection(const QString &start, const QString &end)
{
    if (form_->isEditable())
        form_->wrapSelection(start, end);
}

} // namespace tl
