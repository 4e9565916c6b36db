#include "dragdrop.h"

#include "uiwidgets.h"

#include <QCursor>
#include <QDrag>
#include <QDragEnterEvent>
#include <QLabel>
#include <QPainter>
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

QPixmap MakeDragPicture(const QIcon& rowPicture, bool dropAllowed)
{
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    if (!rowPicture.isNull())
        p.drawPixmap(0, 0, rowPicture.pixmap(32, 32).scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    const QIcon mark = UiLoadIcon(QLatin1String(dropAllowed ? "231" : "232"));
    if (!mark.isNull())
        p.drawPixmap(16, 16, mark.pixmap(16, 16));
    return picture;
}

CDragImage::~CDragImage() { delete m_pLabel; }

void CDragImage::SetHost(QWidget* host)
{
    // The picture is a child of the host's window, transparent for the
    // mouse, so the place under the cursor is still found by position
    // (widgetAt) though the picture lies right over it.
    QWidget* window = host ? host->window() : nullptr;
    if (m_pLabel && m_pLabel->parentWidget() == window)
        return;
    delete m_pLabel;
    m_pLabel = window ? new QLabel(window) : new QLabel(nullptr, Qt::ToolTip | Qt::FramelessWindowHint);
    m_pLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_pLabel->setAttribute(Qt::WA_TranslucentBackground);
    m_pLabel->hide();
}

void CDragImage::Show(const QPixmap& picture, const QPoint& cursor)
{
    if (!m_pLabel)
        SetHost(nullptr);
    m_pLabel->setPixmap(picture);
    m_pLabel->adjustSize();
    Move(cursor);
    m_pLabel->show();
    m_pLabel->raise();
}

void CDragImage::Move(const QPoint& cursor)
{
    if (!m_pLabel)
        return;
    const QPoint at = cursor - QPoint(8, 8);
    m_pLabel->move(m_pLabel->parentWidget() ? m_pLabel->parentWidget()->mapFromGlobal(at) : at);
}

void CDragImage::Hide()
{
    if (m_pLabel)
        m_pLabel->hide();
}

bool CDragImage::IsShown() const { return m_pLabel && m_pLabel->isVisible(); }

QWidget* CDragImage::Window() const { return m_pLabel; }

void CRowDragImage::Begin(const QIcon& rowPicture, const QPoint& cursor, QWidget* host)
{
    m_image.SetHost(host);
    m_row = rowPicture;
    m_bAllowed = false;
    m_image.Show(MakeDragPicture(m_row, false), cursor);
}

void CRowDragImage::Update(bool dropAllowed, const QPoint& cursor)
{
    if (dropAllowed != m_bAllowed || !m_image.IsShown()) {
        m_bAllowed = dropAllowed;
        m_image.Show(MakeDragPicture(m_row, dropAllowed), cursor);
    }
    m_image.Move(cursor);
}

void CRowDragImage::End()
{
    m_image.Hide();
    m_bAllowed = false;
}

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
        if (m_pOwner && m_pOwner->GetDropSource()) {
            m_pOwner->GetDropSource()->SetOverOwnView(true);
            m_pOwner->GetDropSource()->FeedbackAt(m_effect != Qt::IgnoreAction,
                                                  widget->mapToGlobal(e->position().toPoint()));
        }
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
        if (m_pOwner && m_pOwner->GetDropSource())
            m_pOwner->GetDropSource()->FeedbackAt(m_effect != Qt::IgnoreAction,
                                                  widget->mapToGlobal(e->position().toPoint()));
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

namespace {

CEntryDropSource::DragRunner& DragRunnerSlot()
{
    static CEntryDropSource::DragRunner runner;
    return runner;
}

}  // namespace

CEntryDropSource::~CEntryDropSource() = default;

void CEntryDropSource::SetDragRunner(DragRunner runner) { DragRunnerSlot() = std::move(runner); }

const QList<QPixmap>* CEntryDropSource::Images() const
{
    if (m_bDragging && !m_rowImages.isEmpty())
        return &m_rowImages;
    return m_pOwner ? m_pOwner->GetDragImageList() : nullptr;
}

Qt::DropAction CEntryDropSource::RunDrag(QWidget* from, QMimeData* data, const QIcon& rowPicture,
                                         Qt::DropActions actions, Qt::DropAction defaultAction)
{
    // Over the owner's window the drag shows the row's picture with the
    // drop or no-drop mark (GiveFeedback); elsewhere the drag's own picture
    // and cursors say the same.
    m_rowImages = {MakeDragPicture(rowPicture, false), MakeDragPicture(rowPicture, true)};
    m_image.SetHost(m_pView);
    auto* drag = new QDrag(from);
    drag->setMimeData(data);
    drag->setPixmap(rowPicture.isNull() ? m_rowImages.at(0) : rowPicture.pixmap(32, 32));
    drag->setHotSpot(QPoint(8, 8));
    const QPixmap drop = UiLoadIcon(QStringLiteral("231")).pixmap(32, 32);
    const QPixmap noDrop = UiLoadIcon(QStringLiteral("232")).pixmap(32, 32);
    if (!drop.isNull()) {
        drag->setDragCursor(drop, Qt::CopyAction);
        drag->setDragCursor(drop, Qt::MoveAction);
    }
    if (!noDrop.isNull())
        drag->setDragCursor(noDrop, Qt::IgnoreAction);
    QObject::connect(drag, &QDrag::actionChanged, drag,
                     [this](Qt::DropAction action) { FeedbackAt(action != Qt::IgnoreAction, QCursor::pos()); });
    m_bDragging = true;
    m_bImageShown = false;
    m_bStartImage = false;
    const DragRunner& runner = DragRunnerSlot();
    const Qt::DropAction result = runner ? runner(drag) : drag->exec(actions, defaultAction);
    if (runner)
        drag->deleteLater();
    EndDrag();
    m_bDragging = false;
    m_rowImages.clear();
    return result;
}

void CEntryDropSource::FeedbackAt(bool offered, const QPoint& cursor)
{
    if (!m_bDragging || !m_pView)
        return;
    GiveFeedback(offered, QRect(m_pView->mapToGlobal(QPoint(0, 0)), m_pView->size()), cursor);
}

bool CEntryDropSource::HitTest(const QPoint& screenPoint) const
{
    for (const QRect& r : m_dropRects)
        if (r.contains(screenPoint))
            return true;
    for (QWidget* w : m_dropPlaces)
        if (w && w->isVisible() && QRect(w->mapToGlobal(QPoint(0, 0)), w->size()).contains(screenPoint))
            return true;
    return false;
}

void CEntryDropSource::ShowImage(int index, const QPoint& at)
{
    const QList<QPixmap>* images = Images();
    m_shownImage = index;
    if (!images || index < 0 || index >= images->size())
        return;
    m_image.Show(images->at(index), at);
}

void CEntryDropSource::MoveImage(const QPoint& at)
{
    if (m_shownImage >= 0)
        m_image.Move(at);
}

void CEntryDropSource::HideImage()
{
    m_shownImage = -1;
    m_image.Hide();
}

CEntryDropSource::Feedback CEntryDropSource::GiveFeedback(bool offered, const QRect& viewRect,
                                                         const QPoint& cursor)
{
    if (!m_pOwner || !viewRect.isValid())
        return UseDefaultCursors;
    // The drag's own row pictures: the accepted one on drop places.
    const bool rowImages = m_bDragging && !m_rowImages.isEmpty();
    const int startImage = rowImages ? 1 : m_pOwner->GetDragImageStart();
    const int otherImage = rowImages ? 0 : m_pOwner->GetDragImageOther();
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
