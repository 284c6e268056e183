#pragma once

#include <QPoint>
#include <QString>
#include <memory>
#include <utility>
#include <vector>

class QAction;
class QMenu;
class QWidget;

namespace toolkit {

// A pop-up menu built from an XML resource ("SMENU:menu_tray" is :/smenu/menu_tray):
//   <menu> <item id="7">Show</item> <sep/> <item id="8" check="1">..</item>
//          <item text="More"> <item id="20">..</item> </item> </menu>
// Items carry numeric command ids; "check" makes an item checkable (1 checked), "disable" 1
// greys it out. Items can be inserted, removed, checked and enabled before the menu is shown.
class CMenu {
public:
    CMenu();
    ~CMenu();
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    // False when the resource is missing or not a well-formed menu.
    bool LoadMenu(const QString& ref);
    bool LoadMenuXml(const QByteArray& xml);

    // Inserts before the item at position (top level; -1 appends). False when id is taken.
    bool InsertItem(int position, int id, const QString& text);
    bool InsertSeparator(int position);
    // Inserts a submenu of (id, text) items before the item at position (-1 appends). False
    // when an id is 0 or taken; nothing is inserted then.
    bool InsertSubMenu(int position, const QString& text,
                       const std::vector<std::pair<int, QString>>& items);
    bool RemoveItem(int id);
    bool CheckItem(int id, bool checked);
    bool EnableItem(int id, bool enabled);
    bool SetItemText(int id, const QString& text);
    bool HasItem(int id) const { return FindItem(id) != nullptr; }
    bool IsChecked(int id) const;
    // Command ids of the top-level items in order; separators are left out.
    QList<int> ItemIds() const;
    QAction* FindItem(int id) const;
    // The command id of an item of a menu built here (0 for others).
    static int ItemId(const QAction* action);
    QMenu* Native() const { return m_menu.get(); }

    // Shows the menu at a screen point and waits for the choice. The chosen command id is
    // returned (0 when the menu was dismissed); with an owner window it is also delivered to that
    // window as a menu command (SendMenuCommand), never as a control event. The wait counts as a
    // modal loop (WindowEnd.h), so the program's end closes the menu first.
    int TrackPopupMenu(const QPoint& screenPos, QWidget* owner = nullptr);

private:
    std::unique_ptr<QMenu> m_menu;
};

}  // namespace toolkit
