#include "filedlg.h"

#include "uiservices.h"
#include "uitext.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QTreeView>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>

#include <algorithm>
#include <functional>

namespace {

constexpr int kSaveCaption = 31688;
constexpr int kMinCharsString = 31807;
constexpr int kFilterString = 31448;
constexpr int kOpenCaption = 31710;
constexpr unsigned kExclamation = 0x30;

std::function<int(CQXFileDlg&)>& Runner()
{
    static std::function<int(CQXFileDlg&)> runner;
    return runner;
}

}  // namespace

void SetFileDlgRunner(std::function<int(CQXFileDlg&)> runner) { Runner() = std::move(runner); }

QStringList CQXFileDlg::NameFilters(const QString& filter)
{
    QStringList parts = filter.split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString desc = parts[i].trimmed();
        const QString patterns = parts[i + 1].trimmed().replace(';', ' ');
        if (desc.isEmpty() && patterns.isEmpty())
            break;
        // The toolkit reads the patterns from the last parentheses; a
        // description that already ends in them is shown as it stands.
        const QString shown = QStringLiteral("(") + patterns + QLatin1Char(')');
        filters << (desc.endsWith(shown) ? desc : desc + QLatin1Char(' ') + shown);
    }
    return filters;
}

CQXFileDlg::CQXFileDlg(bool open, const QString& defaultExt, const QString& fileName, unsigned flags,
                       const QString& filter, QWidget* parent, int captionId)
    : QFileDialog(parent), open_(open), flags_(flags)
{
    // The toolkit's own dialog, so that the controls below can be hidden
    // and the dialog behaves alike on every desktop.
    setOption(QFileDialog::DontUseNativeDialog, true);
    QString ext = defaultExt;
    if (ext.startsWith('.'))
        ext.remove(0, 1);
    setDefaultSuffix(ext);
    const QStringList filters = NameFilters(filter);
    if (!filters.isEmpty())
        setNameFilters(filters);

    if (!open) {
        // Accepted in any folder the user reaches: what the caller takes
        // from the path is its folder. It asks itself about existing files
        // unless it wants the dialog to.
        setAcceptMode(QFileDialog::AcceptSave);
        setFileMode(QFileDialog::AnyFile);
        setOption(QFileDialog::DontConfirmOverwrite, !(flags & OFN_OVERWRITEPROMPT));
    } else if ((flags & OFN_FILEMUSTEXIST) && (flags & OFN_ALLOWMULTISELECT)) {
        setAcceptMode(QFileDialog::AcceptOpen);
        setFileMode(QFileDialog::ExistingFiles);
    } else if (flags & OFN_FILEMUSTEXIST) {
        setAcceptMode(QFileDialog::AcceptOpen);
        setFileMode(QFileDialog::ExistingFile);
    } else if (flags & OFN_OVERWRITEPROMPT) {
        // A new name is welcome. An open dialog does not ask about an
        // existing file itself: its caller asks (once) before replacing it.
        setAcceptMode(QFileDialog::AcceptSave);
        setFileMode(QFileDialog::AnyFile);
        setOption(QFileDialog::DontConfirmOverwrite, true);
    } else {
        setAcceptMode(QFileDialog::AcceptOpen);
        setFileMode(QFileDialog::AnyFile);
    }

    if (!fileName.isEmpty())
        selectFile(fileName);

    QString caption;
    if (!open)
        caption = UiLoadString(kSaveCaption);
    else if (captionId != -1)
        caption = UiLoadString(captionId);
    if (!caption.isEmpty())
        setLabelText(QFileDialog::Accept, caption);
    if (!open) {
        for (const char* name : {"fileNameEdit", "fileTypeCombo", "fileNameLabel", "fileTypeLabel"})
            if (QWidget* w = findChild<QWidget*>(QLatin1String(name)))
                w->hide();
    }
    // The detailed list shows size, type and date whole, each as wide as
    // its widest entry, and gives the name the rest of a window wide enough
    // for all four (the toolkit's widths cut the date and the type).
    resize(std::max(width(), 720), std::max(height(), 440));
    if (auto* files = findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = files->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    // The places beside it show their names whole.
    if (auto* split = findChild<QSplitter*>(QStringLiteral("splitter")); split && split->count() == 2)
        split->setSizes({150, std::max(1, width() - 150)});
}

QString CQXFileDlg::AcceptCaption() const { return labelText(QFileDialog::Accept); }

int CQXFileDlg::DoModal()
{
    if (Runner())
        return Runner()(*this);
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

QString CQXFileDlg::GetPathName() const
{
    const QStringList files = selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

void DDV_MinChars(CDataExchange* pDX, const QString& text, int minimum)
{
    if (!pDX || !pDX->m_bSaveAndValidate || text.size() >= minimum)
        return;
    UiMessageBox(UiFormatString(kMinCharsString, {QString::number(minimum)}), kExclamation, kMinCharsString);
    if (pDX->m_pDlgWnd && pDX->m_idLastControl)
        if (auto* edit = qobject_cast<QLineEdit*>(pDX->m_pDlgWnd->GetDlgItem(pDX->m_idLastControl))) {
            edit->setFocus();
            edit->setSelection(0, static_cast<int>(text.size()));
        }
    pDX->m_bFailed = true;
}

QString UiDatabaseFolder()
{
    UiServices* s = GetUiServices();
    return s ? QString::fromStdString(s->GetAppDir()) + QStringLiteral("Database/") : QString();
}

namespace {

int RunDatabaseDlg(int titleId, QString& path, QWidget* refresh, const QString& folder, unsigned flags,
                   int captionId)
{
    CQXFileDlg dlg(true, QStringLiteral(".mdb"), QString(), flags, UiLoadAppString(kFilterString), nullptr,
                   captionId);
    dlg.setWindowTitle(UiLoadAppString(titleId));
    dlg.setDirectory(folder.isEmpty() ? UiDatabaseFolder() : folder);
    const int result = dlg.DoModal();
    if (result == IDOK)
        path = dlg.GetPathName();
    if (refresh)
        refresh->repaint();
    return result;
}

}  // namespace

int UiOpenDatabaseDlg(int titleId, QString& path, QWidget* refresh, const QString& folder)
{
    return RunDatabaseDlg(titleId, path, refresh, folder, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, kOpenCaption);
}

int UiChooseDatabaseDlg(int titleId, QString& path, QWidget* refresh, const QString& folder, int captionId)
{
    return RunDatabaseDlg(titleId, path, refresh, folder,
                          OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_FILEMUSTEXIST, captionId);
}
