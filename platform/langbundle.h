// The language bundle: a compiled Qt resource file "ZORQ<code>.rcc" holding
// the strings (strings.txt: id, tab, text per line), the dialog and form
// templates (dialogs/<id>.ui), the menus (menus/<id>.txt) and the pictures
// the language owns. It stands in for the language resource library.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

class CLanguageBundle {
public:
    CLanguageBundle() = default;
    ~CLanguageBundle();
    CLanguageBundle(const CLanguageBundle&) = delete;
    CLanguageBundle& operator=(const CLanguageBundle&) = delete;

    // Registers the resource file and reads its string table. False when the
    // file is missing, not a resource file, or holds no string table.
    bool Load(const QString& rccPath);
    // Unregisters the file; doing it twice is harmless.
    void Unload();
    bool IsLoaded() const { return !root_.isEmpty(); }
    const QString& FilePath() const { return file_; }

    bool HasString(int id) const { return strings_.contains(id); }
    // The text of a string id; empty when the bundle has no such string.
    QString GetString(int id) const { return strings_.value(id); }
    // Resource path of a file inside the bundle (":/zorq/<n>/<relative>").
    QString ResourcePath(const QString& relative) const;
    QString TemplatePath(int templateId) const;
    QString MenuPath(int menuId) const;

    // Parses string-table text; exposed for the bundle's own checks.
    static QHash<int, QString> ParseStrings(const QByteArray& data);

private:
    QString root_;  // map root, empty while unloaded
    QString file_;
    QHash<int, QString> strings_;
};

// Replaces %1 .. %n by the inserts, in one pass, so an insert that itself
// contains "%2" is never expanded again. "%%" gives one "%"; a number with no
// insert is left as written.
QString FormatInserts(const QString& text, const QStringList& inserts);

// The bundle every template, string and picture is looked up in (the
// resource module); null before the application sets one.
void SetResourceModule(CLanguageBundle* bundle);
CLanguageBundle* GetResourceModule();
