// The main window: picture view, hex and ASCII views, the capture settings and
// the menu. Its handlers keep the names by which the rest of the program
// invokes them; the hidden buttons are plain member functions.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <memory>
#include <string>
#include <string_view>

namespace Ui {
class TForm1;
}
class TForm2;
class TForm3;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The data and COM windows, created after this one.
    void setCompanionWindows(TForm2* dataWindow, TForm3* comWindow);

    Ui::TForm1& controls() { return *ui_; }
    QTimer& Timer1() { return timer1_; }
    QTimer& Timer2() { return timer2_; }
    // The capture buffer (the hidden text the recordings and the live cycle
    // load); like any text a text box holds, it ends at its first NUL byte.
    const std::string& captureBuffer() const { return captureBuffer_; }

    // "Datei konvertieren": recording conversion.
    void Button1Click();
    // "Datenverbindung aufbauen": "AT", a second's wait, "ATD " and the number.
    void Button3Click();
    // "BILD": the three option lines and the request, a second apart.
    void Button4Click();

    void Aufnahmeffnen1Click();
    [[noreturn]] void Beenden1Click();
    void COM1Click();
    void COMschlieen1Click();
    void Listenansicht1Click();

    // A cell of the hex view is about to become current.
    void StringGrid1SelectCell(int column, int row);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void sizeGrids(std::size_t byteCount);
    void fillGrids(std::string_view bytes);
    // Puts the line into the data window's command field, connects, sends.
    void sendCommandLine(const std::string& line);

    std::unique_ptr<Ui::TForm1> ui_;
    TForm2* dataWindow_ = nullptr;
    TForm3* comWindow_ = nullptr;
    std::string captureBuffer_;
    QTimer timer1_;
    QTimer timer2_;
};
