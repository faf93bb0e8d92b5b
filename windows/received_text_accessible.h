// The received-text box as a screen reader meets it: an editable multi-line
// text whose characters are the bytes as the box shows them (Windows-1252, one
// character a byte, so offsets are byte positions), with caret and selection
// that a screen reader can read and set, and notifications of what changed.
//
// Bytes appended while data streams in are told at most four times a second,
// gathered into one insertion, so that a picture arriving at full speed does
// not flood the accessibility bus. While no screen reader listens the box
// prepares no notification at all.
#pragma once

class ReceivedTextView;

// Installs the accessible interface for received-text boxes (once per process)
// and starts telling this box's changes.
void MakeReceivedTextAccessible(ReceivedTextView* view);

// How long appended bytes are gathered before they are told.
constexpr int kAppendAnnouncementMs = 250;
