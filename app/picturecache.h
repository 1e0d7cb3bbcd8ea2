#pragma once

#include "jpegpicture.h"

#include <QByteArray>
#include <QImage>
#include <list>

// Decoded pictures, kept so that a page shown again, or decoded ahead of time,
// is not decoded again. An entry is found by the JPEG bytes themselves and the
// decode scale, so the cache can never give back another picture's pixels.
// Bounded by the memory its entries take, least recently used out first.
class PictureCache {
public:
    explicit PictureCache(qsizetype budget = 48 * 1024 * 1024) : m_budget(budget) {}

    // `picture` decoded at the smallest scale covering `atLeast` (as
    // JpegPicture::toImage does), from the cache or decoded now and kept.
    QImage decoded(const JpegPicture& picture, QSize atLeast);
    void clear();
    qsizetype size() const { return qsizetype(m_entries.size()); }

private:
    struct Entry {
        size_t hash;
        int scale;
        QByteArray data;
        QImage image;
        qsizetype cost() const { return data.size() + image.sizeInBytes(); }
    };

    std::list<Entry> m_entries; // most recently used first
    qsizetype m_used = 0;
    qsizetype m_budget;
};
