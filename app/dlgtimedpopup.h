// A borderless note of one line (the network operator's name) that closes
// itself after one second.
#pragma once

#include "dialog.h"

class CDlgTimedPopup : public CDialog {
    Q_OBJECT
public:
    explicit CDlgTimedPopup(QWidget* parent = nullptr);
    // Screen position of the note's top-left corner.
    void SetPosition(int x, int y);
    bool OnInitDialog() override;
    void OnTimer(int id) override;

    QString m_strText;

private:
    int m_x = 0, m_y = 0;
};
