#include "fitrule.h"

QRect fitPicture(QSize picture, QSize area) {
    // Integer arithmetic gives trunc(cw / a) and trunc(ch * a), a = w / h,
    // exactly, where floating point can land one pixel short.
    qint64 w = picture.width(), h = picture.height();
    const qint64 cw = area.width(), ch = area.height();
    if ((w > cw || h > ch) && w > 0 && h > 0) {
        qint64 width, height;
        if (w > h) {
            width = cw;
            height = cw * h / w;
            if (height > ch) {
                height = ch;
                width = ch * w / h;
            }
        } else {
            height = ch;
            width = ch * w / h;
            if (width > cw) {
                width = cw;
                height = cw * h / w;
            }
        }
        w = width;
        h = height;
    }
    return QRect(int((cw - w) / 2), int((ch - h) / 2), int(w), int(h));
}
