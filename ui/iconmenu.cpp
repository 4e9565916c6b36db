#include "iconmenu.h"

#include "utilities.h"

#include "langbundle.h"
#include "wndmsg.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QRegularExpression>
#include <QWidget>

namespace {

QIcon ProgramIcon(const QString& name)
{
    return name.isEmpty() ? QIcon() : LoadAppIconByName(name);
}

}  // namespace

CIconMenu::CIconMenu() = default;

CIconMenu::~CIconMenu() { DestroyMenu(); }

void CIconMenu::DestroyMenu()
{
    m_menu.reset();
    while (!m_submenus.empty())
        m_submenus.pop_back();
    m_items.clear();
}

bool CIconMenu::LoadMenu(int menuId)
{
    CLanguageBundle* bundle = GetResourceModule();
    if (!bundle || !bundle->IsLoaded())
        return false;
    QFile file(bundle->MenuPath(menuId));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return LoadFromText(QString::fromUtf8(file.readAll()));
}

bool CIconMenu::LoadFromText(const QString& text)
{
    DestroyMenu();
    std::vector<CIconMenu*> stack{this};
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    for (QString line : text.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QString word = line.section(blanks, 0, 0).toUpper();
        const QString rest = line.section(blanks, 1);
        if (stack.empty())
            return false;
        CIconMenu* top = stack.back();
        if (word == QLatin1String("POPUP")) {
            auto sub = std::make_unique<CIconMenu>();
            sub->m_title = rest;
            auto item = std::make_unique<Item>();
            item->text = rest;
            item->submenu = sub.get();
            top->m_items.push_back(std::move(item));
            stack.push_back(sub.get());
            top->m_submenus.push_back(std::move(sub));
        } else if (word == QLatin1String("MENUITEM")) {
            bool ok = false;
            const unsigned id = rest.section(blanks, 0, 0).toUInt(&ok, 0);
            if (!ok)
                return false;
            top->AppendItem(rest.section(blanks, 1), id);
        } else if (word == QLatin1String("SEPARATOR")) {
            top->AppendSeparator();
        } else if (word == QLatin1String("END")) {
            if (stack.size() == 1)
                return false;
            stack.pop_back();
        } else {
            return false;
        }
    }
    return stack.size() == 1;
}

bool CIconMenu::AppendItem(const QString& text, unsigned id, const QString& icon,
                           const QString& selectedIcon, const QString& disabledIcon)
{
    auto item = std::make_unique<Item>();
    item->text = text;
    item->id = id;
    item->icon = icon;
    item->selectedIcon = selectedIcon;
    item->disabledIcon = disabledIcon;
    m_items.push_back(std::move(item));
    Rebuild();
    return true;
}

void CIconMenu::AppendSeparator() { AppendItem(QString(), 0); }

const CIconMenu::Item* CIconMenu::FindItem(unsigned id) const
{
    for (const auto& item : m_items)
        if (!item->submenu && !IsSeparator(*item) && item->id == id)
            return item.get();
    return nullptr;
}

const CIconMenu::Item* CIconMenu::ItemAt(int position) const
{
    return position >= 0 && position < ItemCount() ? m_items[size_t(position)].get() : nullptr;
}

bool CIconMenu::SetItemIcons(unsigned id, const QString& icon, const QString& selectedIcon,
                             const QString& disabledIcon)
{
    auto* item = const_cast<Item*>(FindItem(id));
    if (!item)
        return false;
    item->icon = icon;
    item->selectedIcon = selectedIcon;
    item->disabledIcon = disabledIcon;
    if (item->action)
        item->action->setIcon(MakeIcon(*item));
    return true;
}

bool CIconMenu::ReplaceItem(const QString& text, unsigned id, const QString& icon,
                            const QString& selectedIcon, const QString& disabledIcon)
{
    auto* item = const_cast<Item*>(FindItem(id));
    if (!item)
        return false;
    item->text = text;
    Rebuild();
    return SetItemIcons(id, icon, selectedIcon, disabledIcon);
}

bool CIconMenu::EnableItem(unsigned id, bool enable)
{
    auto* item = const_cast<Item*>(FindItem(id));
    if (!item)
        return false;
    QAction* action = Menu() ? item->action : nullptr;
    if (action)
        action->setEnabled(enable);
    return true;
}

bool CIconMenu::RemoveItem(unsigned id)
{
    for (size_t i = 0; i < m_items.size(); ++i) {
        const Item& item = *m_items[i];
        if (!item.submenu && !IsSeparator(item) && item.id == id) {
            RemoveItemAt(int(i));
            return true;
        }
    }
    return false;
}

void CIconMenu::RemoveItemAt(int position)
{
    if (position < 0 || position >= ItemCount())
        return;
    // Enabled states live in the shown menu; keep them across the rebuild.
    std::vector<bool> enabled;
    for (const auto& item : m_items)
        enabled.push_back(!item->action || item->action->isEnabled());
    m_items.erase(m_items.begin() + position);
    enabled.erase(enabled.begin() + position);
    Rebuild();
    Menu();
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i]->action)
            m_items[i]->action->setEnabled(enabled[i]);
}

bool CIconMenu::IsSeparatorAt(int position) const
{
    const Item* item = ItemAt(position);
    return item && IsSeparator(*item);
}

CIconMenu* CIconMenu::GetSubMenu(int position) const
{
    const Item* item = ItemAt(position);
    return item ? item->submenu : nullptr;
}

QString CIconMenu::ChooseIcon(const Item& item, bool selected, bool disabled)
{
    if (item.icon.isEmpty())
        return QString();
    if (selected && !disabled && !item.selectedIcon.isEmpty())
        return item.selectedIcon;
    if (disabled && !item.disabledIcon.isEmpty())
        return item.disabledIcon;
    return item.icon;
}

QIcon CIconMenu::MakeIcon(const Item& item) const
{
    QIcon icon;
    auto add = [&icon](const QString& name, QIcon::Mode mode) {
        const QIcon source = ProgramIcon(name);
        if (!source.isNull())
            icon.addPixmap(source.pixmap(16, 16), mode);
    };
    add(ChooseIcon(item, false, false), QIcon::Normal);
    add(ChooseIcon(item, true, false), QIcon::Active);
    add(ChooseIcon(item, true, false), QIcon::Selected);
    add(ChooseIcon(item, false, true), QIcon::Disabled);
    return icon;
}

void CIconMenu::Build(QMenu* menu)
{
    for (auto& item : m_items) {
        if (item->submenu) {
            QMenu* sub = item->submenu->Menu();
            sub->setTitle(item->text);
            item->action = menu->addMenu(sub);
        } else if (IsSeparator(*item)) {
            item->action = menu->addSeparator();
        } else {
            item->action = menu->addAction(MakeIcon(*item), item->text);
            item->action->setData(item->id);
        }
    }
}

void CIconMenu::Rebuild()
{
    // The shown menu is refilled, never replaced: a parent that was built
    // already holds this very menu as its submenu, and deleting it would
    // drop the submenu from the parent's popup.
    if (!m_menu)
        return;
    for (auto& item : m_items)
        item->action = nullptr;
    m_menu->clear();
    Build(m_menu.get());
}

QMenu* CIconMenu::Menu()
{
    if (!m_menu) {
        m_menu = std::make_unique<QMenu>();
        m_menu->setTitle(m_title);
        Build(m_menu.get());
    }
    return m_menu.get();
}

unsigned CIconMenu::TrackPopup(const QPoint& at, QWidget* owner)
{
    QAction* chosen = Menu()->exec(at);
    if (!chosen || !chosen->data().isValid())
        return 0;
    const unsigned id = chosen->data().toUInt();
    if (owner)
        SendMessage(owner, 0x0111 /* WM_COMMAND */, id, 0);
    return id;
}
