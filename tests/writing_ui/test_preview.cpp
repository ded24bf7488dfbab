// The Preview command: the open post, saved or not, served on 127.0.0.1 at
// the address opened in the browser, and the page following the text as it
// is typed and the post once saved.
#include "writingfixture.h"

#include "preview/previewsession.h"
#include "ui/generator/mainpageopener.h"
#include "ui/preview/previewcontroller.h"

#include <QEventLoop>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QToolButton>

using namespace tl;
using namespace tl::test;

namespace {

class Preview : public WritingWindow {
protected:
    void SetUp() override
    {
        WritingWindow::SetUp();
        setPageOpener([this](const QString &address) {
            opened << address;
            return true;
        });
    }
    void TearDown() override
    {
        setPageOpener({});
        WritingWindow::TearDown();
    }

    // The body of a page the server gives, as a browser asks for it.
    QByteArray fetch(const QString &address)
    {
        QNetworkAccessManager net;
        QNetworkReply *reply = net.get(QNetworkRequest(QUrl(address)));
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        const QByteArray body = reply->isFinished() ? reply->readAll() : QByteArray();
        EXPECT_EQ(reply->error(), QNetworkReply::NoError) << reply->errorString().toStdString();
        delete reply;
        return body;
    }
    // Fetches the page until it holds `text` (the page follows after a pause).
    bool pageShows(const QString &address, const QByteArray &text)
    {
        for (int i = 0; i < 40; ++i) {
            if (fetch(address).contains(text))
                return true;
            QTest::qWait(50);
        }
        return false;
    }

    QStringList opened;
};

TEST_F(Preview, ServesTheOpenUnsavedPostAndFollowsItsTextAndItsSave)
{
    edit(kPost, 0);
    control<QLineEdit>(*w, "edtNADPIS")->setText(QStringLiteral("Storm warning"));
    editor()->insertPlainText(QStringLiteral("Gale tonight. "));
    // The button above the editor is the command's.
    bool onStrip = false;
    for (QToolButton *b : w->findChildren<QToolButton *>())
        onStrip = onStrip || b->defaultAction() == act("actPREVIEW");
    EXPECT_TRUE(onStrip);

    act("actPREVIEW")->trigger();
    ASSERT_TRUE(prompts().errors().isEmpty()) << prompts().errors().join('\n').toStdString();
    ASSERT_EQ(opened.size(), 1);
    const QString address = opened.first();
    EXPECT_TRUE(address.startsWith("http://127.0.0.1:")) << address.toStdString();
    EXPECT_TRUE(address.endsWith("/archiv/2003-04_030001.html")) << address.toStdString();
    const QByteArray page = fetch(address);
    EXPECT_TRUE(page.contains("Storm warning")) << page.toStdString();
    EXPECT_TRUE(page.contains("Gale tonight. Waves <b>high</b>."));
    EXPECT_EQ(fileBytes(data + "/" + kPost), "Sea\r\nWaves <b>high</b>.\r\n") << "nothing saved";

    // Typing reaches the page once it pauses.
    editor()->insertPlainText(QStringLiteral("Stay in. "));
    EXPECT_TRUE(pageShows(address, "Gale tonight. Stay in. Waves"));

    // Saved: the page is the generated one, with the saved text.
    act("actSAVE")->trigger();
    ASSERT_FALSE(w->posts().isPostOpen());
    ASSERT_TRUE(w->preview().session().waitForSite(10000));
    EXPECT_TRUE(pageShows(address, "Gale tonight. Stay in. Waves"));
    EXPECT_TRUE(w->preview().session().isRunning());

    // Another project: the server stops.
    w->project().close();
    EXPECT_FALSE(w->preview().session().isRunning());
}

} // namespace
