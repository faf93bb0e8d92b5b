// Files of the station's web site: each is written under a hidden name in its
// folder and renamed, so a web server serving the folder never hands out half
// a page or half a picture. The site is made from the journals and pictures
// and can be made again at any time, so files are not flushed to the disk one
// by one (that would cost more than making a thumbnail).
#pragma once

#include <string>
#include <string_view>

// Creates the folder and the ones above it; false when it cannot.
bool MakeFolders(const std::string& folder);
// Writes the bytes under the name, replacing a file there; throws UserError.
void WriteSiteFile(const std::string& path, std::string_view bytes);
// Writes only when the file is missing or holds other bytes.
void WriteSiteFileIfChanged(const std::string& path, std::string_view bytes);
// Puts the picture under the name: a hard link where the file system allows
// it, else a copy. Throws UserError.
void PlaceSitePicture(const std::string& source, const std::string& path);
bool FileExists(const std::string& path);
// The whole file; throws UserError when it cannot be read.
std::string ReadSiteInput(const std::string& path);
