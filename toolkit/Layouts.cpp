#include "toolkit/Layouts.h"

#include <QHash>

#include "toolkit/Resources.h"
#include "toolkit/Values.h"

namespace toolkit {

namespace {
QHash<QString, LayoutSetup>& Registry() {
    static QHash<QString, LayoutSetup> registry;
    return registry;
}
}  // namespace

void RegisterLayout(const QString& name, LayoutSetup setup) {
    Registry().insert(ResourceRef::Parse(name, QStringLiteral("layout")).name, std::move(setup));
}

bool BuildLayout(const QString& name, QWidget* root) {
    auto it = Registry().constFind(ResourceRef::Parse(name, QStringLiteral("layout")).name);
    if (it == Registry().constEnd() || !root) {
        return false;
    }
    // Layouts include others; the references are resolved once, when the outermost is built.
    static int depth = 0;
    ++depth;
    (*it)(root);
    if (--depth == 0) {
        ResolveValues(root);
    }
    return true;
}

bool HasLayout(const QString& name) {
    return Registry().contains(ResourceRef::Parse(name, QStringLiteral("layout")).name);
}

QStringList RegisteredLayouts() {
    return Registry().keys();
}

}  // namespace toolkit
