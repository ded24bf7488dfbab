#include "publish/replacingfile.h"
#include "publish/wholeupload.h"

#include <cstdio>

namespace tl {

ReplacingFile::ReplacingFile(const std::string &target)
    : m_target(target), m_temp(QFile::decodeName(temporaryNameFor(target).c_str()))
{
}

ReplacingFile::~ReplacingFile()
{
    if (m_committed || !m_temp.isOpen())
        return;
    m_temp.close();
    m_temp.remove();
}

bool ReplacingFile::open()
{
    // What an earlier, killed run left under this name goes first; the new
    // file is then made afresh, never through whatever the name points to.
    QFile::remove(m_temp.fileName());
    return m_temp.open(QIODevice::ReadWrite | QIODevice::NewOnly);
}

bool ReplacingFile::commit()
{
    if (!m_temp.flush() || m_temp.error() != QFileDevice::NoError)
        return false;
    // Keep the permissions of the file being replaced; a new file gets the
    // usual rw-r--r--.
    QFile old(QFile::decodeName(m_target.c_str()));
    QFileDevice::Permissions perms = old.exists()
        ? old.permissions()
        : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
            | QFileDevice::ReadOther;
    m_temp.setPermissions(perms);
    const QByteArray from = QFile::encodeName(m_temp.fileName());
    m_temp.close();
    if (std::rename(from.constData(), m_target.c_str()) != 0) {
        // Closed already, so the destructor would leave it: nothing of a
        // failed download stays behind.
        m_temp.remove();
        return false;
    }
    m_committed = true;
    return true;
}

} // namespace tl
