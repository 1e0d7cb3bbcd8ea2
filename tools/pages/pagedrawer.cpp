#include "pagedrawer.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <random>

using namespace Qt::StringLiterals;

namespace {

constexpr int Margin = 200;
constexpr int StaffGap = 24; // between two lines of the five-line staff
constexpr int TabGap = 28;   // between two strings of the tablature

class PageDrawer {
public:
    PageDrawer(QImage& page, unsigned seed, double grain)
        : m_page(page), m_painter(&page), m_random(seed), m_grain(grain) {
        m_painter.setRenderHint(QPainter::Antialiasing);
    }

    void draw(const Piece& piece, int number) {
        drawPaper();
        drawTitle(piece);
        int top = 760;
        while (top + 330 < PageHeight - Margin) {
            drawSystem(top);
            top += 470;
        }
        m_painter.setFont(font(40));
        m_painter.drawText(QRect(0, PageHeight - 150, PageWidth, 60), Qt::AlignCenter,
                           u"— %1 —"_s.arg(number));
    }

private:
    int uniform(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(m_random);
    }

    static QFont font(int pixels, bool bold = false) {
        QFont f(u"Noto Serif CJK SC"_s);
        f.setPixelSize(pixels);
        f.setBold(bold);
        return f;
    }

    // Off-white paper with the faint grain of a scanner.
    void drawPaper() {
        m_page.fill(QColor(250, 249, 244));
        std::normal_distribution<double> grain(0.0, m_grain);
        for (int y = 0; y < PageHeight; ++y) {
            auto* line = reinterpret_cast<QRgb*>(m_page.scanLine(y));
            for (int x = 0; x < PageWidth; ++x) {
                const int shade = std::clamp(int(247 + grain(m_random)), 0, 255);
                line[x] = qRgb(shade + 3 > 255 ? 255 : shade + 3, shade + 2 > 255 ? 255 : shade + 2,
                               shade);
            }
        }
    }

    void drawTitle(const Piece& piece) {
        m_painter.setPen(QColor(20, 20, 20));
        m_painter.setFont(font(120, true));
        m_painter.drawText(QRect(0, 220, PageWidth, 160), Qt::AlignCenter, piece.title);
        m_painter.setFont(font(54));
        m_painter.drawText(QRect(0, 400, PageWidth, 80), Qt::AlignCenter, piece.subtitle);
        m_painter.setFont(font(42));
        m_painter.drawText(QRect(Margin, 500, PageWidth - 2 * Margin, 60), Qt::AlignRight,
                           u"编配：tamblor"_s);
    }

    void drawLines(int top, int count, int gap) {
        m_painter.setPen(QPen(QColor(30, 30, 30), 3));
        for (int i = 0; i < count; ++i)
            m_painter.drawLine(Margin, top + i * gap, PageWidth - Margin, top + i * gap);
    }

    void drawSystem(int top) {
        const int tabTop = top + 4 * StaffGap + 90;
        drawLines(top, 5, StaffGap);
        drawLines(tabTop, 6, TabGap);
        m_painter.setFont(font(38, true));
        for (int i = 0; i < 3; ++i)
            m_painter.drawText(QRect(Margin + 10, tabTop + i * 46 - 4, 40, 50), Qt::AlignCenter,
                               QString(u"TAB"_s[i]));
        drawClef(Margin + 30, top);
        const int bars = 4;
        const int first = Margin + 140;
        const int barWidth = (PageWidth - Margin - first) / bars;
        for (int bar = 0; bar < bars; ++bar) {
            const int left = first + bar * barWidth;
            drawBarLine(left + barWidth, top, tabTop);
            drawBar(left, barWidth, top, tabTop);
        }
        drawBarLine(first, top, tabTop);
    }

    void drawClef(int x, int top) {
        QPainterPath clef;
        clef.moveTo(x + 40, top + 4 * StaffGap + 40);
        clef.cubicTo(x + 10, top + 4 * StaffGap, x + 70, top - 40, x + 45, top - 20);
        clef.cubicTo(x + 20, top + 20, x + 10, top + 70, x + 45, top + 80);
        clef.cubicTo(x + 80, top + 80, x + 70, top + 30, x + 40, top + 45);
        m_painter.setPen(QPen(QColor(20, 20, 20), 7));
        m_painter.drawPath(clef);
    }

    void drawBarLine(int x, int top, int tabTop) {
        m_painter.setPen(QPen(QColor(30, 30, 30), 4));
        m_painter.drawLine(x, top, x, top + 4 * StaffGap);
        m_painter.drawLine(x, tabTop, x, tabTop + 5 * TabGap);
    }

    // Eighth notes in beamed pairs, each with its fret number on the tablature.
    void drawBar(int left, int width, int top, int tabTop) {
        const int notes = 8;
        const int step = width / (notes + 1);
        m_painter.setBrush(QColor(15, 15, 15));
        QPoint stemTop;
        for (int i = 0; i < notes; ++i) {
            const int x = left + step * (i + 1);
            const int position = uniform(-2, 10); // half-gap steps below the top line
            const int y = top + position * StaffGap / 2;
            drawNote(x, y, top);
            const QPoint stemEnd(x + 14, y - 90);
            m_painter.setPen(QPen(QColor(15, 15, 15), 4));
            m_painter.drawLine(QPoint(x + 14, y), stemEnd);
            if (i % 2 == 1) {
                m_painter.setPen(QPen(QColor(15, 15, 15), 10));
                m_painter.drawLine(stemTop, QPoint(stemEnd.x(), stemTop.y()));
            } else {
                stemTop = stemEnd;
            }
            drawFret(x, tabTop + uniform(0, 5) * TabGap, uniform(0, 12));
        }
        m_painter.setBrush(Qt::NoBrush);
    }

    void drawNote(int x, int y, int top) {
        m_painter.setPen(Qt::NoPen);
        m_painter.save();
        m_painter.translate(x, y);
        m_painter.rotate(-20);
        m_painter.drawEllipse(QRect(-16, -11, 32, 22));
        m_painter.restore();
        // Ledger lines for notes above or below the staff.
        m_painter.setPen(QPen(QColor(30, 30, 30), 3));
        for (int ledger = top - StaffGap; ledger >= y; ledger -= StaffGap)
            m_painter.drawLine(x - 26, ledger, x + 26, ledger);
        for (int ledger = top + 5 * StaffGap; ledger <= y; ledger += StaffGap)
            m_painter.drawLine(x - 26, ledger, x + 26, ledger);
    }

    void drawFret(int x, int y, int fret) {
        const QString text = QString::number(fret);
        const QRect box(x - 22, y - 20, 44, 40);
        m_painter.setPen(Qt::NoPen);
        m_painter.setBrush(QColor(250, 249, 244));
        m_painter.drawRect(box.adjusted(6, 4, -6, -4));
        m_painter.setBrush(Qt::NoBrush);
        m_painter.setPen(QColor(15, 15, 15));
        m_painter.setFont(font(34, true));
        m_painter.drawText(box, Qt::AlignCenter, text);
    }

    QImage& m_page;
    QPainter m_painter;
    std::mt19937 m_random;
    double m_grain;
};

} // namespace

QImage drawScorePage(const Piece& piece, int number, unsigned seed, double grain) {
    QImage page(PageWidth, PageHeight, QImage::Format_RGB32);
    PageDrawer(page, seed, grain).draw(piece, number);
    return page;
}
