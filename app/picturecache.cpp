#include "picturecache.h"

#include <memory>

QImage PictureCache::decoded(const JpegPicture& picture, QSize atLeast) {
    if (!picture.hasJpegData())
        return picture.toImage(atLeast);
    const QByteArray& data = picture.jpegData();
    const Key key{qHashBits(data.constData(), size_t(data.size())),
                  JpegCodec::scaleFor(picture.size(), atLeast)};
    if (const Entry* kept = m_entries.object(key); kept && kept->data == data)
        return kept->image;
    auto entry = std::make_unique<Entry>(Entry{data, picture.toImage(atLeast)});
    QImage image = entry->image;
    // A picture larger than the whole budget is not kept (the cache deletes
    // it at once), but it is still the one to show.
    const qsizetype cost = entry->cost();
    m_entries.insert(key, entry.release(), cost);
    return image;
}
