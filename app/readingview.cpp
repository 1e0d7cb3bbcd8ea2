#include "readingview.h"

#include "application.h"
#include "jpegpicture.h"
#include "picturecache.h"
#include "recordset.h"
#include "storedpicture.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

using namespace Qt::StringLiterals;

namespace {
// The name and page number stay this long after a turn: enough to read, not
// long enough to stand over the music.
constexpr int WhereYouAreMs = 1200;
// A portrait page's height to its width (A4 and Letter are both near it).
constexpr double PortraitShape = 1.414;
} // namespace

ReadingView::ReadingView(RecordSet& records, PictureCache& cache, QWidget* parent)
    : QWidget(parent, Qt::Window), m_records(records), m_cache(cache) {
    // White, as the paper is: the margins beside a page read as more of the
    // same sheet, so nothing frames the page and nothing flashes as pages of
    // other shapes follow, and the black of the notes stays the one contrast.
    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::BlankCursor);
    setFocusPolicy(Qt::StrongFocus);
    m_whereTimer.setSingleShot(true);
    m_whereTimer.setInterval(WhereYouAreMs);
    connect(&m_whereTimer, &QTimer::timeout, this, [this] {
        m_showWhere = false;
        update();
    });
}

void ReadingView::open(QScreen* screen) {
    if (screen) {
        setScreen(screen);
        setGeometry(screen->geometry());
    }
    setPage(m_records.RecNo());
    showFullScreen();
    activateWindow();
}

int ReadingView::pageCount() const {
    return m_records.Active() ? m_records.RowCount() : 0;
}

void ReadingView::setPage(int row) {
    m_page = std::clamp(row, 0, std::max(0, pageCount() - 1));
    showWhereYouAre();
}

void ReadingView::turn(int direction) {
    const int step = pagesShown();
    const int to = direction > 0 ? m_page + step : std::max(0, m_page - step);
    if (to >= pageCount() || to == m_page) {
        // The end: the name and page number say where the list stops.
        showWhereYouAre();
        return;
    }
    m_page = to;
    showWhereYouAre();
}

void ReadingView::showWhereYouAre() {
    m_showWhere = true;
    m_whereTimer.start();
    update();
}

QString ReadingView::whereYouAre() const {
    if (!m_showWhere || pageCount() == 0)
        return {};
    const int last = std::min(m_page + pagesShown(), pageCount());
    const QString pages =
        last - 1 > m_page ? u"%1-%2"_s.arg(m_page + 1).arg(last) : QString::number(m_page + 1);
    return u"%1    page %2 / %3"_s.arg(m_records.NameAt(m_page), pages).arg(pageCount());
}

QRect ReadingView::slot(int index) const {
    if (!m_twoPages)
        return rect();
    const int half = width() / 2;
    return index == 0 ? QRect(0, 0, half, height()) : QRect(half, 0, width() - half, height());
}

JpegPicture ReadingView::pictureAt(int row) const {
    try {
        const QByteArray value = m_records.PictureValueAt(row);
        if (!value.isEmpty())
            return JpegPicture::fromJpegData(StoredPicture::jpegFromValue(value));
    } catch (const std::exception&) {
    }
    return {};
}

QSize ReadingView::fittedSize(QSize page, QSize room) {
    if (page.isEmpty() || room.isEmpty())
        return {};
    return page.scaled(room, Qt::KeepAspectRatio).expandedTo({1, 1});
}

QImage ReadingView::drawn(int row, QRect room) {
    const QSize roomSize = room.size() * devicePixelRatio();
    for (const Shown& shown : std::as_const(m_shown))
        if (shown.row == row && shown.size == roomSize)
            return shown.image;
    const JpegPicture picture = pictureAt(row);
    const QSize size = fittedSize(picture.size(), roomSize);
    QImage image;
    if (!size.isEmpty()) {
        try {
            image = m_cache.fitted(picture, size, PictureCache::Drawing::Smooth);
        } catch (const std::exception&) {
        }
    }
    return image;
}

void ReadingView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const qreal ratio = devicePixelRatio();
    QList<Shown> shown;
    for (int index = 0; index < pagesShown() && m_page + index < pageCount(); ++index) {
        const QRect room = slot(index);
        QImage image = drawn(m_page + index, room);
        shown.append({m_page + index, room.size() * ratio, image});
        if (image.isNull())
            continue;
        image.setDevicePixelRatio(ratio);
        const QSizeF extent = image.deviceIndependentSize();
        // Two pages meet in the middle, as an open book's do.
        qreal x = room.x() + (room.width() - extent.width()) / 2;
        if (m_twoPages)
            x = index == 0 ? room.right() + 1 - extent.width() : room.x();
        const qreal y = room.y() + (room.height() - extent.height()) / 2;
        painter.drawImage(QPointF(std::round(x), std::round(y)), image);
    }
    m_shown = std::move(shown);
    if (m_showWhere) {
        QFont font = painter.font();
        font.setPixelSize(std::max(14, height() / 40));
        painter.setFont(font);
        // A long name is cut short: the box never reaches across the music.
        const QString where =
            painter.fontMetrics().elidedText(whereYouAre(), Qt::ElideMiddle, width() / 2);
        QRect box = painter.fontMetrics().boundingRect(where).adjusted(-12, -6, 12, 6);
        box.moveBottomLeft(rect().bottomLeft() + QPoint(8, -8));
        painter.fillRect(box, QColor(0, 0, 0, 160));
        painter.setPen(Qt::white);
        painter.drawText(box, Qt::AlignCenter, where);
    }
    m_workAhead.request();
}

// The next pages and the one before, drawn on the worker for this screen, so
// that a turn finds them ready.
void ReadingView::drawAhead() {
    const int step = pagesShown();
    QList<std::pair<JpegPicture, QSize>> pages;
    auto add = [&](int row, int index) {
        if (row < 0 || row >= pageCount())
            return;
        const JpegPicture picture = pictureAt(row);
        const QSize size = fittedSize(picture.size(), slot(index).size() * devicePixelRatio());
        if (!size.isEmpty())
            pages.append({picture, size});
    };
    for (int index = 0; index < step; ++index)
        add(m_page + step + index, index);
    add(m_page + 2 * step, 0);
    for (int index = 0; index < step; ++index)
        add(m_page - step + index, index);
    m_cache.drawAhead(pages, PictureCache::Drawing::Smooth);
}

void ReadingView::keyPressEvent(QKeyEvent* event) {
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_PageDown:
    case Qt::Key_Right:
    case Qt::Key_Down:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        turn(+1);
        return;
    case Qt::Key_Space:
        turn(shift ? -1 : +1);
        return;
    case Qt::Key_PageUp:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Backspace:
        turn(-1);
        return;
    case Qt::Key_2:
        m_pagesChosen = true;
        m_twoPages = !m_twoPages;
        showWhereYouAre();
        return;
    case Qt::Key_F11:
    case Qt::Key_Escape:
        close();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void ReadingView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        turn(event->position().x() >= width() / 2.0 ? +1 : -1);
}

// A notch turns a page; a touchpad's small steps add up to one.
void ReadingView::wheelEvent(QWheelEvent* event) {
    m_wheel += event->angleDelta().y();
    while (std::abs(m_wheel) >= QWheelEvent::DefaultDeltasPerStep) {
        const int direction = m_wheel < 0 ? +1 : -1;
        m_wheel += direction * QWheelEvent::DefaultDeltasPerStep;
        turn(direction);
    }
}

// Two pages when the screen is wider than tall and two portrait pages side by
// side are each taller than a third of it.
void ReadingView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_pagesChosen)
        return;
    const double pageHeight = std::min<double>(height(), width() / 2.0 * PortraitShape);
    m_twoPages = width() > height() && pageHeight > height() / 3.0;
}

// The list stands on the last page read, moved as any step moves it, so the
// main window shows that page.
void ReadingView::closeEvent(QCloseEvent* event) {
    if (pageCount() > 0)
        runReported([this] { m_records.MoveTo(m_page); });
    QWidget::closeEvent(event);
}
