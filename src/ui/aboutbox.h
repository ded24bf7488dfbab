#pragma once
#include <QDialog>
#include <QIcon>
#include <QPixmap>
#include <QStringList>
#include <functional>
#include <string>

class QLabel;
class QFrame;
class QPushButton;
class QTimer;

namespace tl {

// Makes the program's compiled-in pictures (icons, credits picture) available;
// the resources live in a static library, so they are registered explicitly.
// Safe to call any number of times.
void initProgramResources();

// The program's icon, in the sizes it is drawn in.
QIcon programIcon();

// The credits panel of the About dialog: a picture at the top and, below it,
// centred lines in raised lettering that scroll upwards one pixel per tick
// (a tick every 30 ms) and start again from the bottom once all have passed.
// A click on it stops it and hides it.
class CreditsPanel : public QWidget {
    Q_OBJECT
public:
    explicit CreditsPanel(QWidget *parent = nullptr);

    // Shows the panel over its parent and starts scrolling from the bottom.
    void start();
    // Stops scrolling and hides the panel.
    void stop();
    bool running() const;

    // One step of the scroll (what the timer does every 30 ms).
    void tick();

    // Top of the first line, relative to the top of the text area.
    int scrollOffset() const { return offset_; }
    // The area below the picture in which the lines scroll.
    QRect textArea() const;
    // Height of all lines together.
    int textHeight() const;

    QStringList lines() const { return lines_; }
    static constexpr int kTickMs = 30;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;

private:
    QPixmap picture_;
    QStringList lines_;
    QTimer *timer_;
    int offset_ = 0;
};

// The About dialog: the program's icon, name, version, build and the date of
// the program file, read from the given file each time a dialog is made.
// Clicking the icon shows the credits panel.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget *parent = nullptr, const std::string &programFile = std::string());

    // Shows the dialog modally.
    int showModal();

    // Replaces the modal showing (tests look at the dialog and close it
    // instead of waiting on a real one). An empty hook restores the real one.
    using ShowHook = std::function<int(AboutBox &)>;
    static void setShowHook(ShowHook hook);

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    QFrame *panel_ = nullptr;
    QLabel *iconLabel_ = nullptr;
    QLabel *nameLabel_ = nullptr;
    QLabel *versionLabel_ = nullptr;  // product version text
    QLabel *buildLabel_ = nullptr;    // file version text
    QLabel *dateLabel_ = nullptr;     // date of the program file
    QLabel *commentsLabel_ = nullptr;
    QLabel *commentsLabel2_ = nullptr;
    QPushButton *okButton_ = nullptr;
    CreditsPanel *credits_ = nullptr;
};

} // namespace tl
