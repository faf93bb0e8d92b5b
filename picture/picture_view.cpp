#include "picture/picture_view.h"

#include "picture/picture_view_accessible.h"
#include "platform/user_error.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QPainter>

#include <algorithm>
#include <utility>

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
    MakePictureViewAccessible();
    nextSlice_.setSingleShot(true);
    nextSlice_.setInterval(0);
    connect(&nextSlice_, &QTimer::timeout, this, [this] {
        continueDrawing();
        update();
    });
}

void PictureView::loadFile(const std::string& path) {
    QFile file(QFile::decodeName(QByteArray::fromStdString(path)));
    if (!file.open(QIODevice::ReadOnly))
        throw UserError::withDetail("Datei %s kann nicht geöffnet werden", path);
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw UserError::withDetail("Datei %s kann nicht geöffnet werden", path);
    loadBytes(content.toStdString(), QFileInfo(file.fileName()).fileName());
}

void PictureView::loadBytes(std::string jpegBytes, const QString& subject) {
    QSize size;
    if (!jpegBytes.empty()) {
        const JpegHeader header =
            ReadJpegHeader(jpegBytes); // throws before anything here has changed
        size = QSize(header.width, header.height);
    }
    subject_ = subject;
    pictureSize_ = size;
    AnnouncePictureChange(this);
    pendingBytes_ = std::move(jpegBytes);
    pending_ = true;
    drawing_.reset();
    nextSlice_.stop();
    image_ = QImage();
    stretched_ = QImage();
    update();
}

QImage PictureView::decodedImage() const {
    return image_;
}

void PictureView::decodeIfPending() {
    if (!pending_)
        return;
    pending_ = false;
    const qreal ratio = devicePixelRatioF();
    const int boxWidth = std::max(1, qRound(width() * ratio));
    const int boxHeight = std::max(1, qRound(height() * ratio));
    drawing_ =
        std::make_unique<JpegDrawing>(std::move(pendingBytes_), boxWidth, boxHeight, scaling_);
    pendingBytes_ = std::string();
    continueDrawing();
}

void PictureView::continueDrawing() {
    if (!drawing_)
        return;
    const bool done = drawing_->step(kDrawingSlice);
    image_ = drawing_->image();
    stretched_ = QImage();
    if (!done) {
        nextSlice_.start();
        return;
    }
    const JpegDecodeResult result = drawing_->result();
    drawing_.reset();
    if (result.errorCode) {
        // Reported after the paint that found it, so that no handler runs
        // inside a paint event and the message box does not interrupt one.
        const QString message = QString::fromStdString(JpegErrorMessage(*result.errorCode));
        QMetaObject::invokeMethod(
            this, [this, message] { emit drawingFailed(message); }, Qt::QueuedConnection);
    }
}

void PictureView::paintEvent(QPaintEvent*) {
    decodeIfPending();
    if (image_.isNull() || width() <= 0 || height() <= 0)
        return;
    const qreal ratio = devicePixelRatioF();
    const QSize target(qRound(width() * ratio), qRound(height() * ratio));
    if (stretched_.size() != target) {
        // Qt's smooth scaling averages when shrinking, unlike a smooth paint
        // transform, which samples; and a view is repainted far more often
        // than it changes size.
        stretched_ = image_.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        stretched_.setDevicePixelRatio(ratio);
    }
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), stretched_);
}
