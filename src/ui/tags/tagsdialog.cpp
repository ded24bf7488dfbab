#include "ui/tags/tagsdialog.h"

#include "ui/formstorage.h"
#include "ui/windowshell.h"
#include "ui/prompts.h"
#include "tags/tagtext.h"
#include "ui/tags/hotkeyedit.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

namespace tl {

StringHolder::StringHolder(const QString &name, QObject *parent) : QObject(parent)
{
    setObjectName(name);
}

std::vector<ReservedHotkey> commandHotkeys(const QMainWindow &window)
{
    std::vector<ReservedHotkey> out;
    const auto actions = window.findChildren<QAction *>();
    for (QAction *a : actions) {
        if (a->property("tlTagIndex").isValid())
            continue; // a tag entry of the Tags menu
        for (const QKeySequence &seq : a->shortcuts()) {
            if (seq.count() != 1)
                continue;
            QString owner = a->text();
            owner.remove(QLatin1Char('&'));
            if (owner.isEmpty())
                owner = a->toolTip().isEmpty() ? a->objectName() : a->toolTip();
            out.push_back({normalizeHotkey(seq[0]), owner, ReservedHotkey::Command});
        }
    }
    // Alt plus the underlined letter of a menu title opens that menu; a tag
    // given the same keys would never run.
    if (QMenuBar *bar = window.menuBar()) {
        for (QAction *menu : bar->actions()) {
            const QKeySequence mnemonic = QKeySequence::mnemonic(menu->text());
            if (mnemonic.count() != 1)
                continue;
            QString owner = menu->text();
            owner.remove(QLatin1Char('&'));
            out.push_back({normalizeHotkey(mnemonic[0]), owner, ReservedHotkey::Menu});
        }
    }
    return out;
}

namespace {

QPlainTextEdit *tagMemo(QWidget *parent, const char *name)
{
    auto *m = new QPlainTextEdit(parent);
    m->setObjectName(QString::fromLatin1(name));
    m->setLineWrapMode(QPlainTextEdit::NoWrap);
    m->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m->setTabChangesFocus(true);
    return m;
}

QToolButton *listButton(QWidget *parent, const char *name, const char *text, const QString &tip)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(QString::fromLatin1(text));
    b->setToolTip(tip);
    return b;
}

} // namespace

TagsDialog::TagsDialog(QWidget *parent, WindowShell &shell, const std::string &settingsFile,
                       std::vector<ReservedHotkey> reserved, ApplyTags applyTags)
    : QDialog(parent), shell_(shell), reserved_(std::move(reserved)), applyTags_(std::move(applyTags))
{
    setObjectName(QStringLiteral("frmZKRATKY"));
    setWindowTitle(tr("Tags"));

    ends_ = new StringHolder(QStringLiteral("StrEND"), this);
    hotkeys_ = new StringHolder(QStringLiteral("StrHOTKEYS"), this);
    starts_ = new StringHolder(QStringLiteral("StrSTART"), this);

    // ---- layout ----
    auto *listLabel = new QLabel(tr("List"), this);
    addButton_ = listButton(this, "btnADD", "+", tr("Add tag"));
    deleteButton_ = listButton(this, "btnDELETE", "-", tr("Delete tag"));
    tagList_ = new QListWidget(this);
    tagList_->setObjectName(QStringLiteral("lstZNACKY"));

    auto *left = new QVBoxLayout;
    auto *listHead = new QHBoxLayout;
    listHead->addWidget(listLabel);
    listHead->addStretch(1);
    listHead->addWidget(addButton_);
    listHead->addWidget(deleteButton_);
    left->addLayout(listHead);
    left->addWidget(tagList_, 1);

    descriptionEdit_ = new QLineEdit(this);
    descriptionEdit_->setObjectName(QStringLiteral("Edit1"));
    hotkeyEdit_ = new HotKeyEdit(this);
    hotkeyEdit_->setObjectName(QStringLiteral("HotKey2"));
    hotkeyEdit_->setHotkey(QKeyCombination(Qt::AltModifier, Qt::Key_A));
    hotkeyNote_ = new QLabel(this);
    hotkeyNote_->setObjectName(QStringLiteral("lblHOTKEYNOTE"));
    hotkeyNote_->setWordWrap(true);
    {
        QPalette pal = hotkeyNote_->palette();
        pal.setColor(QPalette::WindowText, QColor(0xC0, 0, 0));
        hotkeyNote_->setPalette(pal);
    }
    startText_ = tagMemo(this, "memoSTART");
    endText_ = tagMemo(this, "memoEND");

    auto *right = new QGridLayout;
    right->addWidget(new QLabel(tr("Description:"), this), 0, 0);
    right->addWidget(descriptionEdit_, 0, 1);
    right->addWidget(new QLabel(tr("Hotkey:"), this), 1, 0);
    right->addWidget(hotkeyEdit_, 1, 1);
    right->addWidget(hotkeyNote_, 2, 1);
    right->addWidget(new QLabel(tr("Start tag:"), this), 3, 0, 1, 2);
    right->addWidget(startText_, 4, 0, 1, 2);
    right->addWidget(new QLabel(tr("End tag:"), this), 5, 0, 1, 2);
    right->addWidget(endText_, 6, 0, 1, 2);
    hotkeyNote_->setMinimumHeight(2 * fontMetrics().height());
    hotkeyNote_->setMaximumWidth(260);

    okButton_ = new QPushButton(tr("O&K"), this);
    okButton_->setObjectName(QStringLiteral("btnOK"));
    okButton_->setDefault(true);
    okButton_->setAutoDefault(true);
    cancelButton_ = new QPushButton(tr("Cancel"), this);
    cancelButton_->setObjectName(QStringLiteral("btnCANCEL"));
    cancelButton_->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton_);
    buttons->addWidget(cancelButton_);

    auto *body = new QHBoxLayout;
    body->addLayout(left, 1);
    body->addLayout(right, 2);
    auto *main = new QVBoxLayout(this);
    main->addLayout(body, 1);
    main->addLayout(buttons);
    setFixedSize(QSize(480, 360).expandedTo(minimumSizeHint()));

    setDetailsEnabled(false);

    // ---- behaviour ----
    // A tag is selected by clicking it or moving to it with the keys; the
    // list taking the focus alone selects nothing.
    connect(tagList_, &QListWidget::itemSelectionChanged, this, [this] {
        const int row = selectedTag();
        if (row >= 0)
            selectTag(row);
    });
    connect(tagList_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { selectTag(tagList_->row(item)); });
    connect(descriptionEdit_, &QLineEdit::textEdited, this, [this](const QString &text) {
        const int row = selectedTag();
        if (row < 0)
            return;
        tagList_->item(row)->setText(text);
        updateHotkeyNote();
    });
    connect(hotkeyEdit_, &HotKeyEdit::hotkeyEdited, this, [this] { storeHotkey(); });
    connect(hotkeyEdit_, &HotKeyEdit::left, this, [this] { storeHotkey(); });
    connect(startText_, &QPlainTextEdit::textChanged, this, [this] { storeText(startText_, starts_); });
    connect(endText_, &QPlainTextEdit::textChanged, this, [this] { storeText(endText_, ends_); });
    connect(addButton_, &QToolButton::clicked, this, [this] { shell_.run([this] { addTag(); }); });
    connect(deleteButton_, &QToolButton::clicked, this,
            [this] { shell_.run([this] { deleteTag(); }); });
    connect(okButton_, &QPushButton::clicked, this, [this] { shell_.run([this] { keepEdits(); }); });
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);

    // ---- storage: the settings file, section "ShortCuts" ----
    storage_ = new FormStorage(this, this);
    storage_->setObjectName(QStringLiteral("FormStorage1"));
    storage_->setIniFileName(settingsFile);
    storage_->setIniSection(QStringLiteral("ShortCuts"));
    storage_->setOptions(FormStorage::Options(FormStorage::fpState) | FormStorage::fpPosition);
    storage_->setStoredProps({QStringLiteral("StrEND.Strings"), QStringLiteral("StrHOTKEYS.Strings"),
                                  QStringLiteral("StrSTART.Strings"), QStringLiteral("lstZNACKY.Items")});
    storage_->setMaxListLines(kMaxTagCount);
    storage_->setErrorHandler([this](const QString &message) { shell_.prompts().error(message); });
    storage_->setActive(true);
}

TagsDialog::~TagsDialog()
{
    // Saves only when the dialog was shown and not closed through done().
    FormStorage::windowDestroying(this);
}

void TagsDialog::showEvent(QShowEvent *e)
{
    if (!shownOnce_ && !e->spontaneous()) {
        shownOnce_ = true;
        FormStorage::windowShown(this);
        padLists();
        opened_ = currentLists();
    }
    QDialog::showEvent(e);
}

void TagsDialog::done(int r)
{
    if (isVisible()) {
        // Only O&K keeps the edits: every other way out puts the lists back
        // as they were opened, so the settings file keeps what the menu shows.
        if (r != QDialog::Accepted)
            setLists(opened_);
        FormStorage::windowClosing(this);
    }
    QDialog::done(r);
}

QStringList TagsDialog::descriptions() const
{
    QStringList out;
    for (int i = 0; i < tagList_->count(); ++i)
        out << tagList_->item(i)->text();
    return out;
}

TagsDialog::Lists TagsDialog::currentLists() const
{
    return {descriptions(), hotkeys_->strings(), starts_->strings(), ends_->strings()};
}

void TagsDialog::setLists(const Lists &lists)
{
    const QSignalBlocker block(tagList_);
    tagList_->clear();
    tagList_->addItems(lists.descriptions);
    hotkeys_->setStrings(lists.hotkeys);
    starts_->setStrings(lists.starts);
    ends_->setStrings(lists.ends);
}

// The settings file may hold lists of unequal length (edited by hand, or cut
// short by a failed write). The shorter lists are filled up with empty texts
// to the number of descriptions, so every tag has all four parts; longer
// lists keep their surplus.
void TagsDialog::padLists()
{
    const int n = tagList_->count();
    for (StringHolder *h : {hotkeys_, starts_, ends_})
        while (h->lines().size() < n)
            h->lines().append(QString());
}

QStringList TagsDialog::tagHotkeyTexts() const
{
    return hotkeys_->strings().mid(0, tagList_->count());
}

void TagsDialog::setDetailsEnabled(bool enabled)
{
    for (QWidget *w : {static_cast<QWidget *>(descriptionEdit_), static_cast<QWidget *>(hotkeyEdit_),
                       static_cast<QWidget *>(startText_), static_cast<QWidget *>(endText_)})
        w->setEnabled(enabled);
}

int TagsDialog::selectedTag() const
{
    const QList<QListWidgetItem *> selected = tagList_->selectedItems();
    return selected.size() == 1 ? tagList_->row(selected.front()) : -1;
}

void TagsDialog::selectTag(int row)
{
    if (row < 0 || row >= tagList_->count())
        return;
    padLists();
    filling_ = true;
    setDetailsEnabled(true);
    descriptionEdit_->setText(tagList_->item(row)->text());
    hotkeyEdit_->setHotkey(hotkeyFromText(hotkeys_->lines().at(row)));
    startText_->setPlainText(tagTextToEditorText(unescapeTagText(starts_->lines().at(row))));
    endText_->setPlainText(tagTextToEditorText(unescapeTagText(ends_->lines().at(row))));
    filling_ = false;
    updateHotkeyNote();
    descriptionEdit_->setFocus();
}

void TagsDialog::storeHotkey()
{
    const int row = selectedTag();
    if (filling_ || row < 0)
        return;
    padLists();
    const auto key = hotkeyEdit_->hotkey();
    hotkeys_->lines()[row] = key ? hotkeyToText(*key) : QString();
    updateHotkeyNote();
}

void TagsDialog::storeText(QPlainTextEdit *memo, StringHolder *target)
{
    const int row = selectedTag();
    if (filling_ || row < 0)
        return;
    padLists();
    // The raw text keeps every character as typed (a no-break space stays one).
    target->lines()[row] = escapeTagText(editorTextToTagText(memo->document()->toRawText()));
}

void TagsDialog::updateHotkeyNote()
{
    const int row = selectedTag();
    if (row < 0) {
        hotkeyNote_->clear();
        return;
    }
    const auto plan = planTagHotkeys(tagHotkeyTexts(), reserved_);
    hotkeyNote_->setText(hotkeyConflictText(plan, row, descriptions(), reserved_));
}

void TagsDialog::addTag()
{
    padLists();
    const int n = tagList_->count();
    tagList_->addItem(QStringLiteral("[Description]"));
    // The new tag's parts go at the same position as its description, even
    // when a list carries surplus lines from the file.
    for (StringHolder *h : {hotkeys_, starts_, ends_})
        h->lines().insert(n, QString());
}

void TagsDialog::deleteTag()
{
    const int row = selectedTag();
    if (row < 0)
        return;
    filling_ = true;
    descriptionEdit_->clear();
    {
        // No other tag becomes selected in its place.
        const QSignalBlocker block(tagList_);
        tagList_->clearSelection();
        tagList_->setCurrentRow(-1);
        delete tagList_->takeItem(row);
        tagList_->clearSelection();
        tagList_->setCurrentRow(-1);
    }
    for (StringHolder *h : {hotkeys_, starts_, ends_})
        if (row < h->lines().size())
            h->lines().removeAt(row);
    startText_->clear();
    endText_->clear();
    filling_ = false;
    updateHotkeyNote();
}

void TagsDialog::keepEdits()
{
    // A hotkey still being typed counts as entered.
    if (hotkeyEdit_->hasFocus())
        storeHotkey();
    padLists();
    applyTags_(descriptions(), tagHotkeyTexts());
    accept();
}

} // namespace tl
