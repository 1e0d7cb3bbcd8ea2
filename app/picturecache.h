#pragma once

#include "jpegpicture.h"

#include <QByteArray>
#include <QCache>
#include <QHashFunctions>
#include <QImage>

// Decoded pictures, kept so that a page shown again, or decoded ahead of time,
// is not decoded again. An entry is found by the JPEG bytes themselves and the
// decode scale, so the cache can never give back another picture's pixels.
// Bounded by the memory its entries take, least recently used out first.
class PictureCache {
public:
    explicit PictureCache(qsizetype budget = 48 * 1024 * 1024) : m_entries(budget) {}

    // `picture` decoded at the smallest scale covering `atLeast` (as
    // JpegPicture::toImage does), from the cache or decoded now and kept.
    QImage decoded(const JpegPicture& picture, QSize atLeast);
    void clear() { m_entries.clear(); }
    qsizetype size() const { return m_entries.size(); }

private:
    // The hash of the JPEG bytes only narrows the search: an entry is taken
    // once its own bytes are the picture's, byte for byte.
    struct Key {
        size_t hash;
        int scale;
        friend bool operator==(const Key&, const Key&) = default;
        friend size_t qHash(const Key& key, size_t seed = 0) noexcept {
            return qHashMulti(seed, key.hash, key.scale);
        }
    };
    struct Entry {
        QByteArray data;
        QImage image;
        qsizetype cost() const { return data.size() + image.sizeInBytes(); }
    };

    QCache<Key, Entry> m_entries; // the cost of an entry: the bytes it holds
};
