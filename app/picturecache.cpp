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

PictureCache::Key PictureCache::keyOf(const JpegPicture& picture, QSize size) {
    const QByteArray& data = picture.jpegData();
    return {qHashBits(data.constData(), size_t(data.size())), size};
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

QImage PictureCache::fitted(const JpegPicture& picture, QSize size) {
    if (!picture.hasJpegData())
        return picture.toFitted(size);
    const Key key = keyOf(picture, size);
    if (const Entry* kept = find(key, picture.jpegData()))
        return kept->image;
    const QImage image = picture.toFitted(size);
    keep(key, picture.jpegData(), image);
    return image;
}

void PictureCache::drawAhead(const QList<std::pair<JpegPicture, QSize>>& pictures) {
    m_worker.clear();
    for (const auto& [picture, size] : pictures) {
        if (!picture.hasJpegData())
            continue;
        const Key key = keyOf(picture, size);
        if (find(key, picture.jpegData()))
            continue;
        const QByteArray data = picture.jpegData();
        const quint64 round = m_round;
        m_worker.start(Handover([this, key, data, round] {
            QImage image;
            try {
                image = JpegCodec::decodeFitted(data, key.size, &m_closing);
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
