// The post store and editing on the main window: Read and the post tree, the
// preview, and the browse and editing states with New, Edit, Save, Close
// post, Delete and the long-post separator.
#include "app/ui/mainwindow.h"

#include "app/core/clock.h"
#include "app/core/cp1250.h"
#include "app/core/errors.h"
#include "app/core/fileio.h"
#include "app/core/programfiles.h"
#include "app/ui/posteditor.h"
#include "app/ui/prompts.h"
#include "app/ui/widgets.h"
#include "posts/postfile.h"
#include "posts/postindex.h"
#include "posts/poststore.h"
#include "posts/ui/editortext.h"
#include "posts/ui/postdateedit.h"
#include "posts/ui/postsstate.h"
#include "posts/ui/posttree.h"

#include <QAction>
#include <QApplication>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <exception>
#include <functional>

namespace tl {

namespace {

// Hands the key releases of the tree to the window.
class KeyUpFilter : public QObject {
public:
    KeyUpFilter(QObject *parent, std::function<void(int)> onKeyUp)
        : QObject(parent), onKeyUp_(std::move(onKeyUp))
    {
    }
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        if (e->type() == QEvent::KeyRelease) {
            auto *k = static_cast<QKeyEvent *>(e);
            if (!k->isAutoRepeat())
                onKeyUp_(k->key());
        }
        return QObject::eventFilter(watched, e);
    }

private:
    std::function<void(int)> onKeyUp_;
};

PostDateEdit *dateField(MainWindow &w) { return qobject_cast<PostDateEdit *>(w.DateEdit1); }

bool dateFieldEmpty(MainWindow &w)
{
    PostDateEdit *d = dateField(w);
    return d ? d->isEmpty() : !w.DateEdit1->date().isValid();
}

void emptyDateField(MainWindow &w)
{
    if (PostDateEdit *d = dateField(w))
        d->setEmpty();
}

// Date and time fields show a date-time: the date, and the hour and minute.
void showDateTime(MainWindow &w, const CivilDateTime &c)
{
    w.DateEdit1->setDate(QDate(c.year, c.month, c.day));
    w.timeedit1->setText(QString::fromLatin1(timeText(c).c_str()));
}

// Editing look: the field background of a text field; browse look: the
// colour of the window's menus and panels. The close-post button follows.
void setEditingLook(MainWindow &w, bool editing)
{
    const QPalette app = QApplication::palette();
    const QColor c = editing ? app.color(QPalette::Base) : app.color(QPalette::Window);
    for (QWidget *f : {static_cast<QWidget *>(w.edtNADPIS), static_cast<QWidget *>(w.DateEdit1),
                       static_cast<QWidget *>(w.timeedit1), static_cast<QWidget *>(w.memoOBSAH)}) {
        QPalette p = f->palette();
        p.setColor(QPalette::Base, c);
        f->setPalette(p);
    }
    w.actCLOSEPOST->setEnabled(editing);
}

void setFieldsEditable(MainWindow &w, bool editable)
{
    w.edtNADPIS->setReadOnly(!editable);
    w.DateEdit1->setReadOnly(!editable);
    w.timeedit1->setReadOnly(!editable);
    w.memoOBSAH->setReadOnly(!editable);
}

void showOtherTabs(MainWindow &w, bool shown)
{
    for (QWidget *tab : {w.tabOPTIONS, w.tabFTP, w.tabCONTENT}) {
        const int i = w.PageControl1->indexOf(tab);
        if (i >= 0)
            w.PageControl1->setTabVisible(i, shown);
    }
}

// The browse state's buttons after a post is saved or closed.
void enableBrowseCommands(MainWindow &w)
{
    w.actSAVE->setEnabled(false);
    w.actREAD->setEnabled(true);
    w.actNEW->setEnabled(true);
    w.actEDIT->setEnabled(true);
    w.actGENERATE->setEnabled(true);
    w.actDEL->setEnabled(true);
}

void disableBrowseCommands(MainWindow &w)
{
    w.actREAD->setEnabled(false);
    w.actNEW->setEnabled(false);
    w.actEDIT->setEnabled(false);
    w.actGENERATE->setEnabled(false);
    w.actSAVE->setEnabled(true);
    // Delete works on the tree's selection, which need not be the open post.
    w.actDEL->setEnabled(false);
}

// The tree and its find box are for browsing.
void setTreeEnabled(MainWindow &w, bool enabled)
{
    w.TreeView1->setEnabled(enabled);
    w.edtFIND->setEnabled(enabled);
    w.actFIND->setEnabled(enabled);
}

MainWindow::PostsState::Fields currentFields(const MainWindow &w)
{
    MainWindow::PostsState::Fields f;
    f.title = w.edtNADPIS->text();
    f.dateEmpty = dateFieldEmpty(const_cast<MainWindow &>(w));
    f.date = f.dateEmpty ? QDate() : w.DateEdit1->date();
    f.time = w.timeedit1->text();
    f.text = w.memoOBSAH->toPlainText();
    return f;
}

// The tree and the other tabs back, the post closed.
void returnToBrowsing(MainWindow &w)
{
    setTreeEnabled(w, true);
    showOtherTabs(w, true);
    w.TreeView1->setFocus();
    w.postOpen = false;
}

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

} // namespace

// ---------------------------------------------------------------------------
// Set-up

void MainWindow::setupPosts()
{
    preparePostTree(TreeView1);

    // Each command runs only while its button is enabled; the Execute
    // functions check that themselves, so every way of starting them agrees.
    connect(actREAD, &QAction::triggered, this, [this] { run([this] { actREADExecute(); }); });
    connect(actNEW, &QAction::triggered, this, [this] { run([this] { actNEWExecute(); }); });
    connect(actEDIT, &QAction::triggered, this, [this] { run([this] { actEDITExecute(); }); });
    connect(actSAVE, &QAction::triggered, this, [this] { run([this] { actSAVEExecute(); }); });
    connect(actDEL, &QAction::triggered, this, [this] { run([this] { actDELExecute(); }); });
    connect(actCLOSEPOST, &QAction::triggered, this,
            [this] { run([this] { actCLOSEPOSTExecute(); }); });
    connect(mnuMORE, &QAction::triggered, this, [this] { run([this] { MoreClick(); }); });

    connect(TreeView1, &QTreeWidget::itemClicked, this, [this] { run([this] { TreeView1Click(); }); });
    connect(TreeView1, &QTreeWidget::itemDoubleClicked, this,
            [this] { run([this] { TreeView1DblClick(); }); });
    TreeView1->installEventFilter(
        new KeyUpFilter(TreeView1, [this](int key) { run([this, key] { TreeView1KeyUp(key); }); }));
    // A month's titles are read when it is first opened; under a filter its
    // posts are sorted out then too.
    connect(TreeView1, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem *month) {
        run([this, month] {
            showPostTitles(month, posts->index);
            filterMonthPosts(month, posts->found);
        });
    });

    // The find box filters once typing pauses, at once on Enter; Escape
    // empties it. Ctrl+F goes to it.
    posts->findTimer = new QTimer(this);
    posts->findTimer->setSingleShot(true);
    posts->findTimer->setInterval(150);
    connect(posts->findTimer, &QTimer::timeout, this, [this] { run([this] { edtFINDChange(); }); });
    connect(edtFIND, &QLineEdit::textChanged, posts->findTimer, qOverload<>(&QTimer::start));
    connect(edtFIND, &QLineEdit::returnPressed, this, [this] { run([this] { edtFINDChange(); }); });
    auto *clearFind = new QAction(edtFIND);
    clearFind->setShortcut(QKeySequence(Qt::Key_Escape));
    clearFind->setShortcutContext(Qt::WidgetShortcut);
    edtFIND->addAction(clearFind);
    connect(clearFind, &QAction::triggered, this, [this] {
        edtFIND->clear();
        run([this] { edtFINDChange(); });
    });
    connect(actFIND, &QAction::triggered, this, [this] {
        if (!edtFIND->isEnabled())
            return;
        PageControl1->setCurrentWidget(tabBLOG);
        edtFIND->setFocus(Qt::ShortcutFocusReason);
        edtFIND->selectAll();
    });

    // Typing goes title, editor, date, time; the close-post button is for
    // the mouse only, so no Tab then Space throws a post away.
    btnCLOSEPOST->setFocusPolicy(Qt::NoFocus);
    setTabOrder(edtNADPIS, memoOBSAH);
    setTabOrder(memoOBSAH, DateEdit1);
    setTabOrder(DateEdit1, timeedit1);

    // The browse state: fields read-only in the browse look, nothing to save.
    setFieldsEditable(*this, false);
    setEditingLook(*this, false);
    emptyDateField(*this);
    actSAVE->setEnabled(false);
    actEDIT->setEnabled(false);
}

// ---------------------------------------------------------------------------
// Read

void MainWindow::actREADExecute()
{
    if (!actREAD->isEnabled())
        return;
    if (!checkProjectSelected())
        return;
    log(QStringLiteral("Read from list..."));
    // Posts are always opened by their full path, so the process's current
    // folder is left alone.
    const PostFolder folder = readPostFolder(pathBytes(pathDATA->text()));
    log(QStringLiteral("Completed."));
    showPostFolder(folder);
    // A name that is not a post stops here: the tree keeps what came before.
    if (!folder.walk.failure.empty())
        throw AppError(folder.walk.failure);
}

void MainWindow::showPostFolder(const PostFolder &folder)
{
    setPostCountText(QStringLiteral("Count of notes: ") + QString::number(folder.fileCount));

    posts->strSOUBORY.clear();
    posts->strSOUBORY.reserve(static_cast<qsizetype>(folder.postList.size()));
    for (const std::string &e : folder.postList)
        posts->strSOUBORY.append(pathText(e));
    posts->StrHolder1.clear();
    for (const MonthGroup &g : folder.walk.months)
        posts->StrHolder1.append(QString::fromLatin1(g.key.c_str()));
    posts->index.reset(pathBytes(pathDATA->text()), walkPostNames(folder.walk));
    posts->found.clear();
    fillPostTree(TreeView1, folder.walk);
    // A filter typed before stays in force over the new tree.
    if (!edtFIND->text().trimmed().isEmpty())
        edtFINDChange();

    if (!folder.walk.failure.empty())
        return;
    actGENERATE->setEnabled(TreeView1->topLevelItemCount() > 0);
    actEDIT->setEnabled(false);
}

// ---------------------------------------------------------------------------
// Preview

void MainWindow::TreeView1Click()
{
    actEDIT->setEnabled(false);
    if (TreeView1->topLevelItemCount() == 0)
        return;
    QTreeWidgetItem *node = selectedNode(TreeView1);
    if (!isPostNode(node))
        return;
    QString name = nodeName(node);
    name.remove(QLatin1Char('_'));
    actEDIT->setEnabled(true);
    showPostContent(name);
}

void MainWindow::showPostContent(const QString &postName)
{
    const std::string name = pathBytes(postName);
    const std::int32_t n = postTimeOfName(name);
    showDateTime(*this, civilFromSeconds(n));

    std::string text = readWholeFile(joinPath(pathBytes(pathDATA->text()), name));
    // In the two paragraph modes the line breaks are the program's to add:
    // the editor shows none.
    if (rgPARAGRAPH->itemIndex() != 2) {
        QByteArray b(text.data(), static_cast<qsizetype>(text.size()));
        b.replace("<br />", "");
        text.assign(b.constData(), static_cast<std::size_t>(b.size()));
    }
    const PostContent post = parsePost(text);
    setLineEditBytes(edtNADPIS, post.title);
    setEditorBytes(memoOBSAH, post.body);
}

void MainWindow::TreeView1KeyUp(int key)
{
    if (key == Qt::Key_Up || key == Qt::Key_Down)
        TreeView1Click();
}

void MainWindow::TreeView1DblClick()
{
    if (isPostNode(selectedNode(TreeView1)))
        actEDITExecute();
}

void MainWindow::edtFINDChange()
{
    // Months opened at once by a find; more than that would lay out
    // thousands of posts for nothing: the writer opens the month wanted.
    constexpr int kOpenMonthsUpTo = 24;

    posts->findTimer->stop();
    const QString typed = edtFIND->text().trimmed();
    QTreeWidgetItem *selected = selectedNode(TreeView1);
    if (typed.isEmpty()) {
        posts->found.clear();
        unfilterPostTree(TreeView1, selected);
        return;
    }
    // The first find over a folder reads every post; later ones only look.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        posts->found = posts->index.find(foldForSearch(encodeCp1250(typed)));
    } catch (...) {
        QApplication::restoreOverrideCursor();
        throw;
    }
    filterPostTree(TreeView1, posts->found, kOpenMonthsUpTo);
    QApplication::restoreOverrideCursor();
    // A post the filter hides is not left selected: Edit and Delete act only
    // on a post the writer sees.
    if (selected && !isNodeShown(selected, posts->found)) {
        TreeView1->clearSelection();
        TreeView1->setCurrentItem(nullptr);
        actEDIT->setEnabled(false);
    }
}

bool MainWindow::openPostChanged() const
{
    return postOpen && currentFields(*this) != posts->opened;
}

// ---------------------------------------------------------------------------
// New, Edit

void MainWindow::actNEWExecute()
{
    if (!actNEW->isEnabled())
        return;
    if (!checkProjectSelected())
        return;
    setEditingLook(*this, true);
    setTreeEnabled(*this, false);
    showOtherTabs(*this, false);

    const CivilDateTime now = civilFromDateTime(clock().now());

    edtNADPIS->clear();
    memoOBSAH->clear();
    edtNADPIS->setFocus();

    disableBrowseCommands(*this);
    postOpen = true;
    posts->newPost = true;
    posts->openPostName.clear();
    setFieldsEditable(*this, true);

    showDateTime(*this, now);
    posts->opened = currentFields(*this);
}

void MainWindow::actEDITExecute()
{
    if (!actEDIT->isEnabled())
        return;
    if (!checkProjectSelected())
        return;
    QTreeWidgetItem *node = selectedNode(TreeView1);
    if (!isPostNode(node))
        return;

    // The post is read again from its file; should that fail, nothing has
    // changed state yet.
    TreeView1Click();
    setEditingLook(*this, true);

    setTreeEnabled(*this, false);
    showOtherTabs(*this, false);
    setFieldsEditable(*this, true);
    edtNADPIS->setFocus();

    disableBrowseCommands(*this);

    posts->newPost = false;
    posts->openPostName = nodeName(node);
    postOpen = true;
    posts->opened = currentFields(*this);
}

// ---------------------------------------------------------------------------
// Save

void MainWindow::actSAVEExecute()
{
    if (!actSAVE->isEnabled())
        return;
    if (!checkProjectSelected())
        return;

    // Until the post is safely written, every failure (an invalid time, a
    // date out of range, a taken name, a file that cannot be written) leaves
    // the post open and editable, so the writer can correct and save again.
    SaveRequest req;
    req.dataFolder = pathBytes(pathDATA->text());
    req.newPost = posts->newPost;
    req.openPostName = pathBytes(posts->openPostName);
    req.title = lineEditBytes(edtNADPIS);
    req.body = editorBytes(memoOBSAH);
    if (!dateFieldEmpty(*this)) {
        int hour = 0, minute = 0;
        parseTimeText(timeedit1->text().toStdString(), hour, minute);
        const QDate d = DateEdit1->date();
        req.dateTime = dateTimeFromCivil(d.year(), d.month(), d.day(), hour, minute, 0);
    } else {
        // No date: the clock names the post, seconds included.
        req.dateTime = clock().now();
    }
    const SaveResult res = savePost(req);

    setFieldsEditable(*this, false);
    showDateTime(*this, civilFromSeconds(res.time));
    queueSavedPost(pathText(res.path));
    posts->newPost = false;
    posts->openPostName = pathText(res.name);

    enableBrowseCommands(*this);

    // The post is written whatever Read says about the folder: the tab goes
    // back to browsing first, then a failure of Read is shown.
    std::exception_ptr readFailure;
    if (res.reRead) {
        readFailure = failureOf([this] { actREADExecute(); });
    } else if (QTreeWidgetItem *node = findNode(TreeView1, posts->openPostName)) {
        // Written in place: the tree shows the title as it is now.
        const int slot = nodeSlot(node);
        if (slot >= 0 && static_cast<std::size_t>(slot) < posts->index.size()) {
            posts->index.forget(static_cast<std::size_t>(slot));
            refreshPostTitle(node, posts->index);
        }
    }

    returnToBrowsing(*this);

    if (res.reRead)
        memoOBSAH->clear();
    setEditingLook(*this, false);

    if (readFailure)
        std::rethrow_exception(readFailure);
}

// ---------------------------------------------------------------------------
// Close post

void MainWindow::actCLOSEPOSTExecute()
{
    if (!actCLOSEPOST->isEnabled())
        return;
    // Changes are not thrown away without the writer saying so.
    if (openPostChanged()) {
        switch (prompts().saveChanges(QStringLiteral("Confirm"),
                                      QStringLiteral("Post is not saved. Save now?"))) {
        case Prompts::Answer::Yes:
            actSAVEExecute();
            return;
        case Prompts::Answer::No:
            break;
        default:
            return;
        }
    }
    edtNADPIS->clear();
    timeedit1->clear();
    emptyDateField(*this);
    memoOBSAH->clear();
    setEditingLook(*this, false);

    // The stored text of the selected post is shown again; should its file
    // be gone, the tab still goes back to browsing before the error shows.
    std::exception_ptr previewFailure;
    if (selectedNode(TreeView1))
        previewFailure = failureOf([this] { TreeView1Click(); });

    setFieldsEditable(*this, false);
    posts->newPost = false;

    enableBrowseCommands(*this);
    returnToBrowsing(*this);

    if (previewFailure)
        std::rethrow_exception(previewFailure);
}

// ---------------------------------------------------------------------------
// Delete

void MainWindow::actDELExecute()
{
    // While a post is open the selection may be another post than the one
    // being written: Delete waits until it is saved or closed.
    if (!actDEL->isEnabled() || postOpen)
        return;
    if (!checkProjectSelected())
        return;
    QTreeWidgetItem *node = selectedNode(TreeView1);
    if (!isPostNode(node) || !isNodeShown(node, posts->found))
        return;
    const std::string name = pathBytes(nodeName(node));
    const std::string path = joinPath(pathBytes(pathDATA->text()), name);

    // The question names the post by what its file holds now.
    std::string title;
    const int slot = nodeSlot(node);
    if (slot >= 0 && static_cast<std::size_t>(slot) < posts->index.size()) {
        posts->index.forget(static_cast<std::size_t>(slot));
        title = posts->index.title(static_cast<std::size_t>(slot));
    }
    const CivilDateTime c = civilFromSeconds(postTimeOfName(name));
    const QString when = QDate(c.year, c.month, c.day).toString(DateEdit1->displayFormat())
        + QLatin1Char(' ') + QString::fromLatin1(timeText(c).c_str());
    if (prompts().question(QStringLiteral("Confirm"),
                           QStringLiteral("Delete the post of %1 \"%2\"?")
                               .arg(when, decodeCp1250(title)),
                           false, Prompts::Answer::No)
        != Prompts::Answer::Yes)
        return;

    if (!trashPostFile(path)) {
        prompts().message(QString(), QStringLiteral("Error!!!"));
        return;
    }
    if (slot >= 0 && static_cast<std::size_t>(slot) < posts->index.size())
        posts->index.forget(static_cast<std::size_t>(slot));
    QTreeWidgetItem *next = nodeAfterRemoval(node);
    delete node;
    if (next) {
        TreeView1->setCurrentItem(next);
        next->setSelected(true);
    }
    TreeView1Click();
}

// ---------------------------------------------------------------------------
// Long-post separator

void MainWindow::MoreClick()
{
    if (memoOBSAH->isReadOnly())
        return;
    memoOBSAH->insertPlainText(QStringLiteral("<!--more-->"));
}

} // namespace tl
