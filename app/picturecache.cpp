#include "picturecache.h"

#include "handover.h"

#include <QCoreApplication>

#include <memory>

PictureCache::PictureCache(qsizetype budget) : m_entries(budget) {
    m_worker.setMaxThreadCount(1);
}

PictureCache::~PictureCache() {
    m_closing = true;
    m_worker.clear();
    m_worker.waitForDone();
}

PictureCache::Key PictureCache::keyOf(const JpegPicture& picture, QSize size, Drawing drawing) {
    const QByteArray& data = picture.jpegData();
    return {qHashBits(data.constData(), size_t(data.size())), size, drawing};
}

// Averaging starts from a decode at least as large as the size drawn (libjpeg's
// own scaling is an average too), so every pixel of the page counts.
QImage PictureCache::draw(const JpegPicture& picture, QSize size, Drawing drawing,
                          const std::atomic_bool* abandon) {
    if (drawing == Drawing::Nearest)
        return picture.hasJpegData() ? JpegCodec::decodeFitted(picture.jpegData(), size, abandon)
                                     : picture.toFitted(size);
    const QImage image = picture.toImage(size);
    if (image.size() == size)
        return image;
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

const PictureCache::Entry* PictureCache::find(const Key& key, const QByteArray& data) const {
    const Entry* kept = m_entries.object(key);
    return kept && kept->data == data ? kept : nullptr;
}

void PictureCache::keep(const Key& key, const QByteArray& data, const QImage& image) {
    auto entry = std::make_unique<Entry>(Entry{data, image});
    // A picture larger than the whole budget is not kept (the cache deletes
    // it at once), but it is still the one to show.
    const qsizetype cost = entry->cost();
    m_entries.insert(key, entry.release(), cost);
}

QImage PictureCache::fitted(const JpegPicture& picture, QSize size, Drawing drawing) {
    if (!picture.hasJpegData())
        return draw(picture, size, drawing);
    const Key key = keyOf(picture, size, drawing);
    if (const Entry* kept = find(key, picture.jpegData()))
        return kept->image;
    const QImage image = draw(picture, size, drawing);
    keep(key, picture.jpegData(), image);
    return image;
}

void PictureCache::drawAhead(const QList<std::pair<JpegPicture, QSize>>& pictures,
                             Drawing drawing) {
    m_worker.clear();
    for (const auto& [picture, size] : pictures) {
        if (!picture.hasJpegData())
            continue;
        const Key key = keyOf(picture, size, drawing);
        if (find(key, picture.jpegData()))
            continue;
        const QByteArray data = picture.jpegData();
        const quint64 round = m_round;
        m_worker.start(Handover([this, key, picture, data, round] {
            QImage image;
            try {
                image = draw(picture, key.size, key.drawing, &m_closing);
            } catch (const std::exception&) {
            }
            // Handed to the window's thread; the cache outlives this call,
            // since it waits for the worker before it goes.
            Handover kept([this, key, data, image, round] {
                if (round == m_round && !image.isNull() && !find(key, data))
                    keep(key, data, image);
            });
            QMetaObject::invokeMethod(&m_inbox, std::move(kept), Qt::QueuedConnection);
        }));
    }
}

void PictureCache::waitForWorkAhead() {
    m_worker.waitForDone();
    QCoreApplication::sendPostedEvents(&m_inbox);
}

void PictureCache::clear() {
    m_entries.clear();
    ++m_round;
}
