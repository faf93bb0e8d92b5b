#include "camera/picture_store.h"

#include "camera/picture_names.h"
#include "platform/clock.h"
#include "platform/files.h"

#include <vector>

std::string PictureStore::momentNow() const {
    Clock& clock = CurrentClock();
    return naming_ == PictureNaming::LocalTime ? TimeMoment(clock.wallTimeMs())
                                               : TickMoment(clock.tickCount());
}

StoredPicture PictureStore::store(std::string_view text, const DecodedCapture& decoded,
                                  const std::string& stem, std::string_view moment) const {
    // Judged on the text up to its end marker: what follows is the next one's.
    const std::string_view pictureText = text.substr(0, decoded.endPosition);
    StoredPicture stored;
    stored.verdict = JudgePicture(pictureText, decoded.bytes);
    stored.keptAside =
        unsound_ == UnsoundPictures::KeptAside && stored.verdict != PictureVerdict::Sound;
    const std::string_view receivedText = PictureText(pictureText, decoded);
    stored.lineCharacters = receivedText.size();
    const std::string_view mark = stored.keptAside ? VerdictFileWord(stored.verdict) : "";
    // One kept aside and its text get the same number, so that they stay a
    // pair whatever names were taken.
    std::vector<std::string_view> contents{decoded.bytes};
    if (stored.keptAside)
        contents.push_back(receivedText);
    const std::vector<std::string> published = WriteNewFiles(
        [&](int number) {
            const PictureFileNames names = NamePictureFiles(stem, moment, mark, number);
            return stored.keptAside ? std::vector<std::string>{names.picture, names.receivedText}
                                    : std::vector<std::string>{names.picture};
        },
        contents);
    stored.fileName = published.front();
    if (stored.keptAside)
        stored.textFileName = published.back();
    return stored;
}
