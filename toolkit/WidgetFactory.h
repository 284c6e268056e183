#pragma once

#include <QMetaClassInfo>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace toolkit {

// Custom control classes registered under their XML tags, so that code can create a control from
// a tag (the pads of the sound page are created at run time). Layouts themselves are compiled by
// uic and create their controls directly.
using WidgetCreator = std::function<QWidget*(QWidget* parent)>;

void RegisterWidgetClass(const QString& tag, WidgetCreator creator);
QWidget* CreateWidget(const QString& tag, QWidget* parent);
bool IsWidgetClassRegistered(const QString& tag);
// Tags in registration order.
QStringList RegisteredWidgetClasses();

// The control's own tag: the first of its Q_CLASSINFO("xmlTags").
template <typename T>
QString OwnTag() {
    const QMetaObject& m = T::staticMetaObject;
    const int idx = m.indexOfClassInfo("xmlTags");
    return idx < 0 ? QString()
                   : QString::fromLatin1(m.classInfo(idx).value()).section(QLatin1Char(' '), 0, 0);
}

template <typename T>
void RegisterWidgetClass() {
    RegisterWidgetClass(OwnTag<T>(), [](QWidget* parent) -> QWidget* { return new T(parent); });
}

}  // namespace toolkit
