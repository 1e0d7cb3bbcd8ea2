#include "picturecache.h"

#include <QHash>

QImage PictureCache::decoded(const JpegPicture& picture, QSize atLeast) {
    if (!picture.hasJpegData())
        return picture.toImage(atLeast);
    const QByteArray& data = picture.jpegData();
    const size_t hash = qHashBits(data.constData(), size_t(data.size()));
    const int scale = JpegCodec::scaleFor(picture.size(), atLeast);
    for (auto entry = m_entries.begin(); entry != m_entries.end(); ++entry) {
        if (entry->hash == hash && entry->scale == scale && entry->data == data) {
            m_entries.splice(m_entries.begin(), m_entries, entry);
            return entry->image;
        }
    }
    Entry entry{hash, scale, data, picture.toImage(atLeast)};
    m_used += entry.cost();
    m_entries.push_front(std::move(entry));
    while (m_used > m_budget && m_entries.size() > 1) {
        m_used -= m_entries.back().cost();
        m_entries.pop_back();
    }
    return m_entries.front().image;
}

void PictureCache::clear() {
    m_entries.clear();
    m_used = 0;
}
