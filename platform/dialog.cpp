#include "dialog.h"

#include "langbundle.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStyle>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QTimerEvent>
#include <QUiLoader>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

QRect DluToPixels(const QRect& dlu)
{
    return QRect(dlu.x() * 6 / 4, dlu.y() * 13 / 8, dlu.width() * 6 / 4, dlu.height() * 13 / 8);
}

QIcon DialogButtonPicture(int id, const QStyle* style)
{
    struct Picture {
        int id;
        QStyle::StandardPixmap standard;
    };
    static const Picture pictures[] = {
        {IDOK, QStyle::SP_DialogOkButton},         {IDCANCEL, QStyle::SP_DialogCancelButton},
        {IDYES, QStyle::SP_DialogYesButton},       {IDNO, QStyle::SP_DialogNoButton},
        {IDABORT, QStyle::SP_DialogAbortButton},   {IDRETRY, QStyle::SP_DialogRetryButton},
        {IDIGNORE, QStyle::SP_DialogIgnoreButton},
    };
    if (!style)
        return QIcon();
    for (const Picture& p : pictures)
        if (p.id == id)
            return style->standardIcon(p.standard);
    return QIcon();
}

namespace {

// A template's button that gives a box's answer carries that answer's
// picture, unless the template says the button does something else under
// the answer's id (a search's "Find" ends the dialog as OK does, but is no
// OK): the property "answerPicture" set to false.
void PictureAnswerButtons(QWidget* form, const QStyle* style)
{
    for (QPushButton* b : form->findChildren<QPushButton*>()) {
        const QString name = b->objectName();
        if (!name.startsWith(QLatin1String("id")) || !b->icon().isNull())
            continue;
        const QVariant wanted = b->property("answerPicture");
        if (wanted.isValid() && !wanted.toBool())
            continue;
        bool ok = false;
        const int id = name.mid(2).toInt(&ok);
        if (!ok || id < IDOK || id > IDNO)
            continue;
        const QIcon picture = DialogButtonPicture(id, style);
        if (!picture.isNull())
            b->setIcon(picture);
    }
}

}  // namespace

CDialog::CDialog(int templateId, QWidget* parent) : QDialog(parent), templateId_(templateId) {}

CDialog::~CDialog() = default;

bool CDialog::CreateFromTemplate()
{
    if (created_)
        return form_ != nullptr;
    created_ = true;
    CLanguageBundle* bundle = GetResourceModule();
    if (!bundle || !bundle->IsLoaded())
        return false;
    QFile file(bundle->TemplatePath(templateId_));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QUiLoader loader;
    QWidget* form = loader.load(&file, this);
    if (!form)
        return false;
    form->setWindowFlags(Qt::Widget);
    // A template whose root is a dialog keeps a dialog's key handling even
    // when embedded: Escape would hide only the form and leave this window
    // up, empty and modal. Escape belongs to this dialog: it acts as Cancel.
    form->installEventFilter(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(form);
    setWindowTitle(form->windowTitle());
    resize(form->size());
    form_ = form;

    PictureAnswerButtons(form, style());
    defaultButton_ = nullptr;
    for (QPushButton* b : form->findChildren<QPushButton*>())
        if (b->isDefault() && !defaultButton_)
            defaultButton_ = b;
    const auto buttons = form->findChildren<QAbstractButton*>();
    for (QAbstractButton* b : buttons) {
        const QString name = b->objectName();
        if (!name.startsWith(QLatin1String("id")))
            continue;
        bool ok = false;
        int id = name.mid(2).toInt(&ok);
        if (!ok)
            continue;
        if (id == IDOK)
            connect(b, &QAbstractButton::clicked, this, [this] { OnOK(); });
        else if (id == IDCANCEL)
            connect(b, &QAbstractButton::clicked, this, [this] { OnCancel(); });
        else if (!qobject_cast<QCheckBox*>(b) && !b->isCheckable())
            connect(b, &QAbstractButton::clicked, this, [this, id] { OnCommand(id); });
    }
    return true;
}

bool CDialog::ReplaceTemplate(int templateId)
{
    if (form_) {
        delete layout();
        delete form_;
        form_ = nullptr;
    }
    templateId_ = templateId;
    created_ = false;
    return CreateFromTemplate();
}

QWidget* CDialog::GetDlgItem(int id) const
{
    const_cast<CDialog*>(this)->CreateFromTemplate();
    return findChild<QWidget*>(QStringLiteral("id%1").arg(id));
}

bool CDialog::OnInitDialog()
{
    UpdateData(false);
    return true;
}

int CDialog::DoModal()
{
    // Without its template the dialog would show an empty window that the
    // user cannot act on: report the failure as the class library did (-1).
    if (!CreateFromTemplate())
        return -1;
    setResult(IDCANCEL);
    OnInitDialog();
    return exec();
}

void CDialog::EndDialog(int result)
{
    done(result);
}

bool CDialog::UpdateData(bool save)
{
    CDataExchange dx(this, save);
    DoDataExchange(&dx);
    return !dx.m_bFailed;
}

void CDialog::OnOK()
{
    if (!UpdateData(true))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::reject() { OnCancel(); }

bool CDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == form_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Cancel)) {
            reject();
            return true;
        }
        // Enter that no control took (a focused push button presses itself,
        // a multi-line field takes its line break) presses the template's
        // default button. The form, a dialog inside this window, would
        // otherwise press whichever button the window made its default.
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const auto mods = key->modifiers() & ~Qt::KeypadModifier;
        if (enter && mods == Qt::NoModifier && defaultButton_ && defaultButton_->isVisible()) {
            if (defaultButton_->isEnabled())
                defaultButton_->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CDialog::setVisible(bool visible)
{
    QDialog::setVisible(visible);
    // Showing, the window marks the first button it finds as its default,
    // beside the template's own: only the template's keeps the mark.
    if (!visible || !defaultButton_ || !form_)
        return;
    for (QPushButton* b : form_->findChildren<QPushButton*>())
        if (b != defaultButton_ && b->isDefault() && !b->hasFocus())
            b->setDefault(false);
    if (!defaultButton_->isDefault())
        defaultButton_->setDefault(true);
}
void CDialog::accept() { OnOK(); }

void CDialog::SetDlgItemText(int id, const QString& text)
{
    QWidget* w = GetDlgItem(id);
    if (auto* l = qobject_cast<QLabel*>(w)) l->setText(text);
    else if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(text);
    else if (auto* t = qobject_cast<QTextEdit*>(w)) t->setPlainText(text);
    else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) p->setPlainText(text);
    else if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(text);
    else if (auto* c = qobject_cast<QComboBox*>(w)) c->setCurrentText(text);
}

QString CDialog::GetDlgItemText(int id) const
{
    QWidget* w = GetDlgItem(id);
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* t = qobject_cast<QTextEdit*>(w)) return t->toPlainText();
    if (auto* p = qobject_cast<QPlainTextEdit*>(w)) return p->toPlainText();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
    return QString();
}

void CDialog::CenterWindow()
{
    // Over the window the owner lies in (a screen's form is a child of the
    // main window: its own geometry is not on the desktop), else over the
    // active window, else the screen.
    QWidget* owner = parentWidget() ? parentWidget()->window() : QApplication::activeWindow();
    if (owner == this)
        owner = nullptr;
    QRect area;
    if (owner && owner->isVisible())
        area = owner->frameGeometry();
    else if (QScreen* s = QGuiApplication::primaryScreen())
        area = s->availableGeometry();
    if (area.isValid())
        move(area.center() - QPoint(width() / 2, height() / 2));
}

void CDialog::SetTimer(int id, int milliseconds)
{
    KillTimer(id);
    timers_.insert(id, startTimer(milliseconds));
}

void CDialog::KillTimer(int id)
{
    auto it = timers_.find(id);
    if (it == timers_.end())
        return;
    killTimer(it.value());
    timers_.erase(it);
}

void CDialog::timerEvent(QTimerEvent* e)
{
    for (auto it = timers_.cbegin(); it != timers_.cend(); ++it) {
        if (it.value() == e->timerId()) {
            OnTimer(it.key());
            return;
        }
    }
    QDialog::timerEvent(e);
}

void DDX_Text(CDataExchange* pDX, int id, QString& value)
{
    pDX->m_idLastControl = id;
    CDialog* dlg = pDX->m_pDlgWnd;
    if (!dlg->GetDlgItem(id)) {
        pDX->m_bFailed = true;
        return;
    }
    if (pDX->m_bSaveAndValidate)
        value = dlg->GetDlgItemText(id);
    else
        dlg->SetDlgItemText(id, value);
}

void DDX_Text(CDataExchange* pDX, int id, int& value)
{
    pDX->m_idLastControl = id;
    CDialog* dlg = pDX->m_pDlgWnd;
    QWidget* w = dlg->GetDlgItem(id);
    if (!w) {
        pDX->m_bFailed = true;
        return;
    }
    if (auto* spin = qobject_cast<QSpinBox*>(w)) {
        if (pDX->m_bSaveAndValidate) value = spin->value();
        else spin->setValue(value);
        return;
    }
    if (pDX->m_bSaveAndValidate) {
        bool ok = false;
        int n = dlg->GetDlgItemText(id).trimmed().toInt(&ok);
        if (ok) value = n;
        else pDX->m_bFailed = true;
    } else {
        dlg->SetDlgItemText(id, QString::number(value));
    }
}

void DDX_Check(CDataExchange* pDX, int id, int& value)
{
    pDX->m_idLastControl = id;
    auto* b = qobject_cast<QAbstractButton*>(pDX->m_pDlgWnd->GetDlgItem(id));
    if (!b) {
        pDX->m_bFailed = true;
        return;
    }
    if (pDX->m_bSaveAndValidate) value = b->isChecked() ? 1 : 0;
    else b->setChecked(value != 0);
}

namespace {

// Whether a window owned by `window` (at any depth) is shown or still inside
// its modal run (a dialog keeps its modal mark until its loop has returned,
// also after it was hidden).
bool DialogOpenOver(const QWidget* window)
{
    const QList<QWidget*> owned = window->findChildren<QWidget*>();
    return std::any_of(owned.begin(), owned.end(), [](const QWidget* w) {
        return w->isWindow() && (w->isVisible() || w->testAttribute(Qt::WA_ShowModal));
    });
}

// The dialog runs that stand now: every modal window shown is in its run
// (nothing in the program shows a modal window without running it).
std::vector<QPointer<QWidget>> StandingDialogRuns()
{
    std::vector<QPointer<QWidget>> runs;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->testAttribute(Qt::WA_ShowModal))
            runs.emplace_back(w);
    return runs;
}

}  // namespace

void DeleteWindowWhenNoDialogRuns(QWidget* window, std::function<bool()> busy)
{
    if (!window)
        return;
    // A dialog that stands now may have been run from the window's own code,
    // whoever owns it (questions and notices belong to the main window):
    // that code goes on once the dialog's run returns, so the window stays
    // until every such run has returned. Each run is an event loop of its
    // own, the innermost ones: the code that ran the outermost of them runs
    // at the loop level below theirs.
    const std::vector<QPointer<QWidget>> runs = StandingDialogRuns();
    const int level = QThread::currentThread()->loopLevel() - static_cast<int>(runs.size());
    auto mayGo = [window, runs, level, busy] {
        if (DialogOpenOver(window) || QThread::currentThread()->loopLevel() > level || (busy && busy()))
            return false;
        return std::none_of(runs.begin(), runs.end(),
                            [](const QPointer<QWidget>& run) { return run && run->isVisible(); });
    };
    if (mayGo()) {
        window->deleteLater();
        return;
    }
    // Looked at again on a timer of the window's own (deleted with it): the
    // end of a dialog's run sends its owner nothing.
    auto* check = new QTimer(window);
    QObject::connect(check, &QTimer::timeout, window, [window, check, mayGo] {
        if (!mayGo())
            return;
        check->stop();
        window->deleteLater();
    });
    check->start(50);
}
