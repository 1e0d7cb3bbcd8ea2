#pragma once

#include "jpegpicture.h"

#include <QByteArray>
#include <QCache>
#include <QHashFunctions>
#include <QImage>
#include <QObject>
#include <QThreadPool>

// Pictures drawn for the picture area, kept so that a page shown again, or
// drawn ahead of time, is not decoded again. An entry is found by the JPEG
// bytes themselves and the size drawn, so the cache can never give back
// another picture's pixels. Bounded by the memory its entries take, least
// recently used out first.
//
// The cache lives on the window's thread; only the work ahead runs on a
// worker, which is handed the JPEG bytes and gives back the pixels.
class PictureCache {
public:
    // How a page is brought to the size drawn: by the nearest pixel, as the
    // picture area draws, or averaged, so that a line thinner than the
    // shrinking stays a line (the reading view).
    enum class Drawing { Nearest, Smooth };

    explicit PictureCache(qsizetype budget = 48 * 1024 * 1024);
    // Stops a drawing under way at its next row, and waits for that.
    ~PictureCache();
    PictureCache(const PictureCache&) = delete;
    PictureCache& operator=(const PictureCache&) = delete;

    // `picture` drawn at `size` by the nearest pixel (as
    // JpegCodec::decodeFitted does), from the cache or drawn now and kept.
    QImage fitted(const JpegPicture& picture, QSize size, Drawing drawing = Drawing::Nearest);
    // Draws each picture at its size on the worker, into the cache once done,
    // in order. Work asked for earlier and not yet begun is dropped: only the
    // pages beside the one shown last are worth it. A picture that cannot be
    // decoded is left for the showing of it, which reports it.
    void drawAhead(const QList<std::pair<JpegPicture, QSize>>& pictures,
                   Drawing drawing = Drawing::Nearest);
    // Drops every entry, and every drawing ahead not yet kept.
    void clear();
    qsizetype size() const { return m_entries.size(); }
    // Waits until the drawings ahead are done, and keeps them: the window as
    // it is after a pause.
    void waitForWorkAhead();

private:
    // The hash of the JPEG bytes only narrows the search: an entry is taken
    // once its own bytes are the picture's, byte for byte.
    struct Key {
        size_t hash;
        QSize size;
        Drawing drawing;
        friend bool operator==(const Key&, const Key&) = default;
        friend size_t qHash(const Key& key, size_t seed = 0) noexcept {
            return qHashMulti(seed, key.hash, key.size.width(), key.size.height(),
                              int(key.drawing));
        }
    };
    struct Entry {
        QByteArray data;
        QImage image;
        qsizetype cost() const { return data.size() + image.sizeInBytes(); }
    };
    static Key keyOf(const JpegPicture& picture, QSize size, Drawing drawing);
    static QImage draw(const JpegPicture& picture, QSize size, Drawing drawing,
                       const std::atomic_bool* abandon = nullptr);
    const Entry* find(const Key& key, const QByteArray& data) const;
    void keep(const Key& key, const QByteArray& data, const QImage& image);

    QCache<Key, Entry> m_entries; // the cost of an entry: the bytes it holds
    QThreadPool m_worker;
    QObject m_inbox;                    // receives the worker's pictures on the window's thread
    quint64 m_round = 0;                // a drawing ahead from an earlier round is not kept
    std::atomic_bool m_closing = false; // read by the worker: a huge page need not be finished
};
