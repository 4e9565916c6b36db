#include "langbundle.h"

#include <QFile>
#include <QFileInfo>
#include <QResource>

#include <atomic>

namespace {
std::atomic<int> g_nextRoot{1};
CLanguageBundle* g_resourceModule = nullptr;

QString Unescape(const QString& s)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        QChar c = s[i];
        if (c == u'\\' && i + 1 < s.size()) {
            QChar n = s[i + 1];
            if (n == u'n') { out += u'\n'; ++i; continue; }
            if (n == u't') { out += u'\t'; ++i; continue; }
            if (n == u'r') { out += u'\r'; ++i; continue; }
            if (n == u'\\') { out += u'\\'; ++i; continue; }
        }
        out += c;
    }
    return out;
}
}  // namespace

CLanguageBundle::~CLanguageBundle()
{
    if (g_resourceModule == this)
        g_resourceModule = nullptr;
    Unload();
}

QHash<int, QString> CLanguageBundle::ParseStrings(const QByteArray& data)
{
    QHash<int, QString> table;
    const QList<QByteArray> lines = data.split('\n');
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        int tab = line.indexOf('\t');
        if (tab <= 0)
            continue;
        bool ok = false;
        int id = line.left(tab).trimmed().toInt(&ok);
        if (!ok)
            continue;
        table.insert(id, Unescape(QString::fromUtf8(line.mid(tab + 1))));
    }
    return table;
}

bool CLanguageBundle::Load(const QString& rccPath)
{
    Unload();
    if (!QFileInfo(rccPath).isFile())
        return false;
    QString root = QStringLiteral("/zorq/%1").arg(g_nextRoot++);
    if (!QResource::registerResource(rccPath, root))
        return false;
    QFile f(QStringLiteral(":") + root + QStringLiteral("/strings.txt"));
    if (!f.open(QIODevice::ReadOnly)) {
        QResource::unregisterResource(rccPath, root);
        return false;
    }
    strings_ = ParseStrings(f.readAll());
    root_ = root;
    file_ = rccPath;
    return true;
}

void CLanguageBundle::Unload()
{
    if (root_.isEmpty())
        return;
    QResource::unregisterResource(file_, root_);
    root_.clear();
    file_.clear();
    strings_.clear();
}

QString CLanguageBundle::ResourcePath(const QString& relative) const
{
    if (root_.isEmpty())
        return QString();
    return QStringLiteral(":") + root_ + QStringLiteral("/") + relative;
}

QString CLanguageBundle::TemplatePath(int templateId) const
{
    return ResourcePath(QStringLiteral("dialogs/%1.ui").arg(templateId));
}

QString CLanguageBundle::MenuPath(int menuId) const
{
    return ResourcePath(QStringLiteral("menus/%1.txt").arg(menuId));
}

QString FormatInserts(const QString& text, const QStringList& inserts)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text[i];
        if (c != u'%' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        if (text[i + 1] == u'%') {
            out += u'%';
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        int n = 0;
        while (j < text.size() && text[j].isDigit() && j - i <= 2) {
            n = n * 10 + text[j].digitValue();
            ++j;
        }
        if (j > i + 1 && n >= 1 && n <= inserts.size()) {
            out += inserts[n - 1];
            i = j - 1;
        } else {
            out += c;
        }
    }
    return out;
}

void SetResourceModule(CLanguageBundle* bundle) { g_resourceModule = bundle; }
CLanguageBundle* GetResourceModule() { return g_resourceModule; }
