// The picture view as a screen reader meets it: a graphic named by the label
// beside it and by what it shows ("Bilddarstellung: Logo", or the file name),
// described by the picture's size in pixels, both told anew whenever a picture
// is loaded.
#pragma once

class PictureView;

// Installs the accessible interface for picture views, once per process.
void MakePictureViewAccessible();

// Tells a screen reader that the view's name and description changed.
void AnnouncePictureChange(PictureView* view);
