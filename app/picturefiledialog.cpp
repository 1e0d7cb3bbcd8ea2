#include "picturefiledialog.h"

#include "jpegpicture.h"
#include "wholefile.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace {
const QSize PreviewSize(180, 180);
}

QStringList PictureFileDialog::toNameFilters(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString& pattern = parts[i + 1];
        QString spaced = pattern;
        spaced.replace(u';', u' ');
        const QString shown = u'(' + pattern + u')';
        if (description.endsWith(shown))
            result << description.chopped(shown.size()) + u'(' + spaced + u')';
        else
            result << description + u" ("_s + spaced + u')';
    }
    return result;
}

PictureFileDialog::PictureFileDialog(Mode mode, const QString& filter, const QString& defaultSuffix,
                                     Preview preview)
    : m_mode(mode), m_previewKind(preview), m_nameFilters(toNameFilters(filter)),
      m_defaultSuffix(defaultSuffix), m_nameFilter(m_nameFilters.value(0)) {}

PictureFileDialog::~PictureFileDialog() = default;

std::unique_ptr<QFileDialog> PictureFileDialog::create() const {
    auto dialog = std::make_unique<QFileDialog>();
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(m_mode == Mode::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    // A typed name of a file that does not exist is returned as well.
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters(m_nameFilters);
    dialog->selectNameFilter(m_nameFilter);
    dialog->setDefaultSuffix(m_defaultSuffix);
    if (!m_folder.isEmpty())
        dialog->setDirectory(m_folder);
    if (!m_file.isEmpty())
        dialog->selectFile(m_file);
    if (m_previewKind == Preview::None)
        return dialog;
    auto* pane = new QLabel(dialog.get());
    pane->setObjectName(u"preview"_s);
    pane->setFixedSize(PreviewSize);
    pane->setAlignment(Qt::AlignCenter);
    pane->setFrameShape(QFrame::StyledPanel);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout()))
        grid->addWidget(pane, 0, grid->columnCount(), grid->rowCount(), 1);
    QObject::connect(dialog.get(), &QFileDialog::currentChanged,
                     [this, pane](const QString& path) { preview(pane, path); });
    return dialog;
}

QString PictureFileDialog::choose(QWidget* window) {
    const std::unique_ptr<QFileDialog> dialog = create();
    if (window) {
        dialog->winId();
        dialog->windowHandle()->setTransientParent(window->windowHandle());
    }
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return {};
    m_file = dialog->selectedFiles().constFirst();
    m_folder = QFileInfo(m_file).absolutePath();
    m_nameFilter = dialog->selectedNameFilter();
    return m_file;
}

// A preview is a courtesy: a file that cannot be shown just shows nothing.
void PictureFileDialog::preview(QLabel* pane, const QString& path) const {
    QImage image;
    const QString kind = QFileInfo(path).suffix().toLower();
    try {
        if (QFileInfo(path).isFile() && (kind == u"jpg" || kind == u"jpeg"))
            image = JpegPicture::fromJpegData(readWholeFile(path)).toImage(PreviewSize);
        else if (QFileInfo(path).isFile() && kind == u"bmp") {
            QFile file;
            openRegularFile(file, path);
            image = QImageReader(&file, "bmp").read();
        }
    } catch (const std::exception&) {
        image = {};
    }
    pane->setPixmap(image.isNull()
                        ? QPixmap()
                        : QPixmap::fromImage(image.scaled(PreviewSize, Qt::KeepAspectRatio,
                                                          Qt::SmoothTransformation)));
}
