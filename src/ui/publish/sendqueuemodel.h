#pragma once
// The send queue as the Publishing tab's list shows it: the site files first,
// then the post files, each named by its place below the main folder or as a
// post of its date, with its full path as tooltip and as the item's data;
// then, set apart in colour and slant, what the next send removes from the
// server ("remove www/archive/2023-12.html"), by its remote name.
#include <QAbstractListModel>
#include <QStringList>
#include <string>
#include <vector>

namespace tl {

class SendQueue;

class SendQueueModel : public QAbstractListModel {
    Q_OBJECT
public:
    // Qt::UserRole of a row: the file's full path ("" for a removal).
    static constexpr int PathRole = Qt::UserRole;
    // The remote name a removal row removes ("" for a file to send).
    static constexpr int RemovalRole = Qt::UserRole + 1;

    explicit SendQueueModel(const SendQueue &queue, QObject *parent = nullptr);

    // The queue changed: the rows follow it, with these removals (remote
    // names as the server has them).
    void refresh(const std::vector<std::string> &removals);
    // The full path of a row ("" for none, and for a removal).
    QString pathAt(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    const SendQueue &queue_;
    QStringList site_;
    QStringList posts_;
    QStringList removals_;
    QString mainFolder_;
};

} // namespace tl
