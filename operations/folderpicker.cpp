#include "folderpicker.h"

#include "application.h"
#include "errors.h"

#include <QDir>
#include <QFileIconProvider>
#include <QKeyEvent>
#include <QPainter>
#include <QStorageInfo>
#include <QStyledItemDelegate>

using namespace Qt::StringLiterals;

namespace {

constexpr int DepthRole = Qt::UserRole + 1;
constexpr int PathRole = Qt::UserRole + 2;
constexpr int Indent = 10;
constexpr int LineHeight = 16;

bool isNetwork(const QStorageInfo& volume) {
    const QByteArray type = volume.fileSystemType();
    return type.startsWith("nfs") || type == "cifs" || type == "smbfs" || type == "smb3" ||
           type.contains("sshfs") || type == "9p" || type == "afs";
}

// Each line is drawn indented by its depth in the tree.
class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem shifted = option;
        shifted.rect.setLeft(option.rect.left() + index.data(DepthRole).toInt() * Indent);
        QStyledItemDelegate::paint(painter, shifted, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QSize hint = QStyledItemDelegate::sizeHint(option, index);
        return {hint.width() + index.data(DepthRole).toInt() * Indent, LineHeight};
    }
};

} // namespace

// ---- DriveComboBox -------------------------------------------------------------

DriveComboBox::DriveComboBox(QWidget* parent) : QComboBox(parent) {}

QString DriveComboBox::volumeOf(const QString& folder) {
    QString best = u"/"_s;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        const bool holds =
            folder == root || folder.startsWith(root.endsWith(u'/') ? root : root + u'/');
        if (holds && root.size() > best.size())
            best = root;
    }
    return best;
}

void DriveComboBox::fill(const QString& folder) {
    QList<QStorageInfo> volumes = QStorageInfo::mountedVolumes();
    std::sort(volumes.begin(), volumes.end(), [](const QStorageInfo& a, const QStorageInfo& b) {
        return a.rootPath() < b.rootPath();
    });
    const QSignalBlocker quiet(this);
    clear();
    QFileIconProvider icons;
    for (const QStorageInfo& volume : std::as_const(volumes)) {
        QString text = volume.rootPath();
        const bool network = isNetwork(volume);
        if (network)
            text += u' ' + QString::fromLocal8Bit(volume.device());
        else if (!volume.name().isEmpty())
            text += u" ["_s + volume.name() + u']';
        addItem(icons.icon(network ? QFileIconProvider::Network : QFileIconProvider::Drive), text,
                volume.rootPath());
    }
    const QString holding = volumeOf(folder);
    if (findData(holding) < 0)
        addItem(icons.icon(QFileIconProvider::Drive), holding, holding);
    setCurrentIndex(findData(holding));
}

// ---- DirectoryListBox ------------------------------------------------------------

DirectoryListBox::DirectoryListBox(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new IndentDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void DirectoryListBox::openFolder(const QString& folder) {
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    if (!QDir::setCurrent(path)) {
        const QString reason =
            QFileInfo(path).isDir() ? u"Permission denied"_s : u"No such file or directory"_s;
        throw FileError(u"Cannot open folder \"%1\". %2"_s.arg(path, reason));
    }
    m_folder = QDir::currentPath();
    rebuild();
}

QString DirectoryListBox::folderAt(int row) const {
    const QListWidgetItem* line = item(row);
    return line ? line->data(PathRole).toString() : QString();
}

void DirectoryListBox::addLine(const QString& path, const QString& text, int depth,
                               const QIcon& icon) {
    auto* line = new QListWidgetItem(icon, text, this);
    line->setData(PathRole, path);
    line->setData(DepthRole, depth);
}

void DirectoryListBox::rebuild() {
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QIcon current = open;
    const QString root = DriveComboBox::volumeOf(m_folder);
    addLine(root, root, 0, m_folder == root ? current : open);
    int depth = 0;
    if (m_folder != root) {
        const QStringList steps =
            QDir(root).relativeFilePath(m_folder).split(u'/', Qt::SkipEmptyParts);
        QString path = root;
        for (const QString& step : steps) {
            path = QDir::cleanPath(path + u'/' + step);
            addLine(path, step, ++depth, path == m_folder ? current : open);
        }
    }
    const int currentRow = count() - 1;
    const QDir here(m_folder);
    for (const QString& name : here.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        addLine(here.filePath(name), name, depth + 1, closed);
    setCurrentRow(currentRow);
}

void DirectoryListBox::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        runReported([this] { openFolder(folderAt(currentRow())); });
        return;
    }
    QListWidget::keyPressEvent(event);
}

void DirectoryListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidget::mouseDoubleClickEvent(event);
    if (const QListWidgetItem* line = itemAt(event->position().toPoint()))
        runReported([this, line] { openFolder(line->data(PathRole).toString()); });
}
