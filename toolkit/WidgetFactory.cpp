#include "toolkit/WidgetFactory.h"

#include <utility>
#include <vector>

namespace toolkit {

namespace {
std::vector<std::pair<QString, WidgetCreator>>& Registry() {
    static std::vector<std::pair<QString, WidgetCreator>> registry;
    return registry;
}
}  // namespace

void RegisterWidgetClass(const QString& tag, WidgetCreator creator) {
    for (auto& entry : Registry()) {
        if (entry.first == tag) {
            entry.second = std::move(creator);
            return;
        }
    }
    Registry().emplace_back(tag, std::move(creator));
}

QWidget* CreateWidget(const QString& tag, QWidget* parent) {
    for (const auto& entry : Registry()) {
        if (entry.first == tag) {
            return entry.second(parent);
        }
    }
    return nullptr;
}

bool IsWidgetClassRegistered(const QString& tag) {
    for (const auto& entry : Registry()) {
        if (entry.first == tag) {
            return true;
        }
    }
    return false;
}

QStringList RegisteredWidgetClasses() {
    QStringList tags;
    for (const auto& entry : Registry()) {
        tags.append(entry.first);
    }
    return tags;
}

}  // namespace toolkit
