// The melody screen: the phone's melodies beside the ".MDY" files of the
// melody folder, with the commands that copy them both ways, rename them,
// edit them, import and export files and play them on the phone or the PC.
#pragma once

#include "dragdrop.h"
#include "mainview.h"
#include "melodylist.h"
#include "mmi_melody.h"
#include "phonechange.h"

#include <QIcon>
#include <QPixmap>
#include <QPointer>
#include <QTimer>

#include <string>
#include <utility>
#include <vector>

class CEntryListCtrl;
class QLabel;

class CMelodyView : public CMainView, public MmiMelodyView {
    Q_OBJECT
public:
    explicit CMelodyView(QWidget* parent = nullptr);
    ~CMelodyView() override;

    void OnInitialUpdate() override;
    void OnUpdateMSParam(int flag) override;
    std::intptr_t DefWindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void OnCommand(int id) override;
    void OnDestroy() override;

    // Engine callbacks (inside mtr_MELODY_read and polling).
    void mmi_MELODY_add_melody(const std::string& header, const std::string& notes) override;
    void mmi_MELODY_stop_ind() override;
    // The row taken by a melody read from the phone; -1 when refused.
    int AddPhoneMelody(const std::string& header, const std::string& notes);

    // Loading and lists.
    void InitMelodyLists();
    void LoadPhoneList();
    void LoadMelodyListPhone(int indexmin, int indexmax);
    void LoadMelodyListPc(bool progress);
    void FillList(bool pc);
    void InsertMelodyRow(int row, bool pc, CEntryListCtrl* list, CMelody* melody);
    void UpdateMelodyRow(int row, bool pc, CEntryListCtrl* list, CMelody* melody);
    bool IsPhoneMelodyReady();
    int GetSelectedMelody(CEntryListCtrl** list, CMelody** melody);
    void UpdateButtons(CEntryListCtrl* list);
    void UpdatePhoneButtons();
    void EnableControls(bool enable);
    void SelectPhoneList();
    void SelectPcList();
    void StartPlayAnimation();
    void ResetPlayButtons();

    // Phone and play commands.
    void OnBCopyToPc();
    void OnBCopyToPhone();
    void OnBProperty();
    void OnBRename();
    bool UpgradeMelody(int row, const QString& name);
    void OnBPlayPc();
    void OnBPlayPhone();
    void OnBTest(int mode);
    void OnBStop();
    bool PlayOnPc();
    int ConfirmNoteCount(CMelody* melody, int captionId);
    void AutoCopyPhoneMelodies();

    // File commands, menus and dragging.
    void OnBImport();
    void OnBExport();
    void OnBDelete();
    void OnBNew();
    void OnBEdit();
    void OnBHelp();
    void ShowContextMenu(int menuId, bool several);
    void BeginDrag(CEntryListCtrl* list);
    void DragMove(const QPoint& global);
    // Drops at a screen position; true when a command ran.
    bool EndDrag(const QPoint& global);
    bool IsDragging() const { return m_bDragging; }
    const CRowDragImage& RowDrag() const { return m_rowDrag; }
    bool IsDropAllowed() const { return m_bDropAllowed; }

    CEntryListCtrl* PhoneList() const { return m_lstPhone; }
    CEntryListCtrl* PcList() const { return m_lstPc; }
    CMelodyList& PhoneMelodies() { return m_PhoneMelodies; }
    CMelodyList& PcMelodies() { return m_PcMelodies; }
    int PlayMode() const { return m_nPlayMode; }
    // The playing animation: whether it runs, and the frame shown (0 to
    // AnimationFrameCount() - 1; -1 while it is stopped).
    bool IsAnimating() const { return m_animTimer.isActive(); }
    int AnimationFrame() const { return m_nAnimFrame; }
    int AnimationFrameCount() const { return static_cast<int>(m_animFrames.size()); }

protected:
    // What the user answers; tests replace them.
    // Files to import (empty: cancelled).
    virtual QStringList ChooseImportFiles();
    // The export target (empty: cancelled).
    virtual QString ChooseExportPath(bool several);
    // CDlgConfirm of a melody: 6 yes, 7 no, 1078 yes to all, 2 cancel.
    virtual int AskDeleteMelody(const QString& name, bool allowAll);
    // CDlgConfirmMelody with a text and caption, same answers.
    virtual int AskMelodyQuestion(const QString& text, int captionId, bool allowAll);
    // The command of an icon menu (0 none).
    virtual unsigned TrackMenu(class CIconMenu& menu);
    virtual void Beep();

    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    CEntryListCtrl* ReplaceList(int id);
    CMelody* MelodyOfRow(CEntryListCtrl* list, int row);
    CMelodyList& ListOf(CEntryListCtrl* list) { return list == m_lstPc ? m_PcMelodies : m_PhoneMelodies; }
    void SetEnabled(int id, bool enable);
    bool IsEnabled(int id) const;
    void SetButtonIcon(int id, const QIcon& icon);
    void SetDlgText(int id, const QString& text);
    int SelectedCount(CEntryListCtrl* list) const;
    QString MelodyFolder() const;
    void RunDropCommand(QWidget* target);
    // Writes a melody to phone slot `slot`; after a silence the slot is read
    // back and compared with what was written.
    PhoneChangeResult WriteToPhone(const char* what, int slot, const std::string& header, const std::string& notes);
    PhoneHolds ReadBackSlot(int slot, const std::string& header, const std::string& notes);
    // The words for a melody write that did not land (`refusedId` when the
    // phone refused it).
    static QString NotWrittenText(const PhoneChangeResult& r, int refusedId, const QString& name);
    void ShowAnimationFrame(int frame);
    void StopPlayAnimation();

    CEntryListCtrl* m_lstPhone = nullptr;
    CEntryListCtrl* m_lstPc = nullptr;
    CMelodyList m_PhoneMelodies;
    CMelodyList m_PcMelodies;
    // While a slot is read back after a silence: the melodies read, kept
    // out of the list.
    std::vector<std::pair<std::string, std::string>>* m_pSlotReadBack = nullptr;
    int m_nPlayMode = 0;
    CMelody* m_pPlayingMelody = nullptr;
    bool m_bColumnNarrowed = false;
    bool m_bLoadPcList = true;
    QIcon m_hIconPlayPc, m_hIconStopPc, m_hIconPlayPhone, m_hIconStopPhone, m_hIconHelp;
    // The frames of the playing animation (built-in pictures "music1" ...),
    // stepped by the timer while a melody plays.
    std::vector<QPixmap> m_animFrames;
    QTimer m_animTimer;
    int m_nAnimFrame = -1;
    bool m_bDragging = false;
    CRowDragImage m_rowDrag;
    bool m_bDropAllowed = false;
    CEntryListCtrl* m_pDragSource = nullptr;
    int m_nPressedPlay = 0;
    bool m_bControlsOff = false;  // disabled while a melody plays  // the play button that became the stop button
};

// Lets the program create the melody screen by its number.
void RegisterMelodyScreen();
