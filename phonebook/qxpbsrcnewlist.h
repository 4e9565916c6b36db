// One phonebook pane: the PC, SIM, phone-memory and SIM fixed-dialling
// source buttons, the entry list, a title and a room line, over one
// phonebook storage at a time. The switching comes from the source-list
// base; the data and entry operations from CPBSourceData.
#pragma once

#include "pbsourcedata.h"
#include "srclist.h"

class CQXPBSrcNewList : public CSrcList, public CPBSourceData {
    Q_OBJECT
public:
    explicit CQXPBSrcNewList(QWidget* owner);
    ~CQXPBSrcNewList() override;

    void SetSIMFDNButton(QAbstractButton* button) { m_pSIMFDN = button; }
    QAbstractButton* GetSIMFDNButton() const { return m_pSIMFDN; }
    void Init(bool oleDrag) override;
    void AddToolTips();

    // The pane's source (previous kept for one step back).
    void SetSource(int source);
    void RestorePreviousSource() { SetSource(Previous()); }
    void CheckSourceButton(int source);
    bool ClickSrcSIMFDN();
    void SelectInitialSource();
    void UpdateButtons() override;
    void EnableEntryButton(bool on);
    void EnableSIMFDNButton(bool on);
    bool CanShowSIM() const;
    bool CanShowSIMFDN() const;
    bool CanShowPhone() const;

    void SetPosition(int x, int y) { m_x = x; m_y = y; }
    int PositionX() const { return m_x; }
    int PositionY() const { return m_y; }

    // The vCard and file payload of the selected entries, dragged.
    void BeginOleDrag() override;
    // The selected entries as vCard files and their text (for drags and
    // the clipboard); the files are in the temporary folder.
    bool BuildDragPayload(QStringList& files, QByteArray& vcards);

    // The source-list base's operations, done on the data.
    void OnSourceChanged(int) override {}
    void SelectSourcePC() override { SetStorage(0); }
    void SelectSourceSIM() override;
    void SelectSourcePhone() override { SetStorage(3); }
    void ResetStorage() override { ResetSource(); }
    void ResetSecondStorage() override { ResetPreviousSource(); }
    void SetDatabasePath(const std::string& path) override { CPBSourceData::SetDatabasePath(path); }
    void ClearList() override;
    bool IsPCDatabaseAvailable() override { return OpenPCDatabase(); }
    bool IsNameInFirstColumn(int) override { return !IsLocationShown(); }
    bool SelectStorage() override { return CPBSourceData::SelectStorage(); }
    bool IsSIMAvailable() override;
    bool IsPhoneAvailable() override;
    bool DeleteOneItem(int row) override { return CPBSourceData::DeleteOneItem(row); }
    void RefreshAfterDelete() override;
    void StoreSourceSetting() override { SaveCurrentSource(); }
    bool IsPCCurrent() override { return IsSrcPC(); }
    bool IsSIMCurrent() override { return IsSrcSIM(); }
    bool IsPhoneCurrent() override { return IsSrcPhone(); }
    void UndoSourceChange() override { RestorePreviousSource(); }
    int ReadCurrentSource(int* value) override;
    void FillList() override { CPBSourceData::FillList(); }
    bool CreateDatabase(const std::string& path) override;
    bool OpenDatabase(const std::string& path) override;

private:
    void NotifyOwnerSourceChange();

    QAbstractButton* m_pSIMFDN = nullptr;
    CEntryDropTarget* m_pFDNTarget = nullptr;
    int m_x = 0, m_y = 0;
};
