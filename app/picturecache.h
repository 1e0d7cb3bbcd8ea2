#pragma once

#include "jpegpicture.h"

#include <QByteArray>
#include <QCache>
#include <QHashFunctions>
#include <QImage>
#include <QObject>
#include <QThreadPool>

// Decoded pictures, kept so that a page shown again, or decoded ahead of time,
// is not decoded again. An entry is found by the JPEG bytes themselves and the
// decode scale, so the cache can never give back another picture's pixels.
// Bounded by the memory its entries take, least recently used out first. The
// default budget holds the page shown and the two beside it as A4 pages
// scanned in colour at 300 dpi.
//
// The cache lives on the window's thread; only the work ahead runs on a
// worker, which is handed the JPEG bytes and gives back the pixels.
class PictureCache {
public:
    explicit PictureCache(qsizetype budget = 128 * 1024 * 1024);
    // Waits for a decode under way: it holds nothing of the cache's.
    ~PictureCache();
    PictureCache(const PictureCache&) = delete;
    PictureCache& operator=(const PictureCache&) = delete;

    // `picture` decoded at the smallest scale covering `atLeast` (as
    // JpegPicture::toImage does), from the cache or decoded now and kept.
    QImage decoded(const JpegPicture& picture, QSize atLeast);
    // Decodes `pictures` on the worker, each into the cache once done, in
    // order. Work asked for earlier and not yet begun is dropped: only the
    // pages beside the one shown last are worth the work. A picture that
    // cannot be decoded is left for the showing of it, which reports it.
    void decodeAhead(const QList<JpegPicture>& pictures, QSize atLeast);
    // Drops every entry, and every decode ahead not yet kept.
    void clear();
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
    static Key keyOf(const JpegPicture& picture, QSize atLeast);
    const Entry* find(const Key& key, const QByteArray& data) const;
    void keep(const Key& key, const QByteArray& data, const QImage& image);

    QCache<Key, Entry> m_entries; // the cost of an entry: the bytes it holds
    QThreadPool m_worker;
    QObject m_inbox;     // receives the worker's pictures on the window's thread
    quint64 m_round = 0; // a decode ahead from an earlier round is not kept
};
