// One phonebook pane: the PC, SIM, phone-memory and SIM fixed-dialling
// source buttons, the entry list, a title and a room line, over one
// phonebook storage at a time. The switching comes from the source-list
// base; the data and the entry operations are the pane's CPBSourceData.
#pragma once

#include "pbsourcedata.h"
#include "srclist.h"

#include <QByteArray>
#include <QStringList>

class QMimeData;

class CQXPBSrcNewList : public CSrcList {
    Q_OBJECT
public:
    explicit CQXPBSrcNewList(QWidget* owner);
    ~CQXPBSrcNewList() override;

    CPBSourceData& Data() { return m_data; }
    const CPBSourceData& Data() const { return m_data; }
    void AttachDocument(CZorqMMIDoc* doc);

    // Puts the pane's controls where the owner's form has its place holders.
    void BindPaneControls(QWidget* pc, QWidget* sim, QWidget* phone, QWidget* fdn, QWidget* fourth,
                          QWidget* list, QWidget* title, QWidget* room);
    void InitPane(bool oleDrag);
    void AddPaneToolTips();
    QPushButton* GetSIMFDNButton() const { return m_btnFDN; }
    bool ClickSrcSIMFDN();
    void EnableSIMFDNButton(bool on);
    bool CanShowSIMFDN();
    void SetPosition(int x, int y) { m_x = x; m_y = y; }

    // The selected entries as vCard files in the temporary folder and as
    // vCard text; false when none could be written.
    bool BuildDragPayload(QStringList& files, QByteArray& vcards);
    // The data a drag of the selected entries carries (the caller owns it):
    // the program's own form, the vCard text and the files; null when no
    // entry could be written.
    QMimeData* BuildDragMimeData();

    // ---- the source-list base's operations, done on the data ------------------------
    void BeginOleDrag() override;
    void EnableEntryButton(bool on) override;
    void SetSourcePC() override { m_data.SetStorage(0); }
    void SetSourceSIM() override;
    void SetSourcePhone() override { m_data.SetStorage(3); }
    void ResetSource() override { m_data.ResetSource(); }
    void ResetPreviousSource() override { m_data.ResetPreviousSource(); }
    void CheckSourceButton(int source) override;
    void SetDatabasePath(const QString& path) override;
    void NotifyOwnerSourceChange() override;
    bool OpenPCDatabase() override { return m_data.OpenPCDatabase(); }
    void SetColumns(bool scrollBar) override { m_data.SetColumns(scrollBar); }
    bool IsLocationShown() override { return m_data.IsLocationShown(); }
    bool SelectStorage() override { return m_data.SelectStorage(); }
    bool IsStorageRead() override { return !m_data.IsPhoneStorage() || m_data.IsStorageRead(); }
    bool UploadStorage() override { return m_data.UploadStorage(); }
    void MarkStorageRead() override { m_data.MarkStorageRead(); }
    int GetMemoryOrder() override { return CPBSourceData::GetMemoryOrder(m_data.Current()); }
    bool IsSIMAvailable() override;
    bool IsPhoneAvailable() override;
    void UpdateTitle(int count) override { m_data.UpdateTitle(count); }
    DeleteOutcome DeleteOneItem(CEntryListCtrl*, int row) override { return m_data.DeleteOneItem(row); }
    QString SourceDatabaseName() override { return QString::fromStdString(m_data.OpenDatabaseName()); }
    void UpdateButtons() override;
    void SelectInitialSource() override;
    void SaveCurrentSource() override { m_data.SaveCurrentSource(); }
    void SetSource(int source) override;
    bool IsSrcPC() override { return m_data.IsSrcPC(); }
    bool IsSrcSIM() override { return m_data.IsSrcSIM(); }
    bool IsSrcPhone() override { return m_data.IsSrcPhone(); }
    int GetMaxLocation() override { return m_data.GetMaxLocation(); }
    int GetMaxNameLength() override { return m_data.GetMaxNameLength(); }
    int GetMaxNumberLength() override { return m_data.GetMaxNumberLength(); }
    void RestorePreviousSource() override { SetSource(m_data.Previous()); }
    int OpenSourceDatabase(CDaoDatabase** database) override;
    bool VerifyAccess() override { return m_data.VerifyAccess(); }
    bool CheckRoom() override { return m_data.CheckRoom(); }
    void FillList() override;
    bool CreateDatabase(const QString& path) override;
    bool OpenDatabase(const QString& path) override;
    bool IsPhoneSource() override { return m_data.IsPhoneSource(); }
    bool CanShowSIM() override;
    bool CanShowPhone() override;
    // A PC-database menu command that opened its database tells the owner
    // (sourceMenuDone), which then keeps the PC as the source.
    bool OnMenuCommand(unsigned id) override;

signals:
    void sourceMenuDone();
    // The list was filled anew (a source switch, a new or opened file).
    void listFilled();

private:
    CPBSourceData m_data;
    QPushButton* m_btnFDN;
    int m_x = 0, m_y = 0;
};
