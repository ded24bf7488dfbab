// The INI reader and writer: lookup, trimming, quotes, the length cut,
// in-place replacement, section erase, malformed files and failed writes.
#include "core/errors.h"
#include "core/ini.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <iterator>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

using namespace std::string_literals;
using tl::IniFile;

namespace {

std::string readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll().toStdString();
}

void writeFile(const QString &path, const std::string &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

struct ReadCase {
    const char *name;
    std::string file;
    std::string section;
    std::string key;
    std::optional<std::string> expected;
};

class IniRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(IniRead, ReturnsTheValueAReadGives)
{
    const ReadCase &c = GetParam();
    IniFile f;
    f.parse(c.file);
    EXPECT_EQ(f.value(c.section, c.key), c.expected);
    EXPECT_EQ(f.readString(c.section, c.key, "<default>"), c.expected.value_or("<default>"));
}

const std::string longValue(5000, 'x');
const std::string value2047(2047, 'y');

INSTANTIATE_TEST_SUITE_P(
    Cases, IniRead,
    ::testing::Values(
        ReadCase{"SectionAndKeyIgnoreCase", "[TForm1]\nPathMain_Text=c\n", "tform1", "PATHMAIN_TEXT", "c"},
        ReadCase{"BlanksAroundNameSpacesAroundValueTrimmed", "[s]\n  k \t=   two  words  \n", "s", "k", "two  words"},
        ReadCase{"DoubleQuotesStripped", "[s]\nk=\"a b\"\n", "s", "k", "a b"},
        ReadCase{"SingleQuotesStripped", "[s]\nk='x'\n", "s", "k", "x"},
        ReadCase{"OnlyOnePairStripped", "[s]\nk=\"\"x\"\"\n", "s", "k", "\"x\""},
        ReadCase{"QuotedBlanksKept", "[s]\nk=  \"  a  \"  \n", "s", "k", "  a  "},
        ReadCase{"MismatchedQuotesKept", "[s]\nk=\"x'\n", "s", "k", "\"x'"},
        ReadCase{"LoneQuoteKept", "[s]\nk=\"\n", "s", "k", "\""},
        ReadCase{"EmptyValueIsPresent", "[s]\nk=\n", "s", "k", ""},
        ReadCase{"FirstEqualsSplits", "[s]\nk=a=b\n", "s", "k", "a=b"},
        ReadCase{"MissingKey", "[s]\nk=1\n", "s", "other", std::nullopt},
        ReadCase{"MissingSection", "[s]\nk=1\n", "t", "k", std::nullopt},
        ReadCase{"KeyOfAnotherSection", "[s]\nk=1\n[t]\nj=2\n", "t", "k", std::nullopt},
        ReadCase{"KeyBeforeAnySectionIgnored", "k=1\n[s]\n", "s", "k", std::nullopt},
        ReadCase{"EmptyFile", "", "s", "k", std::nullopt},
        ReadCase{"CrLfLineEnds", "[s]\r\nk=v\r\nj=w\r\n", "s", "j", "w"},
        ReadCase{"LastLineWithoutLineEnd", "[s]\nk=v", "s", "k", "v"},
        ReadCase{"FirstOfDuplicateKeys", "[s]\nk=1\nK=2\n", "s", "k", "1"},
        ReadCase{"SecondSectionOfSameName", "[s]\na=1\n[t]\n[S]\nk=2\n", "s", "k", "2"},
        ReadCase{"HeaderBlanksTrimmed", "  [ s ]  \nk=v\n", "s", "k", "v"},
        ReadCase{"HeaderWithoutBracketOpensSection", "[s]\nk=1\n[t\nk=2\n", "t", "k", "2"},
        ReadCase{"HeaderWithoutBracketEndsPrevious", "[s]\n[t\nk=2\n", "s", "k", std::nullopt},
        ReadCase{"LineWithoutEqualsSkipped", "[s]\nnot a key\nk=v\n", "s", "k", "v"},
        ReadCase{"StrayBytesSkipped", "[s]\n\xff\xfe\x80\x01\nk=\xe8\n", "s", "k", "\xe8"},
        ReadCase{"NulInValueKept", "[s]\nk=a\0b\n"s, "s", "k", "a\0b"s},
        ReadCase{"NulLineSkipped", "[s]\n\0\0\0\nk=v\n"s, "s", "k", "v"},
        ReadCase{"LongValueCutTo2047", "[s]\nk=" + longValue + "\n", "s", "k", longValue.substr(0, 2047)},
        ReadCase{"ValueOf2047Whole", "[s]\nk=" + value2047 + "\n", "s", "k", value2047},
        ReadCase{"CutAfterQuotesStripped", "[s]\nk=\"" + value2047 + "\"\n", "s", "k", value2047}),
    [](const ::testing::TestParamInfo<ReadCase> &info) { return std::string(info.param.name); });

struct WriteCase {
    const char *name;
    std::string before;
    std::string section, key, value;
    std::string after;
};

class IniWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(IniWrite, ChangesOnlyWhatItMust)
{
    const WriteCase &c = GetParam();
    IniFile f;
    f.parse(c.before);
    f.writeString(c.section, c.key, c.value);
    EXPECT_EQ(f.serialize(), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniWrite,
    ::testing::Values(
        WriteCase{"NewDocument", "", "s", "k", "v", "[s]\nk=v\n"},
        WriteCase{"ReplaceInPlaceKeepsOrderAndSpelling", "[s]\na=1\nb=2\nc=3\n", "S", "B", "20",
                  "[s]\na=1\nb=20\nc=3\n"},
        WriteCase{"AppendAtEndOfSectionBeforeBlankLines", "[s]\na=1\n\n[t]\nx=1\n", "s", "b", "2",
                  "[s]\na=1\nb=2\n\n[t]\nx=1\n"},
        WriteCase{"AppendToEmptySection", "[s]\n[t]\nx=1\n", "s", "b", "2", "[s]\nb=2\n[t]\nx=1\n"},
        WriteCase{"AppendSectionAtEnd", "[s]\na=1\n", "t", "x", "1", "[s]\na=1\n\n[t]\nx=1\n"},
        WriteCase{"UnknownLinesSurvive", "junk\n[s]\nnot a key\n\xff\xfe\na=1\n;note\n\0z\n"s, "s", "a", "2",
                  "junk\n[s]\nnot a key\n\xff\xfe\na=2\n;note\n\0z\n"s},
        WriteCase{"UnknownLinesSurviveAppend", "[s]\nnot a key\na=1\n;note\n", "s", "b", "2",
                  "[s]\nnot a key\na=1\n;note\nb=2\n"},
        WriteCase{"CrLfFileStaysCrLf", "[s]\r\na=1\r\n", "s", "b", "2", "[s]\r\na=1\r\nb=2\r\n"},
        WriteCase{"MissingFinalLineEndAdded", "[s]\na=1", "s", "a", "2", "[s]\na=2\n"},
        WriteCase{"EmptyValue", "[s]\na=1\n", "s", "a", "", "[s]\na=\n"},
        WriteCase{"LineBreakInValueCannotAddLines", "[s]\n", "s", "k", "a\r\n[x]\nb",
                  "[s]\nk=a  [x] b\n"},
        WriteCase{"HeaderWithoutBracketKept", "[s\na=1\n", "s", "b", "2", "[s\na=1\nb=2\n"},
        WriteCase{"ValueWrittenAsGiven", "[s]\n", "s", "k", "  \"q\"  ", "[s]\nk=  \"q\"  \n"}),
    [](const ::testing::TestParamInfo<WriteCase> &info) { return std::string(info.param.name); });

// Only spaces are trimmed around a value: a tag text stored with a leading or
// trailing tab (or another control character) used to lose it on reading.
TEST(IniRegression, ControlCharactersAroundValueSurviveWriteAndRead)
{
    const std::string values[] = {"\tstart", "end\t", "\t", "\v x \f", "\x01\x1f"};
    IniFile f;
    for (std::size_t i = 0; i < std::size(values); ++i)
        f.writeString("ShortCuts.StrSTART_Strings", "Item" + std::to_string(i), values[i]);
    IniFile again;
    again.parse(f.serialize());
    for (std::size_t i = 0; i < std::size(values); ++i)
        EXPECT_EQ(again.value("ShortCuts.StrSTART_Strings", "Item" + std::to_string(i)), values[i]);
    // Spaces still go, also next to a kept tab.
    again.parse("[s]\nk=  \tv\t  \n");
    EXPECT_EQ(again.value("s", "k"), "\tv\t");
}

// A file whose first line ends in LF alone used to lose one CR from every
// line ending in CR CR LF (and the CR of every CR LF line) on each save.
TEST(IniRegression, SavingNeverDropsCarriageReturnsOfAnotherLineEnd)
{
    const std::string before = "[s]\na=1\r\r\nb=2\r\nc\r=3\n\r\n[t]\r\nx=\r\r\ry";
    IniFile f;
    f.parse(before);
    EXPECT_EQ(f.serialize(), before);
    EXPECT_EQ(f.value("s", "a"), "1\r");
    EXPECT_EQ(f.value("s", "b"), "2");
    EXPECT_EQ(f.value("t", "x"), "\r\r\ry");
    std::string bytes = before;
    for (int save = 0; save < 3; ++save) {
        IniFile g;
        g.parse(bytes);
        g.writeString("u", "k", std::to_string(save));
        bytes = g.serialize();
    }
    // Three saves later every line that was there is there byte for byte;
    // the unterminated last line got a line end that keeps its own CR.
    EXPECT_EQ(bytes, "[s]\na=1\r\r\nb=2\r\nc\r=3\n\r\n[t]\r\nx=\r\r\ry\n\n[u]\nk=2\n");
    IniFile h;
    h.parse("[s]\nk=v\r");
    h.writeString("s", "j", "w");
    EXPECT_EQ(h.serialize(), "[s]\nk=v\r\r\nj=w\n");
    h.parse(h.serialize());
    EXPECT_EQ(h.value("s", "k"), "v\r");
}

TEST(IniErase, RemovesHeaderAndEverythingUpToNextSection)
{
    IniFile f;
    f.parse("[s]\na=1\n[T]\nx=1\njunk\n\n[u]\nz=1\n[t]\ny=2\n");
    f.eraseSection("t");
    EXPECT_EQ(f.serialize(), "[s]\na=1\n[u]\nz=1\n");
    EXPECT_FALSE(f.hasSection("T"));
    f.eraseSection("missing");
    EXPECT_EQ(f.serialize(), "[s]\na=1\n[u]\nz=1\n");
}

TEST(IniErase, EraseThenWriteRebuildsSectionAtEnd)
{
    IniFile f;
    f.parse("[s.list]\nCount=2\nItem0=a\nItem1=b\n[s]\nk=1\n");
    f.eraseSection("s.list");
    f.writeString("s.list", "Count", "1");
    EXPECT_EQ(f.serialize(), "[s]\nk=1\n\n[s.list]\nCount=1\n");
}

class IniFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    std::string spath(const QString &name) const { return path(name).toStdString(); }
};

TEST_F(IniFiles, MissingFileGivesDefaultsAndIsCreatedByAWrite)
{
    const std::string p = spath("new.ini");
    EXPECT_EQ(tl::iniReadString(p, "s", "k", "def"), "def");
    tl::iniWriteString(p, "s", "k", "v");
    EXPECT_EQ(readFile(path("new.ini")), "[s]\nk=v\n");
}

TEST_F(IniFiles, EveryOperationReadsTheFileAgain)
{
    const std::string p = spath("shared.ini");
    tl::iniWriteString(p, "s", "k", "1");
    EXPECT_EQ(tl::iniReadString(p, "s", "k", ""), "1");
    // Another program (or another storage) changes the file in between.
    writeFile(path("shared.ini"), "[s]\nk=2\nother=x\n");
    EXPECT_EQ(tl::iniReadString(p, "s", "k", ""), "2");
    tl::iniWriteString(p, "s", "k", "3");
    EXPECT_EQ(readFile(path("shared.ini")), "[s]\nk=3\nother=x\n");
}

TEST_F(IniFiles, EraseSectionOnDisk)
{
    writeFile(path("e.ini"), "[a]\nx=1\n[b]\ny=2\n");
    tl::iniEraseSection(spath("e.ini"), "A");
    EXPECT_EQ(readFile(path("e.ini")), "[b]\ny=2\n");
}

TEST_F(IniFiles, FileInMissingFolderGivesUnableToWrite)
{
    const std::string p = spath("nofolder/x.ini");
    try {
        tl::iniWriteString(p, "s", "k", "v");
        FAIL() << "no error";
    } catch (const tl::AppError &e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + p);
    }
}

TEST_F(IniFiles, FolderInPlaceOfFileIsNotReplaced)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.ini"));
    EXPECT_THROW(tl::iniWriteString(spath("taken.ini"), "s", "k", "v"), tl::AppError);
    EXPECT_TRUE(QFileInfo(path("taken.ini")).isDir());
}

TEST_F(IniFiles, ReadOnlyFileIsNotReplaced)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "the superuser may write any file";
    writeFile(path("ro.ini"), "[s]\nk=old\n");
    QFile::setPermissions(path("ro.ini"), QFileDevice::ReadOwner);
    EXPECT_THROW(tl::iniWriteString(spath("ro.ini"), "s", "k", "new"), tl::AppError);
    EXPECT_EQ(readFile(path("ro.ini")), "[s]\nk=old\n");
}

TEST_F(IniFiles, UnreadableFileIsNotReplacedByAnEmptyOne)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "the superuser may read any file";
    writeFile(path("nr.ini"), "[s]\nk=old\n[keep]\nx=1\n");
    QFile::setPermissions(path("nr.ini"), QFileDevice::WriteOwner);
    EXPECT_EQ(tl::iniReadString(spath("nr.ini"), "s", "k", "def"), "def");
    EXPECT_THROW(tl::iniWriteString(spath("nr.ini"), "s", "k", "new"), tl::AppError);
    QFile::setPermissions(path("nr.ini"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(readFile(path("nr.ini")), "[s]\nk=old\n[keep]\nx=1\n");
}

// A disk that fills up in the middle of the write: the file-size limit stops
// the write after a few bytes. The old file must stay whole and no
// temporary file may be left behind.
TEST_F(IniFiles, FailedWriteLeavesOldFileIntact)
{
    const std::string old = "[s]\nk=old\n";
    writeFile(path("full.ini"), old);
    IniFile f = IniFile::load(spath("full.ini"));
    f.writeString("s", "k", std::string(100000, 'n'));

    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool threw = false;
    std::string message;
    try {
        f.save();
    } catch (const tl::AppError &e) {
        threw = true;
        message = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(threw);
    EXPECT_EQ(message, "Unable to write to " + spath("full.ini"));
    EXPECT_EQ(readFile(path("full.ini")), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"full.ini"});
}

TEST_F(IniFiles, VeryLongLineAndBinaryGarbageReadWithoutCrash)
{
    std::string bytes = "[s]\nlong=" + std::string(3 * 1024 * 1024, 'z') + "\n";
    for (int b = 0; b < 256; ++b)
        bytes += static_cast<char>(b);
    bytes += "\n[t\nk=v\n";
    writeFile(path("big.ini"), bytes);
    EXPECT_EQ(tl::iniReadString(spath("big.ini"), "s", "long", "").size(), 2047u);
    EXPECT_EQ(tl::iniReadString(spath("big.ini"), "t", "k", ""), "v");
    tl::iniWriteString(spath("big.ini"), "s", "new", "1");
    const std::string after = readFile(path("big.ini"));
    // Everything that was there is still there, byte for byte.
    EXPECT_NE(after.find(bytes.substr(0, bytes.size() - 8)), std::string::npos);
    EXPECT_EQ(tl::iniReadString(spath("big.ini"), "s", "new", ""), "1");
}

} // namespace
