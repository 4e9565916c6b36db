#include "dragdrop.h"

#include <QCursor>
#include <QDragEnterEvent>
#include <QLabel>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

const char* const kPellardMimeType = "application/x-pellard";
const char* const kVCardMimeType = "text/vcard";
const char* const kVCardMimeTypeOld = "text/x-vcard";

QMimeData* MakeEntryMimeData(const QByteArray& pellard, const QByteArray& vcard,
                             const QString& vcfPath)
{
    auto* data = new QMimeData;
    if (!pellard.isEmpty())
        data->setData(QString::fromLatin1(kPellardMimeType), pellard);
    if (!vcard.isEmpty()) {
        data->setData(QString::fromLatin1(kVCardMimeType), vcard);
        data->setData(QString::fromLatin1(kVCardMimeTypeOld), vcard);
    }
    if (!vcfPath.isEmpty())
        data->setUrls({QUrl::fromLocalFile(vcfPath)});
    return data;
}

bool ReadEntryMimeData(const QMimeData* data, QByteArray* pellard, QByteArray* vcard,
                       QStringList* files)
{
    if (!data)
        return false;
    bool any = false;
    if (data->hasFormat(QString::fromLatin1(kPellardMimeType))) {
        if (pellard)
            *pellard = data->data(QString::fromLatin1(kPellardMimeType));
        any = true;
    }
    for (const char* type : {kVCardMimeType, kVCardMimeTypeOld}) {
        if (data->hasFormat(QString::fromLatin1(type))) {
            if (vcard)
                *vcard = data->data(QString::fromLatin1(type));
            any = true;
            break;
        }
    }
    if (data->hasUrls()) {
        for (const QUrl& url : data->urls()) {
            if (!url.isLocalFile())
                continue;
            if (files)
                files->append(url.toLocalFile());
            any = true;
        }
    }
    return any;
}

bool CDropOwner::OnDropData(QWidget*, const QMimeData*) { return true; }
Qt::DropAction CDropOwner::CanDropData(QWidget*, const QMimeData*) { return Qt::IgnoreAction; }
const QList<QPixmap>* CDropOwner::GetDragImageList() { return nullptr; }
int CDropOwner::GetDragImageOther() { return 0; }
int CDropOwner::GetDragImageStart() { return 0; }

CEntryDropTarget::CEntryDropTarget(QObject* parent) : QObject(parent) {}

void CEntryDropTarget::Register(QWidget* widget)
{
    if (!widget)
        return;
    widget->setAcceptDrops(true);
    widget->installEventFilter(this);
}

bool CEntryDropTarget::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::DragEnter: {
        auto* e = static_cast<QDragEnterEvent*>(event);
        m_effect = m_pOwner ? m_pOwner->CanDropData(widget, e->mimeData()) : Qt::IgnoreAction;
        if (m_pOwner && m_pOwner->GetDropSource())
            m_pOwner->GetDropSource()->SetOverOwnView(true);
        if (m_effect == Qt::IgnoreAction) {
            e->ignore();
        } else {
            e->setDropAction(m_effect);
            e->accept();
        }
        return true;
    }
    case QEvent::DragMove: {
        // The decision taken at enter holds for the whole passage.
        auto* e = static_cast<QDragMoveEvent*>(event);
        if (m_effect == Qt::IgnoreAction) {
            e->ignore();
        } else {
            e->setDropAction(m_effect);
            e->accept();
        }
        return true;
    }
    case QEvent::DragLeave:
        if (m_pOwner && m_pOwner->GetDropSource())
            m_pOwner->GetDropSource()->SetOverOwnView(false);
        return true;
    case QEvent::Drop: {
        auto* e = static_cast<QDropEvent*>(event);
        // The owner's answer is the drop's result: a refused or failed drop
        // reports no action, so the source never deletes what was not taken.
        const bool taken = m_pOwner && m_effect != Qt::IgnoreAction &&
                           m_pOwner->OnDropData(widget, e->mimeData());
        if (taken) {
            e->setDropAction(m_effect);
            e->accept();
        } else {
            e->setDropAction(Qt::IgnoreAction);
            e->ignore();
        }
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

CEntryDropSource::~CEntryDropSource() { delete m_pImage; }

bool CEntryDropSource::HitTest(const QPoint& screenPoint) const
{
    for (const QRect& r : m_dropRects)
        if (r.contains(screenPoint))
            return true;
    return false;
}

void CEntryDropSource::ShowImage(int index, const QPoint& at)
{
    const QList<QPixmap>* images = m_pOwner ? m_pOwner->GetDragImageList() : nullptr;
    m_shownImage = index;
    if (!images || index < 0 || index >= images->size())
        return;
    if (!m_pImage) {
        m_pImage = new QLabel(nullptr, Qt::ToolTip | Qt::FramelessWindowHint);
        m_pImage->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_pImage->setAttribute(Qt::WA_TranslucentBackground);
    }
    m_pImage->setPixmap(images->at(index));
    m_pImage->adjustSize();
    MoveImage(at);
    m_pImage->show();
}

void CEntryDropSource::MoveImage(const QPoint& at)
{
    // The image's hot spot is (8, 8).
    if (m_pImage && m_shownImage >= 0)
        m_pImage->move(at - QPoint(8, 8));
}

void CEntryDropSource::HideImage()
{
    m_shownImage = -1;
    if (m_pImage)
        m_pImage->hide();
}

CEntryDropSource::Feedback CEntryDropSource::GiveFeedback(bool offered, const QRect& viewRect,
                                                         const QPoint& cursor)
{
    if (!m_pOwner || !viewRect.isValid())
        return UseDefaultCursors;
    const int startImage = m_pOwner->GetDragImageStart();
    const int otherImage = m_pOwner->GetDragImageOther();
    if (m_bOverOwnView && HitTest(cursor)) {
        // Over one of the owner's own drop places.
        if (offered && !m_bStartImage) {
            HideImage();
            ShowImage(startImage, cursor);
            m_bStartImage = true;
        }
        MoveImage(cursor);
        return Started;
    }
    if (m_bOverOwnView && viewRect.contains(cursor)) {
        if (m_bStartImage) {
            HideImage();
            ShowImage(otherImage, cursor);
            m_bStartImage = false;
        }
        if (!m_bImageShown) {
            ShowImage(otherImage, cursor);
            m_bImageShown = true;
        }
        MoveImage(cursor);
        return Started;
    }
    // Outside the owner: the system's drag cursors tell the effect.
    if (m_bStartImage) {
        HideImage();
        ShowImage(otherImage, cursor);
        m_bStartImage = false;
    }
    if (m_bImageShown) {
        HideImage();
        m_bImageShown = false;
    }
    return UseDefaultCursors;
}

void CEntryDropSource::EndDrag()
{
    HideImage();
    m_bImageShown = false;
    m_bStartImage = false;
    m_bOverOwnView = false;
}
