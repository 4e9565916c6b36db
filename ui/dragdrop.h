// Drag and drop of entries between panes and screens, and to and from other
// programs. The program's own entry form travels as "application/x-pellard",
// vCards as "text/vcard" (and "text/x-vcard" for older programs), files as
// URLs. A drop target forwards every drag event to the screen that owns it;
// the screen's drop source keeps the drag feedback state.
#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>

class QDrag;
class QMimeData;
class QWidget;
class QLabel;
class CEntryDropSource;

#include <functional>

// The picture a drag shows: the dragged row's picture with the drop mark
// (icon 231) or the no-drop mark (icon 232) in its lower right corner.
QPixmap MakeDragPicture(const QIcon& rowPicture, bool dropAllowed);

// A picture that follows the cursor during a drag (hot spot (8, 8)): a
// small window of its own, which never takes the mouse.
class CDragImage {
public:
    CDragImage() = default;
    ~CDragImage();
    CDragImage(const CDragImage&) = delete;
    CDragImage& operator=(const CDragImage&) = delete;
    // The widget whose window shows the picture (none: a window of its own).
    void SetHost(QWidget* host);
    void Show(const QPixmap& picture, const QPoint& cursor);
    void Move(const QPoint& cursor);
    void Hide();
    bool IsShown() const;
    // The window that shows it (null before the first Show).
    QWidget* Window() const;

private:
    QPointer<QLabel> m_pLabel;
};

// The drag of rows for the screens that drag inside themselves (melodies,
// object lists): the row's picture with the drop or no-drop mark follows
// the cursor.
class CRowDragImage {
public:
    void Begin(const QIcon& rowPicture, const QPoint& cursor, QWidget* host);
    // The place under the cursor takes the drop or not.
    void Update(bool dropAllowed, const QPoint& cursor);
    void End();
    bool IsDropShown() const { return m_bAllowed; }
    const CDragImage& Image() const { return m_image; }

private:
    QIcon m_row;
    bool m_bAllowed = false;
    CDragImage m_image;
};

// The formats of a dragged entry.
extern const char* const kPellardMimeType;  // "application/x-pellard"
extern const char* const kVCardMimeType;    // "text/vcard"
extern const char* const kVCardMimeTypeOld; // "text/x-vcard"

// Builds the data of an entry drag: the private form (when not empty), the
// vCard text under both vCard types, and the vCard file (a ".VCF" the owner
// wrote) as a file URL for file managers and mail programs.
QMimeData* MakeEntryMimeData(const QByteArray& pellard, const QByteArray& vcard,
                             const QString& vcfPath = QString());
// What a drop carries; false when it holds none of the entry formats or files.
bool ReadEntryMimeData(const QMimeData* data, QByteArray* pellard, QByteArray* vcard,
                       QStringList* files);

// What the drag-and-drop classes need of the screen that owns them. The
// defaults accept nothing and have no drag images.
class CDropOwner {
public:
    virtual ~CDropOwner() = default;
    // The drop itself; true when the owner took the data.
    virtual bool OnDropData(QWidget* target, const QMimeData* data);
    // Decided once when the drag enters a target: the action offered, or
    // Qt::IgnoreAction to refuse the drop.
    virtual Qt::DropAction CanDropData(QWidget* target, const QMimeData* data);
    // The drag images: a list and the indexes of the image shown over the
    // owner's own drop places (start) and elsewhere over the owner (other).
    virtual const QList<QPixmap>* GetDragImageList();
    virtual int GetDragImageOther();
    virtual int GetDragImageStart();
    virtual CEntryDropSource* GetDropSource() = 0;
};

// The drop target put on source buttons, lists and screens: an event filter
// that accepts drops on the widgets registered with it.
class CEntryDropTarget : public QObject {
    Q_OBJECT
public:
    explicit CEntryDropTarget(QObject* parent = nullptr);
    void SetOwner(CDropOwner* owner) { m_pOwner = owner; }
    CDropOwner* Owner() const { return m_pOwner; }
    // Makes `widget` accept drops through this target.
    void Register(QWidget* widget);
    // The action decided at the last drag enter.
    Qt::DropAction Effect() const { return m_effect; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CDropOwner* m_pOwner = nullptr;
    Qt::DropAction m_effect = Qt::IgnoreAction;
};

// The drag source state of a screen: the drop places of its own (screen
// rectangles), whether the cursor is over the screen itself, and which drag
// image shows.
class CEntryDropSource {
public:
    enum Feedback { UseDefaultCursors, Started };

    explicit CEntryDropSource(CDropOwner* owner = nullptr) : m_pOwner(owner) {}
    // The window of the owner, whose rectangle bounds the drag's own images.
    void SetView(QWidget* view) { m_pView = view; }

    // Drags `data` (taken over) from `from` with the row's picture and runs
    // the feedback while the drag lasts; the action the drop took.
    Qt::DropAction RunDrag(QWidget* from, QMimeData* data, const QIcon& rowPicture, Qt::DropActions actions,
                           Qt::DropAction defaultAction);
    bool IsDragging() const { return m_bDragging; }
    // A drag event of a target or of the owner's window while this source
    // drags: `offered` whether that place takes the drop, `cursor` in
    // screen coordinates. Nothing when no drag of this source runs.
    void FeedbackAt(bool offered, const QPoint& cursor);
    // The window system's drag loop; tests put a scripted one in its place.
    using DragRunner = std::function<Qt::DropAction(QDrag*)>;
    static void SetDragRunner(DragRunner runner);
    // The floating image (for checks and pictures of a drag in progress).
    const CDragImage& Image() const { return m_image; }
    ~CEntryDropSource();
    CEntryDropSource(const CEntryDropSource&) = delete;
    CEntryDropSource& operator=(const CEntryDropSource&) = delete;

    void SetOwner(CDropOwner* owner) { m_pOwner = owner; }
    void AddDropRect(const QRect& screenRect) { m_dropRects.append(screenRect); }
    // A drop place given as a widget: its rectangle is taken where it is at
    // the time of the test, so a moved window needs no update.
    void AddDropPlace(QWidget* widget) { m_dropPlaces.append(widget); }
    void ClearDropRects()
    {
        m_dropRects.clear();
        m_dropPlaces.clear();
    }
    bool HitTest(const QPoint& screenPoint) const;

    void SetOverOwnView(bool over) { m_bOverOwnView = over; }
    bool IsOverOwnView() const { return m_bOverOwnView; }
    bool IsImageShown() const { return m_bImageShown; }
    void SetImageShown(bool shown) { m_bImageShown = shown; }
    bool GetImageMode() const { return m_bStartImage; }
    void SetImageMode(bool start) { m_bStartImage = start; }

    // One step of the drag feedback: `offered` is whether the target under
    // the cursor accepts, `viewRect` the owner's window in screen
    // coordinates, `cursor` the cursor position. Switches between the
    // owner's start and other images over the owner, and back to the
    // system's drag cursors outside it.
    Feedback GiveFeedback(bool offered, const QRect& viewRect, const QPoint& cursor);
    // Ends the drag image (at the end of a drag).
    void EndDrag();
    // The image on screen (-1 when none), for callers and checks.
    int ShownImage() const { return m_shownImage; }

private:
    void ShowImage(int index, const QPoint& at);
    void MoveImage(const QPoint& at);
    void HideImage();

    const QList<QPixmap>* Images() const;

    CDropOwner* m_pOwner = nullptr;
    QWidget* m_pView = nullptr;
    QList<QRect> m_dropRects;
    QList<QWidget*> m_dropPlaces;
    bool m_bOverOwnView = false;
    bool m_bImageShown = false;  // the drag image (not the system cursor) is shown
    bool m_bStartImage = false;
    bool m_bDragging = false;
    int m_shownImage = -1;
    // While RunDrag runs: the row's picture refused (0) and accepted (1).
    QList<QPixmap> m_rowImages;
    CDragImage m_image;
};
