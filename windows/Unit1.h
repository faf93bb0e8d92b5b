// The main window: picture view, hex and ASCII views, the capture settings and
// the menu. Its handlers keep the names by which the rest of the program
// invokes them; the hidden buttons are plain member functions. The live
// capture and the automatic modes run in the capture session below it, which
// the handlers forward to and whose state the check boxes mirror.
#pragma once

#include "camera/capture_session.h"

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
class MainWindowCaptureControls;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The data and COM windows, created after this one.
    void setCompanionWindows(TForm2* dataWindow, TForm3* comWindow);

    Ui::TForm1& controls() { return *ui_; }
    CaptureSession& captureSession() { return *session_; }
    QTimer& Timer1() { return session_->captureTimer(); }
    QTimer& Timer2() { return session_->modes().intervalTimer(); }
    // The capture buffer (the hidden text the recordings and the live cycle
    // load); like any text a text box holds, it ends at its first NUL byte.
    const std::string& captureBuffer() const { return session_->captureBuffer(); }

    // "Datei konvertieren": recording conversion.
    void Button1Click();
    // "Datenverbindung aufbauen": "AT", a second's wait, "ATD " and the number.
    void Button3Click();
    // "BILD": the three option lines and the request, a second apart.
    void Button4Click();
    // Live capture: the once-a-second copy of the received text, and the
    // decode-and-store step behind the hidden Button6.
    void Timer1Timer();
    void Button6Click();
    // Interval mode's tick, and the three mode check boxes as they change.
    void Timer2Timer();
    void CheckBox5Click();
    void CheckBox6Click();
    void CheckBox7Click();

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
    // The check boxes and buttons follow the session's modes.
    void showModes();
    void showStatus();

    std::unique_ptr<Ui::TForm1> ui_;
    std::unique_ptr<MainWindowCaptureControls> captureControls_;
    std::unique_ptr<CaptureSession> session_;
    QTimer statusRefresh_;
    TForm2* dataWindow_ = nullptr;
    TForm3* comWindow_ = nullptr;
};
