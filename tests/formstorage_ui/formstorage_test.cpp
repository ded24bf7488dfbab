// Form storage: value encodings, list sections, placement keys, the
// automatic triggers and their order with two storages on one window.
#include "core/errors.h"
#include "core/ini.h"
#include "ui/formstorage.h"
#include "ui/widgets.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QFile>
#include <QGuiApplication>
#include <QListWidget>
#include <QScreen>
#include <QSplitter>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using tl::FormStorage;

namespace {

QStringList eventLog;

// A list of strings held outside any widget, as the Tags dialog holds its
// lists.
class StringHolder : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList Strings MEMBER strings)
public:
    using QObject::QObject;
    QStringList strings;
};

// Records when a storage reads or sets its properties.
class Recorder : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString A READ a WRITE setA)
    Q_PROPERTY(QString B READ b WRITE setB)
public:
    using QObject::QObject;
    QString a() const { eventLog << "get A"; return "a"; }
    QString b() const { eventLog << "get B"; return "b"; }
    void setA(const QString &) { eventLog << "set A"; }
    void setB(const QString &) { eventLog << "set B"; }
};

class TestForm : public QWidget {
    Q_OBJECT
public:
    TestForm()
    {
        auto *lay = new QVBoxLayout(this);
        auto add = [&](auto *w, const char *name) {
            w->setObjectName(name);
            if constexpr (std::is_base_of_v<QWidget, std::remove_pointer_t<decltype(w)>>)
                lay->addWidget(w);
            return w;
        };
        edtAUTHOR = add(new QLineEdit(this), "edtAUTHOR");
        pathMAIN = add(new tl::PathEdit(tl::PathEdit::Folder, this), "pathMAIN");
        chkPROXY = add(new QCheckBox(this), "chkPROXY");
        rgPARAGRAPH = add(new tl::RadioGroup("Paragraphs", {"<br />", "<p></p>", "unformatted"}, this),
                          "rgPARAGRAPH");
        lstZNACKY = add(new QListWidget(this), "lstZNACKY");
        auto *split = add(new QSplitter(this), "split");
        pnlLEVY = add(new QWidget(split), "pnlLEVY");
        add(new QWidget(split), "pnlRIGHT");
        pnlFIXED = add(new QWidget(this), "pnlFIXED");
        pnlFIXED->setFixedWidth(161);
        StrEND = add(new StringHolder(this), "StrEND");
        rec = add(new Recorder(this), "rec");
    }
    QLineEdit *edtAUTHOR;
    tl::PathEdit *pathMAIN;
    QCheckBox *chkPROXY;
    tl::RadioGroup *rgPARAGRAPH;
    QListWidget *lstZNACKY;
    QWidget *pnlLEVY, *pnlFIXED;
    StringHolder *StrEND;
    Recorder *rec;
    bool refuseClose = false;

protected:
    void showEvent(QShowEvent *) override { eventLog << "window show"; }
    void closeEvent(QCloseEvent *e) override
    {
        eventLog << "window close";
        if (refuseClose)
            e->ignore();
    }
};

class FormStorageTest : public ::testing::Test {
protected:
    void SetUp() override { eventLog.clear(); }

    QString path(const QString &name = "s.ini") const { return dir.filePath(name); }
    std::string bytes(const QString &name = "s.ini") const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "<missing>";
    }
    void setFile(const std::string &content, const QString &name = "s.ini") const
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content.data(), static_cast<qint64>(content.size()));
    }
    std::string key(const std::string &k, const std::string &section = "S") const
    {
        return tl::iniReadString(path().toStdString(), section, k, "<none>");
    }
    // An inactive storage that applies no placement: saves and restores on
    // request only, like the project storage.
    FormStorage *storage(QWidget *w, const QStringList &props, const QString &file = "s.ini")
    {
        auto *s = new FormStorage(w, w);
        s->setIniFileName(path(file));
        s->setIniSection("S");
        s->setActive(false);
        s->setOptions({});
        s->setStoredProps(props);
        return s;
    }

    QTemporaryDir dir;
    TestForm form;
};

TEST_F(FormStorageTest, EveryTypeRoundTripsUnderItsKey)
{
    auto *s = storage(&form, {"edtAUTHOR.Text", "pathMAIN.Text", "chkPROXY.Checked",
                              "rgPARAGRAPH.ItemIndex", "StrEND.Strings", "lstZNACKY.Items"});
    form.edtAUTHOR->setText("  two  words  ");
    form.pathMAIN->setText(QString::fromUtf8("/blog/Žluťoučký 😀"));
    form.chkPROXY->setChecked(true);
    form.rgPARAGRAPH->setItemIndex(2);
    form.StrEND->strings = {"</b>", " padded ", "'q'"};
    form.lstZNACKY->addItems({"Bold", "Italic"});
    s->SaveStored();
    EXPECT_TRUE(s->saved());

    const std::string file = bytes();
    for (const char *line : {"edtAUTHOR_Text=two  words\n",
                             "pathMAIN_Text=/blog/\x8Elu\x9Dou\xE8k\xFD &#x1F600;\n",
                             "chkPROXY_Checked=True\n", "rgPARAGRAPH_ItemIndex=2\n",
                             "[S.StrEND_Strings]\nCount=3\nItem0=</b>\nItem1= padded \nItem2=\"'q'\"\n",
                             "[S.lstZNACKY_Items]\nCount=2\nItem0=Bold\nItem1=Italic\n"})
        EXPECT_NE(file.find(line), std::string::npos) << line << "\nin\n" << file;
    EXPECT_EQ(key("StrEND_Strings"), "<none>"); // lists have no key of their own

    form.edtAUTHOR->setText("x");
    form.pathMAIN->setText("x");
    form.chkPROXY->setChecked(false);
    form.rgPARAGRAPH->setItemIndex(0);
    form.StrEND->strings = {"x"};
    form.lstZNACKY->clear();
    s->RestoreStored();
    EXPECT_EQ(form.edtAUTHOR->text(), "two  words");
    EXPECT_EQ(form.pathMAIN->text(), QString::fromUtf8("/blog/Žluťoučký &#x1F600;"));
    EXPECT_TRUE(form.chkPROXY->isChecked());
    EXPECT_EQ(form.rgPARAGRAPH->itemIndex(), 2);
    EXPECT_EQ(form.StrEND->strings, QStringList({"</b>", "padded", "'q'"}));
    EXPECT_EQ(form.lstZNACKY->count(), 2);
    EXPECT_EQ(form.lstZNACKY->item(1)->text(), "Italic");
    EXPECT_TRUE(s->restored());
    EXPECT_FALSE(s->saved());
}

TEST_F(FormStorageTest, QuotedValuesGetOneMorePairAndComeBackUnchanged)
{
    auto *s = storage(&form, {"edtAUTHOR.Text", "StrEND.Strings"});
    const struct {
        const char *text, *written;
    } cases[] = {{"'a'", "\"'a'\""}, {"\"q\"", "\"\"q\"\""}, {"'", "\"'\""},
                 {"abc", "abc"},     {"'a", "'a"},           {"\"a'", "\"a'"}};
    for (const auto &c : cases) {
        form.edtAUTHOR->setText(c.text);
        form.StrEND->strings = {c.text};
        s->SaveStored();
        const std::string file = bytes();
        EXPECT_NE(file.find(std::string("edtAUTHOR_Text=") + c.written + "\n"), std::string::npos) << c.text;
        EXPECT_NE(file.find(std::string("Item0=") + c.written + "\n"), std::string::npos) << c.text;
        form.edtAUTHOR->clear();
        form.StrEND->strings.clear();
        s->RestoreStored();
        EXPECT_EQ(form.edtAUTHOR->text(), c.text);
        EXPECT_EQ(form.StrEND->strings, QStringList{c.text});
    }
}

TEST_F(FormStorageTest, ReadingFollowsTheRulesOfEachType)
{
    auto *s = storage(&form, {"edtAUTHOR.Text", "rgPARAGRAPH.ItemIndex", "chkPROXY.Checked",
                              "StrEND.Strings"});
    const struct {
        const char *file;
        QString text;
        int index;
        bool checked;
        QStringList list;
    } cases[] = {
        // Nothing in the file: everything keeps its value.
        {"", "keep", 1, true, {"keep"}},
        {"[S]\nedtAUTHOR_Text=\nrgPARAGRAPH_ItemIndex=7\nchkPROXY_Checked=false\n", "", 2, false, {"keep"}},
        {"[S]\nedtAUTHOR_Text=\x01 v \x02\nrgPARAGRAPH_ItemIndex=-5\nchkPROXY_Checked=1\n", "v", -1, true, {"keep"}},
        {"[S]\nrgPARAGRAPH_ItemIndex=abc\nchkPROXY_Checked=TRUE\n[S.StrEND_Strings]\nCount=0\n", "keep", 0, true,
         {"keep"}},
        {"[S]\nrgPARAGRAPH_ItemIndex=\n[S.StrEND_Strings]\nCount=3\nItem0=x\n", "keep", 0, true, {"x", "", ""}},
        {"[S.StrEND_Strings]\nCount=abc\nItem0=x\n", "keep", 1, true, {"keep"}},
        {"[S.StrEND_Strings]\nCount=-2\nItem0=x\n", "keep", 1, true, {"keep"}},
        {"[S.StrEND_Strings]\nCount=2000000000\nItem0=x\n", "keep", 1, true, {"keep"}},
        {"[S.StrEND_Strings]\nCount= 2 \nItem1=\"'b'\"\nItem0=a\n", "keep", 1, true, {"a", "'b'"}},
    };
    for (const auto &c : cases) {
        form.edtAUTHOR->setText("keep");
        form.rgPARAGRAPH->setItemIndex(1);
        form.chkPROXY->setChecked(true);
        form.StrEND->strings = {"keep"};
        setFile(c.file);
        s->RestoreStored();
        EXPECT_EQ(form.edtAUTHOR->text(), c.text) << c.file;
        EXPECT_EQ(form.rgPARAGRAPH->itemIndex(), c.index) << c.file;
        EXPECT_EQ(form.chkPROXY->isChecked(), c.checked) << c.file;
        EXPECT_EQ(form.StrEND->strings, c.list) << c.file;
    }
}

TEST_F(FormStorageTest, ListSectionIsRebuiltAndAnEmptyListLeavesNone)
{
    auto *s = storage(&form, {"StrEND.Strings"});
    setFile("[S.StrEND_Strings]\nCount=3\nItem0=a\nItem1=b\nItem2=c\nold junk\n[Other]\nk=v\n");
    form.StrEND->strings = {"z"};
    s->SaveStored();
    EXPECT_EQ(tl::iniReadString(path().toStdString(), "S.StrEND_Strings", "Item1", "<none>"), "<none>");
    EXPECT_EQ(bytes().find("old junk"), std::string::npos);
    EXPECT_NE(bytes().find("[S.StrEND_Strings]\nCount=1\nItem0=z\n"), std::string::npos);
    form.StrEND->strings.clear();
    s->SaveStored();
    EXPECT_EQ(bytes().find("StrEND"), std::string::npos);
    EXPECT_EQ(tl::iniReadString(path().toStdString(), "Other", "k", ""), "v");
}

TEST_F(FormStorageTest, ActiveStorageNeverRestoredWritesNothing)
{
    auto *s = storage(&form, {"edtAUTHOR.Text"});
    s->setActive(true);
    s->SaveStored();
    EXPECT_EQ(bytes(), "<missing>");
    EXPECT_FALSE(s->saved());
    s->RestoreStored(); // a missing file restores nothing, but counts
    form.edtAUTHOR->setText("now");
    s->SaveStored();
    EXPECT_EQ(key("edtAUTHOR_Text"), "now");
}

TEST_F(FormStorageTest, PlacementKeysComeFirstInTheirOrder)
{
    auto *s = storage(&form, {"edtAUTHOR.Text"});
    form.setGeometry(30, 40, 300, 200);
    s->SaveStored();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const std::string size = "(" + std::to_string(screen->geometry().width()) + "x"
                             + std::to_string(screen->geometry().height()) + ")";
    const std::string ppi = std::to_string(qRound(screen->logicalDotsPerInch()));
    EXPECT_EQ(bytes(), "[S]\nFlags=0\nShowCmd=1\nPixelsPerInch=" + ppi + "\nMinMaxPos" + size
                           + "=-1,-1,-1,-1\nMinMaxPos=-1,-1,-1,-1\nNormPos" + size
                           + "=30,40,330,240\nNormPos=30,40,330,240\nVisible=0\nedtAUTHOR_Text=\n");
}

TEST_F(FormStorageTest, PlacementIsAppliedOnlyAsOptionsAndResolutionAllow)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const std::string size = "(" + std::to_string(screen->geometry().width()) + "x"
                             + std::to_string(screen->geometry().height()) + ")";
    const std::string ppi = std::to_string(qRound(screen->logicalDotsPerInch()));
    const struct {
        std::string file;
        FormStorage::Options options;
        QRect expected;
    } cases[] = {
        {"PixelsPerInch=" + ppi + "\nNormPos=1,1,2,2\nNormPos" + size + "=50,60,450,360\n",
         FormStorage::fpPosition, QRect(50, 60, 400, 300)},
        {"NormPos=50 60,450 360\n", FormStorage::fpPosition, QRect(50, 60, 400, 300)},
        {"NormPos=70,80\n", FormStorage::fpPosition, QRect(70, 80, 260, 160)},
        {"PixelsPerInch=1\nNormPos=50,60,450,360\n", FormStorage::fpPosition, QRect(30, 40, 300, 200)},
        {"NormPos=450,60,50,360\n", FormStorage::fpPosition, QRect(30, 40, 300, 200)},
        {"NormPos=50,60,450,360\n", {}, QRect(30, 40, 300, 200)},
        {"NormPos=50,60,450,360\nShowCmd=3\n", FormStorage::fpState, QRect(30, 40, 300, 200)},
    };
    for (const auto &c : cases) {
        TestForm w;
        w.setGeometry(30, 40, 300, 200);
        auto *s = storage(&w, {});
        s->setOptions(c.options);
        setFile("[S]\n" + c.file);
        s->RestoreStored();
        EXPECT_EQ(w.geometry(), c.expected) << c.file;
        EXPECT_EQ(bool(w.windowState() & Qt::WindowMaximized), c.file.find("ShowCmd=3") != std::string::npos);
    }
}

TEST_F(FormStorageTest, FixedSizeWindowKeepsItsSize)
{
    TestForm w;
    w.setFixedSize(300, 200);
    auto *s = storage(&w, {});
    s->setOptions(FormStorage::fpPosition);
    setFile("[S]\nNormPos=50,60,450,360\n");
    s->RestoreStored();
    EXPECT_EQ(w.geometry(), QRect(50, 60, 300, 200));
}

TEST_F(FormStorageTest, UnwritableFileGivesUnableToWriteAndKeepsOldFile)
{
    auto *missing = storage(&form, {"edtAUTHOR.Text"}, "nofolder/s.ini");
    try {
        missing->SaveStored();
        FAIL() << "no error";
    } catch (const tl::AppError &e) {
        EXPECT_EQ(QString::fromStdString(e.what()), "Unable to write to " + path("nofolder/s.ini"));
    }
    EXPECT_FALSE(missing->saved());

    // A write cut short (the file-size limit stands in for a full disk).
    setFile("[S]\nedtAUTHOR_Text=old\n");
    auto *s = storage(&form, {"StrEND.Strings"});
    form.StrEND->strings = QStringList(200, QString(100, 'x'));
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_THROW(s->SaveStored(), tl::AppError);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(bytes(), "[S]\nedtAUTHOR_Text=old\n");
}

TEST_F(FormStorageTest, PropertiesAreFoundWithoutRegardToCase)
{
    auto *s = storage(&form, {" edtauthor . TEXT ", "pathMAIN.NoSuchProperty", "noSuchControl.Text",
                              "pnlLEVY.Width", "pnlFIXED.width"});
    form.edtAUTHOR->setText("a");
    s->install();
    EXPECT_EQ(s->StoredProps(),
              QStringList({" edtauthor . TEXT ", "pathMAIN.NoSuchProperty", "pnlLEVY.Width", "pnlFIXED.width"}));
    s->SaveStored();
    EXPECT_NE(bytes().find("\nedtauthor_TEXT=a\n"), std::string::npos);
    EXPECT_EQ(bytes().find("NoSuchProperty"), std::string::npos);
    EXPECT_EQ(key("pnlFIXED_width"), "161");

    form.resize(600, 400);
    form.show();
    setFile("[S]\npnlLEVY_Width=200\npnlFIXED_Width=180\nedtAUTHOR_Text=b\n");
    s->RestoreStored();
    EXPECT_EQ(form.edtAUTHOR->text(), "b");
    EXPECT_EQ(form.pnlLEVY->width(), 200);
    EXPECT_EQ(form.pnlFIXED->width(), 180);
}

TEST_F(FormStorageTest, SectionDefaultsToTheWindowClassName)
{
    auto *s = storage(&form, {});
    s->setIniSection(QString());
    s->SaveStored();
    EXPECT_EQ(bytes().rfind("[TestForm]\n", 0), 0u);
    s->setWindowClassName("TForm1");
    s->SaveStored();
    EXPECT_EQ(tl::iniReadString(path().toStdString(), "TForm1", "Visible", ""), "0");
}

// The project storage is declared before the settings storage: on show the
// settings restore first, then the project, then the window's own handler;
// on close the window decides, then the project saves, then the settings.
class StorageChain : public FormStorageTest {
protected:
    void SetUp() override
    {
        FormStorageTest::SetUp();
        setFile("[TForm1]\nrec_B=b\n", "p.tvp");
        setFile("[TForm1]\nrec_A=a\n", "main.ini");
        projekt = storage(&form, {"rec.B"}, "p.tvp");
        settings = storage(&form, {"rec.A"}, "main.ini");
        for (auto *s : {projekt, settings}) {
            s->setIniSection("TForm1");
            s->setActive(true);
        }
    }
    FormStorage *projekt = nullptr, *settings = nullptr;
};

TEST_F(StorageChain, InstalledTriggersRunInDeclaredOrder)
{
    projekt->install();
    settings->install();
    form.show();
    EXPECT_EQ(eventLog, QStringList({"set A", "set B", "window show"}));
    eventLog.clear();
    form.refuseClose = true;
    EXPECT_FALSE(form.close());
    EXPECT_EQ(eventLog, QStringList({"window close"}));
    eventLog.clear();
    form.refuseClose = false;
    EXPECT_TRUE(form.close());
    EXPECT_EQ(eventLog, QStringList({"window close", "get B", "get A"}));
    EXPECT_EQ(tl::iniReadString(path("p.tvp").toStdString(), "TForm1", "rec_B", ""), "b");
    EXPECT_EQ(tl::iniReadString(path("main.ini").toStdString(), "TForm1", "Visible", ""), "0");
}

TEST_F(StorageChain, ExplicitCallsGiveTheSameOrderAndSkipInactive)
{
    projekt->setActive(false);
    form.show();
    FormStorage::windowShown(&form);
    FormStorage::windowClosing(&form);
    EXPECT_EQ(eventLog, QStringList({"window show", "set A", "get A"}));
    projekt->setActive(true);
    eventLog.clear();
    FormStorage::windowShown(&form);
    FormStorage::windowClosing(&form);
    EXPECT_EQ(eventLog, QStringList({"set A", "set B", "get B", "get A"}));
}

TEST_F(StorageChain, CloseTimeFailureIsShownAndClosingGoesOn)
{
    QStringList errors;
    settings->setIniFileName(path("nofolder/main.ini"));
    settings->setErrorHandler([&](const QString &m) { errors << m; });
    settings->install();
    form.show();
    EXPECT_TRUE(form.close());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(errors, QStringList{"Unable to write to " + path("nofolder/main.ini")});
    EXPECT_TRUE(eventLog.contains("get B")); // the project was still saved
    EXPECT_EQ(tl::iniReadString(path("p.tvp").toStdString(), "TForm1", "rec_B", ""), "b");
}

TEST_F(StorageChain, DestructionSavesWhatWasNotSavedWithVisibleSet)
{
    auto *w = new TestForm;
    auto *s = storage(w, {"rec.A"}, "main.ini");
    s->setIniSection("TForm1");
    s->setActive(true);
    s->install();
    w->show();
    w->deleteLater();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(tl::iniReadString(path("main.ini").toStdString(), "TForm1", "Visible", ""), "1");

    // Saved at close already: destruction writes nothing more.
    settings->install();
    form.show();
    form.close();
    eventLog.clear();
    FormStorage::windowDestroying(&form);
    EXPECT_TRUE(eventLog.isEmpty());
}

TEST_F(StorageChain, DialogSavesWhenDoneHidesIt)
{
    QDialog dlg;
    auto *list = new QListWidget(&dlg);
    list->setObjectName("lstZNACKY");
    auto *s = storage(&dlg, {"lstZNACKY.Items"});
    s->setActive(true);
    s->install();
    for (int way = 0; way < 3; ++way) {
        dlg.show(); // restores the list saved the time before
        EXPECT_EQ(list->count(), way == 0 ? 0 : 1);
        list->clear();
        list->addItem(QString::number(way));
        if (way == 0)
            dlg.accept();
        else if (way == 1)
            dlg.reject();
        else
            dlg.close();
        EXPECT_EQ(tl::iniReadString(path().toStdString(), "S.lstZNACKY_Items", "Count", ""), "1") << way;
        EXPECT_EQ(tl::iniReadString(path().toStdString(), "S.lstZNACKY_Items", "Item0", ""),
                  QString::number(way).toStdString());
    }
}

} // namespace

#include "formstorage_test.moc"
