#include "dlgmsgtext.h"

#include "message.h"
#include "pccharset.h"
#include "profile.h"
#include "uiservices.h"
#include "utilities.h"
#include "wndmsg.h"
#include "zorqapp.h"
#include "zorqmmidoc.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>

namespace {

constexpr int kSingleMaxString = 31455;    // "%1 of %2 characters"
constexpr int kCharsString = 31761;        // "%1 characters"
constexpr int kBlocksString = 31759;       // "Messages: %1"
constexpr int kQuotePrefixString = 31473;  // put before the quoted line
constexpr int kHeaderString = 31763;       // sender, date, time
constexpr int kEmptyTextString = 31321;
constexpr int kTextTipString = 31401;
constexpr int kQuoteLength = 25;
constexpr int kCutString = 31990;          // what of a text too long was kept

// The text as the message carries it: the edit holds line feeds, a
// message's lines end with CR LF (two characters that go out and count).
QString MessageText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

}  // namespace

MsgTextCount CountMsgText(const CMessage& msg, const QString& text)
{
    CMessage probe;
    probe.SetDcs(msg.GetDcs());
    probe.SetText(QStringToPc(MessageText(text)));
    probe.AdaptCoding();
    MsgTextCount c;
    const std::string pc = probe.GetText();
    c.units = static_cast<int>(probe.GetDcs() == 0 ? CountSeptets(pc) : pc.size());
    c.single = probe.GetSMSMaxNbChar();
    c.blockSize = probe.GetBlockSize();
    // A text that fits one message goes as one, whatever the block size.
    if (!pc.empty())
        c.blocks = probe.IsLong() ? probe.ComputeNbBlocks() : 1;
    return c;
}

int MsgTextLimit(const MsgTextCount& c, bool multiBlock)
{
    if (!multiBlock)
        return c.single;
    const int blocks = std::max(1, GetIniProfileInt("SMSMO", "MaxNbBlocks", 20));
    return std::max(c.single, blocks * c.blockSize);
}

int MsgTextLimit(const CMessage& msg, bool multiBlock)
{
    MsgTextCount c;
    c.single = msg.GetSMSMaxNbChar();
    c.blockSize = msg.GetBlockSize();
    return MsgTextLimit(c, multiBlock);
}

bool CDlgMsgTextBase::IsTooLong(const QString& text) const
{
    const MsgTextCount c = CountMsgText(*m_pMsg, text);
    return c.units > MsgTextLimit(c, IsMultiBlock());
}

QString CDlgMsgTextBase::FittingPart(const QString& text) const
{
    // A shorter text never takes more room (nor a smaller coding), so the
    // longest part that fits is found by halving, not by dropping one
    // character at a time from a long text.
    if (!IsTooLong(text))
        return text;
    qsizetype fits = 0, over = text.size();
    while (over - fits > 1) {
        const qsizetype mid = fits + (over - fits) / 2;
        if (IsTooLong(text.left(mid)))
            over = mid;
        else
            fits = mid;
    }
    if (fits > 0 && text[fits - 1].isHighSurrogate())
        --fits;
    return text.left(fits);
}

QString QuoteFirstLine(const QString& text)
{
    const int lineEnd = text.indexOf(QStringLiteral("\r\n"));
    QString piece = lineEnd >= 0 && lineEnd <= kQuoteLength ? text.left(lineEnd) : text.left(kQuoteLength);
    if (piece.isEmpty())
        return piece;
    while (!piece.isEmpty() && piece.back() == QLatin1Char(' '))
        piece.chop(1);
    return piece + QStringLiteral("...");
}

// ---- The common part -------------------------------------------------------------------

CDlgMsgTextBase::CDlgMsgTextBase(int templateId, CMessage* msg, QWidget* parent)
    : CDialog(templateId, parent), m_pMsg(msg)
{
}

bool CDlgMsgTextBase::IsMultiBlock() const
{
    CZorqMMIDoc* doc = CZorqMMIDoc::Instance();
    return doc && doc->IsMultiBlockSMSAvailable();
}

bool CDlgMsgTextBase::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_nLimit = m_pMsg ? MsgTextLimit(*m_pMsg, IsMultiBlock()) : 160;
    m_pEdit = qobject_cast<QPlainTextEdit*>(GetDlgItem(IDC_TEXT));
    if (m_pEdit) {
        m_pEdit->setToolTip(UiLoadString(kTextTipString));
        connect(m_pEdit, &QPlainTextEdit::textChanged, this, [this] { OnTextChanged(); });
    }
    SetTimer(2, 100);
    PostMessage(this, WM_FILL_TEXT, 0, 0);
    return true;
}

bool CDlgMsgTextBase::event(QEvent* e)
{
    if (e->type() == CWndMsgEvent::EventType()) {
        if (static_cast<CWndMsgEvent*>(e)->message() == WM_FILL_TEXT) {
            FillText();
            return true;
        }
    }
    return CDialog::event(e);
}

void CDlgMsgTextBase::PutText(const QString& text)
{
    if (!m_pEdit)
        return;
    m_bFilling = true;
    m_pEdit->setPlainText(text);
    m_bFilling = false;
    m_pEdit->setFocus();
    m_pEdit->moveCursor(QTextCursor::End);
    UpdateCounters();
}

void CDlgMsgTextBase::OnTextChanged()
{
    if (m_bFilling || !m_pEdit || !m_pMsg)
        return;
    // Keep the text within the limit: what was typed past it is dropped.
    QString text = m_pEdit->toPlainText();
    if (IsTooLong(text)) {
        text = FittingPart(text);
        m_bFilling = true;
        m_pEdit->setPlainText(text);
        m_pEdit->moveCursor(QTextCursor::End);
        m_bFilling = false;
        if (TemplateId() == CDlgMsgEdit::kTemplateId)
            QApplication::beep();
    }
    UpdateCounters();
}

QString CDlgMsgTextBase::BlockText() const
{
    auto* l = qobject_cast<QLabel*>(GetDlgItem(IDC_BLOCKS));
    return l ? l->text() : QString();
}

QString CDlgMsgTextBase::CharText() const
{
    auto* l = qobject_cast<QLabel*>(GetDlgItem(IDC_CHARS));
    return l ? l->text() : QString();
}

void CDlgMsgTextBase::OnOK()
{
    if (!m_pEdit || !m_pMsg)
        return;
    const QString text = MessageText(m_pEdit->toPlainText());
    if (text.isEmpty()) {
        UiMessageBoxId(kEmptyTextString);
        m_pEdit->setFocus();
        return;
    }
    m_pMsg->SetText(QStringToPc(text));
    m_pMsg->AdaptCoding();
    EndDialog(IDOK);
}

// ---- Write ---------------------------------------------------------------------------------

CDlgMsgWrite::CDlgMsgWrite(CMessage* msg, QWidget* parent) : CDlgMsgTextBase(kTemplateId, msg, parent) {}

bool CDlgMsgWrite::OnInitDialog()
{
    CDlgMsgTextBase::OnInitDialog();
    if (!m_pMsg)
        return true;
    const CAddressList& to = m_pMsg->GetAddressList();
    QString sender;
    if (to.GetCount() == 1)
        sender = PcToQString(to.GetAt(0)->GetName().empty() ? to.GetAt(0)->GetNumber() : to.GetAt(0)->GetName());
    // A new message answers nothing: the header line stays empty then.
    if (!m_pMsg->GetSpareText().empty() || !sender.isEmpty()) {
        const int locale = ProgramLangId();
        const double when = m_pMsg->GetDays();
        SetDlgItemText(IDC_HEADER, UiFormatString(kHeaderString, {sender,
                                                                  QString::fromStdString(FormatDateText(when, locale)),
                                                                  QString::fromStdString(FormatTimeText(when, locale))}));
    } else {
        SetDlgItemText(IDC_HEADER, QString());
    }
    if (!m_pMsg->GetSpareText().empty()) {
        QString quoted = PcToQString(m_pMsg->GetSpareText());
        quoted.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        if (auto* e = qobject_cast<QPlainTextEdit*>(GetDlgItem(IDC_QUOTED)))
            e->setPlainText(quoted);
        else
            SetDlgItemText(IDC_QUOTED, quoted);
    }
    return true;
}

void CDlgMsgWrite::FillText()
{
    if (!m_pMsg)
        return;
    QString text = PcToQString(m_pMsg->GetText());
    const QString prefix = UiLoadString(kQuotePrefixString);
    if (text.isEmpty() && !prefix.isEmpty() && !m_pMsg->GetSpareText().empty())
        text = prefix + QuoteFirstLine(PcToQString(m_pMsg->GetSpareText())) + QStringLiteral("\r\n");
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    PutText(text);
}

void CDlgMsgWrite::UpdateCounters()
{
    if (!m_pEdit || !m_pMsg)
        return;
    const MsgTextCount c = CountMsgText(*m_pMsg, m_pEdit->toPlainText());
    if (IsMultiBlock()) {
        SetDlgItemText(IDC_CHARS, UiFormatString(kCharsString, {QString::number(c.units)}));
        SetDlgItemText(IDC_BLOCKS, UiFormatString(kBlocksString, {QString::number(c.blocks)}));
    } else {
        SetDlgItemText(IDC_CHARS, UiFormatString(kSingleMaxString, {QString::number(c.units),
                                                                    QString::number(c.single)}));
    }
}

// ---- Edit ----------------------------------------------------------------------------------

CDlgMsgEdit::CDlgMsgEdit(CMessage* msg, QWidget* parent) : CDlgMsgTextBase(kTemplateId, msg, parent) {}

bool CDlgMsgEdit::OnInitDialog()
{
    CDlgMsgTextBase::OnInitDialog();
    if (!m_strTitle.isEmpty())
        setWindowTitle(m_strTitle);
    return true;
}

void CDlgMsgEdit::FillText()
{
    if (!m_pMsg)
        return;
    QString text = PcToQString(m_pMsg->GetText());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QString kept = FittingPart(text);
    PutText(kept);
    // A text longer than the phone sends (a long message forwarded) goes
    // as far as it fits; the user is told what was left out, never cut
    // without a word.
    if (kept.size() < text.size())
        UiMessageBox(UiFormatString(kCutString, {QString::number(CountMsgText(*m_pMsg, kept).units),
                                                 QString::number(CountMsgText(*m_pMsg, text).units)}));
}

void CDlgMsgEdit::UpdateCounters()
{
    if (!m_pEdit || !m_pMsg)
        return;
    const QString text = m_pEdit->toPlainText();
    if (text.isEmpty()) {
        SetDlgItemText(IDC_CHARS, QString());
        SetDlgItemText(IDC_BLOCKS, QString());
        return;
    }
    const MsgTextCount c = CountMsgText(*m_pMsg, text);
    if (IsMultiBlock()) {
        SetDlgItemText(IDC_CHARS, UiFormatString(kCharsString, {QString::number(c.units)}));
        SetDlgItemText(IDC_BLOCKS, UiFormatString(kBlocksString, {QString::number(c.blocks)}));
    } else {
        SetDlgItemText(IDC_CHARS, UiFormatString(kSingleMaxString, {QString::number(c.units),
                                                                    QString::number(c.single)}));
    }
}
