#include "pages.h"

#include <QPainter>

#include <atomic>
#include <cstring>
#include <exception>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace BenchPages {

namespace {

const Piece Pieces[TitleCount] = {
    {u"爱的罗曼史"_s, u"吉他独奏   西班牙民歌"_s},
    {u"绿袖子"_s, u"吉他独奏   英格兰民歌"_s},
    {u"小星星变奏曲"_s, u"古典吉他练习"_s},
    {u"月光练习曲"_s, u"分解和弦练习"_s},
    {u"茉莉花"_s, u"吉他独奏   中国民歌"_s},
    {u"阿尔罕布拉宫的回忆"_s, u"轮指练习"_s},
    {u"泪"_s, u"塔雷加"_s},
    {u"阿德利塔"_s, u"塔雷加"_s},
    {u"大教堂"_s, u"巴里奥斯"_s},
    {u"魔笛主题变奏曲"_s, u"索尔"_s},
    {u"卡伐蒂娜"_s, u"迈尔斯"_s},
    {u"加沃特舞曲"_s, u"巴赫"_s},
    {u"小步舞曲"_s, u"巴赫"_s},
    {u"圣母颂"_s, u"古诺"_s},
    {u"卡农"_s, u"帕赫贝尔"_s},
    {u"斯卡布罗集市"_s, u"英格兰民歌"_s},
    {u"雨滴"_s, u"吉他独奏"_s},
    {u"西班牙舞曲"_s, u"格拉纳多斯"_s},
    {u"探戈"_s, u"吉他二重奏"_s},
    {u"华尔兹"_s, u"巴里奥斯"_s},
    {u"前奏曲 第一号"_s, u"维拉-罗伯斯"_s},
    {u"练习曲 作品六十"_s, u"卡尔卡西"_s},
    {u"夜曲"_s, u"吉他独奏"_s},
    {u"船歌"_s, u"吉他独奏"_s},
    {u"摇篮曲"_s, u"勃拉姆斯"_s},
    {u"樱花"_s, u"日本民歌"_s},
    {u"送别"_s, u"李叔同"_s},
    {u"梁祝"_s, u"吉他独奏"_s},
    {u"彩云追月"_s, u"吉他独奏"_s},
    {u"渔舟唱晚"_s, u"吉他独奏"_s},
    {u"康定情歌"_s, u"四川民歌"_s},
    {u"在那遥远的地方"_s, u"王洛宾"_s},
    {u"半个月亮爬上来"_s, u"王洛宾"_s},
    {u"童年"_s, u"吉他弹唱"_s},
    {u"月亮代表我的心"_s, u"吉他弹唱"_s},
    {u"加州旅馆"_s, u"吉他弹唱"_s},
    {u"天空之城"_s, u"吉他独奏"_s},
    {u"菊次郎的夏天"_s, u"吉他独奏"_s},
    {u"卡布里岛"_s, u"吉他独奏"_s},
    {u"音阶练习 C 大调"_s, u"第一把位"_s},
};

// Grain 1.3 puts a page at about 1 MB; 2,000 of them make a library of about 2 GB.
constexpr double LibraryGrain = 1.3;
constexpr int PhotoWidth = 4000;
constexpr int PhotoHeight = 3000;

void paintDesk(QPainter& painter) {
    QLinearGradient desk(0, 0, PhotoWidth, PhotoHeight);
    desk.setColorAt(0, QColor(128, 92, 58));
    desk.setColorAt(1, QColor(66, 44, 28));
    painter.fillRect(0, 0, PhotoWidth, PhotoHeight, desk);
}

void paintPageAskew(QPainter& painter, const QImage& page) {
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(PhotoWidth / 2.0, PhotoHeight / 2.0);
    painter.rotate(-4);
    painter.scale(0.8, 0.8);
    painter.drawImage(QPointF(-PageWidth / 2.0, -PageHeight / 2.0), page);
    painter.restore();
}

// Bright under the lamp, darker towards the corners.
void paintLamplight(QPainter& painter) {
    QRadialGradient light(PhotoWidth * 0.4, PhotoHeight * 0.35, PhotoWidth * 0.8);
    light.setColorAt(0, QColor(255, 244, 214, 0));
    light.setColorAt(1, QColor(0, 0, 0, 150));
    painter.fillRect(0, 0, PhotoWidth, PhotoHeight, light);
}

// A camera's noise, on each colour of each pixel.
void addSensorNoise(QImage& photo) {
    std::mt19937 random(4000);
    std::normal_distribution<double> noise(0.0, 4.0);
    const auto noisy = [&](int value) { return std::clamp(int(value + noise(random)), 0, 255); };
    for (int y = 0; y < photo.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(photo.scanLine(y));
        for (int x = 0; x < photo.width(); ++x)
            line[x] = qRgb(noisy(qRed(line[x])), noisy(qGreen(line[x])), noisy(qBlue(line[x])));
    }
}

} // namespace

const Piece& piece(int index) {
    return Pieces[index % TitleCount];
}

QImage libraryPage(int index) {
    return drawScorePage(piece(index), index + 1, unsigned(2000 + index), LibraryGrain);
}

QImage scanPage(int seed, double grain) {
    return drawScorePage(piece(seed), seed + 1, unsigned(seed), grain);
}

QImage smallPicture(const QImage& page) {
    return page.scaled(page.width() / 16, page.height() / 16, Qt::IgnoreAspectRatio,
                       Qt::SmoothTransformation);
}

QImage greyPage(int width, int height) {
    const QImage page = scanPage(130, 1.0).convertToFormat(QImage::Format_Grayscale8);
    QImage grey(width, height, QImage::Format_Grayscale8);
    for (int y = 0; y < height; ++y) {
        const uchar* from = page.constScanLine(y % page.height());
        uchar* to = grey.scanLine(y);
        for (int x = 0; x < width; x += page.width())
            std::memcpy(to + x, from, size_t(std::min(page.width(), width - x)));
    }
    return grey;
}

QImage photoOfPage() {
    QImage photo(PhotoWidth, PhotoHeight, QImage::Format_RGB32);
    {
        QPainter painter(&photo);
        paintDesk(painter);
        paintPageAskew(painter, scanPage(7, 2.0));
        paintLamplight(painter);
    }
    addSensorNoise(photo);
    return photo;
}

QByteArray numberedCopy(const QByteArray& jpeg, int number) {
    const QByteArray text = "tamblor bench record " + QByteArray::number(number);
    const qsizetype length = text.size() + 2; // the length field counts itself
    QByteArray copy = jpeg.left(2);
    copy.append("\xFF\xFE", 2);
    copy.append(char(length >> 8)).append(char(length & 0xFF)).append(text);
    copy.append(jpeg.constData() + 2, jpeg.size() - 2);
    return copy;
}

void inParallel(int count, const std::function<void(int)>& work) {
    std::atomic<int> next = 0;
    std::exception_ptr failure;
    std::mutex failureLock;
    const auto worker = [&] {
        for (int index = next++; index < count; index = next++) {
            try {
                work(index);
            } catch (...) {
                const std::lock_guard lock(failureLock);
                failure = failure ? failure : std::current_exception();
            }
        }
    };
    std::vector<std::thread> threads(std::max(1u, std::thread::hardware_concurrency()));
    for (std::thread& thread : threads)
        thread = std::thread(worker);
    for (std::thread& thread : threads)
        thread.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace BenchPages
