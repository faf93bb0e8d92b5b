#include "windows/Unit3.h"

#include "ui_Unit3.h"
#include "windows/failure_guard.h"
#include "windows/window_placement.h"

TForm3::TForm3(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::TForm3>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("Form3"));
    for (QLabel* label : {ui_->Label1, ui_->Label2, ui_->Label3})
        label->adjustSize();
    connect(ui_->Button1, &QPushButton::clicked, this, GuardedSlot(this, &TForm3::Button1Click));
    MakeFixedStayOnTopWindow(*this, Qt::Dialog, QSize(115, 198));
}

TForm3::~TForm3() = default;

ComPortFields TForm3::fields() const {
    ComPortFields fields;
    fields.port = ui_->Edit1->text().toStdString();
    fields.speed = ui_->Edit2->text().toStdString();
    fields.dataBits = ui_->Edit3->text().toStdString();
    return fields;
}

void TForm3::Button1Click() {
    setVisible(false);
}
