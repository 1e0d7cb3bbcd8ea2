#pragma once

#include <QComboBox>
#include <QListWidget>

// The drive list: every mounted volume, by its root path, with its label in
// square brackets where it has one, or its device for a network volume.
class DriveComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit DriveComboBox(QWidget* parent = nullptr);
    // Lists the volumes again and selects the one holding `folder`.
    void fill(const QString& folder);
    QString rootPath() const { return currentData().toString(); }
    // The volume holding `folder`: its root path ("/" when none is listed).
    static QString volumeOf(const QString& folder);
};

// The folder tree: the drive's root folder, every folder down to the current
// folder, the current folder (selected), then its subfolders by name. A double
// click or Enter on a line opens that folder, which becomes the process's
// working directory.
class DirectoryListBox : public QListWidget {
    Q_OBJECT
public:
    explicit DirectoryListBox(QWidget* parent = nullptr);
    const QString& currentFolder() const { return m_folder; }
    // Makes `folder` the current folder and the working directory; a folder
    // that cannot be opened fails with an error and changes nothing.
    void openFolder(const QString& folder);
    // The folder shown on `row`.
    QString folderAt(int row) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void rebuild();
    void addLine(const QString& path, const QString& text, int depth, const QIcon& icon);

    QString m_folder;
};
