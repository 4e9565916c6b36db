// Popup menus whose items show a 16 x 16 icon left of the text, with their
// own pictures while selected or disabled. Built from a menu of the language
// bundle (menus/<id>.txt):
//
//   # comment
//   POPUP <text>              a submenu, up to its END
//   MENUITEM <id> <text>      a command (id decimal or 0x hexadecimal)
//   SEPARATOR
//   END
//
// The file's top level is a menu bar; the screens take its first submenu.
#pragma once

#include <QIcon>
#include <QList>
#include <QPoint>
#include <QString>

#include <memory>
#include <vector>

class QAction;
class QMenu;
class QWidget;

class CIconMenu {
public:
    struct Item {
        QString text;  // the full text, whatever its length
        QString icon, selectedIcon, disabledIcon;
        unsigned id = 0;  // the full command id
        QAction* action = nullptr;
        CIconMenu* submenu = nullptr;
    };

    CIconMenu();
    ~CIconMenu();
    CIconMenu(const CIconMenu&) = delete;
    CIconMenu& operator=(const CIconMenu&) = delete;

    // Loads the bundle's menu `menuId`; false when it is missing or malformed.
    bool LoadMenu(int menuId);
    // Builds from menu text in the form above.
    bool LoadFromText(const QString& text);
    void DestroyMenu();

    bool AppendItem(const QString& text, unsigned id, const QString& icon = QString(),
                    const QString& selectedIcon = QString(), const QString& disabledIcon = QString());
    void AppendSeparator();
    // False (nothing changed) when no item has that id.
    bool SetItemIcons(unsigned id, const QString& icon, const QString& selectedIcon,
                      const QString& disabledIcon);
    bool ReplaceItem(const QString& text, unsigned id, const QString& icon,
                     const QString& selectedIcon, const QString& disabledIcon);
    bool EnableItem(unsigned id, bool enable);
    bool RemoveItem(unsigned id);
    void RemoveItemAt(int position);
    bool IsSeparatorAt(int position) const;
    int ItemCount() const { return int(m_items.size()); }
    const Item* FindItem(unsigned id) const;
    const Item* ItemAt(int position) const;
    // The submenu at `position`; null when that item is not a submenu.
    CIconMenu* GetSubMenu(int position) const;

    // The icon an item shows: the selected or disabled picture when the item
    // is in that state and has one, else its normal picture.
    static QString ChooseIcon(const Item& item, bool selected, bool disabled);
    // Item heights: separators are thinner than the 16-pixel items.
    static int MeasureItemHeight(const Item& item) { return IsSeparator(item) ? 10 : 16; }
    static bool IsSeparator(const Item& item) { return !item.submenu && (item.text.isEmpty() || item.id == 0); }

    // Shows the menu at `at` (screen position) and returns the chosen
    // command id (0 when none); the id is also sent to `owner` as a command.
    unsigned TrackPopup(const QPoint& at, QWidget* owner);
    // The menu as shown (built on demand).
    QMenu* Menu();

private:
    void Build(QMenu* menu);
    // Refills the shown menu (when built) after the items changed.
    void Rebuild();
    QIcon MakeIcon(const Item& item) const;

    std::vector<std::unique_ptr<Item>> m_items;
    std::vector<std::unique_ptr<CIconMenu>> m_submenus;
    std::unique_ptr<QMenu> m_menu;
    QString m_title;
};
