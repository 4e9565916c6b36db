// The send dialog of the compose and open sequences: send, store or both,
// the destination of a stored message, the service-centre profile and the
// price of the message; and the unit-price dialog it opens.
#pragma once

#include "dialog.h"

#include <memory>

class CMessage;
class CServiceCenter;
class CServiceCenterList;
class CServiceCenterListWnd;
struct SMS_SEND_OPTIONS;

class CDlgMsgSend : public CDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateSingle = 305;
    static constexpr int kTemplateMulti = 321;
    enum {
        IDC_PRICE = 1113, IDC_UNIT_PRICE = 1115, IDC_TOTAL = 1114, IDC_REPLY_PATH = 1087,
        IDC_STATUS_REPORT = 1088, IDC_DATABASE = 1108, IDC_DATABASE_LABEL = 1118, IDC_DATABASE_NAME = 1109,
        IDC_MODE_SEND = 1103, IDC_MODE_STORE = 1105, IDC_MODE_SEND_STORE = 1104, IDC_DST_SIM = 1059,
        IDC_DST_PC = 1058, IDC_PROFILES = 1089, IDC_NEW = 1033, IDC_MODIFY = 1091, IDC_DELETE = 1090,
        IDC_BACK = 1138,
    };

    CDlgMsgSend(CMessage* msg, SMS_SEND_OPTIONS* options, QWidget* parent, int templateId);
    ~CDlgMsgSend() override;

    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnCommand(int id) override;

    int Mode() const { return m_nMode; }
    int Destination() const { return m_nDestination; }
    CServiceCenterListWnd* Profiles() const { return m_pProfiles.get(); }
    // The unit price (negative when none is set).
    double UnitPrice() const { return m_dUnitPrice; }

    // The number of messages the text goes as (1 for a text that fits one).
    static int SentBlockCount(const CMessage& msg);

private:
    void SetMode(int mode);
    void SetDestination(int destination);
    void UpdateDestinationControls();
    bool CanStoreInSIM() const;
    void ShowPrices();
    void OnPrice();
    void OnDatabaseFile();
    void OnProfileChanged();
    void ShowDatabaseName();
    void RemoveTemporaryProfiles();
    void Check(int id, bool on);
    bool IsChecked(int id) const;
    void Enable(int id, bool on);

    CMessage* m_pMsg;
    SMS_SEND_OPTIONS* m_pOptions;
    std::unique_ptr<CServiceCenterListWnd> m_pProfiles;
    CServiceCenterList* m_pList = nullptr;
    int m_nMode = 0;
    int m_nDestination = 0;
    double m_dUnitPrice = -1.0;
    bool m_bMulti = false;
    bool m_bBound = false;
};

// Asks for the price of one message.
class CDlgMsgPrice : public CDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 304;
    static constexpr int IDC_PRICE_EDIT = 1072;
    static constexpr int IDC_CURRENCY = 1100;

    CDlgMsgPrice(double unitPrice, QWidget* parent);
    bool OnInitDialog() override;
    void OnOK() override;
    double Price() const { return m_dPrice; }

    // Digits with at most one decimal separator, "," or "."; false for
    // anything else.
    static bool ParsePrice(const QString& text, double& price);

private:
    double m_dPrice;
};

// The price profile key (SMSMO/UniPrice) read and written as an amount.
double ReadUnitPrice();
void WriteUnitPrice(double price);
// An amount in the currency format of the program's language.
QString FormatPrice(double price);
