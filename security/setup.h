// The set-up screens: the phone's clock with the date-and-time and alarm
// dialogs, the language choice and the drag-and-drop number settings;
// CSetUp_SecurCode adds the phone's security codes and locks.
#pragma once

#include "mainview.h"
#include "mobileclock.h"

#include <QFont>
#include <QString>

#include <memory>

class CSecurityListWnd;
class CServiceCenterListWnd;
class QComboBox;

class CSetUp : public CMainView {
    Q_OBJECT
public:
    explicit CSetUp(QWidget* parent = nullptr, int templateId = 219);
    ~CSetUp() override;

    void OnInitialUpdate() override;
    std::intptr_t DefWindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void OnCommand(int id) override;
    void OnPhoneDateTime(double dateTime) override;
    void OnUpdateMSParam(int flag) override;
    // The quit button applies the language choice on the way to the menu.
    void OnQuitView() override { OnApply(); }
    virtual void OnApply();

    // Command 1052 and 1053.
    void OnDateTime();
    void OnAlarm();

    // Commands 1033, 1091 and 1090: the service-centre profiles.
    void OnAddProfile();
    void OnModifyProfile();
    void OnDeleteProfiles();
    // The profile panel; null in a build without the message profiles.
    CServiceCenterListWnd* GetProfileWnd() const { return m_pProfiles; }

    const QString& GetClockText() const { return m_strClock; }
    const CMobileClock& GetClock() const { return m_clock; }
    QComboBox* GetLanguageCombo() const { return m_pLanguage; }

    static constexpr unsigned kHeadingRgb = 0x000080;

protected:
    // The deferred first load (0x7F9).
    virtual void OnDeferredInit();
    // Bold navy headings.
    void SetHeading(int id);
    virtual void AddToolTips();
    void ShowClockText();

    bool m_bLoaded = false;  // the deferred first load ran

private:
    // The document's profiles in the panel again, the given one selected.
    void AttachProfiles(const QString& selectName);

    CServiceCenterListWnd* m_pProfiles = nullptr;  // a child of the screen
    QComboBox* m_pLanguage = nullptr;
    QString m_strClock;
    CMobileClock m_clock;
    QFont m_headingFont;
};

class CSetUp_SecurCode : public CSetUp {
    Q_OBJECT
public:
    explicit CSetUp_SecurCode(QWidget* parent = nullptr);
    ~CSetUp_SecurCode() override;

    void OnInitialUpdate() override;
    std::intptr_t DefWindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
    void OnCommand(int id) override;
    void OnUpdateMSParam(int flag) override;
    void OnApply() override;

    CSecurityListWnd* GetSecurityWnd() const { return m_pSecurity.get(); }

protected:
    void OnDeferredInit() override;

private:
    std::unique_ptr<CSecurityListWnd> m_pSecurity;
};

// Registers the two set-up screens with the frame's screen registry.
void RegisterSetUpScreens();
