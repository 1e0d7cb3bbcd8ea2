#pragma once

#include "connection.h"
#include "datasource.h"
#include "programvalues.h"
#include "recordset.h"
#include "ui_TForm1.h"

#include <QWidget>

class RightAnchors;

// The main window: the name list on the left, the current score's picture on
// the right, the library's one connection and record set, and every command.
//
// Each command is a slot named after the control or item that runs it. The
// bodies of the picture commands live beside their dialogs in operations/.
class TForm1 : public QWidget, public Ui::TForm1 {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    ProgramValues Values;
    Connection ADOConnection1;
    RecordSet ADOQuery1{ADOConnection1};
    DataSource DataSource1{ADOQuery1};

    // Puts the current record's picture into Image1 (a record without one
    // leaves Image1 as it is).
    void showCurrentPicture();
    // Label3: PictureCount followed by "   张".
    void showPictureCount();
    // "删除" and the context-menu items that need a current picture.
    void setPictureCommandsEnabled(bool enabled);

public Q_SLOTS:
    void FormCreate();
    void QuitClick();
    void DataSource1DataChange(const Field* field);
    void SpeedButton1Click();
    void SpeedButton2Click();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void connectCommands();
    void alignControls();

    RightAnchors* m_infoAnchors = nullptr;
    int m_listWidth = 112;
};
