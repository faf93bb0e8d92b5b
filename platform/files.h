// Reading recordings and writing picture files, with the program's failure
// messages. Every failure is a UserError naming the file.
#pragma once

#include <string>
#include <string_view>

// The whole file as bytes. Other programs may go on reading it; a program
// holding it for writing (an exclusive flock) makes the read fail, as do a
// missing file, a directory or missing permission: "Datei %s kann nicht
// geöffnet werden". A file too large for memory: "Datei %s ist zu groß für
// den Arbeitsspeicher".
std::string ReadRecordingFile(const std::string& path);

// Creates the file or empties an existing one (mode 0666 less the umask) and
// writes the bytes. "Datei %s kann nicht erstellt werden" when it cannot be
// created (an empty name included); "Stream-Write-Fehler" when fewer bytes
// could be written, after closing the file with what was written.
void WriteFileReplacing(const std::string& path, std::string_view bytes);

// Like WriteFileReplacing, but the bytes go to a hidden temporary file in the
// same folder first, which is flushed to the disk and then renamed: under
// `path` there is either the old file or the whole new one, never a part,
// whatever stops the program or the machine. The temporary file is removed
// on failure. Same messages as WriteFileReplacing.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

// Exceeding the file-size limit then makes write() fail with EFBIG instead of
// killing the process. WriteFileReplacing does this before its first write;
// a program writing files by other means calls it first.
void IgnoreFileSizeSignal();
