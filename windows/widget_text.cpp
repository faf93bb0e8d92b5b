#include "windows/widget_text.h"

#include "camera/received_text.h"
#include "camera/windows1252.h"

QChar Windows1252Char(unsigned char byte) {
    return QChar(Windows1252Character(byte));
}

QString ByteCharacters(std::string_view bytes) {
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* out = text.data();
    for (unsigned char byte : bytes)
        *out++ = Windows1252Char(byte);
    return text;
}

QString ToWidgetText(std::string_view bytes) {
    return ByteCharacters(UntilFirstNul(bytes));
}

std::string FromWidgetText(const QString& text) {
    std::string bytes;
    bytes.reserve(static_cast<size_t>(text.size()));
    for (QChar ch : text) {
        const int byte = Windows1252Byte(ch.unicode());
        bytes.push_back(byte >= 0 ? static_cast<char>(byte) : '?');
    }
    return bytes;
}
