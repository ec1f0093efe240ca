#pragma once
// Choosing an acquisition in the reanalysis window's browser, as the operator does: the project
// list, the project, then the acquisition.

#include "app/windows/ui/frm_training.h"

#include <QListWidget>
#include <QString>

namespace reanalysis_test {

// False when the project or the acquisition is not listed.
inline bool chooseAcquisition(ui::FrmTraining& w, const QString& acquisition,
                              const QString& project = QStringLiteral("default")) {
    auto& c = w.controls();
    c.cmd_dir->click();
    const auto projects = c.List_project->findItems(project, Qt::MatchExactly);
    if (projects.size() != 1)
        return false;
    c.List_project->setCurrentItem(projects.first());
    w.OpenProject();
    const auto items = c.List_subproject->findItems(acquisition, Qt::MatchExactly);
    if (items.size() != 1)
        return false;
    c.List_subproject->setCurrentItem(items.first());
    w.SelectAcquisition();
    return true;
}

} // namespace reanalysis_test
