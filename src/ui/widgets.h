#pragma once
// Small controls whose properties carry the names the settings and project
// files use ("ItemIndex", "Text").
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QToolButton;

namespace tl {

// A group of radio buttons with one choice selected by index; -1 selects none.
// The buttons stand one under the other, or side by side.
class RadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(int ItemIndex READ itemIndex WRITE setItemIndex)
public:
    RadioGroup(const QString &title, const QStringList &items, QWidget *parent = nullptr,
        Qt::Orientation orientation = Qt::Vertical);
    int itemIndex() const;
    // Below -1 becomes -1 (nothing chosen); beyond the last choice becomes
    // the last choice, or the one setBeyondLastIndex names.
    void setItemIndex(int index);
    // For a group whose later choices were added after the last one:
    // numbers beyond the last choice keep selecting what they always did.
    void setBeyondLastIndex(int index) { beyondLast_ = index; }
    int count() const;

signals:
    void itemIndexChanged(int index);

private:
    QButtonGroup *group_;
    int count_;
    int beyondLast_ = -2; // -2: the last choice
};

// A one-line field with a "..." button that picks a folder or a file.
class PathEdit : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Text READ text WRITE setText)
public:
    enum Mode { Folder, File };
    PathEdit(Mode mode, QWidget *parent = nullptr);
    QString text() const;
    void setText(const QString &t);
    void setFilter(const QString &filter) { filter_ = filter; }
    QString filter() const { return filter_; }
    void setInitialDir(const QString &dir) { initialDir_ = dir; }
    QString initialDir() const { return initialDir_; }
    Mode mode() const { return mode_; }

signals:
    // Asks the owner to show a picker (the owner routes it through its prompts).
    void browseRequested(tl::PathEdit *self);
    void textChanged(const QString &text);

private:
    Mode mode_;
    QLineEdit *edit_;
    QToolButton *button_;
    QString filter_;
    QString initialDir_;
};

// A combo box with a "Text" property (the typed or chosen text).
class ComboBox : public QComboBox {
    Q_OBJECT
    Q_PROPERTY(QString Text READ text WRITE setText)
public:
    explicit ComboBox(QWidget *parent = nullptr);
    QString text() const { return currentText(); }
    void setText(const QString &t);
    // Keeps the entries sorted without regard to letter case.
    void addSorted(const QString &item);
};

} // namespace tl
