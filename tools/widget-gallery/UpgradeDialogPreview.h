#pragma once

#include <QString>
#include <QStringList>

// The firmware dialog against an in-process virtual card, driven to one of its states:
// "upgrade-available", "upgrade-uptodate", "upgrade-writing", "upgrade-failed" (failed after the
// card was touched). With a path, writes its picture once the state is reached and quits.
QStringList UpgradePreviewNames();
int PreviewUpgradeDialog(const QString& name, const QString& screenshot);
