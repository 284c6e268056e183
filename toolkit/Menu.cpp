#include "toolkit/Menu.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QXmlStreamReader>
#include <vector>

#include "toolkit/HostWindow.h"
#include "toolkit/Resources.h"
#include "toolkit/Values.h"
#include "toolkit/WindowEnd.h"

namespace toolkit {

namespace {

constexpr const char* kIdKey = "menuId";

int ActionId(const QAction* action) {
    return action ? action->property(kIdKey).toInt() : 0;
}

struct MenuNode {
    QString tag;
    QXmlStreamAttributes attrs;
    QString text;
    std::vector<MenuNode> children;
};

// Reads the element the reader stands on, with its children.
MenuNode ReadNode(QXmlStreamReader& xml) {
    MenuNode node;
    node.tag = xml.name().toString();
    node.attrs = xml.attributes();
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            node.children.push_back(ReadNode(xml));
        } else if (token == QXmlStreamReader::Characters && !xml.isWhitespace()) {
            node.text += xml.text().toString();
        } else if (token == QXmlStreamReader::EndElement) {
            break;
        }
    }
    node.text = node.text.trimmed();
    return node;
}

void Build(const MenuNode& parent, QMenu* menu) {
    for (const MenuNode& n : parent.children) {
        if (n.tag == QLatin1String("sep")) {
            menu->addSeparator();
            continue;
        }
        if (n.tag != QLatin1String("item")) {
            continue;
        }
        QString text = n.attrs.value(QLatin1String("text")).toString();
        if (text.isEmpty()) {
            text = n.text;
        }
        text = ResolveText(text);
        const bool disabled = n.attrs.value(QLatin1String("disable")).toInt() != 0;
        if (!n.children.empty()) {
            QMenu* sub = menu->addMenu(text);
            sub->menuAction()->setEnabled(!disabled);
            Build(n, sub);
            continue;
        }
        QAction* a = menu->addAction(text);
        a->setProperty(kIdKey, n.attrs.value(QLatin1String("id")).toInt());
        const QString check = n.attrs.value(QLatin1String("check")).toString();
        if (!check.isEmpty()) {
            a->setCheckable(true);
            a->setChecked(check.toInt() != 0);
        }
        a->setEnabled(!disabled);
    }
}

QAction* FindIn(const QMenu* menu, int id, QMenu** owner) {
    for (QAction* a : menu->actions()) {
        if (!a->isSeparator() && id != 0 && ActionId(a) == id) {
            if (owner) {
                *owner = const_cast<QMenu*>(menu);
            }
            return a;
        }
        if (QMenu* sub = a->menu()) {
            if (QAction* found = FindIn(sub, id, owner)) {
                return found;
            }
        }
    }
    return nullptr;
}

QAction* ActionAt(const QMenu* menu, int position) {
    const QList<QAction*> actions = menu->actions();
    return (position >= 0 && position < actions.size()) ? actions[position] : nullptr;
}

}  // namespace

CMenu::CMenu() : m_menu(std::make_unique<QMenu>()) {}

CMenu::~CMenu() = default;

bool CMenu::LoadMenu(const QString& ref) {
    const QByteArray xml = LoadResource(ref, QStringLiteral("smenu"));
    if (xml.isEmpty()) {
        qWarning("toolkit: menu %s not found", qUtf8Printable(ref));
        return false;
    }
    return LoadMenuXml(xml);
}

bool CMenu::LoadMenuXml(const QByteArray& data) {
    m_menu = std::make_unique<QMenu>();
    QXmlStreamReader xml(data);
    if (!xml.readNextStartElement()) {
        qWarning("toolkit: empty menu XML");
        return false;
    }
    const MenuNode root = ReadNode(xml);
    if (xml.hasError()) {
        qWarning("toolkit: bad menu XML: %s", qUtf8Printable(xml.errorString()));
        return false;
    }
    Build(root, m_menu.get());
    return true;
}

bool CMenu::InsertItem(int position, int id, const QString& text) {
    if (id == 0 || HasItem(id)) {
        return false;
    }
    auto* a = new QAction(text, m_menu.get());
    a->setProperty(kIdKey, id);
    m_menu->insertAction(ActionAt(m_menu.get(), position), a);
    return true;
}

bool CMenu::InsertSeparator(int position) {
    m_menu->insertSeparator(ActionAt(m_menu.get(), position));
    return true;
}

bool CMenu::InsertSubMenu(int position, const QString& text,
                          const std::vector<std::pair<int, QString>>& items) {
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].first == 0 || HasItem(items[i].first)) {
            return false;
        }
        for (size_t j = 0; j < i; ++j) {
            if (items[j].first == items[i].first) {
                return false;
            }
        }
    }
    auto* sub = new QMenu(text, m_menu.get());
    for (const auto& [id, itemText] : items) {
        sub->addAction(itemText)->setProperty(kIdKey, id);
    }
    m_menu->insertMenu(ActionAt(m_menu.get(), position), sub);
    return true;
}

bool CMenu::RemoveItem(int id) {
    QMenu* owner = nullptr;
    QAction* a = FindIn(m_menu.get(), id, &owner);
    if (!a) {
        return false;
    }
    owner->removeAction(a);
    if (a->parent() == owner) {
        delete a;
    }
    return true;
}

bool CMenu::CheckItem(int id, bool checked) {
    QAction* a = FindItem(id);
    if (!a) {
        return false;
    }
    a->setCheckable(true);
    a->setChecked(checked);
    return true;
}

bool CMenu::EnableItem(int id, bool enabled) {
    QAction* a = FindItem(id);
    if (!a) {
        return false;
    }
    a->setEnabled(enabled);
    return true;
}

bool CMenu::SetItemText(int id, const QString& text) {
    QAction* a = FindItem(id);
    if (!a) {
        return false;
    }
    a->setText(text);
    return true;
}

bool CMenu::IsChecked(int id) const {
    QAction* a = FindItem(id);
    return a && a->isChecked();
}

QList<int> CMenu::ItemIds() const {
    QList<int> ids;
    for (QAction* a : m_menu->actions()) {
        if (!a->isSeparator()) {
            ids.append(ActionId(a));
        }
    }
    return ids;
}

int CMenu::ItemId(const QAction* action) {
    return ActionId(action);
}

QAction* CMenu::FindItem(int id) const {
    return FindIn(m_menu.get(), id, nullptr);
}

int CMenu::TrackPopupMenu(const QPoint& screenPos, QWidget* owner) {
    QPointer<QWidget> guard(owner);
    const int id =
        RunModal(*m_menu, [this, screenPos] { return ActionId(m_menu->exec(screenPos)); });
    if (id != 0 && guard) {
        SendMenuCommand(guard, id);
    }
    return id;
}

}  // namespace toolkit
