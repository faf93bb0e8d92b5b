// The data window: shows the serial terminal that owns the connection, the
// lines it sent and the text it received, which the user may edit. Its hidden
// buttons (connect, disconnect, send) and its poll forward to the terminal;
// the connected flag is the terminal's.
#pragma once

#include "camera/terminal.h"

#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

namespace Ui {
class TForm2;
}
class ReceivedTextBox;

class TForm2 : public QWidget {
    Q_OBJECT
public:
    // captureTimer is the main window's once-a-second capture tick, which
    // connect switches on and disconnect off.
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    // Where the port settings come from when the port is opened.
    void setPortSettingsSource(std::function<ComPortFields()> source);

    Ui::TForm2& controls() { return *ui_; }
    Terminal& terminal() { return *terminal_; }
    QTimer& Timer1() { return terminal_->pollTimer(); }

    // The command field: the next line to send, as bytes.
    void setCommandField(std::string line) { terminal_->setCommandField(std::move(line)); }
    const std::string& commandField() const { return terminal_->commandField(); }

    // The connected flag.
    bool connected() const { return terminal_->connected(); }

    // The received text, with the user's edits.
    const std::string& receivedText() const;
    void clearReceivedText();

    void Button1Click(); // connect
    void Button3Click(); // disconnect
    void Button5Click(); // send
    void Timer1Timer();  // poll

private:
    void FormCreate();
    void showSentLine(const QByteArray& line);

    std::unique_ptr<Ui::TForm2> ui_;
    std::unique_ptr<ReceivedTextBox> receivedBox_;
    std::unique_ptr<Terminal> terminal_;
};
