#include "objectlist.h"

#include "engine_host.h"
#include "wndmsg.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdio>

// ---------------------------------------------------------------- item

CObjectListItem::CObjectListItem() = default;
CObjectListItem::~CObjectListItem() = default;
CObjectListItem::CObjectListItem(const CObjectListItem& other) { Copy(other); }

bool CObjectListItem::Load(QString) { return true; }
bool CObjectListItem::Save(QString) { return true; }
int CObjectListItem::GetImage() const { return -1; }
bool CObjectListItem::CanTrash() const { return true; }
bool CObjectListItem::CanModify() const { return true; }

QString CObjectListItem::MakeFileSafeName(const QString& name)
{
    QString safe;
    for (QChar c : name) {
        if (c.unicode() < 32 || c.unicode() == 127)
            continue;
        safe += (c == QLatin1Char('/') || c == QLatin1Char('\\')) ? QLatin1Char('_') : c;
    }
    for (qsizetype i = safe.indexOf(QLatin1String("..")); i >= 0; i = safe.indexOf(QLatin1String(".."), i))
        safe[i + 1] = QLatin1Char('_');
    if (safe.startsWith(QLatin1Char('.')))
        safe[0] = QLatin1Char('_');
    if (safe.isEmpty())
        safe = QStringLiteral("_");
    return safe;
}

void CObjectListItem::Reset()
{
    m_strText.clear();
    m_strName.clear();
    m_strText2.clear();
    m_strFilePath.clear();
    m_nIndex = -1;
}

void CObjectListItem::SetName(const QString& name, bool capitalise)
{
    m_strName = name;
    if (capitalise && !m_strName.isEmpty())
        m_strName[0] = m_strName[0].toUpper();
}

void CObjectListItem::Copy(const CObjectListItem& other)
{
    if (&other == this)
        return;
    Reset();
    m_strText = other.m_strText;
    m_strName = other.m_strName;
    m_strText2 = other.m_strText2;
    m_strFilePath = other.m_strFilePath;
    m_nIndex = other.m_nIndex;
}

CObjectListItem& CObjectListItem::operator=(const CObjectListItem& other)
{
    Copy(other);
    return *this;
}

bool CObjectListItem::IsEqual(const CObjectListItem& other) const
{
    auto same = [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) == 0;
    };
    return same(m_strText, other.m_strText) && same(m_strName, other.m_strName) &&
           same(m_strText2, other.m_strText2) && same(m_strFilePath, other.m_strFilePath) &&
           m_nIndex == other.m_nIndex;
}

// ---------------------------------------------------------------- list

CQXObjectList::CQXObjectList() = default;
CQXObjectList::~CQXObjectList() { RemoveAll(); }

bool CQXObjectList::LoadFile(QString, QString) { return true; }

void CQXObjectList::CapitalizeName(CObjectListItem* item)
{
    if (item && !item->m_strName.isEmpty())
        item->m_strName[0] = item->m_strName[0].toUpper();
}

int CQXObjectList::AddSorted(CObjectListItem* item)
{
    if (!item || FindByName(item->m_strName))
        return -1;
    const QString key = item->m_strName.toUpper();
    int pos = 0;
    auto it = m_items.begin();
    for (; it != m_items.end(); ++it, ++pos)
        if ((*it)->m_strName.toUpper() > key)
            break;
    CapitalizeName(item);
    m_items.insert(it, item);
    GetCount();
    return pos;
}

int CQXObjectList::AddTail(CObjectListItem* item)
{
    if (!item)
        return GetCount();
    CapitalizeName(item);
    m_items.push_back(item);
    return GetCount();
}

void CQXObjectList::Erase(Position pos, bool deleteFile)
{
    CObjectListItem* item = *pos;
    if (deleteFile && !item->m_strFilePath.isEmpty())
        std::remove(QFile::encodeName(item->m_strFilePath).constData());
    m_items.erase(pos);
    delete item;
    GetCount();
}

void CQXObjectList::RemoveByName(const QString& name, bool deleteFile)
{
    for (auto it = m_items.begin(); it != m_items.end(); ++it)
        if ((*it)->m_strName.compare(name, Qt::CaseInsensitive) == 0) {
            Erase(it, deleteFile);
            return;
        }
}

void CQXObjectList::RemoveItem(CObjectListItem* item, bool deleteFile)
{
    auto it = std::find(m_items.begin(), m_items.end(), item);
    if (it != m_items.end())
        Erase(it, deleteFile);
}

void CQXObjectList::RemoveAt(int index, bool deleteFile)
{
    if (index < 0 || index >= static_cast<int>(m_items.size()))
        return;
    Erase(std::next(m_items.begin(), index), deleteFile);
}

void CQXObjectList::RemoveAll()
{
    for (CObjectListItem* item : m_items)
        delete item;
    m_items.clear();
    m_nCount = 0;
}

CObjectListItem* CQXObjectList::FindByName(const QString& name) const
{
    const int i = IndexOfName(name);
    return i < 0 ? nullptr : GetAt(i);
}

int CQXObjectList::IndexOfName(const QString& name) const
{
    int i = 0;
    for (const CObjectListItem* item : m_items) {
        if (item->m_strName.compare(name, Qt::CaseInsensitive) == 0)
            return i;
        ++i;
    }
    return -1;
}

int CQXObjectList::IndexOf(const CObjectListItem& item) const
{
    int i = 0;
    for (const CObjectListItem* it : m_items) {
        if (*it == item)
            return i;
        ++i;
    }
    return -1;
}

CObjectListItem* CQXObjectList::GetAt(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_items.size()))
        return nullptr;
    return *std::next(m_items.begin(), index);
}

int CQXObjectList::GetCount()
{
    m_nCount = static_cast<int>(m_items.size());
    return m_nCount;
}

QStringList CQXObjectList::MatchingFiles(const QString& folder, const QString& pattern)
{
    QString suffix = pattern;
    while (suffix.startsWith('*'))
        suffix.remove(0, 1);
    QDir dir(folder);
    QStringList names = dir.entryList({QStringLiteral("*") + suffix},
                                      QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    return names;
}

int CQXObjectList::CountFiles(const QString& folder, const QString& pattern)
{
    return static_cast<int>(MatchingFiles(folder, pattern).size());
}

bool CQXObjectList::LoadFolder(const QString& folder, const QString& pattern, QObject* notify)
{
    RemoveAll();
    int loaded = 0;
    for (const QString& name : MatchingFiles(folder, pattern)) {
        if (!LoadFile(folder, name))
            engine_trace("CQXObjectList::LoadFolder -> skipped the unreadable file " +
                         QFile::encodeName(folder + name).toStdString());
        ++loaded;
        if (notify)
            SendMessage(notify, WM_LIST_LOAD_PROGRESS, 0, loaded);
    }
    return true;
}
