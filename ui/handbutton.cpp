#include "handbutton.h"

#include "uiservices.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <cstring>

namespace {
uint16_t Le16(const uchar* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Le32(const uchar* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// A 32-bit bottom-up bitmap of a cursor entry (its height counts the mask too).
QImage DecodeEntryBitmap(const QByteArray& data, int size)
{
    const auto* p = reinterpret_cast<const uchar*>(data.constData());
    if (data.size() < 40 || Le32(p) != 40)
        return QImage();
    const int w = int(Le32(p + 4));
    const int h = int(Le32(p + 8)) / 2;
    if (Le16(p + 14) != 32 || w <= 0 || h <= 0 || w > size || h > size)
        return QImage();
    if (data.size() < 40 + qsizetype(w) * h * 4)
        return QImage();
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        std::memcpy(image.scanLine(h - 1 - y), p + 40 + qsizetype(y) * w * 4, size_t(w) * 4);
    return image;
}
}  // namespace

std::optional<QCursor> LoadCursorFromFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray data = file.readAll();
    const auto* p = reinterpret_cast<const uchar*>(data.constData());
    if (data.size() < 22 || Le16(p) != 0 || Le16(p + 2) != 2 || Le16(p + 4) < 1)
        return std::nullopt;
    const int hx = Le16(p + 10), hy = Le16(p + 12);
    const uint32_t length = Le32(p + 14), offset = Le32(p + 18);
    if (offset > uint32_t(data.size()) || length > uint32_t(data.size()) - offset)
        return std::nullopt;
    const QByteArray image = data.mid(qsizetype(offset), qsizetype(length));
    QImage picture;
    if (!picture.loadFromData(image, "PNG"))
        picture = DecodeEntryBitmap(image, 256);
    if (picture.isNull() || hx >= picture.width() || hy >= picture.height())
        return std::nullopt;
    return QCursor(QPixmap::fromImage(picture), hx, hy);
}

CHandButton::CHandButton(QWidget* parent) : QPushButton(parent)
{
    setMouseTracking(true);
    if (UiServices* services = GetUiServices())
        m_strCursorPath = QString::fromStdString(services->GetResDir() + "hand.cur");
    if (!m_strCursorPath.isEmpty())
        m_hand = LoadCursorFromFile(m_strCursorPath);
}

CHandButton* CHandButton::ReplaceButton(QPushButton* placeholder)
{
    auto* button = new CHandButton(placeholder->parentWidget());
    button->setObjectName(placeholder->objectName());
    button->setGeometry(placeholder->geometry());
    button->setText(placeholder->text());
    button->setIcon(placeholder->icon());
    button->setIconSize(placeholder->iconSize());
    button->setToolTip(placeholder->toolTip());
    button->setEnabled(placeholder->isEnabled());
    button->setVisible(!placeholder->isHidden());
    placeholder->hide();
    placeholder->deleteLater();
    placeholder->setObjectName(QString());
    return button;
}

void CHandButton::ShowHand()
{
    if (m_hand && !m_bHandShown) {
        setCursor(*m_hand);
        m_bHandShown = true;
    }
}

void CHandButton::mouseMoveEvent(QMouseEvent* e)
{
    ShowHand();
    QPushButton::mouseMoveEvent(e);
}

void CHandButton::enterEvent(QEnterEvent* e)
{
    ShowHand();
    QPushButton::enterEvent(e);
}

void CHandButton::paintEvent(QPaintEvent* e)
{
    if (icon().isNull()) {
        QPushButton::paintEvent(e);
        return;
    }
    QPainter p(this);
    const QIcon::Mode mode = !isEnabled() ? QIcon::Disabled : underMouse() ? QIcon::Active : QIcon::Normal;
    const QPixmap picture = icon().pixmap(iconSize(), mode);
    const QPoint at((width() - iconSize().width()) / 2, (height() - iconSize().height()) / 2);
    p.drawPixmap(at + (isDown() ? QPoint(1, 1) : QPoint()), picture);
    if (hasFocus()) {
        p.setPen(QPen(QColor(0xE0, 0x7A, 0x2F), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 4, 4);
    }
}

void CHandButton::leaveEvent(QEvent* e)
{
    QPushButton::leaveEvent(e);
}
