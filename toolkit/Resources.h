#pragma once

#include <QByteArray>
#include <QString>

namespace toolkit {

// A resource reference as the layouts write it: "TYPE:name" ("IMG:image_logo", "SMENU:menu_tray",
// "GIF:gif_Loading"), or a bare name with a default type. The type is matched without regard to
// case; a doubled colon ("SMENU::menu_mood_hotkey") is accepted.
struct ResourceRef {
    QString type;  // lower case
    QString name;

    static ResourceRef Parse(const QString& ref, const QString& defaultType);
    // The Qt resource path: ":/<type>/<name>" (the .qrc files give each file an alias without
    // extension under a prefix named after its type).
    QString Path() const;
};

// The bytes of the resource; empty when there is none.
QByteArray LoadResource(const QString& ref, const QString& defaultType);

}  // namespace toolkit
