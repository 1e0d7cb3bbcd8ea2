#include "tform1.h"

#include "anchors.h"
#include "application.h"
#include "icons.h"
#include "picturefiledialog.h"
#include "storedpicture.h"

#include <QBoxLayout>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QShortcut>

using namespace Qt::StringLiterals;

namespace {
constexpr int DesignedClientWidth = 586;
constexpr int DesignedClientHeight = 421;
constexpr int MinimumClientWidth = 521;
constexpr int MinimumClientHeight = 374;
constexpr int ButtonStripHeight = 27;
constexpr int InfoStripHeight = 29;

} // namespace

TForm1::TForm1(const WindowCommands& commands, QWidget* parent)
    : QWidget(parent),
      OpenDialog1(std::make_unique<PictureFileDialog>(PictureFileDialog::Mode::Open,
                                                      u"Tamblor 文件(*.tbr)|*.tbr"_s, QString(),
                                                      PictureFileDialog::Preview::None)),
      OpenPictureDialog1(std::make_unique<PictureFileDialog>(
          PictureFileDialog::Mode::Open,
          u"JPEG Image File (*.jpg)|*.jpg|JPEG Image File (*.jpeg)|*.jpeg|Bitmaps (*.bmp)|*.bmp|"
          u"All Support Files(*.jpg;*.jpeg;*.bmp)|*.jpg;*.jpeg;*.bmp"_s)),
      SavePictureDialog1(std::make_unique<PictureFileDialog>(
          PictureFileDialog::Mode::Save,
          u"All (*.jpg;*.jpeg)|*.jpg;*.jpeg|JPEG Image File (*.jpg)|*.jpg|"
          u"JPEG Image File (*.jpeg)|*.jpeg"_s,
          u"jpg"_s)),
      m_commands(commands) {
    setupUi(this);
    setWindowIcon(mainIcon());
    const int menuHeight = MainMenu1->sizeHint().height();
    resize(DesignedClientWidth, DesignedClientHeight + menuHeight);
    setMinimumSize(MinimumClientWidth, MinimumClientHeight + menuHeight);
    move(198, 143);
    // Label2 and Label3 keep their designed places from the strip's right
    // edge, each at its own height: no box layout places them so.
    auto* infoAnchors = new RightAnchors(InfoStrip);
    infoAnchors->add(Label2);
    infoAnchors->add(Label3);

    Image1->setCache(&m_pictureCache);
    DBGrid1->setDataSource(DataSource1);
    DBText1->setDataSource(DataSource1);
    // The picture area shows this column: a library without it is refused.
    DataSource1.bindField(Columns::Picture);
    DataSource1.OnDataChange = [this](const Field* field) { DataSource1DataChange(field); };
    connectCommands();
    // A key of its own, in no menu: the window keeps every caption it has.
    auto* reading = new QShortcut(QKeySequence(Qt::Key_F11), this);
    connect(reading, &QShortcut::activated, this,
            [this] { runReported([this] { openReadingView(); }); });
    layOutPanels();
    setAcceptDrops(true);
    runReported([this] { FormCreate(); });
}

TForm1::~TForm1() {
    DataSource1.OnDataChange = nullptr;
    ADOConnection1.Close();
}

void TForm1::connectCommands() {
    const auto bind = [this](auto* sender, auto signal, void (TForm1::*handler)()) {
        connectCommand(sender, signal, this, handler);
    };
    bind(SpeedButton1, &QToolButton::clicked, &TForm1::SpeedButton1Click);
    bind(SpeedButton2, &QToolButton::clicked, &TForm1::SpeedButton2Click);
    bind(SpeedButton3, &QToolButton::clicked, &TForm1::DeleteFormDBClick);
    bind(Exit2, &QAction::triggered, &TForm1::QuitClick);
    for (QAction* item : {LoadFormFile, LoadFromFile2})
        bind(item, &QAction::triggered, &TForm1::LoadFormFileClick);
    for (QAction* item : {SaveToFile, SaveFile2})
        bind(item, &QAction::triggered, &TForm1::SaveToFileClick);
    for (QAction* item : {DeleteFormDB, Delete2})
        bind(item, &QAction::triggered, &TForm1::DeleteFormDBClick);
    for (QAction* item : {Rename, RenamePic2})
        bind(item, &QAction::triggered, &TForm1::RenameClick);
    for (QAction* item : {OpenPicDataFile, OpenDataFile2})
        bind(item, &QAction::triggered, &TForm1::OpenPicDataFileClick);
    for (QAction* item : {NewPicFile, NewDataFile2})
        bind(item, &QAction::triggered, &TForm1::NewPicFileClick);
    for (QAction* item : {FiltByName, FiltByName2})
        bind(item, &QAction::triggered, &TForm1::FiltByNameClick);
    bind(ShowAllPic2, &QAction::triggered, &TForm1::ShowAllClick);
    bind(About, &QAction::triggered, &TForm1::SpeedButton6Click);
    for (QAction* item : {SaveManyPic, SaveFiles2})
        bind(item, &QAction::triggered, &TForm1::SaveManyPicClick);
    bind(Copy2, &QAction::triggered, &TForm1::CopyToCBoardClick);
    bind(Cut2, &QAction::triggered, &TForm1::CutToCBoardClick);
    bind(Paste2, &QAction::triggered, &TForm1::PasteFromCBoardClick);
    bind(Image1, &PictureArea::clicked, &TForm1::Image1Click);

    connect(DBGrid1, &QWidget::customContextMenuRequested, this,
            [this](QPoint pos) { PopupMenu1->popup(DBGrid1->viewport()->mapToGlobal(pos)); });
    Image1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Image1, &QWidget::customContextMenuRequested, this,
            [this](QPoint pos) { PopupMenu1->popup(Image1->mapToGlobal(pos)); });
    connect(Splitter1, &PaneSplitter::moved, this, [this](int listWidth) {
        LeftPane->setFixedWidth(listWidth);
        // At once, as a drop of the bar is: the picture refits before the next paint.
        MainArea->layout()->activate();
    });
}

namespace {
// A layout whose children touch each other and the frame around them.
template <class Layout> Layout* tightLayout(QWidget* parent) {
    auto* layout = new Layout(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}
} // namespace

// The panels follow the window as the designed window's do: the strips keep
// their height, the list keeps its width, the picture takes the rest.
void TForm1::layOutPanels() {
    auto* window = tightLayout<QVBoxLayout>(this);
    window->setMenuBar(MainMenu1);
    window->addWidget(ClientPanel);
    ButtonStrip->setFixedHeight(ButtonStripHeight);
    InfoStrip->setFixedHeight(InfoStripHeight);
    auto* client = tightLayout<QVBoxLayout>(ClientPanel);
    client->addWidget(ButtonStrip);
    client->addWidget(InfoStrip);
    client->addWidget(MainArea, 1);
    LeftPane->setFixedWidth(DesignedListWidth);
    Splitter1->setFixedWidth(PaneSplitter::Width);
    auto* area = tightLayout<QHBoxLayout>(MainArea);
    area->addWidget(LeftPane);
    area->addWidget(Splitter1);
    area->addWidget(RightPane, 1);
    tightLayout<QVBoxLayout>(LeftPane)->addWidget(DBGrid1);
    tightLayout<QVBoxLayout>(RightPane)->addWidget(ScrollBox1);
    tightLayout<QVBoxLayout>(ScrollBox1)->addWidget(Image1);
    // The picture may shrink to nothing; the window's own minimum holds it.
    for (QWidget* pane : {static_cast<QWidget*>(RightPane), static_cast<QWidget*>(ScrollBox1),
                          static_cast<QWidget*>(Image1), static_cast<QWidget*>(DBGrid1)})
        pane->setMinimumSize(0, 0);
}

// ---- Start-up ----------------------------------------------------------------------

void TForm1::FormCreate() {
    Values.NameConfirmed = false;
    ADOConnection1.SetDatabase(QDir::currentPath() + u"/pictures.tbr"_s);
    ADOQuery1.Open();
    setWindowTitle(windowTitle() + u"    默认文件[ "_s + QDir::currentPath() +
                   u"/pictures.tbr ]"_s);
    showOpenedLibrary();
}

// A picture-less library (or first record) turns every picture command off;
// otherwise the first picture shows, the count is the number of records, and
// only "上一张" is off.
void TForm1::showOpenedLibrary() {
    if (!hasCurrentPicture()) {
        Image1->clear();
        SpeedButton1->setEnabled(false);
        SpeedButton2->setEnabled(false);
        setPictureCommandsEnabled(false);
        Values.PictureCount = 0;
    } else {
        showCurrentPicture();
        Values.PictureCount = ADOQuery1.RecordCount();
        setPictureCommandsEnabled(true);
        SpeedButton1->setEnabled(false);
        SpeedButton2->setEnabled(true);
    }
    showPictureCount();
}

void TForm1::QuitClick() {
    close();
}

// ---- Shared steps ----------------------------------------------------------------------

bool TForm1::hasCurrentPicture() const {
    return ADOQuery1.CurrentHasPicture();
}

void TForm1::showCurrentPicture() {
    Field& picture = ADOQuery1.FieldByName(Columns::Picture);
    if (picture.IsNull())
        return;
    try {
        Image1->setPicture(picture.LoadPicture());
    } catch (...) {
        // The name shown is already this score's: the page before it must
        // not stand under it.
        Image1->clear();
        throw;
    }
    // The pages on either side are decoded once this one is painted, so that
    // a step to one of them finds it ready.
    m_workAhead.request();
}

// Keys pressed faster than pages are drawn move the list at once; only the
// page where they stop is drawn.
void TForm1::showWhereKeysStopped() {
    runReported([this] {
        if (ADOQuery1.Active() && hasCurrentPicture())
            showCurrentPicture();
    });
}

// Only a head start, decoded on the second core: a page that cannot be read
// or decoded now is left for the step that shows it, which reports it.
void TForm1::prefetchNeighbours() {
    const int current = ADOQuery1.RecNo();
    QList<JpegPicture> neighbours;
    for (int row : {current + 1, current - 1}) {
        try {
            const QByteArray value = ADOQuery1.PictureValueAt(row);
            if (!value.isEmpty())
                neighbours << JpegPicture::fromJpegData(StoredPicture::jpegFromValue(value));
        } catch (const std::exception&) {
        }
    }
    Image1->prepare(neighbours);
}

void TForm1::showCurrentScore() {
    if (!hasCurrentPicture())
        Image1->clear();
    else
        showCurrentPicture();
}

void TForm1::showPictureCount() {
    Label3->setText(QString::number(Values.PictureCount) + u"   张"_s);
}

void TForm1::setControlsAfterAdding() {
    SpeedButton1->setEnabled(true);
    SpeedButton2->setEnabled(false);
    setPictureCommandsEnabled(true);
}

QList<QObject*> TForm1::pictureCommands() const {
    return {SpeedButton3, DeleteFormDB, SaveToFile, Rename, FiltByName};
}

void TForm1::setPictureCommandsEnabled(bool enabled) {
    for (QObject* command : pictureCommands())
        command->setProperty("enabled", enabled);
}

// ---- The commands of operations/ and about/ ------------------------------------------

void TForm1::run(WindowCommands::Command command) {
    // A command works on the page the list shows as current.
    m_pageWhereKeysStop.runIfWaiting();
    if (command)
        command(*this);
}

void TForm1::LoadFormFileClick() {
    run(m_commands.LoadFormFileClick);
}
void TForm1::SaveToFileClick() {
    run(m_commands.SaveToFileClick);
}
void TForm1::DeleteFormDBClick() {
    run(m_commands.DeleteFormDBClick);
}
void TForm1::RenameClick() {
    run(m_commands.RenameClick);
}
void TForm1::OpenPicDataFileClick() {
    run(m_commands.OpenPicDataFileClick);
}
void TForm1::NewPicFileClick() {
    run(m_commands.NewPicFileClick);
}
void TForm1::FiltByNameClick() {
    run(m_commands.FiltByNameClick);
}
void TForm1::ShowAllClick() {
    run(m_commands.ShowAllClick);
}
void TForm1::CopyToCBoardClick() {
    run(m_commands.CopyToCBoardClick);
}
void TForm1::CutToCBoardClick() {
    run(m_commands.CutToCBoardClick);
}
void TForm1::PasteFromCBoardClick() {
    run(m_commands.PasteFromCBoardClick);
}
void TForm1::SpeedButton6Click() {
    run(m_commands.SpeedButton6Click);
}
void TForm1::SaveManyPicClick() {
    run(m_commands.SaveManyPicClick);
}

// ---- Files dropped on the window ----------------------------------------------------

// Dropped files are imported, so the window takes a drop only while the import
// command is on, and only as a copy: the files stay where they were.
bool TForm1::takesDrop(const QDropEvent& event) const {
    return m_commands.FormDragDrop && LoadFromFile2->isEnabled() &&
           event.possibleActions().testFlag(Qt::CopyAction) && event.mimeData()->hasUrls();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
    if (!takesDrop(*event))
        return;
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TForm1::dropEvent(QDropEvent* event) {
    if (!takesDrop(*event))
        return;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // Imported once the drop is over, so that the program the files came from
    // is not kept waiting while the naming dialogs ask.
    QMetaObject::invokeMethod(
        this,
        [this, items = event->mimeData()->urls()] { runReported([&] { FormDragDrop(items); }); },
        Qt::QueuedConnection);
}

void TForm1::FormDragDrop(const QList<QUrl>& items) {
    // As every command, on the page the list shows as current.
    m_pageWhereKeysStop.runIfWaiting();
    if (m_commands.FormDragDrop)
        m_commands.FormDragDrop(*this, items);
}
