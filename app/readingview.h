#pragma once

#include "afterqueued.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

class JpegPicture;
class PictureCache;
class RecordSet;

// Reading from the screen while playing: the pages of the list, in its
// order, fitted whole to the screen and turned by the keys a page-turner
// pedal sends, a click on either side, or the wheel. Two pages stand side by
// side where the screen is wide enough for both. Leaving it (F11 or Escape)
// puts the list's current record on the last page read.
class ReadingView : public QWidget {
    Q_OBJECT
public:
    ReadingView(RecordSet& records, PictureCache& cache, QWidget* parent = nullptr);

    // Shows the view full screen on `screen`, at the list's current record.
    void open(QScreen* screen);
    // The first page shown (a row of the list).
    int page() const { return m_page; }
    void setPage(int row);
    bool twoPages() const { return m_twoPages; }
    // The name and "page N / M" of the last turn, while they are shown.
    QString whereYouAre() const;

    // Forward (+1) or back (-1) by what is shown; at either end, nothing.
    void turn(int direction);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    int pageCount() const;
    int pagesShown() const { return m_twoPages ? 2 : 1; }
    // Where each page shown stands, in the widget's own pixels.
    QRect slot(int index) const;
    // The page on `row`, empty for a record without one or one that cannot be read.
    JpegPicture pictureAt(int row) const;
    // The size the page is drawn at, in device pixels, and where it stands.
    static QSize fittedSize(QSize page, QSize room);
    QImage drawn(int row, QRect room);
    void drawAhead();
    void showWhereYouAre();

    RecordSet& m_records;
    PictureCache& m_cache;
    int m_page = 0;
    bool m_twoPages = false;
    bool m_pagesChosen = false; // by the key: the screen's shape no longer decides
    int m_wheel = 0;            // wheel turning not yet a whole notch
    QTimer m_whereTimer;        // hides the name and page number again
    bool m_showWhere = false;
    // The pages on the screen, kept by the view itself: a repaint (the page
    // number going) never waits on a decode, whatever the cache let go.
    struct Shown {
        int row;
        QSize size;
        QImage image;
    };
    QList<Shown> m_shown;
    AfterQueued m_workAhead{[this] { drawAhead(); }};
};
