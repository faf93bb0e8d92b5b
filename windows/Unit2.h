// The data window: the serial terminal that owns the connection. It opens and
// closes the port, sends command lines and polls for received bytes, which it
// appends to the received text. Connect, disconnect and send are operations
// the main window invokes; the connected flag is the only record of whether
// the port is open.
#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

namespace Ui {
class TForm2;
}
struct ComPortFields;

class TForm2 : public QWidget {
    Q_OBJECT
public:
    // captureTimer is the main window's once-a-second capture tick, which
    // connect switches on and disconnect off.
    explicit TForm2(QTimer& captureTimer, QWidget* parent = nullptr);
    ~TForm2() override;

    // Where the port settings come from when the port is opened.
    void setPortSettingsSource(std::function<ComPortFields()> source);

    Ui::TForm2& controls() { return *ui_; }
    QTimer& Timer1() { return timer1_; }

    // The command field: the next line to send, as bytes.
    void setCommandField(std::string line) { commandField_ = std::move(line); }
    const std::string& commandField() const { return commandField_; }

    // The connected flag.
    bool connected() const { return connected_; }

    // The received text, with the user's edits.
    const std::string& receivedText() const;
    void clearReceivedText();

    void Button1Click(); // connect
    void Button3Click(); // disconnect
    void Button5Click(); // send
    void Timer1Timer();  // poll

private:
    void FormCreate();
    [[noreturn]] void reportVanishedPort();

    std::unique_ptr<Ui::TForm2> ui_;
    QTimer& captureTimer_;
    QTimer timer1_;
    std::function<ComPortFields()> portSettings_;
    std::string commandField_;
    std::string openedPort_; // "COM<n>" of the port opened last, for messages
    bool connected_ = false;
};
