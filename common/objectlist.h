// Collections of named objects kept one file each in a folder of their own
// (data applications, melodies, service-centre profiles) or filled from the
// phone (security codes): the item base and the list that owns its items in
// display-name order. The panel that shows a list and the base of an item's
// properties dialog are interface components (objectlistwnd.h).
#pragma once

#include <QString>
#include <QStringList>

#include <list>

class QObject;

// Sent by LoadFolder to the window it is given, once per file loaded.
enum : unsigned { WM_LIST_LOAD_PROGRESS = 0x7FF };

class CObjectListItem {
public:
    CObjectListItem();
    virtual ~CObjectListItem();

    // Derived items read and write their file (KEY=value lines).
    virtual bool Load(QString path);
    virtual bool Save(QString path);
    // Index of the row's icon in the panel's small image list; -1 none.
    virtual int GetImage() const;
    virtual bool CanTrash() const;
    virtual bool CanModify() const;

    void Reset();
    // With `capitalise` the first character is made upper case.
    void SetName(const QString& name, bool capitalise);
    const QString& GetName() const { return m_strName; }
    void SetFilePath(const QString& path) { m_strFilePath = path; }
    QString GetFilePath() const { return m_strFilePath; }

    // A name as the stem of its item's file: no folder separators, no
    // control characters, no "..", no leading dot (which would hide the
    // file or climb out of its folder), never empty.
    static QString MakeFileSafeName(const QString& name);

    void Copy(const CObjectListItem& other);
    CObjectListItem& operator=(const CObjectListItem& other);
    CObjectListItem(const CObjectListItem& other);
    // Texts equal without regard to case, indexes equal.
    bool IsEqual(const CObjectListItem& other) const;
    bool operator==(const CObjectListItem& other) const { return IsEqual(other); }

    QString m_strText;      // first free text
    QString m_strName;      // display name: shown, ordered, unique
    QString m_strText2;     // second free text
    QString m_strFilePath;  // the item's file
    int m_nIndex = -1;      // position or storage index; -1 none
};

class CQXObjectList {
public:
    using Items = std::list<CObjectListItem*>;
    using Position = Items::iterator;

    CQXObjectList();
    virtual ~CQXObjectList();
    CQXObjectList(const CQXObjectList&) = delete;
    CQXObjectList& operator=(const CQXObjectList&) = delete;

    // Builds one item from one file and adds it (derived lists). False when
    // the file could not be read: the folder load skips it with a trace line.
    virtual bool LoadFile(QString folder, QString fileName);
    virtual bool OnNewDocument() { return true; }

    // Inserts in ascending order of the upper-cased name and returns the
    // position; -1 when a name equal without regard to case is there (the
    // item then stays the caller's). The stored name starts with a capital.
    int AddSorted(CObjectListItem* item);
    // Appends (name capitalised) without order or uniqueness check; returns
    // the new count.
    int AddTail(CObjectListItem* item);
    // Remove and delete an item, first deleting its file when asked (a file
    // that cannot be deleted does not stop the removal).
    void RemoveByName(const QString& name, bool deleteFile);
    void RemoveItem(CObjectListItem* item, bool deleteFile);
    void RemoveAt(int index, bool deleteFile);
    void RemoveAll();

    // Name lookups ignore letter case.
    CObjectListItem* FindByName(const QString& name) const;
    int IndexOfName(const QString& name) const;
    int IndexOf(const CObjectListItem& item) const;
    CObjectListItem* GetAt(int index) const;
    int GetCount();
    const Items& GetItems() const { return m_items; }

    static void CapitalizeName(CObjectListItem* item);
    // Files of `folder` whose names end in `pattern` (".MDY"; a leading "*"
    // is allowed), letter case ignored, sorted by name.
    static QStringList MatchingFiles(const QString& folder, const QString& pattern);
    static int CountFiles(const QString& folder, const QString& pattern);
    // Empties the list, then LoadFile for every matching file; after each
    // file `notify` (when given) is sent 0x7FF with lParam = files so far.
    bool LoadFolder(const QString& folder, const QString& pattern, QObject* notify);

protected:
    int m_nCount = 0;
    Items m_items;

private:
    void Erase(Position pos, bool deleteFile);
};
