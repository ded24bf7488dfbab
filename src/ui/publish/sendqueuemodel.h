#pragma once
// The send queue as the FTP tab's list shows it: the site files first, then
// the post files, each named by its place below the main folder or as a post
// of its date, with its full path as tooltip and as the item's data.
#include <QAbstractListModel>
#include <QStringList>

namespace tl {

class SendQueue;

class SendQueueModel : public QAbstractListModel {
    Q_OBJECT
public:
    // Qt::UserRole of a row: the file's full path.
    static constexpr int PathRole = Qt::UserRole;

    explicit SendQueueModel(const SendQueue &queue, QObject *parent = nullptr);

    // The queue changed: the rows follow it.
    void refresh();
    // The full path of a row ("" for none).
    QString pathAt(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    const SendQueue &queue_;
    QStringList site_;
    QStringList posts_;
    QString mainFolder_;
};

} // namespace tl
