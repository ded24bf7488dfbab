#include "core/openproject.h"

#include "core/projectfile.h"
#include "core/projects.h"

namespace tl {

QString OpenProject::filePath() const
{
    return isOpen() ? projectFilePath(name_) : QString();
}

void OpenProject::edit(const std::function<void(ProjectSettings &)> &change)
{
    change(settings_);
    emit edited();
}

void OpenProject::setTreeWidth(int width)
{
    settings_.treeWidth = width;
}

void OpenProject::presetSettings(const ProjectSettings &settings)
{
    settings_ = settings;
    if (!isOpen())
        saved_ = settings;
    emit replaced();
}

bool OpenProject::open(const QString &name)
{
    ProjectSettings loaded = settings_;
    const bool read = projectfile::tryLoad(projectFilePath(name), loaded);
    settings_ = loaded;
    saved_ = loaded;
    const bool renamed = name != name_;
    name_ = name;
    emit replaced();
    if (renamed)
        emit nameChanged(name_);
    return read;
}

void OpenProject::close()
{
    if (name_.isEmpty())
        return;
    name_.clear();
    saved_ = settings_;
    emit nameChanged(name_);
}

void OpenProject::save(const std::function<void(IniFile &)> &writePlacement)
{
    const ProjectSettings normalized = settings_.normalized();
    projectfile::save(filePath(), normalized, writePlacement);
    settings_ = normalized;
    saved_ = normalized;
    emit replaced();
}

void OpenProject::saveTreeWidth(const std::function<void(IniFile &)> &writePlacement)
{
    ProjectSettings kept = saved_;
    kept.treeWidth = settings_.treeWidth;
    projectfile::save(filePath(), kept, writePlacement);
    saved_.treeWidth = kept.treeWidth;
}

void OpenProject::revert()
{
    const int width = settings_.treeWidth;
    settings_ = saved_;
    settings_.treeWidth = width;
    emit replaced();
}

bool OpenProject::hasUnsavedChanges() const
{
    if (!isOpen())
        return false;
    ProjectSettings now = settings_;
    now.treeWidth = saved_.treeWidth;
    return !(now == saved_);
}

bool OpenProject::treeWidthChanged() const
{
    return isOpen() && settings_.treeWidth != saved_.treeWidth;
}

void OpenProject::rememberTrustedFingerprint(const QString &fingerprint)
{
    settings_.server.trustedFingerprint = fingerprint;
    saved_.server.trustedFingerprint = fingerprint;
    if (isOpen())
        projectfile::saveTrustedFingerprint(filePath(), fingerprint);
}

} // namespace tl
