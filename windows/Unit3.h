// The COM window: port number, speed and data bits as plain texts. "OK" only
// hides it; the fields are read each time the port is opened.
#pragma once

#include "serial/com_port_fields.h"

#include <QWidget>
#include <memory>

namespace Ui {
class TForm3;
}

class TForm3 : public QWidget {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    Ui::TForm3& controls() { return *ui_; }
    // The three fields as they stand now.
    ComPortFields fields() const;

    void Button1Click();

private:
    std::unique_ptr<Ui::TForm3> ui_;
};
