#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class QFileDialog;
class QLabel;
class QWidget;

// The picture file dialogs of the import and the export: Qt's own file dialog
// with a preview of the selected picture. One object lasts the whole run and
// remembers the file, its folder and the filter entry of the last confirmed
// choice; each showing is a fresh Qt dialog set up from them.
class PictureFileDialog {
public:
    enum class Mode { Open, Save };
    // `filter` pairs descriptions and patterns, joined by "|":
    // "JPEG Image File (*.jpg)|*.jpg|...". The first pair is preselected.
    enum class Preview { Picture, None };
    PictureFileDialog(Mode mode, const QString& filter, const QString& defaultSuffix = {},
                      Preview preview = Preview::Picture);
    ~PictureFileDialog();

    // Shows the dialog modally over `window`; the chosen path, or empty when cancelled.
    QString choose(QWidget* window);
    // The next showing starts with an empty name box.
    void forgetFile() { m_file.clear(); }
    const QString& file() const { return m_file; }
    const QStringList& nameFilters() const { return m_nameFilters; }

    // Qt's form of a "description|pattern|..." filter: "*.jpg;*.jpeg" becomes
    // "*.jpg *.jpeg" inside the description's parentheses.
    static QStringList toNameFilters(const QString& filter);

private:
    std::unique_ptr<QFileDialog> create() const;
    void preview(QLabel* pane, const QString& path) const;

    Mode m_mode;
    Preview m_previewKind;
    QStringList m_nameFilters;
    QString m_defaultSuffix;
    QString m_file;
    QString m_folder;
    QString m_nameFilter;
};
