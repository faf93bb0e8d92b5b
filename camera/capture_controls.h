// What the live capture asks of its front end: the settings a user sets (the
// file name stem, the telephone number, the board options, whether pictures
// are shown) and showing a stored picture. The main window answers from its
// fields and check boxes; a front end without a display from its options.
// Each setting is asked for at the moment it is used.
#pragma once

#include <string>

class CaptureControls {
public:
    virtual ~CaptureControls() = default;
    virtual std::string fileStem() = 0;    // bytes, may hold a folder
    virtual std::string phoneNumber() = 0; // bytes, sent as typed
    virtual bool flash() = 0;              // "Blitz"
    virtual bool direct() = 0;             // "Direkt"
    virtual bool large() = 0;              // "Groß"
    virtual bool showsPictures() = 0;      // "Bild anzeigen"
    // Loads the stored file into the picture view; throws UserError when the
    // picture cannot be shown.
    virtual void showPicture(const std::string& path) = 0;
};
