// Numbered window messages between the program's objects: one event type
// carrying message, wParam and lParam, posted (queued) or sent (handled at
// once). A receiver dispatches them in one place, like a message map.
#pragma once

#include <QEvent>
#include <QObject>

#include <cstdint>

// The program's messages to its windows.
enum WM_MMI : unsigned {
    WM_MMI_START_UP = 0x801,          // start-up done
    WM_MMI_TRAY_NOTIFY = 0x806,       // tray-icon callback
    WM_MMI_APP_ENDED = 0x807,         // a launched program ended
    WM_MMI_SIM_BUSY = 0x809,
    WM_MMI_BATTERY_CHARGE = 0x80B,    // indicator values in wParam
    WM_MMI_OPERATOR_NAME = 0x80C,
    WM_MMI_SIGNAL_QUALITY = 0x80D,
    WM_MMI_MESSAGE_ICON = 0x80E,
    WM_MMI_UNREAD_MSG = 0x80F,
    WM_MMI_SMS_FULL = 0x810,
    WM_MMI_CALL_ICON = 0x811,
    WM_MMI_VOICE_MAIL_ICON = 0x812,
    WM_MMI_SIM_STORAGE_ICON = 0x813,
    WM_MMI_ME_STORAGE_ICON = 0x814,
    WM_MMI_EDIT_MODE_ICON = 0x815,
    WM_MMI_ROAMING_ICON = 0x816,
    WM_MMI_SMS_RECEIVED = 0x818,      // wParam storage, lParam index
    WM_MMI_REPORT_RECEIVED = 0x819,
    WM_MMI_MS_PARAM_CHANGED = 0x7F7,  // phone parameters changed
    WM_MMI_DEFERRED_INIT = 0x7F9,     // a screen's deferred first load
    WM_MMI_MELODY_DONE = 0x7FE,       // melody playback done
};

class CWndMsgEvent : public QEvent {
public:
    static QEvent::Type EventType();

    CWndMsgEvent(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
        : QEvent(EventType()), m_message(message), m_wParam(wParam), m_lParam(lParam)
    {
    }

    unsigned message() const { return m_message; }
    std::uintptr_t wParam() const { return m_wParam; }
    std::intptr_t lParam() const { return m_lParam; }

    // What a sent message answers (set by the receiver).
    std::intptr_t result = 0;

private:
    unsigned m_message;
    std::uintptr_t m_wParam;
    std::intptr_t m_lParam;
};

// Queues the message for `target`; false (nothing queued) when there is no
// target, so a message for a window that does not exist yet is dropped.
bool PostMessage(QObject* target, unsigned message, std::uintptr_t wParam = 0,
                 std::intptr_t lParam = 0);
// Delivers the message at once and returns the receiver's result (0 without
// a target or when the receiver does not handle it).
std::intptr_t SendMessage(QObject* target, unsigned message, std::uintptr_t wParam = 0,
                          std::intptr_t lParam = 0);
