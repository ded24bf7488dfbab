#include "publish/replacingfile.h"

#include <QFile>
#include <cstdio>

namespace tl {

ReplacingFile::ReplacingFile(const std::string &target)
    : m_target(target), m_temp(QString::fromStdString(target) + ".XXXXXX")
{
    m_temp.setAutoRemove(true);
}

bool ReplacingFile::open() { return m_temp.open(); }

bool ReplacingFile::commit()
{
    if (!m_temp.flush() || m_temp.error() != QFileDevice::NoError)
        return false;
    // Keep the permissions of the file being replaced; a new file gets the
    // usual rw-r--r-- rather than the temporary file's owner-only rights.
    QFile old(QString::fromStdString(m_target));
    QFileDevice::Permissions perms = old.exists()
        ? old.permissions()
        : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
            | QFileDevice::ReadOther;
    m_temp.setPermissions(perms);
    const QByteArray from = QFile::encodeName(m_temp.fileName());
    m_temp.close();
    if (std::rename(from.constData(), QFile::encodeName(QString::fromStdString(m_target))) != 0)
        return false;
    m_temp.setAutoRemove(false);
    return true;
}

} // namespace tl
