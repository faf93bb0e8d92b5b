// The picture view: shows one JPEG picture stretched to fill the widget,
// without keeping the aspect ratio. Loading reads only the header; the pixels
// are decoded once, from the first drawing on, at about the size they are
// shown, in slices short enough that the window keeps answering meanwhile.
#pragma once

#include "picture/jpeg_decoder.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <memory>

#include <string>

class PictureView : public QWidget {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);

    // Loads a JPEG file. A non-empty file's header is read now: on a libjpeg
    // error this throws UserError("JPEG-Fehler #<msg_code>") and the view keeps
    // the picture it showed before. An empty file is taken without reading
    // anything. A file that cannot be read throws UserError
    // "Datei %s kann nicht geöffnet werden". Decoding waits for the first drawing.
    void loadFile(const std::string& path);
    // The same rules for bytes already in memory (the start-up logo).
    // `subject` says what the picture is, for screen readers ("Logo").
    void loadBytes(std::string jpegBytes, const QString& subject = QString());
    // What the view shows right now, before stretching: the picture decoded so
    // far (possibly partial), or a null image before anything was drawn.
    QImage decodedImage() const;

    // What the loaded picture is (the file name for a file) and its size in
    // pixels as its header gives it; an empty size for an empty file.
    const QString& subject() const { return subject_; }
    QSize pictureSize() const { return pictureSize_; }

    // Starts decoding the loaded picture for the view's present size unless
    // that has been done, and decodes for at most kDrawingSlice; the rest
    // follows in slices from the event loop, each shown as it comes. The
    // first drawing calls it. A failure is signalled later, from the event
    // loop, never from inside this call.
    void decodeIfPending();
    // A decoding has started and not yet finished.
    bool isDrawing() const { return drawing_ != nullptr; }

    // Long enough for any ordinary picture to be done in one; short enough
    // that a window drawing a 50-megapixel one still answers input.
    static constexpr std::chrono::milliseconds kDrawingSlice{50};

    // FullSize decodes every pixel and leaves all shrinking to the drawing;
    // only for comparing the two ways.
    void setScaling(JpegScaling scaling) { scaling_ = scaling; }

signals:
    // "JPEG-Fehler #<msg_code>" for an error found while drawing; emitted once
    // per loaded picture, queued, i.e. after the paint that found it.
    void drawingFailed(const QString& message);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void continueDrawing();

    std::unique_ptr<JpegDrawing> drawing_;
    QTimer nextSlice_;
    std::string pendingBytes_;
    bool pending_ = false;
    JpegScaling scaling_ = JpegScaling::FitBox;
    QImage image_;
    QImage stretched_; // image_ at the size last painted, made once per size
    QString subject_;
    QSize pictureSize_;
};
