#include "tags/ui/tagsdialog.h"

#include "app/ui/formstorage.h"
#include "app/ui/mainwindow.h"
#include "app/ui/prompts.h"
#include "tags/tagtext.h"
#include "tags/ui/hotkeyedit.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
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

std::vector<ReservedHotkey> commandHotkeys(const MainWindow &window)
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

TagsDialog::TagsDialog(MainWindow *owner) : QDialog(owner), owner_(owner)
{
    setObjectName(QStringLiteral("frmZKRATKY"));
    setWindowTitle(tr("Tags"));

    StrEND = new StringHolder(QStringLiteral("StrEND"), this);
    StrHOTKEYS = new StringHolder(QStringLiteral("StrHOTKEYS"), this);
    StrSTART = new StringHolder(QStringLiteral("StrSTART"), this);

    // ---- layout ----
    auto *listLabel = new QLabel(tr("List"), this);
    btnADD = listButton(this, "btnADD", "+", tr("Add tag"));
    btnDELETE = listButton(this, "btnDELETE", "-", tr("Delete tag"));
    lstZNACKY = new QListWidget(this);
    lstZNACKY->setObjectName(QStringLiteral("lstZNACKY"));

    auto *left = new QVBoxLayout;
    auto *listHead = new QHBoxLayout;
    listHead->addWidget(listLabel);
    listHead->addStretch(1);
    listHead->addWidget(btnADD);
    listHead->addWidget(btnDELETE);
    left->addLayout(listHead);
    left->addWidget(lstZNACKY, 1);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    HotKey2 = new HotKeyEdit(this);
    HotKey2->setObjectName(QStringLiteral("HotKey2"));
    HotKey2->setHotkey(QKeyCombination(Qt::AltModifier, Qt::Key_A));
    lblHOTKEYNOTE = new QLabel(this);
    lblHOTKEYNOTE->setObjectName(QStringLiteral("lblHOTKEYNOTE"));
    lblHOTKEYNOTE->setWordWrap(true);
    {
        QPalette pal = lblHOTKEYNOTE->palette();
        pal.setColor(QPalette::WindowText, QColor(0xC0, 0, 0));
        lblHOTKEYNOTE->setPalette(pal);
    }
    memoSTART = tagMemo(this, "memoSTART");
    memoEND = tagMemo(this, "memoEND");

    auto *right = new QGridLayout;
    right->addWidget(new QLabel(tr("Description:"), this), 0, 0);
    right->addWidget(Edit1, 0, 1);
    right->addWidget(new QLabel(tr("Hotkey:"), this), 1, 0);
    right->addWidget(HotKey2, 1, 1);
    right->addWidget(lblHOTKEYNOTE, 2, 1);
    right->addWidget(new QLabel(tr("Start tag:"), this), 3, 0, 1, 2);
    right->addWidget(memoSTART, 4, 0, 1, 2);
    right->addWidget(new QLabel(tr("End tag:"), this), 5, 0, 1, 2);
    right->addWidget(memoEND, 6, 0, 1, 2);
    lblHOTKEYNOTE->setMinimumHeight(2 * fontMetrics().height());
    lblHOTKEYNOTE->setMaximumWidth(260);

    btnOK = new QPushButton(tr("O&K"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnOK->setAutoDefault(true);
    btnCANCEL = new QPushButton(tr("Cancel"), this);
    btnCANCEL->setObjectName(QStringLiteral("btnCANCEL"));
    btnCANCEL->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCANCEL);

    auto *body = new QHBoxLayout;
    body->addLayout(left, 1);
    body->addLayout(right, 2);
    auto *main = new QVBoxLayout(this);
    main->addLayout(body, 1);
    main->addLayout(buttons);
    setFixedSize(QSize(480, 360).expandedTo(minimumSizeHint()));

    setDetailsEnabled(false);

    // ---- behaviour ----
    reserved_ = commandHotkeys(*owner_);

    // A tag is selected by clicking it or moving to it with the keys; the
    // list taking the focus alone selects nothing.
    connect(lstZNACKY, &QListWidget::itemSelectionChanged, this, [this] {
        const int row = selectedTag();
        if (row >= 0)
            lstZNACKYClick(row);
    });
    connect(lstZNACKY, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { lstZNACKYClick(lstZNACKY->row(item)); });
    connect(Edit1, &QLineEdit::textEdited, this, [this](const QString &text) {
        const int row = selectedTag();
        if (row < 0)
            return;
        lstZNACKY->item(row)->setText(text);
        updateHotkeyNote();
    });
    connect(HotKey2, &HotKeyEdit::hotkeyEdited, this, [this] { storeHotkey(); });
    connect(HotKey2, &HotKeyEdit::left, this, [this] { storeHotkey(); });
    connect(memoSTART, &QPlainTextEdit::textChanged, this, [this] { storeText(memoSTART, StrSTART); });
    connect(memoEND, &QPlainTextEdit::textChanged, this, [this] { storeText(memoEND, StrEND); });
    connect(btnADD, &QToolButton::clicked, this, [this] { owner_->run([this] { btnADDClick(); }); });
    connect(btnDELETE, &QToolButton::clicked, this,
            [this] { owner_->run([this] { btnDELETEClick(); }); });
    connect(btnOK, &QPushButton::clicked, this, [this] { owner_->run([this] { btnOKClick(); }); });
    connect(btnCANCEL, &QPushButton::clicked, this, &QDialog::reject);

    // ---- storage: the settings file, section "ShortCuts" ----
    FormStorage1 = new FormStorage(this, this);
    FormStorage1->setObjectName(QStringLiteral("FormStorage1"));
    FormStorage1->setIniFileName(owner_->settingsFile());
    FormStorage1->setIniSection(QStringLiteral("ShortCuts"));
    FormStorage1->setOptions(FormStorage::Options(FormStorage::fpState) | FormStorage::fpPosition);
    FormStorage1->setStoredProps({QStringLiteral("StrEND.Strings"), QStringLiteral("StrHOTKEYS.Strings"),
                                  QStringLiteral("StrSTART.Strings"), QStringLiteral("lstZNACKY.Items")});
    FormStorage1->setMaxListLines(kMaxTagCount);
    FormStorage1->setErrorHandler([this](const QString &message) { owner_->prompts().error(message); });
    FormStorage1->setActive(true);
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
    for (int i = 0; i < lstZNACKY->count(); ++i)
        out << lstZNACKY->item(i)->text();
    return out;
}

TagsDialog::Lists TagsDialog::currentLists() const
{
    return {descriptions(), StrHOTKEYS->strings(), StrSTART->strings(), StrEND->strings()};
}

void TagsDialog::setLists(const Lists &lists)
{
    const QSignalBlocker block(lstZNACKY);
    lstZNACKY->clear();
    lstZNACKY->addItems(lists.descriptions);
    StrHOTKEYS->setStrings(lists.hotkeys);
    StrSTART->setStrings(lists.starts);
    StrEND->setStrings(lists.ends);
}

// The settings file may hold lists of unequal length (edited by hand, or cut
// short by a failed write). The shorter lists are filled up with empty texts
// to the number of descriptions, so every tag has all four parts; longer
// lists keep their surplus.
void TagsDialog::padLists()
{
    const int n = lstZNACKY->count();
    for (StringHolder *h : {StrHOTKEYS, StrSTART, StrEND})
        while (h->lines().size() < n)
            h->lines().append(QString());
}

QStringList TagsDialog::tagHotkeyTexts() const
{
    return StrHOTKEYS->strings().mid(0, lstZNACKY->count());
}

void TagsDialog::setDetailsEnabled(bool enabled)
{
    for (QWidget *w : {static_cast<QWidget *>(Edit1), static_cast<QWidget *>(HotKey2),
                       static_cast<QWidget *>(memoSTART), static_cast<QWidget *>(memoEND)})
        w->setEnabled(enabled);
}

int TagsDialog::selectedTag() const
{
    const QList<QListWidgetItem *> selected = lstZNACKY->selectedItems();
    return selected.size() == 1 ? lstZNACKY->row(selected.front()) : -1;
}

void TagsDialog::lstZNACKYClick(int row)
{
    if (row < 0 || row >= lstZNACKY->count())
        return;
    padLists();
    filling_ = true;
    setDetailsEnabled(true);
    Edit1->setText(lstZNACKY->item(row)->text());
    HotKey2->setHotkey(hotkeyFromText(StrHOTKEYS->lines().at(row)));
    memoSTART->setPlainText(tagTextToEditorText(unescapeTagText(StrSTART->lines().at(row))));
    memoEND->setPlainText(tagTextToEditorText(unescapeTagText(StrEND->lines().at(row))));
    filling_ = false;
    updateHotkeyNote();
    Edit1->setFocus();
}

void TagsDialog::storeHotkey()
{
    const int row = selectedTag();
    if (filling_ || row < 0)
        return;
    padLists();
    const auto key = HotKey2->hotkey();
    StrHOTKEYS->lines()[row] = key ? hotkeyToText(*key) : QString();
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
        lblHOTKEYNOTE->clear();
        return;
    }
    const auto plan = planTagHotkeys(tagHotkeyTexts(), reserved_);
    lblHOTKEYNOTE->setText(hotkeyConflictText(plan, row, descriptions(), reserved_));
}

void TagsDialog::btnADDClick()
{
    padLists();
    const int n = lstZNACKY->count();
    lstZNACKY->addItem(QStringLiteral("[Description]"));
    // The new tag's parts go at the same position as its description, even
    // when a list carries surplus lines from the file.
    for (StringHolder *h : {StrHOTKEYS, StrSTART, StrEND})
        h->lines().insert(n, QString());
}

void TagsDialog::btnDELETEClick()
{
    const int row = selectedTag();
    if (row < 0)
        return;
    filling_ = true;
    Edit1->clear();
    {
        // No other tag becomes selected in its place.
        const QSignalBlocker block(lstZNACKY);
        lstZNACKY->clearSelection();
        lstZNACKY->setCurrentRow(-1);
        delete lstZNACKY->takeItem(row);
        lstZNACKY->clearSelection();
        lstZNACKY->setCurrentRow(-1);
    }
    for (StringHolder *h : {StrHOTKEYS, StrSTART, StrEND})
        if (row < h->lines().size())
            h->lines().removeAt(row);
    memoSTART->clear();
    memoEND->clear();
    filling_ = false;
    updateHotkeyNote();
}

void TagsDialog::btnOKClick()
{
    // A hotkey still being typed counts as entered.
    if (HotKey2->hasFocus())
        storeHotkey();
    padLists();
    owner_->SetTagEntries(descriptions(), tagHotkeyTexts());
    accept();
}

} // namespace tl
